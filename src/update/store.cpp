#include "update/store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "data/atomic_files.h"
#include "timetable/timetable_folder.h"
#include "update/names.h"

namespace korvel::update {
namespace fs = std::filesystem;
namespace {

constexpr const char* kChoiceFile = "choice.txt";
constexpr const char* kSequenceFile = "sequence.txt";
constexpr const char* kPackageInfo = "package.txt";

std::string ErrnoText(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// Writes all bytes and flushes them to the disk; "" or what failed.
std::string WriteAndSync(const std::string& path, const std::string& bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return ErrnoText(path);
    if (int code = 0; !data::WriteAllBytes(fd, bytes, &code)) {
        ::close(fd);
        return path + ": " + std::strerror(code);
    }
    if (::fsync(fd) != 0) {
        const std::string error = ErrnoText(path);
        ::close(fd);
        return error;
    }
    if (::close(fd) != 0) return ErrnoText(path);
    return {};
}

void SyncFolder(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

bool ParseSequence(std::string_view text, std::uint64_t& value) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
    if (text.empty() || text.size() > 19) return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

// "name NAME\nsequence N\n" of an installed folder; false when it is not that.
bool ReadPackageInfo(const std::string& folder, std::string& name, std::uint64_t& sequence) {
    std::string text;
    if (!ReadWholeFile(folder + "/" + kPackageInfo, text)) return false;
    const std::size_t nl = text.find('\n');
    if (text.rfind("name ", 0) != 0 || nl == std::string::npos) return false;
    name = text.substr(5, nl - 5);
    const std::string rest = text.substr(nl + 1);
    return IsPackageName(name) && rest.rfind("sequence ", 0) == 0 &&
           ParseSequence(std::string_view(rest).substr(9), sequence);
}

}  // namespace

std::string DefaultStoreRoot() {
    const char* data = std::getenv("XDG_DATA_HOME");
    // The XDG rules ignore a relative XDG_DATA_HOME.
    if (data && data[0] == '/') return std::string(data) + "/korvel/timetables";
    const char* home = std::getenv("HOME");
    return std::string(home && home[0] ? home : ".") + "/.local/share/korvel/timetables";
}

std::string FolderMatchesManifest(const std::string& folder) {
    std::string text;
    if (!ReadWholeFile(folder + "/" + std::string(data::kManifestFileName), text)) {
        return "manifest.txt: cannot read";
    }
    const data::ManifestParse parsed = data::ParseManifest(text);
    if (!parsed.manifest) return "manifest.txt: " + parsed.error;
    std::vector<PackageFile> files;
    for (const char* file : kStreamFiles) {
        PackageFile f{file, {}};
        if (!ReadWholeFile(folder + "/" + file, f.bytes))
            return std::string(file) + ": cannot read";
        files.push_back(std::move(f));
    }
    return CheckFilesAgainstManifest(*parsed.manifest, files);
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
        for (const char* prefix : {".download-", ".install-", ".old-", ".tmp-"}) {
            if (name.rfind(prefix, 0) == 0) fs::remove_all(entry.path(), ec);
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
        if (ReadWholeFile(t.folder + "/" + std::string(data::kManifestFileName), text)) {
            t.manifest = data::ParseManifest(text).manifest;
        }
        out.push_back(std::move(t));
    }
    std::sort(out.begin(), out.end(),
              [](const auto& a, const auto& b) { return a.sequence < b.sequence; });
    return out;
}

Choice Store::ReadChoice() const {
    Choice c;
    std::string text;
    if (!ReadWholeFile(root_ + "/" + kChoiceFile, text)) return c;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t nl = text.find('\n', at);
        const std::string line = text.substr(at, nl == std::string::npos ? nl : nl - at);
        at = nl == std::string::npos ? text.size() : nl + 1;
        if (line.rfind("use ", 0) == 0) {
            const std::string name = line.substr(4);
            c.use = IsPackageName(name) && name != "embedded" ? name : "";
        } else if (line.rfind("previous ", 0) == 0 && IsPackageName(line.substr(9))) {
            c.previous = line.substr(9);
        }
    }
    return c;
}

std::uint64_t Store::HighestSequence() const {
    std::uint64_t highest = 0;
    std::string text;
    if (ReadWholeFile(root_ + "/" + kSequenceFile, text)) ParseSequence(text, highest);
    return highest;
}

std::string Store::WriteFileAtomically(const std::string& name, const std::string& bytes) const {
    const std::string path = root_ + "/" + name;
    if (const auto failed = data::WriteFileAtomically(path, bytes)) {
        return path + ": " + failed->Reason();
    }
    return {};
}

std::string Store::WriteChoice(const Choice& choice) const {
    std::string text = "use " + (choice.use.empty() ? std::string("embedded") : choice.use) + "\n";
    if (!choice.previous.empty() && choice.previous != choice.use) {
        text += "previous " + choice.previous + "\n";
    }
    return WriteFileAtomically(kChoiceFile, text);
}

std::string Store::Install(const Package& package) const {
    if (!IsPackageName(package.name) || package.name == "embedded") {
        return "not a package name: \"" + PrintableName(package.name) + "\"";
    }
    const std::string pid = std::to_string(::getpid());
    const std::string work = root_ + "/.install-" + package.name + "-" + pid;
    std::error_code ec;
    fs::remove_all(work, ec);
    if (!fs::create_directory(work, ec)) return work + ": cannot create: " + ec.message();
    auto fail = [&](std::string error) {
        fs::remove_all(work, ec);
        return error;
    };
    for (const PackageFile& f : package.files) {
        if (std::string e = WriteAndSync(work + "/" + f.name, f.bytes); !e.empty()) return fail(e);
    }
    const std::string info =
        "name " + package.name + "\nsequence " + std::to_string(package.sequence) + "\n";
    if (std::string e = WriteAndSync(work + "/" + kPackageInfo, info); !e.empty()) return fail(e);
    SyncFolder(work);
    // Read back what reached the disk before anything points at it.
    if (std::string e = FolderMatchesManifest(work); !e.empty()) return fail(work + ": " + e);
    // A signed package may still hold tables the program cannot use (a publisher's builder
    // older or newer than this program): refused here rather than at the next start.
    if (const FolderLoad whole = korvel::VerifyTimetableFolder(work); !whole.ok) {
        return fail(whole.problems.empty() ? work + ": does not load" : whole.problems.front());
    }

    const std::string target = FolderOf(package.name);
    const std::string old = root_ + "/.old-" + package.name + "-" + pid;
    const bool replacing = fs::exists(target, ec);
    if (replacing && ::rename(target.c_str(), old.c_str()) != 0) return fail(ErrnoText(target));
    if (::rename(work.c_str(), target.c_str()) != 0) {
        const std::string error = ErrnoText(target);
        if (replacing) ::rename(old.c_str(), target.c_str());
        return fail(error);
    }
    SyncFolder(root_);
    fs::remove_all(old, ec);

    // The choice first, the sequence last: an install cut short between the two is simply
    // offered again by the next update, never taken as done while not in use.
    const Choice before = ReadChoice();
    Choice after{package.name, before.use == package.name ? before.previous : before.use};
    if (std::string e = WriteChoice(after); !e.empty()) return e;
    const std::uint64_t highest = std::max(HighestSequence(), package.sequence);
    return WriteFileAtomically(kSequenceFile, std::to_string(highest) + "\n");
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

StartupTimetable Store::ChooseStartup() const {
    const Choice choice = ReadChoice();
    StartupTimetable result;
    if (choice.use.empty()) return result;
    const std::string bad = FolderMatchesManifest(FolderOf(choice.use));
    if (bad.empty()) return {choice.use, FolderOf(choice.use), ""};
    result.rejected = choice.use;
    result.note = "installed timetable " + choice.use + " does not verify (" + bad + ")";
    if (!choice.previous.empty()) {
        const std::string badPrevious = FolderMatchesManifest(FolderOf(choice.previous));
        if (badPrevious.empty()) {
            result.name = choice.previous;
            result.folder = FolderOf(choice.previous);
            result.note += "; using the previous one, " + choice.previous;
            return result;
        }
        result.note +=
            "; the previous one, " + choice.previous + ", does not either (" + badPrevious + ")";
    }
    result.note += "; using the embedded timetable";
    return result;
}

}  // namespace korvel::update
