// On the program's own embedded timetable (the full 2019 one when it is built): the queries
// give the same rows, row for row and in the same order, over many stations and station
// pairs, through the index the program shares and through a second one built apart from it;
// the transfer query also without an index, which keeps its legs as rows. (A query without an
// index builds a typed timetable of its own; doing that for every pair made this test take
// many minutes under the sanitizers.)
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "app/loaders.h"
#include "data/gbk.h"
#include "query/queries.h"
#include "query/stop_index.h"
#include "resources/resources.h"
#include "support/row_texts.h"

namespace korvel {
namespace {

// Every field of every row, so that any difference shows up in the failure message.
std::string Dump(const ResultList& rows) {
    return test::DumpRows(rows);
}

class EmbeddedTimetable : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        tables_ = new StoredTables;
        LoadTimetableFromBlobs(*tables_, [](std::string_view name) { return ReadBlob(name); });
        index_ = new StopIndex(*tables_);
        own_ = new StopIndex(*tables_);

        // Every station that trains stop at, in first-seen order, then a spread of them.
        Field& station = tables_->KMTrain.FieldByName("Station");
        std::set<std::string> seen;
        for (std::uint32_t pos = 0; pos < index_->Size(); ++pos) {
            std::string name(station.ViewAt(index_->Record(pos)));
            if (seen.insert(name).second) stations_.push_back(std::move(name));
        }
        // Grouped stations and the big junctions, where the same-city rules matter most.
        Field& grouped = tables_->KMSM.FieldByName("Station");
        for (std::uint32_t r = 0; r < tables_->KMSM.RecordCount() && r < 16; ++r) {
            spread_.emplace_back(grouped.ViewAt(r));
        }
        for (const char* name : {"北京", "上海", "广州", "武汉", "乌鲁木齐", "北京西", "郑州"}) {
            spread_.push_back(Utf8ToGbk(name));
        }
        const std::size_t step = std::max<std::size_t>(1, stations_.size() / 30);
        for (std::size_t i = 0; i < stations_.size(); i += step) spread_.push_back(stations_[i]);
    }
    static void TearDownTestSuite() {
        delete own_;
        delete index_;
        delete tables_;
        own_ = nullptr;
        index_ = nullptr;
        tables_ = nullptr;
    }

    static StoredTables* tables_;
    static StopIndex* index_;
    static StopIndex* own_;
    static std::vector<std::string> stations_;
    static std::vector<std::string> spread_;
};

StoredTables* EmbeddedTimetable::tables_ = nullptr;
StopIndex* EmbeddedTimetable::index_ = nullptr;
StopIndex* EmbeddedTimetable::own_ = nullptr;
std::vector<std::string> EmbeddedTimetable::stations_;
std::vector<std::string> EmbeddedTimetable::spread_;

TEST_F(EmbeddedTimetable, IndexCoversTheLoadedStops) {
    ASSERT_GT(tables_->KMTrain.RecordCount(), 0u);
    EXPECT_TRUE(index_->Covers(*tables_));
    EXPECT_EQ(index_->Size(), tables_->KMTrain.RecordCount());
    EXPECT_EQ(index_->StationCount(), stations_.size());
}

TEST_F(EmbeddedTimetable, DirectQueriesGiveTheScansRows) {
    std::size_t pairs = 0, rows = 0;
    for (const std::string& from : spread_) {
        for (const std::string& to : spread_) {
            StationSide fs1, fs2;
            StationSide ts1, ts2;
            ResultList scan, fast;
            SearchDirectTrains(*tables_, from, to, fs1, ts1, scan, own_);
            SearchDirectTrains(*tables_, from, to, fs2, ts2, fast, index_);
            ASSERT_EQ(Dump(scan), Dump(fast)) << GbkToUtf8(from) << " -> " << GbkToUtf8(to);
            EXPECT_EQ(fs1.Members, fs2.Members);
            EXPECT_EQ(ts1.Members, ts2.Members);
            ++pairs;
            rows += scan.size();
        }
    }
    // The spread must actually exercise trains, not only empty answers.
    EXPECT_GT(rows, pairs / 20) << pairs << " pairs";
}

TEST_F(EmbeddedTimetable, StationTimetablesGiveTheScansRows) {
    // Every station that has a train, stepping through the list, plus the spread.
    std::vector<std::string> names = spread_;
    const std::size_t step = std::max<std::size_t>(1, stations_.size() / 400);
    for (std::size_t i = 0; i < stations_.size(); i += step) names.push_back(stations_[i]);
    names.push_back(Utf8ToGbk("无此站"));
    std::size_t rows = 0;
    for (const std::string& name : names) {
        StationSide fs1, fs2;
        StationSide ts1, ts2;
        ResultList scan, fast;
        QueryStationTimetable(*tables_, name, fs1, ts1, scan, own_);
        QueryStationTimetable(*tables_, name, fs2, ts2, fast, index_);
        ASSERT_EQ(Dump(scan), Dump(fast)) << GbkToUtf8(name);
        rows += scan.size();
    }
    EXPECT_GT(rows, names.size());
}

