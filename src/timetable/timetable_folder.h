// A timetable folder as korvel-ttbuild writes it: the four table streams and, beside them,
// the manifest (data/manifest.h) that names each one's size, records and SHA-256. A folder
// with a manifest loads only when every file matches it; one without loads only after the
// checks of timetable_check.h, which every folder passes as well.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "data/manifest.h"
#include "data/schema.h"
#include "timetable/table_load.h"

namespace korvel {

class TimetableFolderSource {
  public:
    // Reads and parses the folder's manifest when there is one; never throws (an unusable
    // manifest makes every Read fail, naming it).
    explicit TimetableFolderSource(std::string folder);

    // The table's stream: a regular file of at most kMaxTimetableFileBytes, of the size and
    // SHA-256 the manifest gives. Its text is the checks' (CheckStreamForm refuses a NUL
    // byte, which the reader would take for a line break). Throws BlobError naming the file.
    std::vector<unsigned char> Read(LoadTable table) const;

    const std::string& Folder() const { return folder_; }
    bool HasManifest() const { return manifest_.has_value(); }
    const std::optional<data::Manifest>& GetManifest() const { return manifest_; }
    // The table's record count from the manifest; nothing without one.
    std::optional<std::uint64_t> ManifestRecords(LoadTable table) const;

  private:
    const data::ManifestEntry* EntryFor(LoadTable table) const;

    std::string folder_;
    std::optional<data::Manifest> manifest_;
    std::string manifestError_;  // "DIR/manifest.txt: why" when it is there but unusable
};

// A folder loaded or checked whole.
struct FolderLoad {
    bool ok = false;
    bool verified = false;              // it has a manifest and every file matched it
    std::vector<std::string> problems;  // one line each, naming the file (and line)
};

// The table's record count in `manifest`; nothing when it does not list the table's file.
std::optional<std::uint64_t> ManifestRecords(const data::Manifest& manifest, LoadTable table);

// Loads the four tables of `folder` from `source` (its streams, read already) into `tables`
// on the calling thread, with every check a folder's tables get; `manifest` is the folder's,
// when it has one, for the record counts each table must have. The problems name the files
// of `folder`. On failure the tables may be partly filled.
FolderLoad LoadTimetableStreams(const std::string& folder, const BlobSource& source,
                                const std::optional<data::Manifest>& manifest,
                                StoredTables& tables);

// Loads the folder's four tables into `tables` on the calling thread, with every check the
// start-up loaders make on a folder. On failure the tables may be partly filled.
FolderLoad LoadTimetableFolder(const std::string& folder, StoredTables& tables);

// Whether a folder would load, and what is wrong with it when not: for checking a timetable
// before it replaces the one in use.
FolderLoad VerifyTimetableFolder(const std::string& folder);

}  // namespace korvel
