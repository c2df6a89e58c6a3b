// Writing files and folders so that a reader only ever sees the old contents whole or the new
// contents whole: a stop half-way (a kill, a full disk, a file-size limit) leaves the old ones.
//
// A single file is written to a temporary file beside it, flushed and renamed over it. A
// folder is written as a whole new folder beside it, flushed, and swapped in with one rename;
// the old folder is then removed. Both leave temporary names (".NAME.korvel-...") beside the
// target only while a run is in progress; those of a run that was killed are cleaned up by
// the next run on the same target. Every flush is checked: a write that may not survive a
// crash is reported as failed, never as done.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace korvel::data {

// Why a single-file write failed. `code` is an errno value; `step` tells what was being done,
// so that a caller can fall back (for instance when no temporary file can be made).
struct FileWriteError {
    enum class Step { Resolve, NotRegular, TempFile, Write, Rename };
    Step step = Step::Write;
    int code = 0;

    // "No such file or directory", "Not a regular file", ...
    std::string Reason() const;
};

// Writes all of `bytes` to `fd`, again after an interrupted or short write; false with the
// errno value in `*error` when the descriptor takes no more.
bool WriteAllBytes(int fd, std::string_view bytes, int* error);

// Follows symbolic links (also a link to a file that does not exist yet) to the path they
// finally name. Fails with ELOOP after as many links as the system itself follows.
std::optional<std::string> ResolveFileLinks(std::string path, int* error);

// A file written beside its target and not yet put in its place. Prepare() does everything
// that can fail for a reason of its own (the target is refused, no temporary file, a full
// disk); Commit() only renames. A PendingFile dropped without Commit() removes its temporary
// file, so the target is untouched.
class PendingFile {
  public:
    PendingFile() = default;
    PendingFile(PendingFile&& other) noexcept;
    PendingFile& operator=(PendingFile&& other) noexcept;
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;
    ~PendingFile();

    // Regular files only: a symbolic link is followed to the file it names (which is then
    // replaced and the link kept); a folder, device, FIFO or socket is refused untouched. A
    // replaced file keeps its owner where the system allows. Its permissions are `mode`
    // exactly when given (a secret key 0600, a launcher 0755; the temporary file is never
    // more open than that); otherwise a replaced file keeps its own and a new one gets 0666
    // less the umask.
    static PendingFile Prepare(const std::string& path, std::string_view bytes,
                               std::optional<unsigned> mode = std::nullopt);

    const std::optional<FileWriteError>& Error() const { return error_; }
    // The path written in the end, after links.
    const std::string& Target() const { return target_; }

    // Renames the written file over the target and makes that durable.
    std::optional<FileWriteError> Commit();

  private:
    void Discard();

    std::string target_;
    std::string temp_;
    std::optional<FileWriteError> error_;
};

// Prepare + Commit.
std::optional<FileWriteError> WriteFileAtomically(const std::string& path, std::string_view bytes,
                                                  std::optional<unsigned> mode = std::nullopt);

// A new folder written beside `target` and swapped in for it by Commit(). Until then the
// target is untouched; a FolderReplacement dropped without Commit() removes what it wrote.
//
// An existing target is replaced only when it is a folder holding nothing but files the
// caller names as its own (`ownFile`): a folder with anything else in it, or no folder at
// all, is refused, so a mistyped --out never removes someone's files. A target that is a
// symbolic link is followed to the folder it names (the link stays); links inside the old
// folder are removed as links, never followed.
class FolderReplacement {
  public:
    using OwnFile = std::function<bool(std::string_view name)>;

    FolderReplacement(std::string target, OwnFile ownFile);
    FolderReplacement(const FolderReplacement&) = delete;
    FolderReplacement& operator=(const FolderReplacement&) = delete;
    ~FolderReplacement();

    // Checks the target, cleans the temporary folders of runs that were killed, and makes the
    // new folder. Returns the error text (naming the path) on failure.
    std::optional<std::string> Begin();

    // Writes one file (a plain name, no '/') into the new folder, flushed to disk.
    std::optional<std::string> Add(std::string_view name, std::string_view bytes);

    // The new folder while it is being written (for writers that need a path).
    const std::string& StagingPath() const { return staging_; }
    // The folder replaced in the end, after links.
    const std::string& Target() const { return target_; }

    // Swaps the new folder in and removes the old one.
    std::optional<std::string> Commit();

    // Commit in two steps, for a caller with more to change after the swap that must stand or
    // fall with it: Swap() puts the new folder in place and keeps the old one aside; Undo()
    // puts the old one back (or no folder, when there was none) and drops the new one;
    // Finish() removes the old one. Dropped after Swap(), the replacement finishes.
    std::optional<std::string> Swap();
    std::optional<std::string> Undo();
    void Finish();

  private:
    std::optional<std::string> CheckOldFolder();
    void CleanStale();
    std::string TempName(std::string_view kind, long pid) const;

    std::string target_;
    OwnFile ownFile_;
    std::string staging_;
    bool exists_ = false;
    unsigned mode_ = 0;
    bool committed_ = false;
    bool swapped_ = false;
    std::string old_;  // where the old folder is between Swap() and Finish()
};

}  // namespace korvel::data
