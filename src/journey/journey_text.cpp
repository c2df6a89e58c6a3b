// The texts a journey is shown with: clock times on the journey's days, durations, fare sums.
#include "journey/journey_text.h"

#include <cstdio>

#include "journey/journey_index.h"
#include "query/fare_tariff.h"

namespace korvel {

std::string JourneyClockText(std::int32_t minute) {
    const std::int32_t clock = (minute % kMinutesPerDay + kMinutesPerDay) % kMinutesPerDay;
    const std::int32_t day = (minute - clock) / kMinutesPerDay;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d", static_cast<int>(clock / 60),
                  static_cast<int>(clock % 60));
    std::string text = buf;
    if (day > 0) text += "+" + std::to_string(day);
    if (day < 0) text += "-" + std::to_string(-day);
    return text;
}

std::string JourneyDurationText(std::int32_t minutes) {
    if (minutes < 0) minutes = 0;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d:%02d", static_cast<int>(minutes / 60),
                  static_cast<int>(minutes % 60));
    return buf;
}

std::string SumFares(const std::vector<std::string>& fares) {
    std::vector<double> sum;
    for (const std::string& text : fares) {
        if (text.empty() || text == "-") return "-";
        std::vector<double> parts;
        std::size_t start = 0;
        while (true) {
            const std::size_t slash = text.find('/', start);
            parts.push_back(FareNumber(std::string_view(text).substr(
                start, slash == std::string::npos ? std::string::npos : slash - start)));
            if (slash == std::string::npos) break;
            start = slash + 1;
        }
        if (sum.empty()) {
            sum = parts;
        } else if (parts.size() != sum.size()) {
            return "-";
        } else {
            for (std::size_t i = 0; i < sum.size(); ++i) sum[i] += parts[i];
        }
    }
    if (sum.empty()) return "-";
    std::string out;
    for (std::size_t i = 0; i < sum.size(); ++i) {
        if (i > 0) out += '/';
        out += DecimalText(sum[i]);
    }
    return out;
}

}  // namespace korvel
