#include "data/blob.h"

#include <zlib.h>
#ifdef KORVEL_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif

#include <cstdint>
#include <memory>
#include <string>

#include "data/huge_pages.h"
#include "data/memtable.h"

namespace korvel {
namespace {

// Deflate cannot expand data by more than about 1032:1, so a larger declared length means
// a damaged header; refuse it before allocating.
constexpr std::uint64_t kMaxRatio = 1032;
constexpr std::uint64_t kMaxInflated = 256ull << 20;

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
bool FastInflate(const unsigned char* in, std::size_t inBytes, std::vector<unsigned char>& out) {
    struct Free {
        void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
    };
    thread_local std::unique_ptr<libdeflate_decompressor, Free> d(libdeflate_alloc_decompressor());
    if (!d || out.empty()) return false;
    std::size_t usedIn = 0;
    std::size_t produced = 0;
    const libdeflate_result rc = libdeflate_zlib_decompress_ex(d.get(), in, inBytes, out.data(),
                                                               out.size(), &usedIn, &produced);
    return rc == LIBDEFLATE_SUCCESS && produced == out.size();
}
#endif

}  // namespace

std::vector<unsigned char> InflateBlob(const unsigned char* data, std::size_t size) {
    if (data == nullptr || size < 4) throw BlobError("Blob header is truncated");
    const std::uint64_t declared = std::uint64_t{data[0]} | (std::uint64_t{data[1]} << 8) |
                                   (std::uint64_t{data[2]} << 16) | (std::uint64_t{data[3]} << 24);
    const std::uint64_t packed = size - 4;
    if (declared > kMaxInflated || declared > packed * kMaxRatio) {
        throw BlobError("Blob declares an implausible length of " + std::to_string(declared) +
                        " bytes for " + std::to_string(packed) + " compressed bytes");
    }
    std::vector<unsigned char> out;
    out.reserve(static_cast<std::size_t>(declared));
    AdviseHugePages(out.data(), out.capacity());
    out.resize(static_cast<std::size_t>(declared));
#ifdef KORVEL_HAVE_LIBDEFLATE
    if (FastInflate(data + 4, static_cast<std::size_t>(packed), out)) return out;
#endif

    Inflater z;
    z->next_in = const_cast<unsigned char*>(data + 4);
    z->avail_in = static_cast<uInt>(packed);
    z->next_out = out.data();
    z->avail_out = static_cast<uInt>(out.size());
    int rc = Z_OK;
    while (rc == Z_OK && z->avail_out > 0) rc = inflate(z.get(), Z_NO_FLUSH);
    if (rc == Z_OK) {
        // The buffer is full; the stream must end here without producing more bytes.
        unsigned char extra = 0;
        z->next_out = &extra;
        z->avail_out = 1;
        rc = inflate(z.get(), Z_NO_FLUSH);
        if (z->avail_out == 0) throw BlobError("Blob inflates to more than its declared length");
    }
    if (rc == Z_BUF_ERROR) throw BlobError("Blob stream is truncated");
    if (rc != Z_STREAM_END) {
        throw BlobError(std::string("Blob stream is corrupt: ") +
                        (z->msg != nullptr ? z->msg : "error " + std::to_string(rc)));
    }
    if (z->total_out != declared) {
        throw BlobError("Blob inflates to " + std::to_string(z->total_out) +
                        " bytes, fewer than its declared " + std::to_string(declared));
    }
    return out;
}

std::vector<unsigned char> ReadBlobFrom(const BlobResource* table, std::size_t count,
                                        std::string_view name) {
    for (std::size_t i = 0; i < count && table != nullptr; ++i) {
        const BlobResource& r = table[i];
        if (!AsciiIEquals(r.name, name)) continue;
        if (r.compressed) return InflateBlob(r.data, r.size);
        return std::vector<unsigned char>(r.data, r.data + r.size);
    }
    throw BlobError("Resource '" + std::string(name) + "' not found");
}

}  // namespace korvel
