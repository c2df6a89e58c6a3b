// The stops read into the typed timetable's form while their stored table loads: each thread
// that parses a piece of the stops stream converts that piece's records as it appends them,
// while their text is still in the cache, and numbers the stations and runs of trains it saw.
// The typed timetable then takes these values over instead of walking the stored table a
// second time, which leaves it only the merging that needs the whole timetable.
//
// What is read here is what Timetable would read from the table itself, but in record order:
// it is taken over only when the stops table's train-and-stop order is its record order (the
// order the timetable builder writes), and when each field has the type the reading assumes;
// otherwise Timetable reads the table as it always has.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "data/table_stream.h"
#include "timetable/name_ids.h"
#include "timetable/timetable.h"

namespace korvel {

class StopsReadAlong {
  public:
    StopsReadAlong() = default;
    StopsReadAlong(const StopsReadAlong&) = delete;
    StopsReadAlong& operator=(const StopsReadAlong&) = delete;

    // For the stops table's load (LoadTableFromBlob): one observer per piece of the stream.
    RecordObservers Observers() { return {&pieces_[0], &pieces_[1]}; }
    // Whether a timetable took the values over (it read the stops table itself otherwise).
    bool Taken() const { return taken_; }

  private:
    friend class Timetable;

    // The records of one piece, in record order.
    class Piece : public RecordObserver {
      public:
        void Begin(const std::vector<FieldDef>& fields) override;
        void Record(const MemTable::RecordValue* values) override;

        bool began = false;
        bool usable = false;  // the fields are there, with the types read here
        std::uint32_t records = 0;
        StopValues values;
        // Each record's station as a number of this piece, the piece's names in order of first
        // appearance (a deque: the map keeps views of them), and the map.
        std::vector<std::uint32_t> station;
        std::deque<std::string> names;
        NameIds nameIds;
        // The runs of records with one train number: where each starts, and the number.
        std::vector<std::uint32_t> runBegin;
        std::vector<std::string> runNumber;

      private:
        struct Columns {
            std::size_t id, station, stopNumber, arrive, depart, run, km;
            std::size_t fare[4];
            bool numberIsInteger, kmIsInteger;
        } c_{};
    };

    // Whether the pieces hold every record of `stops`, in the order `order` gives them.
    bool Fits(const MemTable& stops, const std::vector<std::uint32_t>& order) const;

    Piece pieces_[2];
    bool taken_ = false;
};

}  // namespace korvel
