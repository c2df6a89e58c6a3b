// The timetable as a GTFS feed and back: the feed's form (RFC 4180, times past 24:00,
// distances), the reference's rules for every file written, and a round trip through the
// builder that keeps every train, stop, time, distance, same-city group and pinyin code
// (fares are the tariff's again).
#include "gtfs/gtfs.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "data/table_stream.h"
#include "stream_folder.h"
#include "timetable/gtfs_input.h"

namespace korvel::gtfs {
using timetable::BuildOutput;
using timetable::Sources;
namespace {

// Every row of a table in its index's order, as the listed fields joined by "|".
std::vector<std::string> Rows(MemTable& table, const char* index,
                              std::initializer_list<const char*> fields) {
    table.SetIndexName(index);
    std::vector<std::string> rows;
    for (table.First(); !table.Eof(); table.Next()) {
        std::string row;
        for (const char* f : fields) row += table.FieldByName(f).AsString() + "|";
        rows.push_back(row);
    }
    return rows;
}

void ExpectRoundTrip(const std::string& dir) {
    StoredTables before;
    // Empty only in a build made with -DKORVEL_TIMETABLE=sample, which has no real timetable.
    if (dir.empty()) GTEST_SKIP() << "no real timetable in a sample build";
    ASSERT_TRUE(LoadStreams(dir, before)) << "no streams in '" << dir << "'";
    GtfsFeedInfo info;
    info.version = "test, with a comma";
    const GtfsFeed feed = ExportGtfs(before, info);
    for (const char* f : {"agency.txt", "stops.txt", "routes.txt", "trips.txt", "stop_times.txt",
                          "calendar.txt", "feed_info.txt"}) {
        EXPECT_TRUE(feed.count(f)) << f;
    }
    EXPECT_NE(feed.at("feed_info.txt").find("\"test, with a comma\""), std::string::npos);

    Sources sources;
    timetable::AddGtfsTrains(ReadGtfs(feed), sources, false);
    const BuildOutput built = timetable::BuildTimetable(sources);
    StoredTables after;
    TableStreamFormat format;
    LoadFromTableStream(after.KMList, built.slist, &format);
    LoadFromTableStream(after.KMTrain, built.strain, &format);
    LoadFromTableStream(after.KMSM, built.sm, &format);
    LoadFromTableStream(after.KMPy, built.spy, &format);
    // Groups and codes come from the feed alone: no station lists, no readings.
    EXPECT_EQ(Rows(after.KMSM, "", {"Station", "Gp"}), Rows(before.KMSM, "", {"Station", "Gp"}));
    EXPECT_EQ(Rows(after.KMPy, "", {"Station", "Shortcode"}),
              Rows(before.KMPy, "", {"Station", "Shortcode"}));

    const auto listFields = {"ID",     "NType",  "StartStation", "endStation",
                             "A_Time", "D_Time", "R_Date",       "Distance"};
    EXPECT_EQ(Rows(after.KMList, "SID", listFields), Rows(before.KMList, "SID", listFields));
    const auto stopFields = {"ID", "Station", "S_No", "A_Time", "D_Time", "R_Date", "Distance"};
    EXPECT_EQ(Rows(after.KMTrain, "SIDNo", stopFields), Rows(before.KMTrain, "SIDNo", stopFields));
}

TEST(TimetableGtfs, SampleRoundTrip) {
    ExpectRoundTrip(KORVEL_SAMPLE_STREAMS);
}

TEST(TimetableGtfs, RoundTripOf2019Timetable) {
    ExpectRoundTrip(KORVEL_REAL_STREAMS);
}

TEST(TimetableGtfs, FeedForm) {
    EXPECT_EQ(GtfsTime(0), "00:00:00");
    EXPECT_EQ(GtfsTime(1440 + 65), "25:05:00");  // the next day
    EXPECT_EQ(GtfsTime(3 * 1440), "72:00:00");
    bool complete = false;
    EXPECT_EQ(SplitCsvLine("a,\"b,\"\"c\"\"\",", &complete),
              (std::vector<std::string>{"a", "b,\"c\"", ""}));
    EXPECT_TRUE(complete);
    SplitCsvLine("a,\"open", &complete);
    EXPECT_FALSE(complete);

    // A train over midnight comes back with its days; a quoted name spans the comma.
    GtfsFeed feed = {
        {"stops.txt", "\xEF\xBB\xBFstop_id,stop_name\r\nS1,\"甲,乙\"\r\nS2,丙\r\nS3,丁\r\n"},
        {"routes.txt", "route_id,route_desc\nK1,空调快速\n"},
        {"trips.txt", "route_id,service_id,trip_id,trip_short_name\nK1,daily,K1,K1\n"},
        {"stop_times.txt",
         "trip_id,arrival_time,departure_time,stop_id,stop_sequence,shape_dist_traveled\n"
         "K1,23:30:00,23:50:00,S1,1,0\nK1,24:10:00,24:12:00,S2,2,30.4\n"
         "K1,49:00:00,49:00:00,S3,3,2000\n"}};
    const GtfsTrains trains = ReadGtfs(feed);
    ASSERT_EQ(trains.trains.size(), 1u);
    const auto& stops = trains.trains[0].stops;
    ASSERT_EQ(stops.size(), 3u);
    EXPECT_EQ(stops[0].station, "甲,乙");
    EXPECT_EQ(stops[0].departure, 23 * 60 + 50);
    EXPECT_EQ(stops[0].arrival, -1);
    EXPECT_EQ(stops[1].day, 2);
    EXPECT_EQ(stops[1].arrival, 10);
    EXPECT_EQ(stops[1].km, 30);
    EXPECT_EQ(stops[2].day, 3);
    EXPECT_EQ(stops[2].departure, -1);
    EXPECT_EQ(trains.types.at("K1"), 6);

    feed["stop_times.txt"] += "K1,50:00:00,50:00:00,S9,4,2100\n";
    try {
        ReadGtfs(feed);
        FAIL() << "an unknown stop was accepted";
    } catch (const GtfsError& e) {
        EXPECT_EQ(std::string(e.what()), "stop_times.txt:5: unknown stop_id S9");
    }
    feed.erase("trips.txt");
    EXPECT_THROW(ReadGtfs(feed), GtfsError);
}

}  // namespace
}  // namespace korvel::gtfs
