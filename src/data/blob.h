// Embedded data blobs: a 4-byte little-endian uncompressed length followed by a zlib stream,
// or (for uncompressed resources) the bytes themselves.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace korvel {

class BlobError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct BlobResource {
    std::string_view name;
    const unsigned char* data;
    std::size_t size;
    bool compressed;
};

// Inflates one compressed blob. Throws BlobError on a truncated header, a corrupt stream,
// inflated data longer or shorter than the declared length, or an implausible declared
// length (more than 1032 times the compressed size, or more than 256 MiB).
std::vector<unsigned char> InflateBlob(const unsigned char* data, std::size_t size);

// Finds `name` in `table` ignoring ASCII case and returns its bytes (inflated when
// compressed). Throws BlobError when missing or damaged.
std::vector<unsigned char> ReadBlobFrom(const BlobResource* table, std::size_t count,
                                        std::string_view name);

}  // namespace korvel
