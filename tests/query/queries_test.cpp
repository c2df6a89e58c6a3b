// The four queries over small timetables.
#include "query/queries.h"

#include <gtest/gtest.h>

#include "network.h"
#include "support/row_texts.h"

namespace korvel {
namespace {

using test::G;
using test::Stop;

std::vector<std::string> TrainNos(const ResultList& rows) {
    std::vector<std::string> v;
    for (std::size_t i = 0; i < rows.size(); ++i) v.push_back(test::Texts(rows, i).trainNumber);
    return v;
}

// A transfer leg (a pair of stops) spelled out.
struct Leg {
    std::string trainNumber, boardStation, boardDeparture, alightStation, alightArrival;
    std::string alightHardSeat;
    int boardStopNo = 0, alightStopNo = 0;
};
std::vector<Leg> Legs(const TransferData& d, const std::vector<TransferData::StopPair>& pairs) {
    const Timetable& tt = *d.timetable;
    std::vector<Leg> out;
    for (const TransferData::StopPair& p : pairs) {
        const StopId board(p.board);
        const StopId alight(p.alight);
        out.push_back({tt.Number(tt.Train(board)), tt.Name(tt.Station(board)),
                       tt.Departures().Text(p.board), tt.Name(tt.Station(alight)),
                       tt.Arrivals().Text(p.alight),
                       tt.StopFares()[FareClass::HardSeat].Text(p.alight), tt.StopNumber(board),
                       tt.StopNumber(alight)});
    }
    return out;
}

class QueryTest : public ::testing::Test {
  protected:
    void SetUp() override { test::BuildNetwork(t_); }
    StoredTables t_;
    StationSide from_;
    StationSide to_;
    ResultList rows_;
};

// --- station to station ---

TEST_F(QueryTest, DirectFirstDepartureLastArrival) {
    SearchDirectTrains(t_, G("北京"), G("上海"), from_, to_, rows_);
    ASSERT_EQ(TrainNos(rows_), std::vector<std::string>{"T1"});
    const test::RowTexts r = test::Texts(rows_, 0);
    // Boards at 北京南 (stop 1); 北京西 (stop 2) is tested only as an arrival. Alights at
    // the last Shanghai station, 上海 after 上海南.
    EXPECT_EQ(r.boardStation, G("北京南"));
    EXPECT_EQ(r.boardStopNo, 1);
    EXPECT_EQ(r.boardDeparture, "08:00");
    EXPECT_EQ(r.boardRunTime, "0");
    EXPECT_EQ(r.alightStation, G("上海"));
    EXPECT_EQ(r.alightStopNo, 5);
    EXPECT_EQ(r.alightArrival, "20:40");
    EXPECT_EQ(r.alightRunTime, "12:40");
    EXPECT_EQ(r.stopCount, 4);
    EXPECT_EQ(r.spanKm, 1463);
    EXPECT_EQ(r.rideTime, "12:40");
    EXPECT_EQ(r.trainType, 5);
    EXPECT_EQ(r.typeName, TrainTypeName(5));
    EXPECT_EQ(r.origin, G("北京南"));
    EXPECT_EQ(r.terminus, G("上海"));
    EXPECT_EQ(r.trainKm, 1463);
    // Boarding at the origin: the stored fares, "-" included.
    EXPECT_EQ(r.fares[0], "179");
    EXPECT_EQ(r.fares[1], "-");
    EXPECT_EQ(r.fares[3], "-");
    EXPECT_EQ(from_.CityName, G("北京"));
    EXPECT_EQ(to_.CityName, G("上海"));
    EXPECT_EQ(from_.GroupId, 5);
    EXPECT_EQ(from_.Members.size(), 5u);
}

TEST_F(QueryTest, DirectOppositeDirectionGivesNoRow) {
    SearchDirectTrains(t_, G("上海"), G("北京"), from_, to_, rows_);
    // T1 runs Beijing to Shanghai; only T2 goes this way. Z98/Z95 ends in Shanghai.
    EXPECT_EQ(TrainNos(rows_), std::vector<std::string>{"T2"});
}

TEST_F(QueryTest, DirectSameGroupRunsExact) {
    SearchDirectTrains(t_, G("北京西"), G("北京南"), from_, to_, rows_);
    // T1 passes 北京南 before 北京西; X1 is not in the train list.
    ASSERT_EQ(TrainNos(rows_), std::vector<std::string>{"T3"});
    EXPECT_EQ(test::Texts(rows_, 0).boardStation, G("北京西"));
    EXPECT_EQ(test::Texts(rows_, 0).alightStation, G("北京南"));
    EXPECT_TRUE(from_.Members.empty());
    EXPECT_TRUE(to_.Members.empty());
    EXPECT_EQ(from_.GroupId, 5);
    EXPECT_EQ(to_.GroupId, 5);
}

TEST_F(QueryTest, DirectUngroupedToGroup) {
    SearchDirectTrains(t_, G("天津"), G("北京"), from_, to_, rows_);
    ASSERT_EQ(TrainNos(rows_), std::vector<std::string>{"K1"});
    EXPECT_EQ(test::Texts(rows_, 0).alightStation, G("北京"));  // after 北京东
    EXPECT_EQ(test::Texts(rows_, 0).alightStopNo, 3);

    SearchDirectTrains(t_, G("北京"), G("天津"), from_, to_, rows_);
    EXPECT_EQ(TrainNos(rows_), (std::vector<std::string>{"T1", "T3"}));
    EXPECT_EQ(test::Texts(rows_, 1).boardStation, G("北京西"));
}

TEST_F(QueryTest, DirectReplacesThePreviousResult) {
    SearchDirectTrains(t_, G("北京"), G("天津"), from_, to_, rows_);
    SearchDirectTrains(t_, G("天津"), G("太原"), from_, to_, rows_);
    EXPECT_TRUE(rows_.empty());
}

TEST_F(QueryTest, DirectFaresWorkedExamples) {
    SearchDirectTrains(t_, G("咸阳"), G("宝鸡"), from_, to_, rows_);
    ASSERT_EQ(rows_.size(), 1u);
    EXPECT_EQ(test::Texts(rows_, 0).spanKm, 150);
    EXPECT_EQ(test::Texts(rows_, 0).rideTime,
              "2:02");  // from the departure at 10:28, after the dwell
    EXPECT_EQ(test::Texts(rows_, 0).fares[0], "12");
    EXPECT_EQ(test::Texts(rows_, 0).fares[1], "");
    EXPECT_EQ(test::Texts(rows_, 0).fares[2], "46/48/50");
    EXPECT_EQ(test::Texts(rows_, 0).fares[3], "68/72");

    SearchDirectTrains(t_, G("唐山北"), G("沈阳北"), from_, to_, rows_);
    ASSERT_EQ(rows_.size(), 1u);
    EXPECT_EQ(test::Texts(rows_, 0).spanKm, 552);
    EXPECT_EQ(test::Texts(rows_, 0).fares[0], "171");
    EXPECT_EQ(test::Texts(rows_, 0).fares[1], "205");
    EXPECT_EQ(test::Texts(rows_, 0).fares[2], "");
    EXPECT_EQ(test::Texts(rows_, 0).fares[3], "");
}

// --- train number ---

TEST_F(QueryTest, TrainNumberKeyRules) {
    QueryByTrainNumber(t_, "z98", rows_);
    EXPECT_EQ(TrainNos(rows_), std::vector<std::string>{"Z98/Z95"});
    QueryByTrainNumber(t_, " \tZ98 ", rows_);
    EXPECT_EQ(TrainNos(rows_), std::vector<std::string>{"Z98/Z95"});
    QueryByTrainNumber(t_, "Z98/Z95", rows_);
    EXPECT_EQ(TrainNos(rows_), std::vector<std::string>{"Z98/Z95"});
    QueryByTrainNumber(t_, "Z95", rows_);
    EXPECT_TRUE(rows_.empty());
    QueryByTrainNumber(t_, "Z9", rows_);
    EXPECT_EQ(TrainNos(rows_), std::vector<std::string>{"Z9"});
    QueryByTrainNumber(t_, "k142", rows_);
    EXPECT_EQ(TrainNos(rows_), std::vector<std::string>{"K142/K143/K140"});
    QueryByTrainNumber(t_, "Z98/", rows_);
    EXPECT_TRUE(rows_.empty());
    QueryByTrainNumber(t_, "K14", rows_);
    EXPECT_TRUE(rows_.empty());
}

TEST_F(QueryTest, TrainNumberRowRunsTheWholeRoute) {
    QueryByTrainNumber(t_, "Z98", rows_);
    ASSERT_EQ(rows_.size(), 1u);
    const test::RowTexts r = test::Texts(rows_, 0);
    EXPECT_EQ(r.typeName, TrainTypeName(4));
    EXPECT_EQ(r.boardStation, G("太原"));
    EXPECT_EQ(r.boardStation, r.origin);
    EXPECT_EQ(r.boardStopNo, 1);
    EXPECT_EQ(r.boardKm, 0);
    EXPECT_EQ(r.boardDeparture, "19:59");
    EXPECT_EQ(r.boardRunTime, "0");
    EXPECT_EQ(r.boardFares[0] + r.boardFares[1] + r.boardFares[2] + r.boardFares[3], "");
    EXPECT_EQ(r.alightStation, G("上海"));
    EXPECT_EQ(r.alightStopNo, 4);
    EXPECT_EQ(r.alightArrival, "09:35");
    EXPECT_EQ(r.alightRunTime, "13:36");
    EXPECT_EQ(r.alightKm, 1497);
    EXPECT_EQ(r.stopCount, 3);
    EXPECT_EQ(r.spanKm, 1497);
    EXPECT_EQ(r.rideTime, "13:36");
    EXPECT_EQ(r.alightFares[2], "306/317/327");
    EXPECT_EQ(r.fares[0], "179");
    EXPECT_EQ(r.fares[1], "-");
    EXPECT_EQ(r.fares[2], "306/317/327");
    EXPECT_EQ(r.fares[3], "478/499");
}

TEST_F(QueryTest, LastStopNumber) {
    EXPECT_EQ(FindLastStopNumber(Timetable(t_), "Z98/Z95"), 4);
    EXPECT_EQ(FindLastStopNumber(Timetable(t_), "6327/6329"), 17);
    EXPECT_EQ(FindLastStopNumber(Timetable(t_), "Z98"), 1);
    EXPECT_EQ(FindLastStopNumber(Timetable(t_), "K9999"), 1);
    QueryByTrainNumber(t_, "K9999", rows_);  // listed, no stops
    ASSERT_EQ(rows_.size(), 1u);
    EXPECT_EQ(test::Texts(rows_, 0).alightStopNo, 1);
    EXPECT_EQ(test::Texts(rows_, 0).stopCount, 0);
}

// --- station timetable ---

TEST_F(QueryTest, StationTrainCallingTwiceGivesOneRow) {
    for (const char* station : {"赤峰东", "赤峰"}) {
        QueryStationTimetable(t_, G(station), from_, to_, rows_);
        ASSERT_EQ(TrainNos(rows_), (std::vector<std::string>{"6327/6329", "K888"})) << station;
        const test::RowTexts r = test::Texts(rows_, 0);
        EXPECT_EQ(r.boardStation, G("赤峰东"));
        EXPECT_EQ(r.boardStopNo, 14);
        EXPECT_EQ(r.boardDeparture, "07:10");
        EXPECT_EQ(r.alightStation, G("通辽"));
        EXPECT_EQ(r.alightStopNo, 17);
        EXPECT_EQ(r.stopCount, 3);
        EXPECT_EQ(r.spanKm, 250);
        EXPECT_EQ(r.rideTime, "2:50");
        // K888 ends at 赤峰西: from its origin.
        const test::RowTexts k = test::Texts(rows_, 1);
        EXPECT_EQ(k.boardStation, G("通辽"));
        EXPECT_EQ(k.boardStopNo, 1);
        EXPECT_EQ(k.boardDeparture, "12:00");
        EXPECT_EQ(k.boardRunTime, "0");
        EXPECT_EQ(k.alightStation, G("赤峰西"));
        EXPECT_EQ(k.stopCount, 1);
        EXPECT_EQ(k.fares[0], "30");
    }
    EXPECT_EQ(to_.TypedName, G("赤峰"));
}

TEST_F(QueryTest, StationOutsideGroupsMatchesExactly) {
    QueryStationTimetable(t_, G("通辽"), from_, to_, rows_);
    ASSERT_EQ(TrainNos(rows_), (std::vector<std::string>{"6327/6329", "K888"}));
    EXPECT_EQ(test::Texts(rows_, 0).boardStation, G("平1"));  // ends at 通辽
    EXPECT_EQ(test::Texts(rows_, 0).stopCount, 16);
    EXPECT_EQ(test::Texts(rows_, 1).boardStopNo, 1);  // starts at 通辽
    EXPECT_EQ(test::Texts(rows_, 1).alightStation, G("赤峰西"));
    EXPECT_TRUE(from_.Members.empty());
}

TEST_F(QueryTest, StationWholeGroup) {
    QueryStationTimetable(t_, G("北京西"), from_, to_, rows_);
    // X1 is not in the train list and gives no row.
    ASSERT_EQ(TrainNos(rows_), (std::vector<std::string>{"D1", "K1", "T1", "T2", "T3"}));
    EXPECT_EQ(test::Texts(rows_, 1).boardStation, G("北京东"));
    EXPECT_EQ(test::Texts(rows_, 1).alightStation, G("北京"));
    EXPECT_EQ(test::Texts(rows_, 2).boardStation, G("北京南"));
    EXPECT_EQ(test::Texts(rows_, 2).alightStation, G("上海"));
    EXPECT_EQ(test::Texts(rows_, 3).boardStation, G("上海"));
    EXPECT_EQ(test::Texts(rows_, 3).alightStation, G("北京西"));
    for (const std::string& no : TrainNos(rows_)) EXPECT_FALSE(no.empty());
}

TEST(StationQueryEdges, WalkStaysInsideTheTrainAndTheTable) {
    // Neither train marks its terminus with an empty departure time.
    StoredTables t;
    test::TimetableBuilder()
        .Train(
            "A0", 8,
            {{"甲", "", "08:00", "0", 0}, {"乙", "09:00", "09:05", "1:0", 50, "5", "-", "-", "-"}})
        .Train(
            "A1", 8,
            {{"丙", "", "08:00", "0", 0}, {"甲", "09:00", "09:05", "1:0", 60, "6", "-", "-", "-"}})
        .BuildInto(t);
    StationSide from;
    StationSide to;
    ResultList rows;
    QueryStationTimetable(t, G("甲"), from, to, rows);
    ASSERT_EQ(TrainNos(rows), (std::vector<std::string>{"A0", "A1"}));
    EXPECT_EQ(test::Texts(rows, 0).alightStation, G("乙"));
    EXPECT_EQ(test::Texts(rows, 1).boardStation, G("甲"));
    EXPECT_EQ(test::Texts(rows, 1).alightStation,
              G("甲"));  // its own last stop at the end of the table
    EXPECT_EQ(FindLastStopNumber(Timetable(t), "A0"), 2);
}

TEST(QueryUnloaded, EmptyTablesGiveNoRows) {
    StoredTables t;
    StationSide from;
    StationSide to;
    ResultList rows;
    rows.rows.resize(3);
    SearchDirectTrains(t, "a", "b", from, to, rows);
    EXPECT_TRUE(rows.empty());
    QueryStationTimetable(t, "a", from, to, rows);
    EXPECT_TRUE(rows.empty());
    QueryByTrainNumber(t, "a", rows);
    EXPECT_TRUE(rows.empty());
    EXPECT_EQ(FindLastStopNumber(Timetable(t), "a"), 1);
    EXPECT_FALSE(StationExists(Timetable(t), "a"));
}

// --- transfer ---

class TransferTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::BuildTransferNetwork(t_);
        TransferQuery(t_, G("嘉峪关"), G("乌西"), from_, to_, data_);
    }
    const TransferCandidate* Entry(const char* station) const {
        for (const auto& z : data_.TransferList)
            if (Name(z) == G(station)) return &z;
        return nullptr;
    }
    const std::string& Name(const TransferCandidate& z) const {
        return data_.timetable->Name(z.station);
    }
    StoredTables t_;
    StationSide from_;
    StationSide to_;
    TransferData data_;
};

