// korvel-cli export-gtfs PATH: the loaded timetable as a GTFS feed, for journey planners. A
// path ending in ".zip" gets a zip archive, any other a folder; either is written whole or
// the old one is left as it was.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>

#include "cli/commands.h"
#include "data/manifest.h"
#include "gtfs/feed_files.h"
#include "gtfs/gtfs.h"
#include "journey/journey_defaults.h"
#include "journey/planner.h"
#include "timetable/timetable_folder.h"

namespace korvel::cli {
namespace {

// The name and first day of a timetable folder's manifest, when it has one that parses.
std::optional<data::Manifest> FolderManifest(const std::string& folder) {
    const std::filesystem::path path = std::filesystem::path(folder) / data::kManifestFileName;
    // A manifest is a few hundred bytes: anything but a small regular file is none.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec) || std::filesystem::file_size(path, ec) > 65536)
        return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return data::ParseManifest(text).manifest;
}

gtfs::GtfsFeedInfo FeedInfo(const BlobSource& source) {
    gtfs::GtfsFeedInfo info;
    const bool folder = !source && !TimetableFolder().empty();
    const std::optional<data::Manifest> manifest =
        folder ? FolderManifest(TimetableFolder()) : std::nullopt;
    // The change rules the planner would use on this timetable, so that a feed read back
    // plans as the timetable it came from.
    const JourneyOptions planner = JourneyDefaultsOf(manifest);
    info.minTransfer = planner.minTransfer;
    info.cityTransfer = planner.cityTransfer;
    info.version = folder ? "timetable folder " + TimetableFolder()
                          : "2019 timetable compiled from public sources, not accurate to the day";
    // The calendar runs a year from the day the timetable is valid; the embedded 2019
    // timetable, and a folder that does not say, keep the year 2019.
    if (manifest) {
        if (const auto dates = gtfs::FeedDatesFrom(manifest->valid_from)) {
            info.startDate = dates->start;
            info.endDate = dates->end;
        }
        info.version = manifest->name + " (" + info.version + ")";
    }
    return info;
}

}  // namespace

int RunExportGtfsWith(const Args& args, const BlobSource& source, std::ostream& out,
                      std::ostream& err) {
    if (args.size() != 1 || args[0].empty() || args[0].starts_with("--")) {
        err << "korvel-cli: export-gtfs needs one folder or FILE.zip\n";
        return kExitUsage;
    }
    StoredTables tables;
    LoadFlags flags;
    if (!LoadTimetableOrReport(tables, flags, err, source)) return kExitFailure;

    gtfs::GtfsFeedInfo info = FeedInfo(source);
    const std::optional<StationCoords> coords = LoadStationCoords(source);
    if (coords) info.coords = &*coords;
    const gtfs::GtfsFeed feed = gtfs::ExportGtfs(tables, info);
    if (const auto failed = gtfs::WriteGtfsFeed(args[0], feed)) {
        err << "korvel-cli: " << *failed << "\n";
        return kExitFailure;
    }
    out << "GTFS feed with " << tables.KMList.RecordCount() << " trips and "
        << tables.KMTrain.RecordCount() << " stop times written to " << args[0] << "\n";
    return kExitOk;
}

int RunExportGtfs(const Args& args, std::ostream& out, std::ostream& err) {
    return RunExportGtfsWith(args, {}, out, err);
}

}  // namespace korvel::cli
