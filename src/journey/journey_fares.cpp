#include "journey/journey_fares.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>

#include "journey/journey_index.h"
#include "query/fare_tariff.h"
#include "query/query_rows.h"

namespace korvel {

namespace {

// The four classes' stored fare texts of one row.
std::array<std::string, 4> FareTexts(const Fares& f, std::uint32_t row) {
    return {f.classes[0].Text(row), f.classes[1].Text(row), f.classes[2].Text(row),
            f.classes[3].Text(row)};
}

// The train part of a fare request from train-list row `row`.
void FillTrainPart(FareRequest& r, const Timetable& tt, TrainIdx train) {
    const std::uint32_t row = tt.ListRow(train);
    r.trainNumber = tt.Number(train);
    r.trainType = tt.RowType(row);
    r.origin = tt.Name(tt.RowOrigin(row));
    r.trainKm = tt.RowDistance(row);
    r.trainFares = FareTexts(tt.TrainFares(), row);
}

void FillFromStop(FareRequest& r, const Timetable& tt, StopId s) {
    r.boardStation = tt.Name(tt.Station(s));
    r.boardStopNo = tt.StopNumber(s);
    r.boardKm = tt.Km(s);
    r.boardFares = FareTexts(tt.StopFares(), s.Value());
}

void FillToStop(FareRequest& r, const Timetable& tt, StopId s) {
    r.alightStation = tt.Name(tt.Station(s));
    r.alightStopNo = tt.StopNumber(s);
    r.alightKm = tt.Km(s);
    r.alightFares = FareTexts(tt.StopFares(), s.Value());
}

// The fares of a request whose train and stops are filled.
void PriceRequest(FareRequest& r) {
    r.spanKm = r.alightKm - r.boardKm;
    r.fares = {};
    FillFares(r);
}

}  // namespace

FareRequest LegRow(const Timetable& tt, TrainIdx train, std::uint32_t boardStop,
                   std::uint32_t alightStop) {
    const std::uint32_t first = tt.FirstStop(train).Value();
    FareRequest row;
    FillTrainPart(row, tt, train);
    FillFromStop(row, tt, StopId(first + boardStop));
    FillToStop(row, tt, StopId(first + alightStop));
    PriceRequest(row);
    return row;
}

std::int32_t LegFare(const Timetable& tt, TrainIdx train, std::uint32_t boardStop,
                     std::uint32_t alightStop, FareClass c) {
    const std::uint32_t first = tt.FirstStop(train).Value();
    ResultRow row;
    query_rows::FillTrainPart(row, tt, train);
    query_rows::FillFromStop(row, tt, StopId(first + boardStop));
    query_rows::FillToStop(row, tt, StopId(first + alightStop));
    query_rows::FillRowFares(row, tt);
    // A stored fare copied as it stands is shown as its text, which the column keeps when it
    // is not a plain list of values.
    const FareColumn& stored = tt.StopFares()[c];
    if (row.fareSource == FareSource::AlightingStop &&
        stored.State(row.toStop.Value()) == FareState::Odd) {
        return LowestTenths(stored.Text(row.toStop.Value()));
    }
    const FareValue& fare = row.fares[static_cast<int>(c)];
    std::int32_t lowest = kNoFare;
    for (std::uint8_t i = 0; i < fare.count; ++i) {
        if (fare.tenths[i] > 0 && (lowest == kNoFare || fare.tenths[i] < lowest))
            lowest = static_cast<std::int32_t>(fare.tenths[i]);
    }
    return lowest;
}

std::int32_t LowestTenths(std::string_view text) {
    std::int32_t lowest = kNoFare;
    while (!text.empty()) {
        const std::size_t slash = text.find('/');
        const double value = FareNumber(text.substr(0, slash));
        const std::int32_t tenths = static_cast<std::int32_t>(std::lround(value * 10.0));
        if (tenths > 0 && (lowest == kNoFare || tenths < lowest)) lowest = tenths;
        if (slash == std::string_view::npos) break;
        text.remove_prefix(slash + 1);
    }
    return lowest;
}

const std::string& FareText(const FareRequest& row, FareClass c) {
    switch (c) {
        case FareClass::HardSeat:
            return row.fares[0];
        case FareClass::SoftSeat:
            return row.fares[1];
        case FareClass::HardSleeper:
            return row.fares[2];
        case FareClass::SoftSleeper:
            break;
    }
    return row.fares[3];
}

const std::array<std::string, 4>& FareClassNames() {
    static const std::array<std::string, 4> names = {"\xD3\xB2\xD7\xF9", "\xC8\xED\xD7\xF9",
                                                     "\xD3\xB2\xCE\xD4", "\xC8\xED\xCE\xD4"};
    return names;
}

bool FareClassByName(std::string_view gbkName, FareClass& out) {
    const std::array<std::string, 4>& names = FareClassNames();
    for (std::size_t c = 0; c < names.size(); ++c) {
        if (names[c] == gbkName) {
            out = static_cast<FareClass>(c);
            return true;
        }
    }
    return false;
}

namespace {

bool SameFareColumn(const FareColumn& c, std::uint32_t x, std::uint32_t y) {
    if (c.State(x) != c.State(y)) return false;
    if (c.State(x) == FareState::Odd) return c.Text(x) == c.Text(y);
    const std::span<const std::int32_t> a = c.Tenths(x);
    const std::span<const std::int32_t> b = c.Tenths(y);
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

bool SameFares(const Fares& f, std::uint32_t x, std::uint32_t y) {
    for (const FareColumn& c : f.classes) {
        if (!SameFareColumn(c, x, y)) return false;
    }
    return true;
}

// Whether the tariff prices two trains of one route (same stations and stop count) alike on
// every span: it reads the number's first letter and whether it starts "G100", the type,
// origin, length and fares of the train, and the km, stop number and fares of both stops.
bool SamePricing(const Timetable& tt, TrainIdx a, TrainIdx b) {
    const std::string& na = tt.Number(a);
    const std::string& nb = tt.Number(b);
    if (na.substr(0, 1) != nb.substr(0, 1) ||
        (na.compare(0, 4, "G100") == 0) != (nb.compare(0, 4, "G100") == 0)) {
        return false;
    }
    const std::uint32_t ra = tt.ListRow(a);
    const std::uint32_t rb = tt.ListRow(b);
    if (tt.RowType(ra) != tt.RowType(rb) || tt.RowDistance(ra) != tt.RowDistance(rb) ||
        tt.RowOrigin(ra) != tt.RowOrigin(rb) || !SameFares(tt.TrainFares(), ra, rb)) {
        return false;
    }
    const std::uint32_t fa = tt.FirstStop(a).Value();
    const std::uint32_t fb = tt.FirstStop(b).Value();
    for (std::uint32_t q = 0; q < tt.StopCount(a); ++q) {
        const StopId sa(fa + q);
        const StopId sb(fb + q);
        if (tt.Km(sa) != tt.Km(sb) || tt.StopNumber(sa) != tt.StopNumber(sb) ||
            !SameFares(tt.StopFares(), fa + q, fb + q)) {
            return false;
        }
    }
    return true;
}

std::uint64_t Spans(std::uint64_t n) {
    return n * (n - 1) / 2;
}

}  // namespace

struct RouteFares::Shared {
    std::mutex pricing;
    std::unique_ptr<std::atomic<std::uint8_t>[]> ready;  // by span
    std::vector<std::int32_t> fares;
};

RouteFares::RouteFares(const JourneyIndex& ix, FareClass fareClass)
    : ix_(ix),
      class_(fareClass),
      groupOf_(ix.Typed().TrainCount(), 0),
      shared_(std::make_unique<Shared>()) {
    const Timetable& tt = ix.Typed();
    routeGroupFirst_.push_back(0);
    std::uint64_t spans = 0;
    for (RouteIdx r(0); r < RouteIdx(ix.RouteCount()); ++r) {
        const std::uint32_t n = ix.StopCount(r);
        const std::uint32_t firstGroup = static_cast<std::uint32_t>(groups_.size());
        const JourneyIndex::Trip* trips = ix.Trips(r);
        for (std::uint32_t j = 0; j < ix.TripCount(r); ++j) {
            const TrainIdx t = trips[j].train;
            std::uint32_t g = firstGroup;
            while (g < groups_.size() && !SamePricing(tt, groups_[g].train, t)) ++g;
            groupOf_[t.Value()] = g;
            if (g < groups_.size()) continue;
            groups_.push_back({r, t, n, spans});
            routeGroups_.push_back(g);
            spans += Spans(n);
        }
        routeGroupFirst_.push_back(static_cast<std::uint32_t>(routeGroups_.size()));
    }
    shared_->ready.reset(new std::atomic<std::uint8_t>[spans]);
    for (std::uint64_t i = 0; i < spans; ++i) shared_->ready[i].store(0, std::memory_order_relaxed);
    shared_->fares.assign(spans, kNoFare);
}

RouteFares::~RouteFares() = default;

std::uint64_t RouteFares::Span(const Group& g, std::uint32_t board, std::uint32_t alight) {
    return g.firstSpan + Spans(g.stops) - Spans(g.stops - board) + (alight - board - 1);
}

std::int32_t RouteFares::Fare(std::uint32_t group, std::uint32_t board,
                              std::uint32_t alight) const {
    const Group& g = groups_[group];
    const std::uint64_t span = Span(g, board, alight);
    if (shared_->ready[span].load(std::memory_order_acquire) != 0) return shared_->fares[span];
    return Price(g, board, alight, span);
}

std::int32_t RouteFares::PricedFare(std::uint32_t group, std::uint32_t board,
                                    std::uint32_t alight) const {
    const std::uint64_t span = Span(groups_[group], board, alight);
    if (shared_->ready[span].load(std::memory_order_acquire) != 0) return shared_->fares[span];
    return kNotPriced;
}

// A span priced as the grid prices it, once: the pricing is under the lock, the reading of a
// priced span is not.
std::int32_t RouteFares::Price(const Group& g, std::uint32_t board, std::uint32_t alight,
                               std::uint64_t span) const {
    std::lock_guard<std::mutex> lock(shared_->pricing);
    std::atomic<std::uint8_t>& ready = shared_->ready[span];
    if (ready.load(std::memory_order_relaxed) != 0) return shared_->fares[span];
    std::int32_t fare = kNoFare;
    if (ix_.CanBoard(g.route, board) && ix_.CanAlight(g.route, alight))
        fare = LegFare(ix_.Typed(), g.train, board, alight, class_);
    shared_->fares[span] = fare;
    ready.store(1, std::memory_order_release);
    return fare;
}

}  // namespace korvel