TEST_F(TransferTest, FirstLegsRunForwardToTheEndOfTheRoute) {
    std::vector<std::string> legs;
    const std::vector<Leg> first = Legs(data_, data_.FromStops);
    for (const auto& l : first) legs.push_back(l.trainNumber + ">" + GbkToUtf8(l.alightStation));
    EXPECT_EQ(legs, (std::vector<std::string>{"K10>哈密", "K10>乌鲁木齐", "K10>乌西", "K10>奎屯",
                                              "K20>哈密", "K25>哈密", "K70>西安"}));
    const Leg& l = first[0];
    EXPECT_EQ(l.boardStation, G("嘉峪关"));
    EXPECT_EQ(l.boardStopNo, 2);
    EXPECT_EQ(l.boardDeparture, "10:05");
    EXPECT_EQ(l.alightStopNo, 3);
    EXPECT_EQ(l.alightArrival, "13:30");
    EXPECT_EQ(l.alightHardSeat, "30");
}

TEST_F(TransferTest, SecondLegsRunBackwardsInReverseTrainOrder) {
    std::vector<std::string> legs;
    const std::vector<Leg> second = Legs(data_, data_.ToStops);
    for (const auto& l : second) legs.push_back(l.trainNumber + "<" + GbkToUtf8(l.boardStation));
    EXPECT_EQ(legs,
              (std::vector<std::string>{"K50<奎屯", "K35<哈密", "K30<乌鲁木齐", "K10<乌鲁木齐",
                                        "K10<哈密", "K10<嘉峪关", "K10<西安"}));
    EXPECT_EQ(second[0].alightStation, G("乌西"));
    EXPECT_EQ(second[0].alightStopNo, 2);
}

