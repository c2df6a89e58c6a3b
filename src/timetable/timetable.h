// The timetable as every reader sees it once it has loaded: typed, read-only columns keyed by
// strong numbers, built once from the four stored tables. Times are minutes, distances km,
// fares tenths of a yuan; every name is stored once. The texts the stored tables held come
// back byte for byte from the Text functions: a value the numbers cannot reproduce exactly
// keeps its own text beside them.
//
// The orders and first-match rules it keeps are written down in timetable.cpp.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "data/huge_pages.h"
#include "data/schema.h"
#include "timetable/ids.h"

namespace korvel {

// The values of a column, appended row by row while the timetable is built: an append is a
// store and a bump, and growing (rare once reserved) happens out of line, so the readers that
// append once per stop stay small.
template <class T>
class ColumnValues {
  public:
    ColumnValues() = default;
    ColumnValues(ColumnValues&& o) noexcept
        : data_(std::move(o.data_)),
          end_(std::exchange(o.end_, nullptr)),
          capacityEnd_(std::exchange(o.capacityEnd_, nullptr)) {}
    ColumnValues& operator=(ColumnValues&& o) noexcept {
        data_ = std::move(o.data_);
        end_ = std::exchange(o.end_, nullptr);
        capacityEnd_ = std::exchange(o.capacityEnd_, nullptr);
        return *this;
    }
    ColumnValues(const ColumnValues& o) { Append(o); }
    ColumnValues& operator=(const ColumnValues& o) {
        if (this != &o) {
            end_ = data_.get();
            Append(o);
        }
        return *this;
    }

    void Reserve(std::size_t rows) {
        if (rows > Capacity()) Regrow(rows);
    }
    // `rows` new rows at the end, for the caller to write.
    T* Extend(std::size_t rows) {
        if (static_cast<std::size_t>(capacityEnd_ - end_) < rows) [[unlikely]]
            Regrow(std::max({2 * Capacity(), size() + rows, std::size_t{64}}));
        return std::exchange(end_, end_ + rows);
    }
    void Push(T v) {
        if (end_ == capacityEnd_) [[unlikely]]
            return PushGrowing(v);
        *end_++ = v;
    }
    void Append(const ColumnValues& tail) {
        std::copy_n(tail.data(), tail.size(), Extend(tail.size()));
    }
    std::size_t size() const { return static_cast<std::size_t>(end_ - data_.get()); }
    const T* data() const { return data_.get(); }
    const T& operator[](std::size_t row) const { return data_[row]; }

  private:
    [[gnu::noinline]] void PushGrowing(T v) { *Extend(1) = v; }
    std::size_t Capacity() const { return static_cast<std::size_t>(capacityEnd_ - data_.get()); }
    // Big columns are filled once, in memory new to the process: they take it in huge pages
    // where the kernel has them (data/huge_pages.h).
    struct Free {
        std::size_t bytes = 0;
        void operator()(T* p) const noexcept { FreeBuffer(p, bytes); }
    };
    [[gnu::noinline]] void Regrow(std::size_t capacity) {
        const std::size_t n = size();
        const std::size_t bytes = capacity * sizeof(T);
        std::unique_ptr<T[], Free> grown(static_cast<T*>(AllocateBuffer(bytes)), Free{bytes});
        std::copy_n(data_.get(), n, grown.get());
        data_ = std::move(grown);
        end_ = data_.get() + n;
        capacityEnd_ = data_.get() + capacity;
    }
    std::unique_ptr<T[], Free> data_;
    T* end_ = nullptr;
    T* capacityEnd_ = nullptr;
};

// The texts of a column that its numbers do not reproduce, by row (rows ascending).
class OddTexts {
  public:
    void Add(std::uint32_t row, std::string_view text) {
        rows_.push_back(row);
        texts_.emplace_back(text);
    }
    // nullptr when the row's text is what its number formats to.
    const std::string* Find(std::uint32_t row) const;
    // The texts of `tail`, whose rows follow `rows` rows of this column.
    void Append(const OddTexts& tail, std::uint32_t rows);
    std::uint32_t size() const { return static_cast<std::uint32_t>(rows_.size()); }

  private:
    std::vector<std::uint32_t> rows_;
    std::vector<std::string> texts_;
};

// Clock times ("HH:MM", 00:00..23:59) as minutes since midnight.
class ClockColumn {
  public:
    static constexpr std::int16_t kNone = -1;  // no time (empty text, or not a clock time)

    void Add(std::string_view text);
    void Reserve(std::uint32_t rows) { minutes_.Reserve(rows); }
    // Minutes since midnight, kNone when the row has no clock time.
    std::int16_t Minutes(std::uint32_t row) const {
        return minutes_[row] < 0 ? kNone : minutes_[row];
    }
    // Whether the stored text was empty (a text that is no clock time is not empty).
    bool Empty(std::uint32_t row) const { return minutes_[row] == kEmpty; }
    std::string Text(std::uint32_t row) const;
    std::uint32_t OddCount() const { return odd_.size(); }
    // The rows of `tail` after this column's own.
    void Append(const ClockColumn& tail);

