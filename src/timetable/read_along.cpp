#include "timetable/read_along.h"

#include <algorithm>

#include "data/short_bytes.h"

namespace korvel {

namespace {

constexpr std::size_t kMissing = static_cast<std::size_t>(-1);

std::size_t ColumnOf(const std::vector<FieldDef>& fields, std::string_view name) {
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (AsciiIEquals(fields[i].name, name)) return i;
    }
    return kMissing;
}

std::string_view TextOf(const MemTable::RecordValue& v) {
    return v.set ? v.text : std::string_view();
}

}  // namespace

void TimetableReadAlong::Piece::Begin(const std::vector<FieldDef>& fields, std::size_t from) {
    began = true;
    offset = from;
    c_.id = ColumnOf(fields, "ID");
    c_.station = ColumnOf(fields, "Station");
    c_.stopNumber = ColumnOf(fields, "S_No");
    c_.arrive = ColumnOf(fields, "A_Time");
    c_.depart = ColumnOf(fields, "D_Time");
    c_.run = ColumnOf(fields, "R_Date");
    c_.km = ColumnOf(fields, "Distance");
    for (int i = 0; i < 4; ++i) c_.fare[i] = ColumnOf(fields, std::string("P") + char('1' + i));
    // Texts are read as texts; a number field of another type reads as the table gives it
    // (a text field's number is 0).
    const auto text = [&](std::size_t col) {
        return col != kMissing && fields[col].type == FieldType::WideString;
    };
    usable = text(c_.id) && text(c_.station) && text(c_.arrive) && text(c_.depart) &&
             text(c_.run) && std::all_of(std::begin(c_.fare), std::end(c_.fare), text) &&
             c_.stopNumber != kMissing && c_.km != kMissing;
    if (!usable) return;
    c_.numberIsInteger = fields[c_.stopNumber].type != FieldType::WideString;
    c_.kmIsInteger = fields[c_.km].type != FieldType::WideString;
    // A stop number held as text sorts as text, which is not read here: the table sorts it.
    ordered = c_.numberIsInteger;
}

void TimetableReadAlong::Piece::Record(const MemTable::RecordValue* v) {
    if (!usable) return;
    const std::uint32_t record = records++;
    const MemTable::RecordValue& number = v[c_.stopNumber];
    const MemTable::RecordValue& km = v[c_.km];
    const std::string_view fares[4] = {TextOf(v[c_.fare[0]]), TextOf(v[c_.fare[1]]),
                                       TextOf(v[c_.fare[2]]), TextOf(v[c_.fare[3]])};
    values.Add(c_.numberIsInteger && number.set ? number.integer : 0,
               c_.kmIsInteger && km.set ? km.integer : 0, TextOf(v[c_.arrive]),
               TextOf(v[c_.depart]), TextOf(v[c_.run]), fares);

    const std::string_view name = TextOf(v[c_.station]);
    bool added = false;
    const std::uint32_t next = static_cast<std::uint32_t>(names.size());
    // The record's text goes on; a new name is kept as the piece's own copy.
    station.push_back(nameIds.Intern(name, next, added, [this](std::string_view n) {
        return std::string_view(names.emplace_back(n));
    }));

    const StopKey stop{!number.set, number.integer};
    const std::string_view trainNumber = TextOf(v[c_.id]);
    if (runNumber.empty() || !SameBytes(runNumber.back(), trainNumber)) {
        // (string_view compares bytes unsigned, as the table's index does.)
        if (!runNumber.empty() && std::string_view(runNumber.back()).compare(trainNumber) > 0)
            ordered = false;
        runBegin.push_back(record);
        runNumber.emplace_back(trainNumber);
    } else if (stop.Before(lastStop)) {
        ordered = false;
    }
    if (record == 0) firstStop = stop;
    lastStop = stop;
}

void TimetableReadAlong::ReadListRows(const MemTable& list) {
    ListRows rows{list.Generation(), Timetable::ReadListValues(list), {}};
    ListStations& stations = rows.stations;
    const Field* start = list.FindField("StartStation");
    const Field* end = list.FindField("endStation");
    if (start != nullptr && end != nullptr) {
        NameIds ids;
        const auto number = [&](std::string_view name) {
            bool added = false;
            const std::uint32_t next = static_cast<std::uint32_t>(stations.names.size());
            return ids.Intern(name, next, added, [&stations](std::string_view n) {
                return std::string_view(stations.names.emplace_back(n));
            });
        };
        stations.origin.reserve(rows.values.record.size());
        stations.terminus.reserve(rows.values.record.size());
        for (const std::uint32_t r : rows.values.record) {
            stations.origin.push_back(number(start->ViewAt(r)));
            stations.terminus.push_back(number(end->ViewAt(r)));
        }
    }
    list_ = std::move(rows);
}

void TimetableReadAlong::Piece::Reserve(std::size_t inPiece, std::size_t inStream) {
    // The first piece's values become the timetable's, with the others' joined behind them:
    // room for all of them saves copying the first's again.
    values.Reserve(static_cast<std::uint32_t>(records + (first ? inStream : inPiece)));
    station.reserve(records + inPiece);
}

bool TimetableReadAlong::Fits(const MemTable& stops) const {
    // The index the timetable reads the stops in: the first of that name, as the table finds
    // it. Only the order the builder writes is checked here (train number by its bytes, then
    // stop number, both ascending); any other is left to the table.
    const std::vector<IndexDef>& indexes = stops.Indexes();
    const auto index = std::find_if(indexes.begin(), indexes.end(), [](const IndexDef& d) {
        return AsciiIEquals(d.indexName, "SIDNo");
    });
    if (index == indexes.end() || index->descending || index->caseInsensitive ||
        index->fields.size() != 2 || !AsciiIEquals(index->fields[0], "ID") ||
        !AsciiIEquals(index->fields[1], "S_No")) {
        return false;
    }
    std::uint64_t records = 0;
    const Piece* before = nullptr;  // the last piece with records, in stream order
    for (const Piece* p : InStreamOrder()) {
        if (!p->usable || !p->ordered) return false;
        records += p->records;
        if (p->records == 0) continue;
        if (before != nullptr) {
            const int c = std::string_view(before->runNumber.back()).compare(p->runNumber[0]);
            if (c > 0 || (c == 0 && p->firstStop.Before(before->lastStop))) return false;
        }
        before = p;
    }
    return pieces_[0].began && records == stops.RecordCount();
}

namespace {

template <class Piece, std::size_t n>
std::vector<Piece*> BeganInStreamOrder(Piece (&pieces)[n]) {
    std::vector<Piece*> began;
    for (Piece& p : pieces) {
        if (p.began) began.push_back(&p);
    }
    std::stable_sort(began.begin(), began.end(),
                     [](const Piece* a, const Piece* b) { return a->offset < b->offset; });
    return began;
}

}  // namespace

std::vector<TimetableReadAlong::Piece*> TimetableReadAlong::InStreamOrder() {
    return BeganInStreamOrder(pieces_);
}

std::vector<const TimetableReadAlong::Piece*> TimetableReadAlong::InStreamOrder() const {
    return BeganInStreamOrder(pieces_);
}

}  // namespace korvel