std::string DumpCandidates(const TransferData& data) {
    std::string s;
    for (const TransferCandidate& z : data.TransferList) {
        s += data.timetable->Name(z.station) + "|" + std::to_string(z.Dist1) + "|" +
             std::to_string(z.Dist2) + "|" + std::to_string(z.DistAll) + "|" +
             std::to_string(z.Time1) + "|" + std::to_string(z.Time2) + "|" +
             std::to_string(z.Count1) + "|" + std::to_string(z.Count2) + "\n";
    }
    return s;
}

TEST_F(EmbeddedTimetable, TransferQueriesGiveTheWalksCandidatesAndLegs) {
    // Pairs of the spread (grouped and plain stations, the same group on both sides), the
    // candidate stations of each, and the legs through the first candidates and a thinning
    // sample of the rest.
    std::size_t pairs = 0, candidates = 0, legs = 0;
    for (std::size_t i = 0; i < spread_.size(); i += 3) {
        for (std::size_t j = 1; j < spread_.size(); j += 4) {
            const std::string& from = spread_[i];
            const std::string& to = spread_[j];
            StationSide fs1, fs2;
            StationSide ts1, ts2;
            TransferData walk, fast;
            TransferQuery(*tables_, from, to, fs1, ts1, walk, nullptr);
            TransferQuery(*tables_, from, to, fs2, ts2, fast, index_);
            ASSERT_EQ(DumpCandidates(walk), DumpCandidates(fast))
                << GbkToUtf8(from) << " -> " << GbkToUtf8(to);
            ASSERT_EQ(walk.FromStops.size(), fast.FromStops.size());
            ASSERT_EQ(walk.ToStops.size(), fast.ToStops.size());
            ++pairs;
            const std::vector<TransferCandidate> shown = TransferCandidates(walk, fs1, ts1);
            for (std::size_t k = 0; k < shown.size(); k += 1 + k / 8) {
                const TransferCandidate& z = shown[k];
                const std::string& station = walk.timetable->Name(z.station);
                ResultList a, b;
                std::string sa, sb;
                ShowTransferLegs(*tables_, walk, station, z.Count1, z.Count2, a, sa);
                ShowTransferLegs(*tables_, fast, station, z.Count1, z.Count2, b, sb);
                ASSERT_EQ(Dump(a), Dump(b))
                    << GbkToUtf8(from) << " -> " << GbkToUtf8(to) << " via " << GbkToUtf8(station);
                EXPECT_EQ(sa, sb);
                ++candidates;
                legs += a.size();
            }
        }
    }
    EXPECT_GT(candidates, pairs);
    EXPECT_GT(legs, candidates);
}

// The train-number query against a plain reading of the train list: the trains whose
// number is the key or starts with the key and "/", in train-number order.
TEST_F(EmbeddedTimetable, TrainNumberQueriesFindExactlyTheMatchingTrains) {
    MemTable& list = tables_->KMList;
    const std::vector<std::uint32_t>* order = list.IndexOrder("SID");
    ASSERT_NE(order, nullptr);
    Field& id = list.FieldByName("ID");
    std::vector<std::string> ids;
    for (std::uint32_t rec : *order) ids.emplace_back(id.ViewAt(rec));

    std::vector<std::string> keys = {"", "/", "ZZZZ", "G", "g1", " G1 "};
    const std::size_t step = std::max<std::size_t>(1, ids.size() / 300);
    for (std::size_t i = 0; i < ids.size(); i += step) {
        keys.push_back(ids[i]);
        keys.push_back(ids[i].substr(0, ids[i].find('/')));
        keys.push_back(ids[i].substr(0, ids[i].size() / 2));
    }
    for (const std::string& raw : keys) {
        std::string key(TrimControl(raw));
        key = AsciiUpper(key);
        std::vector<std::string> expected;
        for (const std::string& v : ids) {
            if (v == key || v.rfind(key + "/", 0) == 0) expected.push_back(v);
        }
        ResultList out;
        QueryByTrainNumber(*tables_, raw, out, index_);
        std::vector<std::string> got;
        for (const ResultRow& r : out) got.push_back(index_->Typed().Number(r.train));
        ASSERT_EQ(got, expected) << "key '" << raw << "'";
        for (const ResultRow& r : out) {
            const std::string& no = index_->Typed().Number(r.train);
            EXPECT_EQ(r.toStopNo, FindLastStopNumber(index_->Typed(), no)) << no;
        }
    }
}

}  // namespace
}  // namespace korvel
