#include "query/stop_index.h"

namespace korvel {

StopIndex::StopIndex(std::shared_ptr<const Timetable> timetable) : tt_(std::move(timetable)) {}

StopIndex::StopIndex(const StoredTables& tables) : tt_(std::make_shared<const Timetable>(tables)) {}

std::uint32_t StopIndex::StationId(std::string_view name) const {
    const korvel::StationId s = tt_->FindStation(name);
    return s.IsNone() || tt_->StopsAt(s).empty() ? kNoStation : s.Value();
}

}  // namespace korvel
