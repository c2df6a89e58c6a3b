// The typed timetable against the stored tables it is built from: every value and every
// first-match rule agrees with what a cursor read of the tables gives, on the sample and the
// embedded timetables and on hand-made damaged ones.
#include "timetable/timetable.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <memory>
#include <thread>

#include "app/loaders.h"
#include "data/clock.h"
#include "journey/journey_index.h"
#include "query/fare_tariff.h"
#include "query/stations.h"
#include "query/stop_index.h"
#include "resources/resources.h"
#include "scale/scale.h"
#include "support/sample_streams.h"
#include "support/test_timetable.h"
#include "timetable/read_along.h"
#include "timetable/table_load.h"

namespace korvel {
namespace {

using test::G;
using test::Stop;

void ExpectStopsAgree(StoredTables& t, const Timetable& tt) {
    const std::vector<std::uint32_t>& order = *t.KMTrain.IndexOrder("SIDNo");
    ASSERT_EQ(tt.StopTotal(), order.size());
    MemTable& T = t.KMTrain;
    Field& id = T.FieldByName("ID");
    Field& station = T.FieldByName("Station");
    Field& atime = T.FieldByName("A_Time");
    Field& dtime = T.FieldByName("D_Time");
    Field& rdate = T.FieldByName("R_Date");
    Field* fares[] = {&T.FieldByName("P1"), &T.FieldByName("P2"), &T.FieldByName("P3"),
                      &T.FieldByName("P4")};
    for (std::uint32_t pos = 0; pos < order.size(); ++pos) {
        const StopId s(pos);
        const std::uint32_t rec = order[pos];
        SCOPED_TRACE("stop " + std::to_string(pos) + " of " + std::string(id.ViewAt(rec)));
        EXPECT_EQ(tt.StopRecord(s), rec);
        EXPECT_EQ(tt.Number(tt.Train(s)), id.ViewAt(rec));
        EXPECT_EQ(tt.Name(tt.Station(s)), station.ViewAt(rec));
        EXPECT_EQ(tt.FindStation(station.ViewAt(rec)), tt.Station(s));
        EXPECT_EQ(tt.StopNumber(s), T.FieldByName("S_No").IntegerAt(rec));
        EXPECT_EQ(tt.Km(s), T.FieldByName("Distance").IntegerAt(rec));
        EXPECT_EQ(tt.Arrivals().Text(pos), atime.ViewAt(rec));
        EXPECT_EQ(tt.Departures().Text(pos), dtime.ViewAt(rec));
        EXPECT_EQ(tt.Departures().Empty(pos), dtime.ViewAt(rec).empty());
        EXPECT_EQ(tt.Arrivals().Minutes(pos), ClockMinutes(atime.ViewAt(rec)).value_or(-1));
        EXPECT_EQ(tt.RunTimes().Text(pos), rdate.ViewAt(rec));
        EXPECT_EQ(tt.RunTimes().Minutes(pos), ElapsedToMinutes(rdate.ViewAt(rec)));
        for (int c = 0; c < 4; ++c) {
            EXPECT_EQ(tt.StopFares()[FareClass(c)].Text(pos), fares[c]->ViewAt(rec))
                << "P" << c + 1;
        }
    }
    // Each station's stops: ascending, at that station, all of them once.
    std::uint32_t listed = 0;
    for (StationId st(0); st < StationId(tt.StationCount()); ++st) {
        const auto stops = tt.StopsAt(st);
        listed += static_cast<std::uint32_t>(stops.size());
        EXPECT_TRUE(std::is_sorted(stops.begin(), stops.end()));
        for (StopId s : stops) EXPECT_EQ(tt.Station(s), st);
    }
    EXPECT_EQ(listed, tt.StopTotal());
}

void ExpectTrainsAgree(StoredTables& t, const Timetable& tt) {
    MemTable& L = t.KMList;
    L.SetIndexName("SID");
    Field& id = L.FieldByName("ID");
    for (TrainId tr(0); tr < TrainId(tt.TrainCount()); ++tr) {
        const std::string& number = tt.Number(tr);
        SCOPED_TRACE("train " + number);
        if (tr.Value() > 0) {
            EXPECT_LT(tt.Number(TrainId(tr.Value() - 1)), number);
        }
        EXPECT_EQ(tt.FindTrain(number), tr);
        for (StopId s = tt.FirstStop(tr); s < tt.EndStop(tr); ++s) EXPECT_EQ(tt.Train(s), tr);
        ASSERT_EQ(L.Locate("ID", number), tt.Listed(tr));
        if (!tt.Listed(tr)) continue;
        const std::uint32_t rec = L.CurrentRecord();
        EXPECT_EQ(tt.ListRecord(tr), rec);
        EXPECT_EQ(tt.Type(tr), L.FieldByName("NType").IntegerAt(rec));
        EXPECT_EQ(tt.Name(tt.Origin(tr)), L.FieldByName("StartStation").ViewAt(rec));
        EXPECT_EQ(tt.Name(tt.Terminus(tr)), L.FieldByName("endStation").ViewAt(rec));
        EXPECT_EQ(tt.Distance(tr), L.FieldByName("Distance").IntegerAt(rec));
        const std::uint32_t row = tt.ListRow(tr);
        EXPECT_EQ(tt.TrainDepartures().Text(row), L.FieldByName("A_Time").ViewAt(rec));
        EXPECT_EQ(tt.TrainArrivals().Text(row), L.FieldByName("D_Time").ViewAt(rec));
        EXPECT_EQ(tt.TrainRunTimes().Text(row), L.FieldByName("R_Date").ViewAt(rec));
        for (int c = 0; c < 4; ++c) {
            EXPECT_EQ(tt.TrainFares()[FareClass(c)].Text(row),
                      L.FieldByName(std::string("P") + char('1' + c)).ViewAt(rec));
        }
    }
    // Every list row, in number order, under its own train and with its own values.
    const std::vector<std::uint32_t>& sid = *L.IndexOrder("SID");
    ASSERT_EQ(tt.ListRowCount(), sid.size());
    for (std::uint32_t row = 0; row < sid.size(); ++row) {
        const std::uint32_t rec = sid[row];
        EXPECT_EQ(tt.Number(tt.RowTrain(row)), id.ViewAt(rec));
        EXPECT_EQ(tt.RowType(row), L.FieldByName("NType").IntegerAt(rec));
        EXPECT_EQ(tt.Name(tt.RowOrigin(row)), L.FieldByName("StartStation").ViewAt(rec));
        EXPECT_EQ(tt.Name(tt.RowTerminus(row)), L.FieldByName("endStation").ViewAt(rec));
        EXPECT_EQ(tt.RowDistance(row), L.FieldByName("Distance").IntegerAt(rec));
        EXPECT_EQ(tt.TrainRunTimes().Text(row), L.FieldByName("R_Date").ViewAt(rec));
        EXPECT_EQ(tt.TrainFares()[FareClass::SoftSleeper].Text(row),
                  L.FieldByName("P4").ViewAt(rec));
    }
    std::uint32_t rows = 0;
    for (TrainId tr(0); tr < TrainId(tt.TrainCount()); ++tr) rows += tt.ListedRows(tr);
    EXPECT_EQ(rows, L.RecordCount());
    for (std::uint32_t r = 0; r < L.RecordCount(); ++r)
        EXPECT_FALSE(tt.FindTrain(id.ViewAt(r)).IsNone());
}

// Groups as a search of the same-city table by name finds them (the first row in station-name
// order), members as every row of that number in that order; pinyin rows as stored.
void ExpectStationsAgree(StoredTables& t, const Timetable& tt) {
    const Field& name = t.KMSM.FieldByName("Station");
    const Field& gp = t.KMSM.FieldByName("Gp");
    const std::vector<std::uint32_t>* order = t.KMSM.IndexOrder("SStation");
    ASSERT_NE(order, nullptr);
    for (std::uint32_t r = 0; r < t.KMSM.RecordCount(); ++r) {
        const auto first = std::find_if(order->begin(), order->end(), [&](std::uint32_t rec) {
            return name.ViewAt(rec) == name.ViewAt(r);
        });
        const std::int32_t number = gp.IntegerAt(*first);
        std::vector<std::string> want;
        for (std::uint32_t rec : *order) {
            if (gp.IntegerAt(rec) == number) want.emplace_back(name.ViewAt(rec));
        }
        const StationId st = tt.FindStation(name.ViewAt(r));
        ASSERT_FALSE(st.IsNone());
        const CityGroupId g = tt.Group(st);
        ASSERT_FALSE(g.IsNone());
        EXPECT_EQ(tt.GroupNumber(g), number);
        StationSide side;
        ResolveFromStation(tt, name.ViewAt(r), MatchMode::Grouped, side);
        EXPECT_EQ(side.GroupId, number);
        EXPECT_EQ(side.Members, want);
    }
    ASSERT_EQ(tt.PinyinCount(), t.KMPy.RecordCount());
    for (std::uint32_t r = 0; r < t.KMPy.RecordCount(); ++r) {
        EXPECT_EQ(tt.Name(tt.PinyinStation(r)), t.KMPy.FieldByName("Station").ViewAt(r));
        EXPECT_EQ(tt.PinyinCode(r), t.KMPy.FieldByName("Shortcode").ViewAt(r));
        const auto rows = tt.PinyinRows(tt.PinyinStation(r));
        EXPECT_NE(std::find(rows.begin(), rows.end(), r), rows.end());
    }
}

void ExpectAgrees(StoredTables& t, const Timetable& tt) {
    EXPECT_TRUE(tt.BuiltFrom(t));
    ExpectStopsAgree(t, tt);
    ExpectTrainsAgree(t, tt);
    ExpectStationsAgree(t, tt);
}

void ExpectAgrees(StoredTables& t) {
    ExpectAgrees(t, Timetable(t));
}

// A stored table written back as a stream, its records in the order of `index` (load order
// for "").
std::string StreamOf(const MemTable& m, std::string_view index) {
    std::vector<std::vector<std::string>> rows;
    const std::vector<std::uint32_t>* order = index.empty() ? nullptr : m.IndexOrder(index);
    for (std::uint32_t i = 0; i < m.RecordCount(); ++i) {
        const std::uint32_t rec = order ? (*order)[i] : i;
        std::vector<std::string>& row = rows.emplace_back();
        for (const FieldDef& f : m.Fields()) row.emplace_back(m.FindField(f.name)->ViewAt(rec));
    }
    return WriteTableStream(m.Fields(), m.Indexes(), rows);
}

// Where a stops stream's first record line starts: just after its header line.
std::size_t StopLinesStart(const std::string& stream) {
    return stream.find("\r\n", stream.find("\"ID\",\"Station\"")) + 2;
}

// Where to split a stops stream so that one train runs across the split: the start of a line
// at or after the given share of its records (the start of the line after the one holding the
// share's byte) whose next line has the same train number.
std::size_t MidTrainSplit(const std::string& stream, std::size_t num = 1, std::size_t den = 2) {
    const std::size_t data = StopLinesStart(stream);
    const auto number = [&](std::size_t line) {
        return stream.substr(line + 1, stream.find('"', line + 1) - line - 1);
    };
    for (std::size_t at = stream.find("\r\n", data + (stream.size() - data) * num / den) + 2;
         at < stream.size();) {
        const std::size_t next = stream.find("\r\n", at) + 2;
        if (next < stream.size() && number(at) == number(next)) return at;
        at = next;
    }
    return 0;
}

// The four tables (streams by LoadTable) loaded as the start-up loads them: the list's rows
// read into `read` once it is in, the stops read by two threads, split after the line holding
// byte `splitAt` (and a third piece taken over after the line holding `takeOverAt`, when not
// 0), each piece's values read along into `read` and the stops table's records left to be
// made; then the typed timetable built from them, helped by the second thread.
std::unique_ptr<const Timetable> LoadReadingAlong(const std::array<std::string, 4>& streams,
                                                  std::size_t splitAt, StoredTables& t,
                                                  TimetableReadAlong& read,
                                                  std::size_t takeOverAt = 0) {
    const BlobSource source = [&streams](std::string_view blob) {
        for (const LoadTable w :
             {LoadTable::KMPy, LoadTable::KMList, LoadTable::KMSM, LoadTable::KMTrain}) {
            const std::string& s = streams[static_cast<std::size_t>(w)];
            if (LoadTableBlob(w) == blob) return std::vector<unsigned char>(s.begin(), s.end());
        }
        throw BlobError(std::string(blob));
    };
    TableStreamFormat format;
    for (const LoadTable w : {LoadTable::KMPy, LoadTable::KMList, LoadTable::KMSM})
        LoadTableFromBlob(w, TableOf(t, w), format, source);
    read.ReadListRows(t.KMList);
    TableStreamHelper helper;
    helper.splitAt = splitAt;
    helper.takeOverAt = takeOverAt;
    std::jthread other([&helper] { helper.Serve(); });
    struct Close {
        TableStreamHelper& helper;
        ~Close() { helper.Close(); }
    } close{helper};
    TableStreamFormat stopsFormat;
    const bool deferRecords = true;
    LoadTableFromBlob(LoadTable::KMTrain, t.KMTrain, stopsFormat, source, &helper, nullptr,
                      read.Observers(), deferRecords);
    return std::make_unique<const Timetable>(t, read, &helper);
}

std::array<std::string, 4> StreamsOf(const StoredTables& t, bool stopsInTrainOrder = true) {
    return {StreamOf(t.KMPy, ""), StreamOf(t.KMList, "SID"), StreamOf(t.KMSM, "SStation"),
            StreamOf(t.KMTrain, stopsInTrainOrder ? "SIDNo" : "")};
}

TEST(Timetable, AgreesWithTheSampleTables) {
    StoredTables t;
    if (!test::LoadSampleStreams(t, KORVEL_SAMPLE_STREAMS)) GTEST_SKIP() << "no sample streams";
    ExpectAgrees(t);
}

// Large enough that the stops' own values are read on a second thread while the first
// merges the trains: the sample copied 200 times (19,000 stops). Under
// ThreadSanitizer this is the test that sees the two threads.
TEST(Timetable, AgreesWithALargeTimetableReadOnTwoThreads) {
    if (std::string_view(KORVEL_SAMPLE_STREAMS).empty()) GTEST_SKIP() << "no sample streams";
    const TimetableStreams scaled = ScaleTimetable(ReadStreamsFrom(KORVEL_SAMPLE_STREAMS), 200);
    const std::string dir = ::testing::TempDir() + "korvel-large-" + std::to_string(getpid());
    WriteStreamsTo(dir, scaled);
    StoredTables t;
    const bool loaded = test::LoadSampleStreams(t, dir);
    std::filesystem::remove_all(dir);
    ASSERT_TRUE(loaded);
    ASSERT_GE(t.KMTrain.RecordCount(), 16384u);
    ExpectAgrees(t);
}

TEST(Timetable, AgreesWithTheEmbeddedTables) {
    StoredTables t;
    LoadTimetableFromBlobs(t, [](std::string_view name) { return ReadBlob(name); });
    ASSERT_GT(t.KMTrain.RecordCount(), 0u);
    ExpectAgrees(t);
}

// Damaged and odd tables: what each reader of the stored tables would find, the typed one
// finds too, and texts of unusual form come back byte for byte.
TEST(Timetable, KeepsOddTablesAsStored) {
    const std::string userArea = GbkToUtf8("\xF8\xB3\xB4\xE5");  // user-defined area + 村
    StoredTables t;
    test::TimetableBuilder()
        .Train("K2", 6,
               {Stop{"甲", "", "08:00", "0", 0},
                Stop{userArea, "8:5", "09:10", "0:5", 40, "12.50", "-", "38/41", "54/58"},
                Stop{"乙", "10:00", "", "2:0", 90, "20.5", "-", "38/41/43.5", "-"}})
        .Train("K1", 7, {Stop{"乙", "", "07:00", "0", 0}, Stop{"丙", "", "", "05", 30}})
        .ListOnly("Z9", 4, "甲", "丁")
        .ListOnly("Z9", 5, "乙", "丙")
        .StopsOnly("D5", {Stop{"丙", "", "06:00", "0", 0}, Stop{"甲", "06:30", "", "30", 20}})
        .Group(3, {"甲", "乙"})
        .Group(2, {"丙", "甲"})
        .Py("甲", "J")
        .Py(userArea, "C")
        .Py("甲", "JJ")
        .BuildInto(t);
    ExpectAgrees(t);

    const Timetable tt(t);
    // Trains in number order, whichever table holds them.
    ASSERT_EQ(tt.TrainCount(), 4u);
    EXPECT_EQ(tt.Number(TrainId(0)), "D5");
    EXPECT_FALSE(tt.Listed(TrainId(0)));
    EXPECT_EQ(tt.StopCount(TrainId(0)), 2u);
    const TrainId z9 = tt.FindTrain("Z9");
    EXPECT_TRUE(tt.Listed(z9));
    EXPECT_EQ(tt.StopCount(z9), 0u);
    EXPECT_EQ(tt.ListedRows(z9), 2u);
    EXPECT_EQ(tt.Type(z9), 4);  // the first of the two rows
    EXPECT_EQ(tt.Name(tt.Terminus(z9)), G("丁"));
    EXPECT_TRUE(tt.FindTrain("K3").IsNone());

    // The user-defined-area name is one station under its own bytes.
    const StationId ua = tt.FindStation("\xF8\xB3\xB4\xE5");
    ASSERT_FALSE(ua.IsNone());
    EXPECT_EQ(tt.StopsAt(ua).size(), 1u);

    const TrainId k2 = tt.FindTrain("K2");
    const std::uint32_t mid = tt.FirstStop(k2).Value() + 1;
    const std::uint32_t last = mid + 1;
    EXPECT_EQ(tt.Arrivals().Minutes(mid), ClockColumn::kNone);  // "8:5" is no clock time
    EXPECT_FALSE(tt.Arrivals().Empty(mid));
    EXPECT_EQ(tt.Departures().Minutes(mid), 9 * 60 + 10);
    EXPECT_EQ(tt.RunTimes().Minutes(mid), 5);
    EXPECT_EQ(tt.RunTimes().Minutes(last), 120);
    const FareColumn& seat = tt.StopFares()[FareClass::HardSeat];
    EXPECT_EQ(seat.State(mid), FareState::Odd);  // "12.50" has no exact tenths form
    EXPECT_EQ(seat.State(last), FareState::Priced);
    EXPECT_EQ(seat.Tenths(last)[0], 205);
    EXPECT_EQ(tt.StopFares()[FareClass::SoftSeat].State(mid), FareState::NotOffered);
    const FareColumn& hard = tt.StopFares()[FareClass::HardSleeper];
    EXPECT_EQ(hard.State(mid), FareState::Odd);  // two values where three belong
    ASSERT_EQ(hard.State(last), FareState::Priced);
    EXPECT_EQ(std::vector<std::int32_t>(hard.Tenths(last).begin(), hard.Tenths(last).end()),
              (std::vector<std::int32_t>{380, 410, 435}));
    EXPECT_EQ(tt.StopFares()[FareClass::SoftSleeper].Tenths(mid)[1], 580);
    EXPECT_EQ(seat.State(tt.FirstStop(k2).Value()), FareState::Empty);

    // "甲" is stored in two groups: its own group is the one its first row in name order
    // (stored order among equal names) gives, and both groups list it.
    const StationId jia = tt.FindStation(G("甲"));
    EXPECT_EQ(tt.GroupNumber(tt.Group(jia)), 3);
    EXPECT_EQ(tt.GroupCount(), 2u);
    EXPECT_TRUE(tt.Group(tt.FindStation(G("丁"))).IsNone());
    EXPECT_EQ(tt.PinyinRows(jia).size(), 2u);
}

// The values the loaders read of the stops as their table loads, a piece on each thread, are
// what the timetable would read of the table: they are taken over, stations numbered and
// trains merged across the split as one reader would, also when a third piece was taken over
// from either half (before the second half, or after it).
TEST(Timetable, TakesOverTheStopsReadWhileTheyLoad) {
    const auto check = [](const std::array<std::string, 4>& streams, std::size_t splitAt,
                          std::size_t takeOverAt = 0) {
        SCOPED_TRACE("split at " + std::to_string(splitAt) + ", taken over at " +
                     std::to_string(takeOverAt));
        StoredTables t;
        TimetableReadAlong read;
        const auto tt = LoadReadingAlong(streams, splitAt, t, read, takeOverAt);
        EXPECT_TRUE(read.Taken());
        EXPECT_TRUE(t.KMTrain.RecordsDeferred());  // the timetable did not need them
        ExpectAgrees(t, *tt);
        // Stations are numbered as reading the tables numbers them, the list's own names too.
        const Timetable plain(t);
        ASSERT_EQ(tt->StationCount(), plain.StationCount());
        for (StationId s(0); s < StationId(plain.StationCount()); ++s)
            EXPECT_EQ(tt->Name(s), plain.Name(s));
    };
    StoredTables odd;
    test::TimetableBuilder()
        .Train("K2", 6,
               {Stop{"甲", "", "08:00", "0", 0},
                Stop{GbkToUtf8("\xF8\xB3\xB4\xE5"), "8:5", "09:10", "0:5", 40, "12.50", "-",
                     "38/41", "54/58"},
                Stop{"乙", "10:00", "", "2:0", 90, "20.5", "-", "38/41/43.5", "-"}})
        .Train("K1", 7, {Stop{"乙", "", "07:00", "0", 0}, Stop{"丙", "", "", "05", 30}})
        .ListOnly("Z9", 4, "戊", "丁")
        .StopsOnly("D5", {Stop{"丙", "", "06:00", "0", 0}, Stop{"甲", "06:30", "", "30", 20}})
        .Group(3, {"甲", "乙"})
        .Py("甲", "J")
        .BuildInto(odd);
    {
        SCOPED_TRACE("odd tables");
        const std::array<std::string, 4> streams = StreamsOf(odd);
        check(streams, MidTrainSplit(streams[3]));
        // K2's three stops in three pieces, and a piece between the halves.
        const std::size_t k2 = streams[3].find("\"K2\"");
        const std::size_t k2Second = streams[3].find("\"K2\"", k2 + 1);
        check(streams, k2, k2Second);
        check(streams, k2Second, streams[3].find("\"K1\""));
    }
    StoredTables sample;
    if (test::LoadSampleStreams(sample, KORVEL_SAMPLE_STREAMS)) {
        SCOPED_TRACE("sample");
        const std::array<std::string, 4> streams = StreamsOf(sample);
        ASSERT_NE(MidTrainSplit(streams[3]), 0u);
        check(streams, MidTrainSplit(streams[3]));
        check(streams, MidTrainSplit(streams[3]), MidTrainSplit(streams[3], 1, 4));
        check(streams, MidTrainSplit(streams[3]), MidTrainSplit(streams[3], 3, 4));
    }
    SCOPED_TRACE("embedded");
    std::array<std::string, 4> embedded;
    for (const LoadTable w :
         {LoadTable::KMPy, LoadTable::KMList, LoadTable::KMSM, LoadTable::KMTrain}) {
        const std::vector<unsigned char> bytes = ReadBlob(LoadTableBlob(w));
        embedded[static_cast<std::size_t>(w)].assign(bytes.begin(), bytes.end());
    }
    check(embedded, 0);
}

// Stops stored out of train order: what was read along is no use, and the table is read,
// whether the order breaks inside a piece or only where two pieces meet.
TEST(Timetable, ReadsStopsStoredOutOfTrainOrderFromTheTable) {
    StoredTables stored;
    test::TimetableBuilder()
        .Train("K2", 6,
               {Stop{"甲", "", "08:00", "0", 0}, Stop{"乙", "10:00", "10:05", "2:0", 90},
                Stop{"丙", "11:00", "", "3:0", 120}})
        .Train("K1", 7, {Stop{"乙", "", "07:00", "0", 0}, Stop{"丙", "", "", "05", 30}})
        .BuildInto(stored);
    std::array<std::string, 4> streams = StreamsOf(stored);
    // The stops' lines as written, in train-and-stop order: K1 1, K1 2, K2 1, K2 2, K2 3.
    const std::string inOrder = streams[3];
    const std::size_t data = StopLinesStart(inOrder);
    std::vector<std::string> lines;
    for (std::size_t at = data; at < inOrder.size();) {
        const std::size_t end = inOrder.find("\r\n", at) + 2;
        lines.push_back(inOrder.substr(at, end - at));
        at = end;
    }
    ASSERT_EQ(lines.size(), 5u);
    // The lines in the order given; the records split before the line at `splitBefore` (none
    // for 0).
    const auto check = [&](const std::vector<std::size_t>& order, std::size_t splitBefore) {
        SCOPED_TRACE("split before line " + std::to_string(splitBefore));
        streams[3] = inOrder.substr(0, data);
        std::size_t splitAt = 0;
        for (std::size_t i = 0; i < order.size(); ++i) {
            if (i + 1 == splitBefore) splitAt = streams[3].size();
            streams[3] += lines[order[i]];
        }
        StoredTables t;
        TimetableReadAlong read;
        const auto tt = LoadReadingAlong(streams, splitAt, t, read);
        EXPECT_FALSE(read.Taken());
        ExpectAgrees(t, *tt);
    };
    check({2, 3, 4, 0, 1}, 0);  // K2 before K1
    check({2, 3, 4, 0, 1}, 3);  // each piece in order, the second's train before the first's
    check({0, 1, 2, 4, 3}, 0);  // K2's last two stops swapped
    check({0, 1, 2, 4, 3}, 4);  // each piece in order, K2's stop 3 before its stop 2
}

// Each column reads only the texts its numbers give back and keeps every other text as it was,
// also where a text looks almost like one of the forms the timetable writes; a column whose
// rows were read in two parts and joined gives the same.
TEST(Timetable, ColumnsKeepEveryTextTheirNumbersDoNotGiveBack) {
    const auto expectTexts = [](const auto& column, const std::vector<std::string>& texts) {
        for (std::uint32_t r = 0; r < texts.size(); ++r) EXPECT_EQ(column.Text(r), texts[r]);
    };
    // Each text is read from a buffer of its own length, so that a sanitizer sees any read past
    // its end.
    const auto inTwoParts = [](auto column, const std::vector<std::string>& texts) {
        auto tail = column;
        for (std::size_t r = 0; r < texts.size(); ++r) {
            const std::unique_ptr<char[]> own(new char[texts[r].size()]);
            std::copy(texts[r].begin(), texts[r].end(), own.get());
            (r < 3 ? column : tail).Add(std::string_view(own.get(), texts[r].size()));
        }
        column.Append(tail);
        return column;
    };

    struct Clock {
        std::string text;
        std::int16_t minutes;  // kNone: no clock time
    };
    const std::vector<Clock> clocks = {{"00:00", 0},
                                       {"23:59", 1439},
                                       {"", ClockColumn::kNone},
                                       {"24:00", ClockColumn::kNone},
                                       {"07:5", ClockColumn::kNone},
                                       {"7:05", ClockColumn::kNone},
                                       {"12:60", ClockColumn::kNone},
                                       {"/9:00", ClockColumn::kNone},
                                       {"09-00", ClockColumn::kNone},
                                       {"09:0a", ClockColumn::kNone}};
    std::vector<std::string> texts;
    for (const Clock& c : clocks) texts.push_back(c.text);
    const ClockColumn clock = inTwoParts(ClockColumn(), texts);
    expectTexts(clock, texts);
    for (std::uint32_t r = 0; r < clocks.size(); ++r) {
        EXPECT_EQ(clock.Minutes(r), clocks[r].minutes) << clocks[r].text;
        EXPECT_EQ(clock.Empty(r), clocks[r].text.empty()) << clocks[r].text;
    }
    EXPECT_EQ(clock.OddCount(), 7u);

    struct Run {
        std::string text;
        std::int32_t minutes;
        bool odd;
    };
    const std::vector<Run> runs = {{"0", 0, false},
                                   {"59", 59, false},
                                   {"2:9", 129, false},
                                   {"37:43", 2263, false},
                                   {"60", 60, true},
                                   {"05", 5, true},
                                   {"0:5", 5, true},
                                   {"1:00", 60, true},
                                   {"1:60", 120, true},
                                   {":5", 5, true},
                                   {"5:", 300, true},
                                   {"-1", -1, true},
                                   {"", 0, true},
                                   {"9999999:59", 599999999, false},
                                   {"12345678:0", 740740680, false}};
    texts.clear();
    for (const Run& r : runs) texts.push_back(r.text);
    const RunTimeColumn run = inTwoParts(RunTimeColumn(), texts);
    expectTexts(run, texts);
    std::uint32_t odd = 0;
    for (std::uint32_t r = 0; r < runs.size(); ++r) {
        EXPECT_EQ(run.Minutes(r), runs[r].minutes) << runs[r].text;
        odd += runs[r].odd;
    }
    EXPECT_EQ(run.OddCount(), odd);

    struct Fare {
        std::string text;
        std::vector<std::int32_t> tenths;  // empty: not priced
    };
    const std::vector<std::vector<Fare>> fares = {{{"0", {0}},
                                                   {"0.5", {5}},
                                                   {"7", {70}},
                                                   {"12345678", {123456780}},
                                                   {"99999999.9", {999999999}},
                                                   {"-", {}},
                                                   {"", {}},
                                                   {"045", {}},
                                                   {"1.50", {}},
                                                   {"2.0", {}},
                                                   {"-0", {}},
                                                   {"3.", {}},
                                                   {".5", {}},
                                                   {"123456789", {}},
                                                   {"1/2", {}}},
                                                  {{"2.5/3", {25, 30}},
                                                   {"54/58", {540, 580}},
                                                   {"3/", {}},
                                                   {"/3", {}},
                                                   {"2.5", {}},
                                                   {"1/2/3", {}},
                                                   {"1//2", {}}},
                                                  {{"38/41/43.5", {380, 410, 435}},
                                                   {"0/0.5/10", {0, 5, 100}},
                                                   {"2.5/3", {}},
                                                   {"1/2/3/", {}},
                                                   {"1/2/03", {}},
                                                   {"1/2.5.5/3", {}}}};
    for (const std::vector<Fare>& berths : fares) {
        texts.clear();
        for (const Fare& f : berths) texts.push_back(f.text);
        const auto n = static_cast<std::uint8_t>(berths.front().tenths.size());
        const FareColumn column = inTwoParts(FareColumn(n), texts);
        expectTexts(column, texts);
        for (std::uint32_t r = 0; r < berths.size(); ++r) {
            const Fare& f = berths[r];
            const FareState state = f.text.empty()     ? FareState::Empty
                                    : f.text == "-"    ? FareState::NotOffered
                                    : f.tenths.empty() ? FareState::Odd
                                                       : FareState::Priced;
            EXPECT_EQ(column.State(r), state) << f.text;
            const std::vector<std::int32_t> tenths(column.Tenths(r).begin(),
                                                   column.Tenths(r).end());
            EXPECT_EQ(tenths, f.tenths.empty() ? std::vector<std::int32_t>(n) : f.tenths) << f.text;
        }
    }
}

TEST(Timetable, NotLoadedTablesCountAsEmpty) {
    StoredTables t;
    const Timetable tt(t);
    EXPECT_EQ(tt.TrainCount(), 0u);
    EXPECT_EQ(tt.StationCount(), 0u);
    EXPECT_TRUE(tt.FindStation("x").IsNone());
    EXPECT_TRUE(tt.BuiltFrom(t));
    test::TimetableBuilder().Train("K1", 7, {Stop{"乙", "", "07:00", "0", 0}}).BuildInto(t);
    EXPECT_FALSE(tt.BuiltFrom(t));  // loaded since
}

// The stop index and the journey index over one typed timetable number stations alike, and
// the journey's trains are the timetable's.
TEST(Timetable, IndexesShareItsNumbers) {
    StoredTables t;
    if (!test::LoadSampleStreams(t, KORVEL_SAMPLE_STREAMS)) GTEST_SKIP() << "no sample streams";
    const auto tt = std::make_shared<const Timetable>(t);
    const StopIndex stops(tt);
    const JourneyIndex journeys(tt);
    ASSERT_GT(journeys.TrainCount(), 0u);
    std::uint32_t called = 0;
    for (StationId s(0); s < StationId(tt->StationCount()); ++s) {
        const std::string& name = tt->Name(s);
        const std::uint32_t stopId = stops.StationId(name);
        EXPECT_EQ(stopId, tt->StopsAt(s).empty() ? StopIndex::kNoStation : s.Value()) << name;
        const StationIdx j = journeys.StationId(name);
        if (j == kNoStation) continue;
        ++called;
        EXPECT_EQ(j, s);
        EXPECT_EQ(journeys.StationName(j), name);
    }
    EXPECT_GT(called, 0u);
    for (RouteIdx r(0); r < RouteIdx(journeys.RouteCount()); ++r) {
        const JourneyIndex::Trip* trips = journeys.Trips(r);
        for (std::uint32_t k = 0; k < journeys.TripCount(r); ++k) {
            const TrainIdx train = trips[k].train;
            EXPECT_TRUE(tt->Listed(train));
            EXPECT_EQ(journeys.TrainId(train), tt->Number(train));
            EXPECT_EQ(journeys.StopCount(r), tt->StopCount(train));
            for (std::uint32_t q = 0; q < journeys.StopCount(r); ++q) {
                const StopId stop(tt->FirstStop(train).Value() + q);
                EXPECT_EQ(journeys.StopStation(r, q), tt->Station(stop));
                EXPECT_EQ(journeys.StopRecord(train, q), tt->StopRecord(stop));
            }
        }
    }
}

}  // namespace
}  // namespace korvel
