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

void FillFares(FareRequest& row) {
    if (row.origin == row.boardStation &&
        (row.alightFares[0] != "-" || row.alightFares[1] != "-" || row.alightFares[2] != "-" ||
         row.alightFares[3] != "-")) {
        row.fares[0] = row.alightFares[0];
        row.fares[1] = row.alightFares[1];
        row.fares[2] = row.alightFares[2];
        row.fares[3] = row.alightFares[3];
        return;
    }
    if (row.trainType < 4) {
        EmuFares(row);
    } else {
        ConventionalFares(row);
    }
}

namespace {

SpanFareInputs InputsOf(const FareRequest& row) {
    SpanFareInputs in;
    in.prefix = row.trainNumber.empty() ? '\0' : row.trainNumber.front();
    in.g100 = row.trainNumber.compare(0, 4, "G100") == 0;
    in.nType = row.trainType;
    in.trainKm = row.trainKm;
    in.spanKm = row.spanKm;
    for (int c = 0; c < 4; ++c) {
        in.train[c] = ReadFare(row.trainFares[c]);
        in.from[c] = ReadFare(row.boardFares[c]);
        in.to[c] = ReadFare(row.alightFares[c]);
    }
    return in;
}

FareValue Whole(std::int32_t yuan) {
    FareValue v;
    v.count = 1;
    v.tenths[0] = std::int64_t{yuan} * 10;
    return v;
}

std::array<FareValue, 4> EmuValues(const SpanFareInputs& in) {
    char prefix = in.prefix;
    if (prefix >= 'a' && prefix <= 'z') prefix = static_cast<char>(prefix - 'a' + 'A');

    const double a = in.from[0].whole;
    const double b = in.from[1].whole;
    const double c = in.from[3].parts[0];
    const double d = in.from[3].parts[1];
    const double e = in.to[0].whole;
    const double f = in.to[1].whole;
    const double g = in.to[3].parts[0];
    const double h = in.to[3].parts[1];

    double s1 = 0.0, s2 = 0.0, sA = 0.0, sB = 0.0;
    if (!in.train[0].notOffered && !in.train[0].empty) {
        const double total = in.train[0].whole;
        double rate = in.trainKm > 0 ? total / in.trainKm : 0.0;
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
            s1 = in.spanKm > 700 ? in.spanKm * rate * factor : in.spanKm * rate;
            if (b > 0) s2 = s1 * kSoftSeatRatio;
            if (c > 0) sA = s1 * kSoftUpperRatio;
            if (d > 0) sB = s1 * kSoftLowerRatio;
        } else if (prefix == 'C' || prefix == 'G') {
            s1 = e - a;
            s2 = f - b;
            sA = g - c;
            sB = h - d;
            if (in.g100) {
                s1 = 333.0;
                s2 = 532.0;
            }
        }
    }
    std::array<FareValue, 4> out{};
    if (s1 > 0) out[0] = Whole(RoundHalfUp(s1));
    if (s2 > 0) out[1] = Whole(RoundHalfUp(s2));
    if (sA > 0) {
        out[3].count = 2;
        out[3].tenths[0] = std::int64_t{RoundHalfUp(sA)} * 10;
        out[3].tenths[1] = std::int64_t{RoundHalfUp(std::max(sB, 0.0))} * 10;
    }
    return out;
}

// Values for the classes the train offers; nothing when no fare can be estimated.
std::optional<std::array<FareValue, 4>> ConventionalValues(const SpanFareInputs& in) {
    const std::optional<TrainPremium> premium = ConventionalPremium(in.nType, in.trainKm, in.train);
    if (!premium) return std::nullopt;
    const SpanFares f =
        ConventionalSpanFares(in.nType, in.spanKm, premium->factor, premium->withAirConditioning);
    std::array<FareValue, 4> out{};
    auto halves = [](double yuan) {
        FareValue v;
        v.count = 1;
        v.tenths[0] = std::llround(yuan * 10.0);
        return v;
    };
    if (!in.train[0].notOffered) out[0] = halves(f.hardSeat);
    if (!in.train[1].notOffered) out[1] = halves(f.softSeat);
    if (!in.train[2].notOffered) {
        out[2].count = 3;
        for (int i = 0; i < 3; ++i)
            out[2].tenths[i] = std::int64_t{RoundHalfUp(f.hardSleeper[i])} * 10;
    }
    if (!in.train[3].notOffered) {
        out[3].count = 2;
        for (int i = 0; i < 2; ++i)
            out[3].tenths[i] = std::int64_t{RoundHalfUp(f.softSleeper[i])} * 10;
    }
    return out;
}

