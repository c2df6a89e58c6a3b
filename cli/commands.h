// korvel-cli subcommands. Each is a function over its own arguments (the UTF-8 words after
// the subcommand's name) that writes UTF-8 to `out` and `err` and returns the exit code;
// main.cpp lists them in its command table.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/loaders.h"
#include "data/schema.h"
#include "data/station_coords.h"

namespace korvel::cli {

using Args = std::vector<std::string>;
using CommandFn = int (*)(const Args& args, std::ostream& out, std::ostream& err);

struct Command {
    std::string_view name;
    std::string_view usage;    // arguments after the name, e.g. "TABLE [--index NAME]"
    std::string_view summary;  // one line for the help text
    CommandFn run;
};

// Exit codes shared by the subcommands.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;  // the timetable could not be loaded, or a command failed
constexpr int kExitUsage = 2;    // bad arguments: unknown command, table, index or option

// --- load: start-up report ---
int RunLoad(const Args& args, std::ostream& out, std::ostream& err);
// The same with the blobs taken from `source` (tests inject damaged blobs here).
int RunLoadWith(const BlobSource& source, std::ostream& out, std::ostream& err);

// --- dump: one table as CSV ---
int RunDump(const Args& args, std::ostream& out, std::ostream& err);
int RunDumpWith(const Args& args, const BlobSource& source, std::ostream& out, std::ostream& err);

// --- export-gtfs: the timetable as a GTFS feed in a folder ---
int RunExportGtfs(const Args& args, std::ostream& out, std::ostream& err);
int RunExportGtfsWith(const Args& args, const BlobSource& source, std::ostream& out,
                      std::ostream& err);

// --- map: a train's or a journey's route as an SVG map ---
int RunMap(const Args& args, std::ostream& out, std::ostream& err);
int RunMapWith(const Args& args, const BlobSource& source, std::ostream& out, std::ostream& err);

// The stations' places that go with the timetable of `source` (as LoadTimetable picks it),
// or nothing when it has none; `error` says why when it has a stream that cannot be read.
std::optional<StationCoords> LoadStationCoords(const BlobSource& source,
                                               std::string* error = nullptr);

// --- journey: the journey planner between two stations ---
int RunJourney(const Args& args, std::ostream& out, std::ostream& err);
int RunJourneyWith(const Args& args, const BlobSource& source, std::ostream& out,
                   std::ostream& err);

// --- update, timetables: signed timetable updates and the installed timetables ---
int RunUpdate(const Args& args, std::ostream& out, std::ostream& err);
int RunTimetables(const Args& args, std::ostream& out, std::ostream& err);
// Without --timetable: the chosen installed timetable when it verifies, else the previous
// one, else the embedded one; says on `err` why when it is not the chosen one.
void ChooseStartupTimetable(std::ostream& err);
// The installed timetable ChooseStartupTimetable settled on, "" for none.
const std::string& InstalledTimetableName();

// --- helpers for commands that need the timetable ---

struct TimetableLoad {
    std::vector<LoadEvent> events;  // in the order the tables finished
    double totalMilliseconds = 0;   // from starting the loaders until both have ended
    bool ok = false;                // every table loaded
    // The typed timetable the loaders built from the four tables (null unless ok).
    std::shared_ptr<const Timetable> timetable;
};

// The timetable folder of `--timetable DIR` (UTF-8), used by every command instead of the
// embedded timetable when no source is given; empty for the embedded timetable. `tables`:
// its tables, loaded and checked already (an installed timetable chosen at start-up), which
// the first load of the folder takes over instead of reading it again.
void UseTimetableFolder(const std::string& folder, std::shared_ptr<StoredTables> tables = {});
const std::string& TimetableFolder();
// The tables given with the folder, once: the first caller takes them.
std::shared_ptr<StoredTables> TakeTimetableTables();

// Runs both start-up loaders over `tables` and waits for them. An empty source means the
// embedded blobs, or the folder of UseTimetableFolder.
TimetableLoad LoadTimetable(StoredTables& tables, LoadFlags& flags, const BlobSource& source = {});

// Loads the whole timetable for a query command. On failure writes one line per failed
// table ("korvel-cli: cannot load KMTrain: ...") to `err` and returns false.
bool LoadTimetableOrReport(StoredTables& tables, LoadFlags& flags, std::ostream& err,
                           const BlobSource& source = {});

// Text at the command-line boundary: UTF-8 in, GBK inside, UTF-8 out.
std::string ToUtf8(std::string_view gbk);
std::string ToGbk(std::string_view utf8);

}  // namespace korvel::cli
