// The typed timetable's value columns: clock times, run times and fares read from their
// stored texts into numbers, each text the numbers would not give back kept beside them.
//
// Add runs once per stop while the timetable loads, so each column reads the forms the
// timetable writes in one short pass and leaves everything else to a general path out of line.
#include <algorithm>
#include <string>

#include "data/clock.h"
#include "data/run_time.h"
#include "timetable/timetable.h"

namespace korvel {
namespace {

unsigned Digit(char c) {
    return static_cast<unsigned>(static_cast<unsigned char>(c)) - '0';
}

// Texts the numbers do not reproduce are rare: keeping one stays out of the readers' way.
[[gnu::noinline, gnu::cold]] void KeepOdd(OddTexts& odd, std::uint32_t row, std::string_view text) {
    odd.Add(row, text);
}

// The run time as the timetable writes it: "H:M" unpadded, minutes alone under an hour.
std::string RunText(std::int32_t minutes) {
    if (minutes < 60) return std::to_string(minutes);
    return std::to_string(minutes / 60) + ":" + std::to_string(minutes % 60);
}

// Whether `text` is what RunText gives for `minutes`, without building it.
bool IsRunText(std::string_view text, std::int32_t minutes) {
    if (minutes < 0) return false;
    char buf[24];
    char* p = buf + sizeof buf;
    auto put = [&p](std::int32_t v) {
        do {
            *--p = static_cast<char>('0' + v % 10);
            v /= 10;
        } while (v > 0);
    };
    if (minutes < 60) {
        put(minutes);
    } else {
        put(minutes % 60);
        *--p = ':';
        put(minutes / 60);
    }
    return text == std::string_view(p, static_cast<std::size_t>(buf + sizeof buf - p));
}

// The run time of a text that is exactly what RunText writes ("18", "0", "37:43", "2:9"):
// hours of at most seven digits without a leading zero, minutes 0..59 unpadded. False for
// every other text, which the general read then takes.
bool WrittenRunTime(std::string_view t, std::int32_t& minutes) {
    const std::size_t n = t.size();
    if (n == 0 || n > 10) return false;
    const char* p = t.data();
    unsigned d = Digit(p[0]);
    if (d > 9) return false;
    std::uint64_t first = d;
    std::size_t i = 1;
    if (d != 0) {  // after a leading zero only the end may follow
        for (; i < n && (d = Digit(p[i])) <= 9; ++i) first = first * 10 + d;
    }
    if (i == n) {
        minutes = static_cast<std::int32_t>(first);
        return first < 60;
    }
    if (p[i] != ':' || first == 0 || i > 7) return false;
    unsigned second;
    if (n - i == 2) {  // ":9"
        second = Digit(p[i + 1]);
        if (second > 9) return false;
    } else if (n - i == 3) {  // ":59"
        const unsigned m0 = Digit(p[i + 1]), m1 = Digit(p[i + 2]);
        if (m0 - 1 > 4 || m1 > 9) return false;  // 10..59
        second = m0 * 10 + m1;
    } else {
        return false;
    }
    minutes = static_cast<std::int32_t>(first * 60 + second);
    return true;
}

// One fare value from `p` on (before `e`) in tenths of a yuan, in the only form that formats
// back to itself: "0" or digits without a leading zero (at most eight), then optionally "."
// and one digit other than 0. Where it ends, or nullptr when no such value starts at `p`. It
// ends before a digit that follows a leading zero or an eighth digit: only "/" or the end of
// the text may follow a value, so such a fare is no fare.
[[gnu::always_inline]] inline const char* FareValue(const char* p, const char* e,
                                                    std::int32_t& tenths) {
    if (p == e) return nullptr;
    unsigned d = Digit(*p);
    if (d > 9) return nullptr;
    std::int32_t v = static_cast<std::int32_t>(d);
    const char* q = p + 1;
    if (d != 0) {
        const char* last = e - p > 8 ? p + 8 : e;  // where an eighth digit would end
        for (; q != last && (d = Digit(*q)) <= 9; ++q) v = v * 10 + static_cast<std::int32_t>(d);
    }
    v *= 10;
    if (q != e && *q == '.') {
        if (e - q < 2) return nullptr;
        d = Digit(q[1]);
        if (d - 1 > 8) return nullptr;  // 1..9
        v += static_cast<std::int32_t>(d);
        q += 2;
    }
    tenths = v;
    return q;
}

// A fare of `Berths` values separated by "/", each as FareValue reads it, and nothing else.
template <std::uint8_t Berths>
[[gnu::always_inline]] inline bool ParseFare(std::string_view t, std::int32_t* out) {
    if constexpr (Berths == 0) return false;
    const char* e = t.data() + t.size();
    const char* p = FareValue(t.data(), e, out[0]);
    for (std::uint8_t b = 1; b < Berths; ++b) {
        if (p == nullptr || p == e || *p != '/') return false;
        p = FareValue(p + 1, e, out[b]);
    }
    return p == e;
}

std::string TenthsText(std::int32_t v) {
    std::string s = std::to_string(v / 10);
    if (v % 10 != 0) {
        s += '.';
        s += static_cast<char>('0' + v % 10);
    }
    return s;
}

}  // namespace

const std::string* OddTexts::Find(std::uint32_t row) const {
    if (rows_.empty()) return nullptr;
    const auto it = std::lower_bound(rows_.begin(), rows_.end(), row);
    if (it == rows_.end() || *it != row) return nullptr;
    return &texts_[static_cast<std::size_t>(it - rows_.begin())];
}

void OddTexts::Append(const OddTexts& tail, std::uint32_t rows) {
    for (std::size_t i = 0; i < tail.rows_.size(); ++i) {
        rows_.push_back(tail.rows_[i] + rows);
        texts_.push_back(tail.texts_[i]);
    }
}

void ClockColumn::Append(const ClockColumn& tail) {
    odd_.Append(tail.odd_, static_cast<std::uint32_t>(minutes_.size()));
    minutes_.Append(tail.minutes_);
}

void RunTimeColumn::Append(const RunTimeColumn& tail) {
    odd_.Append(tail.odd_, static_cast<std::uint32_t>(minutes_.size()));
    minutes_.Append(tail.minutes_);
}

void FareColumn::Append(const FareColumn& tail) {
    odd_.Append(tail.odd_, static_cast<std::uint32_t>(state_.size()));
    state_.Append(tail.state_);
    tenths_.Append(tail.tenths_);
}

void ClockColumn::Add(std::string_view text) {
    if (const std::optional<int> clock = ClockMinutes(text))
        return minutes_.Push(static_cast<std::int16_t>(*clock));
    if (text.empty()) return minutes_.Push(kEmpty);
    AddOdd(text);
}

void ClockColumn::AddOdd(std::string_view text) {
    odd_.Add(static_cast<std::uint32_t>(minutes_.size()), text);
    minutes_.Push(kOdd);
}

std::string ClockColumn::Text(std::uint32_t row) const {
    const std::int16_t m = minutes_[row];
    if (m == kEmpty) return {};
    if (m == kOdd) return *odd_.Find(row);
    return ClockText(m);
}

void RunTimeColumn::Add(std::string_view text) {
    std::int32_t m;
    if (WrittenRunTime(text, m)) return minutes_.Push(m);
    AddOther(text);
}

void RunTimeColumn::AddOther(std::string_view text) {
    const std::int32_t m = RunTimeMinutes(text);
    if (!IsRunText(text, m)) odd_.Add(static_cast<std::uint32_t>(minutes_.size()), text);
    minutes_.Push(m);
}

std::string RunTimeColumn::Text(std::uint32_t row) const {
    if (const std::string* odd = odd_.Find(row)) return *odd;
    return RunText(minutes_[row]);
}

template <std::uint8_t Berths>
[[gnu::always_inline]] inline void FareColumn::AddOf(std::string_view text) {
    std::int32_t* tenths = tenths_.Extend(Berths);
    FareState state = FareState::Priced;
    if (text.size() == 1 && text[0] == '-') {
        state = FareState::NotOffered;
    } else if (text.empty()) {
        state = FareState::Empty;
    } else if (!ParseFare<Berths>(text, tenths)) {
        KeepOdd(odd_, static_cast<std::uint32_t>(state_.size()), text);
        state = FareState::Odd;
    }
    if (state != FareState::Priced) std::fill_n(tenths, Berths, 0);
    state_.Push(static_cast<std::uint8_t>(state));
}

void FareColumn::Add(std::string_view text) {
    switch (berths_) {
        case 1:
            return AddOf<1>(text);
        case 2:
            return AddOf<2>(text);
        case 3:
            return AddOf<3>(text);
        default:  // no berths (no class has more than three): no text is a price
            return AddOf<0>(text);
    }
}

std::string FareColumn::Text(std::uint32_t row) const {
    switch (State(row)) {
        case FareState::Empty:
            return {};
        case FareState::NotOffered:
            return "-";
        case FareState::Odd:
            return *odd_.Find(row);
        case FareState::Priced:
            break;
    }
    std::string s;
    for (std::int32_t v : Tenths(row)) {
        if (!s.empty()) s += '/';
        s += TenthsText(v);
    }
    return s;
}

void Fares::Add(std::string_view p1, std::string_view p2, std::string_view p3,
                std::string_view p4) {
    static_assert(kBerths[0] == 1 && kBerths[1] == 1 && kBerths[2] == 3 && kBerths[3] == 2);
    classes[0].AddOf<1>(p1);
    classes[1].AddOf<1>(p2);
    classes[2].AddOf<3>(p3);
    classes[3].AddOf<2>(p4);
}

}  // namespace korvel
