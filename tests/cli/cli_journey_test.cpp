// korvel-cli journey: exact outputs in-process on the controller tests' small timetable, the
// argument checks, and the built program on the embedded timetable.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>

#include "cli/cmd_query_common.h"
#include "cli/commands.h"
#include "support/cli_run.h"
#include "support/controller_fixture.h"

namespace korvel {
namespace {

using cli_test::CliRun;

CliRun Journey(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    CliRun r;
    r.rc = cli::RunJourneyWith(args, testing::StreamSource(testing::FixtureStreams()), out, err);
    r.out = out.str();
    r.err = err.str();
    return r;
}

TEST(CliJourney, JsonCarriesMinutesFromMidnightOfDayZero) {
    // K51 to 济南, then the night train T109 on to 上海 the next morning.
    const CliRun r = Journey({"天津", "上海", "--format", "json"});
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out,
              "{\"journeys\": [\n"
              "  {\"depart_minute\": 370, \"arrive_minute\": 2069, \"transfers\": 1, "
              "\"minutes\": 1699, \"distance\": 1325, \"fares\": [\"-\", \"-\", \"-\", \"-\"], "
              "\"legs\": [{\"train\": \"K51\", \"from\": \"天津\", \"to\": \"济南\", "
              "\"depart_minute\": 370, \"arrive_minute\": 602}, {\"train\": \"T109\", \"from\": "
              "\"济南\", \"to\": \"上海\", \"depart_minute\": 1398, \"arrive_minute\": 2069}]}\n"
              "]}\n");
}

TEST(CliJourney, TableBlocksAndCsvRowsPerLeg) {
    CliRun r = Journey({"天津", "上海"});
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out,
              "1. 06:10 天津 → 10:29+1 上海  历时28:19  换乘1次  1325km  硬座 - 软座 - 硬卧 - "
              "软卧 -\n"
              "   K51  天津 06:10 → 济南 10:02  等候13:16\n"
              "   T109  济南 23:18 → 上海 10:29+1\n"
              "\n"
              "共1个换乘方案\n");

    // A leg's fares are the direct query's fares for that train between the two stations.
    std::ostringstream direct, ignored;
    ASSERT_EQ(
        cli::RunQueryCommand("direct", {"济南", "上海", "--format", "csv"},
                             testing::StreamSource(testing::FixtureStreams()), direct, ignored),
        0);
    std::string t109 = direct.str().substr(direct.str().find("\nT109,") + 1);
    t109 = t109.substr(0, t109.find('\n'));
    std::string fares;
    for (int comma = 0, i = 0; i < static_cast<int>(t109.size()); ++i) {
        if (comma >= 11) fares += t109[i];
        if (t109[i] == ',') ++comma;
    }
    EXPECT_EQ(fares, "123,-,239/248/258,396/416");

    r = Journey({"天津", "上海", "--format=csv"});
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.out,
              "方案,车次,发站,发时,到站,到时,历时,等候,里程,硬座,软座,硬卧,软卧\n"
              "1,K51,天津,06:10,济南,10:02,3:52,13:16,357,-,-,-,-\n"
              "1,T109,济南,23:18,上海,10:29+1,11:11,,968," +
                  fares + "\n");
}

TEST(CliJourney, TwoStationsOfOneCityAreSaidToBeSo) {
    // K7 runs 北京西 → 北京 → 天津; from 北京西 to 北京 only its first stretch is offered.
    const CliRun r = Journey({"北京西", "北京"});
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out,
              "1. 07:00 北京西 → 07:30 北京  历时0:30  换乘0次  12km  硬座 - 软座 - 硬卧 - 软卧 -\n"
              "   K7  北京西 07:00 → 北京 07:30\n"
              "\n"
              "北京西和北京在同一城市，只列出直达的列车。共1个换乘方案\n");
}

