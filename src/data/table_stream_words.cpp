// The table stream's lines and words, found and taken where they lie in the inflated text.
#include <cstring>

#include "data/table_stream_parse.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace korvel::stream_detail {
namespace {

bool IsBreak(char c) {
    return c == '\r' || c == '\n' || c == '\0';
}

// The first byte `c` at or after `i` in p[0, size), or `size`.
std::size_t FindByte(const char* p, std::size_t i, std::size_t size, char c) {
#ifdef __SSE2__
    const __m128i want = _mm_set1_epi8(c);
    for (; i + 16 <= size; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const int mask = _mm_movemask_epi8(_mm_cmpeq_epi8(v, want));
        if (mask != 0) return i + static_cast<std::size_t>(__builtin_ctz(mask));
    }
#endif
    while (i < size && p[i] != c) ++i;
    return i;
}

}  // namespace

// The first CR, LF or NUL at or after `i`, or `size`. Sixteen bytes at a time where SSE2
// is there (every x86-64 processor), the rest byte by byte.
std::size_t FindBreak(const char* bytes, std::size_t i, std::size_t size) {
#ifdef __SSE2__
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i nul = _mm_setzero_si128();
    for (; i + 16 <= size; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)),
                                         _mm_cmpeq_epi8(v, nul));
        const int mask = _mm_movemask_epi8(hit);
        if (mask != 0) return i + static_cast<std::size_t>(__builtin_ctz(mask));
    }
#endif
    while (i < size && !IsBreak(bytes[i])) ++i;
    return i;
}

LineRead NextLine(std::string_view text, std::size_t& pos, std::size_t maxLineBytes,
                  std::string_view& line) {
    const char* bytes = text.data();
    const std::size_t size = text.size();
    std::size_t i = pos;
    while (i < size && IsBreak(bytes[i])) ++i;
    if (i >= size) {
        pos = size;
        return LineRead::End;
    }
    const std::size_t begin = i;
    i = FindBreak(bytes, i, size);
    if (i - begin > maxLineBytes) return LineRead::TooLong;
    line = std::string_view(bytes + begin, i - begin);
    pos = i < size ? i + 1 : i;
    return LineRead::Line;
}

TableStreamError LongLineError(std::size_t lineNumber, std::size_t maxLineBytes) {
    return TableStreamError("Line " + std::to_string(lineNumber) +
                            " of the table stream is longer than " + std::to_string(maxLineBytes) +
                            " bytes.");
}

// Takes the next word of `line` from `pos` into `out`. A word ends at a delimiter outside
// quotes (consumed) or at the end of the line; a quote toggles quoting, and inside quotes two
// quotes stand for one. A delimiter at the very end of the line starts no further word.
// Returns false when the line has no word left.
bool NextWord(std::string_view line, std::size_t& pos, const TableStreamFormat& f,
              std::string& out) {
    out.clear();
    if (pos >= line.size()) return false;
    bool quoted = false;
    while (pos < line.size()) {
        const char c = line[pos];
        if (c == f.quote) {
            if (quoted && pos + 1 < line.size() && line[pos + 1] == f.quote) {
                out.push_back(c);
                pos += 2;
            } else {
                quoted = !quoted;
                ++pos;
            }
            continue;
        }
        if (!quoted && (c == f.fieldDelimiter || c == f.recordDelimiter)) {
            ++pos;
            return true;
        }
        // Copy the run of ordinary bytes at once.
        std::size_t run = pos + 1;
        while (run < line.size() && line[run] != f.quote &&
               (quoted || (line[run] != f.fieldDelimiter && line[run] != f.recordDelimiter))) {
            ++run;
        }
        out.append(line.data() + pos, run - pos);
        pos = run;
    }
    return true;
}

// Undoes the escapes in place: %0 NUL, %c CR, %n LF, %% a percent sign. A trailing escape
// character is dropped; an escape before any other byte is kept literally with that byte.
void Unescape(std::string& s, char escape) {
    if (s.find(escape) == std::string::npos) return;
    std::size_t w = 0;
    for (std::size_t r = 0; r < s.size(); ++r) {
        const char c = s[r];
        if (c != escape) {
            s[w++] = c;
            continue;
        }
        if (r + 1 >= s.size()) break;
        const char n = s[++r];
        if (n == '0') {
            s[w++] = '\0';
        } else if (n == 'c') {
            s[w++] = '\r';
        } else if (n == 'n') {
            s[w++] = '\n';
        } else if (n == escape) {
            s[w++] = escape;
        } else {
            s[w++] = escape;
            s[w++] = n;
        }
    }
    s.resize(w);
}

// A word of a data line as a view, without copying when it can be: a word that is quoted
// whole, or not quoted at all, and holds no doubled quote is the bytes between its quotes
// (or up to its delimiter). Any other word is assembled by NextWord in `scratch`, so both
// ways give the same value and leave `pos` at the same place. Returns false when the line
// has no word left.
bool TakeWord(std::string_view line, std::size_t& pos, const TableStreamFormat& f,
              std::string& scratch, std::string_view& out) {
    const std::size_t size = line.size();
    if (pos >= size) return false;
    const char* p = line.data();
    const char q = f.quote;
    const char d1 = f.fieldDelimiter;
    const char d2 = f.recordDelimiter;
    std::size_t i = pos;
    if (q == d1 || q == d2) {
        // A quote that is also a delimiter: only the general rules know what that means.
    } else if (p[i] == q) {
        const std::size_t k = FindByte(p, i + 1, size, q);
        if (k >= size) {  // no closing quote: the rest of the line
            out = line.substr(i + 1);
            pos = size;
            return true;
        }
        if (k + 1 == size || p[k + 1] == d1 || p[k + 1] == d2) {
            out = line.substr(i + 1, k - i - 1);
            pos = k + 1 < size ? k + 2 : size;
            return true;
        }
    } else {
        std::size_t k = i;
        while (k < size && p[k] != q && p[k] != d1 && p[k] != d2) ++k;
        if (k >= size || p[k] != q) {
            out = line.substr(i, k - i);
            pos = k < size ? k + 1 : size;
            return true;
        }
    }
    NextWord(line, pos, f, scratch);
    out = scratch;
    return true;
}

std::string Format2(std::string_view pattern, std::string_view a, std::string_view b) {
    std::string out;
    std::size_t arg = 0;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == 's') {
            out.append(arg++ == 0 ? a : b);
            ++i;
        } else {
            out.push_back(pattern[i]);
        }
    }
    return out;
}

bool ParseInteger(std::string_view text, Range range, std::int32_t& out) {
    std::size_t i = 0;
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        i = 1;
    }
    if (i == text.size()) return false;
    std::int64_t v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        v = v * 10 + (text[i] - '0');
        if (v > (std::int64_t{1} << 40)) return false;
    }
    if (negative) v = -v;
    if (v < range.min || v > range.max) return false;
    out = static_cast<std::int32_t>(v);
    return true;
}

}  // namespace korvel::stream_detail
