// The table stream reader with a helper splits the records at a line break and reads the
// halves on two threads. Here every such load is compared with one thread reading the whole
// stream: the records, every value, every index, the error text (with its line number) and
// where the reader stopped, over the embedded and the sample timetable and over generated
// streams split at every byte. Labelled "threads" for the ThreadSanitizer build.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "app/loaders.h"
#include "data/schema.h"
#include "data/table_stream.h"
#include "resources/resources.h"

namespace korvel {
namespace {

// Everything a reader of the table can see, as text.
struct Snapshot {
    std::vector<std::string> fields;
    std::vector<std::vector<std::string>> columns;   // per field: one value per record
    std::vector<std::vector<std::uint32_t>> orders;  // per index, then load order
    std::uint32_t records = 0;
    std::string error;
    std::size_t position = 0;
    std::size_t lineNumber = 0;
    bool operator==(const Snapshot&) const = default;
};

void PrintTo(const Snapshot& s, std::ostream* os) {
    *os << s.records << " records, error '" << s.error << "', position " << s.position << ", line "
        << s.lineNumber;
    for (const auto& column : s.columns) {
        *os << "\n ";
        for (const std::string& v : column) *os << " [" << v << "]";
    }
}

Snapshot Take(MemTable& t, const TableStreamFormat& f, std::string error, bool orders = true) {
    Snapshot s;
    s.error = std::move(error);
    s.position = f.position;
    s.lineNumber = f.lineNumber;
    s.records = t.RecordCount();
    for (const FieldDef& def : t.Fields()) {
        s.fields.push_back(def.name + "/" + def.label + "/" + std::to_string(int(def.type)));
        Field& field = t.FieldByName(def.name);
        std::vector<std::string> values;
        for (std::uint32_t r = 0; r < s.records; ++r) {
            // Null and value both count: "n" for a null integer, "v..." otherwise.
            const bool isNull = def.type != FieldType::WideString && field.ViewAt(r).empty();
            values.push_back(isNull ? "n" : "v" + std::string(field.ViewAt(r)));
        }
        s.columns.push_back(std::move(values));
    }
    if (s.error.empty() && orders) {
        for (const IndexDef& index : t.Indexes())
            s.orders.push_back(*t.IndexOrder(index.indexName));
        s.orders.push_back(*t.IndexOrder(""));
    }
    return s;
}

// One thread reading everything.
Snapshot LoadWhole(std::string_view stream, std::size_t maxLine = 1u << 20) {
    MemTable t;
    TableStreamFormat f;
    f.maxLineBytes = maxLine;
    std::string error;
    try {
        LoadFromTableStream(t, stream, &f);
    } catch (const TableStreamError& e) {
        error = e.what();
    }
    return Take(t, f, error);
}

// Split at the first line break at or after `at` (0: the middle); the second half read by a
// helper thread, or by the loading thread itself when `served` is false; a third piece taken
// over from the first line break at or after `takeOverAt`, when not 0. With `deferred` the
// table makes its records only when the snapshot reads them.
Snapshot LoadSplit(std::string_view stream, std::size_t at, bool served,
                   std::size_t maxLine = 1u << 20, std::size_t takeOverAt = 0,
                   bool deferred = false) {
    TableStreamHelper helper;
    helper.minSplitBytes = 0;
    helper.splitAt = at;
    helper.takeOverAt = takeOverAt;
    std::thread helping;
    if (served) helping = std::thread([&] { helper.Serve(); });
    MemTable t;
    TableStreamFormat f;
    f.maxLineBytes = maxLine;
    std::string error;
    // The stream outlives the table here: a pointer that owns nothing keeps it.
    const std::shared_ptr<const void> owner(std::shared_ptr<const void>(), stream.data());
    try {
        LoadFromTableStream(t, stream, &f, &helper, {}, deferred ? owner : nullptr);
    } catch (const TableStreamError& e) {
        error = e.what();
    }
    helper.Close();
    if (helping.joinable()) helping.join();
    return Take(t, f, error);
}

// What a load that defers its records leaves: the same, but no records when it failed.
Snapshot Deferred(Snapshot whole) {
    if (whole.error.empty()) return whole;
    whole.records = 0;
    for (auto& column : whole.columns) column.clear();
    return whole;
}

std::string BlobText(std::string_view name) {
    const std::vector<unsigned char> bytes = ReadBlob(name);
    return std::string(bytes.begin(), bytes.end());
}

TEST(SplitLoadEquality, EmbeddedTimetableTablesSplitAnywhereEqualOneThread) {
    for (const char* blob : {"STrain", "SList", "SPY", "SM"}) {
        const std::string text = BlobText(blob);
        const Snapshot whole = LoadWhole(text);
        ASSERT_TRUE(whole.error.empty()) << blob << ": " << whole.error;
        EXPECT_EQ(LoadSplit(text, 0, true), whole) << blob;
        EXPECT_EQ(LoadSplit(text, 0, false), whole) << blob;
        EXPECT_EQ(LoadSplit(text, 0, true, 1u << 20, 0, true), whole) << blob;
        // Near the start and in the last line.
        EXPECT_EQ(LoadSplit(text, 1, true), whole) << blob;
        EXPECT_EQ(LoadSplit(text, text.size() - 3, true), whole) << blob;
    }
}

TEST(SplitLoadEquality, SampleTimetableStreamsEqualOneThread) {
    const std::string dir = KORVEL_SAMPLE_STREAMS;
    if (dir.empty()) GTEST_SKIP() << "the build made no sample timetable";
    for (const char* name : {"STRAIN", "SLIST", "SPY", "SM"}) {
        std::ifstream in(dir + "/" + name + ".stream", std::ios::binary);
        ASSERT_TRUE(in) << name;
        const std::string text((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
        const Snapshot whole = LoadWhole(text);
        for (std::size_t at = 1; at < text.size(); at += text.size() / 7 + 1) {
            ASSERT_EQ(LoadSplit(text, at, true), whole) << name << " split at " << at;
        }
    }
}

// The program's loaders (both threads, the stop table read in halves) against one thread,
// on the embedded timetable with its stop table replaced by one big enough to be split in
// any build and written stop-major, so that its indexes are sorted over both halves.
TEST(SplitLoadEquality, LoaderThreadsLoadTheSameTimetableAsOneThread) {
    std::vector<std::vector<std::string>> rows;
    for (int stop = 1; stop <= 20; ++stop) {
        for (int train = 0; train < 500; ++train) {
            rows.push_back({"K" + std::to_string(1000 + train), "\xD5\xBE" + std::to_string(stop),
                            std::to_string(stop), "08:00", "08:05", "0:" + std::to_string(stop),
                            std::to_string(stop * 10), "1", "2", "3", "4"});
        }
    }
    const std::string stops = WriteTableStream(KMTrainFields(), KMTrainIndexes(), rows);
    ASSERT_GT(stops.size(), TableStreamHelper().minSplitBytes);
    const BlobSource source = [&](std::string_view name) {
        if (name == "STrain") return std::vector<unsigned char>(stops.begin(), stops.end());
        return ReadBlob(name);
    };
    StoredTables one;
    LoadTimetableFromBlobs(one, source);
    StoredTables two;
    LoadFlags flags;
    {
        TimetableLoader::Options options;
        options.source = source;
        TimetableLoader loader(two, flags, std::move(options));
        loader.Start();
        loader.Join();
    }
    TableStreamFormat f;
    EXPECT_EQ(Take(two.KMTrain, f, ""), Take(one.KMTrain, f, ""));
    EXPECT_EQ(Take(two.KMList, f, ""), Take(one.KMList, f, ""));
    EXPECT_EQ(two.KMTrain.RecordCount(), rows.size());
    EXPECT_EQ(two.KMTrain.IndexName(), "SIDNo");
    EXPECT_TRUE(flags.Loaded(LoadTable::KMTrain));
    // The current index's order is the sorted one, not load order.
    two.KMTrain.First();
    two.KMTrain.Next();
    EXPECT_EQ(two.KMTrain.FieldByName("S_No").AsInteger(), 2);
}

struct Rng {
    std::uint32_t s;
    std::uint32_t Next(std::uint32_t n) {
        s = s * 1664525u + 1013904223u;
        return (s >> 8) % n;
    }
};

// Records full of what a reader must take: doubled and partial quotes, escapes, empty values,
// missing and surplus values, every kind of line break, now and then a bad integer or an
// overlong line.
std::string GeneratedStream(Rng& r, bool errors, std::size_t longWord) {
    std::vector<FieldDef> fields(3);
    fields[0].name = fields[0].label = "A";
    fields[1].name = fields[1].label = "N";
    fields[1].type = FieldType::Integer;
    fields[2].name = fields[2].label = "C";
    IndexDef byA;
    byA.name = byA.indexName = "ByA";
    byA.fields = {"A"};
    IndexDef byN;
    byN.name = byN.indexName = "ByN";
    byN.fields = {"N", "C"};
    std::string s = WriteTableStream(fields, {byA, byN}, {});
    static const char* kWords[] = {"\"x\"", "\"a\"\"b\"",   "p\"q\"", "\"%n%%\"", "",
                                   "\"\"",  "\"\xB1\xB1\"", "z%c",    "\"%0\""};
    static const char* kBreaks[] = {"\r\n", "\n", "\r", "\r\n\r\n", "\n\r\r", "\0"};
    const std::uint32_t lines = r.Next(9);
    for (std::uint32_t l = 0; l < lines; ++l) {
        s += kWords[r.Next(std::size(kWords))];
        s += ",";
        const std::uint32_t n = r.Next(errors ? 12 : 10);
        s += n < 8 ? std::to_string(int(r.Next(7)) - 3) : (n < 10 ? "" : "\"1x\"");
        s += ",";
        s += kWords[r.Next(std::size(kWords))];
        if (r.Next(3) == 0) s += ",surplus";
        if (errors && r.Next(12) == 0) s.append(longWord, 'w');
        if (l + 1 < lines || r.Next(2)) {
            const char* br = kBreaks[r.Next(std::size(kBreaks))];
            s.append(br, br[0] == '\0' ? 1 : std::char_traits<char>::length(br));
        }
    }
    return s;
}

TEST(SplitLoadEquality, GeneratedStreamsSplitAtEveryByteEqualOneThread) {
    Rng rng{20261208u};
    std::size_t splits = 0, records = 0, errorsInSecondHalf = 0, errorsInFirstHalf = 0;
    // Longer than the definition lines, shorter than a line with a long word.
    const std::string plain = GeneratedStream(rng, false, 0);
    std::size_t maxLine = 0;
    for (std::size_t b = 0, e; b < plain.size(); b = e + 1) {
        e = std::min(plain.find('\n', b), plain.size());
        maxLine = std::max(maxLine, e - b);
    }
    maxLine = std::max<std::size_t>(maxLine, 40);
    for (int round = 0; round < 200; ++round) {
        const bool errors = round % 2 == 1;
        const std::string stream = GeneratedStream(rng, errors, maxLine + 1);
        const Snapshot whole = LoadWhole(stream, maxLine);
        records += whole.records;
        // A split before the records is moved to the records' first line break.
        for (std::size_t at = 1; at <= stream.size(); ++at) {
            const bool served = at % 4 == 0;
            const Snapshot split = LoadSplit(stream, at, served, maxLine);
            ASSERT_EQ(split, whole) << "round " << round << " split at " << at;
            // And a third piece taken over from either half, every third time with the records
            // made only when read.
            const std::size_t takeOverAt = 1 + rng.Next(static_cast<std::uint32_t>(stream.size()));
            const bool deferred = at % 3 == 0;
            ASSERT_EQ(LoadSplit(stream, at, at % 4 == 1, maxLine, takeOverAt, deferred),
                      deferred ? Deferred(whole) : whole)
                << "round " << round << " split at " << at << ", taken over at " << takeOverAt
                << (deferred ? ", deferred" : "");
            ++splits;
            if (!whole.error.empty()) {
                // Where did the error lie relative to the split? Count by the records kept.
                const std::size_t end =
                    std::min(stream.find_first_of(std::string("\r\n\0", 3), at), stream.size());
                const Snapshot firstOnly = LoadWhole(stream.substr(0, end), maxLine);
                ++(firstOnly.error.empty() ? errorsInSecondHalf : errorsInFirstHalf);
            }
        }
    }
    EXPECT_GT(splits, 10000u);
    EXPECT_GT(records, 300u);
    // Both halves must have been seen failing.
    EXPECT_GT(errorsInFirstHalf, 100u);
    EXPECT_GT(errorsInSecondHalf, 100u);
}

TEST(SplitLoadEquality, TinyStreamsAndErrorsInEitherHalf) {
    std::vector<FieldDef> fields(2);
    fields[0].name = fields[0].label = "A";
    fields[1].name = fields[1].label = "N";
    fields[1].type = FieldType::Integer;
    const std::string head = WriteTableStream(fields, {}, {});
    const std::size_t maxLine = 80;  // longer than the definitions, shorter than a long word
    const std::string longWord(100, 'w');
    const std::vector<std::string> bodies = {
        "",                                                      // header only
        "\"a\",1,",                                              // one record without a line break
        "\"a\",1,\r\n",                                          // one record
        "\"a\",1,\r\n\"b\",2,\r\n\"c\",\"x\",\r\n\"d\",4,\r\n",  // bad integer, third line
        "\"a\",\"x\",\r\n\"b\",\"y\",\r\n",  // two bad values: the first is reported
        "\"a\",1,\r\n\"" + longWord + "\",2,\r\n\"c\",\"x\",\r\n",  // too long first
        "\"a\",1,\r\n\"b\",\"x\",\r\n\"" + longWord + "\",2,\r\n",  // bad value first
        "\r\n\r\n\n\n\"a\",1,\r\n\r\n",                             // runs of empty lines
    };
    for (const std::string& body : bodies) {
        const std::string stream = head + body;
        const Snapshot whole = LoadWhole(stream, maxLine);
        for (std::size_t at = 1; at <= stream.size() + 1; ++at) {
            ASSERT_EQ(LoadSplit(stream, at, true, maxLine), whole) << body << " split at " << at;
            ASSERT_EQ(LoadSplit(stream, at, false, maxLine), whole) << body << " split at " << at;
            for (std::size_t over = head.size(); at >= head.size() && over <= stream.size() + 1;
                 ++over) {
                ASSERT_EQ(LoadSplit(stream, at, (at + over) % 4 == 0, maxLine, over), whole)
                    << body << " split at " << at << ", taken over at " << over;
                ASSERT_EQ(LoadSplit(stream, at, (at + over) % 4 == 1, maxLine, over, true),
                          Deferred(whole))
                    << body << " split at " << at << ", taken over at " << over << ", deferred";
            }
        }
    }
    // The texts the reader reports, line numbers counted over the whole stream (the split
    // falls after the first record, so the failing lines are in the second half).
    const std::size_t headLines = std::count(head.begin(), head.end(), '\n');
    const Snapshot badValue = LoadSplit(head + bodies[3], head.size() + 2, true, maxLine);
    EXPECT_EQ(badValue.error, "'x' is not a valid integer value for field 'N'");
    EXPECT_EQ(badValue.records, 2u);
    EXPECT_EQ(badValue.lineNumber, headLines + 3);
    EXPECT_EQ(LoadSplit(head + bodies[5], head.size() + 2, true, maxLine).error,
              "Line " + std::to_string(headLines + 2) + " of the table stream is longer than " +
                  std::to_string(maxLine) + " bytes.");
}

// A table that adopted a second half behaves as one that read everything: searching,
// cursor, and records appended afterwards.
TEST(SplitLoadEquality, AdoptedHalfBehavesLikeOwnRecords) {
    const std::string text = BlobText("SList");
    MemTable whole;
    MemTable split;
    TableStreamFormat f1;
    TableStreamFormat f2;
    LoadFromTableStream(whole, text, &f1);
    TableStreamHelper helper;
    helper.minSplitBytes = 0;
    LoadFromTableStream(split, text, &f2, &helper);
    helper.Close();
    for (MemTable* t : {&whole, &split}) {
        t->SetIndexName("SID");
        ASSERT_TRUE(
            t->Locate("ID", std::string(t->FieldByName("ID").ViewAt(t->RecordCount() - 1))));
        t->Last();
        t->Append();
        t->SetText(0, "ZZZ");
        t->Post();
    }
    EXPECT_EQ(split.CurrentRecord(), whole.CurrentRecord());
    EXPECT_EQ(Take(split, f1, "", false), Take(whole, f1, "", false));
}

}  // namespace
}  // namespace korvel
