// Invariants of the built timetable streams: the sample always, the real timetable in every
// build that embeds it.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include "data/gbk.h"
#include "data/manifest.h"
#include "data/schema.h"
#include "data/station_coords.h"
#include "data/table_stream.h"

namespace korvel {
namespace {

struct Stop {
    std::string id, station, aTime, dTime, rDate, p1, p2, p3, p4;
    int sNo = 0, distance = 0;
};

int Minutes(const std::string& runTime) {
    const auto colon = runTime.find(':');
    if (colon == std::string::npos) return std::stoi(runTime);
    return std::stoi(runTime.substr(0, colon)) * 60 + std::stoi(runTime.substr(colon + 1));
}

bool LoadTable(const std::string& dir, const char* name, MemTable& table) {
    std::ifstream in(dir + "/" + name + ".stream", std::ios::binary);
    if (!in) return false;
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    TableStreamFormat format;
    LoadFromTableStream(table, bytes, &format);
    return true;
}

class TimetableStreams : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        const std::string which = GetParam();
        const std::string dir = which == "sample" ? KORVEL_SAMPLE_STREAMS : KORVEL_REAL_STREAMS;
        // Only a build made with -DKORVEL_TIMETABLE=sample has no real timetable; in any other
        // build missing streams are a fault of the build.
        if (dir.empty()) GTEST_SKIP() << "no " << which << " timetable in a sample build";
        ASSERT_TRUE(LoadTable(dir, "SLIST", t_.KMList) && LoadTable(dir, "STRAIN", t_.KMTrain) &&
                    LoadTable(dir, "SM", t_.KMSM) && LoadTable(dir, "SPY", t_.KMPy))
            << "timetable streams missing in " << dir;
        t_.KMTrain.SetIndexName("SIDNo");
        for (t_.KMTrain.First(); !t_.KMTrain.Eof(); t_.KMTrain.Next()) {
            auto& k = t_.KMTrain;
            Stop s{k.FieldByName("ID").AsString(),     k.FieldByName("Station").AsString(),
                   k.FieldByName("A_Time").AsString(), k.FieldByName("D_Time").AsString(),
                   k.FieldByName("R_Date").AsString(), k.FieldByName("P1").AsString(),
                   k.FieldByName("P2").AsString(),     k.FieldByName("P3").AsString(),
                   k.FieldByName("P4").AsString()};
            s.sNo = k.FieldByName("S_No").AsInteger();
            s.distance = k.FieldByName("Distance").AsInteger();
            stops_[s.id].push_back(s);
        }
    }
    StoredTables t_;
    std::map<std::string, std::vector<Stop>> stops_;
};

TEST_P(TimetableStreams, TrainListMatchesStops) {
    auto& l = t_.KMList;
    ASSERT_EQ(l.RecordCount(), stops_.size());
    for (l.First(); !l.Eof(); l.Next()) {
        const std::string id = l.FieldByName("ID").AsString();
        SCOPED_TRACE(id);
        ASSERT_TRUE(stops_.count(id));
        const auto& s = stops_[id];
        ASSERT_GE(s.size(), 2u);
        EXPECT_LE(id.size(), 35u);
        EXPECT_EQ(l.FieldByName("StartStation").AsString(), s.front().station);
        EXPECT_EQ(l.FieldByName("A_Time").AsString(), s.front().dTime);
        EXPECT_EQ(l.FieldByName("endStation").AsString(), s.back().station);
        EXPECT_EQ(l.FieldByName("D_Time").AsString(), s.back().aTime);
        EXPECT_EQ(l.FieldByName("R_Date").AsString(), s.back().rDate);
        EXPECT_EQ(l.FieldByName("Distance").AsInteger(), s.back().distance);
        EXPECT_EQ(l.FieldByName("P1").AsString(), s.back().p1);
        EXPECT_EQ(l.FieldByName("P2").AsString(), s.back().p2);
        EXPECT_EQ(l.FieldByName("P3").AsString(), s.back().p3);
        EXPECT_EQ(l.FieldByName("P4").AsString(), s.back().p4);
        const int type = l.FieldByName("NType").AsInteger();
        EXPECT_GE(type, 1);
        EXPECT_LE(type, 14);
    }
}

