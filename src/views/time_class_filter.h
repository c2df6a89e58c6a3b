// The departure-time and train-class filters of the result grids. They sit beside the four
// filter boxes and combine with them: a row is shown only when it passes all.
//
// The time is the row's boarding time (column 发时, HH:MM). A window is an inclusive range
// of minutes since midnight; one whose start lies after its end runs past midnight (22:00-
// 02:00). A row without a boarding time (a train that ends at the queried station) passes
// only the whole day.
//
// The class is the first letter of the train number: G, C, D, Z, T, K, anything else O.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "data/clock.h"

namespace korvel {

enum class TrainClass : unsigned { G, C, D, Z, T, K, O };
inline constexpr int kTrainClassCount = 7;
// The letters of the classes in TrainClass order: "GCDZTKO".
inline constexpr std::string_view kTrainClassLetters = "GCDZTKO";

TrainClass TrainClassOf(std::string_view trainNo);

// A set of train classes as a bit mask (bit n = TrainClass n).
using TrainClassSet = unsigned;
inline constexpr TrainClassSet kAllTrainClasses = (1u << kTrainClassCount) - 1;
inline constexpr TrainClassSet ClassBit(TrainClass c) {
    return 1u << static_cast<unsigned>(c);
}

// A comma list of class letters ("G,C,D"; blanks around letters and lower case allowed).
// Nothing on an unknown letter or an empty list.
std::optional<TrainClassSet> ParseTrainClasses(std::string_view list);

struct DepartWindow {
    int from = 0;  // minutes since midnight, 0..1439
    int to = 0;    // inclusive
    bool operator==(const DepartWindow&) const = default;
};

// The choices of the departure-time box: 0-6, 6-12, 12-18 and 18-24 点. Each ends a minute
// before the next begins, so that every time falls into exactly one of them.
inline constexpr std::array<DepartWindow, 4> kDepartPresets = {
    DepartWindow{0, 6 * 60 - 1}, DepartWindow{6 * 60, 12 * 60 - 1},
    DepartWindow{12 * 60, 18 * 60 - 1}, DepartWindow{18 * 60, 24 * 60 - 1}};

// "HH:MM-HH:MM"; the end may also be 24:00 (the end of the day). Nothing when malformed.
std::optional<DepartWindow> ParseDepartWindow(std::string_view text);
// "HH:MM-HH:MM".
std::string DepartWindowText(const DepartWindow& w);

bool DepartTimeInWindow(std::string_view boardingTime, const DepartWindow& w);

// The state of both filters; the default passes every row (全天, every class).
struct TimeClassFilter {
    std::optional<DepartWindow> depart;  // nothing: 全天
    TrainClassSet classes = kAllTrainClasses;

    bool PassesAll() const { return !depart && classes == kAllTrainClasses; }
    bool Passes(std::string_view trainNo, std::string_view boardingTime) const;
    bool operator==(const TimeClassFilter&) const = default;
};

}  // namespace korvel
