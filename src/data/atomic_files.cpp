#include "data/atomic_files.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <utility>

#include "data/decimal.h"

namespace korvel::data {
namespace {

namespace fs = std::filesystem;

std::string DirectoryOf(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// A rename is durable only once the folder holding it is flushed; 0 or the errno value. A
// folder that cannot be opened for reading is not flushed (it holds nothing to flush that a
// rename in it could not have made).
int SyncDirectory(const std::string& dir) {
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return 0;
    const int error = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    return error;
}

// Another run still working under this process id must keep its temporary folder.
bool ProcessAlive(long pid) {
    if (pid <= 0) return false;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

// Removes a path without following any link in or at it.
void RemoveTree(const std::string& path) {
    std::error_code ec;
    fs::remove_all(path, ec);
}

std::string Cannot(const char* what, const std::string& path, int error) {
    return std::string("cannot ") + what + " " + path + ": " + std::strerror(error);
}

// "TARGET.~PID-N": a temporary file of PendingFile. Those of processes that are gone (killed
// while writing) are removed before the next write of the same target, so that a kill in the
// middle leaves nothing behind for longer than until the next run.
void RemoveStaleTempFiles(const std::string& target) {
    const std::string dir = DirectoryOf(target);
    const std::size_t slash = target.find_last_of('/');
    const std::string prefix =
        (slash == std::string::npos ? target : target.substr(slash + 1)) + ".~";
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
        const std::string_view rest = std::string_view(name).substr(prefix.size());
        const std::size_t dash = rest.find('-');
        if (dash == std::string_view::npos) continue;
        const long pid = WholeInteger<long>(rest.substr(0, dash)).value_or(0);
        const std::string_view counter = rest.substr(dash + 1);
        if (pid <= 0 || counter.empty() ||
            counter.find_first_not_of("0123456789") != std::string_view::npos ||
            pid == static_cast<long>(::getpid()) || ProcessAlive(pid)) {
            continue;
        }
        struct stat st {};
        // Only what PendingFile makes: a regular file, never a folder or a link's target.
        if (::lstat(entry.path().c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
            ::unlink(entry.path().c_str());
        }
    }
}

}  // namespace

bool WriteAllBytes(int fd, std::string_view bytes, int* error) {
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            *error = errno;
            return false;
        }
        if (n == 0) {
            *error = EIO;
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

std::string FileWriteError::Reason() const {
    if (step == Step::NotRegular && code != EISDIR) return "Not a regular file";
    return std::strerror(code);
}

std::optional<std::string> ResolveFileLinks(std::string path, int* error) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
        ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
        if (n < 0) {
            *error = errno;
            return std::nullopt;
        }
        target.resize(static_cast<std::size_t>(n));
        path = (!target.empty() && target[0] == '/') ? target : DirectoryOf(path) + "/" + target;
    }
    *error = ELOOP;
    return std::nullopt;
}

// ---------------------------------------------------------------------------------------
// Single files

PendingFile::PendingFile(PendingFile&& other) noexcept
    : target_(std::move(other.target_)),
      temp_(std::exchange(other.temp_, {})),
      error_(std::move(other.error_)) {}

PendingFile& PendingFile::operator=(PendingFile&& other) noexcept {
    if (this != &other) {
        Discard();
        target_ = std::move(other.target_);
        temp_ = std::exchange(other.temp_, {});
        error_ = std::move(other.error_);
    }
    return *this;
}

PendingFile::~PendingFile() {
    Discard();
}

void PendingFile::Discard() {
    if (!temp_.empty()) ::unlink(temp_.c_str());
    temp_.clear();
}

PendingFile PendingFile::Prepare(const std::string& path, std::string_view bytes,
                                 std::optional<unsigned> mode) {
    static std::atomic<unsigned> counter{0};
    PendingFile p;
    auto fail = [&p](FileWriteError::Step step, int code) {
        p.Discard();
        p.error_ = FileWriteError{step, code};
        return std::move(p);
    };
    int error = 0;
    std::optional<std::string> resolved = ResolveFileLinks(path, &error);
    if (!resolved) return fail(FileWriteError::Step::Resolve, error);
    p.target_ = *resolved;

    // Replacing a device or a FIFO by a regular file would break whatever uses it, and
    // writing into one could block or reach hardware: only regular files are written.
    struct stat old {};
    const bool replacing = ::stat(p.target_.c_str(), &old) == 0;
    if (replacing && !S_ISREG(old.st_mode)) {
        return fail(FileWriteError::Step::NotRegular, S_ISDIR(old.st_mode) ? EISDIR : EINVAL);
    }

    RemoveStaleTempFiles(p.target_);
    // In the target's own folder, so that the rename stays on one file system and replaces
    // the old file in one step.
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        p.temp_ = p.target_ + ".~" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
        fd = ::open(p.temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    mode ? *mode & 07777 : 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        error = errno;
        p.temp_.clear();
        return fail(FileWriteError::Step::TempFile, error);
    }
    auto failOpen = [&](int code) {
        ::close(fd);
        return fail(FileWriteError::Step::Write, code);
    };
    if (replacing) {
        // The owner first (only root may give a file away), then the permissions, which a
        // change of owner may clear.
        if (::fchown(fd, old.st_uid, old.st_gid) != 0 && errno != EPERM) return failOpen(errno);
        if (!mode && ::fchmod(fd, old.st_mode & 07777) != 0) return failOpen(errno);
    }
    if (mode && ::fchmod(fd, *mode & 07777) != 0) return failOpen(errno);
    if (!WriteAllBytes(fd, bytes, &error)) return failOpen(error);
    if (::fsync(fd) != 0) return failOpen(errno);
    if (::close(fd) != 0) return fail(FileWriteError::Step::Write, errno);
    return p;
}

std::optional<FileWriteError> PendingFile::Commit() {
    if (error_) return error_;
    if (temp_.empty()) return FileWriteError{FileWriteError::Step::Rename, EINVAL};
    if (::rename(temp_.c_str(), target_.c_str()) != 0) {
        error_ = FileWriteError{FileWriteError::Step::Rename, errno};
        Discard();
        return error_;
    }
    temp_.clear();
    // The new contents are in place but may not survive a crash: the caller learns so (and
    // can undo what depends on them) rather than taking the write as done.
    if (const int error = SyncDirectory(DirectoryOf(target_)); error != 0) {
        error_ = FileWriteError{FileWriteError::Step::Rename, error};
        return error_;
    }
    return std::nullopt;
}

std::optional<FileWriteError> WriteFileAtomically(const std::string& path, std::string_view bytes,
                                                  std::optional<unsigned> mode) {
    PendingFile pending = PendingFile::Prepare(path, bytes, mode);
    if (pending.Error()) return pending.Error();
    return pending.Commit();
}

// ---------------------------------------------------------------------------------------
// Folders

FolderReplacement::FolderReplacement(std::string target, OwnFile ownFile)
    : target_(std::move(target)), ownFile_(std::move(ownFile)) {}

FolderReplacement::~FolderReplacement() {
    if (swapped_) {
        Finish();
    } else if (!committed_ && !staging_.empty()) {
        RemoveTree(staging_);
    }
}

std::string FolderReplacement::TempName(std::string_view kind, long pid) const {
    const fs::path t(target_);
    return (t.parent_path() / ("." + t.filename().string() + ".korvel-" + std::string(kind) + "-" +
                               std::to_string(pid)))
        .string();
}

// A run killed between its renames, or before removing its folders, leaves them beside the
// target: an old folder that was moved aside goes back when nothing took its place, and the
// rest is removed. Folders of runs still alive are left alone.
void FolderReplacement::CleanStale() {
    const fs::path t(target_);
    const std::string prefix = "." + t.filename().string() + ".korvel-";
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(t.parent_path(), ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(prefix, 0) != 0) continue;
        const std::string rest = name.substr(prefix.size());
        const std::size_t dash = rest.find('-');
        if (dash == std::string::npos) continue;
        const std::string kind = rest.substr(0, dash);
        const long pid = WholeInteger<long>(std::string_view(rest).substr(dash + 1)).value_or(0);
        if (pid <= 0 || pid == static_cast<long>(::getpid()) || ProcessAlive(pid)) continue;
        struct stat st {};
        if (kind == "old" && ::lstat(target_.c_str(), &st) != 0 && errno == ENOENT &&
            ::rename(entry.path().c_str(), target_.c_str()) == 0) {
            continue;
        }
        RemoveTree(entry.path().string());
    }
}

std::optional<std::string> FolderReplacement::CheckOldFolder() {
    std::error_code ec;
    fs::directory_iterator it(target_, ec);
    if (ec) return Cannot("read", target_, ec.value());
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        const fs::file_status st = it->symlink_status(ec);
        const std::string name = it->path().filename().string();
        if (ec || fs::is_directory(st) || !ownFile_ || !ownFile_(name)) {
            return "refusing to replace " + target_ + ": it holds \"" + name +
                   "\", which this program did not write";
        }
    }
    if (ec) return Cannot("read", target_, ec.value());
    return std::nullopt;
}

