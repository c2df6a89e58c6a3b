// Hostile texts in the input boxes of the main window: blanks, digits, Latin letters,
// characters outside GBK, bytes that are no GBK at all, a megabyte of text, train numbers
// with "/" and blanks. Each ends in its message box or in an empty result, and a failed check
// leaves the previous result alone. An export onto a full disk keeps the previous file.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "app/main_controller.h"
#include "support/controller_fixture.h"
#include "support/fake_view.h"

namespace korvel::testing {
namespace {

const std::string kMegabyte = std::string(1u << 20, 'x');

std::string Repeat(const std::string& piece, std::size_t bytes) {
    std::string out;
    while (out.size() < bytes) out += piece;
    return out;
}

class BadInputTest : public ::testing::Test {
  protected:
    void SetUp() override {
        StartOptions o;
        o.source = StreamSource(FixtureStreams());
        c.Start(std::move(o));
        // A result that a failed check must leave as it is.
        view.Type(Control::TrainNumberBox, "G1");
        c.TrainClicked();
        ASSERT_EQ(c.ShownCount(), 1);
        view.ClearRecords();
    }
    // Types into a box the way the window does: the change handler runs after the edit.
    void Enter(Control box, const std::string& gbk) {
        view.Type(box, gbk);
        c.StationBoxEdited(box);
    }
    // The one message shown since the last ClearRecords, as "caption|text" in UTF-8.
    std::string OnlyMessage() const {
        if (view.messages.size() != 1) return "messages: " + std::to_string(view.messages.size());
        return GbkToUtf8(view.messages[0].caption) + "|" + GbkToUtf8(view.messages[0].text);
    }
    void ExpectPreviousResultKept() {
        EXPECT_EQ(c.ShownCount(), 1);
        EXPECT_EQ(c.Grid().Cell(0, 0), "G1");
    }

