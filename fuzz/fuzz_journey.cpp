// The journey planner with arbitrary station pairs, windows, change limits and minimums on
// the embedded timetable. Every answer must be sound: options out of range give nothing;
// otherwise the journeys are sorted by departure then arrival, none beats another, each
// leaves within the window, changes within the limit and allows its minimum at every change,
// and its summary matches its legs.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "fuzz_timetable.h"
#include "journey/planner.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

std::string StationText(FuzzedDataProvider& in) {
    const auto& names = korvel::fuzz::FuzzStationNames();
    if (!names.empty() && in.ConsumeIntegralInRange(0, 7) != 0) {
        return names[in.ConsumeIntegralInRange<std::size_t>(0, names.size() - 1)];
    }
    return in.ConsumeRandomLengthString(16);
}

bool Beats(const korvel::Journey& a, const korvel::Journey& b) {
    const bool noWorse = a.depart >= b.depart && a.arrive <= b.arrive && a.transfers <= b.transfers;
    const bool better = a.depart > b.depart || a.arrive < b.arrive || a.transfers < b.transfers;
    return noWorse && better;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    korvel::StoredTables& tables = korvel::fuzz::FuzzTimetable();
    static const auto index = std::make_unique<korvel::JourneyIndex>(tables);
    FuzzedDataProvider in(data, size);

    const std::string from = StationText(in);
    const std::string to = StationText(in);
    korvel::JourneyOptions o;
    o.windowStart = in.ConsumeIntegralInRange(-60, 1500);
    o.windowEnd = in.ConsumeBool() ? o.windowStart + in.ConsumeIntegralInRange(0, 180)
                                   : in.ConsumeIntegralInRange(-60, 1500);
    o.maxTransfers = in.ConsumeIntegralInRange(-1, 4);
    o.minTransfer = in.ConsumeIntegralInRange(-10, 1500);
    o.cityTransfer = in.ConsumeIntegralInRange(-10, 1500);
    o.windowOf =
        in.ConsumeBool() ? korvel::JourneyWindowOf::Arrival : korvel::JourneyWindowOf::Departure;
    // An end before the start is on the next day.
    const int windowLast = o.windowEnd >= o.windowStart ? o.windowEnd : o.windowEnd + 1440;
    const bool valid = korvel::CheckJourneyOptions(o) == korvel::JourneyOptionError::None;

    const auto js = korvel::FindJourneys(*index, tables, from, to, o);
    if (!valid) Check(js.empty());
    for (std::size_t i = 0; i < js.size(); ++i) {
        const korvel::Journey& j = js[i];
        Check(!j.legs.empty() && j.transfers + 1 == static_cast<int>(j.legs.size()));
        Check(j.transfers <= o.maxTransfers);
        const int anchor = o.windowOf == korvel::JourneyWindowOf::Departure ? j.depart : j.arrive;
        Check(anchor >= o.windowStart && anchor <= windowLast);
        Check(j.depart == j.legs.front().depart && j.arrive == j.legs.back().arrive);
        Check(j.minutes == j.arrive - j.depart && j.minutes >= 0);
        int km = 0;
        for (std::size_t n = 0; n < j.legs.size(); ++n) {
            const korvel::JourneyLeg& l = j.legs[n];
            Check(l.arrive >= l.depart && l.row.fromStopNo < l.row.toStopNo && !l.train.IsNone());
            km += l.Distance();
            if (n + 1 < j.legs.size()) {
                const korvel::JourneyLeg& next = j.legs[n + 1];
                Check(l.wait == next.depart - l.arrive);
                Check(l.wait >= (l.toStation == next.fromStation ? o.minTransfer : o.cityTransfer));
            }
        }
        Check(km == j.distance);
        if (i > 0) {
            const korvel::Journey& p = js[i - 1];
            Check(p.depart < j.depart || (p.depart == j.depart && p.arrive <= j.arrive));
        }
        // Pareto: none beats another (the answer is small, the pairwise check cheap).
        for (const korvel::Journey& k : js) Check(!Beats(k, j));
    }
    return 0;
}
