// The four timetable tables as files and blobs: what each is called, where its stream comes
// from, and loading one into its memory table with the checks the program trusts it by.
// Everything here runs on the calling thread; the start-up threads (app/loaders.h) and the
// update store (which checks a folder before it takes its place) both build on it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/blob.h"
#include "data/schema.h"
#include "data/table_stream.h"

namespace korvel {

class TimetableFolderSource;  // timetable_folder.h

enum class LoadTable { KMPy, KMList, KMSM, KMTrain };

// "KMPy", "KMList", "KMSM", "KMTrain".
std::string_view LoadTableName(LoadTable table);
// The embedded blob each table is read from: "SPY", "SList", "SM", "STrain".
std::string_view LoadTableBlob(LoadTable table);
// The index a loaded table is left on ("" for KMPy: load order).
std::string_view LoadTableIndex(LoadTable table);
// The file korvel-ttbuild writes the table's stream to: "SPY.stream", "SLIST.stream",
// "SM.stream", "STRAIN.stream".
std::string LoadTableFile(LoadTable table);
// The fields and indexes the table's schema defines (data/schema.h).
std::vector<FieldDef> LoadTableFields(LoadTable table);
std::vector<IndexDef> LoadTableIndexes(LoadTable table);

// The table of `tables` that `table` names.
MemTable& TableOf(StoredTables& tables, LoadTable table);

// Returns the uncompressed bytes of a named blob; throws (BlobError or anything else) when it
// cannot.
using BlobSource = std::function<BlobBytes(std::string_view name)>;

// "<folder>: <error>" for a table read from `folder`, unless the error names the file
// already; `error` unchanged without a folder.
std::string NameTimetableFile(const std::string& folder, LoadTable table, std::string error);

// Reads the table streams from the files korvel-ttbuild writes in `folder` (UTF-8 path)
// instead of the embedded blobs, checked against the folder's manifest when it has one
// (see TimetableFolderSource); throws BlobError naming the file when one cannot be read.
BlobSource FolderBlobSource(const std::string& folder);
// The same over a folder already opened (whose manifest the caller reads as well).
BlobSource FolderBlobSource(std::shared_ptr<const TimetableFolderSource> folder);

// What LoadTableFromBlob checks beyond the reader's own refusals.
struct TableChecks {
    // The checks of timetable_check.h: the stream's form, fields, indexes, bounded values,
    // unique keys, stops along each train. A failure names the line of the stream and the
    // field where there is one.
    bool strict = false;
    // KMTrain with `strict`: the other three tables, which its stops are checked against,
    // asked for once the stops have loaded; nullptr for one that failed (it is then reported
    // on its own).
    std::function<MemTable*(LoadTable)> otherTable;
    // From the folder's manifest: the number of records the table must have.
    std::optional<std::uint64_t> records;
};

// Loads one table from its blob into `table` with `format`, selects its index and checks
// that the fields the program reads are there, and whatever `checks` asks for. Throws on
// any failure; the table may then be partly filled (TimetableLoader clears it). With a
// helper, a second thread may read half of the records (see TableStreamHelper); the observers
// see the records as they are read. With `deferRecords`, when the observers read what is
// needed of the records and nothing is expected to read the table record by record, the
// records are read and checked all the same but made only when something first reads them,
// and the inflated stream is kept until then (see LoadFromTableStream); strict checks read
// every record, so they make them at once.
std::uint32_t LoadTableFromBlob(LoadTable which, MemTable& table, TableStreamFormat& format,
                                const BlobSource& source, TableStreamHelper* helper = nullptr,
                                const TableChecks* checks = nullptr, RecordObservers observers = {},
                                bool deferRecords = false);

// Loads all four tables one after the other on the calling thread, in the loaders' order
// (for tests, benchmarks and fuzz targets that need the whole timetable at once). Throws on
// the first failure. With `strict`, every check of timetable_check.h runs as well.
void LoadTimetableFromBlobs(StoredTables& tables, const BlobSource& source, bool strict = false);

}  // namespace korvel
