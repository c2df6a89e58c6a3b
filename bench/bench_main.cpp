// korvel-bench: start-up, load and query timings of the timetable engine at the timetable's
// own size and ten times that size, beside an SQLite database answering the same queries.
//
//   korvel-bench [--streams=DIR] [Google Benchmark flags]
//
// DIR (or the KORVEL_BENCH_STREAMS environment variable) holds SPY/SLIST/STRAIN/SM.stream;
// without it the program's embedded timetable is measured.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "bench_data.h"
#include "bench_journey.h"
#include "bench_map.h"
#include "bench_sqlite.h"
#include "data/blob.h"
#include "query/queries.h"
#include "timetable/timetable.h"
#include "views/detail_window.h"
#include "views/result_grid.h"

namespace korvel::bench {
namespace {

constexpr int kScales[] = {1, 10};

std::string Label(const char* what, int times) {
    return std::string(what) + "/" + std::to_string(times) + "x";
}

// --- loading -------------------------------------------------------------------------------

// The floor: plain zlib inflation of the four table blobs (each zlib stream of them),
// nothing else.
void BM_InflateAll(benchmark::State& state, int times) {
    DataSet& d = Data(times);
    std::size_t bytes = 0;
    for (auto _ : state) {
        bytes = 0;
        for (const auto& b : d.blobs) {
            const BlobLayout layout = ReadBlobLayout(b.data(), b.size());
            std::vector<unsigned char> out(layout.inflatedBytes);
            for (const BlobStream& s : layout.streams) {
                uLongf n = static_cast<uLongf>(s.inflatedBytes);
                if (uncompress(out.data() + s.inflatedOffset, &n, b.data() + s.packedOffset,
                               static_cast<uLong>(s.packedBytes)) != Z_OK) {
                    state.SkipWithError("zlib uncompress failed");
                    return;
                }
            }
            bytes += out.size();
            benchmark::DoNotOptimize(out.data());
        }
    }
    state.counters["MB"] = static_cast<double>(bytes) / 1e6;
}

// The program's own InflateBlob (libdeflate when built with it) of the four blobs, one after
// the other on one thread.
void BM_InflateBlobAll(benchmark::State& state, int times) {
    DataSet& d = Data(times);
    for (auto _ : state) {
        for (const auto& b : d.blobs) {
            std::vector<unsigned char> out = InflateBlob(b.data(), b.size());
            benchmark::DoNotOptimize(out.data());
        }
    }
}

void BM_LoadTable(benchmark::State& state, int times, LoadTable which) {
    DataSet& d = Data(times);
    const BlobSource source = d.Source();
    std::uint32_t records = 0;
    for (auto _ : state) {
        MemTable table;
        TableStreamFormat format;
        records = LoadTableFromBlob(which, table, format, source);
        state.PauseTiming();
        { MemTable gone = std::move(table); }
        state.ResumeTiming();
    }
    state.counters["records"] = records;
}

// Both loader threads until all four tables are ready, as the program starts; `checked`
// with every check a timetable folder passes (the embedded timetable is spared them);
// `typed` with the typed timetable built from them, which every query then reads.
void BM_StartUp(benchmark::State& state, int times, bool checked, bool typed) {
    DataSet& d = Data(times);
    for (auto _ : state) {
        auto tables = std::make_unique<StoredTables>();
        LoadFlags flags;
        std::shared_ptr<const Timetable> timetable;
        {
            TimetableLoader::Options options;
            options.source = d.Source();
            options.compressed = d.Compressed();
            options.strict = checked;
            options.typed = typed;
            options.onEvent = [&timetable](const LoadEvent& e) {
                if (e.timetable) timetable = e.timetable;
            };
            TimetableLoader loader(*tables, flags, std::move(options));
            loader.Start();
            loader.Join();
        }
        if (!flags.Loaded(LoadTable::KMTrain) || !flags.Loaded(LoadTable::KMList) ||
            (typed && !timetable)) {
            state.SkipWithError("a table failed to load");
            break;
        }
        state.PauseTiming();
        timetable.reset();
        tables.reset();
        state.ResumeTiming();
    }
}

void BM_TimetableBuild(benchmark::State& state, int times) {
    DataSet& d = Data(times);
    for (auto _ : state) {
        Timetable timetable(d.tables);
        benchmark::DoNotOptimize(timetable.StopTotal());
    }
}

// --- queries -------------------------------------------------------------------------------

void BM_Direct(benchmark::State& state, int times, int pair, bool indexed) {
    DataSet& d = Data(times);
    const Picks& p = PicksFor(d);
    const std::string& from = pair == 0 ? p.beijing : pair == 1 ? p.guangzhou : p.plainFrom;
    const std::string& to = pair == 0 ? p.shanghai : pair == 1 ? p.wuhan : p.plainTo;
    StationSide fs;
    StationSide ts;
    ResultList out;
    for (auto _ : state) {
        SearchDirectTrains(d.tables, from, to, fs, ts, out, indexed ? d.index.get() : nullptr);
        benchmark::DoNotOptimize(out.rows.data());
    }
    state.counters["rows"] = static_cast<double>(out.size());
}

void BM_Train(benchmark::State& state, int times, bool prefix) {
    DataSet& d = Data(times);
    const Picks& p = PicksFor(d);
    ResultList out;
    for (auto _ : state) {
        QueryByTrainNumber(d.tables, prefix ? p.prefixKey : p.singleTrain, out, d.index.get());
        benchmark::DoNotOptimize(out.rows.data());
    }
    state.counters["rows"] = static_cast<double>(out.size());
}

void BM_Station(benchmark::State& state, int times, bool small, bool indexed) {
    DataSet& d = Data(times);
    const Picks& p = PicksFor(d);
    StationSide fs;
    StationSide ts;
    ResultList out;
    for (auto _ : state) {
        QueryStationTimetable(d.tables, small ? p.smallStation : p.beijing, fs, ts, out,
                              indexed ? d.index.get() : nullptr);
        benchmark::DoNotOptimize(out.rows.data());
    }
    state.counters["rows"] = static_cast<double>(out.size());
}

void BM_Transfer(benchmark::State& state, int times, bool indexed) {
    DataSet& d = Data(times);
    const Picks& p = PicksFor(d);
    StationSide fs;
    StationSide ts;
    TransferData data;
    for (auto _ : state) {
        TransferQuery(d.tables, p.beijing, p.urumqi, fs, ts, data,
                      indexed ? d.index.get() : nullptr);
        benchmark::DoNotOptimize(data.TransferList.data());
    }
    state.counters["stations"] = static_cast<double>(data.TransferList.size());
    state.counters["legs"] = static_cast<double>(data.FromStops.size() + data.ToStops.size());
}

void BM_Detail(benchmark::State& state, int times) {
    DataSet& d = Data(times);
    const Picks& p = PicksFor(d);
    DetailSection section;
    section.train = d.typed->FindTrain(p.longTrain);
    section.boarding = d.typed->FindStation(p.longTrainFirst);
    int rows = 0;
    for (auto _ : state) {
        std::optional<DetailWindowModel> m = DetailWindowModel::Build(*d.typed, section);
        rows = m ? m->StopRowCount() : 0;
        benchmark::DoNotOptimize(rows);
    }
    state.counters["stops"] = rows;
}

// Fill of the largest station result (北京) and a sort by one header label.
void BM_FillSort(benchmark::State& state, int times, int labelNumber) {
    DataSet& d = Data(times);
    const Picks& p = PicksFor(d);
    StationSide fs;
    StationSide ts;
    ResultList results;
    QueryStationTimetable(d.tables, p.beijing, fs, ts, results, d.index.get());
    const std::string empty;
    int shown = 0;
    for (auto _ : state) {
        ResultGrid grid;
        HeaderLabels labels = MainHeaderLabels();
        shown = FillResultGrid(results, FilterBoxes{}, QueryKindValue::Station, empty, empty, empty,
                               p.beijing, grid, labels);
        HeaderClicked(grid, labels, labelNumber);
        benchmark::DoNotOptimize(grid.ShownCount());
    }
    state.counters["rows"] = shown;
}

// --- SQLite ------------------------------------------------------------------------------

void BM_Sqlite(benchmark::State& state, int times, SqlQuery kind) {
    DataSet& d = Data(times);
    const Picks& p = PicksFor(d);
    SqliteTimetable& db = SqliteFor(d);
    SqlCase c = MakeCase(d, p, kind);
    std::vector<std::string> trains;
    for (auto _ : state) {
        trains = db.Run(c);
        benchmark::DoNotOptimize(trains.data());
    }
    // The same question to the engine: the same trains, and how much faster it answers.
    const SqlCheck check = CompareWithEngine(d, c, trains);
    if (!check.equal) {
        state.SkipWithError(("SQLite and the engine disagree: " + check.detail).c_str());
        return;
    }
    state.counters["rows"] = static_cast<double>(trains.size());
    state.counters["engine_us"] = check.engineMicros;
    state.counters["sqlite_us"] = check.sqliteMicros;
    state.counters["sqlite_over_engine"] =
        check.engineMicros > 0 ? check.sqliteMicros / check.engineMicros : 0;
}

void RegisterAll() {
    using benchmark::RegisterBenchmark;
    for (int x : kScales) {
        RegisterBenchmark(Label("Inflate/all4_zlib_floor", x).c_str(), BM_InflateAll, x);
        RegisterBenchmark(Label("Inflate/all4_InflateBlob", x).c_str(), BM_InflateBlobAll, x);
        for (LoadTable t :
             {LoadTable::KMPy, LoadTable::KMList, LoadTable::KMSM, LoadTable::KMTrain}) {
            RegisterBenchmark(Label(("Load/" + std::string(LoadTableName(t))).c_str(), x).c_str(),
                              BM_LoadTable, x, t);
        }
        RegisterBenchmark(Label("StartUp/two_loaders", x).c_str(), BM_StartUp, x, false, false);
        RegisterBenchmark(Label("StartUp/two_loaders_typed", x).c_str(), BM_StartUp, x, false,
                          true);
        RegisterBenchmark(Label("Timetable/build", x).c_str(), BM_TimetableBuild, x);
        RegisterBenchmark(Label("StartUp/two_loaders_folder_checks", x).c_str(), BM_StartUp, x,
                          true, false);
        const char* pairs[] = {"beijing-shanghai", "guangzhou-wuhan", "ungrouped"};
        // "own_timetable": without the program's index the query builds a typed timetable
        // of its own first (what a query right after a load would cost).
        for (int pr = 0; pr < 3; ++pr) {
            for (bool ix : {false, true}) {
                const std::string n =
                    std::string("Direct/") + pairs[pr] + (ix ? "/index" : "/own_timetable");
                RegisterBenchmark(Label(n.c_str(), x).c_str(), BM_Direct, x, pr, ix);
            }
        }
        RegisterBenchmark(Label("Train/single", x).c_str(), BM_Train, x, false);
        RegisterBenchmark(Label("Train/prefix", x).c_str(), BM_Train, x, true);
        for (bool small : {false, true}) {
            for (bool ix : {false, true}) {
                const std::string n = std::string("Station/") + (small ? "small" : "beijing") +
                                      (ix ? "/index" : "/own_timetable");
                RegisterBenchmark(Label(n.c_str(), x).c_str(), BM_Station, x, small, ix);
            }
        }
        RegisterBenchmark(Label("Transfer/beijing-urumqi/own_timetable", x).c_str(), BM_Transfer, x,
                          false);
        RegisterBenchmark(Label("Transfer/beijing-urumqi/index", x).c_str(), BM_Transfer, x, true);
        RegisterBenchmark(Label("Detail/long_train", x).c_str(), BM_Detail, x);
        RegisterBenchmark(Label("FillSort/beijing_by_distance", x).c_str(), BM_FillSort, x, 10);
        RegisterBenchmark(Label("FillSort/beijing_by_time", x).c_str(), BM_FillSort, x, 6);
        RegisterBenchmark(Label("SQLite/direct_beijing-shanghai", x).c_str(), BM_Sqlite, x,
                          SqlQuery::Direct);
        RegisterBenchmark(Label("SQLite/station_beijing", x).c_str(), BM_Sqlite, x,
                          SqlQuery::Station);
        RegisterBenchmark(Label("SQLite/train_single", x).c_str(), BM_Sqlite, x, SqlQuery::Train);
    }
}

}  // namespace
}  // namespace korvel::bench

int main(int argc, char** argv) {
    std::vector<char*> args;
    if (const char* env = std::getenv("KORVEL_BENCH_STREAMS")) korvel::bench::SetStreamsDir(env);
    for (int i = 0; i < argc; ++i) {
        if (i > 0 && std::strncmp(argv[i], "--streams=", 10) == 0) {
            korvel::bench::SetStreamsDir(argv[i] + 10);
        } else {
            args.push_back(argv[i]);
        }
    }
    int n = static_cast<int>(args.size());
    benchmark::Initialize(&n, args.data());
    korvel::bench::RegisterAll();
    korvel::bench::RegisterJourneyBenchmarks();
    korvel::bench::RegisterMapBenchmarks();
#ifdef KORVEL_BENCH_PAINT
    korvel::bench::RegisterMapPaintBenchmarks();
#endif
    benchmark::AddCustomContext(
        "streams", korvel::bench::StreamsDir().empty() ? "embedded" : korvel::bench::StreamsDir());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
