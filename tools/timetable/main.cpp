// korvel-ttbuild: builds the four timetable streams from the public source data.
//   korvel-ttbuild --source DIR --out DIR [--stops FILE] [--report FILE] [--sample]
//                  [--name TEXT] [--valid-from YYYY-MM-DD]
//   korvel-ttbuild --gtfs DIR|FILE.zip [--source DIR] --out DIR [--report FILE] [--name TEXT]
//                  [--valid-from YYYY-MM-DD]
//   korvel-ttbuild keygen|pack ...   (timetable updates, see timetable/publish.h)
#include <cstdio>
#include <ctime>
#include <exception>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "gtfs/feed_files.h"
#include "timetable/builder.h"
#include "timetable/files.h"
#include "timetable/gtfs_input.h"
#include "timetable/manifest_out.h"
#include "timetable/publish.h"
#include "update/store.h"

namespace fs = std::filesystem;
using namespace korvel::timetable;

namespace {

// Reads a source that must be there; prints why not and returns false otherwise.
bool ReadRequired(const fs::path& path, std::string& out) {
    std::string error;
    switch (ReadSourceFile(path, out, error)) {
        case SourceRead::Ok:
            return true;
        case SourceRead::Missing:
            std::cerr << "korvel-ttbuild: cannot read " << path.string() << "\n";
            return false;
        case SourceRead::Refused:
            break;
    }
    std::cerr << "korvel-ttbuild: " << error << "\n";
    return false;
}

// Reads a source that may be absent (nothing, true); one that is there but is no readable
// file is an error all the same.
bool ReadOptional(const fs::path& path, std::string& out, bool* present = nullptr) {
    std::string error;
    const SourceRead read = ReadSourceFile(path, out, error);
    if (present) *present = read == SourceRead::Ok;
    if (read != SourceRead::Refused) return true;
    std::cerr << "korvel-ttbuild: " << error << "\n";
    return false;
}

// The character readings come compressed with the system's Unicode data; without bzcat or
// the file the builder uses its checked-in table (and says so in the report).
std::string ReadReadings() {
    const char* path = "/usr/share/unicode/Unihan_Readings.txt.bz2";
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) return {};
    FILE* pipe = popen("bzcat /usr/share/unicode/Unihan_Readings.txt.bz2 2>/dev/null", "r");
    if (!pipe) return {};
    std::string text;
    char buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) text.append(buf, n);
    if (pclose(pipe) != 0) return {};
    return text;
}

// The manifest of the built streams, named as told, else as the feed or DefaultNaming says,
// with the change minutes a feed gave.
std::optional<std::string> TimetableManifest(const std::string& sourcePath,
                                             const std::optional<std::string>& name,
                                             const std::optional<std::string>& validFrom,
                                             const FeedChanges& changes, const BuildOutput& built,
                                             std::string& error) {
    TimetableNaming naming = DefaultNaming(sourcePath, std::time(nullptr));
    if (name) naming.name = *name;
    // A feed says when it starts; the day of the build is a guess.
    if (!changes.validFrom.empty()) naming.validFrom = changes.validFrom;
    if (validFrom) naming.validFrom = *validFrom;
    naming.minTransfer = changes.minTransfer;
    naming.cityTransfer = changes.cityTransfer;
    return ManifestText(naming, built.slist, built.strain, built.sm, built.spy, error,
                        built.coords);
    //   korvel-ttbuild keygen|pack ...   (timetable updates, see timetable/publish.h)
}

