// A timetable folder's manifest: written by korvel-ttbuild beside the four table streams, so
// that a loader can tell a whole folder from a damaged or half-written one, and an update
// package can name the timetable it carries.
//
// The text form is UTF-8, one "key value" line each, in this order:
//
//   korvel-timetable 1
//   name 2019
//   valid-from 2019-01-01
//   builder korvel-ttbuild 2011.09.30
//   trains 8034
//   stops 79352
//   stations 3016
//   file SLIST.stream BYTES RECORDS SHA256
//   file STRAIN.stream BYTES RECORDS SHA256
//   file SM.stream BYTES RECORDS SHA256
//   file SPY.stream BYTES RECORDS SHA256
//   file COORDS.stream BYTES RECORDS SHA256
//   min-transfer 30
//   city-transfer 120
//
// The name is free text on one line (no control characters, at most 200 bytes); the date is
// a real calendar date; SHA256 is 64 lower-case hex digits. The COORDS line (the stations'
// places, one record a placed station) is there only for a timetable that has them. The last
// two lines are each optional (in that order): the journey planner's default change minutes
// at one station and between stations of one city, 0 to 1440, written only for a timetable
// whose source gave them (a GTFS feed's transfers.txt). Without places or change minutes a
// manifest keeps the form older readers take. Anything else is refused, so a manifest that parses
// is one this builder could have written.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvel::data {

inline constexpr std::string_view kManifestFileName = "manifest.txt";
// The stations' places beside the four streams: optional, listed after them when present.
inline constexpr std::string_view kCoordsFileName = "COORDS.stream";
// The longest change a manifest may give, in minutes: a day.
inline constexpr int kMaxManifestChangeMinutes = 24 * 60;

struct ManifestEntry {
    // "SLIST.stream", "STRAIN.stream", "SM.stream", "SPY.stream" or "COORDS.stream"
    std::string file;
    std::uint64_t bytes = 0;
    std::uint64_t records = 0;
    std::string sha256;  // 64 lower-case hex digits

    bool operator==(const ManifestEntry&) const = default;
};

struct Manifest {
    std::string name;        // the timetable's name, UTF-8
    std::string valid_from;  // YYYY-MM-DD, the first day the timetable is valid
    std::string builder;     // the program and version that built it
    std::uint64_t trains = 0;
    std::uint64_t stops = 0;
    std::uint64_t stations = 0;
    std::vector<ManifestEntry> files;  // the four streams, in the order above, then COORDS
    // The COORDS entry; nullptr when the timetable has no places.
    const ManifestEntry* Coords() const {
        return files.size() > 4 && files[4].file == kCoordsFileName ? &files[4] : nullptr;
    }
    // The planner's default change minutes the timetable brings, when its source gave them.
    std::optional<int> minTransfer;   // at one station
    std::optional<int> cityTransfer;  // between stations of one city

    bool operator==(const Manifest&) const = default;
};

std::string FormatManifest(const Manifest& manifest);

struct ManifestParse {
    std::optional<Manifest> manifest;
    std::string error;  // "line N: what is wrong" when manifest is empty
};
ManifestParse ParseManifest(std::string_view text);

// SHA-256 of the bytes as 64 lower-case hex digits.
std::string Sha256Hex(std::string_view bytes);

}  // namespace korvel::data
