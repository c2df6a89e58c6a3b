// Station coordinates in the timetable: the join by name, the estimate along the trains for
// stations the source does not name, and the COORDS stream that carries both.
#include <gtest/gtest.h>

#include "data/station_coords.h"
#include "data/table_stream.h"
#include "timetable/builder.h"

namespace korvel::timetable {
namespace {

using Stops = std::vector<std::pair<std::string, int>>;

TEST(StationCoordinates, SourceRowsWithBadDegreesAreSkippedAndTheFirstOfANameWins) {
    const auto known = ParseCoordinatesCsv(
        "\xEF\xBB\xBFstation_name,lon,lat\n"
        "A,116.5,39.9\r\n"
        "B,200,30\n"  // longitude out of range
        "C,120,x\n"   // unreadable
        "D,121.25,31\n"
        "D,0,0\n"  // a repeated name keeps its first place
        ",1,1\n"   // no name
        "E,1\n");  // too few columns
    ASSERT_EQ(known.size(), 2u);
    EXPECT_DOUBLE_EQ(known.at("A").lon, 116.5);
    EXPECT_DOUBLE_EQ(known.at("A").lat, 39.9);
    EXPECT_DOUBLE_EQ(known.at("D").lon, 121.25);
}

// A line A - x - y - B, known at its ends only; a branch train x - Z with Z unknown; an
// island P - Q that nothing locates.
TEST(StationCoordinates, MissingStationsArePlacedBetweenKnownNeighboursByDistance) {
    const std::map<std::string, LonLat> known = {{"A", {100, 30}}, {"B", {110, 40}}};
    const std::vector<Stops> trains = {
        {{"A", 0}, {"x", 25}, {"y", 75}, {"B", 100}},
        // The reverse direction, with x measured at 35 km from B: its estimate averages in.
        {{"B", 0}, {"x", 35}, {"A", 100}},
        {{"x", 0}, {"Z", 40}},
        {{"P", 0}, {"Q", 10}},
    };
    BuildReport report;
    const auto located = LocateStations(trains, known, report);

    ASSERT_TRUE(located.count("A") && located.count("B"));
    EXPECT_FALSE(located.at("A").estimated);
    EXPECT_DOUBLE_EQ(located.at("B").at.lon, 110);

    // y is 3/4 of the way from A to B.
    ASSERT_TRUE(located.count("y"));
    EXPECT_TRUE(located.at("y").estimated);
    EXPECT_NEAR(located.at("y").at.lon, 107.5, 1e-9);
    EXPECT_NEAR(located.at("y").at.lat, 37.5, 1e-9);
    // x: 1/4 along the first train, 65/100 from A along the second; the mean of the two.
    ASSERT_TRUE(located.count("x"));
    EXPECT_NEAR(located.at("x").at.lon, 100 + 10 * (0.25 + 0.65) / 2, 1e-9);

    // Z has a known neighbour on one side only; P and Q none: they stay unlocated.
    EXPECT_FALSE(located.count("Z"));
    EXPECT_FALSE(located.count("P"));
    EXPECT_EQ(report.stationsLocated, 2);
    EXPECT_EQ(report.stationsEstimated, 2);
    EXPECT_EQ(report.stationsUnlocated, 3);
    EXPECT_NE(report.Text().find("2 by name, 2 estimated along their trains, 3 unlocated"),
              std::string::npos);
}

TEST(StationCoordinates, KnownNeighboursAtOneKilometreGiveTheMidpoint) {
    const std::map<std::string, LonLat> known = {{"A", {100, 30}}, {"B", {102, 32}}};
    BuildReport report;
    const auto located = LocateStations({{{"A", 10}, {"m", 10}, {"B", 10}}}, known, report);
    ASSERT_TRUE(located.count("m"));
    EXPECT_DOUBLE_EQ(located.at("m").at.lon, 101);
    EXPECT_DOUBLE_EQ(located.at("m").at.lat, 31);
}

TEST(StationCoordinates, TheStreamGivesBackWhatWasWrittenAndRefusesBadDegrees) {
    const std::string name = "\xB1\xB1\xBE\xA9";  // 北京 in GBK
    const std::string stream =
        WriteCoordsStream({{name, {116.378517, 39.865246, false}}, {"x", {-0.5, 1.25, true}}});
    const StationCoords coords = ReadCoordsStream(stream);
    ASSERT_EQ(coords.size(), 2u);
    EXPECT_DOUBLE_EQ(coords.at(name).lon, 116.378517);
    EXPECT_DOUBLE_EQ(coords.at(name).lat, 39.865246);
    EXPECT_FALSE(coords.at(name).estimated);
    EXPECT_TRUE(coords.at("x").estimated);
    EXPECT_DOUBLE_EQ(coords.at("x").lon, -0.5);

    std::string bad = stream;
    bad.replace(bad.find("39.865246"), 9, "99.000000");
    EXPECT_THROW(ReadCoordsStream(bad), TableStreamError);
    EXPECT_THROW(ReadCoordsStream("not a stream"), TableStreamError);
}

TEST(StationCoordinates, BuildWritesCoordsOnlyWhenTheSourceHasThem) {
    Sources s;
    s.stopsCsv =
        "tid,sno,sname,arrv_time,depart_time,day,mileage\n"
        "K1,1,A,-99:00,08:00,1,0\n"
        "K1,2,M,09:00,09:02,1,60\n"
        "K1,3,B,10:00,-99:00,1,120\n";
    EXPECT_TRUE(BuildTimetable(s).coords.empty());

    s.coordinatesCsv = "station_name,lon,lat\nA,100,30\nB,106,36\n";
    const BuildOutput out = BuildTimetable(s);
    const StationCoords coords = ReadCoordsStream(out.coords);
    ASSERT_EQ(coords.size(), 3u);
    EXPECT_TRUE(coords.at("M").estimated);
    EXPECT_NEAR(coords.at("M").lon, 103, 1e-6);
    EXPECT_EQ(out.report.stationsEstimated, 1);
}

}  // namespace
}  // namespace korvel::timetable
