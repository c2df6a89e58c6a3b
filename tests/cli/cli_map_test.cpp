// korvel-cli map: the train and the journey on the controller tests' small timetable with
// injected station places, the errors and exit codes, and the built program on the embedded
// timetable.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "cli/commands.h"
#include "data/gbk.h"
#include "data/station_coords.h"
#include "support/cli_run.h"
#include "support/controller_fixture.h"

namespace korvel {
namespace {

using cli_test::CliRun;

// Places for the fixture's stations along its lines; 徐州 has none.
std::map<std::string, std::string> StreamsWithPlaces(bool places) {
    auto streams = testing::FixtureStreams();
    if (!places) return streams;
    std::vector<std::pair<std::string, StationPoint>> rows;
    auto add = [&](const char* utf8, double lon, double lat) {
        rows.push_back({Utf8ToGbk(utf8), {lon, lat, false}});
    };
    add("北京", 116.43, 39.90);
    add("北京西", 116.32, 39.89);
    add("北京南", 116.38, 39.87);
    add("天津", 117.21, 39.14);
    add("济南", 116.99, 36.67);
    add("南京", 118.80, 32.09);
    add("上海", 121.46, 31.25);
    add("上海虹桥", 121.32, 31.19);
    streams["COORDS"] = WriteCoordsStream(rows);
    return streams;
}

CliRun Map(const std::vector<std::string>& args, bool places = true) {
    std::ostringstream out, err;
    CliRun r;
    r.rc = cli::RunMapWith(args, testing::StreamSource(StreamsWithPlaces(places)), out, err);
    r.out = out.str();
    r.err = err.str();
    return r;
}

std::string TempSvg(const char* name) {
    return ::testing::TempDir() + "korvel_map_" + name + ".svg";
}

TEST(CliMap, TrainAndJourneyAreDrawnWithEveryStationAccountedFor) {
    const std::string path = TempSvg("g1");
    CliRun r = Map({"train", "g1", "--out", path});
    ASSERT_EQ(r.rc, 0) << r.err;
    // G1 calls at five stations; 徐州 has no place and is named, not dropped.
    EXPECT_EQ(r.out, "map of G1 written to " + path +
                         " (4 stations on the map, 1 without coordinates: 徐州)\n");
    const std::string svg = cli_test::Slurp(path);
    EXPECT_EQ(svg.rfind("<?xml", 0), 0u);
    EXPECT_NE(svg.find("徐州"), std::string::npos);
    EXPECT_NE(svg.find("OpenStreetMap contributors"), std::string::npos);
    std::filesystem::remove(path);

    // 天津 to 上海: K51 to 济南, then T109; --pick beyond the journeys found is refused.
    r = Map({"journey", "天津", "上海", "--out=" + path});
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_NE(r.out.find("map of K51 - T109"), std::string::npos) << r.out;
    EXPECT_NE(cli_test::Slurp(path).find("class=\"stop change\""), std::string::npos);
    std::filesystem::remove(path);
    r = Map({"journey", "天津", "上海", "--pick", "9", "--out", path});
    EXPECT_EQ(r.rc, 2);
    EXPECT_NE(r.err.find("--pick 9"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(CliMap, ErrorsAreTheUsualOnesAndNothingIsWritten) {
    const std::string path = TempSvg("bad");
    // Unknown station: the journey's message and exit code.
    CliRun r = Map({"journey", "天津", "不存在站", "--out", path});
    EXPECT_EQ(r.rc, 2);
    EXPECT_NE(r.err.find("输入错误"), std::string::npos) << r.err;
    // Unknown train: as `stops` refuses it.
    r = Map({"train", "Q999", "--out", path});
    EXPECT_EQ(r.rc, 1);
    EXPECT_EQ(r.err, "korvel-cli map: no train Q999\n");
    // An output that cannot be written is refused as --export is.
    r = Map({"train", "G1", "--out", "/nonexistent-folder/m.svg"});
    EXPECT_EQ(r.rc, 1);
    EXPECT_EQ(r.err.rfind("korvel-cli: Cannot create file \"/nonexistent-folder/m.svg\"", 0), 0u)
        << r.err;
    // A timetable without places loads, but has no map.
    r = Map({"train", "G1", "--out", path}, false);
    EXPECT_EQ(r.rc, 1);
    EXPECT_EQ(r.err, "korvel-cli map: this timetable has no station coordinates\n");
    // Usage.
    for (const auto& args : std::vector<std::vector<std::string>>{
             {},
             {"bus", "G1", "--out", path},
             {"train", "G1"},
             {"train", "G1", "--out"},
             {"train", "G1", "G2", "--out", path},
             {"train", "G1", "--pick", "2", "--out", path},
             {"journey", "天津", "上海", "--pick", "0", "--out", path}}) {
        r = Map(args);
        EXPECT_EQ(r.rc, 2) << (args.empty() ? "" : args[0]);
        EXPECT_EQ(r.err.rfind("korvel-cli map: ", 0), 0u) << r.err;
    }
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(CliMap, BuiltProgramDrawsTheEmbeddedTimetable) {
    const std::string path = TempSvg("z281");
    const CliRun r = cli_test::RunCli("map train Z281 --out '" + path + "'");
    if (r.rc == 1 && r.err.find("no station coordinates") != std::string::npos)
        GTEST_SKIP() << "the embedded timetable has no coordinates";
    ASSERT_EQ(r.rc, 0) << r.err;
    const std::string svg = cli_test::Slurp(path);
    EXPECT_NE(svg.find("<path class=\"network\""), std::string::npos);
    std::filesystem::remove(path);
}

}  // namespace
}  // namespace korvel
