// Builds the typed timetable from the four stored tables. What it keeps of their orders and
// first-match rules, which every query relies on:
//
// Trains. One train per distinct train number found in either the stops table or the train
// list, numbered in byte order of the number (unsigned bytes, case-sensitive): the order of
// the stops table's train-and-stop index and of the train list's number index alike. A train
// owns the stops the stops table holds under its number, in that index's order (stop number,
// then stored order among equal stop numbers), so StopIds run train after train, each
// train's stops in stop order.
// - The train-list values of a train are those of its first row in the list's number order
//   (stored order among equal numbers): the row a search of the list by number finds. A
//   damaged list may hold more rows of one number; they are all kept, in that order, for
//   the readers that walk the whole list.
// - A train with stops but no train-list row is kept (Listed() is false, its list values
//   empty or 0); the queries leave such a train out. A train-list row without stops gives a
//   train with an empty stop range.
// Stations. One station per distinct name (whole bytes, user-defined-area bytes such as
// F8B3 included), numbered in order of first appearance: the stops in StopId order first,
// then the train list's origins and termini (train order), then the same-city table
// (station-name order), then the pinyin table (stored order). A name's stops are listed in
// StopId order.
// Same-city groups. One group per distinct group number, numbered by ascending number. A
// station's group is the number of its first row in the same-city table's station-name
// order (the row a search by name finds); a group's members are the stations of all rows with
// its number, in that order, so a duplicated name appears as often as it is stored. The
// table's rows are also kept in stored order (GroupRows).
// Pinyin codes. The table's rows in stored order; a station lists its rows in that order.
// Values. A number field that is null reads as 0. Clock times are HH:MM only; any other
// text is "no time" to the numbers and is kept as text. Run times read as the queries read
// them; fares are tenths of a yuan with one value per berth (1, 1, 3 and 2 for the four
// classes); "-" is a class not offered, an empty text no fare at all. Every text that the
// numbers would not give back byte for byte is kept beside them.
// Read along. At start-up the stops' and the train list's own values may have been read while
// their tables loaded (read_along.h), by the same readers in the same way; they are taken over
// only where they are what the reading here would give (the stops in SIDNo order being their
// record order), so nothing above depends on which way they were read.
#include "timetable/timetable.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <exception>
#include <map>
#include <thread>

#include "data/table_stream.h"
#include "timetable/name_ids.h"
#include "timetable/read_along.h"

namespace korvel {

namespace {

// Below this many stops a second thread costs more than it saves.
constexpr std::size_t kParallelStops = 16384;

}  // namespace

// The stored tables' fields, looked up once; a table that is not loaded has none.
struct Timetable::Builder {
    struct Timed {
        const Field* atime = nullptr;
        const Field* dtime = nullptr;
        const Field* rdate = nullptr;
        const Field* km = nullptr;
        const Field* p[4] = {};
        const Field* id = nullptr;
        const std::vector<std::uint32_t>* order = nullptr;
        bool Read(const MemTable& t, std::string_view index) {
            atime = t.FindField("A_Time");
            dtime = t.FindField("D_Time");
            rdate = t.FindField("R_Date");
            km = t.FindField("Distance");
            id = t.FindField("ID");
            for (int i = 0; i < 4; ++i) p[i] = t.FindField(std::string("P") + char('1' + i));
            order = t.IndexOrder(index);
            const bool ok = atime && dtime && rdate && km && id && p[0] && p[1] && p[2] && p[3];
            if (!ok || order == nullptr) order = &kNone;
            return ok;
        }
        void AddFares(Fares& f, std::uint32_t rec) const {
            f.Add(p[0]->ViewAt(rec), p[1]->ViewAt(rec), p[2]->ViewAt(rec), p[3]->ViewAt(rec));
        }
    };
    static inline const std::vector<std::uint32_t> kNone;

