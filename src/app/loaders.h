// The start-up loaders: two background threads that unpack the embedded timetable blobs into
// the four memory tables.
//
//   StopsLoader  KMTrain (index SIDNo), with its own reader settings stopsReaderSettings
//   StationTablesLoader   KMPy (load order), then KMList (index SID), then KMSM (index SStation),
//                 with the reader settings readerSettings; then it reads the second half of
//                 KMTrain's records, which StopsLoader offers it once the stop table is inflated
//
// Each table's load flag is 0 while it loads and becomes 1 (a release store) only after the
// table is completely loaded and its index selected; readers test it with an acquire load,
// so a thread that sees 1 also sees the whole table. A table that fails keeps its flag at 0,
// is left empty rather than half-filled, and its failure is reported with the table's name.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "data/schema.h"
#include "data/table_stream.h"

namespace korvel {

enum class LoadTable { KMPy, KMList, KMSM, KMTrain };

class TimetableFolderSource;

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

struct LoadFlags {
    std::atomic<int> PyLoaded{0};
    std::atomic<int> ListLoaded{0};
    std::atomic<int> GroupsLoaded{0};
    std::atomic<int> StopsLoaded{0};

    std::atomic<int>& For(LoadTable table);
    const std::atomic<int>& For(LoadTable table) const;
    // Acquire load of the table's flag.
    bool Loaded(LoadTable table) const;
};

// One table finished loading, successfully or not.
struct LoadEvent {
    LoadTable table = LoadTable::KMPy;
    bool ok = false;
    std::string error;          // why it failed (empty when ok)
    std::uint32_t records = 0;  // records loaded (0 on failure)
    double milliseconds = 0;    // time spent reading, inflating, parsing and indexing
    bool verified = false;      // its file matched the folder's manifest (size, SHA-256, records)
};

// Returns the uncompressed bytes of a named blob; throws (BlobError or anything else) when it
// cannot.
using BlobSource = std::function<std::vector<unsigned char>(std::string_view name)>;
// Called on the loader thread right after the table's flag is set (or after it failed).
using LoadCallback = std::function<void(const LoadEvent&)>;

// "<folder>: <error>" for a table read from `folder`, unless the error names the file
// already; `error` unchanged without a folder.
std::string NameTimetableFile(const std::string& folder, LoadTable table, std::string error);

// Reads the table streams from the files korvel-ttbuild writes in `folder` (UTF-8 path)
// instead of the embedded blobs, checked against the folder's manifest when it has one
// (see TimetableFolderSource); throws BlobError naming the file when one cannot be read.
BlobSource FolderBlobSource(const std::string& folder);

// What LoadTableFromBlob checks beyond the reader's own refusals.
struct TableChecks {
    // The checks of timetable_check.h: fields, indexes, bounded values, unique keys, stop
    // numbers. A failure names the line of the stream and the field where it can.
    bool strict = false;
    // KMTrain with `strict`: the train list its stops must name, asked for once the stops
    // have loaded; nullptr when the list failed (it is then reported on its own).
    std::function<const MemTable*()> trainList;
    // From the folder's manifest: the number of records the table must have.
    std::optional<std::uint64_t> records;
};

// Loads one table from its blob into `table` with `format`, selects its index and checks
// that the fields the program reads are there, and whatever `checks` asks for. Throws on
// any failure; the table may then be partly filled (TimetableLoader clears it). With a
// helper, a second thread may read half of the records (see TableStreamHelper).
std::uint32_t LoadTableFromBlob(LoadTable which, MemTable& table, TableStreamFormat& format,
                                const BlobSource& source, TableStreamHelper* helper = nullptr,
                                const TableChecks* checks = nullptr);

// Loads all four tables one after the other on the calling thread, in the loaders' order
// (for tests, benchmarks and fuzz targets that need the whole timetable at once). Throws on
// the first failure. With `strict`, every check of timetable_check.h runs as well.
void LoadTimetableFromBlobs(StoredTables& tables, const BlobSource& source, bool strict = false);

struct TimetableLoaderOptions {
    BlobSource source;     // empty: the program's embedded blobs (korvel::ReadBlob)
    LoadCallback onEvent;  // may be empty
    // With `source` empty: read the four streams from this folder instead of the embedded
    // blobs, verified against its manifest when it has one, every table checked as
    // timetable_check.h says; a failure names the table's file.
    std::string folder;
    // Those checks on `source` as well (tests and fuzz targets that inject folders).
    bool strict = false;
};

class TimetableLoader {
  public:
    using Options = TimetableLoaderOptions;

    // The tables and flags must outlive the loader; the loader joins its threads in its
    // destructor, so they never outlive the tables either.
    TimetableLoader(StoredTables& tables, LoadFlags& flags, Options options = {});
    ~TimetableLoader();
    TimetableLoader(const TimetableLoader&) = delete;
    TimetableLoader& operator=(const TimetableLoader&) = delete;

    // Starts StopsLoader and StationTablesLoader. Does nothing when already started.
    void Start();

    // Blocks until `table` has finished loading (or failed); returns whether it loaded.
    // Returns false at once when the loaders were never started.
    bool WaitFor(LoadTable table);
    // Waits for both threads to end.
    void Join();

    // True once the table has finished, successfully or not.
    bool Finished(LoadTable table) const;
    // The failure text of a table that failed, empty otherwise.
    std::string Error(LoadTable table) const;
    // The folder read (with its manifest); nothing for the embedded or a given source.
    const TimetableFolderSource* FolderSource() const { return folder_.get(); }

  private:
    void RunStops();   // StopsLoader
    void RunOthers();  // StationTablesLoader
    void LoadOne(LoadTable which, MemTable& table, TableStreamFormat& format,
                 TableStreamHelper* helper = nullptr);
    TableChecks ChecksFor(LoadTable which);

    StoredTables& tables_;
    LoadFlags& flags_;
    Options options_;
    std::shared_ptr<const TimetableFolderSource> folder_;  // with options.folder
    TableStreamFormat readerSettings_;
    TableStreamFormat stopsReaderSettings_;
    TableStreamHelper stopsHelper_;  // StationTablesLoader's share of KMTrain

    mutable std::mutex mutex_;
    std::condition_variable done_;
    std::array<bool, 4> finished_{};
    std::array<std::string, 4> errors_{};
    bool started_ = false;

    std::thread load1_;
    std::thread load_;
};

}  // namespace korvel
