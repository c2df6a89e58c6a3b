// The memory table's private layout, shared by its two source files: memtable.cpp (fields,
// loading, cursor and search) and memtable_index.cpp (the sort of each index).
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "data/memtable.h"

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
    const int c = a.compare(b);  // char_traits<char> compares as unsigned char
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

// A growable byte buffer for a text column's values: appending a value is one capacity
// test and one copy.
class Arena {
  public:
    std::size_t size() const { return size_; }
    const char* data() const { return data_.get(); }
    void resize(std::size_t n) {  // only ever shrinks back to a record boundary
        if (n < size_) size_ = n;
    }
    void append(std::string_view text) {
        const std::size_t n = text.size();
        if (n == 0) return;
        if (n > cap_ - size_) Grow(n);
        std::memcpy(data_.get() + size_, text.data(), n);
        size_ += n;
    }

    void reserve(std::size_t n) {
        if (n > cap_) Resize(n);
    }

  private:
    void Grow(std::size_t n) { Resize(std::max<std::size_t>({cap_ * 2, size_ + n, 4096})); }
    void Resize(std::size_t cap) {
        std::unique_ptr<char[]> bigger(new char[cap]);
        if (size_) std::memcpy(bigger.get(), data_.get(), size_);
        data_ = std::move(bigger);
        cap_ = cap;
    }
    std::unique_ptr<char[]> data_;
    std::size_t size_ = 0;
    std::size_t cap_ = 0;
};

struct Column {
    bool isText = true;
    Arena arena;                         // text: all values back to back
    std::vector<std::uint32_t> offsets;  // text: record r is [offsets[r], offsets[r+1])
    std::vector<std::int32_t> values;    // integer
    std::vector<std::uint8_t> nulls;     // integer: 1 = null

    std::string_view Text(std::uint32_t r) const {
        return std::string_view(arena.data() + offsets[r], offsets[r + 1] - offsets[r]);
    }
};

// An index is sorted when it is first used (selected, searched or asked for its order),
// once, even when several threads ask at the same time; an index nobody uses costs nothing.
struct Order {
    const IndexDef* def = nullptr;               // nullptr: load order
    std::vector<std::size_t> keys;               // key columns
    mutable std::vector<std::uint32_t> perm;     // position -> record
    mutable std::vector<std::uint32_t> inverse;  // record -> position
    std::unique_ptr<std::once_flag> sorted = std::make_unique<std::once_flag>();
};

}  // namespace memtable_detail

using memtable_detail::Column;
using memtable_detail::CompareBytes;
using memtable_detail::CompareFolded;
using memtable_detail::FoldAscii;
using memtable_detail::Order;

struct MemTable::Impl {
    std::vector<FieldDef> fieldDefs;
    std::vector<IndexDef> indexDefs;
    std::vector<std::unique_ptr<Field>> fieldObjs;
    std::vector<Column> columns;
    std::uint32_t count = 0;
    bool pending = false;  // Append called, Post not yet

    std::vector<Order> orders;  // orders[0] is load order once indexes are built
    std::size_t current = 0;
    std::string currentName;
    std::uint32_t pos = 0;
    bool bof = true;
    bool eof = true;

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
        if (c.nulls[a] || c.nulls[b]) return int{c.nulls[b]} - int{c.nulls[a]};
        return c.values[a] < c.values[b] ? -1 : (c.values[a] > c.values[b] ? 1 : 0);
    }

    // Sorts an index on its first use.
    void Sort(const Order& o) const;

    std::size_t ColumnOf(std::string_view name) const {
        for (std::size_t i = 0; i < fieldDefs.size(); ++i) {
            if (AsciiIEquals(fieldDefs[i].name, name)) return i;
        }
        return static_cast<std::size_t>(-1);
    }
};

}  // namespace korvel
