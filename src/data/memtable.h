// An in-memory table: typed fields, records in load order, named indexes and one cursor.
// Filled once by LoadFromTableStream and read-only afterwards (a big table may make its
// records only when first read: DeferRecords).
//
// Values are stored column by column. A Field is a handle resolved once by FieldByName;
// reading it afterwards costs no name lookup and no string copy (View()).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace korvel {

class MemTable;

// Raised by FieldByName for an unknown name ("Field '%s' not found").
class MemTableError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

enum class FieldType : std::uint8_t { WideString, SmallInt, Integer };

struct FieldDef {
    std::string name;
    FieldType type = FieldType::WideString;
    int size = 0;
    std::string label;  // display name: what the header line of a table stream refers to
    std::string mask;
    int width = 0;
    std::string kind = "Data";
    std::string defaultExpr;
    bool required = false;
    bool readOnly = false;
    bool invisible = false;
};

struct IndexDef {
    std::string name;
    std::vector<std::string> fields;  // field names, matched ignoring ASCII case
    std::string indexName;            // the name IndexName selects it by
    bool unique = false;
    bool descending = false;
    bool caseInsensitive = false;
    bool notMaintained = false;
};

// A field of the table, read at the cursor's current record.
class Field {
  public:
    const FieldDef& Def() const;
    const std::string& Name() const { return Def().name; }
    FieldType Type() const { return Def().type; }

    // Text value; an integer in decimal; null gives empty text.
    std::string AsString() const { return std::string(View()); }
    // Same as AsString without a copy. For integer fields the view points into a buffer of
    // this Field that the next View() call overwrites.
    std::string_view View() const;
    // Integer value; null (and text) gives 0.
    std::int32_t AsInteger() const;
    bool IsNull() const;

    // Reads at an explicit record (load position), leaving the cursor alone.
    std::string_view ViewAt(std::uint32_t record) const;
    std::int32_t IntegerAt(std::uint32_t record) const;
    bool IsNullAt(std::uint32_t record) const;

  private:
    friend class MemTable;
    Field(const MemTable* table, std::size_t column) : table_(table), column_(column) {}
    const MemTable* table_;
    std::size_t column_;
    mutable std::string scratch_;
};

class MemTable {
  public:
    MemTable();
    ~MemTable();
    MemTable(const MemTable&) = delete;
    MemTable& operator=(const MemTable&) = delete;
    MemTable(MemTable&&) noexcept;
    MemTable& operator=(MemTable&&) noexcept;

    // --- building (used by LoadFromTableStream) ---
    // Replaces definitions and records; the table is empty and unindexed afterwards.
    void Define(std::vector<FieldDef> fields, std::vector<IndexDef> indexes);
    // Appends one record; the values are set with the setters below, then Post().
    void Append();
    void SetText(std::size_t column, std::string_view gbk);
    void SetInteger(std::size_t column, std::int32_t value);
    // (a value not set before Post stays null)
    void Post();
    // The fast way to fill a table: one call per record with one value per field, in field
    // order (texts for text fields, integers for integer fields; an unset value is null).
    // ReserveRecords only sizes the per-record arrays ahead.
    struct RecordValue {
        std::string_view text;
        std::int32_t integer = 0;
        bool set = false;
    };
    void ReserveRecords(std::size_t records);
    void AppendRecord(const RecordValue* values);
    // Takes over every record of `part`, a table defined with the same fields, after this
    // table's own, without copying them (the second half of a stream that another thread
    // read). `part` is left empty.
    void AdoptRecords(MemTable&& part);
    // Whether the records, in load order, are already in the order of an index defined as
    // `def` (its fields looked up here by name): asked by a thread of the records it has just
    // read, while they are in its cache.
    bool InOrderOf(const IndexDef& def) const;
    // What the threads that read the records found, for the indexes the next BuildIndexes
    // builds: for each index definition in turn, whether the pieces of records that begin at
    // 0 and at each of `starts` are all in its order (InOrderOf of each piece). Such an index
    // then confirms load order by comparing the two records at each start only, and sorts
    // without looking when a piece was out of order.
    void NoteOrderedPieces(std::vector<std::uint32_t> starts, std::vector<bool> ordered);
    // Leaves the records to be made when something first reads them, for a big table that is
    // seldom read record by record: `make` appends every record to the table it is given,
    // defined with this table's fields and indexes, and must give exactly `records` of them.
    // Until then RecordCount, Fields, Indexes, Generation, FindField and the cursor's First,
    // Last, Eof and Bof answer without them, and SetIndexName only notes the choice; whatever
    // reads a record makes them first, once, safely from any thread (a failure is thrown to
    // that reader, and the next one tries again). Called once the records have been read and
    // checked, before BuildIndexes.
    void DeferRecords(std::uint32_t records, std::function<void(MemTable&)> make);
    // Whether the records are still to be made.
    bool RecordsDeferred() const;
    // Makes every defined index available (stable, nulls first, integers numerically, text
    // in unsigned byte order); each is sorted once, on its first use, safely from any thread.
    // The current order becomes load order, cursor on the first record.
    void BuildIndexes();

    // --- reading ---
    const std::vector<FieldDef>& Fields() const;
    const std::vector<IndexDef>& Indexes() const;
    std::uint32_t RecordCount() const;
    // Which load this is: a number, unique in the process, that changes whenever the table is
    // defined, takes over records or builds its indexes. Anything worked out from the table
    // keeps the number it saw and is stale as soon as the number differs, even when a reload
    // brings the same counts.
    std::uint64_t Generation() const;

    // Selects the current order by index name, ignoring ASCII case; "" is load order.
    // The cursor stays on the same record; an unknown name changes nothing.
    void SetIndexName(std::string_view name);
    const std::string& IndexName() const;

    void First();
    void Next();
    void Prior();
    void Last();
    bool Eof() const;
    bool Bof() const;

    // Field handle, ASCII-case-insensitive; throws MemTableError "Field '%s' not found".
    // The returned reference stays valid for the life of the table's definitions.
    Field& FieldByName(std::string_view name);
    // nullptr instead of throwing.
    Field* FindField(std::string_view name);
    // The same for a reader that never moves the cursor (ViewAt, IntegerAt, IsNullAt).
    const Field* FindField(std::string_view name) const;

    // Exact whole-value search; see the cursor rules in memtable.cpp.
    bool Locate(std::string_view fieldName, std::string_view value);

    // The load position of the current record (valid when the table is not empty).
    std::uint32_t CurrentRecord() const;
    // Position of the cursor within the current order.
    std::uint32_t CurrentPosition() const;
    // The records in the named index's order (load positions); nullptr for an unknown name.
    const std::vector<std::uint32_t>* IndexOrder(std::string_view indexName) const;
    // The order Locate binary-searches for a field: the first case-sensitive index led by
    // it, when that index ascends; nullptr otherwise (Locate then scans or searches
    // descending).
    const std::vector<std::uint32_t>* SearchOrder(std::string_view fieldName) const;

    struct Impl;

  private:
    friend class Field;
    std::unique_ptr<Impl> impl_;
};

// Compares ASCII letters without regard to case; other bytes exactly.
bool AsciiIEquals(std::string_view a, std::string_view b);

}  // namespace korvel
