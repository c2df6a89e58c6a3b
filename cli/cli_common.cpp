#include <chrono>
#include <memory>
#include <mutex>
#include <ostream>
#include <utility>

#include "cli/commands.h"
#include "data/gbk.h"

namespace korvel::cli {

namespace {
std::string& FolderSetting() {
    static std::string folder;
    return folder;
}
std::shared_ptr<StoredTables>& LoadedTables() {
    static std::shared_ptr<StoredTables> tables;
    return tables;
}
}  // namespace

void UseTimetableFolder(const std::string& folder, std::shared_ptr<StoredTables> tables) {
    FolderSetting() = folder;
    LoadedTables() = std::move(tables);
}

std::shared_ptr<StoredTables> TakeTimetableTables() {
    return std::exchange(LoadedTables(), nullptr);
}

const std::string& TimetableFolder() {
    return FolderSetting();
}

TimetableLoad LoadTimetable(StoredTables& tables, LoadFlags& flags, const BlobSource& source) {
    TimetableLoad result;
    std::mutex eventsMutex;
    const auto start = std::chrono::steady_clock::now();
    {
        TimetableLoader::Options options;
        options.source = source;
        if (!source) {
            options.folder = TimetableFolder();
            if (!options.folder.empty()) options.loaded = TakeTimetableTables();
        }
        options.onEvent = [&](const LoadEvent& e) {
            std::lock_guard<std::mutex> lock(eventsMutex);
            result.events.push_back(e);
        };
        TimetableLoader loader(tables, flags, std::move(options));
        loader.Start();
        loader.Join();
    }
    result.totalMilliseconds =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    result.ok = result.events.size() == 4;
    for (const LoadEvent& e : result.events) {
        result.ok = result.ok && e.ok;
        if (e.timetable) result.timetable = e.timetable;
    }
    return result;
}

bool LoadTimetableOrReport(StoredTables& tables, LoadFlags& flags, std::ostream& err,
                           const BlobSource& source) {
    const TimetableLoad load = LoadTimetable(tables, flags, source);
    for (const LoadEvent& e : load.events) {
        if (!e.ok)
            err << "korvel-cli: cannot load " << LoadTableName(e.table) << ": " << e.error << "\n";
    }
    return load.ok;
}

std::string ToUtf8(std::string_view gbk) {
    return GbkToUtf8(gbk);
}
std::string ToGbk(std::string_view utf8) {
    return Utf8ToGbk(utf8);
}

}  // namespace korvel::cli
