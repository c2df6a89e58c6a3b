// A feed on disk: a folder of text files, or a zip archive of them (the usual form).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "gtfs/gtfs.h"

namespace korvel::gtfs {

// The largest feed file read, unpacked: far above a national railway's stop_times.txt, well
// short of what would exhaust memory.
inline constexpr std::uint64_t kMaxGtfsFileBytes = std::uint64_t{256} << 20;

// Every file the reader looks at; anything else in a feed is not read at all.
inline constexpr std::array<std::string_view, 10> kFeedFiles = {
    "agency.txt",   "stops.txt",          "routes.txt",      "trips.txt",     "stop_times.txt",
    "calendar.txt", "calendar_dates.txt", "frequencies.txt", "transfers.txt", "feed_info.txt"};
bool IsGtfsFileName(std::string_view name);

// The files this program reads (stops.txt, trips.txt, ...), from a folder or, when `path` is a
// regular file, from the zip archive it is. Only regular files (or links to one) are read,
// each up to kMaxGtfsFileBytes. Throws GtfsError naming the file.
GtfsFeed ReadGtfsFeed(const std::string& path);

// The feed as one zip archive (deflated, UTF-8 names, fixed dates so one feed gives the same
// bytes). Nothing when the archive could not be made; `error` says why.
std::optional<std::string> ZipGtfsFeed(const GtfsFeed& feed, std::string* error);

// Writes the feed whole or not at all: a zip archive when `path` ends in ".zip", else a folder
// swapped in for the old one. Returns the error text (naming the path) on failure.
std::optional<std::string> WriteGtfsFeed(const std::string& path, const GtfsFeed& feed);

}  // namespace korvel::gtfs