    Timed stop;
    const Field* station = nullptr;
    const Field* sno = nullptr;
    Timed list;
    const Field* ntype = nullptr;
    const Field* start = nullptr;
    const Field* end = nullptr;
    void ReadList(const MemTable& t) {
        if (!list.Read(t, "SID")) return;
        ntype = t.FindField("NType");
        start = t.FindField("StartStation");
        end = t.FindField("endStation");
        if (!ntype || !start || !end) list.order = &kNone;
    }
    NameIds ids;  // views into the stored tables
    // Working lists: (station, group number) of every group row in station-name order, and
    // the group numbers' ids.
    std::vector<std::pair<StationId, std::int32_t>> stationRows;
    std::map<std::int32_t, CityGroupId> groupOf;
};

StationId Timetable::Intern(Builder& b, std::string_view name) {
    bool added = false;
    const StationId s(b.ids.Intern(name, names_.size(), added));
    if (added) names_.push_back(std::string(name));
    return s;
}

Timetable::Timetable(const StoredTables& tables) : source_(&tables) {
    Build(tables, nullptr, nullptr);
}

Timetable::Timetable(const StoredTables& tables, TimetableReadAlong& readAlong,
                     TableStreamHelper* helper)
    : source_(&tables) {
    Build(tables, &readAlong, helper);
}

void Timetable::Build(const StoredTables& tables, TimetableReadAlong* readAlong,
                      TableStreamHelper* helper) {
    const MemTable* all[] = {&tables.KMList, &tables.KMTrain, &tables.KMSM, &tables.KMPy};
    for (int i = 0; i < 4; ++i) generations_[i] = all[i]->Generation();

    Builder b;
    // Stops taken over from the read-along leave the stops table alone: its records may not
    // have been made (MemTable::DeferRecords).
    const bool takeStops = readAlong != nullptr && readAlong->Fits(tables.KMTrain);
    if (!takeStops && b.stop.Read(tables.KMTrain, "SIDNo")) {
        b.station = tables.KMTrain.FindField("Station");
        b.sno = tables.KMTrain.FindField("S_No");
        if (!b.station || !b.sno) b.stop.order = &Builder::kNone;
    }
    b.ReadList(tables.KMList);
    const ListStations* listStations = nullptr;
    if (readAlong != nullptr && readAlong->list_ &&
        readAlong->list_->generation == tables.KMList.Generation()) {
        listStations = &readAlong->list_->stations;
        rows_ = std::move(readAlong->list_->values);
    } else {
        ReadListValues(b, rows_);
    }
    if (takeStops) {
        TakeTrains(b, *readAlong, helper);
    } else {
        ReadTrains(b);
    }
    AddOriginsAndTermini(b, listStations);
    ReadGroups(tables.KMSM, b);
    ReadPinyin(tables.KMPy, b);
    IndexStations(b);
}

// The stops in SIDNo order, their stations numbered in that order, and the trains merged with
// the train list by number.
void Timetable::ReadTrains(Builder& b) {
    const std::vector<std::uint32_t>& stops = *b.stop.order;
    const std::size_t n = stops.size();

    // A stop's own values (times, fares, numbers) are those of the n-th record in SIDNo order
    // for StopId n, whatever train it belongs to: on a large table a second thread reads the
    // later three quarters of them while this one merges the trains, numbers the stations and
    // then reads the first quarter (about an even share of the work each). Both threads read the
    // same fields at once, which is safe for text fields only: reading an integer field as text
    // writes the field's buffer, so a table whose fields are not of the stored types is read by
    // one.
    const bool textFields =
        n > 0 && b.stop.atime->Type() == FieldType::WideString &&
        b.stop.dtime->Type() == FieldType::WideString &&
        b.stop.rdate->Type() == FieldType::WideString &&
        std::all_of(std::begin(b.stop.p), std::end(b.stop.p),
                    [](const Field* f) { return f->Type() == FieldType::WideString; });
    const bool twoThreads =
        textFields && n >= kParallelStops && std::thread::hardware_concurrency() > 1;
    const std::size_t split = twoThreads ? n / 4 : n;
    StopValues tail;
    std::exception_ptr tailError;
    std::jthread reader;
    if (split < n) {
        reader = std::jthread([&b, &tail, &tailError, split, n] {
            try {
                ReadStopValues(b, split, n, tail);
            } catch (...) {
                tailError = std::current_exception();
            }
        });
    }

    // Stations in stop order, and the runs of stops of one number.
    stopStation_.reserve(static_cast<std::uint32_t>(n));
    stopRecord_.reserve(static_cast<std::uint32_t>(n));
    // A number is copied: a number field of another type than text gives its text in a buffer
    // that the next read overwrites.
    std::vector<std::uint32_t> runBegin;
    std::deque<std::string> numbers;
    std::vector<std::string_view> runNumber;
    for (std::uint32_t i = 0; i < n; ++i) {
        const std::uint32_t rec = stops[i];
        stopStation_.push_back(Intern(b, b.station->ViewAt(rec)));
        stopRecord_.push_back(rec);
        const std::string_view number = b.stop.id->ViewAt(rec);
        if (runNumber.empty() || runNumber.back() != number) {
            runBegin.push_back(i);
            runNumber.push_back(numbers.emplace_back(number));
        }
    }
    runBegin.push_back(static_cast<std::uint32_t>(n));
    MergeTrains(b, runNumber, runBegin);

    StopValues head;
    ReadStopValues(b, 0, split, head);
    if (reader.joinable()) reader.join();
    if (tailError) std::rethrow_exception(tailError);
    if (split < n) head.Append(tail);
    stops_ = std::move(head);
}

// The stops and trains from what was read of the stops while their table loaded, in record
// order, which is the stops' order here (TimetableReadAlong::Fits): the same numbers, names and
// values as ReadTrains gives.
void Timetable::TakeTrains(Builder& b, TimetableReadAlong& read, TableStreamHelper* helper) {
    const std::vector<TimetableReadAlong::Piece*> pieces = read.InStreamOrder();
    std::uint32_t n = 0;
    for (const TimetableReadAlong::Piece* piece : pieces) n += piece->records;

    // The stops' values and stations on the helper's thread while this one merges the trains
    // (the two share nothing), or here after the merge when the helper is busy.
    std::exception_ptr stopsError;
    const auto stops = [this, &b, &pieces, n, &stopsError] {
        try {
            // The later pieces' values go behind the first's (which has room for them).
            stops_ = std::move(pieces[0]->values);
            for (std::size_t p = 1; p < pieces.size(); ++p) stops_.Append(pieces[p]->values);
            // Stations: each piece's names in its order of first appearance, those of the
            // pieces before it first, which is their order of first appearance over all stops.
            // Each stop is its own record here, which an empty stopRecord_ says.
            stopStation_.reserve(n);
            std::vector<StationId> stationOf;
            for (const TimetableReadAlong::Piece* piece : pieces) {
                stationOf.clear();
                stationOf.reserve(piece->names.size());
                for (const std::string& name : piece->names) stationOf.push_back(Intern(b, name));
                for (const std::uint32_t local : piece->station)
                    stopStation_.push_back(stationOf[local]);
            }
        } catch (...) {
            stopsError = std::current_exception();
        }
    };
    if (helper != nullptr) helper->Offer(stops);

    // Trains: the runs of one number over the pieces (a train may run across a boundary),
    // merged with the train list by number as ReadTrains merges them.
    std::vector<std::uint32_t> runBegin;
    std::vector<std::string_view> runNumber;
    std::uint32_t offset = 0;
    for (const TimetableReadAlong::Piece* piece : pieces) {
        for (std::size_t k = 0; k < piece->runBegin.size(); ++k) {
            if (k == 0 && !runNumber.empty() && runNumber.back() == piece->runNumber[0]) continue;
            runBegin.push_back(offset + piece->runBegin[k]);
            runNumber.push_back(piece->runNumber[k]);
        }
        offset += piece->records;
    }
    runBegin.push_back(n);
    try {
        MergeTrains(b, runNumber, runBegin);
    } catch (...) {
        // The helper's job must be back before what it refers to is gone.
        if (helper != nullptr) helper->TakeBack();
        throw;
    }
    if (helper == nullptr || helper->TakeBack()) stops();
    if (stopsError) std::rethrow_exception(stopsError);
    read.taken_ = true;
}

// Every train-list row's origin and terminus, once every stop's station has its number. When
// the list's names were numbered as it loaded, each of those is numbered here once, in their
// order of first appearance over the rows, which gives every name the number that numbering
// row by row would.
void Timetable::AddOriginsAndTermini(Builder& b, const ListStations* read) {
    const std::size_t n = rows_.record.size();
    rowOrigin_.reserve(n);
    rowTerminus_.reserve(n);
    if (read != nullptr && b.start != nullptr && read->origin.size() == n) {
        std::vector<StationId> station;
        station.reserve(read->names.size());
        for (const std::string& name : read->names) station.push_back(Intern(b, name));
        for (std::size_t i = 0; i < n; ++i) {
            rowOrigin_.push_back(station[read->origin[i]]);
            rowTerminus_.push_back(station[read->terminus[i]]);
        }
        return;
    }
    for (const std::uint32_t r : rows_.record) {
        rowOrigin_.push_back(Intern(b, b.start->ViewAt(r)));
        rowTerminus_.push_back(Intern(b, b.end->ViewAt(r)));
    }
}

void StopValues::Reserve(std::uint32_t rows) {
    number.reserve(rows);
    km.reserve(rows);
    arrive.Reserve(rows);
    depart.Reserve(rows);
    run.Reserve(rows);
    fares.Reserve(rows);
}

void StopValues::Append(const StopValues& tail) {
    for (const std::int32_t v : tail.number) number.push_back(v);
    for (const std::int32_t v : tail.km) km.push_back(v);
    arrive.Append(tail.arrive);
    depart.Append(tail.depart);
    run.Append(tail.run);
    fares.Append(tail.fares);
}

// The stops' own values, from position `begin` of the stops' SIDNo order up to `end`.
void Timetable::ReadStopValues(const Builder& b, std::size_t begin, std::size_t end,
                               StopValues& out) {
    const std::vector<std::uint32_t>& stops = *b.stop.order;
    out.Reserve(static_cast<std::uint32_t>(end - begin));
    for (std::size_t i = begin; i < end; ++i) {
        const std::uint32_t rec = stops[i];
        out.number.push_back(b.sno->IntegerAt(rec));
        out.km.push_back(b.stop.km->IntegerAt(rec));
        out.arrive.Add(b.stop.atime->ViewAt(rec));
        out.depart.Add(b.stop.dtime->ViewAt(rec));
        out.run.Add(b.stop.rdate->ViewAt(rec));
        b.stop.AddFares(out.fares, rec);
    }
}

// The train list's rows of one number, from position `j` of its SID order on.
void Timetable::AddListRows(Builder& b, TrainId t, std::string_view number, std::size_t& j) {
    const std::vector<std::uint32_t>& rows = *b.list.order;
    const std::uint32_t firstRow = static_cast<std::uint32_t>(rowTrain_.size());
    for (; j < rows.size() && b.list.id->ViewAt(rows[j]) == number; ++j) rowTrain_.push_back(t);
    const std::uint32_t listed = static_cast<std::uint32_t>(rowTrain_.size()) - firstRow;
    listFirst_.push_back(listed == 0 ? kNoRecord : firstRow);
    listRows_.push_back(listed);
}

// The train list's own values, row by row in its SID order.
void Timetable::ReadListValues(const Builder& b, ListValues& out) {
    const std::vector<std::uint32_t>& rows = *b.list.order;
    const std::uint32_t n = static_cast<std::uint32_t>(rows.size());
    out.record.reserve(n);
    out.type.reserve(n);
    out.km.reserve(n);
    out.depart.Reserve(n);
    out.arrive.Reserve(n);
    out.run.Reserve(n);
    out.fares.Reserve(n);
    for (const std::uint32_t r : rows) {
        out.record.push_back(r);
        out.type.push_back(b.ntype->IntegerAt(r));
        out.km.push_back(b.list.km->IntegerAt(r));
        out.depart.Add(b.list.atime->ViewAt(r));
        out.arrive.Add(b.list.dtime->ViewAt(r));
        out.run.Add(b.list.rdate->ViewAt(r));
        b.list.AddFares(out.fares, r);
    }
}

ListValues Timetable::ReadListValues(const MemTable& list) {
    Builder b;
    b.ReadList(list);
    ListValues values;
    ReadListValues(b, values);
    return values;
}

// One train per number of the stops' runs (each run's first stop in `runBegin`, then the
// end) or of the train list, in byte order as both are: a number's list rows and its run of
// stops go to one train, whichever of the two has it.
void Timetable::MergeTrains(Builder& b, const std::vector<std::string_view>& runNumber,
                            const std::vector<std::uint32_t>& runBegin) {
    const std::vector<std::uint32_t>& rows = *b.list.order;
    const std::size_t m = rows.size();
    const std::size_t runs = runNumber.size();
    stopTrain_.reserve(runBegin.back());
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < runs || j < m) {
        const std::string_view stopId = i < runs ? runNumber[i] : std::string_view();
        const std::string_view listId = j < m ? b.list.id->ViewAt(rows[j]) : std::string_view();
        const std::string_view number =
            i >= runs ? listId : (j >= m ? stopId : std::min(stopId, listId));
        const TrainId t(numbers_.size());
        numbers_.push_back(std::string(number));
        AddListRows(b, t, number, j);
        if (i < runs && stopId == number) {
            for (std::uint32_t s = runBegin[i]; s < runBegin[i + 1]; ++s) stopTrain_.push_back(t);
            ++i;
        }
        stopBegin_.push_back(stopTrain_.size());
    }
}

