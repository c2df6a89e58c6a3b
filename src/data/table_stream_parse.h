// The table stream reader's private parts, shared by its three source files:
// table_stream_words.cpp (lines and words), table_stream.cpp (definitions and header) and
// table_stream_records.cpp (the records, read by one thread or split between two).
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "data/table_stream.h"

namespace korvel::stream_detail {

constexpr std::size_t kNoColumn = static_cast<std::size_t>(-1);

// The first CR, LF or NUL at or after `i`, or `size`.
std::size_t FindBreak(const char* bytes, std::size_t i, std::size_t size);

enum class LineRead { Line, End, TooLong };

// The next non-empty line of `text` from `pos`, as a view into it: the text is parsed where
// it lies, never copied. A run of CR, LF and NUL is one line break; the last line may lack
// one. On Line, `pos` moves past the line and its first break (the rest of a run of breaks is
// skipped next time); at End it is text.size(); a line longer than `maxLineBytes` gives
// TooLong and leaves `pos` alone.
LineRead NextLine(std::string_view text, std::size_t& pos, std::size_t maxLineBytes,
                  std::string_view& line);

// "Line N of the table stream is longer than M bytes."
TableStreamError LongLineError(std::size_t lineNumber, std::size_t maxLineBytes);

// Takes the next word of `line` from `pos` into `out`; false when the line has no word left.
bool NextWord(std::string_view line, std::size_t& pos, const TableStreamFormat& f,
              std::string& out);

// A word of a data line as a view, assembled in `scratch` only when it must be.
bool TakeWord(std::string_view line, std::size_t& pos, const TableStreamFormat& f,
              std::string& scratch, std::string_view& out);

// Undoes the '%' escapes in place.
void Unescape(std::string& s, char escape);

// `pattern` with its first two "%s" replaced by a and b.
std::string Format2(std::string_view pattern, std::string_view a, std::string_view b);

struct Range {
    std::int64_t min;
    std::int64_t max;
};

bool ParseInteger(std::string_view text, Range range, std::int32_t& out);

// One header word: the field it loads (kNoColumn: a skipped column) and how.
struct LoadColumn {
    std::size_t column = kNoColumn;
    bool text = true;
    Range range{0, 0};
};

// Reads the records of the stream from `dataStart` (just after the header line, which is
// line `headerLines`) into `table`, which is defined and empty, and builds its indexes. With
// a helper the records may be split in two at a line break, the second half read by the
// helper's thread; the result, the error and the reader's final state are the same as from
// one thread.
void ReadRecords(MemTable& table, std::string_view stream, std::size_t dataStart,
                 std::size_t headerLines, TableStreamFormat& f,
                 const std::vector<LoadColumn>& columns, TableStreamHelper* helper);

}  // namespace korvel::stream_detail
