// The table stream reader's private parts, shared by its three source files:
// table_stream_words.cpp (lines and words), table_stream.cpp (definitions and header) and
// table_stream_records.cpp (the records, read by one thread or split between two).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "data/decimal.h"
#include "data/table_stream.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace korvel::stream_detail {

constexpr std::size_t kNoColumn = static_cast<std::size_t>(-1);

enum class LineRead { Line, End, TooLong };

// Takes the next word of `line` from `pos` into `out`; false when the line has no word left.
bool NextWord(std::string_view line, std::size_t& pos, const TableStreamFormat& f,
              std::string& out);

// The hot parts of the record loop are defined here so that they are inlined into it.

inline bool IsBreak(char c) {
    return c == '\r' || c == '\n' || c == '\0';
}

// The first byte `c` at or after `i` in p[0, size), or `size`.
inline std::size_t FindByte(const char* p, std::size_t i, std::size_t size, char c) {
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

// The first CR, LF or NUL at or after `i`, or `size`. Sixteen bytes at a time where SSE2
// is there (every x86-64 processor), the rest byte by byte.
inline std::size_t FindBreak(const char* bytes, std::size_t i, std::size_t size) {
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

// Where the next line starts: `i` past the run of line breaks at `pos`. False at the end of the
// text, with `pos` moved there.
inline bool SkipLineBreaks(std::string_view text, std::size_t& pos, std::size_t& i) {
    i = pos;
    while (i < text.size() && IsBreak(text[i])) ++i;
    if (i < text.size()) return true;
    pos = text.size();
    return false;
}

// The next non-empty line of `text` from `pos`, as a view into it: the text is parsed where
// it lies, never copied. A run of CR, LF and NUL is one line break; the last line may lack
// one. On Line, `pos` moves past the line and its first break (the rest of a run of breaks is
// skipped next time); at End it is text.size(); a line longer than `maxLineBytes` gives
// TooLong and leaves `pos` alone.
inline LineRead NextLine(std::string_view text, std::size_t& pos, std::size_t maxLineBytes,
                         std::string_view& line) {
    const char* bytes = text.data();
    const std::size_t size = text.size();
    std::size_t i = 0;
    if (!SkipLineBreaks(text, pos, i)) return LineRead::End;
    const std::size_t begin = i;
    i = FindBreak(bytes, i, size);
    if (i - begin > maxLineBytes) return LineRead::TooLong;
    line = std::string_view(bytes + begin, i - begin);
    pos = i < size ? i + 1 : i;
    return LineRead::Line;
}

// What one pass over a line found besides its end: where its quotes and delimiters are, one
// bit per byte, when the line is short enough for the bits to cover it, and whether it holds
// the escape character anywhere.
struct LineScan {
    static constexpr std::size_t kBytes = 256;  // longer lines are read word by word
    static constexpr std::size_t kWords = kBytes / 64;
    std::uint64_t quotes[kWords];
    std::uint64_t delimiters[kWords];
    bool bitsKnown = false;
    bool escapes = false;

    // Whether the line, `size` bytes, is in the writer's form: a quote at its start, and
    // after each closing quote a delimiter and the next opening quote, or a delimiter and the
    // line's end, or the line's end. Its quotes are then its words' quotes, two a word, and
    // each word is what the word-by-word reading takes: the bytes between the two.
    bool WriterForm(std::size_t size) const {
        if (!bitsKnown || size == 0) return false;
        const std::size_t words = (size + 63) >> 6;
        std::uint64_t inside = 0;     // all ones when a quote is open across a word's start
        std::uint64_t lastClose = 0;  // the closing quotes of the word before
        std::uint64_t open = 0;
        for (std::size_t w = 0; w < words; ++w) {
            const std::uint64_t q = quotes[w];
            // Bit i: an odd number of quotes at or before i, that is an opening quote or
            // a byte inside quotes.
            std::uint64_t odd = q ^ (q << 1);
            odd ^= odd << 2;
            odd ^= odd << 4;
            odd ^= odd << 8;
            odd ^= odd << 16;
            odd ^= odd << 32;
            odd ^= inside;
            open = odd;
            const std::uint64_t opening = q & odd;
            const std::uint64_t closing = q & ~odd;
            const std::uint64_t valid = w + 1 < words || (size & 63) == 0
                                            ? ~std::uint64_t{0}
                                            : (std::uint64_t{1} << (size & 63)) - 1;
            const std::uint64_t expected =
                ((closing << 2) | (lastClose >> 62) | std::uint64_t{w == 0}) & valid;
            if (opening != expected) return false;
            const std::uint64_t afterClose = ((closing << 1) | (lastClose >> 63)) & valid;
            if ((afterClose & ~delimiters[w]) != 0) return false;
            inside = std::uint64_t{0} - (odd >> 63);
            lastClose = closing;
        }
        // No quote left open at the end.
        return ((open >> ((size - 1) & 63)) & 1) == 0;
    }
};

// NextLine, and in the same pass over the line the scan of its quotes, delimiters and
// escapes: the line's bytes are read once, sixteen at a time. Takes the same lines and moves
// `pos` the same way as NextLine. Made once per stretch of lines, so that what it compares
// with is set up once.
class LineScanner {
  public:
    explicit LineScanner(const TableStreamFormat& f)
        : maxLineBytes_(f.maxLineBytes),
          quote_(f.quote),
          escape_(f.escape),
          d1_(f.fieldDelimiter),
          d2_(f.recordDelimiter)
#ifdef __SSE2__
          ,
          quoteV_(_mm_set1_epi8(f.quote)),
          escapeV_(_mm_set1_epi8(f.escape)),
          d1V_(_mm_set1_epi8(f.fieldDelimiter)),
          d2V_(_mm_set1_epi8(f.recordDelimiter))
#endif
    {
    }

    [[gnu::always_inline]] LineRead Next(std::string_view text, std::size_t& pos,
                                         std::string_view& line, LineScan& scan) const {
        const char* bytes = text.data();
        const std::size_t size = text.size();
        std::size_t i = 0;
        if (!SkipLineBreaks(text, pos, i)) return LineRead::End;
        const char* p = bytes + i;
        const std::size_t avail = size - i;
        std::size_t n = 0;
        bool escapes = false;
        for (std::size_t o = 0;; o += 16) {
            if (o == LineScan::kBytes) {
                n = FindBreak(bytes, i + o, size) - i;
                escapes = escapes || std::memchr(p + o, escape_, n - o) != nullptr;
                scan.bitsKnown = false;
                break;
            }
            std::uint32_t breaks = 0;
            std::uint32_t quotes = 0;
            std::uint32_t delims = 0;
            std::uint32_t escs = 0;
            if (o + 16 <= avail) {
#ifdef __SSE2__
                const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + o));
                breaks = static_cast<std::uint32_t>(_mm_movemask_epi8(
                    _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('\r')),
                                              _mm_cmpeq_epi8(v, _mm_set1_epi8('\n'))),
                                 _mm_cmpeq_epi8(v, _mm_setzero_si128()))));
                quotes = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, quoteV_)));
                delims = static_cast<std::uint32_t>(_mm_movemask_epi8(
                    _mm_or_si128(_mm_cmpeq_epi8(v, d1V_), _mm_cmpeq_epi8(v, d2V_))));
                escs = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, escapeV_)));
