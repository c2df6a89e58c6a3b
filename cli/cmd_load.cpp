// korvel-cli load: the headless start-up. Runs both loader threads over the embedded blobs
// and reports each table, its record count and load time, then the whole start-up time.
#include <cstdio>
#include <ostream>
#include <string>

#include "app/timetable_folder.h"
#include "cli/commands.h"
#include "resources/resources.h"

namespace korvel::cli {
namespace {

std::string Milliseconds(double ms) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f ms", ms);
    return buf;
}

std::string Padded(std::string_view text, std::size_t width, bool right) {
    std::string s(text);
    if (s.size() >= width) return s;
    return right ? std::string(width - s.size(), ' ') + s : s + std::string(width - s.size(), ' ');
}

}  // namespace

int RunLoadWith(const BlobSource& source, std::ostream& out, std::ostream& err) {
    StoredTables tables;
    LoadFlags flags;
    const TimetableLoad load = LoadTimetable(tables, flags, source);
    for (const LoadEvent& e : load.events) {
        out << Padded(LoadTableName(e.table), 8, false);
        if (e.ok) {
            out << Padded(std::to_string(e.records), 7, true) << " records  "
                << Padded(Milliseconds(e.milliseconds), 10, true) << "\n";
        } else {
            out << "  FAILED  " << Padded(Milliseconds(e.milliseconds), 10, true) << "\n";
            err << "korvel-cli: cannot load " << LoadTableName(e.table) << ": " << e.error << "\n";
        }
    }
    out << "Start-up: " << Milliseconds(load.totalMilliseconds) << "\n";
    bool verified = load.events.size() == 4;
    for (const LoadEvent& e : load.events) verified = verified && e.verified;
    if (!source && !InstalledTimetableName().empty()) {
        out << "Timetable: installed " << InstalledTimetableName() << " (" << TimetableFolder()
            << ")" << (verified ? " (verified against its manifest)" : "") << "\n";
    } else if (!source && !TimetableFolder().empty()) {
        out << "Timetable folder: " << TimetableFolder()
            << (verified ? " (verified against its manifest)" : "") << "\n";
    } else if (!source && EmbeddedTimetableKind() != "builder") {
        // A build made for tests must not pass for the real thing.
        out << "The embedded timetable is the small hand-written " << EmbeddedTimetableKind()
            << " timetable (a build with -DKORVEL_TIMETABLE=sample), not the 2019 timetable; "
               "fares are reference fares estimated by a tariff model.\n";
    } else {
        out << "The embedded timetable is a 2019 timetable compiled from public sources and is "
               "not accurate to the day; fares are reference fares estimated by a tariff model.\n";
    }
    if (!source && !TimetableFolder().empty()) {
        const std::optional<data::Manifest> manifest =
            TimetableFolderSource(TimetableFolder()).GetManifest();
        if (manifest && (manifest->minTransfer || manifest->cityTransfer)) {
            const JourneyOptions d = JourneyDefaultsOf(manifest);
            out << "Journey defaults from the timetable: --min-transfer " << d.minTransfer
                << " --city-transfer " << d.cityTransfer << "\n";
        }
    }
    return load.ok ? kExitOk : kExitFailure;
}

int RunLoad(const Args& args, std::ostream& out, std::ostream& err) {
    if (!args.empty()) {
        err << "korvel-cli: load takes no arguments\n";
        return kExitUsage;
    }
    return RunLoadWith({}, out, err);
}

}  // namespace korvel::cli