void TenthsInto(std::string& s, std::int64_t v) {
    if (v < 0) {
        s += '-';
        v = -v;
    }
    s += std::to_string(v / 10);
    if (v % 10 != 0) {
        s += '.';
        s += static_cast<char>('0' + v % 10);
    }
}

}  // namespace

FareReading ReadFare(std::string_view text) {
    FareReading r;
    r.empty = text.empty();
    r.notOffered = text == "-";
    r.whole = PriceValue(text, 0);
    for (int i = 0; i < 3; ++i) r.parts[i] = PriceValue(text, i + 1);
    return r;
}

FareReading ReadFare(const FareColumn& column, std::uint32_t row) {
    FareReading r;
    switch (column.State(row)) {
        case FareState::Empty:
            return r;
        case FareState::NotOffered:
            r.empty = false;
            r.notOffered = true;
            return r;
        case FareState::Odd:
            return ReadFare(column.Text(row));
        case FareState::Priced:
            break;
    }
    r.empty = false;
    const std::span<const std::int32_t> v = column.Tenths(row);
    if (v.size() == 1) {
        r.whole = v[0] / 10.0;
        return r;
    }
    // "38/41" is no number as a whole; its third part repeats the second.
    r.parts[0] = v[0] / 10.0;
    r.parts[1] = v[1] / 10.0;
    r.parts[2] = (v.size() > 2 ? v[2] : v[1]) / 10.0;
    return r;
}

std::array<FareValue, 4> SpanFareValues(const SpanFareInputs& in) {
    if (in.nType < 4) return EmuValues(in);
    return ConventionalValues(in).value_or(std::array<FareValue, 4>{});
}

std::string FareValueText(const FareValue& fare) {
    std::string s;
    for (std::uint8_t i = 0; i < fare.count; ++i) {
        if (i > 0) s += '/';
        TenthsInto(s, fare.tenths[i]);
    }
    return s;
}

FareValue StoredFareValue(const FareColumn& column, std::uint32_t row) {
    FareValue v;
    if (column.State(row) != FareState::Priced) return v;
    const std::span<const std::int32_t> t = column.Tenths(row);
    v.count = static_cast<std::uint8_t>(t.size());
    for (std::size_t i = 0; i < t.size(); ++i) v.tenths[i] = t[i];
    return v;
}

void EmuFares(FareRequest& row) {
    const std::array<FareValue, 4> v = EmuValues(InputsOf(row));
    row.fares[0] = FareValueText(v[0]);
    row.fares[1] = FareValueText(v[1]);
    row.fares[3] = FareValueText(v[3]);
}

std::optional<TrainPremium> ConventionalPremium(int nType, int trainDistanceKm, std::string_view p1,
                                                std::string_view p2, std::string_view p3,
                                                std::string_view p4) {
    return ConventionalPremium(nType, trainDistanceKm,
                               {ReadFare(p1), ReadFare(p2), ReadFare(p3), ReadFare(p4)});
}

std::optional<TrainPremium> ConventionalPremium(int nType, int trainDistanceKm,
                                                const std::array<FareReading, 4>& fares) {
    // Reference fare: the first class the train offers with a fare above 0.
    double ref = fares[0].whole;
    int cls = 1;
    if (ref <= 0) {
        ref = fares[1].whole;
        cls = 2;
    }
    if (ref <= 0) {
        ref = fares[2].parts[0];
        cls = 3;
    }
    if (ref <= 0) {
        ref = fares[3].parts[0];
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

void ConventionalFares(FareRequest& row) {
    const SpanFareInputs in = InputsOf(row);
    const std::optional<std::array<FareValue, 4>> v = ConventionalValues(in);
    if (!v) return;
    for (int c = 0; c < 4; ++c) {
        if (!in.train[c].notOffered) row.fares[c] = FareValueText((*v)[c]);
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
