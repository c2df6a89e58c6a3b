// Table stream reader (the writer is in table_stream_writer.cpp).
//
// A stream is: a version line, a definition block (field definitions, then an index block),
// a header line naming the loaded columns by display name, and one line per record. Every
// word is quoted and followed by a comma; quotes inside a quoted word are doubled; '%' escapes
// NUL, CR, LF and itself in values.
#include "data/table_stream.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <limits>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace korvel {
namespace {

constexpr std::size_t kNoColumn = static_cast<std::size_t>(-1);

bool IsBreak(char c) {
    return c == '\r' || c == '\n' || c == '\0';
}

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

// The next non-empty line of the stream, as a view into it: the text is parsed where it lies,
// never copied. A run of CR, LF and NUL is one line break; the last line may lack one.
// Returns false at the end of the stream.
bool ReadLine(std::string_view stream, TableStreamFormat& f, std::string_view& line) {
    const char* bytes = stream.data();
    const std::size_t size = stream.size();
    std::size_t i = f.position;
    while (i < size && IsBreak(bytes[i])) ++i;
    if (i >= size) {
        f.position = size;
        return false;
    }
    const std::size_t begin = i;
    i = FindBreak(bytes, i, size);
    if (i - begin > f.maxLineBytes) {
        throw TableStreamError("Line " + std::to_string(f.lineNumber + 1) +
                               " of the table stream is longer than " +
                               std::to_string(f.maxLineBytes) + " bytes.");
    }
    ++f.lineNumber;
    line = std::string_view(bytes + begin, i - begin);
    f.position = i < size ? i + 1 : i;  // the rest of a run of breaks is skipped next time
    return true;
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

// How a database field type name is loaded. Only text and integer types can be held; the
// other known names are refused with a clear error rather than loaded as something else.
struct TypeInfo {
    const char* name;
    bool supported;
    FieldType type;
    std::int64_t min;
    std::int64_t max;
};

constexpr std::int64_t kI32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kI32Max = std::numeric_limits<std::int32_t>::max();

constexpr std::array<TypeInfo, 38> kTypes = {{
    {"Unknown", false, FieldType::WideString, 0, 0},
    {"String", true, FieldType::WideString, 0, 0},
    {"Smallint", true, FieldType::SmallInt, -32768, 32767},
    {"Integer", true, FieldType::Integer, kI32Min, kI32Max},
    {"Word", true, FieldType::Integer, 0, 65535},
    {"Boolean", false, FieldType::WideString, 0, 0},
    {"Float", false, FieldType::WideString, 0, 0},
    {"Currency", false, FieldType::WideString, 0, 0},
    {"BCD", false, FieldType::WideString, 0, 0},
    {"Date", false, FieldType::WideString, 0, 0},
    {"Time", false, FieldType::WideString, 0, 0},
    {"DateTime", false, FieldType::WideString, 0, 0},
    {"Bytes", false, FieldType::WideString, 0, 0},
    {"VarBytes", false, FieldType::WideString, 0, 0},
    {"AutoInc", true, FieldType::Integer, kI32Min, kI32Max},
    {"Blob", false, FieldType::WideString, 0, 0},
    {"Memo", true, FieldType::WideString, 0, 0},
    {"Graphic", false, FieldType::WideString, 0, 0},
    {"FmtMemo", true, FieldType::WideString, 0, 0},
    {"ParadoxOle", false, FieldType::WideString, 0, 0},
    {"DBaseOle", false, FieldType::WideString, 0, 0},
    {"TypedBinary", false, FieldType::WideString, 0, 0},
    {"Cursor", false, FieldType::WideString, 0, 0},
    {"FixedChar", true, FieldType::WideString, 0, 0},
    {"WideString", true, FieldType::WideString, 0, 0},
    {"Largeint", false, FieldType::WideString, 0, 0},
    {"ADT", false, FieldType::WideString, 0, 0},
    {"Array", false, FieldType::WideString, 0, 0},
    {"Reference", false, FieldType::WideString, 0, 0},
    {"DataSet", false, FieldType::WideString, 0, 0},
    {"OraBlob", false, FieldType::WideString, 0, 0},
    {"OraClob", false, FieldType::WideString, 0, 0},
    {"Variant", false, FieldType::WideString, 0, 0},
    {"Interface", false, FieldType::WideString, 0, 0},
    {"IDispatch", false, FieldType::WideString, 0, 0},
    {"Guid", false, FieldType::WideString, 0, 0},
    {"TimeStamp", false, FieldType::WideString, 0, 0},
    {"FMTBcd", false, FieldType::WideString, 0, 0},
}};

const TypeInfo* FindType(std::string_view name) {
    for (const TypeInfo& t : kTypes) {
        if (AsciiIEquals(t.name, name)) return &t;
    }
    return nullptr;
}

struct Range {
    std::int64_t min;
    std::int64_t max;
};

Range RangeOf(FieldType type) {
    if (type == FieldType::SmallInt) return {-32768, 32767};
    return {kI32Min, kI32Max};
}

int ParseCount(std::string_view text, int fallback) {
    std::int64_t v = 0;
    if (text.empty() || text.size() > 9) return fallback;
    for (char c : text) {
        if (c < '0' || c > '9') return fallback;
        v = v * 10 + (c - '0');
    }
    return static_cast<int>(v);
}

// NAME=TYPE,SIZE,"LABEL","MASK",WIDTH,KIND,"DEFAULT" with one to seven parts after '='.
FieldDef ParseFieldDef(const std::string& def, std::string_view rawLine, TableStreamFormat& f,
                       Range& range) {
    FieldDef fd;
    const std::size_t eq = def.find('=');
    fd.name = def.substr(0, eq);
    std::vector<std::string> parts;
    if (eq != std::string::npos) {
        const std::string_view rest = std::string_view(def).substr(eq + 1);
        std::size_t pos = 0;
        std::string part;
        while (NextWord(rest, pos, f, part)) parts.push_back(part);
    }
    const std::string typeName = parts.empty() ? std::string() : parts[0];
    const TypeInfo* type = FindType(typeName);
    if (type == nullptr) {
        throw TableStreamError(
            Format2("Unknown field type (%s) in CSV file. (%s)", typeName, rawLine));
    }
    if (!type->supported) {
        throw TableStreamError(
            Format2("Unsupported field type (%s) in CSV file. (%s)", typeName, rawLine));
    }
    fd.type = type->type;
    const bool text = fd.type == FieldType::WideString;
    range = text ? Range{0, 0} : Range{type->min, type->max};
    fd.size = parts.size() > 1 ? ParseCount(parts[1], text ? f.defaultTextSize : 0)
                               : (text ? f.defaultTextSize : 0);
    fd.label = parts.size() > 2 ? parts[2] : fd.name;
    if (parts.size() > 3) fd.mask = parts[3];
    fd.width = parts.size() > 4 ? ParseCount(parts[4], 0) : 0;
    if (parts.size() > 6) {
        fd.kind = parts[parts.size() - 2];
        fd.defaultExpr = parts.back();
    } else if (parts.size() == 6) {
        fd.kind = parts[5];
    }
    fd.required = rawLine.find(",REQ") != std::string_view::npos;
    fd.readOnly = rawLine.find(",RO") != std::string_view::npos;
    fd.invisible = rawLine.find(",INV") != std::string_view::npos;
    return fd;
}

// NAME="FIELD;FIELD","INDEXNAME" followed by option words.
IndexDef ParseIndexDef(const std::string& def, std::string_view rawLine,
                       const TableStreamFormat& f) {
    IndexDef id;
    const std::size_t eq = def.find('=');
    id.name = def.substr(0, eq);
    std::vector<std::string> parts;
    if (eq != std::string::npos) {
        const std::string_view rest = std::string_view(def).substr(eq + 1);
        std::size_t pos = 0;
        std::string part;
        while (NextWord(rest, pos, f, part)) parts.push_back(part);
    }
    if (!parts.empty()) {
        std::string_view names = parts[0];
        while (!names.empty()) {
            const std::size_t semi = names.find(';');
            const std::string_view one = names.substr(0, semi);
            if (!one.empty()) id.fields.emplace_back(one);
            if (semi == std::string_view::npos) break;
            names.remove_prefix(semi + 1);
        }
    }
    id.indexName = parts.size() > 1 && !parts[1].empty() ? parts[1] : id.name;
    id.unique = rawLine.find(",UNIQ") != std::string_view::npos;
    id.descending = rawLine.find(",DESC") != std::string_view::npos;
    id.caseInsensitive = rawLine.find(",CASE") != std::string_view::npos;
    id.notMaintained = rawLine.find(",NONMT") != std::string_view::npos;
    return id;
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

struct LoadColumn {
    std::size_t column = kNoColumn;  // kNoColumn: the header word matched no field
    bool text = true;
    Range range{0, 0};
};

}  // namespace

void LoadFromTableStream(MemTable& table, std::string_view stream, TableStreamFormat* format) {
    if (format == nullptr) throw TableStreamError("No format specified.");
    TableStreamFormat& f = *format;
    f.position = 0;
    f.lineNumber = 0;
    std::string_view line;

    std::vector<FieldDef> fields;
    std::vector<Range> ranges;
    std::vector<IndexDef> indexes;
    bool haveFieldDefs = false;
    bool haveIndexDefs = false;
    bool inTableDef = false;
    bool inIndexDef = false;
    bool haveHeader = false;

    while (ReadLine(stream, f, line)) {
        std::size_t pos = 0;
        NextWord(line, pos, f, f.word);
        if (f.word == "@@FILE VERSION@@") {
            std::string version;
            NextWord(line, pos, f, version);  // any version loads the same way
        } else if (f.word == "@@TABLEDEF START@@") {
            inTableDef = true;
            if (f.loadFieldDefs) {
                haveFieldDefs = true;
                fields.clear();
                ranges.clear();
            }
        } else if (f.word == "@@TABLEDEF END@@") {
            inTableDef = false;
            inIndexDef = false;
        } else if (f.word == "@@INDEXDEF START@@") {
            inIndexDef = true;
            if (f.loadIndexDefs) {
                haveIndexDefs = true;
                indexes.clear();
            }
        } else if (f.word == "@@INDEXDEF END@@") {
            inIndexDef = false;
        } else if (inIndexDef) {
            if (f.loadIndexDefs) indexes.push_back(ParseIndexDef(f.word, line, f));
        } else if (inTableDef) {
            if (f.loadFieldDefs) {
                Range range{0, 0};
                FieldDef def = ParseFieldDef(f.word, line, f, range);
                if (def.invisible && !f.loadInvisible) continue;
                if (!f.loadKinds) def.kind = "Data";
                fields.push_back(std::move(def));
                ranges.push_back(range);
            }
        } else {
            haveHeader = true;
            break;
        }
    }

    // Without definitions in the stream the table keeps its own; a table without any takes
    // text columns from the header.
    if (!haveFieldDefs) {
        fields = table.Fields();
        ranges.clear();
        for (const FieldDef& def : fields) ranges.push_back(RangeOf(def.type));
    }
    if (!haveIndexDefs) indexes = table.Indexes();
    if (fields.empty() && haveHeader) {
        std::size_t pos = 0;
        std::string word;
        while (NextWord(line, pos, f, word)) {
            FieldDef def;
            def.name = word;
            def.label = word;
            def.size = f.defaultTextSize;
            def.width = f.defaultTextSize;
            fields.push_back(std::move(def));
            ranges.push_back({0, 0});
        }
    }

    // Header: each word names a field by display name; unknown words are skipped columns.
    std::vector<LoadColumn> columns;
    bool anyMatched = false;
    if (haveHeader) {
        std::size_t pos = 0;
        while (NextWord(line, pos, f, f.word)) {
            LoadColumn c;
            for (std::size_t i = 0; i < fields.size(); ++i) {
                if (AsciiIEquals(fields[i].label, f.word)) {
                    c.column = i;
                    c.text = fields[i].type == FieldType::WideString;
                    c.range = ranges[i];
                    anyMatched = true;
                    break;
                }
            }
            columns.push_back(c);
        }
    }
    // A header that names no defined field would load nothing but nulls: refuse it.
    if (!anyMatched) throw TableStreamError("Couldnt determine field count for load.");

    table.Define(std::move(fields), std::move(indexes));

    if (f.loadData) {
        // After a few records the columns are sized for the rest of the stream at the same
        // bytes per record, so that they do not grow (and copy) step by step.
        constexpr std::size_t kSampleRecords = 64;
        const std::size_t dataStart = f.position;
        std::size_t parsed = 0;
        const std::size_t fieldCount = table.Fields().size();
        std::vector<MemTable::RecordValue> record(fieldCount);
        // Values that need assembling (doubled quotes, partial quoting, escapes) are built
        // here, one string per field so that a record's values stay valid until appended.
        std::vector<std::string> scratch(fieldCount + 1);
        std::string& skipped = scratch.back();
        while (ReadLine(stream, f, line)) {
            for (MemTable::RecordValue& v : record) v.set = false;
            // Escapes are rare: look for one per line, not per value.
            const bool escapes = line.find(f.escape) != std::string_view::npos;
            std::size_t pos = 0;
            for (const LoadColumn& c : columns) {
                std::string_view word;
                std::string& own = c.column == kNoColumn ? skipped : scratch[c.column];
                if (!TakeWord(line, pos, f, own, word)) break;
                if (c.column == kNoColumn) continue;
                MemTable::RecordValue& v = record[c.column];
                if (c.text) {
                    if (escapes && word.find(f.escape) != std::string_view::npos) {
                        if (word.data() != own.data()) own.assign(word);
                        Unescape(own, f.escape);
                        word = own;
                    }
                    v.text = word;
                    v.set = true;
                } else if (!word.empty()) {
                    if (!ParseInteger(word, c.range, v.integer)) {
                        throw TableStreamError(
                            Format2("'%s' is not a valid integer value for field '%s'", word,
                                    table.Fields()[c.column].label));
                    }
                    v.set = true;
                }
            }
            table.AppendRecord(record.data());
            if (++parsed == kSampleRecords && f.position > dataStart) {
                const std::size_t remaining = stream.size() - f.position;
                table.ReserveRecords(remaining / ((f.position - dataStart) / parsed + 1) * 5 / 4 +
                                     16);
            }
        }
    }
    table.BuildIndexes();
}

}  // namespace korvel
