// The checks a timetable table passes before the program trusts it, beyond what the table
// stream reader itself refuses: the stream's text in the form the program's writer gives it
// (definitions, column line, one complete record a line, valid GBK within each field's size);
// the fields and indexes the queries read it by, with their types; at least one record; every
// value within the bounds the queries' arithmetic is safe for; unique keys under every unique
// index; each train's stops numbered 1..n, with the times a stop needs, run times and
// distances that never go back and arrivals that are the origin's departure plus the run
// time; every stop's train in the train list, which starts and ends where and when the stops
// do; and one set of stations across the stops, the pinyin and the same-city tables. The
// embedded timetable passes them too (a test says so); at start-up they run on timetable
// folders, whose files anyone may have edited.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "data/memtable.h"
#include "data/table_stream.h"
#include "timetable/table_load.h"

namespace korvel {

// A table that fails a check, with where: the record (load position) and field at fault,
// from which the loader names the line of the file; or the line itself and what on it ("field
// ID", "index SIDNo", or nothing) when the check read the text. `table` is the table whose
// file is at fault when that is not the table being checked (a same-city station no train
// serves is the same-city file's fault, found while the stops are checked).
class TableCheckError : public TableStreamError {
  public:
    TableCheckError(const std::string& message, std::optional<std::uint32_t> record = {},
                    std::string field = {}, std::optional<LoadTable> table = {})
        : TableStreamError(message),
          record_(record),
          place_(field.empty() ? std::string() : "field " + field),
          table_(table) {}
    static TableCheckError AtLine(const std::string& message, std::size_t line, std::string place) {
        TableCheckError e(message);
        e.line_ = line;
        e.place_ = std::move(place);
        return e;
    }
    const std::optional<std::uint32_t>& Record() const { return record_; }
    const std::optional<std::size_t>& Line() const { return line_; }
    const std::string& Place() const { return place_; }
    const std::optional<LoadTable>& Table() const { return table_; }

  private:
    std::optional<std::uint32_t> record_;
    std::optional<std::size_t> line_;
    std::string place_;
    std::optional<LoadTable> table_;
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

// The text of a table stream exactly as the program's writer writes it for the table's
// schema, which is what korvel-ttbuild and every package write: the definitions and the
// column line of the schema (any version number); then one line per record, each value
// quoted and followed by a comma, one value per column, nothing after the last; quotes
// closed and doubled inside; every line ending in CR LF, none empty; no NUL and no control
// character; every text valid GBK (the user-defined area included) of at most the field's
// declared size in characters; integers as digits within their type. Throws TableCheckError
// naming the line and the field, or the index, where there is one.
void CheckStreamForm(LoadTable which, std::string_view text);

// The line of record `record` (load position) in a stream that passed CheckStreamForm.
std::size_t StreamFormRecordLine(LoadTable which, std::uint32_t record);

// Every stop's train (KMTrain ID) is a train of the list (KMList ID), and every train of
// the list has at least two stops, the first at its StartStation with its departure, the
// last at its endStation with its arrival, run time and distance. Both tables passed
// CheckLoadedTable. Throws TableCheckError, naming the record at fault.
void CheckStopsInTrainList(MemTable& stops, MemTable& trains);

// The stations across the tables: every same-city row names a station some train stops at,
// and every station a train stops at has a pinyin row. A name that begins with a character
// of GBK's user-defined area may have its pinyin row under the rest of the name, as the
// railway's own tables have it (a pinyin initial exists only for the standard characters).
// (A pinyin row may name a station no train serves: it is then found and answered with no
// trains.) Throws TableCheckError naming the record at fault and its table.
void CheckStationsAcrossTables(MemTable& stops, MemTable& pinyin, MemTable* groups);

}  // namespace korvel
