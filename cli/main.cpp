// korvel-cli: the timetable engine from the command line, UTF-8 in and out.
//
// Subcommands live in the table below, each an `int RunX(const Args&, std::ostream& out,
// std::ostream& err)`. The six queries asked of the query layer (direct, train, station,
// transfer, stops, codes) share cmd_query.cpp and are declared in cmd_query_common.h;
// every other command has its own cmd_x.cpp, declared in commands.h. To add one, write it
// there and add a row here.
#include <exception>
#include <iostream>
#include <span>
#include <string>
#include <vector>

#include "cli/cmd_query_common.h"
#include "cli/commands.h"

namespace {

using korvel::cli::Command;

constexpr Command kCommands[] = {
    {"load", "", "load the embedded timetable and report each table, its records and load time",
     korvel::cli::RunLoad},
    {"dump", "TABLE [--index NAME]",
     "print a table (KMList, KMTrain, KMSM, KMPy) as CSV in an index's order",
     korvel::cli::RunDump},
    {"direct",
     "FROM TO [--only LIST] [--depart HH:MM-HH:MM] [--class LIST] [--sort COL[:desc]] [--format F] "
     "[--export FILE] [--yes]",
     "direct trains between two stations (the grid as shown, then 结果:N)", korvel::cli::RunDirect},
    {"train",
     "NUMBER [--only LIST] [--depart HH:MM-HH:MM] [--class LIST] [--sort COL[:desc]] [--format F] "
     "[--export FILE]",
     "trains under a train number over their whole routes", korvel::cli::RunTrain},
    {"station",
     "NAME [--only LIST] [--depart HH:MM-HH:MM] [--class LIST] [--sort COL[:desc]] [--format F] "
     "[--export FILE]",
     "every train calling at a station or its city", korvel::cli::RunStation},
    {"transfer", "FROM TO [--via STATION] [--sort COL[:desc]] [--format F] [--export FILE]",
     "transfer stations between two stations, or both legs through one of them",
     korvel::cli::RunTransfer},
    {"stops", "TRAIN [--board STATION [--count N]] [--format F] [--export FILE]",
     "a train's stop list with the route and section summary lines", korvel::cli::RunStops},
    {"codes", "LETTERS [--format F]", "stations whose pinyin initials begin with LETTERS",
     korvel::cli::RunCodes},
    {"export-gtfs", "DIR|FILE.zip",
     "write the timetable as a GTFS feed, a folder or a zip archive (agency, stops, routes, "
     "trips, stop_times, transfers, calendar, feed_info)",
     korvel::cli::RunExportGtfs},
    {"journey",
     "FROM TO [--window HH:MM-HH:MM | --arrive HH:MM-HH:MM] [--max-transfers N] "
     "[--min-transfer MIN] "
     "[--city-transfer MIN] [--format table|csv|json]",
     "timed journeys with up to 3 changes that nothing beats (departure, arrival, changes)",
     korvel::cli::RunJourney},
    {"map",
     "train NUMBER --out FILE.svg | journey FROM TO [journey options] [--pick N] --out FILE.svg",
     "draw a train's route, or a journey's (the first unless --pick), on the railway network as "
     "SVG",
     korvel::cli::RunMap},
    {"update", "[--catalogue URL] [--public-key PUB]",
     "download, verify and install the publisher's newest signed timetable",
     korvel::cli::RunUpdate},
    {"timetables", "[use NAME|embedded | remove NAME]",
     "list the embedded and installed timetables (* in use), choose one, or remove one",
     korvel::cli::RunTimetables},
};

void Usage(std::ostream& os) {
    os << "usage: korvel-cli [--timetable DIR] COMMAND [ARGS...]\n\n"
          "  --timetable DIR  read SLIST.stream, STRAIN.stream, SM.stream and SPY.stream from\n"
          "                   DIR (as korvel-ttbuild writes them) instead of the embedded\n"
          "                   timetable or an installed one\n\ncommands:\n";
    for (const Command& c : kCommands) {
        std::string line = "  " + std::string(c.name);
        if (!c.usage.empty()) line += " " + std::string(c.usage);
        os << line << "\n      " << c.summary << "\n";
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    int first = 1;
    if (argc > 1 && std::string(argv[1]) == "--timetable") {
        if (argc < 3 || std::string(argv[2]).empty()) {
            std::cerr << "korvel-cli: --timetable needs a folder\n";
            return korvel::cli::kExitUsage;
        }
        korvel::cli::UseTimetableFolder(argv[2]);
        first = 3;
        if (argc > 3 && std::string(argv[3]) == "--timetable") {
            std::cerr << "korvel-cli: --timetable given twice\n";
            return korvel::cli::kExitUsage;
        }
    }
    if (argc <= first) {
        Usage(std::cerr);
        return korvel::cli::kExitUsage;
    }
    const std::string name = argv[first];
    if (name == "help" || name == "--help" || name == "-h") {
        Usage(std::cout);
        return korvel::cli::kExitOk;
    }
    const std::vector<std::string> args(argv + first + 1, argv + argc);
    // --timetable overrides the installed timetables; update and timetables read none.
    if (first == 1 && name != "update" && name != "timetables") {
        korvel::cli::ChooseStartupTimetable(std::cerr);
    }
    for (const Command& c : kCommands) {
        if (c.name != name) continue;
        try {
            const int rc = c.run(args, std::cout, std::cerr);
            std::cout.flush();
            return rc;
        } catch (const std::exception& e) {
            std::cout.flush();
            std::cerr << "korvel-cli " << name << ": " << e.what() << "\n";
            return korvel::cli::kExitFailure;
        }
    }
    std::cerr << "korvel-cli: unknown command '" << name << "'\n";
    Usage(std::cerr);
    return korvel::cli::kExitUsage;
}
