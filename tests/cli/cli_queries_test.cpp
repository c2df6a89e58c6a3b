// korvel-cli's query subcommands: as a process on the embedded timetable (checks that hold
// for every timetable the build may embed), and in-process on the controller tests' small
// timetable for exact outputs.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cmd_query_common.h"
#include "data/gbk.h"
#include "support/cli_run.h"
#include "support/controller_fixture.h"

namespace korvel {
namespace {

using cli_test::CliRun;
using cli_test::Lines;
using cli_test::Slurp;

std::string TempBase() {
    return ::testing::TempDir() + "korvel_cliq_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
}

CliRun Cli(const std::string& args) {
    return cli_test::RunCli(args);
}

std::vector<std::string> Split(const std::string& line) {
    std::vector<std::string> cells;
    std::string cell;
    std::istringstream in(line);
    while (std::getline(in, cell, ',')) cells.push_back(cell);
    if (!line.empty() && line.back() == ',') cells.emplace_back();
    return cells;
}

const char kMainHeader[] =
    "车次,始发,终到,车型,发站,发时,到站,到时,停站,里程,历时,硬座,软座,硬卧,软卧";

// --- the built program on the embedded timetable -------------------------------------------

TEST(CliQueryProcess, DirectQueryPrintsTheGridAndTheResultLine) {
    const CliRun table = Cli("direct 北京 上海");
    ASSERT_EQ(table.rc, 0) << table.err;
    const auto lines = Lines(table.out);
    ASSERT_GE(lines.size(), 3u);
    // Columns are as wide as their longest value, so only the order of the titles is fixed.
    EXPECT_EQ(lines.front().rfind("车次", 0), 0u);
    EXPECT_LT(lines.front().find("始发"), lines.front().find("终到"));
    EXPECT_EQ(lines.back().rfind("结果:", 0), 0u);
    const int count = std::stoi(lines.back().substr(std::string("结果:").size()));
    EXPECT_GE(count, 1);
    EXPECT_EQ(lines.size(), static_cast<std::size_t>(count) + 2);

    const CliRun csv = Cli("direct 北京 上海 --format csv");
    ASSERT_EQ(csv.rc, 0);
    const auto rows = Lines(csv.out);
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(count) + 1);
    EXPECT_EQ(rows[0], kMainHeader);
    for (std::size_t i = 1; i < rows.size(); ++i) EXPECT_EQ(Split(rows[i]).size(), 15u) << rows[i];

