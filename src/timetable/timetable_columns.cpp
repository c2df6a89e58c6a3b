// The typed timetable's value columns: clock times, run times and fares read from their
// stored texts into numbers, each text the numbers would not give back kept beside them.
#include <algorithm>
#include <string>

#include "data/clock.h"
#include "data/run_time.h"
#include "timetable/timetable.h"

namespace korvel {
namespace {

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

// A fare of `berths` values separated by "/", each in tenths of a yuan, in the only form that
// formats back to itself: "0" or digits without a leading zero (at most eight), then
// optionally "." and one digit other than 0. One pass over the text, no allocation.
bool ParseFare(std::string_view t, std::uint8_t berths, std::int32_t* out) {
    std::size_t i = 0;
    for (std::uint8_t b = 0; b < berths; ++b) {
        const std::size_t begin = i;
        std::int32_t v = 0;
        while (i < t.size() && static_cast<unsigned char>(t[i] - '0') <= 9) {
            if (i - begin == 8) return false;
            v = v * 10 + (t[i++] - '0');
        }
        if (i == begin || (t[begin] == '0' && i - begin > 1)) return false;
        v *= 10;
        if (i < t.size() && t[i] == '.') {
            if (i + 1 >= t.size() || t[i + 1] < '1' || t[i + 1] > '9') return false;
            v += t[i + 1] - '0';
            i += 2;
        }
        out[b] = v;
        // Every berth but the last ends at a "/"; the last ends the text.
        if (b + 1 == berths) return i == t.size();
        if (i >= t.size() || t[i] != '/') return false;
        ++i;
    }
    return false;
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
    minutes_.insert(minutes_.end(), tail.minutes_.begin(), tail.minutes_.end());
}

void RunTimeColumn::Append(const RunTimeColumn& tail) {
    odd_.Append(tail.odd_, static_cast<std::uint32_t>(minutes_.size()));
    minutes_.insert(minutes_.end(), tail.minutes_.begin(), tail.minutes_.end());
}

void FareColumn::Append(const FareColumn& tail) {
    odd_.Append(tail.odd_, static_cast<std::uint32_t>(state_.size()));
    state_.insert(state_.end(), tail.state_.begin(), tail.state_.end());
    tenths_.insert(tenths_.end(), tail.tenths_.begin(), tail.tenths_.end());
}

void ClockColumn::Add(std::string_view text) {
    if (text.empty()) {
        minutes_.push_back(kEmpty);
    } else if (const std::optional<int> m = ClockMinutes(text)) {
        minutes_.push_back(static_cast<std::int16_t>(*m));
    } else {
        odd_.Add(static_cast<std::uint32_t>(minutes_.size()), text);
        minutes_.push_back(kOdd);
    }
}

std::string ClockColumn::Text(std::uint32_t row) const {
    const std::int16_t m = minutes_[row];
    if (m == kEmpty) return {};
    if (m == kOdd) return *odd_.Find(row);
    return ClockText(m);
}

namespace {

// Digits without a leading zero ("0" alone allowed), at most seven: from `i` on, the value and
// where it ends; false for anything else.
bool CanonicalDigits(std::string_view t, std::size_t& i, std::int32_t& value) {
    const std::size_t begin = i;
    std::int32_t v = 0;
    while (i < t.size() && i - begin < 8 && static_cast<unsigned char>(t[i] - '0') <= 9)
        v = v * 10 + (t[i++] - '0');
    const std::size_t digits = i - begin;
    if (digits == 0 || digits > 7 || (digits > 1 && t[begin] == '0')) return false;
    value = v;
    return true;
}

// The run time of a text that is exactly what RunText writes ("18", "0", "37:43", "2:9"),
// read without the general parse; false for every other text.
bool WrittenRunTime(std::string_view t, std::int32_t& minutes) {
    std::size_t i = 0;
    std::int32_t first = 0;
    if (!CanonicalDigits(t, i, first)) return false;
    if (i == t.size()) {
        minutes = first;
        return first < 60;
    }
    std::int32_t second = 0;
    if (t[i] != ':' || first == 0 || !CanonicalDigits(t, ++i, second) || i != t.size() ||
        second > 59)
        return false;
    minutes = first * 60 + second;
    return true;
}

}  // namespace

void RunTimeColumn::Add(std::string_view text) {
    std::int32_t written = 0;
    if (WrittenRunTime(text, written)) {
        minutes_.push_back(written);
        return;
    }
    const std::int32_t m = RunTimeMinutes(text);
    if (!IsRunText(text, m)) odd_.Add(static_cast<std::uint32_t>(minutes_.size()), text);
    minutes_.push_back(m);
}

std::string RunTimeColumn::Text(std::uint32_t row) const {
    if (const std::string* odd = odd_.Find(row)) return *odd;
    return RunText(minutes_[row]);
}

void FareColumn::Add(std::string_view text) {
    const std::uint32_t row = static_cast<std::uint32_t>(state_.size());
    std::int32_t values[3] = {0, 0, 0};
    FareState state = FareState::Priced;
    if (text.empty()) {
        state = FareState::Empty;
    } else if (text == "-") {
        state = FareState::NotOffered;
    } else if (!ParseFare(text, berths_, values)) {
        values[0] = values[1] = values[2] = 0;
        odd_.Add(row, text);
        state = FareState::Odd;
    }
    state_.push_back(static_cast<std::uint8_t>(state));
    for (std::uint8_t b = 0; b < berths_; ++b) tenths_.push_back(values[b]);
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
    classes[0].Add(p1);
    classes[1].Add(p2);
    classes[2].Add(p3);
    classes[3].Add(p4);
}

}  // namespace korvel
