#include "data/blob.h"

#include <zlib.h>
#ifdef KORVEL_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif

#include <algorithm>
#include <atomic>
#include <exception>
#include <memory>
#include <string>

#include "data/huge_pages.h"
#include "data/memtable.h"
#include "data/table_stream.h"

namespace korvel {
namespace {

// Deflate cannot expand data by more than about 1032:1, so a larger declared length means
// a damaged header; refuse it before allocating.
constexpr std::uint64_t kMaxRatio = 1032;
constexpr std::uint64_t kMaxInflated = 256ull << 20;
// A reader of plain blobs only takes a chunked blob's magic for an implausible length.
static_assert(kChunkedBlobMagic > kMaxInflated);
constexpr std::size_t kPlainHeaderBytes = 4;
constexpr std::size_t kChunkedHeaderBytes = 12;
constexpr std::size_t kChunkEntryBytes = 8;

std::uint32_t ReadLe32(const unsigned char* p) {
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
           (std::uint32_t{p[3]} << 24);
}

void WriteLe32(unsigned char* p, std::uint64_t value) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(value >> (8 * i));
}

class Inflater {
  public:
    Inflater() {
        if (inflateInit(&z_) != Z_OK) throw BlobError("Cannot initialise zlib");
    }
    ~Inflater() { inflateEnd(&z_); }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;
    z_stream* operator->() { return &z_; }
    z_stream* get() { return &z_; }

  private:
    z_stream z_{};
};

#ifdef KORVEL_HAVE_LIBDEFLATE
// libdeflate inflates a whole zlib stream into a buffer of known size two to three times
// faster than zlib. Only a complete, exact success is taken from it; anything else goes
// through zlib below, which gives the precise diagnosis.
bool FastInflate(const unsigned char* in, std::size_t inBytes, unsigned char* out,
                 std::size_t outBytes) {
    struct Free {
        void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
    };
    thread_local std::unique_ptr<libdeflate_decompressor, Free> d(libdeflate_alloc_decompressor());
    if (!d || outBytes == 0) return false;
    std::size_t usedIn = 0;
    std::size_t produced = 0;
    const libdeflate_result rc =
        libdeflate_zlib_decompress_ex(d.get(), in, inBytes, out, outBytes, &usedIn, &produced);
    return rc == LIBDEFLATE_SUCCESS && produced == outBytes && usedIn == inBytes;
}
#endif

// Inflates stream `index` of the blob into its place in `out`, or throws the error that
// names what is wrong with it.
void InflateStream(const unsigned char* blob, const BlobLayout& layout, std::size_t index,
                   unsigned char* out) {
    const BlobStream& s = layout.streams[index];
    const unsigned char* in = blob + s.packedOffset;
    unsigned char* to = out + s.inflatedOffset;
#ifdef KORVEL_HAVE_LIBDEFLATE
    if (FastInflate(in, s.packedBytes, to, s.inflatedBytes)) return;
#endif
    // The plain form's one stream is "the blob"; a chunk is named by its place.
    const std::string chunk =
        "Blob chunk " + std::to_string(index + 1) + " of " + std::to_string(layout.streams.size());
    const std::string whole = layout.chunked ? chunk : "Blob";
    const std::string stream = layout.chunked ? chunk : "Blob stream";

    Inflater z;
    z->next_in = const_cast<unsigned char*>(in);
    z->avail_in = static_cast<uInt>(s.packedBytes);
    z->next_out = to;
    z->avail_out = static_cast<uInt>(s.inflatedBytes);
    int rc = Z_OK;
    while (rc == Z_OK && z->avail_out > 0) rc = inflate(z.get(), Z_NO_FLUSH);
    if (rc == Z_OK) {
        // The buffer is full; the stream must end here without producing more bytes.
        unsigned char extra = 0;
        z->next_out = &extra;
        z->avail_out = 1;
        rc = inflate(z.get(), Z_NO_FLUSH);
        if (z->avail_out == 0)
            throw BlobError(whole + " inflates to more than its declared length");
    }
    if (rc == Z_BUF_ERROR) throw BlobError(stream + " is truncated");
    if (rc != Z_STREAM_END) {
        throw BlobError(stream + " is corrupt: " +
                        (z->msg != nullptr ? z->msg : "error " + std::to_string(rc)));
    }
    if (z->total_out != s.inflatedBytes) {
        throw BlobError(whole + " inflates to " + std::to_string(z->total_out) +
                        " bytes, fewer than its declared " + std::to_string(s.inflatedBytes));
    }
    if (z->avail_in != 0) {
        throw BlobError(stream + " has " + std::to_string(z->avail_in) +
                        " trailing bytes after its end");
    }
}

std::vector<unsigned char> InflatedBuffer(std::size_t bytes) {
    std::vector<unsigned char> out;
    out.reserve(bytes);
    AdviseHugePages(out.data(), out.capacity());
    out.resize(bytes);
    return out;
}

// Appends `bytes` as one zlib stream at the best level; returns its packed length.
std::size_t AppendDeflated(const unsigned char* bytes, std::size_t size,
                           std::vector<unsigned char>& out) {
    const std::size_t at = out.size();
    uLongf bound = compressBound(static_cast<uLong>(size));
    out.resize(at + bound);
    const int rc =
        compress2(out.data() + at, &bound, bytes, static_cast<uLong>(size), Z_BEST_COMPRESSION);
    if (rc != Z_OK) throw BlobError("zlib compress2 failed with " + std::to_string(rc));
    out.resize(at + bound);
    return bound;
}

std::string Implausible(const std::string& what, std::uint64_t declared, std::uint64_t packed) {
    return what + " declares an implausible length of " + std::to_string(declared) + " bytes for " +
           std::to_string(packed) + " compressed bytes";
}

}  // namespace