int Usage(std::ostream& os, int rc) {
    os << "usage: korvel-ttbuild --source DIR --out DIR [--stops FILE] [--report FILE] "
          "[--sample]\n"
          "       korvel-ttbuild --gtfs DIR|FILE.zip [--source DIR] --out DIR [--report FILE]\n"
          "       korvel-ttbuild keygen --public PUB --secret SEC [--force]\n"
          "       korvel-ttbuild pack TTDIR --name NAME --secret SEC --out DIR\n"
          "  --source DIR   stops.csv in DIR/timetable-2019/ or DIR/, station lists in\n"
          "                 DIR/stations/, same-city groups in DIR/groups/citys.txt\n"
          "  --stops FILE   the stop list (columns tid,sno,sname,arrv_time,depart_time,\n"
          "                 day,mileage) from elsewhere\n"
          "  --gtfs DIR     the trains of a GTFS feed (a folder or a zip archive of\n"
          "                 stops.txt, routes.txt, trips.txt, stop_times.txt, ...)\n"
          "                 instead of a stop list\n"
          "  --out DIR      the folder to write; an existing one is replaced whole, and only\n"
          "                 when it holds nothing but files this builder writes\n"
          "  --name TEXT    the timetable's name in manifest.txt (default: the year of a\n"
          "                 timetable-YYYY folder in the source's path, else \"timetable\")\n"
          "  --valid-from YYYY-MM-DD  its first valid day (default: that year's first\n"
          "                 day, else the day of the build)\n";
    return rc;
}

struct Args {
    fs::path source, out, reportPath, stopsPath, gtfs;
    std::optional<std::string> name, validFrom;
    bool sample = false;
};

// Nothing when the run ends here (with `rc` set).
std::optional<Args> ParseArgs(int argc, char** argv, int& rc) {
    Args a;
    rc = 2;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            rc = Usage(std::cout, 0);
            return std::nullopt;
        }
        if (arg == "--sample") {
            a.sample = true;
            continue;
        }
        if ((arg == "--name" || arg == "--valid-from") && i + 1 < argc) {
            (arg == "--name" ? a.name : a.validFrom) = argv[++i];
            continue;
        }
        fs::path* value = arg == "--source"   ? &a.source
                          : arg == "--out"    ? &a.out
                          : arg == "--gtfs"   ? &a.gtfs
                          : arg == "--stops"  ? &a.stopsPath
                          : arg == "--report" ? &a.reportPath
                                              : nullptr;
        if (!value || i + 1 >= argc) {
            Usage(std::cerr, 2);
            return std::nullopt;
        }
        // An empty name would quietly mean "the default" or "the current folder".
        if (*argv[++i] == '\0') {
            std::cerr << "korvel-ttbuild: " << arg << " needs a name\n";
            return std::nullopt;
        }
        *value = argv[i];
    }
    if ((a.source.empty() && a.gtfs.empty()) || a.out.empty()) {
        Usage(std::cerr, 2);
        return std::nullopt;
    }
    return a;
}

bool ReadFeed(const Args& a, Sources& s, FeedChanges& changes) {
    try {
        changes = AddGtfsTrains(korvel::gtfs::ReadGtfs(korvel::gtfs::ReadGtfsFeed(a.gtfs.string())),
                                s, !a.source.empty());
    } catch (const korvel::gtfs::GtfsError& e) {
        // "DIR/stops.txt:5: ..." for a file of the feed, "DIR: ..." for the feed as a whole.
        const std::string what = e.what();
        const bool inFile = korvel::gtfs::IsGtfsFileName(what.substr(0, what.find(':')));
        std::cerr << "korvel-ttbuild: "
                  << (inFile ? (a.gtfs / what).string() : a.gtfs.string() + ": " + what) << "\n";
        return false;
    }
    return true;
}

bool ReadStops(Args& a, Sources& s) {
    if (a.stopsPath.empty()) {
        a.stopsPath = a.source / "timetable-2019" / "stops.csv";
        std::error_code ec;
        if (!fs::exists(a.stopsPath, ec) && fs::exists(a.source / "stops.csv", ec)) {
            a.stopsPath = a.source / "stops.csv";
        }
    }
    if (!ReadRequired(a.stopsPath, s.stopsCsv)) return false;
    // A malformed source is refused before anything is written.
    if (const auto bad = CheckStopsCsv(s.stopsCsv)) {
        std::cerr << "korvel-ttbuild: " << a.stopsPath.string() << ":" << bad->line << ":"
                  << bad->column << ": " << bad->message << "\n";
        return false;
    }
    return true;
}