    const CliRun json = Cli("direct 北京 上海 --format=json");
    ASSERT_EQ(json.rc, 0);
    EXPECT_EQ(json.out.front(), '{');
    EXPECT_NE(json.out.find("\"count\": " + std::to_string(count)), std::string::npos);
}

TEST(CliQueryProcess, InputErrorsGoToStandardErrorWithExitStatusTwo) {
    struct Case {
        const char* args;
        const char* message;
    } cases[] = {
        {"direct 北京 火星站", "输入错误: 到站不存在。"},
        {"direct 火星站 上海", "输入错误: 发站不存在。"},
        {"direct bj 上海", "信息不完整: 请输入发站。"},
        {"direct 上海 上海", "输入错误: 发站与到站相同。"},
        {"station 火星站", "输入错误: 车站不存在。"},
        {"station sh", "信息不完整: 请输入车站。"},
        {"train '  '", "信息不完整: 请输入车次。"},
        {"transfer 北京 火星站", "输入错误: 到站不存在。"},
    };
    for (const Case& c : cases) {
        const CliRun r = Cli(c.args);
        EXPECT_EQ(r.rc, 2) << c.args;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << ": " << r.err;
        EXPECT_TRUE(r.out.empty()) << c.args;
    }
}

TEST(CliQueryProcess, BadArgumentsAreUsageErrors) {
    for (const char* args :
         {"direct 北京", "direct 北京 上海 --format xml", "direct 北京 上海 --sort 15",
          "direct 北京 上海 --only fast", "train G1 --via 北京", "stops G1 --count 2", "codes"}) {
        const CliRun r = Cli(args);
        EXPECT_EQ(r.rc, 2) << args;
        EXPECT_FALSE(r.err.empty()) << args;
    }
    // An option holding one value, given twice, is neither "last one wins" nor a lost word.
    for (const char* args :
         {"direct 北京 上海 --sort 1 --sort 2", "direct 北京 上海 --format csv --format=json",
          "train G1 --export a.csv --export b.csv", "journey 北京 上海 --format csv --format csv",
          "journey 北京 上海 --min-transfer 5 --min-transfer 9"}) {
        const CliRun r = Cli(args);
        EXPECT_EQ(r.rc, 2) << args;
        EXPECT_NE(r.err.find("given twice"), std::string::npos) << args << ": " << r.err;
        EXPECT_EQ(r.out, "") << args;
    }
    EXPECT_EQ(Cli("direct 北京 上海 --only start --only emu").rc, 0);  // a list grows
}

TEST(CliQueryProcess, SortAndFiltersActOnTheShownRows) {
    const CliRun up = Cli("direct 北京 上海 --format csv --sort 9");
    const CliRun down = Cli("direct 北京 上海 --format csv --sort 9:desc");
    ASSERT_EQ(up.rc, 0);
    ASSERT_EQ(down.rc, 0);
    auto km = [](const CliRun& r) {
        std::vector<int> v;
        const auto rows = Lines(r.out);
        for (std::size_t i = 1; i < rows.size(); ++i) v.push_back(std::stoi(Split(rows[i])[9]));
        return v;
    };
    const std::vector<int> a = km(up), d = km(down);
    EXPECT_TRUE(std::is_sorted(a.begin(), a.end()));
    EXPECT_TRUE(std::is_sorted(d.rbegin(), d.rend()));
    EXPECT_EQ(a.size(), d.size());

    const CliRun emu = Cli("direct 北京 上海 --format csv --only emu,exact");
    ASSERT_EQ(emu.rc, 0);
    const auto rows = Lines(emu.out);
    for (std::size_t i = 1; i < rows.size(); ++i) {
        const auto cells = Split(rows[i]);
        EXPECT_NE(std::string("CDG").find(cells[0][0]), std::string::npos) << rows[i];
        EXPECT_EQ(cells[4], "北京");
        EXPECT_EQ(cells[6], "上海");
    }
}

TEST(CliQueryProcess, DepartureTimeAndClassKeepOnlyMatchingRows) {
    const CliRun all = Cli("direct 北京 上海 --format csv");
    const CliRun some = Cli("direct 北京 上海 --format csv --depart 06:00-11:59 --class G,c");
    ASSERT_EQ(some.rc, 0) << some.err;
    const auto rows = Lines(some.out);
    ASSERT_GE(rows.size(), 2u);
    EXPECT_LT(rows.size(), Lines(all.out).size());
    for (std::size_t i = 1; i < rows.size(); ++i) {
        const auto cells = Split(rows[i]);
        EXPECT_NE(std::string("GC").find(cells[0][0]), std::string::npos) << rows[i];
        EXPECT_GE(cells[5], "06:00") << rows[i];
        EXPECT_LE(cells[5], "11:59") << rows[i];
    }
    for (const char* args :
         {"direct 北京 上海 --depart 6-12", "train G1 --class X", "transfer 北京 上海 --class K"}) {
        const CliRun r = Cli(args);
        EXPECT_EQ(r.rc, 2) << args;
        EXPECT_FALSE(r.err.empty()) << args;
    }
}

TEST(CliQueryProcess, ExportWritesTheShownRowsAsGbk) {
    const std::string path = TempBase() + ".csv";
    std::remove(path.c_str());
    const CliRun r = Cli("direct 北京 上海 --format csv --export '" + path + "'");
    ASSERT_EQ(r.rc, 0) << r.err;
    const std::string file = Slurp(path);
    std::remove(path.c_str());
    std::vector<std::string> lines;
    for (std::size_t start = 0, end; (end = file.find("\r\n", start)) != std::string::npos;
         start = end + 2)
        lines.push_back(file.substr(start, end - start));
    ASSERT_EQ(lines.size(), Lines(r.out).size() + 6);  // 6 head lines, no result line
    EXPECT_EQ(GbkToUtf8(lines[6]), kMainHeader);

    // A file that cannot be written fails (1), it is no usage error; a FIFO or a device is
    // never replaced by a regular file.
    const CliRun bad = Cli("direct 北京 上海 --export /nonexistent-dir/out.csv");
    EXPECT_EQ(bad.rc, 1);
    EXPECT_NE(bad.err.find("Cannot create file"), std::string::npos);
    const std::string fifo = TempBase() + ".fifo";
    std::remove(fifo.c_str());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const CliRun special = Cli("direct 北京 上海 --export '" + fifo + "'");
    const std::string train = lines[7].substr(0, lines[7].find(','));
    const CliRun stops = Cli("stops " + GbkToUtf8(train) + " --export '" + fifo + "'");
    struct stat st {};
    const bool stillFifo = ::lstat(fifo.c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
    std::remove(fifo.c_str());
    EXPECT_EQ(special.rc, 1);
    EXPECT_NE(special.err.find("Not a regular file"), std::string::npos) << special.err;
    EXPECT_EQ(stops.rc, 1) << stops.err;
    EXPECT_TRUE(stillFifo);
}

TEST(CliQueryProcess, CodesListTheDropDownWithoutPadding) {
    const CliRun r = Cli("codes bj");
    ASSERT_EQ(r.rc, 0);
    const auto lines = Lines(r.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "北京");
    for (const std::string& l : lines) EXPECT_FALSE(l.empty());
    EXPECT_TRUE(Cli("codes zzzzzz").out.empty());
}

TEST(CliQueryProcess, StopsOfATrainFoundByTheDirectQuery) {
    const CliRun direct = Cli("direct 北京 上海 --format csv");
    ASSERT_EQ(direct.rc, 0);
    const auto rows = Lines(direct.out);
    ASSERT_GE(rows.size(), 2u);
    const auto first = Split(rows[1]);
    const std::string train = first[0];

    const CliRun whole = Cli("stops '" + train + "'");
    ASSERT_EQ(whole.rc, 0) << whole.err;
    const auto lines = Lines(whole.out);
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0].rfind("全程：", 0), 0u);
    EXPECT_EQ(lines[1].rfind("区间：", 0), 0u);
    EXPECT_EQ(lines[2].rfind("站序", 0), 0u);