TEST_P(TimetableStreams, StopsAreConsecutiveAndNeverGoBack) {
    for (const auto& [id, s] : stops_) {
        SCOPED_TRACE(id);
        for (std::size_t i = 0; i < s.size(); ++i) {
            EXPECT_EQ(s[i].sNo, static_cast<int>(i) + 1);
            const bool first = i == 0, last = i + 1 == s.size();
            EXPECT_EQ(s[i].aTime.empty(), first);
            EXPECT_EQ(s[i].dTime.empty(), last);  // exactly one stop without D_Time: the last
            EXPECT_EQ(s[i].p1.empty(), first);
            if (first) {
                EXPECT_EQ(s[i].rDate, "0");
                continue;
            }
            EXPECT_EQ(s[i].aTime.size(), 5u);
            EXPECT_GE(Minutes(s[i].rDate), Minutes(s[i - 1].rDate));
            EXPECT_GE(s[i].distance, s[i - 1].distance);
            // A stop list given twice in the source must not show up as doubled stops.
            EXPECT_NE(s[i].station, s[i - 1].station) << "stop " << i + 1;
        }
    }
}

TEST_P(TimetableStreams, StationsHaveCodesAndBeijingGroup) {
    std::set<std::string> coded;
    std::string firstBj;
    auto& py = t_.KMPy;
    for (py.First(); !py.Eof(); py.Next()) {
        const std::string station = py.FieldByName("Station").AsString();
        const std::string code = py.FieldByName("Shortcode").AsString();
        EXPECT_TRUE(coded.insert(station).second) << GbkToUtf8(station);
        EXPECT_FALSE(code.empty()) << GbkToUtf8(station);
        for (char c : code) EXPECT_TRUE(c >= 'A' && c <= 'Z') << GbkToUtf8(station);
        if (code == "BJ" && firstBj.empty()) firstBj = station;
    }
    EXPECT_EQ(GbkToUtf8(firstBj), "北京");
    for (const auto& [id, s] : stops_) {
        for (const auto& stop : s)
            EXPECT_TRUE(coded.count(stop.station)) << GbkToUtf8(stop.station);
    }

    auto& sm = t_.KMSM;
    sm.SetIndexName("SStation");
    ASSERT_TRUE(sm.Locate("Station", Utf8ToGbk("北京")));
    const int gp = sm.FieldByName("Gp").AsInteger();
    std::set<std::string> beijing;
    std::map<int, int> sizes;
    for (sm.First(); !sm.Eof(); sm.Next()) {
        const int g = sm.FieldByName("Gp").AsInteger();
        ++sizes[g];
        if (g == gp) beijing.insert(GbkToUtf8(sm.FieldByName("Station").AsString()));
        EXPECT_TRUE(coded.count(sm.FieldByName("Station").AsString()));
    }
    // The 2019 crawl has no train at 北京北; every Beijing station a train calls at is grouped.
    for (const char* name : {"北京", "北京北", "北京东", "北京南", "北京西"}) {
        if (std::string(GetParam()) == "sample" || coded.count(Utf8ToGbk(name))) {
            EXPECT_TRUE(beijing.count(name)) << name;
        }
    }
    EXPECT_GE(beijing.size(), 4u);
    for (const auto& [g, n] : sizes) EXPECT_GE(n, 2) << "group " << g;
}

TEST_P(TimetableStreams, KnownTrains) {
    // G1 keeps the source's four stops.
    const auto& g1 = stops_["G1"];
    ASSERT_EQ(g1.size(), 4u);
    const char* names[] = {"北京南", "济南西", "南京南", "上海虹桥"};
    const int km[] = {0, 406, 1023, 1318};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(GbkToUtf8(g1[i].station), names[i]);
        EXPECT_EQ(g1[i].distance, km[i]);
    }
    EXPECT_EQ(g1[0].dTime, "09:00");
    EXPECT_EQ(g1[3].aTime, "13:28");
    EXPECT_EQ(g1[3].rDate, "4:28");
    // Numbers with identical stop lists are one train.
    bool merged = false;
    for (const auto& [id, s] : stops_) merged = merged || id.find('/') != std::string::npos;
    EXPECT_TRUE(merged);
}