  private:
    // Add for a text that is neither empty nor a clock time (out of line: rare).
    [[gnu::noinline]] void AddOdd(std::string_view text);

    static constexpr std::int16_t kEmpty = -1;
    static constexpr std::int16_t kOdd = -2;
    ColumnValues<std::int16_t> minutes_;
    OddTexts odd_;
};

// Run times since the origin's departure ("37:43", "18", "0") as minutes. A text of another
// form keeps the minutes it reads as ("H:M" is H * 60 + M, a part that is no number counts 0).
class RunTimeColumn {
  public:
    void Add(std::string_view text);
    void Reserve(std::uint32_t rows) { minutes_.Reserve(rows); }
    std::int32_t Minutes(std::uint32_t row) const { return minutes_[row]; }
    std::string Text(std::uint32_t row) const;
    std::uint32_t OddCount() const { return odd_.size(); }
    // The rows of `tail` after this column's own.
    void Append(const RunTimeColumn& tail);

  private:
    // Add for a text of another form than the timetable writes (out of line: rare).
    [[gnu::noinline]] void AddOther(std::string_view text);

    ColumnValues<std::int32_t> minutes_;
    OddTexts odd_;
};

// The four fare classes of a stop or a train and how many values (berths) each has.
enum class FareClass : std::uint8_t {
    HardSeat = 0,
    SoftSeat = 1,
    HardSleeper = 2,
    SoftSleeper = 3
};
inline constexpr std::array<std::uint8_t, 4> kBerths = {1, 1, 3, 2};

enum class FareState : std::uint8_t {
    Empty,       // no text (the origin stop)
    NotOffered,  // "-"
    Priced,      // one value per berth
    Odd,         // any other text: kept as text only
};

// One fare class: per row its state and, when priced, one value per berth in tenths of a
// yuan ("38/41/43.5" is 380, 410, 435).
class FareColumn {
  public:
    explicit FareColumn(std::uint8_t berths = 1) : berths_(berths) {}
    void Add(std::string_view text);
    void Reserve(std::uint32_t rows) {
        state_.Reserve(rows);
        tenths_.Reserve(std::size_t{rows} * berths_);
    }
    FareState State(std::uint32_t row) const { return static_cast<FareState>(state_[row]); }
    std::span<const std::int32_t> Tenths(std::uint32_t row) const {
        return {tenths_.data() + std::size_t{row} * berths_, berths_};
    }
    std::string Text(std::uint32_t row) const;
    std::uint32_t OddCount() const { return odd_.size(); }
    // The rows of `tail` (a column of as many berths) after this column's own.
    void Append(const FareColumn& tail);

  private:
    friend struct Fares;
    // Add for a column of `Berths` berths.
    template <std::uint8_t Berths>
    void AddOf(std::string_view text);

    std::uint8_t berths_;
    ColumnValues<std::uint8_t> state_;
    ColumnValues<std::int32_t> tenths_;
    OddTexts odd_;
};

// The fares of all four classes.
struct Fares {
    std::array<FareColumn, 4> classes{FareColumn(kBerths[0]), FareColumn(kBerths[1]),
                                      FareColumn(kBerths[2]), FareColumn(kBerths[3])};
    const FareColumn& operator[](FareClass c) const { return classes[static_cast<int>(c)]; }
    void Add(std::string_view p1, std::string_view p2, std::string_view p3, std::string_view p4);
    void Reserve(std::uint32_t rows) {
        for (FareColumn& c : classes) c.Reserve(rows);
    }
    void Append(const Fares& tail) {
        for (int i = 0; i < 4; ++i) classes[i].Append(tail.classes[i]);
    }
};

// The values of every stop that do not depend on its train or station, in StopId order: they
// can be read apart from (and beside) the rest, by the thread that reads their records.
struct StopValues {
    IdxVector<StopId, std::int32_t> number;
    IdxVector<StopId, std::int32_t> km;
    ClockColumn arrive;
    ClockColumn depart;
    RunTimeColumn run;
    Fares fares;

