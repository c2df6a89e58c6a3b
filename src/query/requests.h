// The questions a user asks of the timetable, as both front ends ask them: each takes what the
// user typed and gives either the answer's rows or the refusal the window shows for that input
// (the texts below, word for word). The window's controller and korvel-cli call these alone;
// neither checks an input or words a message of its own.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "data/schema.h"
#include "query/grid_result.h"
#include "query/queries.h"
#include "query/stations.h"
#include "timetable/ids.h"

namespace korvel {

class StopIndex;
class Timetable;

// The application title "Korvel时刻" (GBK): the caption of the no-direct-train question and of
// the messages that are not about one input.
std::string ApplicationTitle();

// Which tables have loaded completely. A question that needs a table still loading (or that
// failed to load) is refused without a word.
struct TablesReady {
    bool pinyin = true;  // station names and their pinyin codes
    bool list = true;    // the train list
    bool groups = true;  // the same-city groups
    bool stops = true;   // every train's stops
    bool All() const { return pinyin && list && groups && stops; }
};

// What the questions read: the stored tables, which of them have loaded, and the stop index
// over the typed timetable built from them (optional: without it, or when it was built from an
// earlier load, the questions build the typed timetable they need themselves).
struct QueryTables {
    StoredTables& tables;
    TablesReady ready;
    const StopIndex* index = nullptr;
};

// The input a refusal is about; the window puts the focus there.
enum class QueryInput { From, To, Station, TrainNumber };

// A question not asked: the caption and text of the message box (GBK). An empty text means
// the tables it needs have not loaded: nothing is said.
struct Refusal {
    std::string caption;
    std::string text;
    QueryInput input = QueryInput::From;
    bool Silent() const { return text.empty(); }
};

// The checks of a departure and an arrival station (the direct and transfer queries and the
// journey planner), in this order: each given (an empty text or pinyin letters not yet turned
// into a name is missing), not the same, then both known to the station list.
std::optional<Refusal> CheckStationPair(const QueryTables& q, std::string_view from,
                                        std::string_view to);

// Station to station: the direct trains between two stations.
struct DirectAnswer {
    StationSide from;
    StationSide to;
    ResultList rows;      // empty: ask NoDirectTrainQuestion
    std::string heading;  // "站站查询：<from>—<to>", for a printed or exported page
};
std::variant<DirectAnswer, Refusal> AskDirect(const QueryTables& q, std::string_view from,
                                              std::string_view to);

// The Yes/No question put when two stations have no direct train (caption, text); Yes asks
// for the transfer stations.
struct Question {
    std::string caption;
    std::string text;
};
Question NoDirectTrainQuestion();

// Where to change between two stations: the candidate stations, and the working lists that
// TransferLegsThrough reads once one is picked.
struct TransferAnswer {
    StationSide from;
    StationSide to;
    TransferData data;
    std::string heading;  // as DirectAnswer's: what the main list shows until a pick
};
std::variant<TransferAnswer, Refusal> AskTransfer(const QueryTables& q, std::string_view from,
                                                  std::string_view to);

// Both legs through a picked transfer station (at most count1 first and count2 second legs),
// as the main list shows them; `from` and `to` are the texts the transfer was asked with.
struct TransferLegs {
    ResultList rows;
    std::string station;  // the picked station
    std::string heading;  // "中转查询：<from>—<to>，经<station>"
};
TransferLegs TransferLegsThrough(const QueryTables& q, const TransferAnswer& transfer,
                                 std::string_view station, int count1, int count2,
                                 std::string_view from, std::string_view to);

// Every train of a number (the text is trimmed and upper-cased; "请输入车次。" when empty).
struct TrainAnswer {
    ResultList rows;
    std::string heading;  // "车次查询：<number>"
};
std::variant<TrainAnswer, Refusal> AskTrain(const QueryTables& q, std::string_view number);

// Every train calling at a station or its same-city group.
struct StationAnswer {
    StationSide side;   // the station as resolved
    StationSide other;  // the other side: only its typed name is set
    ResultList rows;
    std::string heading;  // "车站全部车次：<station>"
};
std::variant<StationAnswer, Refusal> AskStation(const QueryTables& q, std::string_view station);

// A stretch of one train's route: boarding at the first stop named `board` and riding `count`
// stops (to the terminus when count is missing, not positive or too large).
struct TrainSection {
    StopId boardStop;  // its train and station are the timetable's Train and Station of it
    StopId alightStop;
    int stopCount = 0;  // stop numbers ridden
    int km = 0;
    std::int32_t rideMinutes = 0;  // from the departure at the boarding stop
};
// Nothing when the train has no stop named `board` with a later stop to ride to.
std::optional<TrainSection> SectionOf(const Timetable& tt, std::string_view train,
                                      std::string_view board, std::optional<int> count);

}  // namespace korvel
