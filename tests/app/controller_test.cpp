// The main-window controller against a recording view: start-up states, the input checks of
// every query with their messages, captions and focus targets, the station-box and Enter-key
// rules, filters, sorting, selection and the advanced menu.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <mutex>

#include "app/main_controller.h"
#include "support/controller_fixture.h"
#include "support/fake_view.h"
#include "views/grid_sort.h"

namespace korvel::testing {
namespace {

class ControllerTest : public ::testing::Test {
  protected:
    void Start(std::set<std::string> failing = {}) {
        StartOptions o;
        o.source = StreamSource(FixtureStreams(), std::move(failing));
        c.Start(std::move(o));
    }
    // Rows shown in the grid, one string per row: column 0 | column 4 | column 6.
    std::vector<std::string> Shown() const {
        std::vector<std::string> rows;
        const ResultGrid& g = c.Grid();
        for (int r = 0; r < g.ShownCount(); ++r)
            rows.push_back(GbkToUtf8(g.Cell(0, r) + "|" + g.Cell(4, r) + "|" + g.Cell(6, r)));
        return rows;
    }
    void Direct(const char* from, const char* to, PairQuery query = PairQuery::Direct) {
        view.Type(Control::DepartureBox, G(from));
        view.Type(Control::ArrivalBox, G(to));
        c.StationPairClicked(query);
    }
    void Station(const char* name) {
        view.Type(Control::StationBox, G(name));
        c.StationClicked();
    }
    void Train(const char* number) {
        view.Type(Control::TrainNumberBox, number);
        c.TrainClicked();
    }
    std::string Label() const { return GbkToUtf8(view.Text(Control::ResultLabel)); }

