#include "update/catalogue.h"

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <set>

#include "update/names.h"

namespace korvel::update {
namespace {

using nlohmann::json;

constexpr std::string_view kFormat = "korvel-timetable-catalogue";

bool IsHex64(const std::string& s) {
    return s.size() == 64 && std::all_of(s.begin(), s.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

bool IsDate(const std::string& s) {
    return s.size() == 10 && ParseUtcTime(s + "T00:00:00Z").has_value();
}

// Reads one member of an object with the expected JSON type; sets `error` otherwise.
template <typename T>
bool Member(const json& object, const char* key, const std::string& where, T& value,
            std::string& error) {
    const auto it = object.find(key);
    bool typeOk = false;
    if (it != object.end()) {
        if constexpr (std::is_same_v<T, std::string>) {
            typeOk = it->is_string();
        } else {
            typeOk = it->is_number_unsigned();
        }
    }
    if (!typeOk) {
        error = where + key + ": missing or of the wrong type";
        return false;
    }
    value = it->get<T>();
    return true;
}

bool ParseEntry(const json& item, const std::string& where, CatalogueEntry& e, std::string& error) {
    if (!item.is_object()) {
        error = where + ": not an object";
        return false;
    }
    const std::string w = where + ".";
    if (!Member(item, "name", w, e.name, error) ||
        !Member(item, "sequence", w, e.sequence, error) ||
        !Member(item, "valid_from", w, e.validFrom, error) ||
        !Member(item, "size", w, e.size, error) || !Member(item, "sha256", w, e.sha256, error) ||
        !Member(item, "file", w, e.file, error)) {
        return false;
    }
    if (!IsPackageName(e.name)) {
        error = w + "name: not a package name: \"" + PrintableName(e.name) + "\"";
    } else if (e.sequence == 0) {
        error = w + "sequence: must be 1 or more";
    } else if (!IsDate(e.validFrom)) {
        error = w + "valid_from: not a date YYYY-MM-DD";
    } else if (e.size == 0 || e.size > kMaxPackageBytes) {
        error = w + "size: out of range";
    } else if (!IsHex64(e.sha256)) {
        error = w + "sha256: not 64 lower-case hex digits";
    } else if (e.file != e.name + std::string(kPackageSuffix)) {
        error = w + "file: must be the name followed by " + std::string(kPackageSuffix);
    }
    return error.empty();
}

}  // namespace

std::string FormatUtcTime(std::time_t t) {
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return buf;
}

std::optional<std::time_t> ParseUtcTime(std::string_view text) {
    if (text.size() != 20) return std::nullopt;
    static constexpr char kPattern[] = "dddd-dd-ddTdd:dd:ddZ";
    for (std::size_t i = 0; i < 20; ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (kPattern[i] == 'd' ? !digit : text[i] != kPattern[i]) return std::nullopt;
    }
    auto num = [&](std::size_t at, std::size_t n) {
        int v = 0;
        for (std::size_t i = 0; i < n; ++i) v = v * 10 + (text[at + i] - '0');
        return v;
    };
    std::tm tm{};
    tm.tm_year = num(0, 4) - 1900;
    tm.tm_mon = num(5, 2) - 1;
    tm.tm_mday = num(8, 2);
    tm.tm_hour = num(11, 2);
    tm.tm_min = num(14, 2);
    tm.tm_sec = num(17, 2);
    const std::tm asked = tm;
    const std::time_t t = timegm(&tm);
    // timegm normalises 02-30 into March; a real time comes back unchanged.
    if (tm.tm_year != asked.tm_year || tm.tm_mon != asked.tm_mon || tm.tm_mday != asked.tm_mday ||
        tm.tm_hour != asked.tm_hour || tm.tm_min != asked.tm_min || tm.tm_sec != asked.tm_sec ||
        asked.tm_year < 0) {
        return std::nullopt;
    }
    return t;
}

std::string FormatCatalogue(const Catalogue& catalogue) {
    json packages = json::array();
    for (const CatalogueEntry& e : catalogue.packages) {
        packages.push_back({{"name", e.name},
                            {"sequence", e.sequence},
                            {"valid_from", e.validFrom},
                            {"size", e.size},
                            {"sha256", e.sha256},
                            {"file", e.file}});
    }
    json doc = {{"format", kFormat},
                {"version", 1},
                {"expires", FormatUtcTime(catalogue.expires)},
                {"packages", packages}};
    if (catalogue.published != 0) doc["published"] = FormatUtcTime(catalogue.published);
    return doc.dump(2) + "\n";
}

std::optional<Catalogue> ParseCatalogue(std::string_view text, std::string& error) {
    error.clear();  // the entries' checks go by whether it is still empty
    if (text.size() > kMaxCatalogueBytes) {
        error = "catalogue larger than " + std::to_string(kMaxCatalogueBytes) + " bytes";
        return std::nullopt;
    }
    const json doc = json::parse(text, nullptr, false);
    if (doc.is_discarded() || !doc.is_object()) {
        error = "catalogue is not a JSON object";
        return std::nullopt;
    }
    std::string format, expires;
    std::uint64_t version = 0;
    if (!Member(doc, "format", "", format, error) || !Member(doc, "version", "", version, error) ||
        !Member(doc, "expires", "", expires, error)) {
        return std::nullopt;
    }
    if (format != kFormat || version != 1) {
        error = "not a version-1 korvel timetable catalogue";
        return std::nullopt;
    }
    Catalogue catalogue;
    const auto when = ParseUtcTime(expires);
    if (!when) {
        error = "expires: not a time YYYY-MM-DDTHH:MM:SSZ";
        return std::nullopt;
    }
    catalogue.expires = *when;
    if (doc.find("published") != doc.end()) {
        std::string published;
        if (!Member(doc, "published", "", published, error)) return std::nullopt;
        const auto at = ParseUtcTime(published);
        if (!at) {
            error = "published: not a time YYYY-MM-DDTHH:MM:SSZ";
            return std::nullopt;
        }
        catalogue.published = *at;
    }
    const auto packages = doc.find("packages");
    if (packages == doc.end() || !packages->is_array()) {
        error = "packages: missing or not an array";
        return std::nullopt;
    }
    std::set<std::string> names;
    std::set<std::uint64_t> sequences;
    for (std::size_t i = 0; i < packages->size(); ++i) {
        const std::string where = "packages[" + std::to_string(i) + "]";
        CatalogueEntry e;
        if (!ParseEntry((*packages)[i], where, e, error)) return std::nullopt;
        if (!names.insert(e.name).second || !sequences.insert(e.sequence).second) {
            error = where + ": name or sequence listed twice";
            return std::nullopt;
        }
        catalogue.packages.push_back(std::move(e));
    }
    return catalogue;
}

CatalogueAge AgeOf(std::time_t published, std::time_t now) {
    const long long seconds = now > published ? static_cast<long long>(now - published) : 0;
    if (seconds >= 86400) return {CatalogueAge::Unit::Days, seconds / 86400};
    if (seconds >= 3600) return {CatalogueAge::Unit::Hours, seconds / 3600};
    return {CatalogueAge::Unit::Minutes, seconds / 60};
}

std::string DescribePublished(std::time_t published, std::time_t now) {
    const CatalogueAge age = AgeOf(published, now);
    const char* unit = age.unit == CatalogueAge::Unit::Days    ? " day"
                       : age.unit == CatalogueAge::Unit::Hours ? " hour"
                                                               : " minute";
    return FormatUtcTime(published) + " (" + std::to_string(age.count) + unit +
           (age.count == 1 ? "" : "s") + " old)";
}

const CatalogueEntry* NewestPackage(const Catalogue& catalogue) {
    const CatalogueEntry* best = nullptr;
    for (const CatalogueEntry& e : catalogue.packages) {
        if (!best || e.sequence > best->sequence) best = &e;
    }
    return best;
}

}  // namespace korvel::update
