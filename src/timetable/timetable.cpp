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
#include "timetable/timetable.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <map>
#include <thread>

namespace korvel {

namespace {

// Station names to their numbers while the timetable is built: open addressing over views
// into the stored tables. Names are a few GBK characters, so the hash reads whole 8-byte
// words; every stop looks its station up here, which makes this the build's hottest map.
class NameIds {
  public:
    NameIds() : slots_(1024) {}
    // The number of `name`; `next` when the name is new (it is then stored under `next`).
    std::uint32_t Intern(std::string_view name, std::uint32_t next, bool& added) {
        const std::uint64_t h = Hash(name);
        const std::uint32_t tag = static_cast<std::uint32_t>(h);
        for (std::size_t i = h >> shift_;; i = (i + 1) & (slots_.size() - 1)) {
            Slot& slot = slots_[i];
            if (slot.id == kFree) {
                slot = {name.data(), static_cast<std::uint32_t>(name.size()), next, tag};
                added = true;
                if (++count_ * 2 > slots_.size()) Grow();
                return next;
            }
            if (slot.tag == tag && slot.size == name.size() &&
                std::memcmp(slot.data, name.data(), name.size()) == 0) {
                added = false;
                return slot.id;
            }
        }
    }

  private:
    static constexpr std::uint32_t kFree = 0xFFFFFFFFu;
    struct Slot {
        const char* data = nullptr;
        std::uint32_t size = 0;
        std::uint32_t id = kFree;
        std::uint32_t tag = 0;
    };
    static std::uint64_t Hash(std::string_view s) {
        std::uint64_t h = 0x9E3779B97F4A7C15ull ^ s.size();
        const char* p = s.data();
        std::size_t n = s.size();
        for (; n >= 8; p += 8, n -= 8) {
            std::uint64_t w;
            std::memcpy(&w, p, 8);
            h = (h ^ w) * 0xFF51AFD7ED558CCDull;
            h ^= h >> 32;
        }
        if (n > 0) {
            std::uint64_t w = 0;
            std::memcpy(&w, p, n);
            h = (h ^ w) * 0xC4CEB9FE1A85EC53ull;
            h ^= h >> 29;
        }
        return h * 0x9E3779B97F4A7C15ull;  // the top bits pick the slot
    }
    void Grow() {
        std::vector<Slot> old(slots_.size() * 2);
        old.swap(slots_);
        --shift_;
        for (const Slot& slot : old) {
            if (slot.id == kFree) continue;
            std::size_t i = Hash(std::string_view(slot.data, slot.size)) >> shift_;
            while (slots_[i].id != kFree) i = (i + 1) & (slots_.size() - 1);
            slots_[i] = slot;
        }
    }
    std::vector<Slot> slots_;
    unsigned shift_ = 64 - 10;  // slots_.size() == 1 << (64 - shift_)
    std::size_t count_ = 0;
};

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
    NameIds ids;  // views into the stored tables
    // Working lists: (station, stop) of every stop, (station, group number) of every group
    // row in station-name order, and the group numbers' ids.
    std::vector<std::pair<std::uint32_t, StopId>> stationStops;
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
    const MemTable* all[] = {&tables.KMList, &tables.KMTrain, &tables.KMSM, &tables.KMPy};
    for (int i = 0; i < 4; ++i) generations_[i] = all[i]->Generation();

