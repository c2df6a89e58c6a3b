// Map timings on the timetable as it is: the network of every consecutive pair of stops, the
// scene of Z281 on a 1600x1000 canvas with that network as its backdrop (one frame's budget
// is 16 ms; the scene should take well under 5), and its SVG.
#include "bench_map.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <optional>

#include "bench_data.h"
#include "data/regular_file.h"
#include "resources/resources.h"
#include "views/map_scene.h"
#include "views/map_svg.h"

namespace korvel::bench {
namespace {

// The places beside the streams measured; nothing when they have none.
const std::optional<StationCoords>& Coords() {
    static const std::optional<StationCoords> coords = []() -> std::optional<StationCoords> {
        try {
            std::vector<unsigned char> bytes;
            if (StreamsDir().empty()) {
                bytes = ReadBlob("COORDS");
            } else {
                auto file = ReadRegularFileIfPresent(
                    (std::filesystem::path(StreamsDir()) / "COORDS.stream").string(), 64u << 20);
                if (!file) return std::nullopt;
                bytes = std::move(*file);
            }
            return ReadCoordsStream(
                std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
        } catch (const std::exception&) {
            return std::nullopt;
        }
    }();
    return coords;
}

}  // namespace

const StationCoords* MapCoords() {
    return Coords() ? &*Coords() : nullptr;
}

// The ID of the train numbered Z281 (it runs as "Z281/Z284").
std::string Z281(DataSet& d) {
    MemTable& list = d.tables.KMList;
    list.SetIndexName("SID");
    for (list.First(); !list.Eof(); list.Next()) {
        const std::string id = list.FieldByName("ID").AsString();
        if (id == "Z281" || id.starts_with("Z281/")) return id;
    }
    return {};
}

namespace {

void BM_MapNetwork(benchmark::State& state) {
    DataSet& d = Data(1);
    if (!Coords()) {
        state.SkipWithError("no station coordinates with this timetable");
        return;
    }
    std::size_t segments = 0;
    for (auto _ : state) {
        const MapNetwork network(*d.typed, *Coords());
        segments = network.SegmentCount();
        benchmark::DoNotOptimize(segments);
    }
    state.counters["segments"] = static_cast<double>(segments);
}

void BM_MapScene(benchmark::State& state, bool svg) {
    DataSet& d = Data(1);
    const std::string id = Z281(d);
    if (!Coords() || id.empty()) {
        state.SkipWithError("no station coordinates or no Z281 in this timetable");
        return;
    }
    const MapNetwork network(*d.typed, *Coords());
    const std::vector<RouteLeg> legs = {TrainLeg(*d.typed, id)};
    std::size_t drawn = 0, bytes = 0;
    for (auto _ : state) {
        const MapScene scene = BuildMapScene(network, legs);
        drawn = scene.backdropFrom.size();
        if (svg) {
            const std::string text = MapSvg(scene);
            bytes = text.size();
            benchmark::DoNotOptimize(text.data());
        }
        benchmark::DoNotOptimize(scene.stops.data());
    }
    state.counters["backdrop_segments"] = static_cast<double>(drawn);
    if (svg) state.counters["svg_bytes"] = static_cast<double>(bytes);
}

}  // namespace

void RegisterMapBenchmarks() {
    benchmark::RegisterBenchmark("Map/network_build", BM_MapNetwork)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Map/scene_Z281_with_backdrop", BM_MapScene, false)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Map/scene_and_svg_Z281", BM_MapScene, true)
        ->Unit(benchmark::kMillisecond);
}

}  // namespace korvel::bench
