// korvel-cli export-gtfs DIR: the loaded timetable as a GTFS feed, for journey planners.
#include <filesystem>
#include <fstream>
#include <ostream>

#include "cli/commands.h"
#include "data/publisher.h"
#include "gtfs/gtfs.h"

namespace korvel::cli {

int RunExportGtfsWith(const Args& args, const BlobSource& source, std::ostream& out,
                      std::ostream& err) {
    if (args.size() != 1 || args[0].empty() || args[0].starts_with("--")) {
        err << "korvel-cli: export-gtfs needs one folder\n";
        return kExitUsage;
    }
    Timetable tables;
    LoadFlags flags;
    if (!LoadTimetableOrReport(tables, flags, err, source)) return kExitFailure;

    gtfs::GtfsFeedInfo info;
    info.publisherUrl = std::string(kPublisherHomeUrl);
    info.version = !source && !TimetableFolder().empty()
                       ? "timetable folder " + TimetableFolder()
                       : "2019 timetable compiled from public sources, not accurate to the day";
    const gtfs::GtfsFeed feed = gtfs::ExportGtfs(tables, info);

    const std::filesystem::path dir(args[0]);
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    for (const auto& [name, text] : feed) {
        std::ofstream file(dir / name, std::ios::binary | std::ios::trunc);
        file.write(text.data(), static_cast<std::streamsize>(text.size()));
        file.close();
        if (!file) {
            err << "korvel-cli: cannot write " << (dir / name).string() << "\n";
            return kExitFailure;
        }
    }
    out << "GTFS feed with " << tables.KMList.RecordCount() << " trips and "
        << tables.KMTrain.RecordCount() << " stop times written to " << dir.string() << "\n";
    return kExitOk;
}

int RunExportGtfs(const Args& args, std::ostream& out, std::ostream& err) {
    return RunExportGtfsWith(args, {}, out, err);
}

}  // namespace korvel::cli
