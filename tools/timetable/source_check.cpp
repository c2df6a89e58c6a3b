// Refusing a malformed stops.csv before anything is built: the first bad value, by line and
// column, so that whoever prepared a newer timetable can find it.
#include "timetable/builder.h"
#include "timetable/text_util.h"

namespace korvel::timetable {
namespace {

constexpr const char* kColumns[7] = {"tid",         "sno", "sname",  "arrv_time",
                                     "depart_time", "day", "mileage"};

bool IsClock(std::string_view v) {
    return Trim(v) == "-99:00" || ParseClock(v) >= 0;
}

}  // namespace

std::optional<SourceError> CheckStopsCsv(std::string_view text) {
    const bool bom = text.substr(0, 3) == "\xEF\xBB\xBF";
    text = StripBom(text);
    int lineNo = 0;
    bool header = true;
    for (std::string_view line : Split(text, '\n')) {
        ++lineNo;
        const int offset = lineNo == 1 && bom ? 3 : 0;  // columns count the line's bytes
        if (Trim(line).empty()) continue;
        const auto f = Split(Trim(line), ',');
        std::vector<int> starts;
        int at = 1 + offset;
        for (std::string_view v : f) {
            starts.push_back(at);
            at += static_cast<int>(v.size()) + 1;
        }
        auto error = [&](std::size_t field, const std::string& what) {
            return SourceError{lineNo, field < starts.size() ? starts[field] : at,
                               std::string(kColumns[field < 7 ? field : 6]) + ": " + what};
        };
        if (header) {
            header = false;
            for (std::size_t i = 0; i < 7; ++i) {
                if (i >= f.size() || Trim(f[i]) != kColumns[i]) {
                    return error(i,
                                 "the header must be tid,sno,sname,arrv_time,depart_time,day,"
                                 "mileage");
                }
            }
            if (f.size() != 7) return error(6, "the header has more than seven columns");
            continue;
        }
        if (f.size() != 7) {
            return SourceError{lineNo, f.size() > 7 ? starts[7] : at - 1,
                               "expected 7 values, found " + std::to_string(f.size())};
        }
        if (Trim(f[0]).empty()) return error(0, "empty train number");
        const auto sno = ParseInt(f[1]);
        if (!sno || *sno < 1) return error(1, "'" + std::string(f[1]) + "' is not a stop number");
        if (Trim(f[2]).empty()) return error(2, "empty station name");
        for (std::size_t i : {3u, 4u}) {
            if (!IsClock(f[i])) {
                return error(i, "'" + std::string(f[i]) + "' is not a time HH:MM or -99:00");
            }
        }
        const auto day = ParseInt(f[5]);
        if (!day || *day < 0)
            return error(5, "'" + std::string(f[5]) + "' is not a day (1, 2, ...)");
        const auto km = ParseInt(f[6]);
        if (!km || *km < -1) {
            return error(6, "'" + std::string(f[6]) + "' is not a distance in km or -1");
        }
    }
    if (header) return SourceError{1, 1, "no header line"};
    return std::nullopt;
}

}  // namespace korvel::timetable
