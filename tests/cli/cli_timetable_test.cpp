// korvel-cli --timetable DIR: the commands read a folder of table streams instead of the
// embedded timetable; a damaged or missing file is named and the exit status is non-zero.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/cli_run.h"

namespace korvel {
namespace {

namespace fs = std::filesystem;

using cli_test::CliRun;
using cli_test::Slurp;

CliRun Cli(const std::string& args) {
    return cli_test::RunCli(args);
}

std::string Quoted(const fs::path& path) {
    return "'" + path.string() + "'";
}

// A copy of the sample timetable's streams, as korvel-ttbuild wrote them.
fs::path SampleFolder(const std::string& name) {
    const fs::path dir = fs::path(::testing::TempDir()) / ("korvel_cli_tt_" + name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    for (const char* f : {"SLIST.stream", "STRAIN.stream", "SM.stream", "SPY.stream"}) {
        fs::copy_file(fs::path(KORVEL_SAMPLE_STREAMS) / f, dir / f);
    }
    return dir;
}

class CliTimetableFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!fs::exists(fs::path(KORVEL_SAMPLE_STREAMS) / "SLIST.stream")) {
            GTEST_SKIP() << "no sample timetable in this build";
        }
    }
};

TEST_F(CliTimetableFolder, CommandsReadTheFolder) {
    const fs::path dir = SampleFolder("good");
    const CliRun load = Cli("--timetable '" + dir.string() + "' load");
    EXPECT_EQ(load.rc, 0) << load.err;
    EXPECT_NE(load.out.find("Timetable folder: " + dir.string()), std::string::npos) << load.out;
    EXPECT_TRUE(load.err.empty()) << load.err;

    // The dump of the folder's train list is the sample's, whatever the program embeds.
    const CliRun dump = Cli("--timetable '" + dir.string() + "' dump KMList");
    EXPECT_EQ(dump.rc, 0) << dump.err;
    std::size_t lines = 0;
    for (char ch : dump.out) lines += ch == '\n';
    const std::string slist = Slurp(dir / "SLIST.stream");
    std::size_t rows = 0;
    for (std::size_t at = slist.find("\r\n\"", slist.find("@@TABLEDEF END@@"));
         at != std::string::npos; at = slist.find("\r\n\"", at + 1)) {
        ++rows;
    }
    EXPECT_EQ(lines, rows);  // header line + one per train, as in the stream

    const CliRun direct = Cli("--timetable '" + dir.string() + "' direct 北京 上海");
    EXPECT_EQ(direct.rc, 0) << direct.err;
    EXPECT_NE(direct.out.find("结果:"), std::string::npos);
}

TEST_F(CliTimetableFolder, DamagedOrMissingFilesFailNamingTheFile) {
    const fs::path dir = SampleFolder("damaged");
    {
        std::ofstream(dir / "STRAIN.stream", std::ios::binary | std::ios::trunc)
            << "\"@@FILE VERSION@@\",\"251\"\r\n\"@@TABLEDEF START@@\"\r\n"
               "\"ID=Nonsense,35,\"\"ID\"\",\"\"\"\",35,Data,\"\"\"\"\"\r\n";
    }
    const CliRun direct = Cli("--timetable '" + dir.string() + "' direct 北京 上海");
    EXPECT_EQ(direct.rc, 1);
    EXPECT_NE(direct.err.find((dir / "STRAIN.stream").string()), std::string::npos) << direct.err;
    EXPECT_EQ(direct.out.find("结果:"), std::string::npos) << direct.out;

    fs::remove(dir / "SPY.stream");
    const CliRun load = Cli("--timetable '" + dir.string() + "' load");
    EXPECT_EQ(load.rc, 1);
    EXPECT_NE(load.err.find((dir / "SPY.stream").string()), std::string::npos) << load.err;

    const CliRun none = Cli("--timetable '" + (dir / "nothing").string() + "' dump KMSM");
    EXPECT_EQ(none.rc, 1);
    EXPECT_NE(none.err.find("SM.stream"), std::string::npos) << none.err;

    // The planner too reads the folder, or refuses; never the embedded timetable instead.
    const CliRun journey =
        Cli("--timetable '" + (dir / "nothing").string() + "' journey 北京 上海 --format json");
    EXPECT_EQ(journey.rc, 1);
    EXPECT_NE(journey.err.find((dir / "nothing").string()), std::string::npos) << journey.err;
    EXPECT_EQ(journey.out.find("\"legs\""), std::string::npos) << journey.out;

    const CliRun usage = Cli("--timetable");
    EXPECT_EQ(usage.rc, 2);
}

TEST_F(CliTimetableFolder, AManifestIsVerifiedAndAMismatchRefused) {
    const fs::path dir = SampleFolder("manifest");
    fs::copy_file(fs::path(KORVEL_SAMPLE_STREAMS) / "manifest.txt", dir / "manifest.txt");
    const CliRun good = Cli("--timetable '" + dir.string() + "' load");
    EXPECT_EQ(good.rc, 0) << good.err;
    EXPECT_NE(good.out.find("(verified against its manifest)"), std::string::npos) << good.out;

    // One byte of one stop changed: the digest differs, whatever the byte means.
    std::string strain = Slurp(dir / "STRAIN.stream");
    strain[strain.size() - 5] = strain[strain.size() - 5] == '1' ? '2' : '1';
    std::ofstream(dir / "STRAIN.stream", std::ios::binary | std::ios::trunc) << strain;
    const CliRun bad = Cli("--timetable '" + dir.string() + "' direct 北京 上海");
    EXPECT_EQ(bad.rc, 1);
    EXPECT_NE(bad.err.find((dir / "STRAIN.stream").string() + ": its SHA-256 differs"),
              std::string::npos)
        << bad.err;
}

