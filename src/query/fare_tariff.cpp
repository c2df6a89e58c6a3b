#include "query/fare_tariff.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

#include "data/clock.h"
#include "data/decimal.h"
#include "data/run_time.h"

namespace korvel {

namespace {

std::string IntText(std::int32_t v) {
    return std::to_string(v);
}

constexpr double kMinBase = 1.1722;     // base fare of the shortest charged distance
constexpr double kEmuRate = 0.3097222;  // yuan per km of a D train's second class
constexpr double kSoftSeatRatio = 1.199243;
constexpr double kSoftUpperRatio = 1.91651809;
constexpr double kSoftLowerRatio = 2.155609769;

bool HasExpressPart(int nType) {
    return nType >= 4 && nType <= 7;
}

}  // namespace

const std::vector<DistanceBand>& DistanceBands() {
    static const std::vector<DistanceBand> bands = [] {
        struct Row {
            std::int32_t lower, upper, step, count;
        };
        const Row rows[] = {{1, 200, 10, 20},     {201, 400, 20, 10},   {401, 700, 30, 10},
                            {701, 1100, 40, 10},  {1101, 1600, 50, 10}, {1601, 2200, 60, 10},
                            {2201, 2900, 70, 10}, {2901, 3700, 80, 10}, {3701, 4600, 90, 10},
                            {4601, 6000, 100, 14}};
        std::vector<DistanceBand> out;
        for (const Row& r : rows) {
            DistanceBand b;
            b.Lower = r.lower;
            b.Upper = r.upper;
            b.Step = r.step;
            b.Count = r.count;
            for (std::int32_t j = 0; j < r.count; ++j) {
                b.Intervals.emplace_back(r.lower + j * r.step, r.lower + (j + 1) * r.step - 1);
            }
            out.push_back(std::move(b));
        }
        return out;
    }();
    return bands;
}

const std::vector<RateBand>& RateBands() {
    static const std::vector<RateBand> bands = {{1, 200, 0.05861},      {201, 500, 0.052749},
                                                {501, 1000, 0.046888},  {1001, 1500, 0.041027},
                                                {1501, 2500, 0.035166}, {2501, 6000, 0.029305}};
    return bands;
}

std::string ElapsedText(std::string_view from, std::string_view to) {
    if (from == to) return "0";
    const std::int64_t diff = std::int64_t{RunTimeMinutes(to, 2)} - RunTimeMinutes(from, 2);
    const int d = static_cast<int>(std::clamp<std::int64_t>(diff, -2147483647, 2147483647));
    const int h = d / 60;
    const int m = d - 60 * h;
    std::string out;
    if (h == 0) {
        out = "00:";
    } else if (h >= 1 && h <= 9) {
        out = "0" + IntText(h) + ":";
    } else {
        out = IntText(h) + ":";
    }
    if (m == 0) {
        out += "00";
    } else if (m >= 1 && m <= 9) {
        out += "0" + IntText(m);
    } else {
        out += IntText(m);
    }
    return out;
}

std::int32_t RoundHalfUp(double x) {
    // Values beyond the integer range (only from absurd fare texts) stay at its ends.
    if (!(x > -2147483648.0)) return std::numeric_limits<std::int32_t>::min();
    if (!(x < 2147483647.0)) return std::numeric_limits<std::int32_t>::max();
    const double t = std::trunc(x);
    const auto ti = static_cast<std::int32_t>(t);
    return (x - t >= 0.5) ? ti + 1 : ti;
}

double BaseFare(int distanceKm, int* adjusted) {
    int d = distanceKm;
    for (const DistanceBand& band : DistanceBands()) {
        if (band.Lower <= d && d <= band.Upper) {
            for (const auto& [a, b] : band.Intervals) {
                if (a <= d && d <= b) {
                    d = (a - 1 + b) / 2;
                    break;
                }
            }
            break;
        }
    }
    if (d < 20) d = 20;
    double sum = 0.0;
    for (const RateBand& r : RateBands()) {
        if (r.Upper >= d) {
            sum += (d - r.Lower + 1) * r.Rate;
            break;
        }
        sum += (r.Upper - r.Lower + 1) * r.Rate;
    }
    if (adjusted) *adjusted = d;
    return sum;
}

double FareNumber(std::string_view text) {
    return DecimalNumber(text).value_or(0.0);
}

double PriceValue(std::string_view text, int part) {
    if (text.empty() || text == "-") return 0.0;
    const std::size_t slash = text.find('/');
    switch (part) {
        case 0:
            return FareNumber(text);
        case 1:
            return slash == std::string_view::npos ? 0.0 : FareNumber(text.substr(0, slash));
        case 2:
        case 3: {
            const std::string_view after =
                slash == std::string_view::npos ? std::string_view() : text.substr(slash + 1, 30);
            const std::size_t second = after.find('/');
            if (part == 2) return FareNumber(after.substr(0, second));
            if (second == std::string_view::npos) return FareNumber(after);
            return FareNumber(after.substr(second + 1, 30));
        }
        default:
            return 0.0;
    }
}

double TwoPercentPart(double base) {
    double p = base * 0.02;
    const double tenths = p * 10.0;
    if (tenths != std::trunc(tenths)) p = (std::trunc(tenths) + 1.0) * 0.1;
    return p;
}

std::string DecimalText(double value) {
    char buf[64];
    auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
    if (ec != std::errc()) return {};
    return std::string(buf, ptr);
}

void FillFares(ResultRow& row) {
    if (row.StartStation == row.FromStation &&
        (row.ToP1 != "-" || row.ToP2 != "-" || row.ToP3 != "-" || row.ToP4 != "-")) {
        row.Fare1 = row.ToP1;
        row.Fare2 = row.ToP2;
        row.Fare3 = row.ToP3;
        row.Fare4 = row.ToP4;
        return;
    }
    if (row.NType < 4) {
        EmuFares(row);
    } else {
        ConventionalFares(row);
    }
}

void EmuFares(ResultRow& row) {
    char prefix = row.TrainNo.empty() ? '\0' : row.TrainNo.front();
    if (prefix >= 'a' && prefix <= 'z') prefix = static_cast<char>(prefix - 'a' + 'A');

    const double a = PriceValue(row.FromP1, 0);
    const double b = PriceValue(row.FromP2, 0);
    const double c = PriceValue(row.FromP4, 1);
    const double d = PriceValue(row.FromP4, 2);
    const double e = PriceValue(row.ToP1, 0);
    const double f = PriceValue(row.ToP2, 0);
    const double g = PriceValue(row.ToP4, 1);
    const double h = PriceValue(row.ToP4, 2);

    double s1 = 0.0, s2 = 0.0, sA = 0.0, sB = 0.0;
    if (row.TrainP1 != "-" && !row.TrainP1.empty()) {
        const double total = FareNumber(row.TrainP1);
        double rate = row.TrainDistance > 0 ? total / row.TrainDistance : 0.0;
        if (prefix == 'D' && rate > 0) {
            double factor = 1.0;
            if (std::fabs(rate - kEmuRate) <= 0.02) {
                rate = kEmuRate;
            } else if (rate < 0.3) {
                factor = rate / kEmuRate;
                rate = kEmuRate;
                if (std::fabs(factor - 0.75) < 0.03) factor = 0.75;
            }
            // The discount of a cheap D train applies only to long spans.
            s1 = row.SpanKm > 700 ? row.SpanKm * rate * factor : row.SpanKm * rate;
            if (b > 0) s2 = s1 * kSoftSeatRatio;
            if (c > 0) sA = s1 * kSoftUpperRatio;
            if (d > 0) sB = s1 * kSoftLowerRatio;
        } else if (prefix == 'C' || prefix == 'G') {
            s1 = e - a;
            s2 = f - b;
            sA = g - c;
            sB = h - d;
            if (row.TrainNo.compare(0, 4, "G100") == 0) {
                s1 = 333.0;
                s2 = 532.0;
            }
        }
    }
    if (s1 < 0) s1 = 0;
    if (s2 < 0) s2 = 0;
    if (sA < 0) sA = 0;
    if (sB < 0) sB = 0;

    row.Fare1 = s1 > 0 ? IntText(RoundHalfUp(s1)) : std::string();
    row.Fare2 = s2 > 0 ? IntText(RoundHalfUp(s2)) : std::string();
    row.Fare4 = sA > 0 ? IntText(RoundHalfUp(sA)) + "/" + IntText(RoundHalfUp(sB)) : std::string();
}

std::optional<TrainPremium> ConventionalPremium(int nType, int trainDistanceKm, std::string_view p1,
                                                std::string_view p2, std::string_view p3,
                                                std::string_view p4) {
    // Reference fare: the first class the train offers with a fare above 0.
    double ref = 0.0;
    int cls = 0;
    if (p1 != "-") {
        if (const auto v = DecimalNumber(p1)) {
            ref = *v;
            cls = 1;
        }
    }
    if (ref <= 0) {
        ref = 0.0;
        if (p2 != "-") {
            if (const auto v = DecimalNumber(p2)) {
                ref = *v;
                cls = 2;
            }
        }
    }
    if (ref <= 0) {
        ref = PriceValue(p3, 1);
        cls = 3;
    }
    if (ref <= 0) {
        ref = PriceValue(p4, 1);
        cls = 4;
    }
    if (ref <= 0) return std::nullopt;

    // Fixed fees that the tariff adds on top.
    ref -= ref > 5.5 ? 1.0 : 0.5;
    if ((cls == 1 || cls == 3) && trainDistanceKm > 200) ref -= 1.0;
    if (cls == 3 || cls == 4) ref -= 10.0;

    // The whole journey by the plain tariff.
    int adj = 0;
    const double base = BaseFare(trainDistanceKm, &adj);
    const double p = TwoPercentPart(base);
    double exp = 0.0;
    if (HasExpressPart(nType)) exp = 2.0 * RoundHalfUp(adj < 100 ? kMinBase : base * 0.2);
    const double b400 = adj >= 400 ? base : BaseFare(400);
    double sl = 0.0;
    if (cls == 3) sl = 1.1 * b400;
    if (cls == 4) sl = 1.75 * b400;
    double ac = base * 0.25;
    const int m1 = RoundHalfUp(base + p) + RoundHalfUp(exp) + RoundHalfUp(sl);
    if (ref / m1 < 1.1) ac = 0.0;
    const int m2 = m1 + RoundHalfUp(ac);

    const double ratio = ref / m2;
    double factor;
    if (ratio < 1.1) {
        factor = 1.0;
    } else if (std::fabs(ratio - 1.75) < 0.07) {
        factor = 1.75;
    } else if (std::fabs(ratio - 1.5) < 0.07) {
        factor = 1.5;
    } else if (std::fabs(ratio - 1.4) < 0.07) {
        factor = 1.4;
    } else if (std::fabs(ratio - 1.3) < 0.07) {
        factor = 1.3;
    } else {
        factor = ratio;
    }
    return TrainPremium{factor, ac > 0};
}

SpanFares ConventionalSpanFares(int nType, int spanKm, double factor, bool withAirConditioning) {
    int sadj = 0;
    const double sb = BaseFare(spanKm, &sadj);
    const double sp = TwoPercentPart(sb);

    double sexp = 0.0;
    if (HasExpressPart(nType)) sexp = sadj < 100 ? kMinBase : sb * 0.2;
    sexp = RoundHalfUp(RoundHalfUp(sexp) * factor);
    if (nType >= 4 && nType <= 6) sexp *= 2.0;

    const double berthBase = sadj < 400 ? BaseFare(400) : sb;
    const double sac = withAirConditioning ? RoundHalfUp(sb * 0.25) : 0.0;
    const double fee = sadj > 200 ? 1.0 : 0.0;

    auto seat = [&](int k) {
        return RoundHalfUp(RoundHalfUp(k * sb + sp) * factor) + sexp + RoundHalfUp(sac * factor);
    };
    auto berth = [&](double q) {
        return static_cast<double>(RoundHalfUp(RoundHalfUp(q * berthBase) * factor));
    };

    const double seat1 = seat(1);
    const double seat2 = seat(2);
    SpanFares out;
    out.hardSeat = seat1 + fee;
    out.hardSeat += out.hardSeat > 5.0 ? 1.0 : 0.5;
    out.softSeat = seat2;
    out.softSeat += out.softSeat > 5.0 ? 1.0 : 0.5;
    const double hardQ[3] = {1.1, 1.2, 1.3};
    for (int i = 0; i < 3; ++i) out.hardSleeper[i] = seat1 + berth(hardQ[i]) + 10.0 + fee + 1.0;
    const double softQ[2] = {1.75, 1.95};
    for (int i = 0; i < 2; ++i) out.softSleeper[i] = seat2 + berth(softQ[i]) + 10.0 + 1.0;
    return out;
}

void ConventionalFares(ResultRow& row) {
    const std::optional<TrainPremium> premium = ConventionalPremium(
        row.NType, row.TrainDistance, row.TrainP1, row.TrainP2, row.TrainP3, row.TrainP4);
    if (!premium) return;
    const SpanFares f =
        ConventionalSpanFares(row.NType, row.SpanKm, premium->factor, premium->withAirConditioning);
    if (row.TrainP1 != "-") row.Fare1 = DecimalText(f.hardSeat);
    if (row.TrainP2 != "-") row.Fare2 = DecimalText(f.softSeat);
    if (row.TrainP3 != "-") {
        row.Fare3 = IntText(RoundHalfUp(f.hardSleeper[0])) + "/" +
                    IntText(RoundHalfUp(f.hardSleeper[1])) + "/" +
                    IntText(RoundHalfUp(f.hardSleeper[2]));
    }
    if (row.TrainP4 != "-") {
        row.Fare4 =
            IntText(RoundHalfUp(f.softSleeper[0])) + "/" + IntText(RoundHalfUp(f.softSleeper[1]));
    }
}

std::string DepartureRunTime(std::string_view runTime, std::string_view aTime,
                             std::string_view dTime) {
    const std::optional<int> a = ClockMinutes(aTime);
    const std::optional<int> d = ClockMinutes(dTime);
    const int dwell = !a || !d ? 0 : ((*d - *a) % 1440 + 1440) % 1440;
    if (dwell == 0) return std::string(runTime);
    return MinutesToElapsed(HoursAndMinutes(0, RunTimeMinutes(runTime, 2)) + dwell);
}

int ElapsedToMinutes(std::string_view text) {
    return RunTimeMinutes(text, std::string_view::npos);
}

std::string MinutesToElapsed(int minutes) {
    const int hours = minutes / 60;
    return IntText(hours) + ":" + IntText(minutes - hours * 60);
}

}  // namespace korvel
