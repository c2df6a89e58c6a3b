#include "update/store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "data/atomic_files.h"
#include "data/blob.h"
#include "data/decimal.h"
#include "data/gbk.h"
#include "data/regular_file.h"
#include "timetable/timetable_folder.h"
#include "update/catalogue.h"
#include "update/names.h"

namespace korvel::update {
namespace fs = std::filesystem;
namespace {

constexpr const char* kChoiceFile = "choice.txt";
constexpr const char* kSequenceFile = "sequence.txt";
constexpr const char* kCatalogueTimeFile = "catalogue.txt";
constexpr const char* kPackageInfo = "package.txt";
// choice.txt, sequence.txt, catalogue.txt, package.txt and a manifest are a few dozen lines.
constexpr std::size_t kMaxStoreFileBytes = 64 << 10;

std::string ErrnoText(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// A sequence number as the store writes it, on a line of its own.
std::optional<std::uint64_t> SequenceLine(std::string_view text) {
    if (text.ends_with('\n')) text.remove_suffix(1);
    return CanonicalCount<std::uint64_t>(text);
}

std::string ChoiceText(const Choice& choice) {
    std::string text = "use " + (choice.use.empty() ? std::string("embedded") : choice.use) + "\n";
    if (!choice.previous.empty() && choice.previous != choice.use) {
        text += "previous " + choice.previous + "\n";
    }
    return text;
}

// "name NAME\nsequence N\n" of an installed folder; false when it is not that.
bool ReadPackageInfo(const std::string& folder, std::string& name, std::uint64_t& sequence) {
    std::string text;
    if (!ReadWholeFile(folder + "/" + kPackageInfo, text, kMaxStoreFileBytes)) return false;
    const std::size_t nl = text.find('\n');
    if (text.rfind("name ", 0) != 0 || nl == std::string::npos) return false;
    name = text.substr(5, nl - 5);
    const std::string rest = text.substr(nl + 1);
    if (!IsPackageName(name) || rest.rfind("sequence ", 0) != 0) return false;
    const auto number = SequenceLine(std::string_view(rest).substr(9));
    if (number) sequence = *number;
    return number.has_value();
}

Choice ParseChoice(std::string_view text) {
    Choice c;
    while (!text.empty()) {
        const std::size_t nl = text.find('\n');
        const std::string line(text.substr(0, nl));
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        if (line.rfind("use ", 0) == 0) {
            const std::string name = line.substr(4);
            c.use = IsPackageName(name) && name != "embedded" ? name : "";
        } else if (line.rfind("previous ", 0) == 0 && IsPackageName(line.substr(9))) {
            c.previous = line.substr(9);
        }
    }
    return c;
}

// "NAME: why" for a problem with the file PATH (whose last part is NAME): the folder is
// named once by whoever reports it, not in every line.
std::string Shortened(const std::string& path, const std::string& name, std::string problem) {
    if (problem.rfind(path, 0) == 0) return name + problem.substr(path.size());
    return problem;
}

// The whole file NAME of `folder`, or "NAME: why not" in `why`.
std::optional<std::string> ReadFolderFile(const std::string& folder, const std::string& name,
                                          std::size_t maxBytes, std::string& why) {
    const std::string path = folder + "/" + name;
    try {
        return ReadRegularFileString(path, maxBytes);
    } catch (const FileReadError& e) {
        why = Shortened(path, name, e.what());
        return std::nullopt;
    }
}

// The files of an installed folder; the folder replacement removes nothing else.
bool IsInstalledFile(std::string_view name) {
    if (name == kPackageInfo || name == data::kManifestFileName || name == data::kCoordsFileName) {
        return true;
    }
    for (const char* file : kStreamFiles) {
        if (name == file) return true;
    }
    return false;
}

// A change of one of the store's own files that an install makes and may have to take back.
// Prepare() writes both the new contents and the old ones beside the file, so that neither
// the change nor taking it back needs disk space: only renames are left.
class FileChange {
  public:
    std::string Prepare(const std::string& path, const std::string& after) {
        path_ = path;
        try {
            const auto before = ReadRegularFileIfPresent(path, kMaxStoreFileBytes);
            if (before) {
                back_ = data::PendingFile::Prepare(
                    path, std::string_view(reinterpret_cast<const char*>(before->data()),
                                           before->size()));
                if (back_->Error()) return Failed(*back_->Error());
            }
        } catch (const FileReadError& e) {
            return e.what();
        }
        change_ = data::PendingFile::Prepare(path, after);
        if (change_.Error()) return Failed(*change_.Error());
        return {};
    }

    std::string Commit() {
        if (const auto failed = change_.Commit()) return Failed(*failed);
        return {};
    }

    // The old contents back, or no file when there was none. Also after a Commit() that
    // failed: its rename may have happened before the flush that failed.
    std::string Undo() {
        if (back_) {
            if (const auto failed = back_->Commit()) return Failed(*failed);
        } else if (::unlink(path_.c_str()) != 0 && errno != ENOENT) {
            return ErrnoText(path_);
        }
        return {};
    }

  private:
    std::string Failed(const data::FileWriteError& error) const {
        return path_ + ": " + error.Reason();
    }

    std::string path_;
    data::PendingFile change_;
    std::optional<data::PendingFile> back_;  // nothing when there was no file
};

}  // namespace

std::string DefaultStoreRoot() {
    const char* data = std::getenv("XDG_DATA_HOME");
    // The XDG rules ignore a relative XDG_DATA_HOME.
    if (data && data[0] == '/') return std::string(data) + "/korvel/timetables";
    const char* home = std::getenv("HOME");
    return std::string(home && home[0] ? home : ".") + "/.local/share/korvel/timetables";
}

namespace {

// The files of an installed folder, each read once, bounded and only as a regular file, and
// checked against its manifest: "" or the first problem, naming the file.
std::string ReadInstalledFolder(const std::string& folder, data::Manifest& manifest,
                                std::vector<PackageFile>& files) {
    std::string why;
    const std::string manifestName(data::kManifestFileName);
    const auto text = ReadFolderFile(folder, manifestName, kMaxStoreFileBytes, why);
    if (!text) return why;
    data::ManifestParse parsed = data::ParseManifest(*text);
    if (!parsed.manifest) return manifestName + ": " + parsed.error;
    manifest = std::move(*parsed.manifest);
    for (const char* file : kStreamFiles) {
        auto bytes = ReadFolderFile(folder, file, kMaxTimetableFileBytes, why);
        if (!bytes) return why;
        files.push_back({file, std::move(*bytes)});
    }
    if (manifest.Coords()) {
        const std::string name(data::kCoordsFileName);
        auto bytes = ReadFolderFile(folder, name, kMaxTimetableFileBytes, why);
        if (!bytes) return why;
        files.push_back({name, std::move(*bytes)});
    }
    return CheckFilesAgainstManifest(manifest, files);
}

}  // namespace

std::string FolderMatchesManifest(const std::string& folder) {
    data::Manifest manifest;
    std::vector<PackageFile> files;
    return ReadInstalledFolder(folder, manifest, files);
}

std::string InstalledFolderProblem(const std::string& folder) {
    StoredTables tables;
    return LoadInstalledFolder(folder, tables);
}

std::string LoadInstalledFolder(const std::string& folder, StoredTables& tables) {
    tables = StoredTables();
    data::Manifest manifest;
    std::vector<PackageFile> files;
    if (std::string bad = ReadInstalledFolder(folder, manifest, files); !bad.empty()) return bad;
    // Its files are the ones its manifest names, but a program newer than the one that
    // installed it may check the tables more strictly, and a manifest may have been rewritten
    // to match damaged streams. The tables are loaded from the bytes just read and checked.
    const BlobSource source = [&files](std::string_view blob) {
        for (LoadTable t :
             {LoadTable::KMPy, LoadTable::KMList, LoadTable::KMSM, LoadTable::KMTrain}) {
            if (LoadTableBlob(t) != blob) continue;
            for (PackageFile& f : files) {
                if (f.name != LoadTableFile(t)) continue;
                // Each stream is asked for once: hand its bytes over.
                std::vector<unsigned char> bytes(f.bytes.begin(), f.bytes.end());
                f.bytes = std::string();
                return bytes;
            }
        }
        throw BlobError("no timetable file for blob " + std::string(blob));
    };
    const FolderLoad whole = korvel::LoadTimetableStreams(folder, source, manifest, tables);
    if (whole.ok) return {};
    tables = StoredTables();  // nothing half-loaded
    if (whole.problems.empty()) return "does not load";
    const std::string prefix = (fs::path(folder) / "").string();
    const std::string& first = whole.problems.front();
    return first.rfind(prefix, 0) == 0 ? first.substr(prefix.size()) : first;
}

Store::Store(std::string root) : root_(std::move(root)) {}

std::string Store::FolderOf(const std::string& name) const {
    return root_ + "/" + name;
}

Store::Lock::~Lock() {
    if (fd_ >= 0) ::close(fd_);  // closing the descriptor drops the flock
}

std::optional<Store::Lock> Store::TryLock(std::string& error) const {
    std::error_code ec;
    fs::create_directories(root_, ec);
    if (ec) {
        error = root_ + ": cannot create the folder: " + ec.message();
        return std::nullopt;
    }
    const std::string path = root_ + "/.lock";
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = ErrnoText(path);
        return std::nullopt;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error = errno == EWOULDBLOCK
                    ? "another timetable update is running (" + path + " is locked)"
                    : ErrnoText(path);
        ::close(fd);
        return std::nullopt;
    }
    return Lock(fd);
}

void Store::SweepWorkFiles() const {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(root_, ec)) {
        const std::string name = entry.path().filename().string();
        // The folder replacement's own work names, ".NAME.korvel-new-PID" and the like, of a
        // killed install: the lock says that no install is running now.
        const bool replacing = name.front() == '.' && name.find(".korvel-") != std::string::npos;
        for (const char* prefix : {".download-", ".install-", ".old-", ".tmp-"}) {
            if (replacing || name.rfind(prefix, 0) == 0) fs::remove_all(entry.path(), ec);
        }
    }
}

