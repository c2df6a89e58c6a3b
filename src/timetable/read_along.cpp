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

    const std::string_view trainNumber = TextOf(v[c_.id]);
    if (runNumber.empty() || !SameBytes(runNumber.back(), trainNumber)) {
        runBegin.push_back(record);
        runNumber.emplace_back(trainNumber);
    }
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

bool TimetableReadAlong::Fits(const MemTable& stops,
                              const std::vector<std::uint32_t>& order) const {
    std::uint64_t records = 0;
    for (const Piece& p : pieces_) {
        if (p.began && !p.usable) return false;
        records += p.records;
    }
    // An index that record order already satisfies shares record order's own list (the table
    // found that out when it checked the index): no need to walk it again.
    return pieces_[0].began && records == stops.RecordCount() && order.size() == records &&
           &order == stops.IndexOrder("");
}

std::vector<TimetableReadAlong::Piece*> TimetableReadAlong::InStreamOrder() {
    std::vector<Piece*> began;
    for (Piece& p : pieces_) {
        if (p.began) began.push_back(&p);
    }
    std::stable_sort(began.begin(), began.end(),
                     [](const Piece* a, const Piece* b) { return a->offset < b->offset; });
    return began;
}

}  // namespace korvel
