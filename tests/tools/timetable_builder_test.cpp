#include <gtest/gtest.h>

#include "data/clock.h"
#include "timetable/builder.h"

namespace korvel::timetable {
namespace {

SourceStop Stop(const char* station, const char* arr, const char* dep, int day, int km) {
    return {station, ClockMinutes(arr).value_or(-1), ClockMinutes(dep).value_or(-1), day, km};
}

std::vector<CleanStop> CleanOrFail(const std::vector<SourceStop>& stops, std::string* repaired) {
    const CleanedStops out = CleanStops(stops);
    EXPECT_TRUE(out.stops) << out.reason;
    if (repaired) *repaired = out.repaired;
    return out.stops ? *out.stops : std::vector<CleanStop>{};
}

// Why the stops cannot be cleaned; "" when they can.
std::string Refusal(const std::vector<SourceStop>& stops, int maxKmPerHour = 0) {
    const CleanedStops out = CleanStops(stops, maxKmPerHour);
    return out.stops ? std::string() : out.reason;
}

TEST(TimetableValues, RunTimeTexts) {
    EXPECT_EQ(RunTimeText(0), "0");
    EXPECT_EQ(RunTimeText(18), "18");
    EXPECT_EQ(RunTimeText(60), "1:0");
    EXPECT_EQ(RunTimeText(129), "2:9");
    EXPECT_EQ(RunTimeText(37 * 60 + 43), "37:43");
}

TEST(TimetableValues, TrainTypeFromNumberLetter) {
    EXPECT_EQ(TrainTypeFromNumber("G1"), 2);
    EXPECT_EQ(TrainTypeFromNumber("D1"), 1);
    EXPECT_EQ(TrainTypeFromNumber("C2005"), 3);
    EXPECT_EQ(TrainTypeFromNumber("Z98"), 4);
    EXPECT_EQ(TrainTypeFromNumber("T100A"), 5);
    EXPECT_EQ(TrainTypeFromNumber("Y1"), 5);
    EXPECT_EQ(TrainTypeFromNumber("K142"), 6);
    EXPECT_EQ(TrainTypeFromNumber("S501"), 12);
    EXPECT_EQ(TrainTypeFromNumber("L1"), 13);
    EXPECT_EQ(TrainTypeFromNumber("1043"), 9);
    EXPECT_EQ(TrainTypeFromNumber("5999"), 9);
    EXPECT_EQ(TrainTypeFromNumber("6327"), 11);
    EXPECT_EQ(TrainTypeFromNumber("8001"), 8);
    EXPECT_EQ(TrainTypeFromNumber("501"), 8);
}

TEST(TimetableValues, FaresFollowTheTrainKind) {
    const StopFares d = ComputeFares(1, 100, false);
    EXPECT_EQ(d.p1, "31");  // 30.97 to the half yuan
    EXPECT_EQ(d.p2, "37");  // 37.14
    EXPECT_EQ(d.p3, "-");
    EXPECT_EQ(d.p4, "-");
    const StopFares g = ComputeFares(2, 1318, false);
    EXPECT_EQ(g.p1, "606.5");  // 606.28
    EXPECT_EQ(g.p2, "970");    // 970.05
    const StopFares shortRun = ComputeFares(6, 200, false);
    EXPECT_EQ(shortRun.p2, "-");
    EXPECT_EQ(shortRun.p3, "-");
    EXPECT_EQ(shortRun.p4, "-");
    const StopFares longRun = ComputeFares(6, 1200, true);
    EXPECT_NE(longRun.p3, "-");
    EXPECT_EQ(std::count(longRun.p3.begin(), longRun.p3.end(), '/'), 2);
    EXPECT_EQ(std::count(longRun.p4.begin(), longRun.p4.end(), '/'), 1);
    // Fares grow with distance and are quoted to the half yuan.
    EXPECT_LT(std::stod(ComputeFares(4, 300, true).p1), std::stod(ComputeFares(4, 900, true).p1));
    const double p1 = std::stod(ComputeFares(9, 437, true).p1);
    EXPECT_DOUBLE_EQ(p1 * 2, static_cast<int>(p1 * 2));
}

TEST(TimetableClean, DayRolloverAndMidnightDepartures) {
    std::string repaired;
    // Departs after midnight from a stop it reached before midnight; the day column is the
    // arrival's day.
    const auto stops =
        CleanOrFail({Stop("A", "-99:00", "22:00", 1, 0), Stop("B", "23:59", "00:02", 1, 120),
                     Stop("C", "06:30", "06:40", 2, 600), Stop("D", "08:00", "-99:00", 2, 700)},
                    &repaired);
    ASSERT_EQ(stops.size(), 4u);
    EXPECT_TRUE(repaired.empty());
    EXPECT_EQ(stops[1].departure - stops[0].departure, 122);
    EXPECT_EQ(RunTimeText(stops[2].arrival - stops[0].departure), "8:30");
    EXPECT_EQ(RunTimeText(stops[3].arrival - stops[0].departure), "10:0");
    // A day column that missed midnight is mended by the clock.
    const auto stale = CleanOrFail(
        {Stop("A", "-99:00", "23:45", 1, 0), Stop("B", "00:40", "-99:00", 1, 60)}, &repaired);
    EXPECT_EQ(stale[1].arrival - stale[0].departure, 55);
}

TEST(TimetableClean, MissingTimesAtMiddleStops) {
    std::string repaired;
    const auto stops =
        CleanOrFail({Stop("A", "-99:00", "10:00", 1, 0), Stop("B", "10:30", "-99:00", 1, 40),
                     Stop("C", "11:00", "-99:00", 1, 80)},
                    &repaired);
    EXPECT_EQ(stops[1].departure, stops[1].arrival);
    EXPECT_EQ(Refusal({Stop("A", "-99:00", "10:00", 1, 0), Stop("B", "-99:00", "-99:00", 1, 40),
                       Stop("C", "11:00", "-99:00", 1, 80)}),
              "stop without times");
    EXPECT_EQ(Refusal({Stop("A", "-99:00", "-99:00", 1, 0), Stop("C", "11:00", "-99:00", 1, 80)}),
              "no departure at the origin");
    EXPECT_EQ(Refusal({Stop("A", "-99:00", "10:00", 1, 0)}), "fewer than two stops");
}

TEST(TimetableClean, RepairsOneWrongDistanceBetweenAgreeingNeighbours) {
    std::string repaired;
    // Unknown distance: placed by its time between the neighbours.
    auto stops =
        CleanOrFail({Stop("A", "-99:00", "10:00", 1, 0), Stop("B", "11:00", "11:00", 1, -1),
                     Stop("C", "12:00", "-99:00", 1, 200)},
                    &repaired);
    EXPECT_EQ(stops[1].km, 100);
    EXPECT_EQ(repaired, "unknown distance of one stop");
    // One stop far out of order.
    stops = CleanOrFail({Stop("A", "-99:00", "10:00", 1, 0), Stop("B", "10:30", "10:32", 1, 50),
                         Stop("C", "11:00", "11:02", 1, 9999), Stop("D", "11:30", "11:32", 1, 150),
                         Stop("E", "12:00", "-99:00", 1, 200)},
                        &repaired);
    EXPECT_GT(stops[2].km, 50);  // placed by its time between 50 and 150 km
    EXPECT_LT(stops[2].km, 150);
    EXPECT_EQ(repaired, "distance of one stop (out of order)");
    // Two wrong stops are not plainly one mistake: the train is dropped.
    EXPECT_EQ(Refusal({Stop("A", "-99:00", "10:00", 1, 0), Stop("B", "10:30", "10:32", 1, 500),
                       Stop("C", "11:00", "11:02", 1, 9999), Stop("D", "11:30", "11:32", 1, 150),
                       Stop("E", "12:00", "-99:00", 1, 200)}),
              "distances go down");
    // An unknown terminus distance has no second neighbour.
    EXPECT_EQ(Refusal({Stop("A", "-99:00", "10:00", 1, 0), Stop("B", "11:00", "11:00", 1, 50),
                       Stop("C", "12:00", "-99:00", 1, -1)}),
              "unknown distances");
}

TEST(TimetableClean, ImplausibleSpeedMarksAWrongDistance) {
    // 剑门关 240 km, 广元 399 km 14 minutes later, 汉中 416 km: in order, but 680 km/h.
    const std::vector<SourceStop> route = {
        Stop("A", "-99:00", "08:43", 1, 189), Stop("B", "09:01", "09:03", 1, 240),
        Stop("C", "09:17", "09:21", 1, 399), Stop("D", "10:04", "10:06", 1, 416),
        Stop("E", "10:36", "-99:00", 1, 518)};
    const CleanedStops unlimited = CleanStops(route, 0);  // no speed limit: kept as it is
    EXPECT_TRUE(unlimited.stops);
    EXPECT_TRUE(unlimited.repaired.empty());
    const CleanedStops limited = CleanStops(route, MaxSpeedForNumber("D1912"));
    ASSERT_TRUE(limited.stops) << limited.reason;
    EXPECT_EQ(limited.repaired, "distance of one stop (implausible speed)");
    EXPECT_GT((*limited.stops)[2].km, 240);
    EXPECT_LT((*limited.stops)[2].km, 300);
    // A wrong terminus has no second neighbour to agree with.
    auto wrongEnd = route;
    wrongEnd.back().km = 1280;
    EXPECT_EQ(Refusal(wrongEnd, MaxSpeedForNumber("D1912")), "implausible speed between two stops");
    EXPECT_EQ(MaxSpeedForNumber("K1"), 220);
}

TEST(TimetableClean, RepairsOrDropsBackwardTimes) {
    std::string repaired;
    // One stop ten minutes before its predecessor's departure.
    auto stops =
        CleanOrFail({Stop("A", "-99:00", "10:00", 1, 0), Stop("B", "10:50", "10:52", 1, 50),
                     Stop("C", "10:40", "10:41", 1, 100), Stop("D", "12:00", "-99:00", 1, 200)},
                    &repaired);
    EXPECT_EQ(repaired, "times of one stop");
    for (std::size_t i = 1; i < stops.size(); ++i) {
        EXPECT_GE(stops[i].arrival, stops[i - 1].departure);
    }
    EXPECT_EQ(Refusal({Stop("A", "-99:00", "10:00", 1, 0), Stop("B", "09:50", "-99:00", 1, 50)}),
              "times go backwards");
}

TEST(TimetableMerge, IdenticalStopListsBecomeOneTrain) {
    BuildReport report;
    const std::vector<SourceStop> route = {Stop("A", "-99:00", "10:00", 1, 0),
                                           Stop("B", "11:00", "-99:00", 1, 80)};
    auto other = route;
    other[1].km = 81;
    const std::vector<SourceTrain> trains = {{"Z98", route}, {"K1", other}, {"Z95", route}};
    const auto merged = MergeIdenticalTrains(trains, report);
    ASSERT_EQ(merged.size(), 2u);
    EXPECT_EQ(merged[0].numbers, (std::vector<std::string>{"Z98", "Z95"}));
    EXPECT_EQ(report.numbersMerged, 1);
    EXPECT_EQ(report.distinctTrains, 2);

    // The joined number stays within 35 characters.
    std::vector<SourceTrain> many;
    for (int i = 0; i < 10; ++i) many.push_back({"K" + std::to_string(1000 + i), route});
    BuildReport r2;
    const auto joined = MergeIdenticalTrains(many, r2);
    ASSERT_EQ(joined.size(), 1u);
    std::size_t length = 0;
    for (const auto& n : joined[0].numbers) length += n.size() + 1;
    EXPECT_LE(length - 1, 35u);
    EXPECT_EQ(r2.numbersNotJoined, 10 - static_cast<int>(joined[0].numbers.size()));
}

TEST(TimetableSources, CsvStationListsGroupsAndReadings) {
    BuildReport report;
    const auto trains = ParseStopsCsv(
        "\xEF\xBB\xBFtid,sno,sname,arrv_time,depart_time,day,mileage\r\n"
        "G1,2,B,10:22,10:24,1,406\r\nG1,1,A,-99:00,09:00,1,0\r\nbad "
        "line\r\nD2,1,A,-99:00,08:00,1,-1\r\n",
        report);
    ASSERT_EQ(trains.size(), 2u);
    EXPECT_EQ(trains[0].number, "G1");
    EXPECT_EQ(trains[0].stops[0].station, "A");  // sorted by stop number
    EXPECT_EQ(trains[1].stops[0].km, -1);
    EXPECT_EQ(report.rowsRejected, 1);

    const auto list = ParseStationList(
        "var station_names ='@bjb|北京北|VAP|beijingbei|bjb|0|0357|北京|||"
        "@bji|北京|BJP|beijing|bj|2';");
    EXPECT_EQ(list.at("北京北"), "BJB");
    EXPECT_EQ(list.at("北京"), "BJ");

    const auto groups = ParseGroups("\xEF\xBB\xBF北京,北京西\n\n上海, 上海南 \n");
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[1][1], "上海南");