    const CliRun part =
        Cli("stops '" + train + "' --board '" + first[4] + "' --count 1 --format csv");
    ASSERT_EQ(part.rc, 0) << part.err;
    const auto partLines = Lines(part.out);
    ASSERT_GE(partLines.size(), 4u);
    EXPECT_EQ(Split(partLines[2]).size(), 8u);
    EXPECT_EQ(partLines[2].rfind("1,", 0), 0u);

    const CliRun nowhere = Cli("stops '" + train + "' --board 火星站");
    EXPECT_EQ(nowhere.rc, 2);
}

TEST(CliQueryProcess, TransferListsTheCandidatesUnderTheWindowCaption) {
    const CliRun r = Cli("transfer 北京 上海");
    ASSERT_EQ(r.rc, 0) << r.err;
    const auto lines = Lines(r.out);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0].rfind("两地共有<", 0), 0u);
    EXPECT_EQ(lines[0].substr(lines[0].size() - std::string(">个中转站供选择:").size()),
              ">个中转站供选择:");
    EXPECT_EQ(lines[1].rfind("中转站", 0), 0u);
}

// 历时 counts from the departure at the boarding stop: on every row of the station-to-station
// query, the station board and the legs through a transfer station it equals 到时 - 发时 modulo
// a day (stored run times count to a stop's arrival, so a dwell there must be added).
TEST(CliQueryProcess, JourneyTimeIsArrivalMinusDepartureOnEveryRow) {
    auto minutes = [](const std::string& hhmm) {
        const std::size_t colon = hhmm.find(':');
        if (colon == std::string::npos) return -1;
        return std::stoi(hhmm.substr(0, colon)) * 60 + std::stoi(hhmm.substr(colon + 1));
    };
    std::size_t rows = 0, dwells = 0;
    for (const char* query : {"direct 北京 上海", "direct 哈尔滨 广州", "station 郑州",
                              "transfer 北京 上海 --via 济南"}) {
        const CliRun r = Cli(std::string(query) + " --format csv");
        ASSERT_EQ(r.rc, 0) << query << r.err;
        const auto lines = Lines(r.out);
        ASSERT_GT(lines.size(), 1u) << query;
        ASSERT_EQ(lines[0], kMainHeader);
        for (std::size_t i = 1; i < lines.size(); ++i) {
            const std::vector<std::string> cells = Split(lines[i]);
            ASSERT_EQ(cells.size(), 15u) << lines[i];
            const int depart = minutes(cells[5]), arrive = minutes(cells[7]);
            const int time = minutes(cells[10]);
            if (depart < 0 || arrive < 0) continue;  // a stop without a time
            ++rows;
            EXPECT_EQ(((arrive - depart - time) % 1440 + 1440) % 1440, 0)
                << query << ": " << lines[i];
            dwells += cells[1] != cells[4];  // boarded after the origin
        }
    }
    EXPECT_GT(rows, 500u);
    EXPECT_GT(dwells, 100u);
}

