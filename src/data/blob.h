// Embedded data blobs: compressed blobs in one of two forms, or (for uncompressed resources)
// the bytes themselves.
//
// A plain compressed blob is a 4-byte little-endian inflated length followed by one zlib
// stream. A chunked one holds its inflated bytes as independent zlib streams, so that two
// threads can inflate it at once:
//
//   4 bytes  kChunkedBlobMagic (its little-endian value is larger than any length a plain
//            blob may declare, so a reader that knows only the plain form refuses it)
//   4 bytes  total inflated length (LE)
//   4 bytes  chunk count N (LE)
//   N times  4 bytes inflated length, 4 bytes packed length (LE)
//   the N packed chunks, one after the other, each a complete zlib stream
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string_view>
#include <utility>
#include <vector>

namespace korvel {

class TableStreamHelper;  // data/table_stream.h

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

// "KVZC" as the first four bytes of a chunked blob.
inline constexpr std::uint32_t kChunkedBlobMagic = 0x435A564Bu;

// What the packers store: inputs larger than kBlobChunkingAbove bytes are chunked, the rest
// is one zlib stream (small blobs gain nothing from a second thread).
inline constexpr std::size_t kBlobChunkingAbove = std::size_t{1} << 20;
inline constexpr std::size_t kBlobChunkBytes = std::size_t{512} << 10;

// The chunk size DeflateBlob is given for `inflatedBytes` of input: 0 (one stream) up to
// kBlobChunkingAbove, kBlobChunkBytes above it.
std::size_t BlobChunkBytesFor(std::size_t inflatedBytes);

// Compresses `bytes` at zlib's best level: the plain form when chunkBytes is 0 or the bytes
// fit in one chunk, else the chunked form with chunks of chunkBytes (the last one shorter).
// Throws BlobError when the bytes are too many for the 32-bit lengths.
std::vector<unsigned char> DeflateBlob(std::span<const unsigned char> bytes,
                                       std::size_t chunkBytes);

// One zlib stream of a compressed blob and where its bytes go.
struct BlobStream {
    std::size_t packedOffset = 0;  // in the blob
    std::size_t packedBytes = 0;
    std::size_t inflatedOffset = 0;  // in the inflated bytes
    std::size_t inflatedBytes = 0;
};

struct BlobLayout {
    bool chunked = false;
    std::size_t inflatedBytes = 0;
    std::vector<BlobStream> streams;  // in order; one for the plain form
};

// Reads a compressed blob's header (either form) without inflating anything. Throws
// BlobError on a truncated header or chunk table, an implausible length (more than 1032
// times the packed bytes, in total or for a chunk, or more than 256 MiB in total), chunk
// lengths that do not add up to the total, and packed chunks that end before or after the
// blob does.
BlobLayout ReadBlobLayout(const unsigned char* data, std::size_t size);

// Inflates one compressed blob of either form. Throws BlobError on anything ReadBlobLayout
// refuses, and on a stream that is corrupt, truncated, inflates to more or fewer bytes than
// declared, or is followed by bytes it does not use; an error in a chunk names the chunk.
std::vector<unsigned char> InflateBlob(const unsigned char* data, std::size_t size);

// A blob's bytes as a source hands them over: either a vector's, or a buffer of its own that
// was filled once and never zeroed first. Zeroing a big stop table's buffer before inflating
// into it was a serial pass over tens of megabytes at start-up, most of it page faults.
class BlobBytes {
  public:
    BlobBytes() = default;
    BlobBytes(std::vector<unsigned char> bytes) noexcept  // NOLINT: any vector is a blob's bytes
        : vector_(std::move(bytes)) {}
    BlobBytes(BlobBytes&& other) noexcept;
    BlobBytes& operator=(BlobBytes&& other) noexcept;
    BlobBytes(const BlobBytes&) = delete;
    BlobBytes& operator=(const BlobBytes&) = delete;
    ~BlobBytes();

    // `size` bytes of unspecified value, for the caller to fill.
    static BlobBytes Unfilled(std::size_t size);

    const unsigned char* data() const { return buffer_ != nullptr ? buffer_ : vector_.data(); }
    unsigned char* data() { return buffer_ != nullptr ? buffer_ : vector_.data(); }
    std::size_t size() const { return buffer_ != nullptr ? size_ : vector_.size(); }
    bool empty() const { return size() == 0; }
    const unsigned char* begin() const { return data(); }
    const unsigned char* end() const { return data() + size(); }
    std::vector<unsigned char> ToVector() &&;

  private:
    std::vector<unsigned char> vector_;
    unsigned char* buffer_ = nullptr;  // AllocateBuffer's, when not the vector
    std::size_t size_ = 0;
};

// The same, with `helper`'s thread taking chunks of a chunked blob while the calling thread
// takes them too (see TableStreamHelper: the job is offered, then taken back). The bytes, and
// the error when there is one, are those of InflateBlob: the first failing chunk's.
BlobBytes InflateBlob(const unsigned char* data, std::size_t size, TableStreamHelper& helper);

// The entry of `table` named `name` ignoring ASCII case; nullptr when there is none.
const BlobResource* FindBlob(const BlobResource* table, std::size_t count, std::string_view name);

// Finds `name` in `table` ignoring ASCII case and returns its bytes (inflated when
// compressed). Throws BlobError when missing or damaged.
std::vector<unsigned char> ReadBlobFrom(const BlobResource* table, std::size_t count,
                                        std::string_view name);

}  // namespace korvel
