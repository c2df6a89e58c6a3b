#include "app/map_data.h"

#include <filesystem>

#include "data/manifest.h"
#include "data/regular_file.h"
#include "data/table_stream.h"
#include "resources/resources.h"

namespace korvel {
namespace {

// Whether the places match the folder's manifest where it lists them; what differs, else "".
// A manifest from before the places were listed vouches for nothing and refuses nothing.
std::string AgainstManifest(const std::string& folder, const std::vector<unsigned char>& bytes) {
    const auto path = std::filesystem::path(folder) / std::string(data::kManifestFileName);
    const auto text = ReadRegularFileIfPresent(path.string(), 64 * 1024);
    if (!text) return {};
    const data::ManifestParse parsed = data::ParseManifest(
        std::string_view(reinterpret_cast<const char*>(text->data()), text->size()));
    const data::ManifestEntry* entry = parsed.manifest ? parsed.manifest->Coords() : nullptr;
    if (entry == nullptr) return {};
    const std::string_view view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (bytes.size() != entry->bytes || data::Sha256Hex(view) != entry->sha256) {
        return "does not match the manifest";
    }
    return {};
}

}  // namespace

std::optional<StationCoords> LoadStationCoords(const BlobSource& source, const std::string& folder,
                                               std::string* error) {
    // Far more than the 2019 timetable's 120 KB; a bigger file is not ours.
    constexpr std::size_t kMaxBytes = 64u << 20;
    std::vector<unsigned char> bytes;
    try {
        if (source) {
            bytes = source("COORDS").ToVector();
        } else if (!folder.empty()) {
            const auto path = std::filesystem::path(folder) / std::string(data::kCoordsFileName);
            auto file = ReadRegularFileIfPresent(path.string(), kMaxBytes);
            if (!file) return std::nullopt;
            bytes = std::move(*file);
            if (const std::string bad = AgainstManifest(folder, bytes); !bad.empty()) {
                if (error) *error = path.string() + ": " + bad;
                return std::nullopt;
            }
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