    void Reserve(std::uint32_t rows);
    // The stops' values from stored texts and numbers (a null number is 0).
    void Add(std::int32_t stopNumber, std::int32_t distance, std::string_view arrival,
             std::string_view departure, std::string_view runTime, const std::string_view (&p)[4]) {
        number.push_back(stopNumber);
        km.push_back(distance);
        arrive.Add(arrival);
        depart.Add(departure);
        run.Add(runTime);
        fares.Add(p[0], p[1], p[2], p[3]);
    }
    // The values of `tail`, whose stops follow these.
    void Append(const StopValues& tail);
};

// The values of every train-list row that do not depend on the stops, in row order (the
// list's number order, stored order among equal numbers): read apart from them, by the thread
// that loaded the list.
struct ListValues {
    std::vector<std::uint32_t> record;  // the stored record of each row
    std::vector<std::int32_t> type;
    std::vector<std::int32_t> km;
    ClockColumn depart;  // at the origin
    ClockColumn arrive;  // at the terminus
    RunTimeColumn run;
    Fares fares;
};

class TimetableReadAlong;  // read_along.h
struct ListStations;       // read_along.h
class TableStreamHelper;   // data/table_stream.h

class Timetable {
  public:
    static constexpr std::uint32_t kNoRecord = 0xFFFFFFFFu;

    Timetable() = default;
    // Reads the four tables (a table not loaded counts as empty). The tables are not kept.
    explicit Timetable(const StoredTables& tables);
    // The same, taking over what `readAlong` read of the stops while their table loaded when it
    // is what the stops table holds (otherwise the stops are read from the table as above).
    // With a helper, another thread may do part of that (see TableStreamHelper).
    Timetable(const StoredTables& tables, TimetableReadAlong& readAlong,
              TableStreamHelper* helper = nullptr);
    // The train list's own values as the timetable reads them (for TimetableReadAlong).
    static ListValues ReadListValues(const MemTable& list);
    // Moves keep the name lookup valid (it points into the names); copies would not.
    Timetable(Timetable&&) = default;
    Timetable& operator=(Timetable&&) = default;
    Timetable(const Timetable&) = delete;
    Timetable& operator=(const Timetable&) = delete;

    // Whether this was built from these tables as they stand: the same tables, none loaded
    // again since.
    bool BuiltFrom(const StoredTables& tables) const;

    // --- stations ---
    std::uint32_t StationCount() const { return names_.size(); }
    const std::string& Name(StationId s) const { return names_[s]; }
    // StationId::None() for a name no table holds.
    StationId FindStation(std::string_view name) const;
    // The stops at the station, in stop order.
    std::span<const StopId> StopsAt(StationId s) const { return stopsAt_[s]; }
    // The same-city group; CityGroupId::None() when the station is in none.
    CityGroupId Group(StationId s) const { return group_[s]; }
    // The pinyin rows of the station, in stored order (see PinyinCode).
    std::span<const std::uint32_t> PinyinRows(StationId s) const { return pinyinOf_[s]; }

    // --- pinyin short codes, in stored order ---
    std::uint32_t PinyinCount() const { return static_cast<std::uint32_t>(pyStation_.size()); }
    StationId PinyinStation(std::uint32_t row) const { return pyStation_[row]; }
    const std::string& PinyinCode(std::uint32_t row) const { return pyCode_[row]; }

    // --- same-city groups, by group number ---
    std::uint32_t GroupCount() const { return groupNumber_.size(); }
    std::int32_t GroupNumber(CityGroupId g) const { return groupNumber_[g]; }
    // The stations of every stored row of the group, in station-name order.
    std::span<const StationId> Members(CityGroupId g) const { return members_[g]; }
    // Every stored row of the same-city table, in stored order.
    struct GroupRow {
        StationId station;
        CityGroupId group;
    };
    std::span<const GroupRow> GroupRows() const { return groupRows_; }

    // --- trains, in train-number order (byte order) ---
    std::uint32_t TrainCount() const { return numbers_.size(); }
    const std::string& Number(TrainId t) const { return numbers_[t]; }
    TrainId FindTrain(std::string_view number) const;
    // The train's stops: StopId(FirstStop) up to, not including, StopId(EndStop).
    StopId FirstStop(TrainId t) const { return StopId(stopBegin_[t.Value()]); }
    StopId EndStop(TrainId t) const { return StopId(stopBegin_[t.Value() + 1]); }
    std::uint32_t StopCount(TrainId t) const {
        return stopBegin_[t.Value() + 1] - stopBegin_[t.Value()];
    }
    // Whether the train list has a row for the train; the values below come from that row
    // (the first, when the list has several of the same number) and are 0 or none without.
    bool Listed(TrainId t) const { return listRows_[t] != 0; }
    // How many train-list rows carry this number (0, 1, or more on a damaged list), and the
    // first of them (kNoRecord when none): a train's rows follow one another.
    std::uint32_t ListedRows(TrainId t) const { return listRows_[t]; }
    std::uint32_t ListRow(TrainId t) const { return listFirst_[t]; }
    std::int32_t Type(TrainId t) const { return Listed(t) ? rows_.type[ListRow(t)] : 0; }
    StationId Origin(TrainId t) const {
        return Listed(t) ? rowOrigin_[ListRow(t)] : StationId::None();
    }
    StationId Terminus(TrainId t) const {
        return Listed(t) ? rowTerminus_[ListRow(t)] : StationId::None();
    }
    std::int32_t Distance(TrainId t) const { return Listed(t) ? rows_.km[ListRow(t)] : 0; }