    const auto readings = ParseReadings(
        "# comment\nU+5317\tkMandarin\tběi\nU+4EAC\tkMandarin\tjīng\nU+5B89\tkMandarin\tān\n"
        "U+957F\tkMandarin\tzhǎng\n");
    bool complete = false;
    EXPECT_EQ(InitialsFromReadings("北京", readings, &complete), "BJ");
    EXPECT_TRUE(complete);
    EXPECT_EQ(InitialsFromReadings("安", readings, &complete), "A");
    // 长 is read chang in station names, whatever the first reading says.
    EXPECT_EQ(InitialsFromReadings("长", readings, &complete), "C");
    EXPECT_EQ(InitialsFromReadings("\xEE\x89\x86北", readings, &complete), "B");
    EXPECT_FALSE(complete);
}

TEST(TimetableSources, StopListGivenTwiceIsReadOnce) {
    BuildReport report;
    // D7 repeats its whole stop list; K8 gives stop 2 twice with different stations.
    const auto trains = ParseStopsCsv(
        "tid,sno,sname,arrv_time,depart_time,day,mileage\n"
        "D7,1,A,-99:00,08:46,1,0\nD7,2,B,09:15,09:22,1,70\nD7,3,C,09:48,-99:00,1,116\n"
        "D7,1,A,-99:00,08:46,1,0\nD7,2,B,09:15,09:22,1,70\nD7,3,C,09:48,-99:00,1,116\n"
        "K8,1,A,-99:00,10:00,1,0\nK8,2,B,11:00,11:05,1,80\nK8,2,X,11:00,11:05,1,80\n"
        "K8,3,C,12:00,-99:00,1,150\n",
        report);
    ASSERT_EQ(trains.size(), 1u);
    EXPECT_EQ(trains[0].number, "D7");
    ASSERT_EQ(trains[0].stops.size(), 3u);
    EXPECT_EQ(trains[0].stops[1].station, "B");
    EXPECT_EQ(trains[0].stops[2].station, "C");
    EXPECT_EQ(report.numbersRead, 2);
    EXPECT_EQ(report.repairs["stop list given twice"], 1);
    EXPECT_EQ(report.drops["conflicting rows for one stop number"], 1);

    std::string repaired;
    const auto clean = CleanOrFail(trains[0].stops, &repaired);
    ASSERT_EQ(clean.size(), 3u);
    EXPECT_EQ(clean.back().arrival - clean.front().departure, 62);
}

TEST(TimetableSources, BuiltInReadingsServeWithoutTheUnicodeDatabase) {
    const auto readings = FallbackReadings();
    EXPECT_GT(readings.size(), 1000u);
    bool complete = false;
    EXPECT_EQ(InitialsFromReadings("北京西", readings, &complete), "BJX");
    EXPECT_TRUE(complete);
    EXPECT_EQ(InitialsFromReadings("长春", readings, &complete), "CC");
    EXPECT_EQ(InitialsFromReadings("昂昂溪", readings, &complete), "AAX");
    EXPECT_EQ(InitialsFromReadings("乌鲁木齐南", readings, &complete), "WLMQN");
    EXPECT_TRUE(complete);
}

TEST(TimetableBuild, OverridesAndGroupsRestrictedToServedStations) {
    Sources s;
    s.stopsCsv =
        "tid,sno,sname,arrv_time,depart_time,day,mileage\n"
        "1043,1,A,-99:00,10:00,1,0\n1043,2,B,11:00,11:05,1,80\n1043,3,C,23:43,-99:00,1,900\n"
        "D1,1,A,-99:00,08:00,1,0\nD1,2,C,12:00,-99:00,1,900\n";
    s.groups = "A,B,X\nC,Y\n";
    s.overrides = "train,station,ntype,p1,p2,p3,p4\n1043,,8\n1043,C,0,143,-,280/291/303,469/492\n";
    const BuildOutput out = BuildTimetable(s);
    EXPECT_EQ(out.report.trainsBuilt, 2);
    EXPECT_EQ(out.report.stopsBuilt, 5);
    EXPECT_EQ(out.report.groupsKept, 1);
    EXPECT_EQ(out.report.groupsDropped, 1);
    EXPECT_NE(
        out.slist.find("\"1043\",\"8\",\"A\",\"C\",\"10:00\",\"23:43\",\"13:43\",\"900\",\"143\","
                       "\"-\",\"280/291/303\",\"469/492\""),
        std::string::npos)
        << out.slist;
    EXPECT_NE(out.sm.find("\"A\",\"1\""), std::string::npos);
    EXPECT_EQ(out.sm.find("\"C\""), std::string::npos);
}

}  // namespace
}  // namespace korvel::timetable
