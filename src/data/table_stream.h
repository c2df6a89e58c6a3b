// The table stream: the line-oriented text format of the embedded tables, and its reader
// and writer.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "data/memtable.h"

namespace korvel {

// Load failures: unknown field type, bad integer, no header, no settings, overlong line.
class TableStreamError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Reader settings plus the reader's parse state. Two loads that run at the same time must
// use two objects.
struct TableStreamFormat {
    char quote = '"';
    char fieldDelimiter = ',';
    char recordDelimiter = ',';
    char escape = '%';
    std::string trueText = "True";
    std::string falseText = "False";
    int defaultTextSize = 255;
    bool loadFieldDefs = true;
    bool loadIndexDefs = true;
    bool loadData = true;
    bool loadInvisible = true;
    bool loadKinds = true;
    // A single line longer than this is refused instead of growing without bound.
    std::size_t maxLineBytes = 1u << 20;

    // --- parse state (owned by the reader) ---
    std::size_t position = 0;  // read position in the stream (lines are parsed in place)
    std::string word;          // a definition or header word being assembled
    std::size_t lineNumber = 0;
};

// Replaces the table's definitions and records with the stream's and builds every index.
// Throws TableStreamError (nullptr format: "No format specified.").
void LoadFromTableStream(MemTable& table, std::string_view stream, TableStreamFormat* format);

// Appends one value as the writer quotes it (doubled quotes, '%' escapes for CR, LF, NUL and
// '%' itself), without the comma that follows it.
void AppendTableStreamValue(std::string& out, std::string_view text);

// Writes a complete table stream (CR LF line ends). Each row holds one text per field, in
// field order: integers as decimal text, empty text for null. '%', CR, LF and NUL in values
// are escaped so that the reader gives the same bytes back.
std::string WriteTableStream(const std::vector<FieldDef>& fields,
                             const std::vector<IndexDef>& indexes,
                             const std::vector<std::vector<std::string>>& rows);

}  // namespace korvel
