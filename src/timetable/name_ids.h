// Station names to their numbers while the typed timetable is built (timetable.cpp, and the
// stops read while their table loads, read_along.cpp): open addressing over views of
// names that outlive the map. Names are a few GBK characters, so the hash reads whole 8-byte
// words; every stop looks its station up here, which makes this the build's hottest map.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "data/short_bytes.h"

namespace korvel {

// Numbers are given densely, in the order names are first interned (0, 1, 2, ...). The slots
// hold only a tag of the hash and the number, eight bytes, so that the table of a timetable ten
// times the size of today's still sits in the second-level cache; the names themselves are
// looked at only when a tag matches.
class NameIds {
  public:
    NameIds() : slots_(1024) {}
    // The number of `name`; `next` (the count of names so far) when the name is new.
    std::uint32_t Intern(std::string_view name, std::uint32_t next, bool& added) {
        return Intern(name, next, added, [](std::string_view n) { return n; });
    }
    // The same, keeping a new name as the view `keep(name)` returns (a copy that outlives
    // the map, where `name` itself does not).
    template <class Keep>
    std::uint32_t Intern(std::string_view name, std::uint32_t next, bool& added, Keep keep) {
        const std::uint64_t h = Hash(name);
        const std::uint32_t tag = static_cast<std::uint32_t>(h);
        for (std::size_t i = h >> shift_;; i = (i + 1) & (slots_.size() - 1)) {
            Slot& slot = slots_[i];
            if (slot.id == kFree) {
                slot = {tag, next};
                names_.push_back(keep(name));
                added = true;
                if (names_.size() * 2 > slots_.size()) Grow();
                return next;
            }
            if (slot.tag == tag && SameBytes(names_[slot.id], name)) {
                added = false;
                return slot.id;
            }
        }
    }

  private:
    static constexpr std::uint32_t kFree = 0xFFFFFFFFu;
    struct Slot {
        std::uint32_t tag = 0;
        std::uint32_t id = kFree;
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
            // The last 1 to 7 bytes in registers: two overlapping loads, or three bytes. (A
            // copy of n bytes into a word goes through memory byte by byte, and reading that
            // word back stalls until every byte has landed.)
            std::uint64_t w;
            if (n >= 4) {
                std::uint32_t lo;
                std::uint32_t hi;
                std::memcpy(&lo, p, 4);
                std::memcpy(&hi, p + n - 4, 4);
                w = lo | (std::uint64_t{hi} << 32);
            } else {
                const auto byte = [p](std::size_t i) {
                    return std::uint64_t{static_cast<unsigned char>(p[i])};
                };
                w = byte(0) | (byte(n / 2) << 8) | (byte(n - 1) << 16);
            }
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
            std::size_t i = Hash(names_[slot.id]) >> shift_;
            while (slots_[i].id != kFree) i = (i + 1) & (slots_.size() - 1);
            slots_[i] = slot;
        }
    }
    std::vector<Slot> slots_;
    std::vector<std::string_view> names_;  // by number
    unsigned shift_ = 64 - 10;             // slots_.size() == 1 << (64 - shift_)
};

}  // namespace korvel
