#include "app/map_data.h"

#include <filesystem>

#include "data/regular_file.h"
#include "data/table_stream.h"
#include "resources/resources.h"

namespace korvel {

std::optional<StationCoords> LoadStationCoords(const BlobSource& source, const std::string& folder,
                                               std::string* error) {
    // Far more than the 2019 timetable's 120 KB; a bigger file is not ours.
    constexpr std::size_t kMaxBytes = 64u << 20;
    std::vector<unsigned char> bytes;
    try {
        if (source) {
            bytes = source("COORDS");
        } else if (!folder.empty()) {
            const auto path = std::filesystem::path(folder) / "COORDS.stream";
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

}  // namespace korvel