    FakeView view;
    MainController c{view};
};

// --- start-up -----------------------------------------------------------------------------

TEST_F(ControllerTest, SynchronousStartEnablesEverythingAndShowsTheVersion) {
    Start();
    for (Control box : {Control::DepartureBox, Control::ArrivalBox, Control::StationBox}) {
        EXPECT_TRUE(view.IsEnabled(box));
        EXPECT_EQ(view.comboItems[box], std::vector<std::string>(12));
    }
    for (Control b : {Control::DirectButton, Control::TransferButton, Control::TrainButton,
                      Control::StationButton})
        EXPECT_TRUE(view.IsEnabled(b));
    EXPECT_EQ(GbkToUtf8(view.statusText[0]), "当前版本:2011.09.30");
    EXPECT_EQ(Label(), "结果:0");
    EXPECT_EQ(GbkToUtf8(view.headers[0].first), "车 次");
    EXPECT_EQ(c.QueryKind(), QueryKindValue::None);
    EXPECT_EQ(c.ShownCount(), 0);
    EXPECT_TRUE(c.TransferStation().empty());
    EXPECT_TRUE(c.Flags().Loaded(LoadTable::KMSM));
}

TEST_F(ControllerTest, ControlsStayDisabledUntilTheirTablesArePostedAsLoaded) {
    std::mutex m;
    std::deque<std::function<void()>> posted;
    StartOptions o;
    o.source = StreamSource(FixtureStreams());
    o.post = [&](std::function<void()> f) {
        std::lock_guard<std::mutex> lock(m);
        posted.push_back(std::move(f));
    };
    c.Start(std::move(o));
    c.WaitForLoaders();
    // The tables are loaded, but nothing has reached the user-interface thread yet.
    for (Control x :
         {Control::DepartureBox, Control::ArrivalBox, Control::StationBox, Control::DirectButton,
          Control::TransferButton, Control::TrainButton, Control::StationButton})
        EXPECT_FALSE(view.IsEnabled(x));
    EXPECT_TRUE(view.IsEnabled(Control::SwapButton));
    ASSERT_EQ(posted.size(), 4u);
    bool boxesSeen = false, buttonsSeen = false;
    while (!posted.empty()) {
        posted.front()();
        posted.pop_front();
        // Each state is independent: the boxes follow KMPy, the buttons KMTrain.
        if (view.IsEnabled(Control::DepartureBox)) boxesSeen = true;
        if (view.IsEnabled(Control::DirectButton)) buttonsSeen = true;
        EXPECT_EQ(view.IsEnabled(Control::DepartureBox), view.IsEnabled(Control::StationBox));
        EXPECT_EQ(view.IsEnabled(Control::DirectButton), view.IsEnabled(Control::StationButton));
    }
    EXPECT_TRUE(boxesSeen && buttonsSeen);
}

TEST_F(ControllerTest, AFailedStopTableKeepsTheButtonsDisabledAndSaysSoInTheStatusBar) {
    Start({"STRAIN"});
    EXPECT_TRUE(view.IsEnabled(Control::DepartureBox));
    EXPECT_FALSE(view.IsEnabled(Control::DirectButton));
    EXPECT_FALSE(view.IsEnabled(Control::TrainButton));
    EXPECT_NE(view.statusText[1].find("KMTrain"), std::string::npos);
    EXPECT_TRUE(view.messages.empty());

    // Even a programmatic click finds nothing to read: the checks run, then it stops.
    Direct("北京", "上海");
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(c.ShownCount(), 0);
    Direct("北京", "火星");
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(GbkToUtf8(view.messages[0].text), "到站不存在。");
}

TEST_F(ControllerTest, QueriesDoNothingWhileTheGroupsTableIsMissing) {
    Start({"SM"});
    EXPECT_TRUE(view.IsEnabled(Control::TrainButton));
    Train("G1");
    EXPECT_EQ(c.QueryKind(), QueryKindValue::Train);
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(c.ShownCount(), 0);
    EXPECT_EQ(c.Results().size(), 0u);
    // The checks before the guard still report.
    Train("  ");
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(GbkToUtf8(view.messages[0].text), "请输入车次。");
    // The station-to-station and station queries read the groups as well.
    view.ClearRecords();
    Direct("北京", "上海");
    Station("济南");
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(c.ShownCount(), 0);
}

// --- input checks -------------------------------------------------------------------------

struct CheckCase {
    const char* from;
    const char* to;
    const char* caption;
    const char* text;
    Control focus;
};

TEST_F(ControllerTest, StationToStationChecksReportTheFirstFailureOnly) {
    Start();
    const CheckCase cases[] = {
        {"", "", "信息不完整", "请输入发站。", Control::DepartureBox},
        {"", "上海", "信息不完整", "请输入发站。", Control::DepartureBox},
        {"bj", "上海", "信息不完整", "请输入发站。", Control::DepartureBox},
        {"bj", "bj", "信息不完整", "请输入发站。", Control::DepartureBox},
        {"北京", "", "信息不完整", "请输入到站。", Control::ArrivalBox},
        {"北京", "SH", "信息不完整", "请输入到站。", Control::ArrivalBox},
        {"火星", "火星", "输入错误", "发站与到站相同。", Control::ArrivalBox},
        {"北京", "北京", "输入错误", "发站与到站相同。", Control::ArrivalBox},
        {"火星", "木星", "输入错误", "发站不存在。", Control::DepartureBox},
        {" 北京", "上海", "输入错误", "发站不存在。", Control::DepartureBox},
        {"北京", "木星", "输入错误", "到站不存在。", Control::ArrivalBox},
        {"北京", "上海 ", "输入错误", "到站不存在。", Control::ArrivalBox},
    };
    for (const CheckCase& k : cases) {
        SCOPED_TRACE(std::string(k.from) + " -> " + k.to);
        view.ClearRecords();
        Direct(k.from, k.to);
        ASSERT_EQ(view.messages.size(), 1u);
        EXPECT_EQ(GbkToUtf8(view.messages[0].caption), k.caption);
        EXPECT_EQ(GbkToUtf8(view.messages[0].text), k.text);
        EXPECT_EQ(view.messages[0].buttons, MsgButtons::Ok);
        EXPECT_EQ(view.messages[0].icon, MsgIcon::None);
        EXPECT_EQ(view.focus, k.focus);
        // The entered texts stay as they were.
        EXPECT_EQ(view.Text(Control::DepartureBox), G(k.from));
    }
}

TEST_F(ControllerTest, TrainAndStationChecks) {
    Start();
    Train(" \t ");
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(GbkToUtf8(view.messages[0].caption), "信息不完整");
    EXPECT_EQ(GbkToUtf8(view.messages[0].text), "请输入车次。");
    EXPECT_EQ(view.focus, Control::TrainNumberBox);

    const CheckCase cases[] = {
        {"", "", "信息不完整", "请输入车站。", Control::StationBox},
        {"jn", "", "信息不完整", "请输入车站。", Control::StationBox},
        {"火星", "", "输入错误", "车站不存在。", Control::StationBox},
        {" 济南", "", "输入错误", "车站不存在。", Control::StationBox},
        {"济南1", "", "输入错误", "车站不存在。", Control::StationBox},
    };
    for (const CheckCase& k : cases) {
        SCOPED_TRACE(k.from);
        view.ClearRecords();
        Station(k.from);
        ASSERT_EQ(view.messages.size(), 1u);
        EXPECT_EQ(GbkToUtf8(view.messages[0].caption), k.caption);
        EXPECT_EQ(GbkToUtf8(view.messages[0].text), k.text);
        EXPECT_EQ(view.focus, k.focus);
    }
}

TEST_F(ControllerTest, AFailedCheckChangesOnlyTheQueryKind) {
    Start();
    Train("G1");
    ASSERT_EQ(c.ShownCount(), 1);
    view.checked[Control::EmuOnlyFilter] = true;
    Direct("北京", "");
    EXPECT_EQ(c.QueryKind(), QueryKindValue::Direct);
    EXPECT_EQ(c.ShownCount(), 1);
    EXPECT_EQ(c.Results().size(), 1u);
    EXPECT_EQ(c.Grid().Cell(0, 0), "G1");
    EXPECT_TRUE(
        view.Checked(Control::EmuOnlyFilter));  // filters are only cleared by a query that runs
    Station("bj");
    EXPECT_EQ(c.QueryKind(), QueryKindValue::Station);
    Train("");
    EXPECT_EQ(c.QueryKind(), QueryKindValue::Train);
    EXPECT_EQ(c.Grid().Cell(0, 0), "G1");
}

// --- queries end to end -------------------------------------------------------------------

TEST_F(ControllerTest, StationToStationExpandsSameCityGroups) {
    Start();
    for (Control box : {Control::OriginatesFilter, Control::TerminatesFilter,
                        Control::ExactNamesFilter, Control::EmuOnlyFilter})
        view.checked[box] = true;
    Direct("北京南", "上海虹桥");
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(c.QueryKind(), QueryKindValue::Direct);
    // Every filter box is cleared before the query runs.
    for (Control box : {Control::OriginatesFilter, Control::TerminatesFilter,
                        Control::ExactNamesFilter, Control::EmuOnlyFilter})
        EXPECT_FALSE(view.Checked(box));
    // G1 and T109 in train order; D5 runs the other way and K7 never reaches Shanghai.
    EXPECT_EQ(Shown(), (std::vector<std::string>{"G1|北京南|上海虹桥", "T109|北京|上海"}));
    EXPECT_EQ(Label(), "结果:2");
    EXPECT_EQ(c.Grid().RowCount(), 16);
    EXPECT_FALSE(c.Grid().Selection().has_value());
    ASSERT_EQ(view.routeAdverts.size(), 1u);
    EXPECT_EQ(GbkToUtf8(view.routeAdverts[0].first), "北京");
    EXPECT_EQ(GbkToUtf8(view.routeAdverts[0].second), "上海");

    // Exact names: only the typed stations.
    view.checked[Control::ExactNamesFilter] = true;
    c.FilterClicked();
    EXPECT_EQ(Shown(), (std::vector<std::string>{"G1|北京南|上海虹桥"}));
    EXPECT_EQ(Label(), "结果:1");
    view.checked[Control::ExactNamesFilter] = false;
    view.checked[Control::EmuOnlyFilter] = true;
    c.FilterClicked();
    EXPECT_EQ(Shown(), (std::vector<std::string>{"G1|北京南|上海虹桥"}));
    view.checked[Control::EmuOnlyFilter] = false;
    c.FilterClicked();
    EXPECT_EQ(Shown().size(), 2u);
}

TEST_F(ControllerTest, StationsOfOneCityMatchByExactNameOnly) {
    Start();
    Direct("北京西", "北京");
    EXPECT_EQ(Shown(), (std::vector<std::string>{"K7|北京西|北京"}));
    EXPECT_TRUE(view.messages.empty());

    // K7 calls at 北京西 before 北京: no direct train the other way, so the question comes.
    view.ClearRecords();
    Direct("北京", "北京西");
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(GbkToUtf8(view.messages[0].caption), "Korvel时刻");
    EXPECT_EQ(GbkToUtf8(view.messages[0].text), "两站之间无直达列车,是否进行中转站查询?");
    EXPECT_EQ(view.messages[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(view.messages[0].icon, MsgIcon::Question);
    // Answered No: the grid stays reset and no transfer window opens.
    EXPECT_EQ(view.transferWindows, 0);
    EXPECT_EQ(c.ShownCount(), 0);
    EXPECT_EQ(Label(), "结果:0");
    EXPECT_TRUE(view.routeAdverts.empty());
}

TEST_F(ControllerTest, SwapButtonSwapsAndQueriesOnlyWhenTheQueryButtonIsEnabled) {
    Start();
    view.Type(Control::DepartureBox, G("北京"));
    view.Type(Control::ArrivalBox, G("北京西"));
    view.enabled[Control::DirectButton] = false;
    c.SwapClicked();
    EXPECT_EQ(view.Text(Control::DepartureBox), G("北京西"));
    EXPECT_EQ(view.Text(Control::ArrivalBox), G("北京"));
    EXPECT_EQ(c.QueryKind(), QueryKindValue::None);
    EXPECT_EQ(c.ShownCount(), 0);

    view.enabled[Control::DirectButton] = true;
    c.SwapClicked();  // 北京 -> 北京西: no train, question answered No
    EXPECT_EQ(view.messages.size(), 1u);
    c.SwapClicked();  // back to 北京西 -> 北京
    EXPECT_EQ(Shown(), (std::vector<std::string>{"K7|北京西|北京"}));
}

TEST_F(ControllerTest, TrainNumberQueryFiltersOnlyByEmu) {
    Start();
    Train("z98");
    EXPECT_EQ(c.QueryKind(), QueryKindValue::Train);
    EXPECT_EQ(Shown(), (std::vector<std::string>{"Z98/Z95|北京西|拉萨"}));
    EXPECT_EQ(c.Grid().RowColourOf(0, c.TransferStation()), RowColour::Red);
    ASSERT_EQ(view.routeAdverts.size(), 1u);
    EXPECT_EQ(GbkToUtf8(view.routeAdverts[0].second), "拉萨");

    for (Control box :
         {Control::OriginatesFilter, Control::TerminatesFilter, Control::ExactNamesFilter}) {
        view.checked[box] = true;
        c.FilterClicked();
        EXPECT_EQ(c.ShownCount(), 1);
    }
    view.checked[Control::EmuOnlyFilter] = true;
    c.FilterClicked();
    EXPECT_EQ(c.ShownCount(), 0);
    EXPECT_EQ(Label(), "结果:0");

    Train("Z95");  // a later number alone does not find the train
    EXPECT_EQ(c.ShownCount(), 0);
    EXPECT_FALSE(view.Checked(Control::EmuOnlyFilter));
    Train("G1");
    EXPECT_EQ(Shown(), (std::vector<std::string>{"G1|北京南|上海虹桥"}));
}

TEST_F(ControllerTest, StationTimetableFiltersAgainstTheStationBox) {
    Start();
    Station("天津");
    EXPECT_EQ(c.QueryKind(), QueryKindValue::Station);
    // K51 starts at 天津 (to its terminus); K7 ends there (from its origin).
    EXPECT_EQ(Shown(), (std::vector<std::string>{"K51|天津|徐州", "K7|北京西|天津"}));
    ASSERT_EQ(view.routeAdverts.size(), 1u);
    EXPECT_EQ(view.routeAdverts[0].first, G("天津"));
    EXPECT_EQ(view.routeAdverts[0].second, G("天津"));

    view.checked[Control::OriginatesFilter] = true;
    c.FilterClicked();
    EXPECT_EQ(Shown(), (std::vector<std::string>{"K51|天津|徐州"}));
    view.checked[Control::OriginatesFilter] = false;
    view.checked[Control::TerminatesFilter] = true;
    c.FilterClicked();
    EXPECT_EQ(Shown(), (std::vector<std::string>{"K7|北京西|天津"}));
    view.checked[Control::TerminatesFilter] = false;
    view.checked[Control::ExactNamesFilter] = true;
    c.FilterClicked();
    EXPECT_EQ(Shown().size(), 2u);
    // The filters read the box as it is now, trimmed.
    view.Type(Control::StationBox, G(" 北京西 "));
    c.FilterClicked();
    EXPECT_EQ(Shown(), (std::vector<std::string>{"K7|北京西|天津"}));
}

// --- sorting, selection, detail -------------------------------------------------------------

TEST_F(ControllerTest, HeaderClicksSortAndMoveTheMarker) {
    Start();
    // With nothing shown a click changes nothing, not even the marker.
    c.HeaderClicked(10);
    EXPECT_FALSE(c.Labels().SortedColumn().has_value());
    EXPECT_FALSE(view.headers[9].second);

    Station("济南");  // G1 406 km .. , T109, K51
    ASSERT_EQ(c.ShownCount(), 3);
    auto kms = [&] {
        std::vector<int> v;
        for (int r = 0; r < c.ShownCount(); ++r) v.push_back(std::stoi(c.Grid().Cell(9, r)));
        return v;
    };
    c.HeaderClicked(10);  // 里程
    EXPECT_TRUE(view.headers[9].second);
    EXPECT_EQ(GbkToUtf8(view.headers[9].first), "里程↑");
    std::vector<int> up = kms();
    EXPECT_TRUE(std::is_sorted(up.begin(), up.end()));
    c.HeaderClicked(10);
    EXPECT_EQ(GbkToUtf8(view.headers[9].first), "里程↓");
    std::vector<int> down = kms();
    EXPECT_TRUE(std::is_sorted(down.rbegin(), down.rend()));
    c.HeaderClicked(6);  // 发时
    EXPECT_FALSE(view.headers[9].second);
    EXPECT_EQ(GbkToUtf8(view.headers[9].first), "里程");
    EXPECT_EQ(GbkToUtf8(view.headers[5].first), "发时↑");
    for (int r = 1; r < c.ShownCount(); ++r)
        EXPECT_LE(c.Grid().Cell(5, r - 1), c.Grid().Cell(5, r));

    // A new query comes out sorted by the marked column.
    Station("徐州");
    for (int r = 1; r < c.ShownCount(); ++r)
        EXPECT_LE(c.Grid().Cell(5, r - 1), c.Grid().Cell(5, r));
    EXPECT_EQ(GbkToUtf8(view.headers[5].first), "发时↑");
}

TEST_F(ControllerTest, SelectionWheelAndDoubleClick) {
    Start();
    Station("济南");
    ASSERT_EQ(c.ShownCount(), 3);
    c.GridDoubleClicked();  // nothing selected: nothing opens
    EXPECT_EQ(view.detailWindows, 0);
    EXPECT_FALSE(c.SelectGridRow(0, 3));  // an empty row cannot be selected
    EXPECT_FALSE(c.Grid().Selection().has_value());
    c.GridWheelDown();  // scrolls, selects nothing
    EXPECT_FALSE(c.Grid().Selection().has_value());

    EXPECT_TRUE(c.SelectGridRow(3, 1));
    c.GridWheelDown();
    EXPECT_EQ(c.Grid().Selection(), 2);
    c.GridWheelDown();  // the next row is empty
    EXPECT_EQ(c.Grid().Selection(), 2);
    c.GridWheelUp();
    EXPECT_EQ(c.Grid().Selection(), 1);

    const std::string train = c.Grid().Cell(0, 1);
    c.GridDoubleClicked();
    ASSERT_EQ(view.detailWindows, 1);
    ASSERT_TRUE(view.lastDetail.has_value());
    EXPECT_EQ(view.lastDetail->Caption(), G("车次:") + train);
    EXPECT_GE(view.lastDetail->StopRowCount(), 3);
    // The boarding station 济南 is stop 2 of every train through it here.
    EXPECT_EQ(view.lastDetail->SectionFirst(), 2);

    // Sorted both ways by train number, a row opens the train it shows: the rows the
    // sections come from move with the texts.
    for (int click = 0; click < 2; ++click) {
        c.HeaderClicked(1);
        ASSERT_TRUE(c.SelectGridRow(0, 2));
        const std::string shown = c.Grid().Cell(0, 2);
        c.GridDoubleClicked();
        ASSERT_TRUE(view.lastDetail.has_value());
        EXPECT_EQ(view.lastDetail->Caption(), G("车次:") + shown);
    }
    EXPECT_EQ(view.detailWindows, 3);

    // A reset drops the selection: no double-click afterwards.
    Station("济南");
    c.GridDoubleClicked();
    EXPECT_EQ(view.detailWindows, 3);
}

TEST_F(ControllerTest, AdvancedMenuPrintAndExportFollowTheShownRows) {
    Start();
    c.ShowAdvancedMenu();
    EXPECT_FALSE(view.IsEnabled(Control::PrintItem));
    EXPECT_FALSE(view.IsEnabled(Control::ExportItem));
    c.ExportClicked();
    c.PrintClicked();
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(view.printed, 0);

    Direct("北京南", "上海虹桥");
    c.ShowAdvancedMenu();
    EXPECT_TRUE(view.IsEnabled(Control::PrintItem));
    EXPECT_TRUE(view.IsEnabled(Control::ExportItem));

    view.answers = {MsgAnswer::No, MsgAnswer::Cancel, MsgAnswer::Yes};
    c.PrintClicked();
    c.PrintClicked();
    EXPECT_EQ(view.printed, 0);
    c.PrintClicked();
    EXPECT_EQ(view.printed, 1);
    EXPECT_EQ(view.printedRows, 2);
    ASSERT_EQ(view.messages.size(), 3u);
    EXPECT_EQ(GbkToUtf8(view.messages[0].caption), " 打印提示");
    EXPECT_EQ(GbkToUtf8(view.messages[0].text), "确实要打印吗？");
    EXPECT_EQ(view.messages[0].buttons, MsgButtons::YesNoCancel);

    // Export: cancelled writes nothing; a chosen file gets 9 lines for 2 rows.
    view.ClearRecords();
    const std::string path = ::testing::TempDir() + "korvel_controller_export.csv";
    std::remove(path.c_str());
    view.saveFileName.reset();
    c.ExportClicked();
    EXPECT_FALSE(std::ifstream(path).good());
    view.saveFileName = path;
    c.ExportClicked();
    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    int lines = 0;
    for (std::size_t p = text.find("\r\n"); p != std::string::npos; p = text.find("\r\n", p + 2))
        ++lines;
    EXPECT_EQ(lines, 9);
    EXPECT_NE(text.find(G("车次,始发,终到")), std::string::npos);
    EXPECT_TRUE(view.messages.empty());
    std::remove(path.c_str());

    // A file that cannot be created is reported, not passed over.
    view.saveFileName = ::testing::TempDir() + "no-such-dir/x/out.csv";
    c.ExportClicked();
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].text.rfind("Cannot create file \"", 0), 0u);
    EXPECT_EQ(view.messages[0].buttons, MsgButtons::Ok);
    // The view is told the outcome to word it: the file and its rows, or the kind of failure.
    ASSERT_EQ(view.exportOutcomes.size(), 2u);
    EXPECT_EQ(view.exportOutcomes[0].path, path);
    EXPECT_EQ(view.exportOutcomes[0].rows, 2);
    EXPECT_FALSE(view.exportOutcomes[0].failure.has_value());
    ASSERT_TRUE(view.exportOutcomes[1].failure.has_value());
    EXPECT_EQ(view.exportOutcomes[1].failure->kind, ExportFailure::Kind::NoFolder);
}

// After an update the window reloads in place: the question on show is asked again of the new
// timetable; nothing is asked when no answer was on show.
TEST_F(ControllerTest, ReloadingTheTimetableAsksTheShownQuestionAgain) {
    Start();
    view.Type(Control::StationBox, G("火星"));
    c.StationClicked();
    view.ClearRecords();
    StartOptions again;
    again.source = StreamSource(FixtureStreams());
    c.ReloadTimetable(again);
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(c.ShownCount(), 0);

    Train("G1");
    ASSERT_EQ(c.ShownCount(), 1);
    view.Type(Control::StationBox, "");  // another box left empty is no matter
    again.source = StreamSource(FixtureStreams());
    c.ReloadTimetable(again);
    EXPECT_EQ(c.ShownCount(), 1);
    EXPECT_EQ(Shown()[0].substr(0, 3), "G1|");
    EXPECT_EQ(c.QueryKind(), QueryKindValue::Train);
    EXPECT_TRUE(view.messages.empty());
}

// --- station boxes and keys ----------------------------------------------------------------

TEST_F(ControllerTest, StationBoxListsStationsForPinyinLetters) {
    Start();
    view.Type(Control::DepartureBox, "bj");
    c.StationBoxEdited(Control::DepartureBox);
    const std::vector<std::string> bj = {
        G("北京"), G("宝鸡"), G("北京西"), G("北京南"), G("北京北"), "", "", "", ""};
    EXPECT_EQ(view.comboItems[Control::DepartureBox], bj);
    EXPECT_EQ(view.dropDownsOpened[Control::DepartureBox], 1);
    EXPECT_EQ(view.Text(Control::DepartureBox), "bj");  // left as typed

    view.Type(Control::ArrivalBox, " bjx ");
    c.StationBoxEdited(Control::ArrivalBox);
    EXPECT_EQ(view.Text(Control::ArrivalBox), "bjx");
    EXPECT_EQ(view.comboItems[Control::ArrivalBox][0], G("北京西"));
    EXPECT_EQ(view.comboItems[Control::ArrivalBox][1], "");

    // A name or other text leaves the list alone; an empty box gets 9 empty items, closed.
    view.Type(Control::DepartureBox, G("北京"));
    c.StationBoxEdited(Control::DepartureBox);
    EXPECT_EQ(view.comboItems[Control::DepartureBox], bj);
    view.Type(Control::DepartureBox, "b1");
    c.StationBoxEdited(Control::DepartureBox);
    EXPECT_EQ(view.comboItems[Control::DepartureBox], bj);
    view.Type(Control::DepartureBox, "  ");
    c.StationBoxEdited(Control::DepartureBox);
    EXPECT_EQ(view.Text(Control::DepartureBox), "");
    EXPECT_EQ(view.comboItems[Control::DepartureBox], std::vector<std::string>(9));
    EXPECT_EQ(view.dropDownsOpened[Control::DepartureBox], 1);

    view.Type(Control::StationBox, "zzzzzz");
    c.StationBoxEdited(Control::StationBox);
    EXPECT_EQ(view.comboItems[Control::StationBox], std::vector<std::string>(9));
    EXPECT_EQ(view.dropDownsOpened[Control::StationBox], 1);
}

TEST_F(ControllerTest, SampleTimetableListsBeijingFirstForBj) {
    const auto streams = SampleStreams();
    if (streams.empty()) GTEST_SKIP() << "no sample timetable in this build";
    StartOptions o;
    o.source = StreamSource(streams);
    c.Start(std::move(o));
    view.Type(Control::DepartureBox, "bj");
    c.StationBoxEdited(Control::DepartureBox);
    ASSERT_FALSE(view.comboItems[Control::DepartureBox].empty());
    EXPECT_EQ(GbkToUtf8(view.comboItems[Control::DepartureBox][0]), "北京");
}

TEST_F(ControllerTest, EnterMovesTheFocusOnlyToEnabledButtons) {
    Start();
    EXPECT_TRUE(c.DepartureBoxKeyPressed(13));
    EXPECT_EQ(view.focus, Control::ArrivalBox);
    EXPECT_TRUE(c.ArrivalBoxKeyPressed(13));
    EXPECT_EQ(view.focus, Control::DirectButton);
    EXPECT_TRUE(c.StationBoxKeyPressed(13));
    EXPECT_EQ(view.focus, Control::StationButton);

    view.focus.reset();
    EXPECT_FALSE(c.DepartureBoxKeyPressed('a'));
    EXPECT_FALSE(c.ArrivalBoxKeyPressed(10));
    EXPECT_FALSE(view.focus.has_value());

    view.enabled[Control::DirectButton] = false;
    view.enabled[Control::StationButton] = false;
    c.ArrivalBoxKeyPressed(13);
    c.StationBoxKeyPressed(13);
    EXPECT_FALSE(view.focus.has_value());
    // Enter never starts a query.
    EXPECT_EQ(c.QueryKind(), QueryKindValue::None);
    EXPECT_TRUE(view.messages.empty());
}

}  // namespace
}  // namespace korvel::testing
