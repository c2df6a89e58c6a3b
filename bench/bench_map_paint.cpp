// Painting the map with QPainter into a 1600x1000 image at 1x: the whole network as the
// backdrop (what a frame of the window's map costs at least; the budget is one frame, 16 ms),
// and Z281's whole scene over its backdrop.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdlib>
#include <memory>

#include "bench_data.h"
#include "bench_map.h"
#include "ui/map/map_painter.h"
#include "views/map_scene.h"

namespace korvel::bench {
namespace {

// Fonts need a GUI application; one, offscreen, for the whole run.
void EnsureGuiApplication() {
    static std::unique_ptr<QGuiApplication> app = [] {
        if (QGuiApplication::instance()) return std::unique_ptr<QGuiApplication>();
        if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int argc = 1;
        static char name[] = "korvel-bench";
        static char* argv[] = {name, nullptr};
        return std::make_unique<QGuiApplication>(argc, argv);
    }();
    (void)app;
}

void BM_PaintMap(benchmark::State& state, bool wholeScene) {
    DataSet& d = Data(1);
    const StationCoords* coords = MapCoords();
    const std::string id = wholeScene ? Z281(d) : std::string();
    if (coords == nullptr || (wholeScene && id.empty())) {
        state.SkipWithError("no station coordinates or no Z281 in this timetable");
        return;
    }
    EnsureGuiApplication();
    const MapNetwork network(*d.typed, *coords);
    std::vector<RouteLeg> legs;
    if (wholeScene) legs.push_back(TrainLeg(*d.typed, id));
    // Without a route the view fits the whole network.
    const MapScene scene = BuildMapScene(network, legs);
    QImage image(scene.width, scene.height, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        image.fill(Qt::white);
        QPainter painter(&image);
        if (wholeScene) {
            ui::PaintMapScene(painter, scene);
        } else {
            ui::PaintMapBackdrop(painter, scene);
        }
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["backdrop_segments"] = static_cast<double>(scene.backdropFrom.size());
}

}  // namespace

void RegisterMapPaintBenchmarks() {
    benchmark::RegisterBenchmark("Map/paint_whole_backdrop_1600x1000", BM_PaintMap, false)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Map/paint_scene_Z281_1600x1000", BM_PaintMap, true)
        ->Unit(benchmark::kMillisecond);
}

}  // namespace korvel::bench
