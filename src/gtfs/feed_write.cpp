// Feeds written whole or not at all, with the program's atomic file and folder writers.
#include "data/atomic_files.h"
#include "gtfs/feed_files.h"

namespace korvel::gtfs {

std::optional<std::string> WriteGtfsFeed(const std::string& path, const GtfsFeed& feed) {
    if (path.size() > 4 && path.ends_with(".zip")) {
        std::string why;
        const auto bytes = ZipGtfsFeed(feed, &why);
        if (!bytes) return "cannot make the zip archive " + path + ": " + why;
        if (const auto failed = data::WriteFileAtomically(path, *bytes)) {
            return "cannot write " + path + ": " + failed->Reason();
        }
        return std::nullopt;
    }
    data::FolderReplacement folder(path, IsGtfsFileName);
    if (auto failed = folder.Begin()) return failed;
    for (const auto& [name, text] : feed) {
        if (auto failed = folder.Add(name, text)) return failed;
    }
    return folder.Commit();
}

}  // namespace korvel::gtfs