std::vector<InstalledTimetable> Store::List() const {
    std::vector<InstalledTimetable> out;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(root_, ec)) {
        const std::string dirName = entry.path().filename().string();
        InstalledTimetable t;
        if (!IsPackageName(dirName) || !entry.is_directory(ec) ||
            !ReadPackageInfo(entry.path().string(), t.name, t.sequence) || t.name != dirName) {
            continue;
        }
        t.folder = entry.path().string();
        std::string text;
        if (ReadWholeFile(t.folder + "/" + std::string(data::kManifestFileName), text,
                          kMaxStoreFileBytes)) {
            t.manifest = data::ParseManifest(text).manifest;
        }
        out.push_back(std::move(t));
    }
    std::sort(out.begin(), out.end(),
              [](const auto& a, const auto& b) { return a.sequence < b.sequence; });
    return out;
}

Choice Store::ReadChoice() const {
    std::string text;
    if (!ReadWholeFile(root_ + "/" + kChoiceFile, text, kMaxStoreFileBytes)) return {};
    return ParseChoice(text);
}

std::uint64_t Store::HighestSequence() const {
    std::string text;
    if (!ReadWholeFile(root_ + "/" + kSequenceFile, text, kMaxStoreFileBytes)) return 0;
    return SequenceLine(text).value_or(0);
}

