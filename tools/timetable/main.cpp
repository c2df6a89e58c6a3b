// korvel-ttbuild: builds the four timetable streams from the public source data.
//   korvel-ttbuild --source DIR --out DIR [--stops FILE] [--report FILE] [--sample]
//   korvel-ttbuild --gtfs DIR [--source DIR] --out DIR [--report FILE]
//   korvel-ttbuild keygen|pack ...   (timetable updates, see timetable/publish.h)
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "timetable/builder.h"
#include "timetable/gtfs.h"
#include "timetable/publish.h"

namespace fs = std::filesystem;
using namespace korvel::timetable;

namespace {

bool ReadFile(const fs::path& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return static_cast<bool>(out);
}

// The character readings come compressed with the system's Unicode data; without bzcat or
// the file the builder uses its checked-in table (and says so in the report).
std::string ReadReadings() {
    const char* path = "/usr/share/unicode/Unihan_Readings.txt.bz2";
    if (!fs::exists(path)) return {};
    FILE* pipe = popen("bzcat /usr/share/unicode/Unihan_Readings.txt.bz2 2>/dev/null", "r");
    if (!pipe) return {};
    std::string text;
    char buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) text.append(buf, n);
    if (pclose(pipe) != 0) return {};
    return text;
}

int Usage() {
    std::cerr << "usage: korvel-ttbuild --source DIR --out DIR [--stops FILE] [--report FILE] "
                 "[--sample]\n"
                 "       korvel-ttbuild --gtfs DIR [--source DIR] --out DIR [--report FILE]\n"
                 "       korvel-ttbuild keygen --public PUB --secret SEC [--force]\n"
                 "       korvel-ttbuild pack TTDIR --name NAME --secret SEC --out DIR\n"
                 "  --source DIR   stops.csv in DIR/timetable-2019/ or DIR/, station lists in\n"
                 "                 DIR/stations/, same-city groups in DIR/groups/citys.txt\n"
                 "  --stops FILE   the stop list (columns tid,sno,sname,arrv_time,depart_time,\n"
                 "                 day,mileage) from elsewhere\n"
                 "  --gtfs DIR     the trains of a GTFS feed (stops.txt, routes.txt, trips.txt,\n"
                 "                 stop_times.txt) instead of a stop list\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && (std::string(argv[1]) == "keygen" || std::string(argv[1]) == "pack")) {
        const std::vector<std::string> args(argv + 2, argv + argc);
        return std::string(argv[1]) == "keygen" ? RunKeygen(args) : RunPack(args);
    }
    fs::path source, out, reportPath, stopsPath, gtfs;
    bool sample = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--source" && i + 1 < argc)
            source = argv[++i];
        else if (a == "--out" && i + 1 < argc)
            out = argv[++i];
        else if (a == "--gtfs" && i + 1 < argc)
            gtfs = argv[++i];
        else if (a == "--stops" && i + 1 < argc)
            stopsPath = argv[++i];
        else if (a == "--report" && i + 1 < argc)
            reportPath = argv[++i];
        else if (a == "--sample")
            sample = true;
        else
            return Usage();
    }
    if ((source.empty() && gtfs.empty()) || out.empty()) return Usage();

    Sources s;
    if (!gtfs.empty()) {
        GtfsFeed feed;
        for (const char* name : {"stops.txt", "routes.txt", "trips.txt", "stop_times.txt"}) {
            std::string text;
            if (ReadFile(gtfs / name, text)) feed[name] = std::move(text);
        }
        try {
            GtfsTrains trains = ReadGtfs(feed);
            s.trains = std::move(trains.trains);
            s.types = std::move(trains.types);
        } catch (const GtfsError& e) {
            std::cerr << "korvel-ttbuild: " << (gtfs / e.what()).string() << "\n";
            return 1;
        }
    } else if (stopsPath.empty()) {
        stopsPath = source / "timetable-2019" / "stops.csv";
        if (!fs::exists(stopsPath) && fs::exists(source / "stops.csv")) {
            stopsPath = source / "stops.csv";
        }
    }
    if (gtfs.empty() && !ReadFile(stopsPath, s.stopsCsv)) {
        std::cerr << "korvel-ttbuild: cannot read " << stopsPath.string() << "\n";
        return 1;
    }
    // A malformed source is refused before anything is written.
    if (const auto bad = gtfs.empty() ? CheckStopsCsv(s.stopsCsv) : std::nullopt) {
        std::cerr << "korvel-ttbuild: " << stopsPath.string() << ":" << bad->line << ":"
                  << bad->column << ": " << bad->message << "\n";
        return 1;
    }
    // A feed alone brings no station lists or groups: the codes then come from the readings.
    if (!source.empty()) {
        for (const char* name :
             {"station_name-2026.js", "station_name-2024.txt", "station_name-2018.js"}) {
            std::string text;
            if (ReadFile(source / "stations" / name, text)) {
                s.stationLists.push_back(std::move(text));
            }
        }
        if (!ReadFile(source / "groups" / "citys.txt", s.groups)) {
            std::cerr << "korvel-ttbuild: no same-city groups in " << source << "\n";
        }
        const fs::path overrides = source / "overrides.csv";
        if ((sample || fs::exists(overrides)) && !ReadFile(overrides, s.overrides) && sample) {
            std::cerr << "korvel-ttbuild: --sample needs " << overrides << "\n";
            return 1;
        }
    }
    s.readings = ParseReadings(ReadReadings());
    if (s.readings.empty()) {
        s.readings = FallbackReadings();
        s.readingsBuiltIn = true;
    }

    const BuildOutput built = BuildTimetable(s);
    if (built.report.trainsBuilt == 0) {
        std::cerr << built.report.Text() << "korvel-ttbuild: no train survived\n";
        return 1;
    }
    std::error_code ec;
    fs::create_directories(out, ec);
    const std::pair<const char*, const std::string*> files[] = {{"SLIST.stream", &built.slist},
                                                                {"STRAIN.stream", &built.strain},
                                                                {"SM.stream", &built.sm},
                                                                {"SPY.stream", &built.spy}};
    for (const auto& [name, bytes] : files) {
        if (!WriteFile(out / name, *bytes)) {
            std::cerr << "korvel-ttbuild: cannot write " << (out / name) << "\n";
            return 1;
        }
    }
    const std::string text = built.report.Text();
    std::cout << text;
    if (!reportPath.empty() && !WriteFile(reportPath, text)) {
        std::cerr << "korvel-ttbuild: cannot write " << reportPath << "\n";
        return 1;
    }
    return 0;
}