// The 2019 build places its stations: nearly all of them, all in China, and the places it
// estimated are marked as such; its manifest vouches for the file, one record a place.
TEST(TimetableReal, StationPlacesCoverTheServedStations) {
    const std::string dir = KORVEL_REAL_STREAMS;
    if (dir.empty()) GTEST_SKIP() << "no real timetable in a sample build";
    std::ifstream in(dir + "/COORDS.stream", std::ios::binary);
    ASSERT_TRUE(in) << "COORDS.stream missing in " << dir;
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const StationCoords coords = ReadCoordsStream(bytes);
    MemTable stops;
    ASSERT_TRUE(LoadTable(dir, "STRAIN", stops));
    std::set<std::string> served;
    for (stops.First(); !stops.Eof(); stops.Next())
        served.insert(stops.FieldByName("Station").AsString());
    int estimated = 0;
    for (const auto& [name, p] : coords) {
        EXPECT_TRUE(served.count(name)) << GbkToUtf8(name) << " is served by no train";
        EXPECT_TRUE(p.lon > 73 && p.lon < 135.1 && p.lat > 18 && p.lat < 53.6)
            << GbkToUtf8(name) << " lies outside China";
        estimated += p.estimated;
    }
    EXPECT_GE(coords.size() * 100, served.size() * 99);
    EXPECT_GT(estimated, 0);
    EXPECT_LT(estimated * 10, static_cast<int>(coords.size()));

    std::ifstream manifestFile(dir + "/manifest.txt", std::ios::binary);
    const data::ManifestParse manifest = data::ParseManifest(std::string(
        (std::istreambuf_iterator<char>(manifestFile)), std::istreambuf_iterator<char>()));
    ASSERT_TRUE(manifest.manifest) << manifest.error;
    const data::ManifestEntry* entry = manifest.manifest->Coords();
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->records, coords.size());
    EXPECT_EQ(entry->sha256, data::Sha256Hex(bytes));
}

TEST(TimetableSample, WorkedExamples) {
    StoredTables t;
    if (!LoadTable(KORVEL_SAMPLE_STREAMS, "SLIST", t.KMList) ||
        !LoadTable(KORVEL_SAMPLE_STREAMS, "STRAIN", t.KMTrain) ||
        !LoadTable(KORVEL_SAMPLE_STREAMS, "SPY", t.KMPy)) {
        GTEST_SKIP() << "sample streams not built";
    }
    auto& l = t.KMList;
    l.SetIndexName("SID");
    ASSERT_TRUE(l.Locate("ID", "Z98/Z95"));
    EXPECT_EQ(l.FieldByName("A_Time").AsString(), "19:59");
    EXPECT_EQ(l.FieldByName("D_Time").AsString(), "09:35");
    EXPECT_EQ(l.FieldByName("R_Date").AsString(), "13:36");
    EXPECT_EQ(l.FieldByName("Distance").AsInteger(), 1497);
    EXPECT_EQ(l.FieldByName("P3").AsString(), "306/317/327");
    ASSERT_TRUE(l.Locate("ID", "1043"));
    EXPECT_EQ(l.FieldByName("NType").AsInteger(), 8);
    EXPECT_EQ(l.FieldByName("R_Date").AsString(), "37:43");
    EXPECT_EQ(l.FieldByName("Distance").AsInteger(), 2810);
    EXPECT_EQ(l.FieldByName("P4").AsString(), "469/492");
    EXPECT_TRUE(l.Locate("ID", "K142/K143/K140"));
    EXPECT_TRUE(l.Locate("ID", "6327/6329"));
    EXPECT_FALSE(l.Locate("ID", "Z95"));

    // The user-defined character F8B3 survives into the stops and the short codes.
    auto& py = t.KMPy;
    py.SetIndexName("StationIndex");
    EXPECT_TRUE(py.Locate("Station", "\xF8\xB3\xD3\xF8"));
    auto& k = t.KMTrain;
    k.SetIndexName("SStation");
    EXPECT_TRUE(k.Locate("Station", "\xF8\xB3\xD3\xF8"));
}

INSTANTIATE_TEST_SUITE_P(Built, TimetableStreams, ::testing::Values("sample", "real"),
                         [](const auto& param) { return std::string(param.param); });

}  // namespace
}  // namespace korvel