// Same-city groups, numbered in the order of their group numbers; each station's rows in the
// table's station-name order.
void Timetable::ReadGroups(const MemTable& G, Builder& b) {
    const Field* gStation = G.FindField("Station");
    const Field* gp = G.FindField("Gp");
    const std::vector<std::uint32_t>* gOrder = G.IndexOrder("SStation");
    if (!gStation || !gp || !gOrder) return;
    for (std::uint32_t rec : *gOrder) {
        const std::int32_t number = gp->IntegerAt(rec);
        b.groupOf.try_emplace(number, CityGroupId());
        b.stationRows.emplace_back(Intern(b, gStation->ViewAt(rec)), number);
    }
    for (auto& [number, id] : b.groupOf) {
        id = CityGroupId(groupNumber_.size());
        groupNumber_.push_back(number);
    }
    for (std::uint32_t rec = 0; rec < G.RecordCount(); ++rec) {
        groupRows_.push_back({Intern(b, gStation->ViewAt(rec)), b.groupOf[gp->IntegerAt(rec)]});
    }
}

// Pinyin codes in stored order.
void Timetable::ReadPinyin(const MemTable& P, Builder& b) {
    const Field* pyStation = P.FindField("Station");
    const Field* pyCode = P.FindField("Shortcode");
    if (!pyStation || !pyCode) return;
    for (std::uint32_t rec = 0; rec < P.RecordCount(); ++rec) {
        pyStation_.push_back(Intern(b, pyStation->ViewAt(rec)));
        pyCode_.emplace_back(pyCode->ViewAt(rec));
    }
}

