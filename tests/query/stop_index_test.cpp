// The indexed direct and station queries give exactly the rows of the plain scans.
#include "query/stop_index.h"

#include <gtest/gtest.h>

#include <random>

#include "network.h"
#include "query/queries.h"
#include "support/row_texts.h"

namespace korvel {
namespace {

using test::G;

std::string Dump(const ResultList& rows) {
    return test::DumpRows(rows);
}

// Random trains over 40 stations (some grouped), with revisited stations, termini that keep
// a departure time, middle stops without one, trains missing from the list and an empty
// station name.
void BuildRandom(StoredTables& t, unsigned seed) {
    std::mt19937 rng(seed);
    test::TimetableBuilder b;
    auto name = [](unsigned i) { return "站" + std::to_string(i); };
    b.Group(1, {name(1), name(2), name(3)}).Group(2, {name(4), name(5)}).Group(3, {name(6)});
    for (int tr = 0; tr < 300; ++tr) {
        const int n = 2 + static_cast<int>(rng() % 12);
        std::vector<test::Stop> stops;
        for (int k = 0; k < n; ++k) {
            test::Stop s;
            s.station = rng() % 50 == 0 ? "" : name(rng() % 40);
            s.arrive = k ? "10:00" : "";
            s.depart = (k + 1 < n) == (rng() % 15 != 0) ? "10:05" : "";
            s.rdate = k ? std::to_string(k) + ":" + std::to_string(rng() % 60) : "0";
            s.km = k * 37;
            if (k) {
                s.p1 = std::to_string(k * 3);
                s.p2 = rng() % 2 ? "-" : std::to_string(k * 5);
                s.p3 = "-";
                s.p4 = rng() % 2 ? "-" : std::to_string(k * 9) + "/" + std::to_string(k * 10);
            }
            stops.push_back(s);
        }
        const std::string id = (tr % 3 ? "K" : "D") + std::to_string(tr);
        if (rng() % 40 == 0) {
            b.StopsOnly(id, stops);
        } else {
            b.Train(id, 1 + static_cast<int>(rng() % 14), stops);
        }
    }
    b.BuildInto(t);
}

TEST(StopIndexTest, SameRowsAsThePlainScans) {
    for (unsigned seed : {1u, 2u, 3u}) {
        StoredTables t;
        BuildRandom(t, seed);
        const StopIndex index(t);
        ASSERT_TRUE(index.Covers(t));
        StationSide f1, f2;
        StationSide d1, d2;
        ResultList plain, fast;
        std::size_t direct = 0, station = 0;
        std::vector<std::string> names = {"", " 站1", "站99"};
        for (int i = 0; i < 40; ++i) names.push_back(G("站" + std::to_string(i)));
        for (const std::string& a : names) {
            QueryStationTimetable(t, a, f1, d1, plain);
            QueryStationTimetable(t, a, f2, d2, fast, &index);
            ASSERT_EQ(Dump(plain), Dump(fast)) << seed << " station " << a;
            station += plain.size();
            for (const std::string& b : names) {
                SearchDirectTrains(t, a, b, f1, d1, plain);
                SearchDirectTrains(t, a, b, f2, d2, fast, &index);
                ASSERT_EQ(Dump(plain), Dump(fast)) << seed << " " << a << " to " << b;
                direct += plain.size();
            }
        }
        // The comparison means something only when the queries find trains.
        EXPECT_GT(station, 500u);
        EXPECT_GT(direct, 2000u);
    }
}

TEST(StopIndexTest, NetworkExamplesThroughTheIndex) {
    StoredTables t;
    test::BuildNetwork(t);
    const StopIndex index(t);
    StationSide from;
    StationSide to;
    ResultList rows;
    QueryStationTimetable(t, G("赤峰"), from, to, rows, &index);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(test::Texts(rows, 0).boardStopNo, 14);
    SearchDirectTrains(t, G("北京"), G("上海"), from, to, rows, &index);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(test::Texts(rows, 0).alightStopNo, 5);
    EXPECT_EQ(index.StationId(G("不存在")), StopIndex::kNoStation);
}

TEST(StopIndexTest, AnIndexOfOtherTablesIsIgnored) {
    StoredTables a;
    test::BuildNetwork(a);
    StoredTables b;
    test::BuildTransferNetwork(b);
    const StopIndex index(b);
    EXPECT_FALSE(index.Covers(a));
    StationSide from;
    StationSide to;
    ResultList rows;
    SearchDirectTrains(a, G("北京"), G("上海"), from, to, rows, &index);
    EXPECT_EQ(rows.size(), 1u);
}

}  // namespace
}  // namespace korvel
