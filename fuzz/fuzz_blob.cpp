// Blob inflation over arbitrary bytes: InflateBlob either returns exactly the declared number
// of bytes (plain or chunked) or throws BlobError; ReadBlobFrom finds resources by name in any
// case; and any payload packed the way the blob packer packs it, in one stream or in chunks,
// comes back unchanged.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "data/blob.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

std::uint32_t Declared(const std::uint8_t* data) {
    return std::uint32_t{data[0]} | (std::uint32_t{data[1]} << 8) | (std::uint32_t{data[2]} << 16) |
           (std::uint32_t{data[3]} << 24);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // 1. The bytes as one compressed blob.
    try {
        const std::vector<unsigned char> out = korvel::InflateBlob(data, size);
        const bool chunked = size >= 8 && Declared(data) == korvel::kChunkedBlobMagic;
        Check(size >= 4 && out.size() == (chunked ? Declared(data + 4) : Declared(data)));
    } catch (const korvel::BlobError&) {
    }

    // 2. The bytes split into a small resource table: the first byte says where to cut and
    // which parts are compressed.
    if (size >= 1) {
        const std::uint8_t control = data[0];
        const std::uint8_t* rest = data + 1;
        const std::size_t restSize = size - 1;
        const std::size_t cut = restSize == 0 ? 0 : (control * 31u) % (restSize + 1);
        const korvel::BlobResource table[] = {
            {"SPY", rest, cut, (control & 1) != 0},
            {"STRAIN", rest + cut, restSize - cut, (control & 2) != 0},
            {"ABOUT", rest, restSize, false},
        };
        for (const char* name : {"spy", "STrain", "About", "missing"}) {
            try {
                const std::vector<unsigned char> out = korvel::ReadBlobFrom(table, 3, name);
                if (std::string(name) == "About") {
                    Check(out.size() == restSize);
                }
            } catch (const korvel::BlobError&) {
                Check(std::string(name) != "About");
            }
        }
    }

    // 3. Round trip: the bytes packed as a blob inflate back to themselves; the first byte
    // chooses between one stream and chunks of up to 1 KiB.
    const std::size_t chunkBytes = size > 0 && (data[0] & 4) != 0 ? 1 + data[0] * 4u : 0;
    const std::vector<unsigned char> blob =
        korvel::DeflateBlob(std::span<const unsigned char>(data, size), chunkBytes);
    const std::vector<unsigned char> back = korvel::InflateBlob(blob.data(), blob.size());
    Check(back.size() == size && (size == 0 || std::equal(back.begin(), back.end(), data)));

    // A blob cut short anywhere is refused, never read past its end.
    if (blob.size() > 4) {
        const std::size_t shortBy = 1 + (size % (blob.size() - 4));
        std::vector<unsigned char> cutBlob(blob.begin(), blob.end() - shortBy);
        try {
            korvel::InflateBlob(cutBlob.data(), cutBlob.size());
            std::abort();
        } catch (const korvel::BlobError&) {
        }
    }
    return 0;
}
