// The stop-by-station view of the typed timetable the queries take their fast path through:
// every stop's station and train as plain numbers in train-and-stop order, the stops of
// every station in that order, and the train boundaries. The station and train numbers are
// the typed timetable's own, so the journey index built from the same timetable numbers
// stations alike. The queries that accept it give exactly the rows of their plain table
// scans, in the same order.
//
// The timetable tables never change after loading; build a new index after any reload.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "data/schema.h"
#include "timetable/timetable.h"

namespace korvel {

class StopIndex {
  public:
    static constexpr std::uint32_t kNoStation = 0xFFFFFFFFu;

    // Over a typed timetable shared with other readers.
    explicit StopIndex(std::shared_ptr<const Timetable> timetable);
    // Over a typed timetable of its own, built from the tables.
    explicit StopIndex(const StoredTables& tables);

    const Timetable& Typed() const { return *tt_; }
    const std::shared_ptr<const Timetable>& SharedTyped() const { return tt_; }

    // Whether the index was built from these tables as they stand (same tables, and no
    // load since: their generation numbers are unchanged).
    bool Covers(const StoredTables& tables) const { return tt_->BuiltFrom(tables); }

    std::uint32_t Size() const { return tt_->StopTotal(); }
    // Station id of a name, kNoStation when no stop has it.
    std::uint32_t StationId(std::string_view name) const;
    std::uint32_t StationCount() const { return tt_->StationCount(); }

    // Per position in train-and-stop order (a StopId's number): the stops-table record, the
    // station id, the train number (in train-number order), and whether the stop has no
    // departure time.
    std::uint32_t Record(std::uint32_t pos) const { return tt_->StopRecord(StopId(pos)); }
    std::uint32_t Station(std::uint32_t pos) const { return tt_->Station(StopId(pos)).Value(); }
    std::uint32_t Train(std::uint32_t pos) const { return tt_->Train(StopId(pos)).Value(); }
    bool NoDeparture(std::uint32_t pos) const { return tt_->Departures().Empty(pos); }
    // Position of the first stop of a train, and one past its last.
    std::uint32_t TrainBegin(std::uint32_t train) const {
        return tt_->FirstStop(korvel::TrainId(train)).Value();
    }
    std::uint32_t TrainEnd(std::uint32_t train) const {
        return tt_->EndStop(korvel::TrainId(train)).Value();
    }
    // The train list record of a train: the record a search of the list by its number finds,
    // or kNoStation when the list has no such train.
    std::uint32_t ListRecord(std::uint32_t train) const {
        return tt_->ListRecord(korvel::TrainId(train));
    }
    // The positions of a station's stops, ascending.
    std::span<const StopId> Positions(std::uint32_t stationId) const {
        return tt_->StopsAt(korvel::StationId(stationId));
    }

  private:
    std::shared_ptr<const Timetable> tt_;
};

}  // namespace korvel