std::size_t BlobChunkBytesFor(std::size_t inflatedBytes) {
    return inflatedBytes > kBlobChunkingAbove ? kBlobChunkBytes : 0;
}

std::vector<unsigned char> DeflateBlob(std::span<const unsigned char> bytes,
                                       std::size_t chunkBytes) {
    if (bytes.size() > 0xFFFFFFFFu) throw BlobError("Too large for a blob's 32-bit length");
    std::vector<unsigned char> out;
    if (chunkBytes == 0 || bytes.size() <= chunkBytes) {
        out.resize(kPlainHeaderBytes);
        WriteLe32(out.data(), bytes.size());
        AppendDeflated(bytes.data(), bytes.size(), out);
        return out;
    }
    const std::size_t count = (bytes.size() + chunkBytes - 1) / chunkBytes;
    if (count > (0xFFFFFFFFu - kChunkedHeaderBytes) / kChunkEntryBytes) {
        throw BlobError("Too many chunks for a blob");
    }
    const std::size_t tableBytes = kChunkedHeaderBytes + count * kChunkEntryBytes;
    out.resize(tableBytes);
    WriteLe32(out.data(), kChunkedBlobMagic);
    WriteLe32(out.data() + 4, bytes.size());
    WriteLe32(out.data() + 8, count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t begin = i * chunkBytes;
        const std::size_t length = std::min(chunkBytes, bytes.size() - begin);
        const std::size_t packed = AppendDeflated(bytes.data() + begin, length, out);
        unsigned char* entry = out.data() + kChunkedHeaderBytes + i * kChunkEntryBytes;
        WriteLe32(entry, length);
        WriteLe32(entry + 4, packed);
    }
    return out;
}

BlobLayout ReadBlobLayout(const unsigned char* data, std::size_t size) {
    if (data == nullptr || size < kPlainHeaderBytes) throw BlobError("Blob header is truncated");
    BlobLayout layout;
    const std::uint64_t first = ReadLe32(data);
    if (first != kChunkedBlobMagic) {
        const std::uint64_t packed = size - kPlainHeaderBytes;
        if (first > kMaxInflated || first > packed * kMaxRatio) {
            throw BlobError(Implausible("Blob", first, packed));
        }
        layout.inflatedBytes = static_cast<std::size_t>(first);
        layout.streams.push_back({kPlainHeaderBytes, static_cast<std::size_t>(packed), 0,
                                  static_cast<std::size_t>(first)});
        return layout;
    }

    layout.chunked = true;
    if (size < kChunkedHeaderBytes) throw BlobError("Chunked blob header is truncated");
    const std::uint64_t total = ReadLe32(data + 4);
    const std::uint64_t count = ReadLe32(data + 8);
    if (count > (size - kChunkedHeaderBytes) / kChunkEntryBytes) {
        throw BlobError("Chunked blob's table of " + std::to_string(count) +
                        " chunks is truncated");
    }
    const std::size_t chunksAt = kChunkedHeaderBytes + count * kChunkEntryBytes;
    const std::uint64_t packedTotal = size - chunksAt;
    if (total > kMaxInflated || total > packedTotal * kMaxRatio) {
        throw BlobError(Implausible("Chunked blob", total, packedTotal));
    }
    layout.inflatedBytes = static_cast<std::size_t>(total);
    layout.streams.reserve(count);
    std::uint64_t inflatedAt = 0;
    std::uint64_t packedAt = chunksAt;
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned char* entry = data + kChunkedHeaderBytes + i * kChunkEntryBytes;
        const std::uint64_t inflated = ReadLe32(entry);
        const std::uint64_t packed = ReadLe32(entry + 4);
        const std::string chunk =
            "Blob chunk " + std::to_string(i + 1) + " of " + std::to_string(count);
        if (inflated > packed * kMaxRatio) throw BlobError(Implausible(chunk, inflated, packed));
        if (inflated > total - inflatedAt) {
            throw BlobError("Blob chunks 1 to " + std::to_string(i + 1) +
                            " inflate to more than the declared total of " + std::to_string(total) +
                            " bytes");
        }
        if (packed > size - packedAt) {
            throw BlobError(chunk + " is truncated: " + std::to_string(packed) +
                            " packed bytes declared, " + std::to_string(size - packedAt) +
                            " left in the blob");
        }
        layout.streams.push_back(
            {static_cast<std::size_t>(packedAt), static_cast<std::size_t>(packed),
             static_cast<std::size_t>(inflatedAt), static_cast<std::size_t>(inflated)});
        inflatedAt += inflated;
        packedAt += packed;
    }
    if (inflatedAt != total) {
        throw BlobError("Blob chunks inflate to " + std::to_string(inflatedAt) +
                        " bytes, fewer than the declared total of " + std::to_string(total));
    }
    if (packedAt != size) {
        throw BlobError("Chunked blob has " + std::to_string(size - packedAt) +
                        " trailing bytes after its last chunk");
    }
    return layout;
}