std::time_t Store::NewestCatalogueTime() const {
    std::string text;
    if (!ReadWholeFile(root_ + "/" + kCatalogueTimeFile, text, kMaxStoreFileBytes) ||
        text.rfind("published ", 0) != 0 || text.back() != '\n') {
        return 0;
    }
    text.pop_back();
    return ParseUtcTime(std::string_view(text).substr(10)).value_or(0);
}

std::string Store::NoteCatalogueTime(std::time_t published) const {
    if (published <= NewestCatalogueTime()) return {};
    return ReplaceStoreFile(kCatalogueTimeFile, "published " + FormatUtcTime(published) + "\n");
}

std::string Store::ReplaceStoreFile(const std::string& name, const std::string& bytes) const {
    const std::string path = root_ + "/" + name;
    if (const auto failed = data::WriteFileAtomically(path, bytes)) {
        return path + ": " + failed->Reason();
    }
    return {};
}

std::string Store::WriteChoice(const Choice& choice) const {
    return ReplaceStoreFile(kChoiceFile, ChoiceText(choice));
}

std::string Store::Install(const Package& package) const {
    if (!IsPackageName(package.name) || package.name == "embedded") {
        return "not a package name: \"" + PrintableName(package.name) + "\"";
    }
    data::FolderReplacement folder(FolderOf(package.name), IsInstalledFile);
    if (auto failed = folder.Begin()) return *failed;
    for (const PackageFile& f : package.files) {
        if (auto failed = folder.Add(f.name, f.bytes)) return *failed;
    }
    const std::string info =
        "name " + package.name + "\nsequence " + std::to_string(package.sequence) + "\n";
    if (auto failed = folder.Add(kPackageInfo, info)) return *failed;
    const std::string work = folder.StagingPath();
    // Read back what reached the disk before anything points at it.
    if (std::string e = FolderMatchesManifest(work); !e.empty()) return work + ": " + e;
    // A signed package may still hold tables the program cannot use (a publisher's builder
    // older or newer than this program): refused here rather than at the next start.
    if (const FolderLoad whole = korvel::VerifyTimetableFolder(work); !whole.ok) {
        return whole.problems.empty() ? work + ": does not load" : whole.problems.front();
    }

    // All or nothing: everything that needs disk space is written first, then three renames
    // (the folder, the choice, the sequence), each taken back when a later one fails. The
    // choice before the sequence: a kill between the two leaves the install to be offered
    // again by the next update, never taken as done while not in use.
    const Choice before = ReadChoice();
    const Choice after{package.name, before.use == package.name ? before.previous : before.use};
    const std::uint64_t highest = std::max(HighestSequence(), package.sequence);
    FileChange choice, sequence;
    if (std::string e = choice.Prepare(root_ + "/" + kChoiceFile, ChoiceText(after)); !e.empty()) {
        return e;
    }
    if (std::string e =
            sequence.Prepare(root_ + "/" + kSequenceFile, std::to_string(highest) + "\n");
        !e.empty()) {
        return e;
    }
    if (auto failed = folder.Swap()) return *failed;
    std::string error = choice.Commit();
    std::string undone;
    if (error.empty()) {
        error = sequence.Commit();
        if (!error.empty()) undone = sequence.Undo();
    }
    if (error.empty()) return {};
    for (std::string e : {choice.Undo(), folder.Undo().value_or("")}) {
        if (undone.empty()) undone = std::move(e);
    }
    return undone.empty() ? error : error + "; the store could not be put back: " + undone;
}