#else
                Bits(p + o, 16, breaks, quotes, delims, escs);
#endif
            } else {
                // The end of the text: byte by byte, and the text's end ends the line.
                const std::size_t left = avail - o;
                Bits(p + o, left, breaks, quotes, delims, escs);
                breaks |= std::uint32_t{1} << left;
            }
            // Bits past the line's end are left clear.
            const bool last = breaks != 0;
            const unsigned at = last ? static_cast<unsigned>(__builtin_ctz(breaks)) : 16;
            const std::uint32_t before = last ? (std::uint32_t{1} << at) - 1 : 0xFFFF;
            const unsigned shift = static_cast<unsigned>(o & 63);
            const std::uint64_t quoteBits = std::uint64_t{quotes & before} << shift;
            const std::uint64_t delimBits = std::uint64_t{delims & before} << shift;
            std::uint64_t& quoteWord = scan.quotes[o >> 6];
            std::uint64_t& delimWord = scan.delimiters[o >> 6];
            quoteWord = shift == 0 ? quoteBits : quoteWord | quoteBits;
            delimWord = shift == 0 ? delimBits : delimWord | delimBits;
            escapes = escapes || (escs & before) != 0;
            if (last) {
                scan.bitsKnown = true;
                n = o + at;
                break;
            }
        }
        if (n > maxLineBytes_) return LineRead::TooLong;
        scan.escapes = escapes;
        line = std::string_view(p, n);
        pos = i + n < size ? i + n + 1 : i + n;
        return LineRead::Line;
    }

  private:
    void Bits(const char* p, std::size_t count, std::uint32_t& breaks, std::uint32_t& quotes,
              std::uint32_t& delims, std::uint32_t& escs) const {
        for (std::size_t j = 0; j < count; ++j) {
            const char c = p[j];
            breaks |= std::uint32_t{IsBreak(c)} << j;
            quotes |= std::uint32_t{c == quote_} << j;
            delims |= std::uint32_t{c == d1_ || c == d2_} << j;
            escs |= std::uint32_t{c == escape_} << j;
        }
    }

    std::size_t maxLineBytes_;
    char quote_;
    char escape_;
    char d1_;
    char d2_;
