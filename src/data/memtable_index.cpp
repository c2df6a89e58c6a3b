// The indexes of a memory table: each a stable permutation of load positions, sorted on first
// use (see memtable_impl.h for why).
#include <algorithm>
#include <numeric>
#include <thread>
#include <unordered_map>

#include "data/memtable_impl.h"

namespace korvel {

namespace {

// Below this many records a second thread costs more than it saves.
constexpr std::uint32_t kTwoThreadCheck = 65536;

// The stable sort of all records by one case-sensitive text key, for keys with many repeats
// (a station name has dozens of stops): the distinct values are sorted once, then the
// records are distributed by their value's rank, keeping load order within a value.
void SortByOneTextKey(const Column& column, int sign, std::vector<std::uint32_t>& perm) {
    const std::uint32_t n = static_cast<std::uint32_t>(perm.size());
    std::unordered_map<std::string_view, std::uint32_t> ids;
    std::vector<std::string_view> values;
    std::vector<std::uint32_t> idOf(n);
    for (std::uint32_t r = 0; r < n; ++r) {
        const std::string_view v = column.Text(r);
        auto [it, added] = ids.try_emplace(v, static_cast<std::uint32_t>(values.size()));
        if (added) values.push_back(v);
        idOf[r] = it->second;
    }
    std::vector<std::uint32_t> byValue(values.size());
    std::iota(byValue.begin(), byValue.end(), 0u);
    std::sort(byValue.begin(), byValue.end(), [&](std::uint32_t a, std::uint32_t b) {
        const int c = CompareBytes(values[a], values[b]);
        return sign * c < 0;
    });
    // Start of each value's run in the result.
    std::vector<std::uint32_t> count(values.size(), 0);
    for (std::uint32_t r = 0; r < n; ++r) ++count[idOf[r]];
    std::vector<std::uint32_t> start(values.size());
    std::uint32_t at = 0;
    for (std::uint32_t id : byValue) {
        start[id] = at;
        at += count[id];
    }
    for (std::uint32_t r = 0; r < n; ++r) perm[start[idOf[r]]++] = r;
}

}  // namespace

bool MemTable::Impl::InOrder(const std::vector<std::size_t>& keys, bool caseless, int sign,
                             std::uint32_t from, std::uint32_t to) const {
    for (std::uint32_t r = std::max(from, 1u); r < to; ++r) {
        for (std::size_t col : keys) {
            const int c = CompareRecords(col, caseless, r, r - 1);
            if (c != 0) {
                if (sign * c < 0) return false;
                break;
            }
        }
    }
    return true;
}

std::vector<std::size_t> MemTable::Impl::KeysOf(const IndexDef& def) const {
    std::vector<std::size_t> keys;
    for (const std::string& name : def.fields) {
        const std::size_t col = ColumnOf(name);
        if (col != static_cast<std::size_t>(-1)) keys.push_back(col);
    }
    return keys;
}

// The sort of one index: stable, by its key columns in turn, load order deciding the rest.
void MemTable::Impl::Sort(const Order& o) const {
    const std::uint32_t n = count;
    std::call_once(*o.sorted, [&] {
        if (o.def == nullptr) return;
        const bool caseless = o.def->caseInsensitive;
        const int sign = o.def->descending ? -1 : 1;
        auto less = [&](std::uint32_t a, std::uint32_t b) {
            for (std::size_t col : o.keys) {
                const int c = CompareRecords(col, caseless, a, b);
                if (c != 0) return sign * c < 0;
            }
            return false;
        };
        const auto ordered = [&](std::uint32_t from, std::uint32_t to) {
            return InOrder(o.keys, caseless, sign, from, to);
        };
        // Tables are usually written in their main index's order; then load order already is
        // the stable sort's result, one linear pass confirms it, and the index keeps no
        // permutation of its own (see PermOf). When the threads that loaded the records have
        // made that pass over their pieces already, only the records either side of each
        // piece's start remain to compare; otherwise, on a big table, the pass runs in two
        // halves on two threads.
        bool inLoadOrder = true;
        if (o.piecesOrdered) {
            inLoadOrder = *o.piecesOrdered;
            for (const std::uint32_t start : o.starts)
                inLoadOrder = inLoadOrder && ordered(start, std::min(start + 1, n));
        } else if (n >= kTwoThreadCheck && std::thread::hardware_concurrency() > 1) {
            bool secondHalf = true;
            std::jthread other([&] { secondHalf = ordered(n / 2, n); });
            inLoadOrder = ordered(1, n / 2);
            other.join();
            inLoadOrder = inLoadOrder && secondHalf;
        } else if (n > 1) {
            inLoadOrder = ordered(1, n);
        }
        if (inLoadOrder) return;
        o.perm.reserve(n);
        AdviseHugePages(o.perm.data(), std::size_t{n} * sizeof(std::uint32_t));
        o.perm = orders[0].perm;
        if (o.keys.size() == 1 && columns[o.keys[0]].isText && !caseless) {
            SortByOneTextKey(columns[o.keys[0]], sign, o.perm);
        } else {
            std::stable_sort(o.perm.begin(), o.perm.end(), less);
        }
        o.inverse.reserve(n);
        AdviseHugePages(o.inverse.data(), std::size_t{n} * sizeof(std::uint32_t));
        o.inverse.resize(n);
        for (std::uint32_t p = 0; p < n; ++p) o.inverse[o.perm[p]] = p;
    });
}

bool MemTable::InOrderOf(const IndexDef& def) const {
    const Impl& m = *impl_;
    m.Records();
    return m.InOrder(m.KeysOf(def), def.caseInsensitive, def.descending ? -1 : 1, 1, m.count);
}

void MemTable::NoteOrderedPieces(std::vector<std::uint32_t> starts, std::vector<bool> ordered) {
    impl_->pieceStarts = std::move(starts);
    impl_->piecesOrdered = std::move(ordered);
}

void MemTable::Impl::MakeLoadOrder() {
    std::vector<std::uint32_t>& load = orders[0].perm;
    load.reserve(count);
    AdviseHugePages(load.data(), std::size_t{count} * sizeof(std::uint32_t));
    load.resize(count);
    std::iota(load.begin(), load.end(), 0u);
}

void MemTable::BuildIndexes() {
    Impl& m = *impl_;
    if (m.pending) Post();
    m.orders.clear();
    m.generation = NextTableGeneration();

    // Load order is its own inverse: PositionOf needs no table for it.
    m.orders.emplace_back();
    if (m.RecordsMade()) m.MakeLoadOrder();  // else made with the records

    for (std::size_t i = 0; i < m.indexDefs.size(); ++i) {
        Order o;
        o.def = &m.indexDefs[i];
        o.keys = m.KeysOf(*o.def);
        if (i < m.piecesOrdered.size()) {
            o.piecesOrdered = m.piecesOrdered[i];
            o.starts = m.pieceStarts;
        }
        m.orders.push_back(std::move(o));
    }
    m.piecesOrdered.clear();
    m.current = 0;
    m.currentName.clear();
    First();
}

}  // namespace korvel
