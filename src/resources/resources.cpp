#include "resources/resources.h"

#include <cstddef>

namespace korvel {

// Defined in the table that korvel-blobpack generates.
extern const BlobResource kEmbeddedBlobs[];
extern const std::size_t kEmbeddedBlobCount;

std::span<const BlobResource> EmbeddedBlobs() {
    return {kEmbeddedBlobs, kEmbeddedBlobCount};
}

std::vector<unsigned char> ReadBlob(std::string_view name) {
    return ReadBlobFrom(kEmbeddedBlobs, kEmbeddedBlobCount, name);
}

}  // namespace korvel
