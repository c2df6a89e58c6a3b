// Start-up loaders: two threads, load flags published with release/acquire, failures
// reported per table. Built in the ThreadSanitizer configuration as well (label "threads").
#include "app/loaders.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <atomic>
#include <chrono>
#include <future>
#include <map>
#include <mutex>
#include <set>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "data/blob.h"
#include "data/schema.h"
#include "data/table_stream.h"

namespace korvel {
namespace {

using Bytes = std::vector<unsigned char>;
using Rows = std::vector<std::vector<std::string>>;

Bytes AsBytes(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

// A small but complete timetable: `trains` trains of `stops` stops each. KMTrain rows are
// written stop-major (all first stops, then all second stops ...) so that the SIDNo index
// has real work to do.
struct Streams {
    std::map<std::string, std::string> byBlob;  // upper-case blob name -> stream text
    int trains = 0;
    int stops = 0;
};

Streams MakeStreams(int trains, int stops) {
    Streams s;
    s.trains = trains;
    s.stops = stops;
    Rows py, list, train, sm;
    for (int st = 0; st < stops; ++st) {
        const std::string name = "\xD5\xBE" + std::to_string(st);  // 站N
        py.push_back({name, "Z" + std::to_string(st)});
        if (st % 2 == 0) sm.push_back({name, std::to_string(st / 4 + 1)});
    }
    for (int t = 0; t < trains; ++t) {
        const std::string id = "K" + std::to_string(1000 + t);
        list.push_back({id, "7",
                        "\xD5\xBE"
                        "0",
                        "\xD5\xBE" + std::to_string(stops - 1), "06:00", "12:00", "6:0",
                        std::to_string(100 * (stops - 1)), "", "", "", ""});
    }
    for (int st = 0; st < stops; ++st) {
        for (int t = 0; t < trains; ++t) {
            train.push_back({"K" + std::to_string(1000 + t), "\xD5\xBE" + std::to_string(st),
                             std::to_string(st + 1), "06:00", "06:02", std::to_string(st),
                             std::to_string(100 * st), "", "", "", ""});
        }
    }
    s.byBlob["SPY"] = WriteTableStream(KMPyFields(), KMPyIndexes(), py);
    s.byBlob["SLIST"] = WriteTableStream(KMListFields(), KMListIndexes(), list);
    s.byBlob["STRAIN"] = WriteTableStream(KMTrainFields(), KMTrainIndexes(), train);
    s.byBlob["SM"] = WriteTableStream(KMSMFields(), KMSMIndexes(), sm);
    return s;
}

std::string Upper(std::string_view name) {
    std::string u(name);
    for (char& c : u)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return u;
}

BlobSource SourceOf(const Streams& s) {
    return [&s](std::string_view name) {
        auto it = s.byBlob.find(Upper(name));
        if (it == s.byBlob.end()) throw BlobError("Resource '" + std::string(name) + "' not found");
        return AsBytes(it->second);
    };
}

Bytes Compress(const std::string& text) {
    uLongf packed = compressBound(text.size());
    Bytes out(4 + packed);
    compress2(out.data() + 4, &packed, reinterpret_cast<const Bytef*>(text.data()), text.size(), 9);
    out.resize(4 + packed);
    for (int i = 0; i < 4; ++i) out[i] = static_cast<unsigned char>(text.size() >> (8 * i));
    return out;
}

struct Recorder {
    std::mutex mutex;
    std::vector<LoadEvent> events;
    std::vector<bool> flagSetWhenTold;
    LoadFlags* flags = nullptr;

    LoadCallback Callback() {
        return [this](const LoadEvent& e) {
            const bool loaded = flags->Loaded(e.table);
            std::lock_guard<std::mutex> lock(mutex);
            events.push_back(e);
            flagSetWhenTold.push_back(loaded);
        };
    }
    const LoadEvent* Find(LoadTable t) {
        for (const LoadEvent& e : events)
            if (e.table == t) return &e;
        return nullptr;
    }
};

TEST(Loaders, LoadAllFourTablesOnTwoThreadsInOrder) {
    const Streams streams = MakeStreams(40, 12);
    StoredTables tables;
    LoadFlags flags;
    Recorder rec;
    rec.flags = &flags;

    std::mutex m;
    std::vector<std::pair<std::string, std::thread::id>> reads;
    BlobSource inner = SourceOf(streams);
    TimetableLoader::Options options;
    options.source = [&](std::string_view name) {
        {
            std::lock_guard<std::mutex> lock(m);
            reads.emplace_back(std::string(name), std::this_thread::get_id());
        }
        return inner(name);
    };
    options.onEvent = rec.Callback();
    {
        TimetableLoader loader(tables, flags, options);
        loader.Start();
        loader.Start();  // a second start changes nothing
    }                    // joins

    ASSERT_EQ(rec.events.size(), 4u);
    for (std::size_t i = 0; i < rec.events.size(); ++i) {
        EXPECT_TRUE(rec.events[i].ok) << rec.events[i].error;
        EXPECT_TRUE(rec.flagSetWhenTold[i]) << "the flag must be set before the event";
        EXPECT_GE(rec.events[i].milliseconds, 0.0);
    }
    EXPECT_EQ(rec.Find(LoadTable::KMPy)->records, 12u);
    EXPECT_EQ(rec.Find(LoadTable::KMList)->records, 40u);
    EXPECT_EQ(rec.Find(LoadTable::KMSM)->records, 6u);
    EXPECT_EQ(rec.Find(LoadTable::KMTrain)->records, 480u);

    // Blob names as the loaders ask for them; the small tables share one thread, in order,
    // and the stop table has its own.
    ASSERT_EQ(reads.size(), 4u);
    std::map<std::string, std::thread::id> threadOf;
    std::vector<std::string> smallOrder;
    for (const auto& [name, id] : reads) {
        threadOf[name] = id;
        if (name != "STrain") smallOrder.push_back(name);
    }
    EXPECT_EQ(smallOrder, (std::vector<std::string>{"SPY", "SList", "SM"}));
    EXPECT_EQ(threadOf["SPY"], threadOf["SList"]);
    EXPECT_EQ(threadOf["SPY"], threadOf["SM"]);
    EXPECT_NE(threadOf["SPY"], threadOf["STrain"]);
    EXPECT_NE(threadOf["STrain"], std::this_thread::get_id());

    EXPECT_EQ(flags.PyLoaded.load(), 1);
    EXPECT_EQ(flags.ListLoaded.load(), 1);
    EXPECT_EQ(flags.GroupsLoaded.load(), 1);
    EXPECT_EQ(flags.StopsLoaded.load(), 1);
    EXPECT_EQ(tables.KMPy.IndexName(), "");
    EXPECT_EQ(tables.KMList.IndexName(), "SID");
    EXPECT_EQ(tables.KMSM.IndexName(), "SStation");
    EXPECT_EQ(tables.KMTrain.IndexName(), "SIDNo");

    // KMTrain is left in train and stop order with the cursor on the first record.
    std::string lastId;
    int lastNo = 0, n = 0;
    Field& id = tables.KMTrain.FieldByName("ID");
    Field& no = tables.KMTrain.FieldByName("S_No");
    for (; !tables.KMTrain.Eof(); tables.KMTrain.Next(), ++n) {
        if (id.AsString() == lastId) {
            EXPECT_EQ(no.AsInteger(), lastNo + 1);
        } else {
            EXPECT_GT(id.AsString(), lastId);
            EXPECT_EQ(no.AsInteger(), 1);
        }
        lastId = id.AsString();
        lastNo = no.AsInteger();
    }
    EXPECT_EQ(n, 480);
}

// A chunked blob inflated with a thread serving the helper gives the bytes of one thread's
// inflation, and of two damaged chunks the error of the first, whichever thread met which.
TEST(Loaders, BothThreadsInflateAChunkedBlobAsOneWould) {
    std::string text;
    for (int i = 0; text.size() < (1u << 20); ++i) text += std::to_string(i * 7919 % 100003) + ",";
    const Bytes good = DeflateBlob(AsBytes(text), 4096);
    const BlobLayout layout = ReadBlobLayout(good.data(), good.size());
    ASSERT_GT(layout.streams.size(), 200u);
    Bytes bad = good;
    bad[layout.streams[150].packedOffset + 7] ^= 0x5A;
    bad[layout.streams[40].packedOffset + 7] ^= 0x5A;
    std::string firstError;
    try {
        InflateBlob(bad.data(), bad.size());
    } catch (const BlobError& e) {
        firstError = e.what();
    }
    ASSERT_NE(firstError.find("chunk 41 of"), std::string::npos) << firstError;

    for (int round = 0; round < 10; ++round) {
        TableStreamHelper helper;
        std::thread serving([&] { helper.Serve(); });
        EXPECT_EQ(InflateBlob(good.data(), good.size(), helper).ToVector(), AsBytes(text));
        try {
            InflateBlob(bad.data(), bad.size(), helper);
            ADD_FAILURE() << "a damaged blob inflated";
        } catch (const BlobError& e) {
            EXPECT_EQ(e.what(), firstError);
        }
        helper.Close();
        serving.join();
    }
}

// The stop table's blob given compressed is read from there, not from the source; a damaged
// chunk fails the stop table alone.
TEST(Loaders, TheStopTableComesFromItsCompressedBlob) {
    const Streams streams = MakeStreams(60, 25);
    const Bytes good = DeflateBlob(AsBytes(streams.byBlob.at("STRAIN")), 2048);
    ASSERT_GT(ReadBlobLayout(good.data(), good.size()).streams.size(), 10u);
    Bytes bad = good;
    bad[bad.size() - 100] ^= 0x5A;
    for (const Bytes* blob : {&good, static_cast<const Bytes*>(&bad)}) {
        StoredTables tables;
        LoadFlags flags;
        TimetableLoader::Options options;
        BlobSource inner = SourceOf(streams);
        options.source = [&](std::string_view name) {
            if (name == "STrain") throw BlobError("the stops were asked of the source");
            return inner(name);
        };
        options.compressed = [&](std::string_view name) {
            if (name != "STrain") throw BlobError("asked for " + std::string(name));
            return std::span<const unsigned char>(*blob);
        };
        TimetableLoader loader(tables, flags, options);
        loader.Start();
        EXPECT_TRUE(loader.WaitFor(LoadTable::KMPy));
        EXPECT_TRUE(loader.WaitFor(LoadTable::KMList));
        EXPECT_TRUE(loader.WaitFor(LoadTable::KMSM));
        if (blob == &good) {
            EXPECT_TRUE(loader.WaitFor(LoadTable::KMTrain)) << loader.Error(LoadTable::KMTrain);
            EXPECT_EQ(tables.KMTrain.RecordCount(), 60u * 25u);
        } else {
            EXPECT_FALSE(loader.WaitFor(LoadTable::KMTrain));
            EXPECT_NE(loader.Error(LoadTable::KMTrain).find("Blob chunk"), std::string::npos)
                << loader.Error(LoadTable::KMTrain);
        }
    }
}

// The user-interface thread polls the flags while both loaders run and reads each table as
// soon as its flag says so. Under ThreadSanitizer this fails if a flag were set before the
// table was complete or without release/acquire ordering.
TEST(Loaders, ReadersSeeCompleteTablesOnceTheirFlagIsSet) {
    const Streams streams = MakeStreams(60, 25);
    for (int round = 0; round < 20; ++round) {
        StoredTables tables;
        LoadFlags flags;
        TimetableLoader::Options options;
        options.source = SourceOf(streams);
        TimetableLoader loader(tables, flags, options);
        loader.Start();

        std::set<LoadTable> seen;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (seen.size() < 4 && std::chrono::steady_clock::now() < deadline) {
            if (!seen.count(LoadTable::KMTrain) && flags.Loaded(LoadTable::KMTrain)) {
                ASSERT_EQ(tables.KMTrain.RecordCount(), 1500u);
                ASSERT_EQ(tables.KMTrain.IndexName(), "SIDNo");
                tables.KMTrain.Last();
                ASSERT_EQ(tables.KMTrain.FieldByName("ID").AsString(), "K1059");
                ASSERT_EQ(tables.KMTrain.FieldByName("S_No").AsInteger(), 25);
                seen.insert(LoadTable::KMTrain);
            }
            if (!seen.count(LoadTable::KMPy) && flags.Loaded(LoadTable::KMPy)) {
                ASSERT_EQ(tables.KMPy.RecordCount(), 25u);
                ASSERT_TRUE(tables.KMPy.Locate("Shortcode", "Z24"));
                seen.insert(LoadTable::KMPy);
            }
            if (!seen.count(LoadTable::KMList) && flags.Loaded(LoadTable::KMList)) {
                ASSERT_EQ(tables.KMList.RecordCount(), 60u);
                ASSERT_EQ(tables.KMList.IndexName(), "SID");
                seen.insert(LoadTable::KMList);
            }
            if (!seen.count(LoadTable::KMSM) && flags.Loaded(LoadTable::KMSM)) {
                ASSERT_EQ(tables.KMSM.RecordCount(), 13u);
                ASSERT_EQ(tables.KMSM.IndexName(), "SStation");
                seen.insert(LoadTable::KMSM);
            }
            std::this_thread::yield();
        }
        ASSERT_EQ(seen.size(), 4u) << "round " << round;
    }
}

TEST(Loaders, WaitForBlocksUntilThatTableIsDone) {
    const Streams streams = MakeStreams(5, 4);
    StoredTables tables;
    LoadFlags flags;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    BlobSource inner = SourceOf(streams);
    TimetableLoader::Options options;
    options.source = [&](std::string_view name) {
        if (name == "STrain") released.wait();  // the stop table is held back
        return inner(name);
    };
    TimetableLoader loader(tables, flags, options);
    EXPECT_FALSE(loader.WaitFor(LoadTable::KMPy)) << "nothing to wait for before Start";
    loader.Start();

    EXPECT_TRUE(loader.WaitFor(LoadTable::KMPy));
    EXPECT_TRUE(loader.WaitFor(LoadTable::KMSM));
    EXPECT_TRUE(loader.Finished(LoadTable::KMList));
    EXPECT_FALSE(loader.Finished(LoadTable::KMTrain));
    EXPECT_FALSE(flags.Loaded(LoadTable::KMTrain));

    auto waiter =
        std::async(std::launch::async, [&] { return loader.WaitFor(LoadTable::KMTrain); });
    EXPECT_EQ(waiter.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    release.set_value();
    EXPECT_TRUE(waiter.get());
    EXPECT_EQ(tables.KMTrain.RecordCount(), 20u);
}

TEST(Loaders, FailedTablesAreReportedByNameAndLeftEmpty) {
    Streams streams = MakeStreams(8, 5);
    // STrain is missing, SPY is damaged in its compressed form, SList holds a bad integer and
    // SM is a stream of the wrong table. Each failure must be reported for its own table.
    streams.byBlob.erase("STRAIN");
    Bytes badPy = Compress(streams.byBlob["SPY"]);
    badPy[badPy.size() / 2] ^= 0x5A;
    std::string& list = streams.byBlob["SLIST"];
    const std::size_t at = list.rfind("\"400\"");
    ASSERT_NE(at, std::string::npos);
    list.replace(at, 5, "\"4x0\"");
    streams.byBlob["SM"] = WriteTableStream(KMPyFields(), KMPyIndexes(), {{"a", "A"}});

    StoredTables tables;
    LoadFlags flags;
    Recorder rec;
    rec.flags = &flags;
    BlobSource inner = SourceOf(streams);
    TimetableLoader::Options options;
    options.source = [&](std::string_view name) -> BlobBytes {
        if (name == "SPY") return InflateBlob(badPy.data(), badPy.size());
        return inner(name);
    };
    options.onEvent = rec.Callback();
    TimetableLoader loader(tables, flags, options);
    loader.Start();
    for (LoadTable t : {LoadTable::KMPy, LoadTable::KMList, LoadTable::KMSM, LoadTable::KMTrain})
        EXPECT_FALSE(loader.WaitFor(t)) << LoadTableName(t);
    loader.Join();

    ASSERT_EQ(rec.events.size(), 4u) << "a failed table must not stop the ones after it";
    for (const LoadEvent& e : rec.events) {
        EXPECT_FALSE(e.ok) << LoadTableName(e.table);
        EXPECT_EQ(e.records, 0u);
        EXPECT_FALSE(e.error.empty());
        EXPECT_EQ(loader.Error(e.table), e.error);
    }
    EXPECT_NE(rec.Find(LoadTable::KMTrain)->error.find("STrain"), std::string::npos);
    EXPECT_NE(rec.Find(LoadTable::KMList)->error.find("4x0"), std::string::npos);
    EXPECT_NE(rec.Find(LoadTable::KMSM)->error.find("Gp"), std::string::npos);
    EXPECT_EQ(flags.PyLoaded.load(), 0);
    EXPECT_EQ(flags.ListLoaded.load(), 0);
    EXPECT_EQ(flags.GroupsLoaded.load(), 0);
    EXPECT_EQ(flags.StopsLoaded.load(), 0);
    // KMList failed after some records were appended: nothing of it may remain.
    EXPECT_EQ(tables.KMList.RecordCount(), 0u);
    EXPECT_EQ(tables.KMSM.RecordCount(), 0u);
    EXPECT_TRUE(tables.KMSM.Fields().empty());
}

TEST(Loaders, AStreamWithoutTheExpectedIndexIsAFailure) {
    Streams streams = MakeStreams(3, 3);
    // A KMList stream whose index block lacks SID: a query walking it would get load order.
    Rows rows = {{"K1", "7", "a", "b", "06:00", "07:00", "1:0", "10", "", "", "", ""}};
    streams.byBlob["SLIST"] = WriteTableStream(KMListFields(), {}, rows);
    StoredTables tables;
    LoadFlags flags;
    TimetableLoader::Options options;
    options.source = SourceOf(streams);
    TimetableLoader loader(tables, flags, options);
    loader.Start();
    EXPECT_FALSE(loader.WaitFor(LoadTable::KMList));
    EXPECT_NE(loader.Error(LoadTable::KMList).find("SID"), std::string::npos);
    EXPECT_TRUE(loader.WaitFor(LoadTable::KMSM));
    EXPECT_TRUE(loader.WaitFor(LoadTable::KMTrain));
}

TEST(Loaders, AThrowingObserverDoesNotStopTheLoads) {
    const Streams streams = MakeStreams(3, 3);
    StoredTables tables;
    LoadFlags flags;
    std::atomic<int> calls{0};
    TimetableLoader::Options options;
    options.source = SourceOf(streams);
    options.onEvent = [&](const LoadEvent&) {
        ++calls;
        throw std::runtime_error("observer failed");
    };
    TimetableLoader loader(tables, flags, options);
    loader.Start();
    for (LoadTable t : {LoadTable::KMPy, LoadTable::KMList, LoadTable::KMSM, LoadTable::KMTrain})
        EXPECT_TRUE(loader.WaitFor(t));
    loader.Join();
    EXPECT_EQ(calls.load(), 4);
}

TEST(Loaders, DestroyingTheLoaderJoinsItsThreads) {
    const Streams streams = MakeStreams(30, 10);
    std::atomic<int> finished{0};
    {
        StoredTables tables;
        LoadFlags flags;
        TimetableLoader::Options options;
        BlobSource inner = SourceOf(streams);
        options.source = [&](std::string_view name) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            return inner(name);
        };
        options.onEvent = [&](const LoadEvent&) { ++finished; };
        TimetableLoader loader(tables, flags, options);
        loader.Start();
    }  // the tables die here, after the loader
    EXPECT_EQ(finished.load(), 4);

    // Never started: destruction is immediate.
    StoredTables tables;
    LoadFlags flags;
    TimetableLoader idle(tables, flags, {SourceOf(streams), {}});
}

TEST(Loaders, TableNamesBlobsAndIndexes) {
    EXPECT_EQ(LoadTableName(LoadTable::KMTrain), "KMTrain");
    EXPECT_EQ(LoadTableBlob(LoadTable::KMTrain), "STrain");
    EXPECT_EQ(LoadTableBlob(LoadTable::KMList), "SList");
    EXPECT_EQ(LoadTableIndex(LoadTable::KMSM), "SStation");
    EXPECT_EQ(LoadTableIndex(LoadTable::KMPy), "");
    LoadFlags flags;
    EXPECT_EQ(&flags.For(LoadTable::KMSM), &flags.GroupsLoaded);
    EXPECT_EQ(&flags.For(LoadTable::KMTrain), &flags.StopsLoaded);
}

}  // namespace
}  // namespace korvel