std::optional<std::string> FolderReplacement::Begin() {
    if (target_.empty()) return std::string("no folder named");
    int error = 0;
    std::error_code ec;
    fs::path t = fs::absolute(target_, ec).lexically_normal();
    if (ec) return Cannot("find", target_, ec.value());
    if (!t.has_filename()) t = t.parent_path();  // "out/" names the folder "out"
    std::optional<std::string> resolved = ResolveFileLinks(t.string(), &error);
    if (!resolved) return Cannot("follow", target_, error);
    t = fs::path(*resolved).lexically_normal();
    if (!t.has_filename()) t = t.parent_path();
    if (t.filename() == "." || t.filename() == ".." || t == t.root_path()) {
        return "cannot replace " + t.string() + ": not a folder of its own";
    }
    target_ = t.string();
    fs::create_directories(t.parent_path(), ec);
    if (ec) return Cannot("create", t.parent_path().string(), ec.value());

    CleanStale();
    struct stat st {};
    if (::lstat(target_.c_str(), &st) == 0) {
        if (!S_ISDIR(st.st_mode)) return "cannot replace " + target_ + ": not a folder";
        if (auto bad = CheckOldFolder()) return bad;
        exists_ = true;
        mode_ = st.st_mode & 07777;
    } else if (errno != ENOENT) {
        return Cannot("read", target_, errno);
    }
    const std::string staging = TempName("new", ::getpid());
    RemoveTree(staging);  // left by an earlier object of this very process
    if (::mkdir(staging.c_str(), 0777) != 0) return Cannot("create", staging, errno);
    staging_ = staging;
    if (exists_ && ::chmod(staging_.c_str(), mode_) != 0) return Cannot("create", staging_, errno);
    return std::nullopt;
}