    Builder b;
    if (b.stop.Read(tables.KMTrain, "SIDNo")) {
        b.station = tables.KMTrain.FindField("Station");
        b.sno = tables.KMTrain.FindField("S_No");
        if (!b.station || !b.sno) b.stop.order = &Builder::kNone;
    }
    if (b.list.Read(tables.KMList, "SID")) {
        b.ntype = tables.KMList.FindField("NType");
        b.start = tables.KMList.FindField("StartStation");
        b.end = tables.KMList.FindField("endStation");
        if (!b.ntype || !b.start || !b.end) b.list.order = &Builder::kNone;
    }
    ReadTrains(b);
    ReadGroups(tables.KMSM, b);
    ReadPinyin(tables.KMPy, b);
    IndexStations(b);
}

// Stops, train by train, merged with the train list by number; then the origins and termini,
// once every stop's station has its number.
void Timetable::ReadTrains(Builder& b) {
    const std::vector<std::uint32_t>& stops = *b.stop.order;
    const std::vector<std::uint32_t>& rows = *b.list.order;
    const std::size_t n = stops.size();
    const std::size_t m = rows.size();

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

    stopTrain_.reserve(static_cast<std::uint32_t>(n));
    stopStation_.reserve(static_cast<std::uint32_t>(n));
    stopRecord_.reserve(static_cast<std::uint32_t>(n));
    b.stationStops.reserve(n);
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < n || j < m) {
        const std::string_view stopId = i < n ? b.stop.id->ViewAt(stops[i]) : std::string_view();
        const std::string_view listId = j < m ? b.list.id->ViewAt(rows[j]) : std::string_view();
        const std::string_view number =
            i >= n ? listId : (j >= m ? stopId : std::min(stopId, listId));
        const TrainId t(numbers_.size());
        numbers_.push_back(std::string(number));
        AddListRows(b, t, number, j);
        AddStops(b, t, number, i);
        stopBegin_.push_back(stopTrain_.size());
    }
    for (const std::uint32_t r : rowRecord_) {
        rowOrigin_.push_back(Intern(b, b.start->ViewAt(r)));
        rowTerminus_.push_back(Intern(b, b.end->ViewAt(r)));
    }

    StopValues head;
    ReadStopValues(b, 0, split, head);
    if (reader.joinable()) reader.join();
    if (tailError) std::rethrow_exception(tailError);
    if (split < n) {
        for (const std::int32_t v : tail.number) head.number.push_back(v);
        for (const std::int32_t v : tail.km) head.km.push_back(v);
        head.arrive.Append(tail.arrive);
        head.depart.Append(tail.depart);
        head.run.Append(tail.run);
        head.fares.Append(tail.fares);
    }
    stops_ = std::move(head);
}

// The stops' own values, from position `begin` of the stops' SIDNo order up to `end`.
void Timetable::ReadStopValues(const Builder& b, std::size_t begin, std::size_t end,
                               StopValues& out) {
    const std::vector<std::uint32_t>& stops = *b.stop.order;
    const std::uint32_t rows = static_cast<std::uint32_t>(end - begin);
    out.number.reserve(rows);
    out.km.reserve(rows);
    out.arrive.Reserve(rows);
    out.depart.Reserve(rows);
    out.run.Reserve(rows);
    out.fares.Reserve(rows);
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
    for (; j < rows.size() && b.list.id->ViewAt(rows[j]) == number; ++j) {
        const std::uint32_t r = rows[j];
        rowTrain_.push_back(t);
        rowRecord_.push_back(r);
        rowType_.push_back(b.ntype->IntegerAt(r));
        rowKm_.push_back(b.list.km->IntegerAt(r));
        trainDepart_.Add(b.list.atime->ViewAt(r));
        trainArrive_.Add(b.list.dtime->ViewAt(r));
        trainRun_.Add(b.list.rdate->ViewAt(r));
        b.list.AddFares(trainFares_, r);
    }
    const std::uint32_t listed = static_cast<std::uint32_t>(rowTrain_.size()) - firstRow;
    listFirst_.push_back(listed == 0 ? kNoRecord : firstRow);
    listRows_.push_back(listed);
}

// The stops of one number, from position `i` of the stops' SIDNo order on.
void Timetable::AddStops(Builder& b, TrainId t, std::string_view number, std::size_t& i) {
    const std::vector<std::uint32_t>& stops = *b.stop.order;
    for (; i < stops.size() && b.stop.id->ViewAt(stops[i]) == number; ++i) {
        const std::uint32_t rec = stops[i];
        const StopId s(stopTrain_.size());
        const StationId st = Intern(b, b.station->ViewAt(rec));
        stopTrain_.push_back(t);
        stopStation_.push_back(st);
        b.stationStops.emplace_back(st.Value(), s);
        stopRecord_.push_back(rec);
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
    stopsAt_.AssignPairs(stations, b.stationStops);
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