std::string Store::Remove(const std::string& name) const {
    if (!IsPackageName(name)) return "not a package name: \"" + PrintableName(name) + "\"";
    const Choice choice = ReadChoice();
    if (choice.use == name) {
        return name + " is the timetable in use; choose another first (timetables use ...)";
    }
    std::error_code ec;
    const std::string target = FolderOf(name);
    if (!fs::is_directory(target, ec)) return name + ": no such installed timetable";
    // Renamed away first, so that a removal cut short leaves a work folder, not half a
    // timetable under its name.
    const std::string old = root_ + "/.old-" + name + "-" + std::to_string(::getpid());
    if (::rename(target.c_str(), old.c_str()) != 0) return ErrnoText(target);
    fs::remove_all(old, ec);
    if (choice.previous == name) {
        return WriteChoice({choice.use, ""});
    }
    return {};
}

StartupTimetable Store::ChooseStartup(StoredTables* tables) const {
    StartupTimetable result;
    Choice choice;
    try {
        const auto text =
            ReadRegularFileStringIfPresent(root_ + "/" + kChoiceFile, kMaxStoreFileBytes);
        if (!text) return result;
        choice = ParseChoice(*text);
    } catch (const FileReadError& e) {
        result.why = Shortened(root_ + "/" + kChoiceFile, kChoiceFile, e.what());
        result.note = "the choice of timetable cannot be read (" + result.why +
                      "); using the embedded timetable";
        return result;
    }
    if (choice.use.empty()) return result;
    StoredTables own;  // without `tables`: loaded only to be checked
    StoredTables& into = tables != nullptr ? *tables : own;
    result.why = LoadInstalledFolder(FolderOf(choice.use), into);
    if (result.why.empty()) return {choice.use, FolderOf(choice.use), "", "", ""};
    result.rejected = choice.use;
    result.note = "installed timetable " + choice.use + " cannot be used (" + result.why + ")";
    if (!choice.previous.empty()) {
        const std::string badPrevious = LoadInstalledFolder(FolderOf(choice.previous), into);
        if (badPrevious.empty()) {
            result.name = choice.previous;
            result.folder = FolderOf(choice.previous);
            result.note += "; using the previous one, " + choice.previous;
            return result;
        }
        result.note += "; the previous one, " + choice.previous + ", cannot be used either (" +
                       badPrevious + ")";
    }
    result.note += "; using the embedded timetable";
    return result;
}

std::string StartupStatusNote(const StartupTimetable& start) {
    if (start.note.empty()) return {};
    const std::string instead =
        start.name.empty() ? std::string("内置时刻表") : "时刻表 " + start.name;
    const std::string what = start.rejected.empty() ? std::string("时刻表选择无法读取")
                                                    : "时刻表 " + start.rejected + " 无法使用";
    return Utf8ToGbk("已改用" + instead + "：" + what + "（" + start.why + "）");
}

}  // namespace korvel::update
