#include "app/timetable_folder.h"

#include <cstring>
#include <exception>
#include <filesystem>

#include "data/regular_file.h"
#include "resources/resources.h"

namespace korvel {
using data::kManifestFileName;
using data::Manifest;
using data::ManifestEntry;
using data::ManifestParse;
using data::ParseManifest;
using data::Sha256Hex;

namespace {

constexpr std::size_t kMaxManifestBytes = 64 * 1024;

std::string PathIn(const std::string& folder, std::string_view name) {
    return (std::filesystem::path(folder) / std::string(name)).string();
}

// The manifest's totals are its files' record counts; a manifest where they differ was not
// written by the builder.
std::string CountsDisagree(const Manifest& m) {
    const std::pair<const char*, std::uint64_t> totals[] = {
        {"SLIST.stream", m.trains}, {"STRAIN.stream", m.stops}, {"SPY.stream", m.stations}};
    for (const auto& [file, count] : totals) {
        for (const ManifestEntry& e : m.files) {
            if (e.file == file && e.records != count) {
                return std::string("the totals disagree with the records of ") + file;
            }
        }
    }
    return {};
}

}  // namespace

TimetableFolderSource::TimetableFolderSource(std::string folder) : folder_(std::move(folder)) {
    const std::string path = PathIn(folder_, kManifestFileName);
    try {
        const auto bytes = ReadRegularFileIfPresent(path, kMaxManifestBytes);
        if (!bytes) return;
        const std::string_view text(reinterpret_cast<const char*>(bytes->data()), bytes->size());
        ManifestParse parsed = ParseManifest(text);
        if (!parsed.manifest) {
            manifestError_ = path + ": " + parsed.error;
        } else if (const std::string why = CountsDisagree(*parsed.manifest); !why.empty()) {
            manifestError_ = path + ": " + why;
        } else {
            manifest_ = std::move(parsed.manifest);
        }
    } catch (const std::exception& e) {
        manifestError_ = e.what();
    }
}

const ManifestEntry* TimetableFolderSource::EntryFor(LoadTable table) const {
    if (!manifest_) return nullptr;
    const std::string file = LoadTableFile(table);
    for (const ManifestEntry& e : manifest_->files) {
        if (e.file == file) return &e;
    }
    return nullptr;
}

std::optional<std::uint64_t> TimetableFolderSource::ManifestRecords(LoadTable table) const {
    const ManifestEntry* e = EntryFor(table);
    if (e == nullptr) return std::nullopt;
    return e->records;
}

std::vector<unsigned char> TimetableFolderSource::Read(LoadTable table) const {
    if (!manifestError_.empty()) throw BlobError(manifestError_);
    const std::string path = PathIn(folder_, LoadTableFile(table));
    std::vector<unsigned char> bytes;
    try {
        bytes = ReadRegularFile(path, kMaxTimetableFileBytes);
    } catch (const FileReadError& e) {
        throw BlobError(e.what());
    }
    // With a manifest, the size and the digest say all: nothing is parsed that differs.
    if (const ManifestEntry* e = EntryFor(table)) {
        if (bytes.size() != e->bytes) {
            throw BlobError(path + ": " + std::to_string(bytes.size()) +
                            " bytes, the manifest says " + std::to_string(e->bytes));
        }
        const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        if (Sha256Hex(text) != e->sha256) {
            throw BlobError(path + ": its SHA-256 differs from the manifest's");
        }
    }
    if (const void* nul = std::memchr(bytes.data(), 0, bytes.size())) {
        const auto at = static_cast<const unsigned char*>(nul) - bytes.data();
        throw BlobError(path + ": a NUL byte at offset " + std::to_string(at));
    }
    return bytes;
}

FolderLoad LoadTimetableFolder(const std::string& folder, StoredTables& tables) {
    FolderLoad result;
    const TimetableFolderSource source(folder);
    const std::pair<LoadTable, MemTable*> order[] = {{LoadTable::KMPy, &tables.KMPy},
                                                     {LoadTable::KMList, &tables.KMList},
                                                     {LoadTable::KMSM, &tables.KMSM},
                                                     {LoadTable::KMTrain, &tables.KMTrain}};
    bool listLoaded = false;
    for (const auto& [which, table] : order) {
        TableChecks checks;
        checks.strict = true;
        checks.records = source.ManifestRecords(which);
        checks.trainList = [&, list = &tables.KMList]() -> const MemTable* {
            return listLoaded ? list : nullptr;
        };
        TableStreamFormat format;
        const BlobSource read = [&source, file = which](std::string_view) {
            return source.Read(file);
        };
        try {
            LoadTableFromBlob(which, *table, format, read, nullptr, &checks);
            if (which == LoadTable::KMList) listLoaded = true;
        } catch (const std::exception& e) {
            std::string problem = NameTimetableFile(folder, which, e.what());
            // An unusable manifest fails every table alike: say so once.
            if (result.problems.empty() || result.problems.back() != problem) {
                result.problems.push_back(std::move(problem));
            }
        }
    }
    result.ok = result.problems.empty();
    result.verified = result.ok && source.HasManifest();
    return result;
}

JourneyOptions JourneyDefaultsOf(const std::optional<data::Manifest>& manifest) {
    JourneyOptions o;
    if (manifest) {
        o.minTransfer = manifest->minTransfer.value_or(o.minTransfer);
        o.cityTransfer = manifest->cityTransfer.value_or(o.cityTransfer);
    }
    return o;
}

FolderLoad VerifyTimetableFolder(const std::string& folder) {
    StoredTables tables;
    return LoadTimetableFolder(folder, tables);
}

}  // namespace korvel