TEST_F(TransferTest, CandidateStations) {
    std::vector<std::string> order;
    for (const auto& z : data_.TransferList) order.push_back(GbkToUtf8(Name(z)));
    EXPECT_EQ(order, (std::vector<std::string>{"哈密", "乌鲁木齐", "乌西", "奎屯", "西安"}));

    const TransferCandidate* hm = Entry("哈密");
    ASSERT_TRUE(hm);
    EXPECT_EQ(hm->Dist1, 200);          // K10 first: its leg stays the representative
    EXPECT_EQ(hm->Time1, 3 * 60 + 25);  // 嘉峪关 10:05 (after a five-minute stop) to 13:30
    EXPECT_EQ(hm->Count1, 3);
    EXPECT_EQ(hm->Dist2, 210);  // K10 again: the last second leg collected
    EXPECT_EQ(hm->Time2, 3 * 60 + 35);
    EXPECT_EQ(hm->DistAll, 410);
    EXPECT_EQ(hm->TimeAll(), 7 * 60);
    EXPECT_EQ(hm->Count2, 2);

    const TransferCandidate* wl = Entry("乌鲁木齐");
    EXPECT_EQ(wl->Time2, 5);
    EXPECT_EQ(wl->Count2, 2);
    // Beyond the arrival station.
    const TransferCandidate* kt = Entry("奎屯");
    EXPECT_EQ(kt->Dist1, 600);
    EXPECT_EQ(kt->Dist2, 190);
    EXPECT_EQ(kt->DistAll, 790);
    EXPECT_EQ(kt->TimeAll(), 12 * 60 + 40);
    EXPECT_EQ(kt->Count1, 1);
    EXPECT_EQ(kt->Count2, 1);
    // Before the departure station on the through train.
    const TransferCandidate* xa = Entry("西安");
    EXPECT_EQ(xa->Dist1, 1446);
    EXPECT_EQ(xa->Dist2, 510);
    EXPECT_EQ(xa->DistAll, 1956);
    EXPECT_EQ(xa->Time1, 20 * 60);
    EXPECT_EQ(xa->TimeAll(), 29 * 60 + 15);
    // Reached but not left for the arrival side.
    EXPECT_EQ(Entry("乌西")->Count2, 0);

    std::vector<std::string> shown;
    for (const auto& z : TransferCandidates(data_, from_, to_)) shown.push_back(GbkToUtf8(Name(z)));
    EXPECT_EQ(shown, (std::vector<std::string>{"哈密", "乌鲁木齐", "奎屯", "西安"}));
}

