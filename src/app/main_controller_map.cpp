// The main-window controller: the railway map the train and journey windows draw.
#include "app/main_controller.h"
#include "app/map_data.h"

namespace korvel {

std::shared_ptr<const MapData> MainController::Map() {
    if (!TablesReadyForJourneys() || loadFailed_) return nullptr;
    if (!timetable_ || !timetable_->BuiltFrom(tables_))
        timetable_ = std::make_shared<const Timetable>(tables_);
    if (mapFor_ == timetable_.get()) return map_;
    mapFor_ = timetable_.get();
    map_.reset();
    // The places are read once a map is first asked for: a window that never shows one
    // costs nothing.
    if (std::optional<StationCoords> coords = LoadStationCoords(mapSource_, timetableFolder_)) {
        map_ = std::make_shared<const MapData>(timetable_, std::move(*coords));
    }
    return map_;
}

}  // namespace korvel
