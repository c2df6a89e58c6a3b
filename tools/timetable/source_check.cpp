// Refusing a malformed stops.csv before anything is built: the first bad value, by line and
// column, so that whoever prepared a newer timetable can find it.
#include "timetable/builder.h"
#include "timetable/text_util.h"

namespace korvel::timetable {
namespace {

constexpr const char* kColumns[7] = {"tid",         "sno", "sname",  "arrv_time",
                                     "depart_time", "day", "mileage"};

bool IsClock(std::string_view v) {
    return v == "-99:00" || ClockMinutes(v).has_value();
}

}  // namespace

std::optional<SourceError> CheckStopsCsv(std::string_view text) {
    const CsvText csv = ReadCsv(text);
    bool header = true;
    for (const CsvRecord& record : csv.records) {
        const int lineNo = record.line;
        const std::vector<std::string>& f = record.values;
        const std::vector<int>& starts = record.columns;
        auto error = [&](std::size_t field, const std::string& what) {
            return SourceError{lineNo, field < starts.size() ? starts[field] : record.endColumn,
                               std::string(kColumns[field < 7 ? field : 6]) + ": " + what};
        };
        if (header) {
            header = false;
            for (std::size_t i = 0; i < 7; ++i) {
                if (i >= f.size() || f[i] != kColumns[i]) {
                    return error(i,
                                 "the header must be tid,sno,sname,arrv_time,depart_time,day,"
                                 "mileage");
                }
            }
            if (f.size() != 7) return error(6, "the header has more than seven columns");
            continue;
        }
        if (f.size() != 7) {
            return SourceError{lineNo, f.size() > 7 ? starts[7] : record.endColumn,
                               "expected 7 values, found " + std::to_string(f.size())};
        }
        if (f[0].empty()) return error(0, "empty train number");
        const auto sno = WholeInteger<int>(f[1]);
        if (!sno || *sno < 1) return error(1, "'" + f[1] + "' is not a stop number");
        if (f[2].empty()) return error(2, "empty station name");
        for (std::size_t i : {3u, 4u}) {
            if (!IsClock(f[i])) {
                return error(i, "'" + f[i] + "' is not a time HH:MM or -99:00");
            }
        }
        const auto day = WholeInteger<int>(f[5]);
        if (!day || *day < 0) return error(5, "'" + f[5] + "' is not a day (1, 2, ...)");
        const auto km = WholeInteger<int>(f[6]);
        if (!km || *km < -1) {
            return error(6, "'" + f[6] + "' is not a distance in km or -1");
        }
    }
    if (csv.unterminatedLine) {
        return SourceError{csv.unterminatedLine, 1, "a quoted value is never closed"};
    }
    if (header) return SourceError{1, 1, "no header line"};
    return std::nullopt;
}

}  // namespace korvel::timetable
