// Memory table. Values are held column by column: a text column keeps all its values in one
// byte arena with an offset per record (an empty text is the null text); an integer column
// keeps a value and a null flag per record. Every index is a permutation of load positions,
// sorted once, when it is first used, with its inverse so that a record's position in any order is
// found in constant time.
//
// Text keys sort in unsigned GBK byte order. For train numbers (digits, upper-case letters,
// '/') this is the order of character codes; for Chinese station names it is the GBK code
// order, which groups a city's stations under their common prefix.
#include "data/memtable.h"

#include <algorithm>
#include <atomic>
#include <limits>

#include "data/decimal.h"
#include "data/memtable_impl.h"

namespace korvel {

namespace {

// An integer field's value: optional sign, digits, 32-bit range.
std::optional<std::int32_t> Int32Value(std::string_view text) {
    return SignedIntegerInRange(text, std::numeric_limits<std::int32_t>::min(),
                                std::numeric_limits<std::int32_t>::max());
}

}  // namespace

std::uint64_t NextTableGeneration() {
    static std::atomic<std::uint64_t> last{0};
    return last.fetch_add(1, std::memory_order_relaxed) + 1;
}

bool AsciiIEquals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    }
    return true;
}

// --- Field ---

const FieldDef& Field::Def() const {
    return table_->impl_->fieldDefs[column_];
}

std::string_view Field::ViewAt(std::uint32_t record) const {
    const auto& impl = *table_->impl_;
    impl.Records();
    if (record >= impl.count) return {};
    const Column& c = impl.columns[column_];
    if (c.isText) return c.Text(record);
    if (c.Null(record)) return {};
    scratch_ = std::to_string(c.Value(record));
    return scratch_;
}

std::int32_t Field::IntegerAt(std::uint32_t record) const {
    const auto& impl = *table_->impl_;
    impl.Records();
    if (record >= impl.count) return 0;
    const Column& c = impl.columns[column_];
    if (c.isText || c.Null(record)) return 0;
    return c.Value(record);
}

bool Field::IsNullAt(std::uint32_t record) const {
    const auto& impl = *table_->impl_;
    impl.Records();
    if (record >= impl.count) return true;
    const Column& c = impl.columns[column_];
    return c.isText ? c.Text(record).empty() : c.Null(record);
}

std::string_view Field::View() const {
    const auto& impl = *table_->impl_;
    impl.Records();
    if (impl.count == 0) return {};
    return ViewAt(impl.RecordAt(impl.pos));
}

std::int32_t Field::AsInteger() const {
    const auto& impl = *table_->impl_;
    impl.Records();
    if (impl.count == 0) return 0;
    return IntegerAt(impl.RecordAt(impl.pos));
}

bool Field::IsNull() const {
    const auto& impl = *table_->impl_;
    impl.Records();
    if (impl.count == 0) return true;
    const std::uint32_t r = impl.RecordAt(impl.pos);
    const Column& c = impl.columns[column_];
    return c.isText ? c.Text(r).empty() : c.Null(r);
}

// --- MemTable ---

MemTable::MemTable() : impl_(std::make_unique<Impl>()) {}
MemTable::~MemTable() = default;

// A moved-from table may only be destroyed or assigned to.
MemTable::MemTable(MemTable&& other) noexcept : impl_(std::move(other.impl_)) {
    if (impl_) {
        for (auto& f : impl_->fieldObjs) f->table_ = this;
    }
}

MemTable& MemTable::operator=(MemTable&& other) noexcept {
    std::swap(impl_, other.impl_);
    if (impl_) {
        for (auto& f : impl_->fieldObjs) f->table_ = this;
    }
    if (other.impl_) {
        for (auto& f : other.impl_->fieldObjs) f->table_ = &other;
    }
    return *this;
}

void MemTable::Define(std::vector<FieldDef> fields, std::vector<IndexDef> indexes) {
    auto fresh = std::make_unique<Impl>();
    fresh->fieldDefs = std::move(fields);
    fresh->indexDefs = std::move(indexes);
    for (std::size_t i = 0; i < fresh->fieldDefs.size(); ++i) {
        fresh->fieldObjs.emplace_back(new Field(this, i));
        Column c;
        c.isText = fresh->fieldDefs[i].type == FieldType::WideString;
        if (c.isText) c.offsets.push_back(0);
        fresh->columns.push_back(std::move(c));
    }
    impl_ = std::move(fresh);
}