TEST_F(TransferTest, PickedStationGivesBothLegsFirstLegFirst) {
    std::string transferStation = "old";
    ResultList rows;
    ShowTransferLegs(t_, data_, G("哈密"), 3, 2, rows, transferStation);
    EXPECT_EQ(transferStation, G("哈密"));
    ASSERT_EQ(TrainNos(rows), (std::vector<std::string>{"K10", "K20", "K25", "K35", "K10"}));
    EXPECT_EQ(test::Texts(rows, 0).boardStation, G("嘉峪关"));
    EXPECT_EQ(test::Texts(rows, 0).alightStation, G("哈密"));
    EXPECT_EQ(test::Texts(rows, 0).origin, G("西安"));
    EXPECT_EQ(test::Texts(rows, 0).stopCount, 1);
    EXPECT_EQ(test::Texts(rows, 0).spanKm, 200);
    EXPECT_EQ(test::Texts(rows, 0).rideTime, "3:25");
    EXPECT_EQ(test::Texts(rows, 0).typeName, TrainTypeName(6));
    EXPECT_EQ(test::Texts(rows, 1).fares[0], "20");  // boards at its origin: stored fares
    EXPECT_EQ(test::Texts(rows, 3).boardStation, G("哈密"));
    EXPECT_EQ(test::Texts(rows, 3).alightStation, G("乌西"));
    EXPECT_EQ(test::Texts(rows, 4).boardStopNo, 3);
    EXPECT_EQ(test::Texts(rows, 4).alightStopNo, 5);

    // The counts bound each part.
    ShowTransferLegs(t_, data_, G("哈密"), 1, 1, rows, transferStation);
    EXPECT_EQ(TrainNos(rows), (std::vector<std::string>{"K10", "K35"}));
}

