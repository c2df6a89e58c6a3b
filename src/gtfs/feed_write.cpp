// Feeds written to disk. For now the files are written in place; they are to be written whole
// or not at all once the program's atomic file and folder writers are in.
#include <filesystem>
#include <fstream>

#include "gtfs/feed_files.h"

namespace korvel::gtfs {
namespace {

bool WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return static_cast<bool>(out);
}

}  // namespace

std::optional<std::string> WriteGtfsFeed(const std::string& path, const GtfsFeed& feed) {
    if (path.size() > 4 && path.ends_with(".zip")) {
        std::string why;
        const auto bytes = ZipGtfsFeed(feed, &why);
        if (!bytes) return "cannot make the zip archive " + path + ": " + why;
        if (!WriteBytes(path, *bytes)) return "cannot write " + path;
        return std::nullopt;
    }
    const std::filesystem::path dir(path);
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    for (const auto& [name, text] : feed) {
        if (!WriteBytes(dir / name, text)) return "cannot write " + (dir / name).string();
    }
    return std::nullopt;
}

}  // namespace korvel::gtfs