void MemTable::Append() {
    impl_->Records();
    if (impl_->pending) Post();
    impl_->roomUntil = 0;
    for (Column& c : impl_->columns) c.JoinTail();
    for (Column& c : impl_->columns) {
        if (!c.isText) {
            c.values.push_back(0);
            c.nulls.push_back(1);
        }
    }
    impl_->pending = true;
}

void MemTable::SetText(std::size_t column, std::string_view gbk) {
    if (!impl_->pending || column >= impl_->columns.size()) return;
    Column& c = impl_->columns[column];
    if (c.isText) {
        c.arena.resize(c.offsets.back());
        c.arena.append(gbk);
        return;
    }
    if (const auto v = Int32Value(gbk)) {
        c.values.back() = *v;
        c.nulls.back() = 0;
    } else {
        c.nulls.back() = 1;
    }
}

void MemTable::SetInteger(std::size_t column, std::int32_t value) {
    if (!impl_->pending || column >= impl_->columns.size()) return;
    Column& c = impl_->columns[column];
    if (c.isText) {
        SetText(column, std::to_string(value));
        return;
    }
    c.values.back() = value;
    c.nulls.back() = 0;
}

void MemTable::Post() {
    if (!impl_->pending) return;
    for (Column& c : impl_->columns) {
        if (c.isText) c.offsets.push_back(static_cast<std::uint32_t>(c.arena.size()));
    }
    ++impl_->count;
    impl_->pending = false;
}

void MemTable::ReserveRecords(std::size_t records) {
    Impl& m = *impl_;
    m.Records();
    const std::size_t total = m.count + records;
    m.roomUntil = 0;
    for (Column& c : m.columns) {
        c.JoinTail();
        if (c.isText) {
            c.offsets.reserve(total + 1);
            // Text columns are sized from the records so far, with a tenth to spare.
            if (m.count > 0) c.arena.reserve(c.arena.size() * total / m.count * 11 / 10 + 64);
        } else {
            c.values.reserve(total);
            c.nulls.reserve(total);
        }
    }
}

void MemTable::Impl::MakeRoom() {
    Records();
    std::size_t room = std::numeric_limits<std::uint32_t>::max() - count;
    for (Column& c : columns) {
        c.JoinTail();
        if (c.isText) {
            c.offsets.make_room();
            room = std::min(room, c.offsets.room());
        } else {
            c.values.make_room();
            c.nulls.make_room();
            room = std::min({room, c.values.room(), c.nulls.room()});
        }
    }
    roomUntil = static_cast<std::uint32_t>(count + room);
}

void MemTable::AppendRecord(const RecordValue* values) {
    Impl& m = *impl_;
    if (m.pending) Post();
    if (m.count >= m.roomUntil) m.MakeRoom();
    Column* c = m.columns.data();
    const RecordValue* v = values;
    for (const Column* end = c + m.columns.size(); c != end; ++c, ++v) {
        if (c->isText) {
            if (v->set) c->arena.append(v->text);
            c->offsets.push_back_in_room(static_cast<std::uint32_t>(c->arena.size()));
        } else {
            const bool set = v->set;
            c->values.push_back_in_room(set ? v->integer : 0);
            c->nulls.push_back_in_room(set ? 0 : 1);
        }
    }
    ++m.count;
}

void MemTable::AdoptRecords(MemTable&& part) {
    Impl& m = *impl_;
    Impl& p = *part.impl_;
    m.Records();
    p.Records();
    if (m.pending) Post();
    if (p.pending) part.Post();
    for (Column& c : m.columns) c.JoinTail();
    for (Column& c : p.columns) c.JoinTail();
    for (std::size_t i = 0; i < m.columns.size() && i < p.columns.size(); ++i) {
        Column& c = m.columns[i];
        c.split = m.count;
        c.tail = std::make_unique<Column>(std::move(p.columns[i]));
    }
    m.count += p.count;
    m.roomUntil = 0;
    part = MemTable();
}

void MemTable::DeferRecords(std::uint32_t records, std::function<void(MemTable&)> make) {
    Impl& m = *impl_;
    m.Records();
    m.deferred = true;
    m.make = std::move(make);
    m.count = records;
    m.roomUntil = 0;  // whatever appends makes the records first (see MakeRoom)
}

bool MemTable::RecordsDeferred() const {
    return !impl_->RecordsMade();
}

