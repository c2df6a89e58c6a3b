// Copying and comparing byte strings that are mostly a few bytes long (station names, train
// numbers, times) without a call into the C library: a string of one to two words is handled
// as the word at its start and the word at its end, which overlap when it is shorter than two
// words. Longer strings go to memcpy and memcmp.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

namespace korvel {

namespace short_bytes_detail {

template <class Word>
inline Word WordAt(const char* p) {
    Word w;
    std::memcpy(&w, p, sizeof(Word));
    return w;
}

template <class Word>
inline void CopyEnds(char* to, const char* from, std::size_t n) {
    const Word a = WordAt<Word>(from);
    const Word b = WordAt<Word>(from + n - sizeof(Word));
    std::memcpy(to, &a, sizeof(Word));
    std::memcpy(to + n - sizeof(Word), &b, sizeof(Word));
}

template <class Word>
inline bool SameEnds(const char* a, const char* b, std::size_t n) {
    const std::size_t last = n - sizeof(Word);
    return ((WordAt<Word>(a) ^ WordAt<Word>(b)) |
            (WordAt<Word>(a + last) ^ WordAt<Word>(b + last))) == 0;
}

}  // namespace short_bytes_detail

// Copies [0, n) of `from` to `to`, n at least 1; reads and writes nothing outside them.
[[gnu::always_inline]] inline void CopyBytes(char* to, const char* from, std::size_t n) {
    using namespace short_bytes_detail;
    if (n >= 8 && n <= 16) {
        CopyEnds<std::uint64_t>(to, from, n);
    } else if (n >= 4 && n < 8) {
        CopyEnds<std::uint32_t>(to, from, n);
    } else if (n < 4) {
        to[0] = from[0];
        to[n / 2] = from[n / 2];
        to[n - 1] = from[n - 1];
    } else {
        std::memcpy(to, from, n);
    }
}

// Whether `a` and `b` hold the same bytes.
[[gnu::always_inline]] inline bool SameBytes(std::string_view a, std::string_view b) {
    using namespace short_bytes_detail;
    const std::size_t n = a.size();
    if (n != b.size()) return false;
    const char* p = a.data();
    const char* q = b.data();
    if (n >= 8 && n <= 16) return SameEnds<std::uint64_t>(p, q, n);
    if (n >= 4 && n < 8) return SameEnds<std::uint32_t>(p, q, n);
    if (n < 4) return n == 0 || (p[0] == q[0] && p[n / 2] == q[n / 2] && p[n - 1] == q[n - 1]);
    return std::memcmp(p, q, n) == 0;
}

}  // namespace korvel
