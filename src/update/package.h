// A timetable package: one file that carries a timetable folder (its manifest, the four
// table streams and, when the manifest lists them, the stations' places) with the package's
// name and sequence number.
//
// Layout (all numbers decimal ASCII, no leading zeros; every header line ends in "\n"):
//
//   korvel-timetable-package 1\n
//   name NAME\n                     [A-Za-z0-9._-]{1,64}
//   sequence N\n                    1 or more, higher for every newer package of a publisher
//   file manifest.txt BYTES\n       then exactly BYTES bytes of the manifest
//   file SLIST.stream BYTES\n       then the stream's bytes, and so on for
//   file STRAIN.stream BYTES\n      STRAIN, SM and SPY, in this order
//   file SM.stream BYTES\n
//   file SPY.stream BYTES\n
//   file COORDS.stream BYTES\n      only when the manifest lists it, and then always
//   end\n                           and nothing after it
//
// Nothing else is accepted: files in another order, twice, missing or extra, sizes past the
// end. Unpacking also checks every stream against the manifest (bytes and SHA-256), so an
// unpacked package is a folder the loaders can verify the same way.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/manifest.h"
#include "data/regular_file.h"

namespace korvel::update {

struct PackageFile {
    std::string name;  // "manifest.txt" or one of the four stream files
    std::string bytes;
};

struct Package {
    std::string name;
    std::uint64_t sequence = 0;
    data::Manifest manifest;
    std::vector<PackageFile> files;  // manifest.txt first, then the four streams, then COORDS
};

inline constexpr const char* kStreamFiles[] = {"SLIST.stream", "STRAIN.stream", "SM.stream",
                                               "SPY.stream"};

// What a folder without manifest.txt is described as (a folder from an older builder).
struct ManifestDefaults {
    std::string name;       // the timetable's name
    std::string validFrom;  // YYYY-MM-DD
    std::string builder;
};

// The package of the folder `folder` (manifest.txt, the four streams and COORDS.stream, as
// korvel-ttbuild writes them). COORDS.stream travels when the manifest lists it (a folder
// without it packs as before). A folder without manifest.txt gets one made from its streams
// (records counted by reading each stream, COORDS.stream included when present) and
// `defaults`. Throws std::runtime_error naming the file
// that is missing, unreadable or does not match its manifest.
Package PackFolder(const std::string& folder, std::string_view name, std::uint64_t sequence,
                   const ManifestDefaults& defaults);

// Reads a whole regular file of at most `maxBytes`; false when it cannot be opened or read,
// is larger, or is not a regular file (a FIFO, a device or a folder is never read).
bool ReadWholeFile(const std::string& path, std::string& out,
                   std::size_t maxBytes = kMaxTimetableFileBytes);

std::string FormatPackage(const Package& package);

// nullopt with `error` naming what is wrong.
std::optional<Package> ParsePackage(std::string_view bytes, std::string& error);

// Checks that every stream the manifest lists has the bytes and SHA-256 it gives, and that it
// lists the four streams (and COORDS.stream after them, or nothing more); empty when so.
std::string CheckFilesAgainstManifest(const data::Manifest& manifest,
                                      const std::vector<PackageFile>& files);

}  // namespace korvel::update
