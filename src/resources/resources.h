// The blobs embedded in the program: the four timetable streams, the toolbar images, the
// logo, the update glyph and the start page.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "data/blob.h"

namespace korvel {

// Every embedded blob, in packing order: SPY, SLIST, STRAIN, SM, B1 ... B12, LOGO,
// UPDATE, ABOUT. Names are stored upper-case.
std::span<const BlobResource> EmbeddedBlobs();

// Where the embedded timetable came from when the program was built: "builder" (the 2019
// timetable from the source data), "sample" or "placeholder".
std::string_view EmbeddedTimetableKind();

// The bytes of the embedded blob `name` (any case), inflated when it is stored compressed.
// Throws BlobError when there is no such blob or its stored bytes are damaged.
std::vector<unsigned char> ReadBlob(std::string_view name);

// The stored bytes of the embedded compressed blob `name` (any case), as InflateBlob takes
// them. Throws BlobError when there is no such blob or it is stored uncompressed.
std::span<const unsigned char> CompressedBlob(std::string_view name);

// The most bytes of the start page that the page reader takes.
inline constexpr std::size_t kAboutPageMaxBytes = 10001;

// The start page's HTML (GBK bytes): `bytes` up to the first NUL byte and at most
// kAboutPageMaxBytes long.
std::string AboutPageText(std::span<const unsigned char> bytes);
// AboutPageText of the embedded ABOUT blob. Throws BlobError when it is missing.
std::string ReadAboutPage();

}  // namespace korvel
