#include "timetable/manifest_out.h"

#include <cstdio>
#include <exception>
#include <filesystem>

#include "data/manifest_build.h"

namespace korvel::timetable {

const char* const kBuilderName = "korvel-ttbuild 2011.09.30";

TimetableNaming DefaultNaming(const std::string& sourcePath, std::time_t now) {
    for (const auto& part : std::filesystem::path(sourcePath)) {
        const std::string s = part.string();
        if (s.size() != 14 || s.rfind("timetable-", 0) != 0) continue;
        const std::string year = s.substr(10);
        if (year.find_first_not_of("0123456789") == std::string::npos && year[0] != '0') {
            return {year, year + "-01-01"};
        }
    }
    std::tm day{};
    gmtime_r(&now, &day);
    char date[40];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d", day.tm_year + 1900, day.tm_mon + 1,
                  day.tm_mday);
    return {"timetable", date};
}

std::optional<std::string> ManifestText(const TimetableNaming& naming, const std::string& slist,
                                        const std::string& strain, const std::string& sm,
                                        const std::string& spy, std::string& error,
                                        const std::string& coords) {
    data::Manifest m;
    try {
        m = data::ManifestForStreams(naming.name, naming.validFrom, kBuilderName,
                                     {slist, strain, sm, spy});
        if (!coords.empty()) m.files.push_back(data::EntryForStream(data::kCoordsFileName, coords));
        m.minTransfer = naming.minTransfer;
        m.cityTransfer = naming.cityTransfer;
    } catch (const std::exception& e) {
        error = std::string("a stream the builder made does not load: ") + e.what();
        return std::nullopt;
    }
    std::string text = data::FormatManifest(m);
    // What the loaders would refuse is refused here, before anything is written.
    const data::ManifestParse parsed = data::ParseManifest(text);
    if (!parsed.manifest) {
        error = "the manifest would be refused (" + parsed.error + ")";
        return std::nullopt;
    }
    return text;
}

}  // namespace korvel::timetable
