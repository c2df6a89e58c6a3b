#include "resources/resources.h"

#include <cstddef>
#include <string>

namespace korvel {

// Defined in the table that korvel-blobpack generates.
extern const BlobResource kEmbeddedBlobs[];
extern const std::size_t kEmbeddedBlobCount;

std::string_view EmbeddedTimetableKind() {
    return KORVEL_EMBEDDED_TIMETABLE_KIND;
}

std::span<const BlobResource> EmbeddedBlobs() {
    return {kEmbeddedBlobs, kEmbeddedBlobCount};
}

std::vector<unsigned char> ReadBlob(std::string_view name) {
    return ReadBlobFrom(kEmbeddedBlobs, kEmbeddedBlobCount, name);
}

std::span<const unsigned char> CompressedBlob(std::string_view name) {
    const BlobResource* r = FindBlob(kEmbeddedBlobs, kEmbeddedBlobCount, name);
    if (r == nullptr) throw BlobError("Resource '" + std::string(name) + "' not found");
    if (!r->compressed) throw BlobError("Resource '" + std::string(name) + "' is not compressed");
    return {r->data, r->size};
}

std::string AboutPageText(std::span<const unsigned char> bytes) {
    std::size_t n = 0;
    while (n < bytes.size() && n < kAboutPageMaxBytes && bytes[n] != 0) ++n;
    return std::string(reinterpret_cast<const char*>(bytes.data()), n);
}

std::string ReadAboutPage() {
    return AboutPageText(ReadBlob("ABOUT"));
}

}  // namespace korvel
