// The written feed against the GTFS reference's rules for the files it holds (required
// fields, references between files, unique ids, increasing sequences, times and distances),
// and the feed on disk: zip archives and folders read back, anything but regular files
// refused without reading.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "data/table_stream.h"
#include "gtfs/csv.h"
#include "gtfs/feed_files.h"
#include "gtfs/gtfs.h"
#include "stream_folder.h"
#include "timetable/gtfs_input.h"

namespace korvel::gtfs {
namespace {

namespace fs = std::filesystem;

// Each row's values by column name; every required column present and filled.
std::vector<std::map<std::string, std::string>> Rows(const GtfsFeed& feed, const char* file,
                                                     std::initializer_list<const char*> required) {
    const CsvTable t = ReadCsvTable(feed, file, true);
    std::vector<std::map<std::string, std::string>> rows;
    for (const auto& [line, values] : t.rows) {
        EXPECT_EQ(values.size(), t.header.size()) << file << ":" << line;
        auto& row = rows.emplace_back();
        for (std::size_t c = 0; c < t.header.size(); ++c)
            row[t.header[c]] = CsvTable::Value(values, int(c));
        for (const char* f : required)
            EXPECT_FALSE(row[f].empty()) << file << ":" << line << " " << f;
    }
    return rows;
}

std::set<std::string> Ids(const std::vector<std::map<std::string, std::string>>& rows,
                          const char* f) {
    std::set<std::string> ids;
    for (const auto& r : rows)
        EXPECT_TRUE(ids.insert(r.at(f)).second) << f << " " << r.at(f) << " twice";
    return ids;
}

int Seconds(const std::string& t) {
    int h = -1, m = -1, s = -1;
    EXPECT_EQ(std::sscanf(t.c_str(), "%d:%2d:%2d", &h, &m, &s), 3) << t;
    return h * 3600 + m * 60 + s;
}

void ExpectStopTimesInOrder(const GtfsFeed& feed, const std::set<std::string>& trips,
                            const std::set<std::string>& stops) {
    const auto times = Rows(feed, "stop_times.txt", {"trip_id", "stop_id", "stop_sequence"});
    std::map<std::string, int> calls;
    const std::map<std::string, std::string>* previous = nullptr;
    double lastKm = -1;  // the trip's last distance given
    for (const auto& r : times) {
        EXPECT_TRUE(trips.count(r.at("trip_id"))) << r.at("trip_id");
        EXPECT_TRUE(stops.count(r.at("stop_id"))) << r.at("stop_id");
        EXPECT_LE(Seconds(r.at("arrival_time")), Seconds(r.at("departure_time")));
        ++calls[r.at("trip_id")];
        if (!previous || previous->at("trip_id") != r.at("trip_id")) {
            lastKm = -1;
        } else {
            EXPECT_LT(std::stoi(previous->at("stop_sequence")), std::stoi(r.at("stop_sequence")));
            EXPECT_LE(Seconds(previous->at("departure_time")), Seconds(r.at("arrival_time")));
        }
        if (const std::string& km = r.at("shape_dist_traveled"); !km.empty()) {
            EXPECT_GT(std::stod(km), lastKm) << r.at("trip_id") << " at " << r.at("stop_sequence");
            lastKm = std::stod(km);
        }
        previous = &r;
    }
    for (const auto& trip : trips) EXPECT_GE(calls[trip], 2) << trip;
}

void ExpectFeedFollowsReference(const GtfsFeed& feed) {
    const auto agencies =
        Rows(feed, "agency.txt", {"agency_id", "agency_name", "agency_url", "agency_timezone"});
    const auto stops = Rows(feed, "stops.txt", {"stop_id", "stop_name"});
    std::set<std::string> platforms, stations;  // location_type 0 and 1
    for (const auto& s : stops)
        (s.at("location_type") == "1" ? stations : platforms).insert(s.at("stop_id"));
    Ids(stops, "stop_id");
    for (const auto& s : stops) {
        const std::string& parent = s.at("parent_station");
        if (s.at("location_type") == "1") {
            EXPECT_TRUE(parent.empty()) << s.at("stop_id");
        }
        if (!parent.empty()) {
            EXPECT_TRUE(stations.count(parent)) << s.at("stop_id") << " in " << parent;
        }
    }
    const auto agencyIds = Ids(agencies, "agency_id");
    const auto routes =
        Rows(feed, "routes.txt", {"route_id", "agency_id", "route_short_name", "route_type"});
    for (const auto& r : routes) EXPECT_TRUE(agencyIds.count(r.at("agency_id")));
    const auto routeIds = Ids(routes, "route_id");
    const auto calendar = Rows(feed, "calendar.txt",
                               {"service_id", "monday", "tuesday", "wednesday", "thursday",
                                "friday", "saturday", "sunday", "start_date", "end_date"});
    const auto services = Ids(calendar, "service_id");
    const auto trips = Rows(feed, "trips.txt", {"route_id", "service_id", "trip_id"});
    for (const auto& t : trips) {
        EXPECT_TRUE(routeIds.count(t.at("route_id")));
        EXPECT_TRUE(services.count(t.at("service_id")));
    }
    ExpectStopTimesInOrder(feed, Ids(trips, "trip_id"), platforms);
    const auto info = Rows(feed, "feed_info.txt",
                           {"feed_publisher_name", "feed_publisher_url", "feed_lang",
                            "feed_start_date", "feed_end_date"});
    ASSERT_EQ(info.size(), 1u);
    EXPECT_EQ(info[0].at("feed_start_date"), calendar[0].at("start_date"));
    EXPECT_EQ(info[0].at("feed_end_date"), calendar[0].at("end_date"));
    EXPECT_LE(calendar[0].at("start_date"), calendar[0].at("end_date"));
    for (const auto& t :
         Rows(feed, "transfers.txt",
              {"from_stop_id", "to_stop_id", "transfer_type", "min_transfer_time"})) {
        EXPECT_TRUE(platforms.count(t.at("from_stop_id")) && platforms.count(t.at("to_stop_id")));
        EXPECT_EQ(t.at("transfer_type"), "2");
    }
}

void ExpectExportFollowsReference(const std::string& dir) {
    StoredTables tables;
    if (!LoadStreams(dir, tables)) GTEST_SKIP() << "no streams in '" << dir << "'";
    const GtfsFeed feed = ExportGtfs(tables, GtfsFeedInfo{});
    ExpectFeedFollowsReference(feed);
    // Same-city groups became parent stations, and the change rules are in the feed.
    EXPECT_NE(feed.at("stops.txt").find(",1,\r\n"), std::string::npos);
    EXPECT_NE(feed.at("transfers.txt").find(",2,7200\r\n"), std::string::npos);
    EXPECT_NE(feed.at("transfers.txt").find(",2,1800\r\n"), std::string::npos);
}

TEST(GtfsFeed, SampleExportFollowsTheReference) {
    ExpectExportFollowsReference(KORVEL_SAMPLE_STREAMS);
}

TEST(GtfsFeed, ExportOf2019TimetableFollowsTheReference) {
    ExpectExportFollowsReference(KORVEL_REAL_STREAMS);
}

// Places go out as stop_lat/stop_lon (a parent station where its named member stands, or
// between its members), a station without one with both empty, and come back by name.
TEST(GtfsFeed, StationPlacesGoOutAsStopLatLonAndComeBack) {
    StoredTables tables;
    if (!LoadStreams(KORVEL_SAMPLE_STREAMS, tables)) GTEST_SKIP() << "no sample streams";
    const std::string bj = "\xB1\xB1\xBE\xA9", bjx = "\xB1\xB1\xBE\xA9\xCE\xF7";  // 北京, 北京西
    const std::string sh = "\xC9\xCF\xBA\xA3", shn = "\xC9\xCF\xBA\xA3\xC4\xCF";  // 上海, 上海南
    const std::string shhq = "\xC9\xCF\xBA\xA3\xBA\xE7\xC7\xC5";                  // 上海虹桥
    const StationCoords coords = {{bj, {116.427, 39.903, false}},
                                  {bjx, {116.322, 39.895, true}},
                                  {shn, {121.43, 31.15, false}},
                                  {shhq, {121.32, 31.19, false}}};
    GtfsFeedInfo info;
    info.coords = &coords;
    const GtfsFeed feed = ExportGtfs(tables, info);
    ExpectFeedFollowsReference(feed);
    ASSERT_TRUE(feed.count("attributions.txt"));
    EXPECT_NE(feed.at("attributions.txt").find("OpenStreetMap contributors"), std::string::npos);

    std::map<std::pair<std::string, std::string>, std::pair<std::string, std::string>> placed;
    for (const auto& r : Rows(feed, "stops.txt", {"stop_id", "stop_name", "location_type"})) {
        placed[{r.at("stop_name"), r.at("location_type")}] = {r.at("stop_lat"), r.at("stop_lon")};
    }
    using P = std::pair<std::string, std::string>;
    EXPECT_EQ(placed.at({"北京西", "0"}), P("39.895000", "116.322000"));
    EXPECT_EQ(placed.at({"北京", "1"}), P("39.903000", "116.427000"));
    // 上海 itself has no place: its station stands between the two members that have one.
    EXPECT_EQ(placed.at({"上海", "0"}), P("", ""));
    EXPECT_EQ(placed.at({"上海", "1"}), P("31.170000", "121.375000"));

    const GtfsTrains back = ReadGtfs(feed);
    ASSERT_EQ(back.places.size(), 4u);
    EXPECT_DOUBLE_EQ(back.places.at("上海南").lat, 31.15);
    EXPECT_DOUBLE_EQ(back.places.at("北京西").lon, 116.322);
    EXPECT_FALSE(back.places.count("上海"));
    // The builder takes them as its coordinates source.
    timetable::Sources sources;
    timetable::AddGtfsTrains(back, sources, false);
    const StationCoords rebuilt = ReadCoordsStream(timetable::BuildTimetable(sources).coords);
    ASSERT_TRUE(rebuilt.count(shn));
    EXPECT_NEAR(rebuilt.at(shn).lon, 121.43, 1e-6);
    EXPECT_FALSE(rebuilt.at(shn).estimated);

    // Without places the columns are left out, as before.
    const GtfsFeed plain = ExportGtfs(tables, GtfsFeedInfo{});
    EXPECT_EQ(plain.at("stops.txt").find("stop_lat"), std::string::npos);
    EXPECT_FALSE(plain.count("attributions.txt"));
    EXPECT_TRUE(ReadGtfs(plain).places.empty());
}

TEST(GtfsFeed, CalendarRunsAYearFromTheTimetablesFirstDay) {
    EXPECT_EQ(FeedDatesFrom("2019-01-01")->end, "20191231");
    EXPECT_EQ(FeedDatesFrom("2024-03-15")->start, "20240315");
    EXPECT_EQ(FeedDatesFrom("2024-03-15")->end, "20250314");
    EXPECT_EQ(FeedDatesFrom("2024-02-29")->end, "20250228");
    EXPECT_FALSE(FeedDatesFrom("2019-02-30"));
    EXPECT_FALSE(FeedDatesFrom("20190101"));
}

class GtfsFeedFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("korvel-gtfs-" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path dir_;
};

TEST_F(GtfsFeedFiles, ZipAndFolderReadBackAsWritten) {
    const GtfsFeed feed = {{"stops.txt", "stop_id,stop_name\r\nS1,甲\r\n"},
                           {"trips.txt", std::string(300000, 'x')},
                           {"feed_info.txt", "a\r\n"}};
    for (const char* name : {"f.zip", "feed"}) {
        const std::string path = (dir_ / name).string();
        ASSERT_EQ(WriteGtfsFeed(path, feed), std::nullopt) << name;
        EXPECT_EQ(ReadGtfsFeed(path), feed) << name;
    }
    std::ifstream zip(dir_ / "f.zip", std::ios::binary);
    char magic[4] = {};
    zip.read(magic, 4);
    EXPECT_EQ(std::string(magic, 4), "PK\x03\x04");
    EXPECT_LT(fs::file_size(dir_ / "f.zip"), 10000u) << "deflated";
    std::string why;
    EXPECT_EQ(ZipGtfsFeed(feed, &why), ZipGtfsFeed(feed, &why)) << "one feed, one archive";
}

TEST_F(GtfsFeedFiles, OnlyRegularFilesAreRead) {
    fs::create_directories(dir_ / "feed" / "stops.txt");
    auto refusal = [](const fs::path& p) {
        try {
            ReadGtfsFeed(p.string());
        } catch (const GtfsError& e) {
            return std::string(e.what());
        }
        return std::string("read");
    };
    EXPECT_EQ(refusal(dir_ / "feed"), "stops.txt: not a regular file");
    fs::remove(dir_ / "feed" / "stops.txt");
    ASSERT_EQ(::mkfifo((dir_ / "feed" / "trips.txt").c_str(), 0600), 0);
    EXPECT_EQ(refusal(dir_ / "feed"), "trips.txt: not a regular file") << "no hang on a FIFO";
    EXPECT_EQ(refusal("/dev/zero"), "not a folder or a zip archive");
    std::ofstream(dir_ / "bad.zip") << "not a zip";
    EXPECT_EQ(refusal(dir_ / "bad.zip").rfind("not a zip archive", 0), 0u);
}

}  // namespace
}  // namespace korvel::gtfs
