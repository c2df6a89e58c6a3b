#include "app/loaders.h"

#include <chrono>
#include <exception>
#include <filesystem>
#include <utility>

#include "app/timetable_check.h"
#include "app/timetable_folder.h"
#include "resources/resources.h"

namespace korvel {
namespace {

std::size_t Slot(LoadTable table) {
    return static_cast<std::size_t>(table);
}

// What each table is called, where it is read from and how it is left indexed, in the
// order of LoadTable.
struct TableFacts {
    std::string_view name;
    std::string_view blob;
    std::string_view index;  // "" for load order
    std::vector<FieldDef> (*fields)();
    std::vector<IndexDef> (*indexes)();
};

const TableFacts& Facts(LoadTable table) {
    static const std::array<TableFacts, 4> facts{{
        {"KMPy", "SPY", "", KMPyFields, KMPyIndexes},
        {"KMList", "SList", "SID", KMListFields, KMListIndexes},
        {"KMSM", "SM", "SStation", KMSMFields, KMSMIndexes},
        {"KMTrain", "STrain", "SIDNo", KMTrainFields, KMTrainIndexes},
    }};
    return facts.at(Slot(table));
}

}  // namespace

std::string_view LoadTableName(LoadTable table) {
    return Facts(table).name;
}

std::string_view LoadTableBlob(LoadTable table) {
    return Facts(table).blob;
}

std::string_view LoadTableIndex(LoadTable table) {
    return Facts(table).index;
}

std::vector<FieldDef> LoadTableFields(LoadTable table) {
    return Facts(table).fields();
}

std::vector<IndexDef> LoadTableIndexes(LoadTable table) {
    return Facts(table).indexes();
}

std::string LoadTableFile(LoadTable table) {
    std::string name(LoadTableBlob(table));
    for (char& c : name) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return name + ".stream";
}

std::string NameTimetableFile(const std::string& folder, LoadTable table, std::string error) {
    if (folder.empty()) return error;
    // An error about any file of the folder (the table's, or the manifest) names it already.
    const std::string prefix = (std::filesystem::path(folder) / "").string();
    if (error.rfind(prefix, 0) == 0) return error;
    const std::string path = (std::filesystem::path(folder) / LoadTableFile(table)).string();
    if (error.find(path) != std::string::npos) return error;
    return path + ": " + error;
}

BlobSource FolderBlobSource(const std::string& folder) {
    auto source = std::make_shared<const TimetableFolderSource>(folder);
    return [source](std::string_view blob) {
        for (LoadTable t :
             {LoadTable::KMPy, LoadTable::KMList, LoadTable::KMSM, LoadTable::KMTrain}) {
            if (LoadTableBlob(t) == blob) return source->Read(t);
        }
        throw BlobError("no timetable file for blob " + std::string(blob));
    };
}

std::atomic<int>& LoadFlags::For(LoadTable table) {
    return const_cast<std::atomic<int>&>(std::as_const(*this).For(table));
}

const std::atomic<int>& LoadFlags::For(LoadTable table) const {
    switch (table) {
        case LoadTable::KMPy:
            return PyLoaded;
        case LoadTable::KMList:
            return ListLoaded;
        case LoadTable::KMSM:
            return GroupsLoaded;
        case LoadTable::KMTrain:
            break;
    }
    return StopsLoaded;
}

bool LoadFlags::Loaded(LoadTable table) const {
    return For(table).load(std::memory_order_acquire) == 1;
}

namespace {

// The line of the stream that holds record `record` (load position), counted as an editor
// counts lines: the reader skips empty lines, so the record's line is found again in the
// text rather than computed from its position.
std::size_t LineOfRecord(std::string_view text, std::size_t headerLine, std::uint32_t record) {
    const std::size_t want = headerLine + 1 + record;  // among the non-empty lines
    std::size_t nonEmpty = 0;
    std::size_t lineBreaks = 0;
    bool inLine = false;
    for (const char c : text) {
        const bool lineBreak = c == '\r' || c == '\n' || c == '\0';
        if (!lineBreak && !inLine && ++nonEmpty == want) return lineBreaks + 1;
        inLine = !lineBreak;
        lineBreaks += c == '\n';
    }
    return 0;
}

// The schema's fields are there: the queries look them up by name, and a stream without
// them would make every later query throw.
void CheckSchemaFields(LoadTable which, MemTable& table) {
    for (const FieldDef& f : LoadTableFields(which)) {
        if (table.FindField(f.name) == nullptr) {
            throw TableStreamError("The table stream has no field '" + f.name + "'");
        }
    }
}

void RunChecks(LoadTable which, MemTable& table, const TableStreamFormat& format,
               std::string_view text, const TableChecks& checks) {
    try {
        if (checks.strict) {
            CheckLoadedTable(which, table, format);
            if (which == LoadTable::KMTrain && checks.trainList) {
                if (const MemTable* list = checks.trainList()) {
                    CheckStopsInTrainList(table, const_cast<MemTable&>(*list));
                }
            }
        }
    } catch (const TableCheckError& e) {
        if (!e.Record()) throw;
        throw TableStreamError("line " +
                               std::to_string(LineOfRecord(text, format.headerLine, *e.Record())) +
                               ", field " + e.Field() + ": " + e.what());
    }
    if (checks.records && *checks.records != table.RecordCount()) {
        throw TableStreamError(std::to_string(table.RecordCount()) +
                               " records, the manifest says " + std::to_string(*checks.records));
    }
}

}  // namespace

std::uint32_t LoadTableFromBlob(LoadTable which, MemTable& table, TableStreamFormat& format,
                                const BlobSource& source, TableStreamHelper* helper,
                                const TableChecks* checks) {
    {
        // The inflated text is freed as soon as the table holds its records (and has passed
        // the checks, whose messages name its lines).
        const std::vector<unsigned char> bytes = source(LoadTableBlob(which));
        const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        LoadFromTableStream(table, text, &format, helper);
        CheckSchemaFields(which, table);
        if (checks != nullptr) RunChecks(which, table, format, text, *checks);
    }
    // The queries walk the table in its index's order; without it they would answer in the
    // wrong order, so it counts as a failed load.
    const std::string_view index = LoadTableIndex(which);
    if (!index.empty()) {
        if (table.IndexOrder(index) == nullptr) {
            throw TableStreamError("The table stream has no index '" + std::string(index) + "'");
        }
        table.SetIndexName(index);
    }
    table.First();
    return table.RecordCount();
}

void LoadTimetableFromBlobs(StoredTables& tables, const BlobSource& source, bool strict) {
    TableStreamFormat format;
    TableChecks checks;
    checks.strict = strict;
    checks.trainList = [&tables]() -> const MemTable* { return &tables.KMList; };
    LoadTableFromBlob(LoadTable::KMPy, tables.KMPy, format, source, nullptr, &checks);
    LoadTableFromBlob(LoadTable::KMList, tables.KMList, format, source, nullptr, &checks);
    LoadTableFromBlob(LoadTable::KMSM, tables.KMSM, format, source, nullptr, &checks);
    LoadTableFromBlob(LoadTable::KMTrain, tables.KMTrain, format, source, nullptr, &checks);
}

TimetableLoader::TimetableLoader(StoredTables& tables, LoadFlags& flags, Options options)
    : tables_(tables), flags_(flags), options_(std::move(options)) {
    if (!options_.source && !options_.folder.empty()) {
        folder_ = std::make_shared<const TimetableFolderSource>(options_.folder);
        options_.source = [folder = folder_](std::string_view blob) {
            for (LoadTable t :
                 {LoadTable::KMPy, LoadTable::KMList, LoadTable::KMSM, LoadTable::KMTrain}) {
                if (LoadTableBlob(t) == blob) return folder->Read(t);
            }
            throw BlobError("no timetable file for blob " + std::string(blob));
        };
        options_.strict = true;
    } else if (!options_.source) {
        options_.source = [](std::string_view name) { return ReadBlob(name); };
    }
}

TimetableLoader::~TimetableLoader() {
    Join();
}

void TimetableLoader::Start() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (started_) return;
        started_ = true;
    }
    // The big stop table gets a thread of its own so that the small tables are ready long
    // before it.
    load1_ = std::thread([this] { RunStops(); });
    load_ = std::thread([this] { RunOthers(); });
}

