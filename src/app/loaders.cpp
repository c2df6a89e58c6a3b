#include "app/loaders.h"

#include <chrono>
#include <exception>
#include <utility>

#include "data/blob.h"
#include "resources/resources.h"
#include "timetable/timetable_folder.h"

namespace korvel {
namespace {

std::size_t Slot(LoadTable table) {
    return static_cast<std::size_t>(table);
}

}  // namespace

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

TimetableLoader::TimetableLoader(StoredTables& tables, LoadFlags& flags, Options options)
    : tables_(tables), flags_(flags), options_(std::move(options)) {
    if (!options_.source && !options_.folder.empty()) {
        folder_ = std::make_shared<const TimetableFolderSource>(options_.folder);
        options_.source = FolderBlobSource(folder_);
        options_.strict = true;
    } else if (!options_.source) {
        options_.source = [](std::string_view name) { return ReadBlob(name); };
        if (!options_.compressed) options_.compressed = CompressedBlob;
    }
    stopsSource_ = options_.source;
    if (options_.compressed) {
        stopsSource_ = [this](std::string_view name) {
            const std::span<const unsigned char> packed = options_.compressed(name);
            return InflateBlob(packed.data(), packed.size(), stopsHelper_);
        };
    }
    if (options_.typed) readAlong_ = std::make_unique<TimetableReadAlong>();
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

std::shared_ptr<const Timetable> TimetableLoader::BuildTimetable() {
    std::shared_ptr<const Timetable> timetable;
    const bool all =
        WaitFor(LoadTable::KMPy) && WaitFor(LoadTable::KMList) && WaitFor(LoadTable::KMSM);
    try {
        if (all) timetable = std::make_shared<const Timetable>(tables_, *readAlong_, &stopsHelper_);
    } catch (...) {
        // Without it the window builds one itself.
    }
    readAlong_.reset();
    return timetable;
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
        if (options_.loaded) {
            table = std::move(TableOf(*options_.loaded, which));
            event.records = table.RecordCount();
        } else {
            // The typed timetable takes the stops over from the read-along: the stops table
            // makes its records only if something reads them after all.
            const bool readAlong = which == LoadTable::KMTrain && readAlong_;
            const RecordObservers observers =
                readAlong ? readAlong_->Observers() : RecordObservers();
            event.records = LoadTableFromBlob(which, table, format,
                                              helper != nullptr ? stopsSource_ : options_.source,
                                              helper, &checks, observers, readAlong);
        }
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
    // Read before the list is published: the stops thread takes these over once it sees it.
    if (event.ok && which == LoadTable::KMList && readAlong_) {
        try {
            readAlong_->ReadListRows(table);
        } catch (...) {
            // The timetable reads the list itself.
        }
    }
    if (event.ok && which == LoadTable::KMTrain && options_.typed) {
        event.timetable = BuildTimetable();
    }

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
    // The other tables load on the other thread, long before the stops are through.
    if (which == LoadTable::KMTrain) {
        checks.otherTable = [this](LoadTable other) -> MemTable* {
            return WaitFor(other) ? &TableOf(tables_, other) : nullptr;
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

std::string LoadFailureText(const LoadEvent& event) {
    // 时刻表加载失败:
    return "\xCA\xB1\xBF\xCC\xB1\xED\xBC\xD3\xD4\xD8\xCA\xA7\xB0\xDC:" +
           std::string(LoadTableName(event.table)) + " " + event.error;
}

}  // namespace korvel