std::vector<unsigned char> InflateBlob(const unsigned char* data, std::size_t size) {
    const BlobLayout layout = ReadBlobLayout(data, size);
    std::vector<unsigned char> out = InflatedBuffer(layout.inflatedBytes);
    for (std::size_t i = 0; i < layout.streams.size(); ++i) {
        InflateStream(data, layout, i, out.data());
    }
    return out;
}

BlobBytes::BlobBytes(BlobBytes&& other) noexcept
    : vector_(std::move(other.vector_)),
      buffer_(std::exchange(other.buffer_, nullptr)),
      size_(std::exchange(other.size_, 0)) {}

BlobBytes& BlobBytes::operator=(BlobBytes&& other) noexcept {
    std::swap(vector_, other.vector_);
    std::swap(buffer_, other.buffer_);
    std::swap(size_, other.size_);
    return *this;
}

BlobBytes::~BlobBytes() {
    FreeBuffer(buffer_, size_);
}

BlobBytes BlobBytes::Unfilled(std::size_t size) {
    BlobBytes bytes;
    if (size == 0) return bytes;
    bytes.buffer_ = static_cast<unsigned char*>(AllocateBuffer(size));
    bytes.size_ = size;
    return bytes;
}

std::vector<unsigned char> BlobBytes::ToVector() && {
    if (buffer_ == nullptr) return std::move(vector_);
    return std::vector<unsigned char>(buffer_, buffer_ + size_);
}

BlobBytes InflateBlob(const unsigned char* data, std::size_t size, TableStreamHelper& helper) {
    const BlobLayout layout = ReadBlobLayout(data, size);
    const std::size_t count = layout.streams.size();
    if (count < 2) return InflateBlob(data, size);
    // Each chunk's pages are first touched by the thread that inflates into them.
    BlobBytes out = BlobBytes::Unfilled(layout.inflatedBytes);

    // Both threads take the next chunk from one counter, in order. Once a chunk has failed
    // no later chunk is started; every earlier one was taken before it and is finished by
    // the time the helper's job is back, so the first failing chunk is the one a single
    // thread would have reported.
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    std::vector<std::exception_ptr> errors(count);
    auto take = [&]() noexcept {
        while (!failed.load(std::memory_order_relaxed)) {
            const std::size_t i = next.fetch_add(1, std::memory_order_relaxed);
            if (i >= count) return;
            try {
                InflateStream(data, layout, i, out.data());
            } catch (...) {
                errors[i] = std::current_exception();
                failed.store(true, std::memory_order_relaxed);
            }
        }
    };
    helper.Offer(take);
    take();
    helper.TakeBack();
    for (const std::exception_ptr& e : errors) {
        if (e) std::rethrow_exception(e);
    }
    return out;
}

const BlobResource* FindBlob(const BlobResource* table, std::size_t count, std::string_view name) {
    for (std::size_t i = 0; i < count && table != nullptr; ++i) {
        if (AsciiIEquals(table[i].name, name)) return &table[i];
    }
    return nullptr;
}

std::vector<unsigned char> ReadBlobFrom(const BlobResource* table, std::size_t count,
                                        std::string_view name) {
    const BlobResource* r = FindBlob(table, count, name);
    if (r == nullptr) throw BlobError("Resource '" + std::string(name) + "' not found");
    if (r->compressed) return InflateBlob(r->data, r->size);
    return std::vector<unsigned char>(r->data, r->data + r->size);
}

}  // namespace korvel
