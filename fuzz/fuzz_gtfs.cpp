// A GTFS feed from arbitrary bytes (files separated by NUL, in the order below): the reader
// either refuses it with GtfsError or gives trains whose every value a stream can hold.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "gtfs/gtfs.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

const char* const kFiles[] = {"stops.txt",    "routes.txt",    "trips.txt",  "stop_times.txt",
                              "calendar.txt", "transfers.txt", "agency.txt", "calendar_dates.txt"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    korvel::gtfs::GtfsFeed feed;
    for (const char* name : kFiles) {
        const std::size_t end = bytes.find('\0');
        feed[name] = std::string(bytes.substr(0, end));
        if (end == std::string_view::npos) break;
        bytes.remove_prefix(end + 1);
    }
    try {
        const korvel::gtfs::GtfsTrains read = korvel::gtfs::ReadGtfs(feed);
        for (const auto& train : read.trains) {
            for (const auto& s : train.stops) {
                Check(s.arrival >= -1 && s.arrival < 1440);
                Check(s.departure >= -1 && s.departure < 1440);
                Check(s.day >= 1 && s.day <= korvel::gtfs::kMaxGtfsHours / 24 + 1);
                Check(s.km >= -1 && s.km <= korvel::gtfs::kMaxGtfsKm);
            }
        }
        if (read.minTransfer) Check(*read.minTransfer >= 0 && *read.minTransfer <= 1440);
        if (read.cityTransfer) Check(*read.cityTransfer >= 0 && *read.cityTransfer <= 1440);
    } catch (const korvel::gtfs::GtfsError&) {
    }
    return 0;
}