std::optional<std::string> FolderReplacement::Add(std::string_view name, std::string_view bytes) {
    const std::string shown = target_ + "/" + std::string(name);
    if (staging_.empty() || committed_ || swapped_) return Cannot("write", shown, EBADF);
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string_view::npos) {
        return Cannot("write", shown, EINVAL);
    }
    const std::string path = staging_ + "/" + std::string(name);
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) return Cannot("write", shown, errno);
    int error = 0;
    if (!WriteAllBytes(fd, bytes, &error) || ::fsync(fd) != 0) {
        if (error == 0) error = errno;
        ::close(fd);
        return Cannot("write", shown, error);
    }
    if (::close(fd) != 0) return Cannot("write", shown, errno);
    return std::nullopt;
}

std::optional<std::string> FolderReplacement::Swap() {
    if (staging_.empty() || committed_ || swapped_) return Cannot("replace", target_, EBADF);
    if (const int error = SyncDirectory(staging_); error != 0) {
        return Cannot("write", target_, error);
    }
    if (!exists_) {
        if (::rename(staging_.c_str(), target_.c_str()) != 0) {
            return Cannot("create", target_, errno);
        }
    } else if (::renameat2(AT_FDCWD, staging_.c_str(), AT_FDCWD, target_.c_str(),
                           RENAME_EXCHANGE) == 0) {
        old_ = staging_;  // after an exchange the staging name holds the old folder
    } else {
        // File systems without an exchange: move the old folder aside first. A kill between
        // the two renames leaves it aside, and the next run puts it back.
        if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
            return Cannot("replace", target_, errno);
        }
        const std::string aside = TempName("old", ::getpid());
        if (::rename(target_.c_str(), aside.c_str()) != 0) return Cannot("replace", target_, errno);
        if (::rename(staging_.c_str(), target_.c_str()) != 0) {
            const int error = errno;
            ::rename(aside.c_str(), target_.c_str());
            return Cannot("replace", target_, error);
        }
        old_ = aside;
    }
    swapped_ = true;
    if (const int error = SyncDirectory(fs::path(target_).parent_path().string()); error != 0) {
        // Not known to last: the old folder goes back rather than a swap reported half-done.
        Undo();
        return Cannot("replace", target_, error);
    }
    return std::nullopt;
}

std::optional<std::string> FolderReplacement::Undo() {
    if (!swapped_) return Cannot("restore", target_, EBADF);
    int error = 0;
    if (old_.empty()) {
        if (::rename(target_.c_str(), staging_.c_str()) != 0) error = errno;
    } else if (old_ == staging_) {
        if (::renameat2(AT_FDCWD, staging_.c_str(), AT_FDCWD, target_.c_str(), RENAME_EXCHANGE) !=
            0) {
            error = errno;
        }
    } else if (::rename(target_.c_str(), staging_.c_str()) != 0 ||
               ::rename(old_.c_str(), target_.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) return Cannot("restore", target_, error);
    swapped_ = false;
    old_.clear();
    RemoveTree(staging_);  // the new folder, back under its staging name
    staging_.clear();
    if (const int e = SyncDirectory(fs::path(target_).parent_path().string()); e != 0) {
        return Cannot("restore", target_, e);
    }
    return std::nullopt;
}

void FolderReplacement::Finish() {
    if (!swapped_) return;
    if (!old_.empty()) RemoveTree(old_);
    swapped_ = false;
    committed_ = true;
}

std::optional<std::string> FolderReplacement::Commit() {
    if (auto failed = Swap()) return failed;
    Finish();
    return std::nullopt;
}

}  // namespace korvel::data
