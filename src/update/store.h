// The installed timetables of one user, under $XDG_DATA_HOME/korvel/timetables
// (~/.local/share/korvel/timetables without it):
//
//   NAME/          one installed timetable: manifest.txt, the four streams, package.txt
//                  ("name NAME\nsequence N\n")
//   choice.txt     "use NAME\n" or "use embedded\n", then "previous NAME\n" when the one in
//                  use before the last switch was an installed timetable
//   sequence.txt   the highest package sequence ever installed, so that a removed timetable
//                  cannot come back through an older catalogue; written last by an install
//   catalogue.txt  "published TIME\n": the publication time of the newest catalogue seen, so
//                  that an older one replayed is refused
//   .lock          held (flock) by whoever changes the store; the kernel drops it when the
//                  holder dies, so a killed update never blocks the next one
//   .download-*, .old-*, .NAME.korvel-*
//                  work files of an update; the next holder of the lock removes any left by a
//                  killed one (choice.txt and sequence.txt are replaced through
//                  data/atomic_files.h, which cleans up its own temporary files)
//
// Every change is written beside its target and renamed over it, so a reader sees either the
// old or the new state, never half of one. An install is all or nothing: when any of its
// steps fails (a full disk, a failing flush) the store is put back as it was.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "data/schema.h"
#include "update/package.h"

namespace korvel::update {

// The store's folder from the environment (not created).
std::string DefaultStoreRoot();

// Empty when `folder` holds a manifest and four streams that match it, else what does not.
// Quick enough for every start: an installed folder had every other check of a timetable
// folder before it was installed, and the loaders make them again as it loads.
std::string FolderMatchesManifest(const std::string& folder);

// Empty when an installed folder can be used: it matches its manifest and its tables pass
// every check the loaders make; else the first problem, naming the file ("SLIST.stream: not a
// regular file"). Every file is read once, bounded and only when it is a regular file, so a
// FIFO, a folder or a device in place of one is a problem, never a wait.
std::string InstalledFolderProblem(const std::string& folder);
// The same, leaving the tables of a folder that can be used loaded in `tables` (and those of
// one that cannot, empty).
std::string LoadInstalledFolder(const std::string& folder, StoredTables& tables);

struct InstalledTimetable {
    std::string name;
    std::uint64_t sequence = 0;
    std::string folder;
    std::optional<data::Manifest> manifest;  // empty when manifest.txt is unreadable
};

struct Choice {
    std::string use;       // a name, or "" for the embedded timetable
    std::string previous;  // "" when none
};

// Where the program starts and why.
struct StartupTimetable {
    std::string name;      // "" for the embedded timetable
    std::string folder;    // "" for the embedded timetable
    std::string note;      // why the chosen one is not used (English, UTF-8), "" when it is
    std::string rejected;  // the chosen installed timetable that cannot be used, "" for none
    std::string why;       // its first problem, or choice.txt's, naming the file ("" for none)
};

// The status bar's line (GBK) for a start-up that did not get the chosen timetable, what it
// means first: "已改用时刻表 PREVIOUS：时刻表 NAME 无法使用（why）" or "已改用内置时刻表：…";
// "" when it did.
std::string StartupStatusNote(const StartupTimetable& start);

class Store {
  public:
    explicit Store(std::string root);

    const std::string& Root() const { return root_; }
    std::string FolderOf(const std::string& name) const;

    // An exclusive hold of the store; released by the destructor (or by the process dying).
    class Lock {
      public:
        explicit Lock(int fd) : fd_(fd) {}
        Lock(Lock&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
        Lock& operator=(Lock&&) = delete;
        ~Lock();

      private:
        int fd_;
    };
    // Creates the store's folder when needed. nullopt with `error` set when another process
    // holds the lock or the folder cannot be made.
    std::optional<Lock> TryLock(std::string& error) const;
    // Removes work files left by a killed update (call while holding the lock).
    void SweepWorkFiles() const;

    std::vector<InstalledTimetable> List() const;
    // The choice as written; an unreadable choice.txt reads as the embedded timetable (the
    // start-up says why, see ChooseStartup).
    Choice ReadChoice() const;
    std::uint64_t HighestSequence() const;
    // When the newest catalogue seen was published; 0 before any.
    std::time_t NewestCatalogueTime() const;

    // Each returns "" on success, else what failed; on failure the store is as it was.
    std::string WriteChoice(const Choice& choice) const;
    // Remembers `published` when it is newer than the newest catalogue seen (hold the lock).
    std::string NoteCatalogueTime(std::time_t published) const;
    // Unpacks `package` into NAME/ (replacing an older NAME), raises the highest sequence and
    // makes it the timetable in use, the one in use before becoming the previous.
    std::string Install(const Package& package) const;
    // Removes NAME; refused for the timetable in use.
    std::string Remove(const std::string& name) const;

    // The chosen timetable when it can be used (InstalledFolderProblem), else the previous
    // one, else the embedded one, with the reason in `note`. Reads each candidate's tables
    // once; with `tables`, the one settled on is left loaded and checked there (nothing for
    // the embedded one), for the start-up loaders to take over instead of reading it again.
    StartupTimetable ChooseStartup(StoredTables* tables = nullptr) const;

  private:
    // One of the store's own small files (the choice, the highest sequence, the catalogue's
    // time) replaced whole; "" or what failed.
    std::string ReplaceStoreFile(const std::string& name, const std::string& bytes) const;
    std::string root_;
};

}  // namespace korvel::update