void TimetableLoader::Join() {
    if (load1_.joinable()) load1_.join();
    if (load_.joinable()) load_.join();
}

void TimetableLoader::RunStops() {
    // StationTablesLoader must learn that there is nothing more to help with, whatever happens
    // here.
    struct CloseHelper {
        TableStreamHelper& helper;
        ~CloseHelper() { helper.Close(); }
    } close{stopsHelper_};
    LoadOne(LoadTable::KMTrain, tables_.KMTrain, stopsReaderSettings_, &stopsHelper_);
}

void TimetableLoader::RunOthers() {
    // A failed table does not stop the ones after it: each reads its own blob.
    LoadOne(LoadTable::KMPy, tables_.KMPy, readerSettings_);
    LoadOne(LoadTable::KMList, tables_.KMList, readerSettings_);
    LoadOne(LoadTable::KMSM, tables_.KMSM, readerSettings_);
    // The small tables are done long before the stop table is inflated: help parse it.
    stopsHelper_.Serve();
}

void TimetableLoader::LoadOne(LoadTable which, MemTable& table, TableStreamFormat& format,
                              TableStreamHelper* helper) {
    std::atomic<int>& flag = flags_.For(which);
    flag.store(0, std::memory_order_release);
    const auto start = std::chrono::steady_clock::now();

    LoadEvent event;
    event.table = which;
    try {
        const TableChecks checks = ChecksFor(which);
        event.records = LoadTableFromBlob(which, table, format, options_.source, helper, &checks);
        event.ok = true;
        event.verified = checks.records.has_value();
    } catch (const std::exception& e) {
        event.error = e.what();
    } catch (...) {
        event.error = "unknown error";
    }
    if (!event.ok) {
        if (event.error.empty()) event.error = "unknown error";
        // A damaged file in a timetable folder is named, so that the user knows which one.
        event.error = NameTimetableFile(options_.folder, which, std::move(event.error));
        // Nothing may read a half-loaded table: leave it empty.
        table = MemTable();
        event.records = 0;
    }
    event.milliseconds =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();

    // Publish the finished table before anyone is told about it.
    if (event.ok) flag.store(1, std::memory_order_release);
    if (options_.onEvent) {
        try {
            options_.onEvent(event);
        } catch (...) {
            // A failing observer must not take the loader thread (and the process) down.
        }
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        finished_[Slot(which)] = true;
        errors_[Slot(which)] = event.error;
    }
    done_.notify_all();
}

TableChecks TimetableLoader::ChecksFor(LoadTable which) {
    TableChecks checks;
    checks.strict = options_.strict;
    if (folder_) checks.records = folder_->ManifestRecords(which);
    // The train list loads on the other thread, long before the stops are through.
    if (which == LoadTable::KMTrain) {
        checks.trainList = [this]() -> const MemTable* {
            return WaitFor(LoadTable::KMList) ? &tables_.KMList : nullptr;
        };
    }
    return checks;
}

bool TimetableLoader::WaitFor(LoadTable table) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!started_) return false;
    done_.wait(lock, [&] { return finished_[Slot(table)]; });
    lock.unlock();
    return flags_.Loaded(table);
}

bool TimetableLoader::Finished(LoadTable table) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return finished_[Slot(table)];
}

std::string TimetableLoader::Error(LoadTable table) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return errors_[Slot(table)];
}

}  // namespace korvel
