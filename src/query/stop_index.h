// An interned view of the train-stop table for fast station lookups: every stop's station
// as a small integer, the stops of every station in train-and-stop order, and the train
// boundaries. Built once after KMTrain has loaded; the queries that accept it give exactly
// the rows of their plain table scans, in the same order.
//
// The timetable tables never change after loading; build a new index after any reload.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "data/schema.h"

namespace korvel {

class StopIndex {
  public:
    static constexpr std::uint32_t kNoStation = 0xFFFFFFFFu;

    explicit StopIndex(StoredTables& tables);

    // Whether the index was built from this stops table as it stands (same table, and no
    // load since: its generation number is unchanged).
    bool Covers(const StoredTables& tables) const;

    std::uint32_t Size() const { return static_cast<std::uint32_t>(record_.size()); }
    // Station id of a name, kNoStation when no stop has it.
    std::uint32_t StationId(std::string_view name) const;
    std::uint32_t StationCount() const { return static_cast<std::uint32_t>(positions_.size()); }

    // Per position in SIDNo order: the record (load position), station id, train number
    // (0-based, in order), and whether the stop has no departure time.
    std::uint32_t Record(std::uint32_t pos) const { return record_[pos]; }
    std::uint32_t Station(std::uint32_t pos) const { return station_[pos]; }
    std::uint32_t Train(std::uint32_t pos) const { return train_[pos]; }
    bool NoDeparture(std::uint32_t pos) const { return noDeparture_[pos] != 0; }
    // One past the last position of a train.
    std::uint32_t TrainEnd(std::uint32_t train) const { return trainStart_[train + 1]; }
    // The train list record of a train: the record Locate("ID", its number) on the train list
    // finds, or kNoStation when the list has no such train. Worked out for every train at the
    // first call after the list has loaded (one merge of the two train-number orders).
    std::uint32_t ListRecord(std::uint32_t train, MemTable& list) const;
    // Position of the first stop of a train.
    std::uint32_t TrainBegin(std::uint32_t train) const { return trainStart_[train]; }
    // The positions of a station's stops, ascending.
    const std::vector<std::uint32_t>& Positions(std::uint32_t stationId) const {
        return positions_[stationId];
    }

  private:
    const MemTable* table_ = nullptr;
    const Field* idField_ = nullptr;  // the stops' train numbers
    const std::vector<std::uint32_t>* order_ = nullptr;
    std::uint64_t generation_ = 0;
    std::vector<std::uint32_t> record_;
    std::vector<std::uint32_t> station_;
    std::vector<std::uint32_t> train_;
    std::vector<std::uint8_t> noDeparture_;
    std::vector<std::uint32_t> trainStart_;  // plus one end entry
    std::vector<std::vector<std::uint32_t>> positions_;
    std::unordered_map<std::string, std::uint32_t> ids_;
    // ListRecord's answers and the list they were worked out for.
    mutable std::vector<std::uint32_t> listRecord_;
    mutable const MemTable* list_ = nullptr;
    mutable std::uint64_t listGeneration_ = 0;
};

}  // namespace korvel
