// The journey planner's benchmarks (bench_journey.cpp).
#pragma once

namespace korvel::bench {

// Registers the Journey/... benchmarks at 1x and 10x.
void RegisterJourneyBenchmarks();

}  // namespace korvel::bench
