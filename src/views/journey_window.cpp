#include "views/journey_window.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>

#include "data/clock.h"
#include "data/gbk.h"
#include "journey/journey_text.h"
#include "views/grid_export.h"
#include "views/row_text.h"

namespace korvel {

namespace {

const char kCaption[] = "\xBB\xBB\xB3\xCB\xB7\xBD\xB0\xB8:";             // 换乘方案:
const char kArrow[] = "\xA1\xFA";                                        // →
const char kCountPrefix[] = "\xB9\xB2";                                  // 共
const char kCountSuffix[] = "\xB8\xF6\xBB\xBB\xB3\xCB\xB7\xBD\xB0\xB8";  // 个换乘方案
const char kNothing[] =
    "\xC3\xBB\xD3\xD0\xD5\xD2\xB5\xBD\xBB\xBB\xB3\xCB\xB7\xBD\xB0\xB8\xA1\xA3";  // 没有找到换乘方案。

const char kAnd[] = "\xBA\xCD";  // 和
// 在同一城市，只列出直达的列车。
const char kSameCity[] =
    "\xD4\xDA\xCD\xAC\xD2\xBB\xB3\xC7\xCA\xD0\xA3\xAC\xD6\xBB\xC1\xD0\xB3\xF6\xD6\xB1\xB4\xEF\xB5"
    "\xC4\xC1\xD0\xB3\xB5\xA1\xA3";

const char kPlan[] = "\xB7\xBD\xB0\xB8";              // 方案
const char kTrain[] = "\xB3\xB5\xB4\xCE";             // 车次
const char kFrom[] = "\xB7\xA2\xD5\xBE";              // 发站
const char kDepart[] = "\xB7\xA2\xCA\xB1";            // 发时
const char kTo[] = "\xB5\xBD\xD5\xBE";                // 到站
const char kArrive[] = "\xB5\xBD\xCA\xB1";            // 到时
const char kTime[] = "\xC0\xFA\xCA\xB1";              // 历时
const char kChanges[] = "\xBB\xBB\xB3\xCB";           // 换乘
const char kWait[] = "\xB5\xC8\xBA\xF2";              // 等候
const char kCheapest[] = "\xD7\xEE\xB1\xE3\xD2\xCB";  // 最便宜
const char kFastest[] = "\xD7\xEE\xBF\xEC";           // 最快
const char kKm[] = "\xC0\xEF\xB3\xCC";                // 里程
const char kHardSeat[] = "\xD3\xB2\xD7\xF9";          // 硬座
const char kSoftSeat[] = "\xC8\xED\xD7\xF9";          // 软座
const char kHardSleeper[] = "\xD3\xB2\xCE\xD4";       // 硬卧
const char kSoftSleeper[] = "\xC8\xED\xCE\xD4";       // 软卧

// A fare total as a sort key: its first value; none after every fare.
double FareKey(const FareValue& fare) {
    if (!fare.HasFare()) return std::numeric_limits<double>::infinity();
    return static_cast<double>(fare.tenths[0]);
}

}  // namespace

std::string JourneyOptionErrorText(JourneyOptionError error) {
    switch (error) {
        case JourneyOptionError::None:
            return "";
        case JourneyOptionError::Window:
            // 时段应在00:00至23:59之间。 (a window may run past midnight, so only a time
            // out of the day is refused)
            return "\xCA\xB1\xB6\xCE\xD3\xA6\xD4\xDA"
                   "00:00\xD6\xC1"
                   "23:59\xD6\xAE\xBC\xE4\xA1\xA3";
        case JourneyOptionError::MaxTransfers:
            // 换乘次数应为0至3次。
            return "\xBB\xBB\xB3\xCB\xB4\xCE\xCA\xFD\xD3\xA6\xCE\xAA"
                   "0\xD6\xC1"
                   "3\xB4\xCE\xA1\xA3";
        case JourneyOptionError::MinTransfer:
            // 同站换乘时间应为0至1440分钟。
            return "\xCD\xAC\xD5\xBE\xBB\xBB\xB3\xCB\xCA\xB1\xBC\xE4\xD3\xA6\xCE\xAA"
                   "0\xD6\xC1"
                   "1440\xB7\xD6\xD6\xD3\xA1\xA3";
        case JourneyOptionError::CityTransfer:
            // 同城换乘时间应为0至1440分钟。
            return "\xCD\xAC\xB3\xC7\xBB\xBB\xB3\xCB\xCA\xB1\xBC\xE4\xD3\xA6\xCE\xAA"
                   "0\xD6\xC1"
                   "1440\xB7\xD6\xD6\xD3\xA1\xA3";
    }
    return "";
}

int OfferedChangeMinutes(std::optional<int> kept, std::optional<int> keptDefault,
                         int programDefault, int timetableDefault) {
    if (!kept || *kept == keptDefault.value_or(programDefault)) return timetableDefault;
    return *kept;
}

JourneyWindowModel::JourneyWindowModel(std::string from, std::string to, Planner planner)
    : planner_(std::move(planner)) {
    SetStations(std::move(from), std::move(to));
}

void JourneyWindowModel::SetStations(std::string from, std::string to) {
    from_ = std::move(from);
    to_ = std::move(to);
    caption_ = kCaption;
    if (from_.empty() || to_.empty()) {
        caption_.pop_back();  // no ':' before nothing
    } else {
        caption_ += from_ + kArrow + to_;
    }
}

std::optional<JourneyInputProblem> JourneyWindowModel::CheckStations() const {
    if (!checkStations) return std::nullopt;
    return checkStations(from_, to_);
}

ComboChangeResult JourneyWindowModel::BoxChanged(const std::string& text) const {
    MemTable* list = stationList ? stationList() : nullptr;
    ComboChangeResult change = StationBoxEdited(text, list);
    // Letters typed before the station table has loaded open an empty list.
    if (change.action == ComboListAction::FillAndOpen && list == nullptr)
        change.items = EmptyDropDownItems();
    return change;
}

std::vector<std::string> JourneyWindowModel::ColumnTitles() {
    return {kPlan, kFrom, kDepart,   kTo,       kArrive,      kTime,       kChanges,
            kWait, kKm,   kHardSeat, kSoftSeat, kHardSleeper, kSoftSleeper};
}

std::vector<std::string> JourneyWindowModel::ExportTitles() {
    return {kPlan, kTrain, kFrom,     kDepart,   kTo,          kArrive,     kTime,
            kWait, kKm,    kHardSeat, kSoftSeat, kHardSleeper, kSoftSleeper};
}

void JourneyWindowModel::TimetableReplaced() {
    if (!searched_) return;  // nothing planned on show
    outdated_ = true;
    outdatedText_ = Utf8ToGbk("时刻表已更换，正在载入新时刻表；下列方案按原来的时刻表找到。");
}

bool JourneyWindowModel::Replan() {
    if (!outdated_) return true;
    if (const std::optional<JourneyInputProblem> problem = CheckStations()) {
        // A silent problem: the new tables are not all in yet.
        if (!problem->text.empty()) {
            outdatedText_ = Utf8ToGbk("时刻表已更换，") + problem->text +
                            Utf8ToGbk("下列方案按原来的时刻表找到。");
        }
        return false;
    }
    Search();
    return true;
}

void JourneyWindowModel::ReplacementFailed() {
    if (!outdated_) return;
    outdatedText_ = Utf8ToGbk("时刻表已更换，但新时刻表未能载入；下列方案按原来的时刻表找到。");
}

JourneyOptionError JourneyWindowModel::Search() {
    // Whatever comes of it, the journeys of an older timetable are gone.
    outdated_ = false;
    outdatedText_.clear();
    const JourneyOptionError error = CheckJourneyOptions(options_);
    if (error != JourneyOptionError::None) {
        journeys_.clear();
        searched_ = false;
        status_ = JourneyOptionErrorText(error);
        return error;
    }
    ShowAnswer(planner_(from_, to_, options_));
    return error;
}

void JourneyWindowModel::ShowAnswer(JourneyAnswer answer) {
    journeys_ = std::move(answer.journeys);
    timetable_ = std::move(answer.timetable);
    searched_ = true;
    if (options_.fareClass) {
        // An answer by fare comes cheapest first.
        sortColumn_ = kFirstFareColumn + static_cast<int>(*options_.fareClass);
        ascending_ = true;
    }
    Sort();
    status_ = journeys_.empty() ? std::string(kNothing)
                                : kCountPrefix + std::to_string(journeys_.size()) + kCountSuffix;
    if (answer.sameCity) status_ = from_ + kAnd + to_ + kSameCity + status_;
}

std::vector<JourneyLeg> JourneyWindowModel::Alternatives(int journey, int leg) const {
    if (!legAlternatives || outdated_ || journey < 0 || journey >= JourneyCount() || leg < 0 ||
        leg >= static_cast<int>(journeys_[journey].legs.size()))
        return {};
    return legAlternatives(journeys_[journey], leg, options_);
}

void JourneyWindowModel::ReplaceLeg(int journey, int leg, const JourneyLeg& replacement) {
    if (outdated_ || journey < 0 || journey >= JourneyCount() || leg < 0 ||
        leg >= static_cast<int>(journeys_[journey].legs.size()))
        return;
    journeys_[journey] = WithLeg(journeys_[journey], static_cast<std::size_t>(leg), replacement);
}

std::string JourneyWindowModel::Marks(int journey) const {
    if (!options_.fareClass) return {};
    const Journey& j = journeys_[journey];
    bool cheapest = true, fastest = true;
    for (const Journey& other : journeys_) {
        if (other.fare < j.fare) cheapest = false;
        if (other.minutes < j.minutes) fastest = false;
    }
    std::string marks = cheapest ? kCheapest : "";
    if (fastest) marks += (marks.empty() ? "" : " ") + std::string(kFastest);
    return marks;
}

std::vector<std::string> JourneyWindowModel::SummaryCells(int journey) const {
    const Journey& j = journeys_[journey];
    const Timetable& tt = *timetable_;
    std::vector<std::string> cells = {
        std::to_string(journey + 1), StationText(tt, j.legs.front().fromStation),
        JourneyClockText(j.depart),  StationText(tt, j.legs.back().toStation),
        JourneyClockText(j.arrive),  RideTimeText(j.minutes),
        std::to_string(j.transfers), "",
        std::to_string(j.distance)};
    for (const FareValue& fare : j.fares) cells.push_back(FareText(fare));
    if (options_.fareClass) {
        cells[7] = Marks(journey);
        cells[kFirstFareColumn + static_cast<int>(*options_.fareClass)] = YuanText(j.fare);
    }
    return cells;
}

std::vector<std::string> JourneyWindowModel::LegCells(int journey, int leg) const {
    const Journey& j = journeys_[journey];
    const JourneyLeg& l = j.legs[leg];
    const Timetable& tt = *timetable_;
    const bool last = leg + 1 == static_cast<int>(j.legs.size());
    std::vector<std::string> cells = {tt.Number(l.train),
                                      StationText(tt, l.fromStation),
                                      JourneyClockText(l.depart),
                                      StationText(tt, l.toStation),
                                      JourneyClockText(l.arrive),
                                      RideTimeText(l.arrive - l.depart),
                                      "",
                                      last ? "" : RideTimeText(l.wait),
                                      std::to_string(l.Distance())};
    for (int c = 0; c < 4; ++c) cells.push_back(FareCellText(tt, l.row, c));
    return cells;
}

bool JourneyWindowModel::SortByColumn(int column) {
    const bool sortable = column == kDepartColumn || column == kArriveColumn ||
                          column == kTimeColumn || column == kChangesColumn ||
                          (column >= kFirstFareColumn && column < kColumns);
    if (!sortable) return false;
    ascending_ = column == sortColumn_ ? !ascending_ : true;
    sortColumn_ = column;
    Sort();
    return true;
}

void JourneyWindowModel::Sort() {
    const int column = sortColumn_;
    const bool ascending = ascending_;
    const int byFare =
        options_.fareClass ? kFirstFareColumn + static_cast<int>(*options_.fareClass) : -1;
    auto key = [column, byFare](const Journey& j) -> double {
        if (column == byFare) return j.fare;
        switch (column) {
            case kArriveColumn:
                return j.arrive;
            case kTimeColumn:
                return j.minutes;
            case kChangesColumn:
                return j.transfers;
            case kDepartColumn:
                return j.depart;
            default:
                return FareKey(j.fares[column - kFirstFareColumn]);
        }
    };
    std::stable_sort(journeys_.begin(), journeys_.end(), [&](const Journey& a, const Journey& b) {
        const double ka = key(a), kb = key(b);
        if (ka != kb) {
            // Journeys without the fare stay last either way.
            if (std::isinf(ka) || std::isinf(kb)) return std::isinf(kb);
            return ascending ? ka < kb : ka > kb;
        }
        return std::tie(a.depart, a.arrive) < std::tie(b.depart, b.arrive);
    });
}

DetailSection JourneyWindowModel::LegSection(int journey, int leg) const {
    const JourneyLeg& l = journeys_[journey].legs[leg];
    DetailSection s;
    s.train = l.train;
    s.boarding = l.fromStation;
    s.stopCount = l.row.StopCount();
    s.km = l.Distance();
    s.rideMinutes = l.arrive - l.depart;
    return s;
}

void JourneyWindowModel::OpenLeg(int journey, int leg) {
    // An outdated leg's train may run otherwise, or not at all, in the timetable in use.
    if (outdated_ || journey < 0 || journey >= JourneyCount() || leg < 0 ||
        leg >= static_cast<int>(journeys_[journey].legs.size())) {
        return;
    }
    if (onOpenLeg) onOpenLeg(LegSection(journey, leg));
}

TextGrid JourneyWindowModel::LegGrid() const {
    int rows = 0;
    for (const Journey& j : journeys_) rows += static_cast<int>(j.legs.size());
    TextGrid grid(static_cast<int>(ExportTitles().size()), rows);
    int r = 0;
    for (int i = 0; i < JourneyCount(); ++i) {
        for (int leg = 0; leg < static_cast<int>(journeys_[i].legs.size()); ++leg, ++r) {
            const std::vector<std::string> cells = LegCells(i, leg);
            grid.SetCell(0, r, std::to_string(i + 1));
            // The leg's cells without the empty changes column.
            int c = 1;
            for (int k = 0; k < kColumns; ++k) {
                if (k != kChangesColumn) grid.SetCell(c++, r, cells[k]);
            }
        }
    }
    return grid;
}

std::string JourneyWindowModel::AnswerHeading() const {
    const JourneyOptions& o = options_;
    const std::string utf8 =
        std::string(o.windowOf == JourneyWindowOf::Arrival ? "，到达时间 " : "，出发时间 ") +
        ClockText(o.windowStart) + "-" + ClockText(o.windowEnd) + "，最多换乘" +
        std::to_string(o.maxTransfers) + "次，同站换乘至少" + std::to_string(o.minTransfer) +
        "分，同城换乘至少" + std::to_string(o.cityTransfer) + "分";
    return Utf8ToGbk("换乘方案：") + from_ + Utf8ToGbk("—") + to_ + Utf8ToGbk(utf8);
}

std::optional<ExportFailure> JourneyWindowModel::Export(const std::string& path) const {
    const TextGrid grid = LegGrid();
    std::vector<std::string> lines = BuildExportLines(grid, ExportTitles(), grid.RowCount());
    // The head's fifth line names the query, as the result grid's export does.
    constexpr std::size_t kHeadingLine = 4;
    if (lines.size() > kHeadingLine) lines[kHeadingLine] = CsvField(AnswerHeading());
    return TryWriteExportFile(path, ExportFileText(lines));
}

}  // namespace korvel