TEST_F(CliTimetableFolder, ExportGtfsWritesTheFeed) {
    const fs::path dir = SampleFolder("gtfs");
    const fs::path feed = dir / "feed";
    const CliRun run =
        Cli("--timetable '" + dir.string() + "' export-gtfs '" + feed.string() + "'");
    EXPECT_EQ(run.rc, 0) << run.err;
    for (const char* f : {"agency.txt", "stops.txt", "routes.txt", "trips.txt", "stop_times.txt",
                          "calendar.txt", "feed_info.txt"}) {
        EXPECT_TRUE(fs::exists(feed / f)) << f;
    }
    EXPECT_EQ(Slurp(feed / "stop_times.txt")
                  .rfind("trip_id,arrival_time,departure_time,stop_id,stop_sequence,"
                         "shape_dist_traveled\r\n",
                         0),
              0u);
    EXPECT_NE(Slurp(feed / "feed_info.txt").find(dir.string()), std::string::npos);
    EXPECT_EQ(Cli("export-gtfs").rc, 2);

    // A path ending in .zip gets an archive; a folder holding files of someone else's is
    // refused and left as it was.
    const CliRun zip =
        Cli("--timetable '" + dir.string() + "' export-gtfs '" + (dir / "f.zip").string() + "'");
    EXPECT_EQ(zip.rc, 0) << zip.err;
    EXPECT_EQ(Slurp(dir / "f.zip").rfind("PK\x03\x04", 0), 0u);
    std::ofstream(feed / "notes.md") << "mine";
    const CliRun refused =
        Cli("--timetable '" + dir.string() + "' export-gtfs '" + feed.string() + "'");
    EXPECT_EQ(refused.rc, 1);
    EXPECT_NE(refused.err.find("notes.md"), std::string::npos) << refused.err;
    EXPECT_EQ(Slurp(feed / "notes.md"), "mine");
}

// Change rules set in a timetable's manifest go out in transfers.txt, come back through
// korvel-ttbuild into the new timetable's manifest, and are then the planner's defaults; the
// options given still win.
TEST_F(CliTimetableFolder, ChangeMinutesGoThroughAFeedToThePlannersDefaults) {
    const fs::path plain = KORVEL_SAMPLE_STREAMS;
    const fs::path dir = SampleFolder("changes");
    // Long enough to rule out the sample's change of nine hours at one station.
    std::ofstream(dir / "manifest.txt", std::ios::binary)
        << Slurp(plain / "manifest.txt") << "min-transfer 600\ncity-transfer 700\n";
    const fs::path feed = dir / "feed";
    ASSERT_EQ(Cli("--timetable " + Quoted(dir) + " export-gtfs " + Quoted(feed)).rc, 0);
    const std::string transfers = Slurp(feed / "transfers.txt");
    EXPECT_NE(transfers.find(",2,36000\r\n"), std::string::npos);
    EXPECT_NE(transfers.find(",2,42000\r\n"), std::string::npos);

    const fs::path built = dir / "built";
    const std::string build = std::string("'") + KORVEL_TTBUILD_PATH + "' --gtfs " + Quoted(feed) +
                              " --out " + Quoted(built) + " >/dev/null";
    ASSERT_EQ(std::system(build.c_str()), 0);
    const std::string manifest = Slurp(built / "manifest.txt");
    EXPECT_TRUE(manifest.ends_with("\nmin-transfer 600\ncity-transfer 700\n")) << manifest;

    const CliRun load = Cli("--timetable " + Quoted(built) + " load");
    EXPECT_EQ(load.rc, 0) << load.err;
    EXPECT_NE(load.out.find("(verified against its manifest)\nJourney defaults from the "
                            "timetable: --min-transfer 600 --city-transfer 700\n"),
              std::string::npos)
        << load.out;
    EXPECT_NE(
        Cli("--timetable " + Quoted(built) + " journey --help").out.find("600, the timetable's"),
        std::string::npos);
    EXPECT_NE(Cli("--timetable " + Quoted(plain) + " journey --help").out.find("30, the program's"),
              std::string::npos);

    auto journeys = [](const fs::path& folder, const std::string& options) {
        const CliRun run =
            Cli("--timetable " + Quoted(folder) + " journey 北京 汉口 --format csv " + options);
        EXPECT_EQ(run.rc, 0) << run.err;
        return run.out;
    };
    const std::string usual = journeys(plain, "");
    EXPECT_NE(journeys(built, ""), usual);
    EXPECT_EQ(journeys(built, ""), journeys(plain, "--min-transfer 600 --city-transfer 700"));
    EXPECT_EQ(journeys(built, "--min-transfer 30 --city-transfer 120"), usual);
}

}  // namespace
}  // namespace korvel
