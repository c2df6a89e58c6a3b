#include "query/requests.h"

#include <utility>

#include "data/gbk.h"
#include "query/fare_tariff.h"
#include "query/pinyin_input.h"
#include "query/queries.h"
#include "query/query_rows.h"
#include "query/stop_index.h"
#include "timetable/timetable.h"

namespace korvel {

namespace {

using query_rows::TypedFor;

// Messages and captions (GBK).
const char kMsgEnterFrom[] = "\xC7\xEB\xCA\xE4\xC8\xEB\xB7\xA2\xD5\xBE\xA1\xA3";  // 请输入发站。
const char kMsgEnterTo[] = "\xC7\xEB\xCA\xE4\xC8\xEB\xB5\xBD\xD5\xBE\xA1\xA3";  // 请输入到站。
const char kCapIncomplete[] = "\xD0\xC5\xCF\xA2\xB2\xBB\xCD\xEA\xD5\xFB";       // 信息不完整
const char kMsgSameStations[] =
    "\xB7\xA2\xD5\xBE\xD3\xEB\xB5\xBD\xD5\xBE\xCF\xE0\xCD\xAC\xA1\xA3";  // 发站与到站相同。
const char kMsgNoFrom[] = "\xB7\xA2\xD5\xBE\xB2\xBB\xB4\xE6\xD4\xDA\xA1\xA3";  // 发站不存在。
const char kMsgNoTo[] = "\xB5\xBD\xD5\xBE\xB2\xBB\xB4\xE6\xD4\xDA\xA1\xA3";    // 到站不存在。
const char kCapWrongInput[] = "\xCA\xE4\xC8\xEB\xB4\xED\xCE\xF3";              // 输入错误
// 两站之间无直达列车,是否进行中转站查询?
const char kMsgAskTransfer[] =
    "\xC1\xBD\xD5\xBE\xD6\xAE\xBC\xE4\xCE\xDE\xD6\xB1\xB4\xEF\xC1\xD0\xB3\xB5,"
    "\xCA\xC7\xB7\xF1\xBD\xF8\xD0\xD0\xD6\xD0\xD7\xAA\xD5\xBE\xB2\xE9\xD1\xAF?";
const char kAppTitle[] = "Korvel\xCA\xB1\xBF\xCC";                                 // Korvel时刻
const char kMsgEnterTrain[] = "\xC7\xEB\xCA\xE4\xC8\xEB\xB3\xB5\xB4\xCE\xA1\xA3";  // 请输入车次。
const char kMsgEnterStation[] = "\xC7\xEB\xCA\xE4\xC8\xEB\xB3\xB5\xD5\xBE\xA1\xA3";  // 请输入车站。
const char kMsgNoStation[] = "\xB3\xB5\xD5\xBE\xB2\xBB\xB4\xE6\xD4\xDA\xA1\xA3";  // 车站不存在。
// Headings.
const char kDirectHeading[] = "\xD5\xBE\xD5\xBE\xB2\xE9\xD1\xAF\xA3\xBA";    // 站站查询：
const char kTransferHeading[] = "\xD6\xD0\xD7\xAA\xB2\xE9\xD1\xAF\xA3\xBA";  // 中转查询：
const char kTrainHeading[] = "\xB3\xB5\xB4\xCE\xB2\xE9\xD1\xAF\xA3\xBA";     // 车次查询：
const char kStationHeading[] =
    "\xB3\xB5\xD5\xBE\xC8\xAB\xB2\xBF\xB3\xB5\xB4\xCE\xA3\xBA";  // 车站全部车次：
const char kDash[] = "\xA1\xAA";                                 // —
const char kVia[] = "\xA3\xAC\xBE\xAD";                          // ，经

// A station text that is not a finished station name: empty, or pinyin letters not yet
// turned into a name.
bool StationMissing(std::string_view text) {
    return text.empty() || IsPinyinCode(text);
}

Refusal Refuse(const char* caption, const char* text, QueryInput input) {
    return Refusal{caption, text, input};
}

Refusal NotLoaded(QueryInput input) {
    return Refusal{{}, {}, input};
}

// Whether the station list has the text, read through the typed timetable of these tables.
bool Known(const QueryTables& q, std::string_view text) {
    return StationExists(*TypedFor(q.tables, q.index), text);
}

// The station-pair checks with the typed timetable the existence checks read.
std::optional<Refusal> CheckPair(const QueryTables& q, const Timetable& tt, std::string_view from,
                                 std::string_view to) {
    if (StationMissing(from)) return Refuse(kCapIncomplete, kMsgEnterFrom, QueryInput::From);
    if (StationMissing(to)) return Refuse(kCapIncomplete, kMsgEnterTo, QueryInput::To);
    if (from == to) return Refuse(kCapWrongInput, kMsgSameStations, QueryInput::To);
    // The station list is needed to tell whether the names exist.
    if (!q.ready.pinyin) return NotLoaded(QueryInput::From);
    if (!StationExists(tt, from)) return Refuse(kCapWrongInput, kMsgNoFrom, QueryInput::From);
    if (!StationExists(tt, to)) return Refuse(kCapWrongInput, kMsgNoTo, QueryInput::To);
    // The queries read the train list and the same-city groups as well as the stops.
    if (!q.ready.All()) return NotLoaded(QueryInput::From);
    return std::nullopt;
}

std::string PairHeading(std::string_view from, std::string_view to) {
    return kDirectHeading + std::string(from) + kDash + std::string(to);
}

}  // namespace

std::string ApplicationTitle() {
    return kAppTitle;
}

Question NoDirectTrainQuestion() {
    return {kAppTitle, kMsgAskTransfer};
}

std::optional<Refusal> CheckStationPair(const QueryTables& q, std::string_view from,
                                        std::string_view to) {
    // The typed timetable is built only when the texts pass the checks that need no tables.
    if (StationMissing(from) || StationMissing(to) || from == to || !q.ready.pinyin)
        return CheckPair(q, Timetable(), from, to);
    return CheckPair(q, *TypedFor(q.tables, q.index), from, to);
}

std::variant<DirectAnswer, Refusal> AskDirect(const QueryTables& q, std::string_view from,
                                              std::string_view to) {
    if (std::optional<Refusal> refusal = CheckStationPair(q, from, to)) return *refusal;
    DirectAnswer answer;
    answer.heading = PairHeading(from, to);
    SearchDirectTrains(q.tables, from, to, answer.from, answer.to, answer.rows, q.index);
    return answer;
}

std::variant<TransferAnswer, Refusal> AskTransfer(const QueryTables& q, std::string_view from,
                                                  std::string_view to) {
    if (std::optional<Refusal> refusal = CheckStationPair(q, from, to)) return *refusal;
    TransferAnswer answer;
    answer.heading = PairHeading(from, to);
    TransferQuery(q.tables, from, to, answer.from, answer.to, answer.data, q.index);
    return answer;
}

TransferLegs TransferLegsThrough(const QueryTables& q, const TransferAnswer& transfer,
                                 std::string_view station, int count1, int count2,
                                 std::string_view from, std::string_view to) {
    TransferLegs legs;
    ShowTransferLegs(q.tables, transfer.data, station, count1, count2, legs.rows, legs.station);
    legs.heading = kTransferHeading + std::string(from) + kDash + std::string(to) + kVia +
                   std::string(station);
    return legs;
}

std::variant<TrainAnswer, Refusal> AskTrain(const QueryTables& q, std::string_view number) {
    const std::string key(TrimControl(number));
    if (key.empty()) return Refuse(kCapIncomplete, kMsgEnterTrain, QueryInput::TrainNumber);
    // Reads the train list and, for the stop counts, the stops.
    if (!q.ready.groups || !q.ready.list || !q.ready.stops)
        return NotLoaded(QueryInput::TrainNumber);
    TrainAnswer answer;
    answer.heading = kTrainHeading + key;
    QueryByTrainNumber(q.tables, number, answer.rows, q.index);
    return answer;
}

std::variant<StationAnswer, Refusal> AskStation(const QueryTables& q, std::string_view station) {
    if (StationMissing(station))
        return Refuse(kCapIncomplete, kMsgEnterStation, QueryInput::Station);
    if (!q.ready.pinyin) return NotLoaded(QueryInput::Station);
    if (!Known(q, station)) return Refuse(kCapWrongInput, kMsgNoStation, QueryInput::Station);
    if (!q.ready.All()) return NotLoaded(QueryInput::Station);
    StationAnswer answer;
    answer.heading = kStationHeading + std::string(station);
    QueryStationTimetable(q.tables, station, answer.side, answer.other, answer.rows, q.index);
    return answer;
}

std::optional<TrainSection> SectionOf(const Timetable& tt, std::string_view train,
                                      std::string_view board, std::optional<int> count) {
    const TrainId t = tt.FindTrain(train);
    if (t.IsNone()) return std::nullopt;
    const std::uint32_t first = tt.FirstStop(t).Value();
    const std::uint32_t end = tt.EndStop(t).Value();
    std::uint32_t from = first;
    while (from < end && tt.Name(tt.Station(StopId(from))) != board) ++from;
    // Boarding needs a later stop to ride to.
    if (from + 1 >= end) return std::nullopt;
    std::uint32_t to = end - 1;
    if (count && *count > 0 && from + static_cast<std::uint32_t>(*count) < to)
        to = from + static_cast<std::uint32_t>(*count);
    TrainSection section;
    section.boardStop = StopId(from);
    section.alightStop = StopId(to);
    section.stopCount = tt.StopNumber(StopId(to)) - tt.StopNumber(StopId(from));
    section.km = tt.Km(StopId(to)) - tt.Km(StopId(from));
    section.rideMinutes = RideMinutes(tt, StopId(from), StopId(to));
    return section;
}

}  // namespace korvel
