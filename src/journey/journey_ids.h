// Typed numbers for the journey planner's stations, routes and trains, so that a route number
// cannot be passed where a station number belongs, and the arrays they index.
#pragma once

#include <compare>
#include <cstdint>
#include <span>
#include <vector>

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
    friend constexpr auto operator<=>(Idx, Idx) = default;

  private:
    std::uint32_t value_ = 0;
};

using StationIdx = Idx<struct StationTag>;
using RouteIdx = Idx<struct RouteTag>;
using TrainIdx = Idx<struct TrainTag>;

inline constexpr StationIdx kNoStation{0xFFFFFFFFu};

// A vector indexed by one kind of number only.
template <class Key, class T>
class IdxVector {
  public:
    T& operator[](Key k) { return data_[k.Value()]; }
    const T& operator[](Key k) const { return data_[k.Value()]; }
    // As std::vector's.
    std::uint32_t size() const { return static_cast<std::uint32_t>(data_.size()); }
    void assign(std::uint32_t n, const T& value) { data_.assign(n, value); }

  private:
    std::vector<T> data_;
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
    void Assign(const std::vector<std::vector<T>>& lists) {
        first_.assign(1, 0);
        data_.clear();
        for (const std::vector<T>& list : lists) {
            data_.insert(data_.end(), list.begin(), list.end());
            first_.push_back(static_cast<std::uint32_t>(data_.size()));
        }
    }

  private:
    std::vector<std::uint32_t> first_{0};
    std::vector<T> data_;
};

}  // namespace korvel