    // --- train-list rows, in train-number order (stored order among equal numbers) ---
    std::uint32_t ListRowCount() const { return static_cast<std::uint32_t>(rowTrain_.size()); }
    TrainId RowTrain(std::uint32_t row) const { return rowTrain_[row]; }
    std::int32_t RowType(std::uint32_t row) const { return rows_.type[row]; }
    StationId RowOrigin(std::uint32_t row) const { return rowOrigin_[row]; }
    StationId RowTerminus(std::uint32_t row) const { return rowTerminus_[row]; }
    std::int32_t RowDistance(std::uint32_t row) const { return rows_.km[row]; }
    // By list row: the departure at the origin and arrival at the terminus, the whole
    // journey's run time and its fares.
    const ClockColumn& TrainDepartures() const { return rows_.depart; }
    const ClockColumn& TrainArrivals() const { return rows_.arrive; }
    const RunTimeColumn& TrainRunTimes() const { return rows_.run; }
    const Fares& TrainFares() const { return rows_.fares; }

    // --- stops, train after train, each train's in stop order ---
    std::uint32_t StopTotal() const { return stopTrain_.size(); }
    TrainId Train(StopId s) const { return stopTrain_[s]; }
    StationId Station(StopId s) const { return stopStation_[s]; }
    std::int32_t StopNumber(StopId s) const { return stops_.number[s]; }
    std::int32_t Km(StopId s) const { return stops_.km[s]; }
    const ClockColumn& Arrivals() const { return stops_.arrive; }
    const ClockColumn& Departures() const { return stops_.depart; }
    const RunTimeColumn& RunTimes() const { return stops_.run; }
    const Fares& StopFares() const { return stops_.fares; }

    // Where a value came from in the stored tables, for readers that still take their texts
    // from there: the train-list record of a train (kNoRecord when unlisted), the stops-table
    // record of a stop.
    std::uint32_t ListRecord(TrainId t) const {
        return Listed(t) ? rows_.record[ListRow(t)] : kNoRecord;
    }
    std::uint32_t StopRecord(StopId s) const {
        return stopRecord_.size() == 0 ? s.Value() : stopRecord_[s];
    }

  private:
    struct Builder;
    StationId Intern(Builder& b, std::string_view name);
    void Build(const StoredTables& tables, TimetableReadAlong* readAlong,
               TableStreamHelper* helper);
    // The phases of the build, in this order (the stops and trains by one of the two).
    void ReadTrains(Builder& b);
    void TakeTrains(Builder& b, TimetableReadAlong& read, TableStreamHelper* helper);
    void AddListRows(Builder& b, TrainId t, std::string_view number, std::size_t& j);
    void MergeTrains(Builder& b, const std::vector<std::string_view>& runNumber,
                     const std::vector<std::uint32_t>& runBegin);
    static void ReadListValues(const Builder& b, ListValues& out);
    void AddOriginsAndTermini(Builder& b, const ListStations* read);
    static void ReadStopValues(const Builder& b, std::size_t begin, std::size_t end,
                               StopValues& out);
    void ReadGroups(const MemTable& G, Builder& b);
    void ReadPinyin(const MemTable& P, Builder& b);
    void IndexStations(Builder& b);

    const StoredTables* source_ = nullptr;
    std::array<std::uint64_t, 4> generations_{};

    IdxVector<StationId, std::string> names_;
    std::unordered_map<std::string_view, StationId> stationOf_;  // views into names_
    FlatLists<StationId, StopId> stopsAt_;
    IdxVector<StationId, CityGroupId> group_;
    FlatLists<StationId, std::uint32_t> pinyinOf_;
    std::vector<StationId> pyStation_;
    std::vector<std::string> pyCode_;

    IdxVector<CityGroupId, std::int32_t> groupNumber_;
    FlatLists<CityGroupId, StationId> members_;
    std::vector<GroupRow> groupRows_;

    IdxVector<TrainId, std::string> numbers_;
    std::vector<std::uint32_t> stopBegin_{0};
    IdxVector<TrainId, std::uint32_t> listFirst_;
    IdxVector<TrainId, std::uint32_t> listRows_;
    std::vector<TrainId> rowTrain_;
    ListValues rows_;
    std::vector<StationId> rowOrigin_;
    std::vector<StationId> rowTerminus_;

    IdxVector<StopId, TrainId> stopTrain_;
    IdxVector<StopId, StationId> stopStation_;
    StopValues stops_;
    IdxVector<StopId, std::uint32_t> stopRecord_;  // empty when every stop is its own record
};

}  // namespace korvel