    FakeView view;
    MainController c{view};
};

struct BoxCase {
    const char* what;
    std::string typed;   // GBK bytes as they reach the box
    std::string expect;  // "caption|text" for the departure box
};

std::vector<BoxCase> HostileStationTexts() {
    return {
        {"blanks only", "   \t ", "信息不完整|请输入发站。"},
        {"digits", "12306", "输入错误|发站不存在。"},
        {"Latin letters", "bjx", "信息不完整|请输入发站。"},
        {"letters and a blank", "bei jing", "输入错误|发站不存在。"},
        {"letters and digits", "bj1", "输入错误|发站不存在。"},
        {"name with a blank inside", G("北 京"), "输入错误|发站不存在。"},
        {"name with a character outside GBK", Utf8ToGbk("北京\U0001F684"), "输入错误|发站不存在。"},
        {"bytes that are no GBK", "\x80\xFF\xB1", "输入错误|发站不存在。"},
        {"a NUL byte inside a name", G("北") + std::string(1, '\0') + G("京"),
         "输入错误|发站不存在。"},
        {"1 MB of Chinese", Repeat(G("北京"), 1u << 20), "输入错误|发站不存在。"},
        {"1 MB of letters", std::string(1u << 20, 'b'), "信息不完整|请输入发站。"},
        {"1 MB of blanks", std::string(1u << 20, ' '), "信息不完整|请输入发站。"},
        {"1 MB of other text", kMegabyte + "1", "输入错误|发站不存在。"},
    };
}

// The departure box, then the same texts in the arrival box and the station timetable box.
TEST_F(BadInputTest, StationBoxesAnswerHostileTextsWithTheirMessages) {
    for (const BoxCase& k : HostileStationTexts()) {
        SCOPED_TRACE(k.what);
        view.ClearRecords();
        Enter(Control::DepartureBox, k.typed);
        Enter(Control::ArrivalBox, G("上海"));
        c.StationPairClicked(PairQuery::Direct);
        EXPECT_EQ(OnlyMessage(), k.expect);
        EXPECT_EQ(view.focus, Control::DepartureBox);
        ExpectPreviousResultKept();

        std::string arrival = k.expect;
        arrival.replace(arrival.find("发站"), std::string("发站").size(), "到站");
        view.ClearRecords();
        Enter(Control::DepartureBox, G("北京"));
        Enter(Control::ArrivalBox, k.typed);
        c.StationPairClicked(PairQuery::Transfer);  // the transfer button runs the same checks
        EXPECT_EQ(OnlyMessage(), arrival);
        EXPECT_EQ(view.focus, Control::ArrivalBox);
        EXPECT_EQ(view.transferWindows, 0);
        ExpectPreviousResultKept();

        std::string station = k.expect;
        station.replace(station.find("发站"), std::string("发站").size(), "车站");
        view.ClearRecords();
        Enter(Control::StationBox, k.typed);
        c.StationClicked();
        EXPECT_EQ(OnlyMessage(), station);
        EXPECT_EQ(view.focus, Control::StationBox);
        ExpectPreviousResultKept();
    }
}

TEST_F(BadInputTest, StationBoxListsStayBoundedForHostileTexts) {
    // A megabyte of letters matches no code: nine empty items, opened; the text stays.
    Enter(Control::DepartureBox, std::string(1u << 20, 'b'));
    EXPECT_EQ(view.comboItems[Control::DepartureBox], std::vector<std::string>(9));
    EXPECT_EQ(view.dropDownsOpened[Control::DepartureBox], 1);
    EXPECT_EQ(view.Text(Control::DepartureBox).size(), 1u << 20);

    // Blanks around letters are trimmed before the lookup.
    Enter(Control::DepartureBox, "  bj\t");
    EXPECT_EQ(view.Text(Control::DepartureBox), "bj");
    const std::vector<std::string> bj = {
        G("北京"), G("宝鸡"), G("北京西"), G("北京南"), G("北京北"), "", "", "", ""};
    EXPECT_EQ(view.comboItems[Control::DepartureBox], bj);

    // Other text leaves the list alone; a box of blanks becomes empty with nine empty items.
    for (const std::string& other :
         {G("北京") + "\xF8\xB3", std::string("12306"), std::string("\x80\xFF"), kMegabyte + "1"}) {
        Enter(Control::DepartureBox, other);
        EXPECT_EQ(view.comboItems[Control::DepartureBox], bj);
    }
    Enter(Control::DepartureBox, std::string(1u << 20, ' '));
    EXPECT_EQ(view.Text(Control::DepartureBox), "");
    EXPECT_EQ(view.comboItems[Control::DepartureBox], std::vector<std::string>(9));
    EXPECT_EQ(view.dropDownsOpened[Control::DepartureBox], 2);
}

TEST_F(BadInputTest, TrainNumbersWithSlashesAndBlanks) {
    struct TrainCase {
        std::string typed;
        std::vector<std::string> found;  // train numbers, in order
    };
    const TrainCase cases[] = {
        {"/", {}},
        {" / ", {}},
        {"//", {}},
        {"Z98/", {}},
        {"/Z95", {}},
        {"Z95", {}},
        {"Z98 / Z95", {}},
        {"Z98/Z95/", {}},
        {" z98/z95 ", {"Z98/Z95"}},
        {"\tZ98\r\n", {"Z98/Z95"}},
        {std::string(1u << 20, '/'), {}},
        {std::string(1u << 20, ' ') + "g1", {"G1"}},
        {Repeat("K7/", 1u << 20), {}},
    };
    for (const TrainCase& k : cases) {
        SCOPED_TRACE(k.typed.substr(0, 12));
        view.ClearRecords();
        view.Type(Control::TrainNumberBox, k.typed);
        c.TrainClicked();
        EXPECT_TRUE(view.messages.empty());  // finding nothing is no error
        std::vector<std::string> found;
        for (const ResultRow& r : c.Results())
            found.push_back(c.Results().timetable->Number(r.train));
        EXPECT_EQ(found, k.found);
        EXPECT_EQ(GbkToUtf8(view.Text(Control::ResultLabel)),
                  "结果:" + std::to_string(k.found.size()));
    }

    // Only blanks and control characters: the box counts as empty.
    for (const std::string& blank : {std::string(" \t\r\n"), std::string(1u << 20, ' ')}) {
        view.ClearRecords();
        view.Type(Control::TrainNumberBox, blank);
        c.TrainClicked();
        EXPECT_EQ(OnlyMessage(), "信息不完整|请输入车次。");
        EXPECT_EQ(view.focus, Control::TrainNumberBox);
    }
}

TEST_F(BadInputTest, ExportOntoAFullDiskKeepsThePreviousFile) {
    const std::string path = ::testing::TempDir() + "korvel_reliability_export.csv";
    const std::string previous = "previous export\r\n";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << previous;
    }
    view.saveFileName = path;
    std::fflush(nullptr);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The disk holds no more than 64 bytes of any new file.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{64, 64};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(77);
        c.ExportClicked();
        const bool reported =
            view.messages.size() == 1 &&
            view.messages[0].text.rfind("Cannot create file \"" + path + "\".", 0) == 0;
        _exit(reported ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "cannot limit the file size";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the failed write was not reported";

    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, previous);
    std::remove(path.c_str());
}

}  // namespace
}  // namespace korvel::testing
