#include "data/memtable.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "data/schema.h"
#include "data/table_stream.h"

namespace korvel {
namespace {

const std::string kTaiyuan = "\xCC\xAB\xD4\xAD";
const std::string kShanghai = "\xC9\xCF\xBA\xA3";

std::vector<std::string> Stop(const std::string& id, const std::string& station, int sno,
                              int distance) {
    return {id, station, std::to_string(sno), "", "", "0", std::to_string(distance), "", "",
            "", ""};
}

// A small stops table whose rows arrive out of order, so that SIDNo has work to do.
std::vector<std::vector<std::string>> StopRows() {
    return {
        Stop("Z99", "B", 2, 50),
        Stop("Z98/Z95", "S3", 3, 900),
        Stop("K1", "A", 1, 0),
        Stop("Z98/Z95", kTaiyuan, 1, 0),
        Stop("Z98/Z95", kShanghai, 4, 1497),
        Stop("Z99", "A", 1, 0),
        Stop("Z98/Z95", "S2", 2, 300),
        Stop("K1", "C", 2, 10),
    };
}

MemTable MakeStops() {
    MemTable t;
    TableStreamFormat f;
    LoadFromTableStream(t, WriteTableStream(KMTrainFields(), KMTrainIndexes(), StopRows()), &f);
    t.SetIndexName("SIDNo");
    return t;
}

TEST(MemTableCursor, FirstLastNextPriorFlags) {
    MemTable t = MakeStops();
    Field& id = t.FieldByName("ID");
    Field& sno = t.FieldByName("S_No");
    t.First();
    EXPECT_TRUE(t.Bof());
    EXPECT_FALSE(t.Eof());
    EXPECT_EQ(id.View(), "K1");
    EXPECT_EQ(sno.AsInteger(), 1);
    t.Prior();  // on the first record: stays, Bof
    EXPECT_TRUE(t.Bof());
    EXPECT_EQ(id.View(), "K1");
    EXPECT_EQ(sno.AsInteger(), 1);

    t.Last();
    EXPECT_TRUE(t.Eof());
    EXPECT_FALSE(t.Bof());
    EXPECT_EQ(id.View(), "Z99");
    EXPECT_EQ(sno.AsInteger(), 2);
    t.Prior();
    EXPECT_FALSE(t.Eof());
    EXPECT_FALSE(t.Bof());
    EXPECT_EQ(sno.AsInteger(), 1);
    t.Next();
    t.Next();  // past the last record: stays, Eof
    EXPECT_TRUE(t.Eof());
    EXPECT_EQ(id.View(), "Z99");
    EXPECT_EQ(sno.AsInteger(), 2);
}

TEST(MemTableCursor, ScansVisitEveryRecordOnceInIndexOrder) {
    MemTable t = MakeStops();
    std::vector<std::string> forward;
    for (t.First(); !t.Eof(); t.Next()) {
        forward.push_back(t.FieldByName("ID").AsString() + "#" + t.FieldByName("S_No").AsString());
    }
    const std::vector<std::string> expected = {"K1#1",      "K1#2",      "Z98/Z95#1", "Z98/Z95#2",
                                               "Z98/Z95#3", "Z98/Z95#4", "Z99#1",     "Z99#2"};
    EXPECT_EQ(forward, expected);
    std::vector<std::string> backward;
    for (t.Last(); !t.Bof(); t.Prior()) {
        backward.push_back(t.FieldByName("ID").AsString() + "#" + t.FieldByName("S_No").AsString());
    }
    EXPECT_EQ(backward, std::vector<std::string>(expected.rbegin(), expected.rend()));
}

TEST(MemTableCursor, EmptyTable) {
    MemTable t;
    TableStreamFormat f;
    LoadFromTableStream(t, WriteTableStream(KMSMFields(), KMSMIndexes(), {}), &f);
    t.First();
    EXPECT_TRUE(t.Bof());
    EXPECT_TRUE(t.Eof());
    t.Last();
    EXPECT_TRUE(t.Bof());
    EXPECT_TRUE(t.Eof());
    EXPECT_EQ(t.FieldByName("Station").View(), "");
    EXPECT_EQ(t.FieldByName("Gp").AsInteger(), 0);
    EXPECT_FALSE(t.Locate("Station", "A"));
}

TEST(MemTableLocate, LandsOnTheTrainsFirstStopAndWalksOn) {
    MemTable t = MakeStops();
    t.First();
    ASSERT_TRUE(t.Locate("ID", "Z98/Z95"));
    EXPECT_FALSE(t.Bof());
    EXPECT_FALSE(t.Eof());
    EXPECT_EQ(t.FieldByName("S_No").AsInteger(), 1);
    EXPECT_EQ(t.FieldByName("Station").View(), kTaiyuan);
    for (int expected : {2, 3, 4}) {
        t.Next();
        EXPECT_EQ(t.FieldByName("ID").View(), "Z98/Z95");
        EXPECT_EQ(t.FieldByName("S_No").AsInteger(), expected);
    }
    EXPECT_EQ(t.FieldByName("Station").View(), kShanghai);
    t.Next();
    EXPECT_EQ(t.FieldByName("ID").View(), "Z99");
    EXPECT_EQ(t.FieldByName("S_No").AsInteger(), 1);
}

TEST(MemTableLocate, NoMatchLeavesCursorAndFlags) {
    MemTable t = MakeStops();
    t.Last();
    t.Next();
    ASSERT_TRUE(t.Eof());
    const auto before = t.CurrentRecord();
    EXPECT_FALSE(t.Locate("ID", "Z98"));  // a prefix is no match
    EXPECT_FALSE(t.Locate("ID", "z99"));  // case matters
    EXPECT_FALSE(t.Locate("S_No", "x"));
    EXPECT_TRUE(t.Eof());
    EXPECT_FALSE(t.Bof());
    EXPECT_EQ(t.CurrentRecord(), before);
    EXPECT_THROW(t.Locate("Nope", "1"), MemTableError);
}

TEST(MemTableLocate, TranslatesToTheCurrentOrder) {
    // Short-code table in load order, searched through StationIndex: a following Next goes on
    // in load order.
    std::vector<std::vector<std::string>> rows;
    for (int i = 0; i < 60; ++i) {
        rows.push_back(
            {"S" + std::to_string(100 - i), std::string(1, static_cast<char>('A' + i % 26))});
    }
    MemTable t;
    TableStreamFormat f;
    LoadFromTableStream(t, WriteTableStream(KMPyFields(), KMPyIndexes(), rows), &f);
    ASSERT_TRUE(t.Locate("station", "S70"));  // load position 30
    EXPECT_EQ(t.CurrentRecord(), 30u);
    EXPECT_EQ(t.CurrentPosition(), 30u);
    t.Next();
    EXPECT_EQ(t.FieldByName("Station").View(), "S69");
    // Integer keys compare numerically and find the first of equal keys in index order.
    MemTable sm;
    LoadFromTableStream(sm,
                        WriteTableStream(KMSMFields(), KMSMIndexes(),
                                         {{"Z", "10"}, {"Y", "9"}, {"X", "10"}, {"W", ""}}),
                        &f);
    sm.SetIndexName("sstation");
    EXPECT_EQ(sm.IndexName(), "SStation");
    ASSERT_TRUE(sm.Locate("Gp", "10"));
    EXPECT_EQ(sm.FieldByName("Station").View(), "Z");  // load order decides among equals
    sm.Next();                                         // continues in SStation order, after Z: end
    EXPECT_TRUE(sm.Eof());
    ASSERT_TRUE(sm.Locate("Gp", ""));
    EXPECT_EQ(sm.FieldByName("Station").View(), "W");
}

TEST(MemTableIndexes, OrdersNullsFirstNumbersNumericTextByBytes) {
    MemTable t;
    TableStreamFormat f;
    LoadFromTableStream(t,
                        WriteTableStream(KMSMFields(), KMSMIndexes(),
                                         {{"\xB1\xB1\xBE\xA9\xCE\xF7", "10"},
                                          {"\xB1\xB1\xBE\xA9", "9"},
                                          {"b", ""},
                                          {"B", "-1"},
                                          {"\xF8\xB3", "100"}}),
                        &f);
    auto ids = [&](const char* index) {
        std::vector<std::uint32_t> v = *t.IndexOrder(index);
        return v;
    };
    EXPECT_EQ(ids("SGp"), (std::vector<std::uint32_t>{2, 3, 1, 0, 4}));
    EXPECT_EQ(ids("SStation"), (std::vector<std::uint32_t>{3, 2, 1, 0, 4}));
    EXPECT_EQ(ids(""), (std::vector<std::uint32_t>{0, 1, 2, 3, 4}));
    EXPECT_EQ(t.IndexOrder("nothing"), nullptr);

    // Selecting an index keeps the cursor on the same record; an unknown name changes nothing.
    t.First();
    t.Next();  // load position 1
    t.SetIndexName("SGp");
    EXPECT_EQ(t.CurrentRecord(), 1u);
    EXPECT_EQ(t.CurrentPosition(), 2u);
    t.SetIndexName("NoSuchIndex");
    EXPECT_EQ(t.IndexName(), "SGp");
    EXPECT_EQ(t.CurrentPosition(), 2u);
    t.SetIndexName("");
    EXPECT_EQ(t.CurrentPosition(), 1u);
}

// A big table's check that it is already in an index's order runs in two halves: one record
// out of place in either half, or right where they meet, still makes it sort.
TEST(MemTableIndexes, BigTablesOutOfOrderAnywhereAreSorted) {
    constexpr int kRecords = 70000;
    for (const int swapped : {-1, 10, kRecords / 2 - 1, kRecords / 2, kRecords - 2}) {
        std::vector<std::vector<std::string>> rows;
        for (int i = 0; i < kRecords; ++i) rows.push_back({"S", std::to_string(i)});
        if (swapped >= 0) std::swap(rows[swapped], rows[swapped + 1]);
        MemTable t;
        TableStreamFormat f;
        LoadFromTableStream(t, WriteTableStream(KMSMFields(), KMSMIndexes(), rows), &f);
        const std::vector<std::uint32_t>& order = *t.IndexOrder("SGp");
        ASSERT_EQ(order.size(), std::size_t{kRecords});
        for (std::uint32_t p = 0; p < order.size(); ++p) {
            const std::uint32_t want = swapped >= 0 && static_cast<int>(p) == swapped       ? p + 1
                                       : swapped >= 0 && static_cast<int>(p) == swapped + 1 ? p - 1
                                                                                            : p;
            ASSERT_EQ(order[p], want) << "swapped at " << swapped;
        }
    }
}

TEST(MemTableFields, LookupIgnoresAsciiCase) {
    MemTable t;
    TableStreamFormat f;
    LoadFromTableStream(
        t, WriteTableStream(KMListFields(), KMListIndexes(), {{"Z98/Z95", "4", "A", "B"}}), &f);
    t.First();
    EXPECT_EQ(t.FieldByName("startStation").Name(), "StartStation");
    EXPECT_EQ(t.FieldByName("startStation").View(), "A");
    EXPECT_EQ(t.FieldByName("a_time").Name(), "A_Time");
    EXPECT_EQ(t.FieldByName("NTYPE").AsString(), "4");
    EXPECT_EQ(t.FieldByName("Distance").AsInteger(), 0);  // null
    EXPECT_EQ(t.FieldByName("Distance").AsString(), "");
    EXPECT_EQ(t.FindField("Nope"), nullptr);
    try {
        t.FieldByName("Nope");
        FAIL();
    } catch (const MemTableError& e) {
        EXPECT_STREQ(e.what(), "Field 'Nope' not found");
    }
    // The start-station index names its field in another case and is still built by it.
    t.SetIndexName("SstartStation");
    EXPECT_EQ(t.IndexName(), "SstartStation");
}

TEST(MemTableFields, HandlesSurviveMovingTheTable) {
    MemTable a = MakeStops();
    MemTable b = std::move(a);
    Field& id = b.FieldByName("ID");
    b.First();
    EXPECT_EQ(id.View(), "K1");
    StoredTables tt;
    tt.KMTrain = std::move(b);
    tt.KMTrain.Last();
    EXPECT_EQ(tt.KMTrain.FieldByName("ID").View(), "Z99");
}

// Tables whose records are made on first use: the same stream loaded at once and deferred.
struct DeferredAndEager {
    explicit DeferredAndEager(std::vector<std::vector<std::string>> rows)
        : stream(std::make_shared<const std::string>(
              WriteTableStream(KMTrainFields(), KMTrainIndexes(), rows))) {}
    MemTable Eager() const {
        MemTable t;
        TableStreamFormat f;
        LoadFromTableStream(t, *stream, &f);
        return t;
    }
    MemTable Deferred() const {
        MemTable t;
        TableStreamFormat f;
        LoadFromTableStream(t, *stream, &f, nullptr, {}, stream);
        return t;
    }
    std::shared_ptr<const std::string> stream;
};

// Every value of every record, by load position, as one text. (Only text fields are read as
// text: an integer read as text is written to its field's buffer, which threads would share.)
std::string AllValues(const MemTable& t) {
    std::string all;
    for (std::uint32_t r = 0; r < t.RecordCount(); ++r) {
        for (const FieldDef& def : t.Fields()) {
            const Field& f = *t.FindField(def.name);
            all += (f.Type() == FieldType::WideString ? std::string(f.ViewAt(r))
                                                      : std::to_string(f.IntegerAt(r))) +
                   (f.IsNullAt(r) ? "~;" : ";");
        }
    }
    return all;
}

// The cursor's walk in the current order, as one text.
std::string Walk(MemTable& t) {
    std::string walk;
    for (; !t.Eof(); t.Next()) {
        walk += std::to_string(t.CurrentRecord()) + ":" + t.FieldByName("ID").AsString() + "#" +
                std::to_string(t.FieldByName("S_No").AsInteger()) + ";";
    }
    return walk;
}

// Whatever reads a record finds what a table loaded at once holds, and until then the table
// answers from its definitions and count without making the records.
TEST(MemTableDeferred, ReadsAsIfLoadedAtOnce) {
    const DeferredAndEager tables(StopRows());
    {
        MemTable d = tables.Deferred();
        const MemTable e = tables.Eager();
        const std::uint64_t generation = d.Generation();
        EXPECT_TRUE(d.RecordsDeferred());
        EXPECT_EQ(d.RecordCount(), e.RecordCount());
        EXPECT_EQ(d.Fields().size(), e.Fields().size());
        EXPECT_NE(d.FindField("S_No"), nullptr);
        d.Last();
        d.SetIndexName("SIDNo");  // noted: the cursor stays on the last record loaded
        EXPECT_EQ(d.IndexName(), "SIDNo");
        EXPECT_TRUE(d.Eof());
        EXPECT_TRUE(d.RecordsDeferred());
        EXPECT_EQ(d.CurrentRecord(), e.RecordCount() - 1);  // made here
        EXPECT_FALSE(d.RecordsDeferred());
        EXPECT_EQ(d.Generation(), generation);
        EXPECT_EQ(AllValues(d), AllValues(e));
    }
    // Each way in makes the records, and gives what the eager table gives.
    const std::vector<std::pair<std::string, std::function<std::string(MemTable&)>>> readers = {
        {"values", [](MemTable& t) { return AllValues(t); }},
        {"cursor in load order", [](MemTable& t) { return Walk(t); }},
        {"cursor in an index chosen first",
         [](MemTable& t) {
             t.SetIndexName("SIDNo");
             t.First();
             return Walk(t);
         }},
        {"index chosen twice, cursor kept",
         [](MemTable& t) {
             t.SetIndexName("SStation");
             t.SetIndexName("SIDNo");
             return std::to_string(t.CurrentRecord()) + "@" + std::to_string(t.CurrentPosition());
         }},
        {"next after choosing",
         [](MemTable& t) {
             t.SetIndexName("SStation");
             t.Next();
             return Walk(t);
         }},
        {"locate",
         [](MemTable& t) {
             t.SetIndexName("SIDNo");
             return std::to_string(t.Locate("ID", "Z98/Z95")) + Walk(t);
         }},
        {"orders",
         [](MemTable& t) {
             std::string s;
             for (const char* index : {"", "SIDNo", "SStation"})
                 for (const std::uint32_t r : *t.IndexOrder(index)) s += std::to_string(r) + ",";
             for (const std::uint32_t r : *t.SearchOrder("ID")) s += std::to_string(r) + ";";
             return s;
         }},
    };
    for (const auto& [what, read] : readers) {
        SCOPED_TRACE(what);
        MemTable d = tables.Deferred();
        MemTable e = tables.Eager();
        EXPECT_EQ(read(d), read(e));
        EXPECT_FALSE(d.RecordsDeferred());
    }
    // Appending to it makes its records first, then adds the new one behind them.
    MemTable d = tables.Deferred();
    d.Append();
    d.SetText(0, "Z100");
    d.Post();
    EXPECT_EQ(d.RecordCount(), tables.Eager().RecordCount() + 1);
    EXPECT_EQ(d.FieldByName("ID").ViewAt(d.RecordCount() - 1), "Z100");
    EXPECT_EQ(d.FieldByName("ID").ViewAt(0), "Z99");
}

// Readers on several threads that each need the records: they are made once, and every reader
// sees all of them (the test that ThreadSanitizer watches).
TEST(MemTableDeferred, MadeOnceForReadersOnSeveralThreads) {
    std::vector<std::vector<std::string>> rows;
    for (int i = 0; i < 3000; ++i) rows.push_back(Stop("T" + std::to_string(i % 97), "S", i, i));
    const DeferredAndEager tables(rows);
    const std::string want = AllValues(tables.Eager());
    const MemTable d = tables.Deferred();
    std::string seen[4];
    {
        std::vector<std::jthread> readers;
        for (std::string& s : seen) readers.emplace_back([&d, &s] { s = AllValues(d); });
    }
    for (const std::string& s : seen) EXPECT_TRUE(s == want);
}

}  // namespace
}  // namespace korvel
