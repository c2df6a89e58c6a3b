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
#include <utility>

#include "data/decimal.h"
#include "data/table_stream_parse.h"

namespace korvel {

using namespace stream_detail;

namespace {

// The next non-empty line of the stream (see NextLine), counted in the format's line number.
// Returns false at the end of the stream.
bool ReadLine(std::string_view stream, TableStreamFormat& f, std::string_view& line) {
    const LineRead read = NextLine(stream, f.position, f.maxLineBytes, line);
    if (read == LineRead::TooLong) throw LongLineError(f.lineNumber + 1, f.maxLineBytes);
    if (read == LineRead::End) return false;
    ++f.lineNumber;
    return true;
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

Range RangeOf(FieldType type) {
    if (type == FieldType::SmallInt) return {-32768, 32767};
    return {kI32Min, kI32Max};
}

// A size or width of a field definition: up to nine digits, no sign.
int ParseCount(std::string_view text, int fallback) {
    if (text.size() > 9) return fallback;
    return static_cast<int>(WholeInteger<unsigned>(text).value_or(fallback));
}

// A definition line is NAME=WORD,WORD,...: the name, and the words after '='.
std::string DefName(const std::string& def) {
    return def.substr(0, def.find('='));
}

std::vector<std::string> DefParts(const std::string& def, const TableStreamFormat& f) {
    std::vector<std::string> parts;
    const std::size_t eq = def.find('=');
    if (eq == std::string::npos) return parts;
    const std::string_view rest = std::string_view(def).substr(eq + 1);
    std::size_t pos = 0;
    std::string part;
    while (NextWord(rest, pos, f, part)) parts.push_back(part);
    return parts;
}

// NAME=TYPE,SIZE,"LABEL","MASK",WIDTH,KIND,"DEFAULT" with one to seven parts after '='.
FieldDef ParseFieldDef(const std::string& def, std::string_view rawLine, TableStreamFormat& f,
                       Range& range) {
    FieldDef fd;
    fd.name = DefName(def);
    const std::vector<std::string> parts = DefParts(def, f);
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
    id.name = DefName(def);
    const std::vector<std::string> parts = DefParts(def, f);
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

}  // namespace

namespace {

// What the definition block of a stream gave, and where it stopped.
struct Definitions {
    std::vector<FieldDef> fields;
    std::vector<Range> ranges;
    std::vector<IndexDef> indexes;
    bool haveFieldDefs = false;
    bool haveIndexDefs = false;
    bool haveHeader = false;
    std::string_view header;  // the first line outside the block
};

// One line inside or around the definition block; false when it is the header.
bool TakeDefinitionLine(std::string_view line, TableStreamFormat& f, Definitions& d,
                        bool& inTableDef, bool& inIndexDef) {
    std::size_t pos = 0;
    NextWord(line, pos, f, f.word);
    if (f.word == "@@FILE VERSION@@") {
        std::string version;
        NextWord(line, pos, f, version);  // any version loads the same way
    } else if (f.word == "@@TABLEDEF START@@") {
        inTableDef = true;
        if (f.loadFieldDefs) {
            d.haveFieldDefs = true;
            d.fields.clear();
            d.ranges.clear();
        }
    } else if (f.word == "@@TABLEDEF END@@") {
        inTableDef = false;
        inIndexDef = false;
    } else if (f.word == "@@INDEXDEF START@@") {
        inIndexDef = true;
        if (f.loadIndexDefs) {
            d.haveIndexDefs = true;
            d.indexes.clear();
        }
    } else if (f.word == "@@INDEXDEF END@@") {
        inIndexDef = false;
    } else if (inIndexDef) {
        if (f.loadIndexDefs) d.indexes.push_back(ParseIndexDef(f.word, line, f));
    } else if (inTableDef) {
        if (f.loadFieldDefs) {
            Range range{0, 0};
            FieldDef def = ParseFieldDef(f.word, line, f, range);
            if (def.invisible && !f.loadInvisible) return true;
            if (!f.loadKinds) def.kind = "Data";
            d.fields.push_back(std::move(def));
            d.ranges.push_back(range);
        }
    } else {
        return false;
    }
    return true;
}

Definitions ReadDefinitions(std::string_view stream, TableStreamFormat& f) {
    Definitions d;
    bool inTableDef = false;
    bool inIndexDef = false;
    std::string_view line;
    while (ReadLine(stream, f, line)) {
        if (!TakeDefinitionLine(line, f, d, inTableDef, inIndexDef)) {
            d.haveHeader = true;
            d.header = line;
            break;
        }
    }
    return d;
}

// Without definitions in the stream the table keeps its own; a table without any takes
// text columns from the header.
void FillMissingDefinitions(const MemTable& table, const TableStreamFormat& f, Definitions& d) {
    if (!d.haveFieldDefs) {
        d.fields = table.Fields();
        d.ranges.clear();
        for (const FieldDef& def : d.fields) d.ranges.push_back(RangeOf(def.type));
    }
    if (!d.haveIndexDefs) d.indexes = table.Indexes();
    if (!d.fields.empty() || !d.haveHeader) return;
    std::size_t pos = 0;
    std::string word;
    while (NextWord(d.header, pos, f, word)) {
        FieldDef def;
        def.name = word;
        def.label = word;
        def.size = f.defaultTextSize;
        def.width = f.defaultTextSize;
        d.fields.push_back(std::move(def));
        d.ranges.push_back({0, 0});
    }
}

// Header: each word names a field by display name; unknown words are skipped columns.
std::vector<LoadColumn> MatchHeader(const Definitions& d, TableStreamFormat& f) {
    std::vector<LoadColumn> columns;
    f.fieldLoaded.assign(d.fields.size(), false);
    f.skippedColumns = 0;
    f.headerLine = d.haveHeader ? f.lineNumber : 0;
    bool anyMatched = false;
    std::size_t pos = 0;
    while (d.haveHeader && NextWord(d.header, pos, f, f.word)) {
        LoadColumn c;
        for (std::size_t i = 0; i < d.fields.size(); ++i) {
            if (AsciiIEquals(d.fields[i].label, f.word)) {
                c.column = i;
                c.text = d.fields[i].type == FieldType::WideString;
                c.range = d.ranges[i];
                anyMatched = true;
                f.fieldLoaded[i] = true;
                break;
            }
        }
        if (c.column == kNoColumn) ++f.skippedColumns;
        columns.push_back(c);
    }
    // A header that names no defined field would load nothing but nulls: refuse it.
    if (!anyMatched) throw TableStreamError("Couldnt determine field count for load.");
    return columns;
}

}  // namespace

void LoadFromTableStream(MemTable& table, std::string_view stream, TableStreamFormat* format,
                         TableStreamHelper* helper, RecordObservers observers,
                         std::shared_ptr<const void> streamOwner) {
    if (format == nullptr) throw TableStreamError("No format specified.");
    TableStreamFormat& f = *format;
    f.position = 0;
    f.lineNumber = 0;
    f.fieldLoaded.clear();
    f.skippedColumns = 0;
    f.headerLine = 0;

    Definitions d = ReadDefinitions(stream, f);
    FillMissingDefinitions(table, f, d);
    const std::vector<LoadColumn> columns = MatchHeader(d, f);
    table.Define(std::move(d.fields), std::move(d.indexes));

    if (f.loadData) {
        ReadRecords(table, stream, f.position, f.lineNumber, f, columns, helper, observers,
                    std::move(streamOwner));
    } else {
        table.BuildIndexes();
    }
}

}  // namespace korvel
