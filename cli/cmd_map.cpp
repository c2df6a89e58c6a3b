// korvel-cli map: a train's or a journey's route drawn on the railway network, as SVG.
//
//   korvel-cli map train NUMBER --out FILE.svg
//   korvel-cli map journey FROM TO [journey options] [--pick N] --out FILE.svg
//
// The train and the journey are found as `train` and `journey` find them, with their
// messages and exit codes; the file is written as `--export` writes its files.
#include <optional>
#include <ostream>
#include <string>

#include "cli/cmd_query_common.h"
#include "cli/commands.h"
#include "data/decimal.h"
#include "journey/planner.h"
#include "views/grid_export.h"
#include "views/journey_window.h"
#include "views/map_scene.h"
#include "views/map_svg.h"

namespace korvel::cli {
namespace {

constexpr int kExitInput = 2;

struct MapArgs {
    std::string what;  // "train" or "journey"
    Args rest;         // the arguments for the train or the journey
    std::string outPath;
    int pick = 1;
};

std::optional<MapArgs> Parse(const Args& args, std::ostream& err) {
    auto fail = [&](const std::string& why) -> std::optional<MapArgs> {
        err << "korvel-cli map: " << why << "\n";
        return std::nullopt;
    };
    if (args.empty() || (args[0] != "train" && args[0] != "journey")) {
        return fail("expected 'train NUMBER' or 'journey FROM TO', then --out FILE.svg");
    }
    MapArgs m;
    m.what = args[0];
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        const std::size_t eq = a.find('=');
        const std::string name = a.starts_with("--") ? a.substr(0, eq) : a;
        if (name != "--out" && name != "--pick") {
            m.rest.push_back(a);
            continue;
        }
        std::optional<std::string> value;
        if (eq != std::string::npos) {
            value = a.substr(eq + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        }
        if (!value || value->empty()) return fail(name + " needs a value");
        if (name == "--out") {
            m.outPath = *value;
            continue;
        }
        if (m.what != "journey") return fail("--pick is for a journey");
        const std::optional<int> n = WholeInteger<int>(*value);
        if (!n || *n < 1) return fail("--pick must be a journey's number, 1 or more");
        m.pick = *n;
    }
    if (m.outPath.empty()) return fail("--out FILE.svg is needed");
    if (m.what == "train") {
        if (m.rest.size() != 1 || m.rest[0].starts_with("--")) {
            return fail("expected one train number: map train NUMBER --out FILE.svg");
        }
    }
    return m;
}

int WriteMap(const std::string& path, const MapScene& scene, std::ostream& out, std::ostream& err) {
    if (auto error = WriteExportFile(path, MapSvg(scene))) {
        err << "korvel-cli: " << *error << "\n";
        return kExitFailure;
    }
    out << "map of " << ToUtf8(scene.title) << " written to " << path << " (" << scene.stops.size()
        << " stations on the map";
    if (!scene.unlocated.empty()) {
        out << ", " << scene.unlocated.size() << " without coordinates:";
        for (const std::string& name : scene.unlocated) out << " " << ToUtf8(name);
    }
    out << ")\n";
    return kExitOk;
}

}  // namespace

int RunMapWith(const Args& args, const BlobSource& source, std::ostream& out, std::ostream& err) {
    const std::optional<MapArgs> m = Parse(args, err);
    if (!m) return kExitUsage;
    std::string coordsError;
    const std::optional<StationCoords> coords = LoadStationCoords(source, &coordsError);
    auto noCoords = [&]() {
        err << "korvel-cli map: "
            << (coordsError.empty() ? "this timetable has no station coordinates" : coordsError)
            << "\n";
        return kExitFailure;
    };

    if (m->what == "train") {
        return WithTrain("map", m->rest[0], source, err,
                         [&](StoredTables& tables, const std::string& id) {
                             if (!coords) return noCoords();
                             const Timetable tt(tables);
                             const MapNetwork network(tt, *coords);
                             const std::vector<RouteLeg> legs = {TrainLeg(tt, id)};
                             return WriteMap(m->outPath, BuildMapScene(network, legs), out, err);
                         });
    }
    return WithJourneys(
        m->rest, source, err, [&](const Timetable& tt, const JourneyWindowModel& model) {
            if (model.JourneyCount() == 0) {
                err << "korvel-cli map: " << ToUtf8(model.StatusText()) << "\n";
                return kExitFailure;
            }
            if (m->pick > model.JourneyCount()) {
                err << "korvel-cli map: --pick " << m->pick << ": there are "
                    << model.JourneyCount() << " journeys\n";
                return kExitInput;
            }
            if (!coords) return noCoords();
            const MapNetwork network(tt, *coords);
            std::vector<RouteLeg> legs;
            for (const JourneyLeg& leg : model.JourneyAt(m->pick - 1).legs) {
                legs.push_back(
                    TrainLeg(tt, tt.Number(leg.train), leg.row.fromStopNo, leg.row.toStopNo));
            }
            return WriteMap(m->outPath, BuildMapScene(network, legs), out, err);
        });
}

int RunMap(const Args& args, std::ostream& out, std::ostream& err) {
    return RunMapWith(args, {}, out, err);
}

}  // namespace korvel::cli
