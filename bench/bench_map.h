#pragma once

namespace korvel::bench {

// Registers the Map/... benchmarks (the timetable as it is, 1x).
void RegisterMapBenchmarks();

}  // namespace korvel::bench
