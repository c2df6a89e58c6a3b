// The start-up loaders: two background threads that unpack the embedded timetable blobs into
// the four memory tables.
//
//   StopsLoader  KMTrain (index SIDNo), with its own reader settings stopsReaderSettings; then,
//                 once the other three tables are in, the typed timetable (Options::typed)
//   StationTablesLoader   KMPy (load order), then KMList (index SID), then KMSM (index SStation),
//                 with the reader settings readerSettings; then it helps StopsLoader: it
//                 inflates chunks of KMTrain's blob while StopsLoader inflates the others,
//                 and reads the second half of KMTrain's records
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
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "data/schema.h"
#include "data/table_stream.h"
#include "timetable/read_along.h"
#include "timetable/table_load.h"
#include "timetable/timetable.h"

namespace korvel {

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
    // KMTrain's, when all four tables loaded: the typed timetable built from them, which every
    // query reads (null when Options::typed is off or it could not be built).
    std::shared_ptr<const Timetable> timetable;
};

// What the status bar says of a table that failed to load (GBK): "时刻表加载失败:" followed by
// the table's name and why.
std::string LoadFailureText(const LoadEvent& event);

// Called on the loader thread right after the table's flag is set (or after it failed).
using LoadCallback = std::function<void(const LoadEvent&)>;

// Returns the stored bytes of a named compressed blob, as InflateBlob takes them (they must
// stay valid while the loader runs); throws when it cannot.
using CompressedBlobSource = std::function<std::span<const unsigned char>(std::string_view name)>;

struct TimetableLoaderOptions {
    BlobSource source;  // empty: the program's embedded blobs (korvel::ReadBlob)
    // The stop table's blob, still compressed: StopsLoader inflates it with StationTablesLoader's
    // help (a chunked blob is inflated on both threads) instead of asking `source` for it.
    // Empty: `source` gives the stops too. With `source` and `folder` both empty: the
    // embedded blobs (korvel::CompressedBlob).
    CompressedBlobSource compressed;
    LoadCallback onEvent;  // may be empty
    // With `source` empty: read the four streams from this folder instead of the embedded
    // blobs, verified against its manifest when it has one, every table checked as
    // timetable_check.h says; a failure names the table's file.
    std::string folder;
    // Those checks on `source` as well (tests and fuzz targets that inject folders).
    bool strict = false;
    // The tables of `folder`, loaded and checked already (the start-up's choice of installed
    // timetable does that): taken over as they are instead of being read again.
    std::shared_ptr<StoredTables> loaded;
    // Build the typed timetable at the end of the stops thread, once the other three tables are
    // in, from what that thread read of the stops as they came (see TimetableReadAlong): KMTrain's
    // event then comes after the other three's and carries it.
    bool typed = true;
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
    std::shared_ptr<const Timetable> BuildTimetable();

    StoredTables& tables_;
    LoadFlags& flags_;
    Options options_;
    std::shared_ptr<const TimetableFolderSource> folder_;  // with options.folder
    TableStreamFormat readerSettings_;
    TableStreamFormat stopsReaderSettings_;
    TableStreamHelper stopsHelper_;  // StationTablesLoader's share of KMTrain
    BlobSource stopsSource_;         // `source`, or `compressed` inflated with stopsHelper_
    std::unique_ptr<TimetableReadAlong> readAlong_;  // with Options::typed, until the build

    mutable std::mutex mutex_;
    std::condition_variable done_;
    std::array<bool, 4> finished_{};
    std::array<std::string, 4> errors_{};
    bool started_ = false;

    std::thread load1_;
    std::thread load_;
};

}  // namespace korvel
