// A feed from another railway: what the timetable cannot hold is left out and named, never
// changed quietly; values no stream could hold refuse the feed naming file, line and field.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "data/manifest_build.h"
#include "gtfs/gtfs.h"
#include "timetable/gtfs_input.h"
#include "timetable/timetable_folder.h"

namespace korvel::gtfs {
namespace {

// Genève twice under two ids, a bus, a 25-character name with a letter GBK lacks, a weekday
// service, a stop where nobody may board, another time zone, and a city of two stations.
GtfsFeed ForeignFeed() {
    return {
        {"agency.txt",
         "agency_id,agency_name,agency_url,agency_timezone\n"
         "SBB,SBB,https://sbb.ch,Europe/Zurich\n"},
        {"stops.txt",
         "stop_id,stop_code,stop_name,location_type,parent_station\n"
         "A,,Genève,0,\nB,,Genève,,\nC,LS,Lausanne,0,\nD,8501,Domodossola,0,\n"
         "E,,Brig,0,\nF,,Châtel-Saint-Denis-Gare-X,0,\nM,,Milano,1,\n"
         "M1,MC,Milano Centrale,0,M\nM2,,Milano Garibaldi,0,M\n"},
        {"routes.txt",
         "route_id,agency_id,route_short_name,route_type\n"
         "IR,SBB,IR,2\nBUS,SBB,B1,3\nEC,SBB,EC,102\n"},
        {"calendar.txt",
         "service_id,monday,tuesday,wednesday,thursday,friday,saturday,sunday,"
         "start_date,end_date\n"
         "ALL,1,1,1,1,1,1,1,20240101,20241231\n"
         "WK,1,1,1,1,1,0,0,20240101,20241231\n"},
        {"trips.txt",
         "route_id,service_id,trip_id,trip_short_name\n"
         "IR,ALL,T1,IR90\nIR,ALL,T2,IR91\nBUS,ALL,T3,B1\nEC,ALL,T4,EC1\n"
         "EC,WK,T5,EC2\n"},
        {"stop_times.txt",
         "trip_id,arrival_time,departure_time,stop_id,stop_sequence,pickup_type\n"
         "T1,08:00:00,08:00:00,C,1,0\nT1,09:30:00,09:32:00,E,2,\nT1,10:10:00,10:10:00,D,3,1\n"
         "T2,07:00:00,07:00:00,A,1,\nT2,07:40:00,07:40:00,C,2,\n"
         "T3,08:00:00,08:00:00,C,1,\nT3,09:00:00,09:00:00,E,2,\n"
         "T4,08:00:00,08:00:00,C,1,\nT4,08:50:00,08:50:00,F,2,\n"
         "T5,12:00:00,12:00:00,M1,1,\nT5,13:50:00,13:50:00,D,2,\n"},
        {"transfers.txt",
         "from_stop_id,to_stop_id,transfer_type,min_transfer_time\n"
         "C,C,2,300\nE,E,2,300\nD,D,2,420\nM1,M2,2,1800\n"},
    };
}

bool Noted(const GtfsTrains& read, std::initializer_list<const char*> words) {
    return std::any_of(read.notes.begin(), read.notes.end(), [&](const std::string& note) {
        return std::all_of(words.begin(), words.end(),
                           [&](const char* w) { return note.find(w) != std::string::npos; });
    });
}

TEST(GtfsImport, ForeignFeedKeepsWhatItCanAndNamesTheRest) {
    const GtfsTrains read = ReadGtfs(ForeignFeed());
    std::vector<std::string> numbers;
    for (const auto& t : read.trains) numbers.push_back(t.number);
    EXPECT_EQ(numbers, (std::vector<std::string>{"IR90", "EC2"}));
    ASSERT_EQ(read.trains[0].stops.size(), 3u);
    EXPECT_EQ(read.trains[0].stops[2].station, "Domodossola");

    EXPECT_TRUE(Noted(read, {"BUS", "route_type 3", "1 trips"})) << "the bus";
    EXPECT_TRUE(Noted(read, {"stops A and B", "Genève", "refused", "1 trips"}));
    EXPECT_TRUE(Noted(read, {"Châtel-Saint-Denis-Gare-X (F)", "not GBK", "1 trips"}));
    EXPECT_TRUE(Noted(read, {"service WK", "taken as daily"}));
    EXPECT_TRUE(Noted(read, {"1 stop times", "pickup_type"}));
    EXPECT_TRUE(Noted(read, {"Europe/Zurich"}));
    EXPECT_TRUE(Noted(read, {"at one stop take 2 different times", "5 min"}));
    EXPECT_EQ(read.notes.size(), 7u) << "nothing else is said, nothing is left unsaid";

    EXPECT_EQ(read.groups,
              (std::vector<std::vector<std::string>>{{"Milano Centrale", "Milano Garibaldi"}}));
    // Letters serve as pinyin initials; a number does not.
    EXPECT_EQ(read.codes,
              (std::map<std::string, std::string>{{"Lausanne", "LS"}, {"Milano Centrale", "MC"}}));
    EXPECT_EQ(read.minTransfer, 5);
    EXPECT_EQ(read.cityTransfer, 30);
}

TEST(GtfsImport, TheFeedsStartIsTheTimetablesFirstDay) {
    GtfsFeed feed = ForeignFeed();
    EXPECT_EQ(ReadGtfs(feed).validFrom, "");
    const std::string head = "feed_publisher_name,feed_publisher_url,feed_lang,feed_start_date\n";
    feed["feed_info.txt"] = head + "SBB,https://sbb.ch,fr,20240229\n";
    EXPECT_EQ(ReadGtfs(feed).validFrom, "2024-02-29");
    for (const char* bad : {"20230229", "2024-03-01", "00010101"}) {
        feed["feed_info.txt"] = head + "SBB,https://sbb.ch,fr," + bad + "\n";
        const GtfsTrains read = ReadGtfs(feed);
        EXPECT_EQ(read.validFrom, "") << bad;
        EXPECT_TRUE(Noted(read, {"feed_info.txt:2", bad, "not a day"})) << bad;
    }
}

TEST(GtfsImport, TheBuildReportSaysWhatWasLeftOut) {
    timetable::Sources sources;
    timetable::AddGtfsTrains(ReadGtfs(ForeignFeed()), sources, false);
    const std::string report = timetable::BuildTimetable(sources).report.Text();
    for (const char* named : {"BUS", "stops A and B are both named Genève",
                              "Châtel-Saint-Denis-Gare-X (F)", "service WK", "Europe/Zurich",
                              "at one station 5 min, between stations of one city 30 min"}) {
        EXPECT_NE(report.find(named), std::string::npos) << named << "\n" << report;
    }
}

// A railway without stations of one city, whose feed gives places but no distances, one
// number on two trips and changes the timetable has no use for: every train is kept with
// distances from its stops' places, each change is named, and what the build writes loads.
TEST(GtfsImport, AFeedWithoutParentStationsOrDistancesBuildsAndLoads) {
    const GtfsFeed feed = {
        {"stops.txt",
         "stop_id,stop_name,stop_lat,stop_lon\n"
         "N,North,32.0,114.0\nM,Middle,31.0,114.0\nS,South,30.0,114.0\n"},
        {"routes.txt", "route_id,route_short_name,route_type\nR,R,2\n"},
        {"trips.txt",
         "route_id,service_id,trip_id,trip_short_name\nR,D,a,K1\nR,D,b,K2\nR,D,c,K1\n"},
        {"stop_times.txt",
         "trip_id,arrival_time,departure_time,stop_id,stop_sequence\n"
         "a,08:00:00,08:00:00,N,1\na,09:00:00,09:05:00,M,2\na,10:00:00,10:00:00,S,3\n"
         "b,11:00:00,11:00:00,S,1\nb,13:00:00,13:00:00,N,2\n"
         "c,18:00:00,18:00:00,N,1\nc,20:00:00,20:00:00,S,2\n"},
        {"transfers.txt",
         "from_stop_id,to_stop_id,transfer_type,min_transfer_time\n"
         "M,M,2,600\nN,S,2,600\nM,M,1,\n"},
    };
    const GtfsTrains read = ReadGtfs(feed);
    ASSERT_EQ(read.trains.size(), 2u);
    EXPECT_EQ(read.trains[0].number, "K1");
    ASSERT_EQ(read.trains[0].stops.size(), 3u) << "trip a, not c";
    // One degree of a meridian is 111.2 km.
    EXPECT_EQ(read.trains[0].stops[1].km, 111);
    EXPECT_EQ(read.trains[0].stops[2].km, 222);
    EXPECT_EQ(read.trains[1].stops[1].km, 222);
    EXPECT_TRUE(Noted(read, {"2 trips without shape_dist_traveled", "stop_lat, stop_lon"}));
    EXPECT_TRUE(Noted(read, {"K1 on 2 trips: trip a kept", "c left out"}));
    EXPECT_TRUE(Noted(read, {"2 rows of transfers.txt ignored"}));
    EXPECT_EQ(read.groups.size(), 0u);

    timetable::Sources sources;
    timetable::AddGtfsTrains(read, sources, false);
    const timetable::BuildOutput built = timetable::BuildTimetable(sources);
    const std::string report = built.report.Text();
    for (const char* named :
         {"read from the feed: 3 rows of stops.txt, 3 trips, 7 stop times; kept as trains: 2 "
          "trips with 5 stop times",
          "fares: none read from the feed", "2 trains' types taken from the letters"}) {
        EXPECT_NE(report.find(named), std::string::npos) << named << "\n" << report;
    }
    ASSERT_EQ(built.report.trainsBuilt, 2) << report;
    char pattern[] = "/tmp/korvel_gtfs_build_XXXXXX";
    const std::filesystem::path dir = ::mkdtemp(pattern);
    const std::pair<const char*, const std::string*> files[] = {{"SLIST.stream", &built.slist},
                                                                {"STRAIN.stream", &built.strain},
                                                                {"SM.stream", &built.sm},
                                                                {"SPY.stream", &built.spy}};
    for (const auto& [name, bytes] : files) std::ofstream(dir / name) << *bytes;
    std::ofstream(dir / "manifest.txt") << data::FormatManifest(data::ManifestForStreams(
        "t", "2024-01-01", "t", {built.slist, built.strain, built.sm, built.spy}));
    StoredTables tables;
    const FolderLoad load = LoadTimetableFolder(dir.string(), tables);
    EXPECT_TRUE(load.ok && load.verified) << (load.problems.empty() ? "" : load.problems[0]);
    EXPECT_EQ(tables.KMSM.RecordCount(), 0u);
    // Without the builder's word for it, an empty same-city table is a damaged one.
    std::filesystem::remove(dir / "manifest.txt");
    EXPECT_FALSE(LoadTimetableFolder(dir.string(), tables).ok);
    std::filesystem::remove_all(dir);
}

TEST(GtfsImport, NamesThatFitAndPlatformsOfOneStation) {
    GtfsFeed feed = ForeignFeed();
    // Two platforms of one station share its name: one station, not a refusal.
    feed["stops.txt"] += "P1,,Basel SBB,0,BS\nP2,,Basel SBB,0,BS\nBS,,Basel SBB,1,\n";
    feed["stop_times.txt"] += "T1,11:00:00,11:00:00,P2,4,\n";
    const GtfsTrains read = ReadGtfs(feed);
    EXPECT_EQ(read.trains[0].stops.back().station, "Basel SBB");
    EXPECT_FALSE(Noted(read, {"Basel"}));
    // 20 bytes of GBK is the limit: "Genève" is GBK (the pinyin è), 7 bytes.
    feed["stops.txt"] += "L,,Genève-Cornavin-Lacs,0,\n";  // 21 bytes
    feed["stop_times.txt"] += "T1,11:30:00,11:30:00,L,5,\n";
    EXPECT_TRUE(Noted(ReadGtfs(feed), {"Genève-Cornavin-Lacs (L)", "longer than 20 bytes"}));
}

// Each bad value refuses the feed with its file, line and field.
TEST(GtfsImport, ValuesPastWhatAStreamHoldsAreRefused) {
    const struct {
        std::string row, message;
    } cases[] = {
        {"T1,99999999:00:00,99999999:00:00,E,4,",
         "stop_times.txt:13: arrival_time: '99999999:00:00' is past 240:00:00"},
        {"T1,240:00:00,,E,4,", "stop_times.txt:13: arrival_time: '240:00:00' is past 240:00:00"},
        {"T1,10:20:00,10:61:00,E,4,",
         "stop_times.txt:13: departure_time: '10:61:00' is not a time HH:MM:SS"},
        {"T1,10:20:00,10:20:00,E,x,", "stop_times.txt:13: stop_sequence is not a number"},
        {"T1,10:20:00,10:20:00,E,3,", "stop_times.txt: trip IR90: stop_sequence 3 given twice"},
        {"T1,10:20:00,10:20:00,M,4,",
         "stop_times.txt:13: stop_id M is a station (location_type 1)"},
    };
    for (const auto& c : cases) {
        GtfsFeed feed = ForeignFeed();
        feed["stop_times.txt"] += c.row + "\n";
        try {
            ReadGtfs(feed);
            ADD_FAILURE() << c.row << " was accepted";
        } catch (const GtfsError& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
        }
    }
    for (const char* distance : {"inf", "nan", "1e20", "-1", "12km"}) {
        GtfsFeed feed = ForeignFeed();
        feed["stop_times.txt"] =
            "trip_id,arrival_time,departure_time,stop_id,stop_sequence,shape_dist_traveled\n"
            "T1,08:00:00,08:00:00,C,1,0\nT1,09:30:00,09:32:00,E,2," +
            std::string(distance) + "\n";
        try {
            ReadGtfs(feed);
            ADD_FAILURE() << distance << " was accepted";
        } catch (const GtfsError& e) {
            EXPECT_EQ(std::string(e.what()), "stop_times.txt:3: shape_dist_traveled: '" +
                                                 std::string(distance) +
                                                 "' is not a distance from 0 to 100000 km");
        }
    }
}

// Only real degrees are places: an empty, unreadable or out-of-range value is none, and a
// station (location_type 1) gives none to its platforms.
TEST(GtfsImport, StopPlacesAreTakenOnlyWhenBothDegreesAreReal) {
    GtfsFeed feed = ForeignFeed();
    feed["stops.txt"] =
        "stop_id,stop_name,location_type,parent_station,stop_lat,stop_lon\n"
        "A,Genève,0,,46.2102,6.1424\nC,Lausanne,0,,46.5167,abc\nD,Domodossola,0,,95,8.29\n"
        "E,Brig,0,,,7.99\nF,Sion,0,,46.2,7.35\nM,Milano,1,,45.48,9.2\n"
        "M1,Milano Centrale,0,M,,\nM2,Milano Garibaldi,0,M,-45.48,-9.19\n";
    const GtfsTrains read = ReadGtfs(feed);
    ASSERT_EQ(read.places.size(), 3u);
    EXPECT_DOUBLE_EQ(read.places.at("Genève").lat, 46.2102);
    EXPECT_DOUBLE_EQ(read.places.at("Genève").lon, 6.1424);
    EXPECT_DOUBLE_EQ(read.places.at("Milano Garibaldi").lon, -9.19);
    EXPECT_TRUE(read.places.count("Sion"));
    for (const char* none : {"Lausanne", "Domodossola", "Brig", "Milano", "Milano Centrale"})
        EXPECT_FALSE(read.places.count(none)) << none;
}

}  // namespace
}  // namespace korvel::gtfs
