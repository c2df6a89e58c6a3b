// The memory table's private layout, shared by its two source files: memtable.cpp (fields,
// loading, cursor and search) and memtable_index.cpp (the sort of each index).
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "data/huge_pages.h"
#include "data/memtable.h"
#include "data/short_bytes.h"

namespace korvel {

namespace memtable_detail {

inline char FoldAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

inline int CompareFolded(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        auto x = static_cast<unsigned char>(FoldAscii(a[i]));
        auto y = static_cast<unsigned char>(FoldAscii(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

inline int CompareBytes(std::string_view a, std::string_view b) {
    // Neighbouring records mostly hold the same key: equal bytes are found without a call.
    if (SameBytes(a, b)) return 0;
    const int c = a.compare(b);  // char_traits<char> compares as unsigned char
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

// A growable array of one column's per-record numbers (offsets, values, null flags) or of its
// text values' bytes, in a buffer from AllocateBuffer. Appending is one capacity test and one
// store, inlined where records are appended; growing, to at least kFirst elements, is out of
// line.
template <class T, std::size_t kFirst = 16>
class Values {
  public:
    Values() = default;
    Values(Values&& other) noexcept
        : data_(std::exchange(other.data_, nullptr)),
          size_(std::exchange(other.size_, 0)),
          cap_(std::exchange(other.cap_, 0)) {}
    Values& operator=(Values&& other) noexcept {
        std::swap(data_, other.data_);
        std::swap(size_, other.size_);
        std::swap(cap_, other.cap_);
        return *this;
    }
    ~Values() { FreeBuffer(data_, cap_ * sizeof(T)); }

    std::size_t size() const { return size_; }
    std::size_t room() const { return cap_ - size_; }
    const T* data() const { return data_; }
    const T& operator[](std::size_t i) const { return data_[i]; }
    T& back() { return data_[size_ - 1]; }
    const T& back() const { return data_[size_ - 1]; }
    [[gnu::always_inline]] void push_back(T value) {
        if (size_ == cap_) Grow(1);
        data_[size_++] = value;
    }
    // Only where room() has been seen to be positive.
    [[gnu::always_inline]] void push_back_in_room(T value) { data_[size_++] = value; }
    // `n` more elements at the end, for the caller to write.
    [[gnu::always_inline]] T* extend(std::size_t n) {
        if (n > cap_ - size_) Grow(n);
        return data_ + std::exchange(size_, size_ + n);
    }
    void make_room() {
        if (size_ == cap_) Grow(1);
    }
    void append(const Values& other) {
        reserve(size_ + other.size_);
        if (other.size_) std::memcpy(data_ + size_, other.data_, other.size_ * sizeof(T));
        size_ += other.size_;
    }
    void reserve(std::size_t n) {
        if (n > cap_) Resize(n);
    }
    void shrink(std::size_t n) {
        if (n < size_) size_ = n;
    }

  private:
    [[gnu::noinline]] void Grow(std::size_t n) {
        Resize(std::max<std::size_t>({cap_ * 2, size_ + n, kFirst}));
    }
    void Resize(std::size_t cap) {
        if (cap > std::numeric_limits<std::size_t>::max() / sizeof(T)) throw std::bad_alloc();
        T* bigger = static_cast<T*>(AllocateBuffer(cap * sizeof(T)));
        if (size_) std::memcpy(bigger, data_, size_ * sizeof(T));
        FreeBuffer(data_, cap_ * sizeof(T));
        data_ = bigger;
        cap_ = cap;
    }
    T* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t cap_ = 0;
};

// A text column's values, back to back: appending a value is one capacity test and one copy.
class Arena {
  public:
    std::size_t size() const { return bytes_.size(); }
    const char* data() const { return bytes_.data(); }
    void resize(std::size_t n) { bytes_.shrink(n); }  // only ever back to a record boundary
    [[gnu::always_inline]] void append(std::string_view text) {
        const std::size_t n = text.size();
        if (n == 0) return;
        CopyBytes(bytes_.extend(n), text.data(), n);
    }
    void reserve(std::size_t n) { bytes_.reserve(n); }

  private:
    Values<char, 4096> bytes_;
};

// One column's values in load order. A column normally holds all its records itself; a table
// whose records were read in two halves by two threads keeps the second half's values in
// `tail`, as that thread wrote them, from record `split` on, so that joining them copies
// nothing.
struct Column {
    bool isText = true;
    Arena arena;                    // text: all values back to back
    Values<std::uint32_t> offsets;  // text: record r is [offsets[r], offsets[r+1])
    Values<std::int32_t> values;    // integer
    Values<std::uint8_t> nulls;     // integer: 1 = null
    std::uint32_t split = std::numeric_limits<std::uint32_t>::max();
    std::unique_ptr<Column> tail;

    std::string_view Text(std::uint32_t r) const {
        const Column& c = r < split ? *this : *tail;
        if (r >= split) r -= split;
        return std::string_view(c.arena.data() + c.offsets[r], c.offsets[r + 1] - c.offsets[r]);
    }
    bool Null(std::uint32_t r) const {
        return r < split ? nulls[r] != 0 : tail->nulls[r - split] != 0;
    }
    std::int32_t Value(std::uint32_t r) const {
        return r < split ? values[r] : tail->values[r - split];
    }
    // Moves the tail's values behind the column's own (before the column grows further).
    void JoinTail() {
        if (!tail) return;
        const Column& t = *tail;
        if (isText) {
            const auto base = static_cast<std::uint32_t>(arena.size());
            arena.reserve(arena.size() + t.arena.size());
            arena.append(std::string_view(t.arena.data(), t.arena.size()));
            for (std::size_t r = 1; r < t.offsets.size(); ++r)
                offsets.push_back(base + t.offsets[r]);
        } else {
            values.append(t.values);
            nulls.append(t.nulls);
        }
        tail.reset();
        split = std::numeric_limits<std::uint32_t>::max();
    }
};

// An index is sorted when it is first used (selected, searched or asked for its order),
// once, even when several threads ask at the same time; an index nobody uses costs nothing.
struct Order {
    const IndexDef* def = nullptr;               // nullptr: load order
    std::vector<std::size_t> keys;               // key columns
    mutable std::vector<std::uint32_t> perm;     // position -> record (empty: load order)
    mutable std::vector<std::uint32_t> inverse;  // record -> position (empty: load order)
    std::unique_ptr<std::once_flag> sorted = std::make_unique<std::once_flag>();
    // What the loading threads found (MemTable::NoteOrderedPieces): whether the pieces of
    // records that begin at 0 and at each of `starts` are each in this order; unknown when not
    // set.
    std::optional<bool> piecesOrdered;
    std::vector<std::uint32_t> starts;
};

}  // namespace memtable_detail

using memtable_detail::Column;
using memtable_detail::CompareBytes;
using memtable_detail::CompareFolded;
using memtable_detail::FoldAscii;
using memtable_detail::Order;

// A fresh MemTable generation number (thread-safe: tables load on several threads).
std::uint64_t NextTableGeneration();

struct MemTable::Impl {
    std::vector<FieldDef> fieldDefs;
    std::vector<IndexDef> indexDefs;
    std::vector<std::unique_ptr<Field>> fieldObjs;
    std::vector<Column> columns;
    std::uint32_t count = 0;
    bool pending = false;  // Append called, Post not yet
    // AppendRecord may append without testing any column's capacity while count is below
    // this: every per-record array has room up to it (0: not known, see MakeRoom).
    std::uint32_t roomUntil = 0;
    std::uint64_t generation = NextTableGeneration();

    std::vector<Order> orders;  // orders[0] is load order once indexes are built
    // For the indexes built next (see MemTable::NoteOrderedPieces).
    std::vector<bool> piecesOrdered;
    std::vector<std::uint32_t> pieceStarts;
    std::size_t current = 0;
    std::string currentName;
    std::uint32_t pos = 0;
    bool bof = true;
    bool eof = true;

    // Records still to be made (MemTable::DeferRecords). `deferred` is set before the table is
    // shared and never cleared, so a reader may test it without a lock; `make` is dropped once
    // the records are there, which `made` then says.
    bool deferred = false;
    std::function<void(MemTable&)> make;
    mutable std::once_flag making;
    std::atomic<bool> made{false};
    // While the records are not made and an index chosen since is not sorted: the record the
    // cursor is on, whose position in that index is known only once it is sorted.
    std::optional<std::uint32_t> cursorRecord;

    // Makes deferred records (every reader of records calls this first).
    void Records() const {
        if (deferred) MakeRecords();
    }
    bool RecordsMade() const { return !deferred || made.load(std::memory_order_acquire); }
    void MakeRecords() const;

    std::uint32_t RecordAt(std::uint32_t position) const {
        if (orders.empty() || orders[current].perm.empty()) return position;
        return orders[current].perm[position];
    }
    std::uint32_t PositionOf(std::uint32_t record) const {
        if (orders.empty() || orders[current].inverse.empty()) return record;
        return orders[current].inverse[record];
    }

    // Compares one key column of a record with another record.
    int CompareRecords(std::size_t col, bool caseless, std::uint32_t a, std::uint32_t b) const {
        const Column& c = columns[col];
        if (c.isText) {
            return caseless ? CompareFolded(c.Text(a), c.Text(b))
                            : CompareBytes(c.Text(a), c.Text(b));
        }
        const bool nullA = c.Null(a);
        const bool nullB = c.Null(b);
        if (nullA || nullB) return int{nullB} - int{nullA};
        const std::int32_t x = c.Value(a);
        const std::int32_t y = c.Value(b);
        return x < y ? -1 : (x > y ? 1 : 0);
    }

    // Load order's list of records, 0 to count - 1, in orders[0] (made with the records when
    // they are deferred).
    void MakeLoadOrder();

    // Joins the columns' tails and grows what has no room for one more record; sets
    // roomUntil.
    void MakeRoom();

    // Sorts an index on its first use.
    void Sort(const Order& o) const;
    // Whether records [from, to) are each not before the one in front of them in the order of
    // these key columns.
    bool InOrder(const std::vector<std::size_t>& keys, bool caseless, int sign, std::uint32_t from,
                 std::uint32_t to) const;
    std::vector<std::size_t> KeysOf(const IndexDef& def) const;
    // A sorted index's records in order; an index that load order satisfies shares load
    // order's permutation (its own stays empty, as does its inverse).
    const std::vector<std::uint32_t>& PermOf(const Order& o) const {
        return o.perm.empty() ? orders[0].perm : o.perm;
    }

    std::size_t ColumnOf(std::string_view name) const {
        for (std::size_t i = 0; i < fieldDefs.size(); ++i) {
            if (AsciiIEquals(fieldDefs[i].name, name)) return i;
        }
        return static_cast<std::size_t>(-1);
    }
};

}  // namespace korvel
