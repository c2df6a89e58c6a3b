// The tables read into the typed timetable's form while they load, by the loader threads that
// load them. Each thread that parses a piece of the stops stream converts that piece's records
// as it appends them, while their text is still in the cache, and numbers the stations and
// runs of trains it saw; the thread that loads the train list reads its rows' values while the
// other still parses stops. The typed timetable then takes these values over instead of
// walking the stored tables a second time, which leaves it only the merging that needs the
// whole timetable.
//
// What is read here is what Timetable would read from the tables itself. The stops are read in
// record order: they are taken over only when the stops table's train-and-stop order is its
// record order (the order the timetable builder writes; checked here, record by record, so
// that the table need not make its records for it), and when each field has the type the
// reading assumes; otherwise Timetable reads the stops table as it always has. The list rows
// are taken over when they were read from the very table the timetable is built from.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/table_stream.h"
#include "timetable/name_ids.h"
#include "timetable/timetable.h"

namespace korvel {

// The train list's rows' origins and termini (in the rows' order, as ListValues), numbered among
// the list's own station names in their order of first appearance row by row, origin first:
// the timetable then numbers each name once rather than once per row.
struct ListStations {
    std::vector<std::uint32_t> origin;
    std::vector<std::uint32_t> terminus;
    std::deque<std::string> names;
};

class TimetableReadAlong {
  public:
    TimetableReadAlong() { pieces_[0].first = true; }
    TimetableReadAlong(const TimetableReadAlong&) = delete;
    TimetableReadAlong& operator=(const TimetableReadAlong&) = delete;

    // For the stops table's load (LoadTableFromBlob): one observer per piece of the stream.
    RecordObservers Observers() { return {&pieces_[0], &pieces_[1], &pieces_[2]}; }
    // The train list's rows, once it has loaded with its number index.
    void ReadListRows(const MemTable& list);
    // Whether a timetable took the values over (it read the stops table itself otherwise).
    bool Taken() const { return taken_; }

  private:
    friend class Timetable;

    // A stop number as the train-and-stop order compares it: null before any number.
    struct StopKey {
        bool null = true;
        std::int32_t number = 0;
        bool Before(const StopKey& other) const {
            return null ? !other.null : !other.null && number < other.number;
        }
    };

    // The records of one piece, in record order. Two threads fill the pieces at once: each has
    // its cache lines to itself.
    class alignas(64) Piece : public RecordObserver {
      public:
        void Begin(const std::vector<FieldDef>& fields, std::size_t offset) override;
        void Record(const MemTable::RecordValue* values) override;
        void Reserve(std::size_t inPiece, std::size_t inStream) override;

        bool first = false;  // the piece from the start of the stream
        bool began = false;
        std::size_t offset = 0;  // where in the stream the piece begins
        bool usable = false;     // the fields are there, with the types read here
        std::uint32_t records = 0;
        StopValues values;
        // Each record's station as a number of this piece, the piece's names in order of first
        // appearance (a deque: the map keeps views of them), and the map.
        std::vector<std::uint32_t, BufferAllocator<std::uint32_t>> station;
        std::deque<std::string> names;
        NameIds nameIds;
        // The runs of records with one train number: where each starts, and the number.
        std::vector<std::uint32_t> runBegin;
        std::vector<std::string> runNumber;
        // Whether the records are in train-and-stop order (train number bytes, then stop
        // number, null first, equal keys in any order), and the stop numbers of the first and
        // last record, for the check across the pieces' boundaries.
        bool ordered = true;
        StopKey firstStop;
        StopKey lastStop;

      private:
        struct Columns {
            std::size_t id, station, stopNumber, arrive, depart, run, km;
            std::size_t fare[4];
            bool numberIsInteger, kmIsInteger;
        } c_{};
    };

    // Whether the pieces hold every record of `stops` and the stops' SIDNo order, as the table
    // defines it, is their record order. Asks the table for its definitions and count only.
    bool Fits(const MemTable& stops) const;

    // The pieces that began, in stream order.
    std::vector<Piece*> InStreamOrder();
    std::vector<const Piece*> InStreamOrder() const;

    Piece pieces_[3];
    // The train list's values by row, in number order (see Timetable's list rows), and which
    // load of the list they are from.
    struct ListRows {
        std::uint64_t generation = 0;
        ListValues values;
        ListStations stations;
    };
    std::optional<ListRows> list_;
    bool taken_ = false;
};

}  // namespace korvel
