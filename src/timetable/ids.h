// Typed numbers for the timetable's stations, trains, stops and same-city groups, so that a
// train number cannot be passed where a station number belongs, and the arrays they index.
#pragma once

#include <compare>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "data/huge_pages.h"

namespace korvel {

template <class Tag>
class Idx {
  public:
    constexpr Idx() = default;
    constexpr explicit Idx(std::uint32_t value) : value_(value) {}
    constexpr std::uint32_t Value() const { return value_; }
    constexpr Idx& operator++() {
        ++value_;
        return *this;
    }
    // The number that stands for "none" in a column of this kind.
    static constexpr Idx None() { return Idx(0xFFFFFFFFu); }
    constexpr bool IsNone() const { return value_ == 0xFFFFFFFFu; }
    friend constexpr auto operator<=>(Idx, Idx) = default;

  private:
    std::uint32_t value_ = 0;
};

using StationId = Idx<struct StationTag>;
using TrainId = Idx<struct TrainTag>;
// A stop of a train: stops are numbered train after train (trains in number order), each
// train's stops in stop order, so a train's stops are one range of numbers.
using StopId = Idx<struct StopTag>;
using CityGroupId = Idx<struct CityGroupTag>;

// A vector indexed by one kind of number only.
template <class Key, class T>
class IdxVector {
  public:
    T& operator[](Key k) { return data_[k.Value()]; }
    const T& operator[](Key k) const { return data_[k.Value()]; }
    // As std::vector's.
    std::uint32_t size() const { return static_cast<std::uint32_t>(data_.size()); }
    void assign(std::uint32_t n, const T& value) { data_.assign(n, value); }
    void reserve(std::uint32_t n) { data_.reserve(n); }
    void push_back(const T& value) { data_.push_back(value); }
    auto begin() const { return data_.begin(); }
    auto end() const { return data_.end(); }

  private:
    // Per-stop columns run to megabytes: big ones take huge pages (data/huge_pages.h).
    std::vector<T, BufferAllocator<T>> data_;
};

// Lists of one element type, one list per number, stored one after another with the start
// of each: a station's lists are read in one sweep of memory, and there is one block to
// allocate instead of one per station.
template <class Key, class T>
class FlatLists {
  public:
    std::span<const T> operator[](Key k) const {
        return {data_.data() + first_[k.Value()], data_.data() + first_[k.Value() + 1]};
    }
    std::uint32_t size() const { return static_cast<std::uint32_t>(first_.size() - 1); }
    void Assign(const std::vector<std::vector<T>>& lists) {
        first_.assign(1, 0);
        data_.clear();
        for (const std::vector<T>& list : lists) {
            data_.insert(data_.end(), list.begin(), list.end());
            first_.push_back(static_cast<std::uint32_t>(data_.size()));
        }
    }
    // The lists of the indices of `keyOf`: list k holds every index i with keyOf[i] == k, in
    // ascending order (the same counting pass, with no pairs to build).
    template <class Index>
    void AssignIndices(std::uint32_t keys, const IdxVector<Index, Key>& keyOf) {
        first_.assign(keys + 1, 0);
        for (const Key k : keyOf) ++first_[k.Value() + 1];
        for (std::uint32_t k = 0; k < keys; ++k) first_[k + 1] += first_[k];
        data_.resize(keyOf.size());
        std::vector<std::uint32_t> next(first_.begin(), first_.end() - 1);
        std::uint32_t i = 0;
        for (const Key k : keyOf) data_[next[k.Value()]++] = T(i++);
    }
    // The same from (key, element) pairs, each list keeping the pairs' order: one counting
    // pass instead of a vector per key.
    void AssignPairs(std::uint32_t keys, const std::vector<std::pair<std::uint32_t, T>>& pairs) {
        first_.assign(keys + 1, 0);
        for (const auto& p : pairs) ++first_[p.first + 1];
        for (std::uint32_t k = 0; k < keys; ++k) first_[k + 1] += first_[k];
        data_.resize(pairs.size());
        std::vector<std::uint32_t> next(first_.begin(), first_.end() - 1);
        for (const auto& p : pairs) data_[next[p.first]++] = p.second;
    }

  private:
    std::vector<std::uint32_t> first_{0};
    std::vector<T, BufferAllocator<T>> data_;
};

}  // namespace korvel
