// Distances repaired from the network: the consensus between consecutive stations, trains
// mended from it, and the share of the source's trains the direct query finds afterwards.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <random>

#include "data/clock.h"
#include "data/gbk.h"
#include "data/table_stream.h"
#include "query/queries.h"
#include "timetable/builder.h"

namespace korvel::timetable {
namespace {

// One line A-B-C-D-E-F served by three sound trains; the stops of a fourth are given by the
// test. Times: an hour between stations.
std::string LineCsv(const std::string& brokenKms) {
    std::string csv = "tid,sno,sname,arrv_time,depart_time,day,mileage\n";
    const char* names[] = {"A", "B", "C", "D", "E", "F"};
    const int km[] = {0, 40, 95, 130, 200, 260};
    for (int t = 0; t < 3; ++t) {
        for (int i = 0; i < 6; ++i) {
            char row[128];
            std::snprintf(row, sizeof row, "K%d,%d,%s,%s,%s,1,%d\n", 100 + t, i + 1, names[i],
                          i == 0 ? "-99:00" : ClockText((t + i + 6) * 60).c_str(),
                          i == 5 ? "-99:00" : ClockText((t + i + 6) * 60 + 2).c_str(), km[i]);
            csv += row;
        }
    }
    std::size_t start = 0;
    for (int i = 0; i < 6; ++i) {
        const std::size_t comma = brokenKms.find(',', start);
        const std::string value = brokenKms.substr(start, comma - start);
        start = comma + 1;
        char row[128];
        std::snprintf(row, sizeof row, "K605,%d,%s,%s,%s,1,%s\n", i + 1, names[i],
                      i == 0 ? "-99:00" : ClockText((i + 12) * 60).c_str(),
                      i == 5 ? "-99:00" : ClockText((i + 12) * 60 + 3).c_str(), value.c_str());
        csv += row;
    }
    return csv;
}

std::map<std::string, std::map<std::string, int>> CleanAll(const std::string& csv,
                                                           BuildReport& report) {
    const auto merged = MergeIdenticalTrains(ParseStopsCsv(csv, report), report);
    const DistanceConsensus network = BuildConsensus(merged);
    std::map<std::string, std::map<std::string, int>> kms;
    for (const MergedTrain& m : merged) {
        const CleanedStops cleaned = CleanStops(m.stops, 220, &network);
        if (!cleaned.stops) continue;
        for (const CleanStop& s : *cleaned.stops) kms[m.numbers.front()][s.station] = s.km;
        if (!cleaned.repaired.empty()) ++report.repairs[cleaned.repaired];
    }
    return kms;
}

TEST(TimetableNetwork, ConsensusIsWhatMostTrainsGive) {
    DistanceConsensus n;
    for (int km : {100, 101, 100, 150}) n.Add("A", "B", km);
    n.Add("B", "C", 30);                                  // one train only
    for (int km : {10, 10, 40, 40}) n.Add("C", "D", km);  // no majority
    n.Add("D", "E", -1);
    n.Add("D", "E", 0);
    n.Finish();
    EXPECT_EQ(n.Between("A", "B"), 100);
    EXPECT_EQ(n.Between("B", "A"), 100);  // either direction
    EXPECT_FALSE(n.Between("B", "C"));
    EXPECT_FALSE(n.Between("C", "D"));
    EXPECT_FALSE(n.Between("D", "E"));
    EXPECT_EQ(n.Pairs(), 1u);
    EXPECT_TRUE(NearConsensus(105, 100));
    EXPECT_FALSE(NearConsensus(106, 100));
    EXPECT_TRUE(NearConsensus(4, 3));  // a kilometre of rounding on short hops
}

TEST(TimetableNetwork, RepairedTrainMatchesItsNeighboursOnTheLine) {
    // Unknown distances at two stops and a count that starts again after D: beyond any
    // one-stop repair, but every segment is known from the other trains.
    for (const char* broken :
         {"-1,-1,95,-1,70,130", "0,40,9999,130,-1,260", "-1,-1,-1,-1,-1,260"}) {
        BuildReport report;
        const auto kms = CleanAll(LineCsv(broken), report);
        ASSERT_TRUE(kms.count("K605")) << broken;
        EXPECT_EQ(kms.at("K605"), kms.at("K100")) << broken;
        EXPECT_EQ(report.repairs["distances from the network"], 1) << broken;
    }
}

TEST(TimetableNetwork, WithoutTheNetworkTimeSharesTheGap) {
    // Nobody else runs here: two unknown stops are placed by running time between the
    // known ends.
    std::vector<std::string> names = {"P", "Q", "R", "S"};
    const std::vector<int> arr = {600, 660, 720, 840}, dep = {600, 660, 720, 840};
    DistanceConsensus empty;
    empty.Finish();
    const auto km = RepairFromNetwork(names, arr, dep, {0, -1, -1, 240}, empty, 220);
    ASSERT_TRUE(km.km) << km.reason;
    EXPECT_EQ(*km.km, (std::vector<int>{0, 60, 120, 240}));
    // An unknown terminus with nothing to go by cannot be placed.
    const auto end = RepairFromNetwork(names, arr, dep, {0, 60, 120, -1}, empty, 220);
    EXPECT_FALSE(end.km);
    EXPECT_EQ(end.reason, "no distance after the last known stop");
    // The network's segments take precedence where they exist, scaled to the kept stops.
    DistanceConsensus n;
    for (int i = 0; i < 2; ++i) {
        n.Add("P", "Q", 100);
        n.Add("Q", "R", 100);
        n.Add("R", "S", 100);
    }
    n.Finish();
    const auto scaled = RepairFromNetwork(names, arr, dep, {0, -1, 500, 306}, n, 220);
    ASSERT_TRUE(scaled.km) << scaled.reason;
    EXPECT_EQ(*scaled.km, (std::vector<int>{0, 102, 204, 306}));
}

TEST(TimetableNetwork, DroppedTrainsAreReportedWithExamples) {
    Sources s;
    s.stopsCsv = LineCsv("0,40,95,130,200,260") +
                 "X1,1,M,-99:00,10:00,1,0\nX1,2,N,11:00,11:02,1,90\nX1,3,O,12:00,-99:00,1,-1\n"
                 "X2,1,M,-99:00,09:00,1,0\nX2,2,O,11:00,-99:00,1,-1\n";
    const BuildOutput out = BuildTimetable(s);
    EXPECT_EQ(out.report.trainsBuilt, 4);
    EXPECT_EQ(out.report.drops.at("unknown distances"), 2);
    EXPECT_EQ(out.report.dropExamples.at("unknown distances"),
              (std::vector<std::string>{"X1", "X2"}));
    EXPECT_NE(out.report.Text().find("unknown distances: 2 (X1, X2)"), std::string::npos)
        << out.report.Text();
}

// --- the real timetable (every build but a sample one) ----------------------------------------

bool ReadAll(const std::string& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

TEST(TimetableNetwork, BuildKeepsTheTrainsAndTheDirectQueryFindsThem) {
    const std::string dir = KORVEL_REAL_STREAMS;
    std::string csv;
    StoredTables t;
    const char* names[] = {"SLIST", "STRAIN", "SM", "SPY"};
    MemTable* tables[] = {&t.KMList, &t.KMTrain, &t.KMSM, &t.KMPy};
    if (dir.empty()) GTEST_SKIP() << "no real timetable in a sample build";
    ASSERT_TRUE(ReadAll(std::string(KORVEL_DATA_DIR) + "/timetable-2019/stops.csv", csv));
    for (int i = 0; i < 4; ++i) {
        std::string bytes;
        ASSERT_TRUE(ReadAll(dir + "/" + names[i] + ".stream", bytes));
        TableStreamFormat format;
        LoadFromTableStream(*tables[i], bytes, &format);
    }
    t.KMList.SetIndexName("SID");
    t.KMTrain.SetIndexName("SIDNo");
    t.KMSM.SetIndexName("SStation");
    const StopIndex index(t);

    // The builder keeps 99 % of the distinct trains, and no repaired distance strays more
    // than 5 % from what the network gives.
    Sources sources;
    sources.stopsCsv = csv;
    const BuildReport built = BuildTimetable(sources).report;
    EXPECT_GE(built.trainsBuilt * 100, built.distinctTrains * 99) << built.Text();
    EXPECT_EQ(built.repairedSegmentsOff, 0) << built.Text();

    BuildReport report;
    const auto source = ParseStopsCsv(csv, report);
    std::mt19937 random(2019);
    int asked = 0, found = 0;
    std::vector<std::string> missing;
    while (asked < 1000) {
        const SourceTrain& train = source[random() % source.size()];
        if (train.stops.size() < 2) continue;
        std::size_t i = random() % train.stops.size(), j = random() % train.stops.size();
        if (i == j) continue;
        if (i > j) std::swap(i, j);
        const std::string from = Utf8ToGbk(train.stops[i].station);
        const std::string to = Utf8ToGbk(train.stops[j].station);
        if (from == to) continue;
        ++asked;
        StationSide fromSide;
        StationSide toSide;
        ResultList rows;
        SearchDirectTrains(t, from, to, fromSide, toSide, rows, &index);
        bool hit = false;
        for (const ResultRow& r : rows) {
            const std::string id = "/" + rows.timetable->Number(r.train) + "/";
            hit = hit || id.find("/" + train.number + "/") != std::string::npos;
        }
        if (hit) {
            ++found;
        } else if (missing.size() < 10) {
            missing.push_back(train.number);
        }
    }
    const double share = 100.0 * found / asked;
    std::string examples;
    for (const auto& m : missing) examples += m + " ";
    RecordProperty("direct_query_coverage_percent", std::to_string(share));
    std::printf("direct query finds %d of %d source trains (%.1f %%); missing e.g. %s\n", found,
                asked, share, examples.c_str());
    EXPECT_GE(share, 98.0) << "missing e.g. " << examples;
}

}  // namespace
}  // namespace korvel::timetable