// Every name has its number now: the per-station lists and the name lookup, over the names'
// own bytes.
void Timetable::IndexStations(Builder& b) {
    const std::uint32_t stations = names_.size();
    stopsAt_.AssignIndices(stations, stopStation_);
    group_.assign(stations, CityGroupId::None());
    std::vector<std::pair<std::uint32_t, StationId>> memberPairs;
    for (const auto& [station, number] : b.stationRows) {
        const CityGroupId g = b.groupOf[number];
        if (group_[station].IsNone()) group_[station] = g;
        memberPairs.emplace_back(g.Value(), station);
    }
    members_.AssignPairs(groupNumber_.size(), memberPairs);
    std::vector<std::pair<std::uint32_t, std::uint32_t>> pinyinPairs;
    for (std::uint32_t row = 0; row < pyStation_.size(); ++row)
        pinyinPairs.emplace_back(pyStation_[row].Value(), row);
    pinyinOf_.AssignPairs(stations, pinyinPairs);
    stationOf_.reserve(stations);
    for (StationId s(0); s < StationId(stations); ++s) stationOf_.emplace(names_[s], s);
}

bool Timetable::BuiltFrom(const StoredTables& tables) const {
    const MemTable* all[] = {&tables.KMList, &tables.KMTrain, &tables.KMSM, &tables.KMPy};
    if (source_ != &tables) return false;
    for (int i = 0; i < 4; ++i) {
        if (generations_[i] != all[i]->Generation()) return false;
    }
    return true;
}

StationId Timetable::FindStation(std::string_view name) const {
    const auto it = stationOf_.find(name);
    return it == stationOf_.end() ? StationId::None() : it->second;
}

TrainId Timetable::FindTrain(std::string_view number) const {
    const auto it =
        std::lower_bound(numbers_.begin(), numbers_.end(), number,
                         [](const std::string& a, std::string_view v) { return a < v; });
    if (it == numbers_.end() || *it != number) return TrainId::None();
    return TrainId(static_cast<std::uint32_t>(it - numbers_.begin()));
}

}  // namespace korvel
