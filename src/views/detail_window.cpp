#include "views/detail_window.h"

#include <cstdint>

#include "data/decimal.h"
#include "query/fare_tariff.h"
#include "views/result_grid.h"
#include "views/row_text.h"

namespace korvel {

namespace {

std::optional<std::int64_t> ReadInteger(std::string_view s) {
    return WholeInteger<std::int64_t>(s);
}

std::string SpeedText(std::int64_t km, std::int64_t minutes) {
    if (km <= 0 || minutes <= 0) return {};
    return std::to_string(
        RoundHalfUp(static_cast<double>(km) * 60.0 / static_cast<double>(minutes)));
}

const std::string kKm = "km";
const std::string kRunTime = "/\xC0\xFA\xCA\xB1";  // /历时
const std::string kSpeed = "/\xCB\xD9\xB6\xC8";    // /速度
const std::string kKmPerHour = "km/h";

std::string SummaryLine(const std::string& prefix, std::int32_t km, std::int32_t minutes) {
    return prefix + std::to_string(km) + kKm + kRunTime + RideTimeText(minutes) + kSpeed +
           SpeedText(km, minutes) + kKmPerHour;
}

std::string DayText(int day) {
    if (day == 1) return "\xB5\xB1\xCC\xEC";               // 当天
    return "\xB5\xDA" + std::to_string(day) + "\xCC\xEC";  // 第N天
}

}  // namespace

std::string AverageSpeed(std::string_view distance, std::string_view runTime) {
    return SpeedText(ReadInteger(distance).value_or(0), ElapsedToMinutes(runTime));
}

std::string SectionSpeed(std::string_view prevKm, std::string_view curKm, std::string_view prevTime,
                         std::string_view curTime) {
    std::int64_t d = ReadInteger(curKm).value_or(0) - ReadInteger(prevKm).value_or(0);
    std::int64_t m = std::int64_t{ElapsedToMinutes(curTime)} - ElapsedToMinutes(prevTime);
    return SpeedText(d, m);
}

DetailSection DetailSectionFromRow(const ResultGrid& grid, int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= grid.ShownRows().size()) return {};
    const ResultRow& r = grid.ShownRows()[row];
    return DetailSection{r.train, r.fromStation, r.StopCount(), r.SpanKm(), r.rideMinutes};
}

std::optional<DetailWindowModel> DetailWindowModel::Build(const Timetable& tt,
                                                          const DetailSection& section) {
    const TrainId train = section.train;
    if (train.IsNone() || tt.StopCount(train) == 0) return std::nullopt;

    DetailWindowModel m;
    m.caption_ = "\xB3\xB5\xB4\xCE:" + tt.Number(train);  // 车次:
    const std::int64_t stopCount = section.stopCount;
    std::string prev = tt.Departures().Text(tt.FirstStop(train).Value());  // at the origin
    int day = 1;
    bool found = false;
    SelectableGrid& g = m.grid_;

    for (StopId s = tt.FirstStop(train); s < tt.EndStop(train); ++s) {
        const std::uint32_t i = s.Value();
        ++m.stopRowCount_;
        if (g.RowCount() < m.stopRowCount_) g.SetRowCount(m.stopRowCount_);
        const int r = m.stopRowCount_ - 1;

        std::string arrive = tt.Arrivals().Text(i);
        if (!arrive.empty()) {
            if (prev > arrive) ++day;  // an earlier clock time than the last one: next day
            prev = arrive;
        }
        const std::string& station = tt.Name(tt.Station(s));
        const std::int32_t stopNo = tt.StopNumber(s);
        if (!found) {
            if (tt.Station(s) == section.boarding) {
                m.sectionFirst_ = stopNo;
                found = true;
            } else {
                m.sectionFirst_ += 1;
            }
            m.sectionLast_ = static_cast<int>(stopCount + m.sectionFirst_);
        }

        std::string runTime = RideTimeText(tt.RunTimes().Minutes(i));
        g.SetCell(0, r, std::to_string(stopNo));
        g.SetCell(1, r, station);
        g.SetCell(2, r, std::to_string(tt.Km(s)));
        g.SetCell(3, r, std::move(arrive));
        g.SetCell(4, r, tt.Departures().Text(i));
        g.SetCell(5, r, DayText(day));
        g.SetCell(6, r, std::move(runTime));
        if (r > 0) {
            g.SetCell(7, r,
                      SectionSpeed(g.Cell(2, r - 1), g.Cell(2, r), g.Cell(6, r - 1), g.Cell(6, r)));
        }
    }

    if (!found) {
        // The boarding station is not a stop of this train: no section to highlight.
        m.sectionFirst_ = 0;
        m.sectionLast_ = 0;
    }
    const StopId last(tt.EndStop(train).Value() - 1);
    m.routeLine_ = SummaryLine("\xC8\xAB\xB3\xCC\xA3\xBA",  // 全程：
                               tt.Km(last), tt.RunTimes().Minutes(last.Value()));
    m.sectionLine_ = SummaryLine("\xC7\xF8\xBC\xE4\xA3\xBA",  // 区间：
                                 section.km, section.rideMinutes);
    return m;
}

std::string DetailWindowModel::Heading() const {
    if (stopRowCount_ <= 0) return caption_;
    return caption_ + "  " + grid_.Cell(1, 0) + "\xA1\xAA" +  // —
           grid_.Cell(1, stopRowCount_ - 1);
}

bool DetailWindowModel::RowInSection(int row) const {
    if (sectionLast_ <= 0) return false;
    std::optional<std::int64_t> n = ReadInteger(grid_.Cell(0, row));
    return n && *n >= sectionFirst_ && *n <= sectionLast_;
}

std::vector<std::string> DetailWindowModel::HeaderCaptions() {
    return {
        "\xD5\xBE\xD0\xF2",  // 站序
        "\xB3\xB5\xD5\xBE",  // 车站
        "\xC0\xEF\xB3\xCC",  // 里程
        "\xB5\xBD\xCA\xB1",  // 到时
        "\xB7\xA2\xCA\xB1",  // 发时
        "\xCC\xEC\xCA\xFD",  // 天数
        "\xC0\xFA\xCA\xB1",  // 历时
        "\xCA\xB1\xCB\xD9",  // 时速
    };
}

std::optional<DetailWindowModel> OpenDetailForSelection(const ResultGrid& grid,
                                                        std::size_t resultCount) {
    std::optional<int> row = grid.DoubleClickRow(resultCount);
    if (!row || !grid.ShownTimetable()) return std::nullopt;
    return DetailWindowModel::Build(*grid.ShownTimetable(), DetailSectionFromRow(grid, *row));
}

}  // namespace korvel