// --- in-process on the small timetable ------------------------------------------------------

CliRun InProcess(const std::string& name, const cli::Args& args) {
    std::ostringstream out, err;
    CliRun r;
    r.rc = cli::RunQueryCommand(name, args, testing::StreamSource(testing::FixtureStreams()), out,
                                err);
    r.out = out.str();
    r.err = err.str();
    return r;
}

TEST(CliQueryFixture, TransferCandidatesAndThePickedLegs) {
    const CliRun list = InProcess("transfer", {"天津", "南京", "--format", "csv"});
    ASSERT_EQ(list.rc, 0) << list.err;
    const auto lines = Lines(list.out);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "两地共有<2>个中转站供选择:");
    // 济南: 357 km and 3:52 on K51, then 617 km and 2:06 on G1 (from its departure at
    // 09:34, not its arrival at 09:32); one train each way.
    EXPECT_EQ(lines[1], "济南,357,617,974,3:52,2:06,5:58,1,1");
    EXPECT_EQ(Split(lines[2])[0], "徐州");

    const CliRun byCount =
        InProcess("transfer", {"天津", "南京", "--format", "csv", "--sort", "1:desc"});
    EXPECT_EQ(Split(Lines(byCount.out)[1])[0], "徐州");  // 700 km before 357 km

    const CliRun via = InProcess("transfer", {"天津", "南京", "--via", "徐州", "--format", "csv"});
    ASSERT_EQ(via.rc, 0) << via.err;
    const auto legs = Lines(via.out);
    ASSERT_EQ(legs.size(), 3u);
    EXPECT_EQ(Split(legs[1])[0], "K51");
    EXPECT_EQ(Split(legs[1])[6], "徐州");
    EXPECT_EQ(Split(legs[2])[0], "G1");
    EXPECT_EQ(Split(legs[2])[4], "徐州");
    EXPECT_EQ(Split(legs[2])[6], "南京");

    const CliRun notThere = InProcess("transfer", {"天津", "南京", "--via", "上海"});
    EXPECT_EQ(notThere.rc, 2);
}

