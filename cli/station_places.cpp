// The stations' places for the commands that draw or export them: COORDS beside the loaded
// timetable's streams (the embedded blob, the injected source's, or the folder's file).
#include <filesystem>

#include "cli/commands.h"
#include "data/blob.h"
#include "data/regular_file.h"
#include "data/table_stream.h"
#include "resources/resources.h"

namespace korvel::cli {

std::optional<StationCoords> LoadStationCoords(const BlobSource& source, std::string* error) {
    // Far more than the 2019 timetable's 120 KB; a bigger file is not ours.
    constexpr std::size_t kMaxBytes = 64u << 20;
    std::vector<unsigned char> bytes;
    try {
        if (source) {
            bytes = source("COORDS");
        } else if (!TimetableFolder().empty()) {
            const auto path = std::filesystem::path(TimetableFolder()) / "COORDS.stream";
            auto file = ReadRegularFileIfPresent(path.string(), kMaxBytes);
            if (!file) return std::nullopt;
            bytes = std::move(*file);
        } else {
            bytes = ReadBlob("COORDS");
        }
    } catch (const std::exception&) {
        // No stream: a timetable without places, which is not an error.
        return std::nullopt;
    }
    try {
        return ReadCoordsStream(
            std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    } catch (const std::exception& e) {
        if (error) *error = std::string("COORDS: ") + e.what();
        return std::nullopt;
    }
}

}  // namespace korvel::cli
