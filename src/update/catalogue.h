// The catalogue of timetable packages a publisher puts beside them on a web host, as JSON
// (signed in catalogue.json.minisig):
//
//   {
//     "format": "korvel-timetable-catalogue",
//     "version": 1,
//     "published": "2027-06-23T00:00:00Z",
//     "expires": "2027-06-30T00:00:00Z",
//     "packages": [
//       { "name": "2019-07", "sequence": 3, "valid_from": "2019-07-01",
//         "size": 1234567, "sha256": "<64 lower-case hex digits>",
//         "file": "2019-07.korvel-tt" }
//     ]
//   }
//
// `expires` is when the catalogue itself stops being trusted: an attacker who replays an old
// signed catalogue can then keep a traveller on an old timetable only until that time.
// `published` is when the publisher signed it: a traveller who has seen one catalogue refuses
// any published before it, so an old one replayed cannot hide a newer timetable even before
// it expires. (Catalogues of older publishers have no `published`; they count as published
// at the epoch.) `file`
// must be the package's name plus ".korvel-tt", so a catalogue can only name files beside it.
// Names and sequences are unique within a catalogue.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvel::update {

inline constexpr std::string_view kPackageSuffix = ".korvel-tt";
inline constexpr std::string_view kSignatureSuffix = ".minisig";
inline constexpr std::string_view kCatalogueFile = "catalogue.json";
// A catalogue is a few hundred bytes per package; anything much larger is not one.
inline constexpr std::size_t kMaxCatalogueBytes = 1 << 20;
inline constexpr std::size_t kMaxSignatureBytes = 4096;
// The largest package accepted (the 2019 timetable's streams are about 6 MB).
inline constexpr std::uint64_t kMaxPackageBytes = 256ull << 20;

struct CatalogueEntry {
    std::string name;
    std::uint64_t sequence = 0;
    std::string validFrom;  // YYYY-MM-DD
    std::uint64_t size = 0;
    std::string sha256;
    std::string file;

    bool operator==(const CatalogueEntry&) const = default;
};

struct Catalogue {
    std::time_t published = 0;  // seconds since the epoch, UTC; 0 when the catalogue has none
    std::time_t expires = 0;    // seconds since the epoch, UTC
    std::vector<CatalogueEntry> packages;

    bool operator==(const Catalogue&) const = default;
};

std::string FormatCatalogue(const Catalogue& catalogue);

// nullopt with `error` naming what is wrong ("packages[2].sha256: not 64 hex digits").
std::optional<Catalogue> ParseCatalogue(std::string_view json, std::string& error);

// "YYYY-MM-DDTHH:MM:SSZ" and back (nullopt for anything else).
std::string FormatUtcTime(std::time_t t);
std::optional<std::time_t> ParseUtcTime(std::string_view text);

// How long before `now` a catalogue was published, in whole days past a day, whole hours past
// an hour, else whole minutes (0 for a time not before `now`).
struct CatalogueAge {
    enum class Unit { Minutes, Hours, Days };
    Unit unit = Unit::Minutes;
    long long count = 0;
};
CatalogueAge AgeOf(std::time_t published, std::time_t now);

// "2027-06-23T00:00:00Z (3 days old)".
std::string DescribePublished(std::time_t published, std::time_t now);

// The entry with the highest sequence, or nullptr for an empty catalogue.
const CatalogueEntry* NewestPackage(const Catalogue& catalogue);

}  // namespace korvel::update
