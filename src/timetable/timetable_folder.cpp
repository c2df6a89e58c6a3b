#include "timetable/timetable_folder.h"

#include <array>
#include <exception>
#include <filesystem>
#include <memory>

#include "data/blob.h"
#include "data/regular_file.h"

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
    if (!manifest_) return std::nullopt;
    return korvel::ManifestRecords(*manifest_, table);
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
    return bytes;
}

std::optional<std::uint64_t> ManifestRecords(const Manifest& manifest, LoadTable table) {
    const std::string file = LoadTableFile(table);
    for (const ManifestEntry& e : manifest.files) {
        if (e.file == file) return e.records;
    }
    return std::nullopt;
}

FolderLoad LoadTimetableStreams(const std::string& folder, const BlobSource& source,
                                const std::optional<Manifest>& manifest, StoredTables& tables) {
    FolderLoad result;
    std::array<bool, 4> loaded{};
    for (LoadTable which :
         {LoadTable::KMPy, LoadTable::KMList, LoadTable::KMSM, LoadTable::KMTrain}) {
        TableChecks checks;
        checks.strict = true;
        if (manifest) checks.records = ManifestRecords(*manifest, which);
        checks.otherTable = [&](LoadTable other) -> MemTable* {
            return loaded[static_cast<std::size_t>(other)] ? &TableOf(tables, other) : nullptr;
        };
        TableStreamFormat format;
        try {
            LoadTableFromBlob(which, TableOf(tables, which), format, source, nullptr, &checks);
            loaded[static_cast<std::size_t>(which)] = true;
        } catch (const std::exception& e) {
            std::string problem = NameTimetableFile(folder, which, e.what());
            // An unusable manifest fails every table alike: say so once.
            if (result.problems.empty() || result.problems.back() != problem) {
                result.problems.push_back(std::move(problem));
            }
        }
    }
    result.ok = result.problems.empty();
    result.verified = result.ok && manifest.has_value();
    return result;
}

FolderLoad LoadTimetableFolder(const std::string& folder, StoredTables& tables) {
    auto source = std::make_shared<const TimetableFolderSource>(folder);
    return LoadTimetableStreams(folder, FolderBlobSource(source), source->GetManifest(), tables);
}

FolderLoad VerifyTimetableFolder(const std::string& folder) {
    StoredTables tables;
    return LoadTimetableFolder(folder, tables);
}

}  // namespace korvel