// The records are made in a table of their own and their columns taken over: the definitions,
// indexes, generation and cursor stay this table's. Runs once; nothing else touches the
// columns until it has.
void MemTable::Impl::MakeRecords() const {
    std::call_once(making, [this] {
        // A table's Impl is never itself const: the records are what a reader needs made.
        Impl& m = const_cast<Impl&>(*this);
        MemTable full;
        full.Define(fieldDefs, indexDefs);
        make(full);
        Impl& f = *full.impl_;
        if (f.pending) full.Post();
        for (Column& c : f.columns) c.JoinTail();
        if (f.count != count) {
            throw MemTableError("The table's records were read as " + std::to_string(count) +
                                " and made as " + std::to_string(f.count));
        }
        m.columns = std::move(f.columns);
        if (!orders.empty()) {
            m.MakeLoadOrder();
            if (current != 0) Sort(orders[current]);
        }
        if (cursorRecord) {
            m.pos = count ? PositionOf(*cursorRecord) : 0;
            m.cursorRecord.reset();
        }
        m.make = nullptr;  // and the stream it kept
        m.made.store(true, std::memory_order_release);
    });
}

const std::vector<FieldDef>& MemTable::Fields() const {
    return impl_->fieldDefs;
}
const std::vector<IndexDef>& MemTable::Indexes() const {
    return impl_->indexDefs;
}
std::uint32_t MemTable::RecordCount() const {
    return impl_->count;
}
std::uint64_t MemTable::Generation() const {
    return impl_->generation;
}

void MemTable::SetIndexName(std::string_view name) {
    Impl& m = *impl_;
    std::size_t chosen = static_cast<std::size_t>(-1);
    if (name.empty()) {
        chosen = 0;
    } else {
        for (std::size_t i = 1; i < m.orders.size(); ++i) {
            if (AsciiIEquals(m.orders[i].def->indexName, name)) {
                chosen = i;
                break;
            }
        }
    }
    if (chosen == static_cast<std::size_t>(-1) || m.orders.empty()) return;
    if (!m.RecordsMade() && (m.current == 0 || m.cursorRecord)) {
        // Nothing to sort by yet: the choice is noted, and the cursor's record found in the
        // index once the records are made.
        const std::uint32_t record = m.cursorRecord.value_or(m.pos);
        m.current = chosen;
        m.currentName = chosen == 0 ? std::string() : m.orders[chosen].def->indexName;
        m.cursorRecord.reset();
        if (chosen == 0) {
            m.pos = record;
        } else {
            m.cursorRecord = record;
        }
        return;
    }
    m.Records();
    const std::uint32_t record = m.count ? m.RecordAt(m.pos) : 0;
    m.Sort(m.orders[chosen]);
    m.current = chosen;
    m.currentName = chosen == 0 ? std::string() : m.orders[chosen].def->indexName;
    if (m.count) m.pos = m.PositionOf(record);
}

const std::string& MemTable::IndexName() const {
    return impl_->currentName;
}

void MemTable::First() {
    Impl& m = *impl_;
    m.cursorRecord.reset();
    m.pos = 0;
    m.bof = true;
    m.eof = m.count == 0;
}

void MemTable::Last() {
    Impl& m = *impl_;
    m.cursorRecord.reset();
    m.pos = m.count ? m.count - 1 : 0;
    m.eof = true;
    m.bof = m.count == 0;
}

void MemTable::Next() {
    Impl& m = *impl_;
    m.Records();
    m.bof = false;
    m.eof = false;
    if (m.pos + 1 < m.count) {
        ++m.pos;
    } else {
        m.eof = true;
    }
}

void MemTable::Prior() {
    Impl& m = *impl_;
    m.Records();
    m.bof = false;
    m.eof = false;
    if (m.pos > 0 && m.count > 0) {
        --m.pos;
    } else {
        m.bof = true;
    }
}

bool MemTable::Eof() const {
    return impl_->eof;
}
bool MemTable::Bof() const {
    return impl_->bof;
}

Field* MemTable::FindField(std::string_view name) {
    const std::size_t col = impl_->ColumnOf(name);
    if (col == static_cast<std::size_t>(-1)) return nullptr;
    return impl_->fieldObjs[col].get();
}

const Field* MemTable::FindField(std::string_view name) const {
    const std::size_t col = impl_->ColumnOf(name);
    if (col == static_cast<std::size_t>(-1)) return nullptr;
    return impl_->fieldObjs[col].get();
}

