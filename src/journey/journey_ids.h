// The journey planner's numbers: stations and trains are the typed timetable's own; routes
// (trains with identical stops and offsets) are the planner's.
#pragma once

#include "timetable/ids.h"

namespace korvel {

using StationIdx = StationId;
using TrainIdx = TrainId;
using RouteIdx = Idx<struct RouteTag>;

inline constexpr StationIdx kNoStation = StationId::None();

}  // namespace korvel
