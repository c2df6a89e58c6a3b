// A newer timetable in the source format: korvel-ttbuild reads its stops.csv from wherever
// it lies and refuses a malformed one, naming the file, line and column, writing nothing.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "timetable/builder.h"

namespace korvel::timetable {
namespace {

namespace fs = std::filesystem;

const char kHeader[] = "\xEF\xBB\xBFtid,sno,sname,arrv_time,depart_time,day,mileage\n";

TEST(TimetableSourceCheck, FirstBadValueByLineAndColumn) {
    const std::string good = std::string(kHeader) +
                             "Z98,1,太原,-99:00,19:59,1,0\r\n"
                             "Z98,2,上海,09:35,-99:00,2,-1\n";
    EXPECT_FALSE(CheckStopsCsv(good));
    // Columns count bytes: 上海 is six.
    struct Case {
        std::string row;
        int column;
        const char* message;
    } cases[] = {
        {"Z98,2,上海,9:75,-99:00,2,1497", 14, "arrv_time: '9:75' is not a time"},
        {"Z98,2,上海,9:35,-99:00,2,1497", 14, "arrv_time: '9:35' is not a time"},
        {"Z98,2,上海,09:35,24:00,2,1497", 20, "depart_time: '24:00'"},
        {"Z98,x,上海,09:35,-99:00,2,1497", 5, "sno: 'x' is not a stop number"},
        {"Z98,2,上海,09:35,-99:00,-1,1497", 27, "day: '-1'"},
        {"Z98,2,上海,09:35,-99:00,2,-5", 29, "mileage: '-5'"},
        {"Z98,2,,09:35,-99:00,2,1", 7, "sname: empty station name"},
        {"Z98,2,上海,09:35,-99:00,2", 28, "expected 7 values, found 6"},
        {"Z98,2,上海,09:35,-99:00,2,1,x", 31, "expected 7 values, found 8"},
    };
    for (const Case& c : cases) {
        const auto bad = CheckStopsCsv(good + c.row + "\n");
        ASSERT_TRUE(bad) << c.row;
        EXPECT_EQ(bad->line, 4) << c.row;
        EXPECT_EQ(bad->column, c.column) << c.row;
        EXPECT_NE(bad->message.find(c.message), std::string::npos) << bad->message;
    }
    const auto open = CheckStopsCsv(good + "Z98,2,\"上海,09:35,-99:00,2,1497\n");
    ASSERT_TRUE(open);
    EXPECT_EQ(open->line, 4);
    EXPECT_NE(open->message.find("never closed"), std::string::npos) << open->message;
    const auto header = CheckStopsCsv("tid,sno,station,arrv_time,depart_time,day,mileage\n");
    ASSERT_TRUE(header);
    EXPECT_EQ(header->line, 1);
    EXPECT_EQ(header->column, 9);
    EXPECT_TRUE(CheckStopsCsv(""));
}

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

int Build(const std::string& args, std::string* err) {
    const fs::path log = fs::path(::testing::TempDir()) /
                         ("korvel_ttbuild_refresh-" + std::to_string(::getpid()) + ".err");
    const std::string cmd = std::string("'") + KORVEL_TTBUILD_PATH + "' " + args +
                            " >/dev/null 2>'" + log.string() + "'";
    const int status = std::system(cmd.c_str());
    *err = Slurp(log);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(TimetableRefresh, BuildsFromAStopListElsewhereAndRefusesAMalformedOne) {
    const fs::path dir =
        fs::path(::testing::TempDir()) / ("korvel_refresh-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "source");
    const fs::path stops = dir / "source" / "newer.csv";
    std::ofstream(stops, std::ios::binary)
        << kHeader << "G1,1,北京南,-99:00,08:00,1,0\nG1,2,济南西,09:32,09:34,1,406\n"
        << "G1,3,上海虹桥,12:48,-99:00,1,1318\n";
    std::string err;
    EXPECT_EQ(Build("--source '" + (dir / "source").string() + "' --stops '" + stops.string() +
                        "' --out '" + (dir / "out").string() + "'",
                    &err),
              0)
        << err;
    for (const char* f : {"SLIST.stream", "STRAIN.stream", "SM.stream", "SPY.stream"}) {
        EXPECT_TRUE(fs::exists(dir / "out" / f)) << f;
    }
    EXPECT_NE(Slurp(dir / "out" / "SLIST.stream").find("\"G1\",\"2\""), std::string::npos);

    std::ofstream(stops, std::ios::binary | std::ios::app) << "G1,4,苏州北,13:30,-99:00,x,1400\n";
    EXPECT_EQ(Build("--source '" + (dir / "source").string() + "' --stops '" + stops.string() +
                        "' --out '" + (dir / "refused").string() + "'",
                    &err),
              1);
    EXPECT_NE(err.find(stops.string() + ":5:"), std::string::npos) << err;
    EXPECT_NE(err.find("day: 'x'"), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(dir / "refused"));
}

}  // namespace
}  // namespace korvel::timetable