TEST_F(QueryTest, TransferFromAGroup) {
    TransferData data;
    TransferQuery(t_, G("北京"), G("天津"), from_, to_, data);
    std::vector<std::string> trains;
    for (const auto& l : Legs(data, data.FromStops)) trains.push_back(l.trainNumber);
    // Every Beijing station boards; X1 has stops only, which still make legs.
    EXPECT_EQ(trains, (std::vector<std::string>{"D1", "D1", "K1", "T1", "T1", "T1", "T1", "T3",
                                                "T3", "X1"}));
    EXPECT_EQ(Legs(data, data.FromStops)[2].boardStation, G("北京东"));

    // Same group: exact names only.
    TransferQuery(t_, G("北京"), G("北京西"), from_, to_, data);
    trains.clear();
    for (const auto& l : Legs(data, data.FromStops)) trains.push_back(l.trainNumber);
    EXPECT_EQ(trains, (std::vector<std::string>{"D1", "D1"}));
    trains.clear();
    for (const auto& l : Legs(data, data.ToStops)) trains.push_back(l.trainNumber);
    EXPECT_EQ(trains, (std::vector<std::string>{"T2", "T1"}));

    // A leg whose train is not in the train list is left out of the picked rows.
    TransferQuery(t_, G("北京西"), G("天津"), from_, to_, data);
    std::string station;
    ResultList rows;
    ShowTransferLegs(t_, data, G("北京南"), 2, 0, rows, station);
    EXPECT_EQ(TrainNos(rows), std::vector<std::string>{"T3"});
}

}  // namespace
}  // namespace korvel