TEST(CliQueryFixture, NoDirectTrainAsksAndAnswersNoUnlessTold) {
    const CliRun no = InProcess("direct", {"天津", "南京"});
    EXPECT_EQ(no.rc, 0);
    EXPECT_NE(no.err.find("两站之间无直达列车,是否进行中转站查询? -> No"), std::string::npos);
    EXPECT_EQ(Lines(no.out).back(), "结果:0");

    const CliRun yes = InProcess("direct", {"天津", "南京", "--yes", "--via", "济南"});
    EXPECT_EQ(yes.rc, 0);
    EXPECT_NE(yes.err.find("-> Yes"), std::string::npos);
    EXPECT_EQ(Lines(yes.out).back(), "结果:2");
}

TEST(CliQueryFixture, TableColumnsLineUpInDisplayColumns) {
    // Two display columns per Chinese character: the padding counts GBK bytes.
    const CliRun r = InProcess("direct", {"北京南", "上海虹桥"});
    ASSERT_EQ(r.rc, 0) << r.err;
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 4u);
    const std::size_t at = Utf8ToGbk(lines[0]).find(Utf8ToGbk("发时"));
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(Utf8ToGbk(lines[1]).find("08:00"), at);
    EXPECT_EQ(Utf8ToGbk(lines[2]).find("19:33"), at);
    EXPECT_EQ(lines[3], "结果:2");

    const CliRun json = InProcess("codes", {"bj", "--format", "json"});
    EXPECT_EQ(json.out, "[\"北京\", \"宝鸡\", \"北京西\", \"北京南\", \"北京北\"]\n");
}

TEST(CliQueryFixture, StopsBoardingPartWay) {
    const CliRun r =
        InProcess("stops", {"g1", "--board", "济南", "--count", "2", "--format", "csv"});
    ASSERT_EQ(r.rc, 0) << r.err;
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 2u + 5u);
    EXPECT_EQ(lines[0], "全程：1318km/历时4:48/速度275km/h");
    // 济南 (406 km) to 南京 (1023 km), two stops on.
    EXPECT_EQ(lines[1].rfind("区间：617km/历时", 0), 0u);
    EXPECT_EQ(lines[2], "1,北京南,0,,08:00,当天,0:00,");
    EXPECT_EQ(Split(lines[6])[1], "上海虹桥");
}

TEST(CliQueryFixture, DepartureTimeAndClassOnEveryQuery) {
    auto trains = [](const CliRun& r) {
        std::vector<std::string> out;
        const auto lines = Lines(r.out);
        for (std::size_t i = 1; i < lines.size(); ++i) out.push_back(Split(lines[i])[0]);
        return out;
    };
    // 济南: G1 09:34, K51 10:10, T109 23:18.
    const CliRun morning =
        InProcess("station", {"济南", "--depart", "06:00-10:10", "--format", "csv"});
    ASSERT_EQ(morning.rc, 0) << morning.err;
    EXPECT_EQ(trains(morning), (std::vector<std::string>{"G1", "K51"}));
    const CliRun night =
        InProcess("station", {"济南", "--depart=22:00-02:00", "--class", "t,k", "--format", "csv"});
    EXPECT_EQ(trains(night), (std::vector<std::string>{"T109"}));

    // With a filter box and a sort; the result line counts what is shown.
    const CliRun direct = InProcess(
        "direct", {"北京", "上海", "--class", "G,T", "--only", "exact", "--sort", "5:desc"});
    ASSERT_EQ(direct.rc, 0) << direct.err;
    EXPECT_NE(direct.out.find("T109"), std::string::npos);
    EXPECT_EQ(direct.out.find("G1 "), std::string::npos);
    EXPECT_NE(direct.out.find("结果:1"), std::string::npos);

    const CliRun none = InProcess("train", {"g1", "--class", "K"});
    EXPECT_EQ(none.rc, 0);
    EXPECT_NE(none.out.find("结果:0"), std::string::npos);
    const CliRun legs =
        InProcess("transfer", {"天津", "南京", "--via", "徐州", "--class", "G", "--format", "csv"});
    EXPECT_EQ(trains(legs), (std::vector<std::string>{"G1"}));
}

}  // namespace
}  // namespace korvel