Field& MemTable::FieldByName(std::string_view name) {
    Field* f = FindField(name);
    if (f == nullptr) throw MemTableError("Field '" + std::string(name) + "' not found");
    return *f;
}

// Exact, case-sensitive, whole-value search. The index whose leading key is the field is
// binary-searched for the first record of the run of equal keys (so further key fields, then
// load order, decide among matches); without such an index the current order is scanned. A
// hit puts the cursor on that record at its position in the current order and clears Bof and
// Eof; no match leaves cursor and flags alone. An unknown field name throws MemTableError.
bool MemTable::Locate(std::string_view fieldName, std::string_view value) {
    Impl& m = *impl_;
    const std::size_t col = m.ColumnOf(fieldName);
    if (col == static_cast<std::size_t>(-1)) {
        throw MemTableError("Field '" + std::string(fieldName) + "' not found");
    }
    m.Records();
    if (m.count == 0 || m.orders.empty()) return false;
    const Column& c = m.columns[col];

    // The searched value under the column's type; an integer column only matches a valid
    // integer, or null for empty text.
    bool valueNull = false;
    std::int32_t intValue = 0;
    if (!c.isText) {
        if (value.empty()) {
            valueNull = true;
        } else if (const auto v = Int32Value(value)) {
            intValue = *v;
        } else {
            return false;
        }
    }
    // record <=> value on this column, in ascending key terms.
    auto compare = [&](std::uint32_t r) -> int {
        if (c.isText) return CompareBytes(c.Text(r), value);
        const bool null = c.Null(r);
        if (null || valueNull) return int{valueNull} - int{null};
        const std::int32_t v = c.Value(r);
        return v < intValue ? -1 : (v > intValue ? 1 : 0);
    };

    // An index whose leading key is the searched field and that compares case-sensitively.
    const Order* index = nullptr;
    for (std::size_t i = 1; i < m.orders.size(); ++i) {
        const Order& o = m.orders[i];
        if (!o.keys.empty() && o.keys[0] == col && !o.def->caseInsensitive) {
            index = &o;
            break;
        }
    }

    std::uint32_t found = 0;
    bool hit = false;
    if (index != nullptr) {
        m.Sort(*index);
        const int sign = index->def->descending ? -1 : 1;
        // First position whose key is not before the value: the first of the run of equals.
        const std::vector<std::uint32_t>& perm = m.PermOf(*index);
        auto it = std::partition_point(perm.begin(), perm.end(),
                                       [&](std::uint32_t r) { return sign * compare(r) < 0; });
        if (it != perm.end() && compare(*it) == 0) {
            found = *it;
            hit = true;
        }
    } else {
        for (std::uint32_t p = 0; p < m.count; ++p) {
            const std::uint32_t r = m.RecordAt(p);
            if (compare(r) == 0) {
                found = r;
                hit = true;
                break;
            }
        }
    }
    if (!hit) return false;
    m.pos = m.PositionOf(found);
    m.bof = false;
    m.eof = false;
    return true;
}

std::uint32_t MemTable::CurrentRecord() const {
    impl_->Records();
    return impl_->count ? impl_->RecordAt(impl_->pos) : 0;
}

std::uint32_t MemTable::CurrentPosition() const {
    impl_->Records();
    return impl_->pos;
}

const std::vector<std::uint32_t>* MemTable::IndexOrder(std::string_view indexName) const {
    const Impl& m = *impl_;
    m.Records();
    if (m.orders.empty()) return nullptr;
    if (indexName.empty()) return &m.orders[0].perm;
    for (std::size_t i = 1; i < m.orders.size(); ++i) {
        if (AsciiIEquals(m.orders[i].def->indexName, indexName)) {
            m.Sort(m.orders[i]);
            return &m.PermOf(m.orders[i]);
        }
    }
    return nullptr;
}

const std::vector<std::uint32_t>* MemTable::SearchOrder(std::string_view fieldName) const {
    const Impl& m = *impl_;
    m.Records();
    const std::size_t col = m.ColumnOf(fieldName);
    if (col == static_cast<std::size_t>(-1)) return nullptr;
    for (std::size_t i = 1; i < m.orders.size(); ++i) {
        const Order& o = m.orders[i];
        if (!o.keys.empty() && o.keys[0] == col && !o.def->caseInsensitive) {
            if (o.def->descending) return nullptr;
            m.Sort(o);
            return &m.PermOf(o);
        }
    }
    return nullptr;
}

}  // namespace korvel
