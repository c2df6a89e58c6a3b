#include "views/time_class_filter.h"

#include "data/gbk.h"

namespace korvel {

TrainClass TrainClassOf(std::string_view trainNo) {
    if (trainNo.empty()) return TrainClass::O;
    const std::size_t at = kTrainClassLetters.find(trainNo.front());
    if (at == std::string_view::npos) return TrainClass::O;
    return static_cast<TrainClass>(at);
}

std::optional<TrainClassSet> ParseTrainClasses(std::string_view list) {
    TrainClassSet set = 0;
    while (true) {
        const std::size_t comma = list.find(',');
        const std::string_view item = TrimControl(list.substr(0, comma));
        if (item.size() != 1) return std::nullopt;
        char letter = item.front();
        if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
        const std::size_t at = kTrainClassLetters.find(letter);
        if (at == std::string_view::npos) return std::nullopt;
        set |= 1u << at;
        if (comma == std::string_view::npos) break;
        list.remove_prefix(comma + 1);
    }
    return set;
}

std::optional<DepartWindow> ParseDepartWindow(std::string_view text) {
    text = TrimControl(text);
    const std::size_t dash = text.find('-');
    if (dash == std::string_view::npos) return std::nullopt;
    const std::optional<int> from = ClockMinutes(TrimControl(text.substr(0, dash)));
    const std::string_view end = TrimControl(text.substr(dash + 1));
    std::optional<int> to = end == "24:00" ? std::optional<int>(24 * 60 - 1) : ClockMinutes(end);
    if (!from || !to) return std::nullopt;
    return DepartWindow{*from, *to};
}

std::string DepartWindowText(const DepartWindow& w) {
    std::string text;
    for (int minutes : {w.from, w.to}) {
        if (!text.empty()) text += '-';
        text += ClockText(minutes);
    }
    return text;
}

bool DepartTimeInWindow(std::string_view boardingTime, const DepartWindow& w) {
    const std::optional<int> t = ClockMinutes(boardingTime);
    if (!t) return false;
    if (w.from <= w.to) return *t >= w.from && *t <= w.to;
    return *t >= w.from || *t <= w.to;  // past midnight
}

bool TimeClassFilter::Passes(std::string_view trainNo, std::string_view boardingTime) const {
    if ((classes & ClassBit(TrainClassOf(trainNo))) == 0) return false;
    return !depart || DepartTimeInWindow(boardingTime, *depart);
}

}  // namespace korvel
