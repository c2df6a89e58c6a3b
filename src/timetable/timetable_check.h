// The checks a timetable table passes before the program trusts it, beyond what the table
// stream reader itself refuses: the fields and indexes the queries read it by, with their
// types; at least one record; every value within the bounds the queries' arithmetic is
// safe for; unique keys under every unique index; each train's stops numbered 1..n, with
// the times a stop needs, run times and distances that never go back and arrivals that are
// the origin's departure plus the run time; and every stop's train in the train list, which
// starts and ends where the stops do. The embedded timetable passes them too (a test says
// so); at start-up they run on timetable folders, whose files anyone may have edited.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "data/memtable.h"
#include "data/table_stream.h"
#include "timetable/table_load.h"

namespace korvel {

// A table that fails a check: the record (load position) and field at fault where there is
// one, so that the loader can name the line of the file.
class TableCheckError : public TableStreamError {
  public:
    TableCheckError(const std::string& message, std::optional<std::uint32_t> record = {},
                    std::string field = {})
        : TableStreamError(message), record_(record), field_(std::move(field)) {}
    const std::optional<std::uint32_t>& Record() const { return record_; }
    const std::string& Field() const { return field_; }

  private:
    std::optional<std::uint32_t> record_;
    std::string field_;
};

// Largest values a table may hold. They are far above the real timetable's (62 stops, about
// 5,000 km, 72 hours, fares in the thousands) and far below where minutes, kilometres or
// fares summed over a journey of many legs could overflow 32 bits.
inline constexpr int kMaxStopNumber = 9999;
inline constexpr int kMaxDistanceKm = 99999;
inline constexpr int kMaxRunHours = 999;
inline constexpr int kMaxFareYuan = 99999;

// Everything about one loaded table that needs no other table. `format` is the one it was
// loaded with (which fields the header loaded). `emptyAllowed`: the table may have no
// records (the same-city table of a timetable without stations of one city, most railways
// outside China, when its manifest says so). Throws TableCheckError.
void CheckLoadedTable(LoadTable which, MemTable& table, const TableStreamFormat& format,
                      bool emptyAllowed = false);

// Every stop's train (KMTrain ID) is a train of the list (KMList ID), and every train of
// the list has at least two stops, the first at its StartStation, the last at its
// endStation with the list's run time and distance. Both tables passed CheckLoadedTable.
// Throws TableCheckError, naming the stop's record where there is one.
void CheckStopsInTrainList(MemTable& stops, MemTable& trains);

}  // namespace korvel