TEST(CliJourney, OptionsChangeTheAnswer) {
    // Without a change there is no way from 天津 to 上海.
    CliRun r = Journey({"天津", "上海", "--max-transfers", "0"});
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(r.out, "没有找到换乘方案。\n");
    r = Journey({"天津", "上海", "--max-transfers", "0", "--format", "json"});
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(r.out, "{\"journeys\": []}\n");
    EXPECT_NE(r.err.find("没有找到换乘方案"), std::string::npos);
    // K51 leaves at 06:10: a window after it finds nothing.
    r = Journey({"天津", "上海", "--window", "06:11-23:59", "--format", "csv"});
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(r.out, "方案,车次,发站,发时,到站,到时,历时,等候,里程,硬座,软座,硬卧,软卧\n");
    // A change of 13:17 at 济南 misses T109; the next morning's G1 is the best.
    r = Journey({"天津", "上海", "--min-transfer", "797", "--format", "json"});
    EXPECT_NE(r.out.find("\"arrive_minute\": 2208"), std::string::npos) << r.out;
}

TEST(CliJourney, BadInputIsReportedWithStatusTwo) {
    const std::vector<std::vector<std::string>> bad = {
        {"天津"},
        {"天津", "上海", "--window", "25:00-26:00"},
        {"天津", "上海", "--window", "10:00-09:00", "--arrive", "10:00-11:00"},
        {"天津", "上海", "--window", "10:00"},
        {"天津", "上海", "--max-transfers", "4"},
        {"天津", "上海", "--max-transfers", "-1"},
        {"天津", "上海", "--min-transfer", "-5"},
        {"天津", "上海", "--city-transfer", "99999"},
        {"天津", "上海", "--city-transfer", "abc"},
        {"天津", "上海", "--format", "xml"},
        {"天津", "上海", "--via", "济南"},
        {"天津", "火星站"},
        {"天津", "天津"},
        {"tj", "上海"},
    };
    for (const auto& args : bad) {
        const CliRun r = Journey(args);
        std::string joined;
        for (const std::string& a : args) joined += a + " ";
        EXPECT_EQ(r.rc, 2) << joined;
        EXPECT_FALSE(r.err.empty()) << joined;
        EXPECT_TRUE(r.out.empty()) << joined;
    }
    EXPECT_NE(Journey({"天津", "火星站"}).err.find("输入错误: 到站不存在。"), std::string::npos);
    EXPECT_NE(Journey({"天津", "天津"}).err.find("输入错误: 发站与到站相同。"), std::string::npos);
}

// --- the built program on the embedded timetable -------------------------------------------

TEST(CliJourneyProcess, EmbeddedTimetableAnswersAndRefuses) {
    auto run = [](const std::string& args) { return cli_test::RunCli("journey " + args); };
    const CliRun r = run("北京 上海 --window 08:00-09:00 --format json");
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.out.rfind("{\"journeys\": [", 0), 0u);
    EXPECT_NE(r.out.find("\"legs\": [{\"train\": "), std::string::npos);
    // Arriving 12:00-18:00: every journey arrives then, some left the day before.
    const CliRun arrive = run("北京 上海 --arrive 12:00-18:00 --format json");
    ASSERT_EQ(arrive.rc, 0);
    const std::regex summary(
        "\"depart_minute\": (-?\\d+), \"arrive_minute\": (\\d+), \"transfers\"");
    int journeys = 0, dayBefore = 0;
    for (std::sregex_iterator m(arrive.out.begin(), arrive.out.end(), summary), end; m != end;
         ++m) {
        ++journeys;
        const int at = std::stoi((*m)[2]);
        EXPECT_TRUE(at >= 720 && at <= 1080) << at;
        dayBefore += std::stoi((*m)[1]) < 0;
    }
    EXPECT_GT(journeys, 5);
    EXPECT_GT(dayBefore, 0);
    EXPECT_EQ(run("北京 火星站").rc, 2);
    EXPECT_EQ(run("北京 上海 --max-transfers 9").rc, 2);
}

}  // namespace
}  // namespace korvel