#ifdef __SSE2__
    __m128i quoteV_;
    __m128i escapeV_;
    __m128i d1V_;
    __m128i d2V_;
#endif
};

// "Line N of the table stream is longer than M bytes."
TableStreamError LongLineError(std::size_t lineNumber, std::size_t maxLineBytes);

// A word of a data line as a view, without copying when it can be: a word that is quoted
// whole, or not quoted at all, and holds no doubled quote is the bytes between its quotes
// (or up to its delimiter). Any other word is assembled by NextWord in `scratch`, so both
// ways give the same value and leave `pos` at the same place. Returns false when the line
// has no word left.
inline bool TakeWord(std::string_view line, std::size_t& pos, const TableStreamFormat& f,
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

// Undoes the '%' escapes in place.
void Unescape(std::string& s, char escape);

// `pattern` with its first two "%s" replaced by a and b.
std::string Format2(std::string_view pattern, std::string_view a, std::string_view b);

struct Range {
    std::int64_t min;
    std::int64_t max;
};

// An integer value of the stream (see SignedIntegerInRange); plain decimals of up to nine
// digits, by far the most common, are read without the general rules' checks.
inline bool ParseInteger(std::string_view text, Range range, std::int32_t& out) {
    const std::size_t n = text.size();
    if (n - 1 < 9) {
        std::int64_t v = 0;
        std::size_t i = 0;
        for (; i < n; ++i) {
            const unsigned d = static_cast<unsigned char>(text[i]) - unsigned{'0'};
            if (d > 9) break;
            v = v * 10 + d;
        }
        if (i == n) {
            if (v < range.min || v > range.max) return false;
            out = static_cast<std::int32_t>(v);
            return true;
        }
    }
    const auto v = SignedIntegerInRange(text, range.min, range.max);
    if (v) out = *v;
    return v.has_value();
}

// One header word: the field it loads (kNoColumn: a skipped column) and how.
struct LoadColumn {
    std::size_t column = kNoColumn;
    bool text = true;
    Range range{0, 0};
};

// Takes the values of one data line into a record: one value per field, in field order, as
// MemTable::AppendRecord takes them. A line without escapes in the form the writer gives it
// (every value quoted and followed by a delimiter, see LineScan::WriterForm) is sliced at the
// quotes its scan found; any other line is taken word by word (TakeWord). Both ways give the
// same values and the same errors.
class RecordReader {
  public:
    RecordReader(const std::vector<FieldDef>& fields, const TableStreamFormat& f,
                 const std::vector<LoadColumn>& columns);
    // Throws TableStreamError for a value that is not a valid integer for its field. The
    // values refer to `line` and to the reader: they are valid until the next Read.
    void Read(std::string_view line, const LineScan& scan);
    const MemTable::RecordValue* Values() const { return record_.data(); }

  private:
    void Take(const LoadColumn& c, std::string_view word, bool escapes);

    const std::vector<FieldDef>& fields_;
    const TableStreamFormat& f_;
    const std::vector<LoadColumn>& columns_;
    // Quotes that are not also a delimiter: only then can a line be sliced at its quotes.
    bool sliceable_;
    std::vector<MemTable::RecordValue> record_;
    // Values that need assembling (doubled quotes, partial quoting, escapes) are built here,
    // one string per field so that a record's values stay valid until appended; the last
    // one takes the words of skipped columns.
    std::vector<std::string> scratch_;
};

// Reads the records of the stream from `dataStart` (just after the header line, which is
// line `headerLines`) into `table`, which is defined and empty, and builds its indexes. With
// a helper the records may be split in two at a line break, the second half read by the
// helper's thread, and a third piece taken over by whichever finishes first; the result, the
// error and the reader's final state are the same as from one thread. Each piece's observer
// sees its records as they are read. With `streamOwner`, which keeps `stream` alive, the
// records are read, checked and observed all the same, but made only when first read (see
// MemTable::DeferRecords).
void ReadRecords(MemTable& table, std::string_view stream, std::size_t dataStart,
                 std::size_t headerLines, TableStreamFormat& f,
                 const std::vector<LoadColumn>& columns, TableStreamHelper* helper,
                 RecordObservers observers = {}, std::shared_ptr<const void> streamOwner = nullptr);

}  // namespace korvel::stream_detail