// A feed alone brings no station lists or groups: the codes then come from the readings.
bool ReadSourceFolder(const Args& a, Sources& s) {
    for (const char* name :
         {"station_name-2026.js", "station_name-2024.txt", "station_name-2018.js"}) {
        std::string text;
        bool present = false;
        if (!ReadOptional(a.source / "stations" / name, text, &present)) return false;
        if (present) s.stationLists.push_back(std::move(text));
    }
    // Station coordinates are optional: without them the timetable has no map. A feed's own
    // places come first; the folder's file adds the stations the feed does not place.
    std::string coordinates;
    if (!ReadOptional(a.source / "stations" / "station-coordinates-osm.csv", coordinates)) {
        return false;
    }
    if (s.coordinatesCsv.empty()) {
        s.coordinatesCsv = std::move(coordinates);
    } else if (const auto eol = coordinates.find('\n'); eol != std::string::npos) {
        s.coordinatesCsv += coordinates.substr(eol + 1);  // without its header
    }
    bool groups = false;
    if (!ReadOptional(a.source / "groups" / "citys.txt", s.groups, &groups)) return false;
    if (!groups) std::cerr << "korvel-ttbuild: no same-city groups in " << a.source << "\n";
    const fs::path overrides = a.source / "overrides.csv";
    bool present = false;
    if (!ReadOptional(overrides, s.overrides, &present)) return false;
    if (a.sample && !present) {
        std::cerr << "korvel-ttbuild: --sample needs " << overrides << "\n";
        return false;
    }
    return true;
}

int Run(int argc, char** argv) {
    if (argc > 1 && (std::string(argv[1]) == "keygen" || std::string(argv[1]) == "pack")) {
        const std::vector<std::string> args(argv + 2, argv + argc);
        return std::string(argv[1]) == "keygen" ? RunKeygen(args) : RunPack(args);
    }
    int rc = 0;
    std::optional<Args> a = ParseArgs(argc, argv, rc);
    if (!a) return rc;

    Sources s;
    FeedChanges changes;
    if (!a->gtfs.empty() ? !ReadFeed(*a, s, changes) : !ReadStops(*a, s)) return 1;
    if (!a->source.empty() && !ReadSourceFolder(*a, s)) return 1;
    s.readings = ParseReadings(ReadReadings());
    if (s.readings.empty()) {
        s.readings = FallbackReadings();
        s.readingsBuiltIn = true;
    }

    const BuildOutput built = BuildTimetable(s);
    if (built.report.trainsBuilt == 0) {
        std::cerr << built.report.Text() << "korvel-ttbuild: no train survived\n";
        return 1;
    }
    // The manifest is made before anything is written, so a bad --name or --valid-from
    // leaves the old folder as it was.
    std::string manifestError;
    const std::optional<std::string> manifest =
        TimetableManifest((a->gtfs.empty() ? a->stopsPath : a->gtfs).string(), a->name,
                          a->validFrom, changes, built, manifestError);
    if (!manifest) {
        std::cerr << "korvel-ttbuild: " << manifestError << "\n";
        return a->name || a->validFrom ? 2 : 1;
    }
    const std::string text = built.report.Text();
    std::vector<OutputFile> files = {{"SLIST.stream", &built.slist},
                                     {"STRAIN.stream", &built.strain},
                                     {"SM.stream", &built.sm},
                                     {"SPY.stream", &built.spy},
                                     {"manifest.txt", &*manifest}};
    if (!built.coords.empty()) files.insert(files.end() - 1, {"COORDS.stream", &built.coords});
    // A build that succeeds loads: the folder passes the checks the program loads it with
    // before it replaces the old one.
    if (!WriteOutputFolder(a->out, files, a->reportPath, text, std::cerr,
                           korvel::update::InstalledFolderProblem)) {
        std::cerr << text;
        return 1;
    }
    std::cout << text;
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // Whatever goes wrong ends with a message and status 1, never an abort.
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        std::cerr << "korvel-ttbuild: " << e.what() << "\n";
    } catch (...) {
        std::cerr << "korvel-ttbuild: failed\n";
    }
    return 1;
}
