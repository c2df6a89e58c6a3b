// The embedded blobs: every resource is there, bitmaps are well-formed 8-bit palette files
// of the right sizes, the start page is the GBK text of data/about.html.
#include "resources/resources.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "data/blob.h"
#include "data/gbk.h"
#include "data/publisher.h"

namespace korvel {
namespace {

using Bytes = std::vector<unsigned char>;

std::uint32_t U32(const Bytes& b, std::size_t at) {
    return std::uint32_t{b[at]} | std::uint32_t{b[at + 1]} << 8 | std::uint32_t{b[at + 2]} << 16 |
           std::uint32_t{b[at + 3]} << 24;
}
std::uint16_t U16(const Bytes& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

const BlobResource* Find(std::string_view name) {
    for (const BlobResource& r : EmbeddedBlobs())
        if (r.name == name) return &r;
    return nullptr;
}

TEST(Resources, EveryBlobIsEmbeddedUnderItsUpperCaseName) {
    std::vector<std::string> names;
    for (const BlobResource& r : EmbeddedBlobs()) names.emplace_back(r.name);
    std::vector<std::string> expected = {"SPY", "SLIST", "STRAIN", "SM",     "B1",   "B2", "B3",
                                         "B4",  "B5",    "B6",     "B7",     "B8",   "B9", "B10",
                                         "B11", "B12",   "LOGO",   "UPDATE", "ABOUT"};
    // The built timetable brings its stations' places last.
    if (EmbeddedTimetableKind() == "builder") expected.push_back("COORDS");
    EXPECT_EQ(names, expected);
    for (const BlobResource& r : EmbeddedBlobs()) {
        ASSERT_NE(r.data, nullptr);
        EXPECT_EQ(r.compressed, r.name != "ABOUT") << r.name;
        if (!r.compressed) continue;
        // Zlib streams compressed at level 9: one, or chunks of the big ones.
        const Bytes plain = ReadBlob(r.name);
        const BlobLayout layout = ReadBlobLayout(r.data, r.size);
        EXPECT_EQ(layout.inflatedBytes, plain.size()) << r.name;
        EXPECT_EQ(layout.chunked, plain.size() > kBlobChunkingAbove) << r.name;
        for (const BlobStream& s : layout.streams) {
            ASSERT_GT(s.packedBytes, 2u) << r.name;
            EXPECT_EQ(r.data[s.packedOffset], 0x78) << r.name;
            EXPECT_EQ(r.data[s.packedOffset + 1], 0xDA) << r.name;
        }
        EXPECT_EQ(CompressedBlob(r.name).data(), r.data) << r.name;
    }
}

TEST(Resources, NamesAreFoundWithoutRegardToCase) {
    EXPECT_EQ(ReadBlob("SList"), ReadBlob("SLIST"));
    EXPECT_EQ(ReadBlob("STrain"), ReadBlob("strain"));
    EXPECT_EQ(ReadBlob("about"), ReadBlob("ABOUT"));
    EXPECT_EQ(ReadBlob("b12"), ReadBlob("B12"));
    EXPECT_EQ(ReadBlob("Logo"), ReadBlob("LOGO"));
    EXPECT_THROW(ReadBlob("B13"), BlobError);
    EXPECT_THROW(ReadBlob(""), BlobError);
    EXPECT_THROW(ReadBlob("SPY "), BlobError);
}

struct Bmp {
    std::string name;
    int width, height;
};

TEST(Resources, BitmapsAreEightBitPaletteFilesOfTheirSizes) {
    std::vector<Bmp> bitmaps;
    for (int i = 1; i <= 12; ++i) bitmaps.push_back({"B" + std::to_string(i), 74, 31});
    bitmaps.push_back({"LOGO", 143, 63});
    bitmaps.push_back({"UPDATE", 23, 23});
    for (const Bmp& bmp : bitmaps) {
        SCOPED_TRACE(bmp.name);
        const Bytes b = ReadBlob(bmp.name);
        ASSERT_GE(b.size(), 1078u);
        EXPECT_EQ(b[0], 'B');
        EXPECT_EQ(b[1], 'M');
        const std::uint32_t stride = (static_cast<std::uint32_t>(bmp.width) + 3) & ~3u;
        EXPECT_EQ(U32(b, 2), b.size());  // file size
        EXPECT_EQ(U32(b, 10), 1078u);    // pixel data offset
        EXPECT_EQ(U32(b, 14), 40u);      // BITMAPINFOHEADER
        EXPECT_EQ(static_cast<int>(U32(b, 18)), bmp.width);
        EXPECT_EQ(static_cast<int>(U32(b, 22)), bmp.height);  // positive: bottom-up rows
        EXPECT_EQ(U16(b, 26), 1);
        EXPECT_EQ(U16(b, 28), 8);
        EXPECT_EQ(U32(b, 30), 0u);  // uncompressed
        EXPECT_EQ(b.size(), 1078u + stride * static_cast<std::uint32_t>(bmp.height));
        // Not blank: a fair share of the pixels is drawn on the white background.
        std::size_t drawn = 0;
        for (std::size_t i = 1078; i < b.size(); ++i) drawn += b[i] != 0;
        EXPECT_GT(drawn * 10, static_cast<std::size_t>(bmp.width * bmp.height));
    }
    // The sizes of the original images, which the window layout is built around.
    EXPECT_EQ(ReadBlob("B1").size(), 3434u);
    EXPECT_EQ(ReadBlob("LOGO").size(), 10150u);
    EXPECT_EQ(ReadBlob("UPDATE").size(), 1630u);
}

TEST(Resources, ToolbarPicturesDifferByButtonAndLook) {
    std::set<Bytes> distinct;
    for (int i = 1; i <= 12; ++i) distinct.insert(ReadBlob("B" + std::to_string(i)));
    EXPECT_EQ(distinct.size(), 12u);
    // The normal look has a white background (palette entry 0) at its corners; the hot and
    // pressed looks do not, so they can be told apart on the white toolbar.
    for (int i = 1; i <= 12; ++i) {
        const Bytes b = ReadBlob("B" + std::to_string(i));
        const unsigned char corner = b[1078 + 1 + 76];  // pixel (1, 29) of the bottom-up rows
        if (i % 3 == 1) {
            EXPECT_EQ(corner, 0) << "B" << i;
        } else {
            EXPECT_NE(corner, 0) << "B" << i;
        }
    }
}

TEST(Resources, StartPageIsTheGbkTextOfTheAboutSource) {
    std::ifstream in(KORVEL_SOURCE_DIR "/data/about.html", std::ios::binary);
    ASSERT_TRUE(in);
    std::string utf8((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // The build fills in the publisher's address.
    const std::string placeholder = "@KORVEL_PUBLISHER_URL@";
    for (std::size_t at; (at = utf8.find(placeholder)) != std::string::npos;) {
        utf8.replace(at, placeholder.size(), kPublisherHomeUrl);
    }
    const std::string gbk = Utf8ToGbk(utf8);
    ASSERT_EQ(GbkToUtf8(gbk), utf8) << "every character must have a GBK code";

    const Bytes about = ReadBlob("ABOUT");
    EXPECT_LE(about.size(), 10001u) << "the page reader takes at most 10,001 bytes";
    EXPECT_EQ(std::string(about.begin(), about.end()), gbk);
    const BlobResource* r = Find("ABOUT");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->size, about.size());
    EXPECT_EQ(std::string(about.begin(), about.end()).find('\0'), std::string::npos);

    const std::string page(about.begin(), about.end());
    for (const char* line : {
             "站名输入支持拼音首字母输入，例如:[北京] -> BJ",
             "Korvel时刻",
             "2019",
             "红色为始发车列",
             "蓝色为中转列车。",
             "Korvel火车网",
             "1、票价为参考票价，以车站实际售价为准；",
         }) {
        EXPECT_NE(page.find(Utf8ToGbk(line)), std::string::npos) << line;
    }
    EXPECT_NE(page.find("charset=gbk"), std::string::npos);
    EXPECT_EQ(ReadAboutPage(), page);
}

TEST(Resources, AboutPageTextStopsAtNulAndAtTheReaderLimit) {
    const Bytes withNul = {'<', 'p', '>', 0, 'x'};
    EXPECT_EQ(AboutPageText(withNul), "<p>");
    EXPECT_EQ(AboutPageText({}), "");
    const Bytes big(kAboutPageMaxBytes + 500, 'a');
    EXPECT_EQ(AboutPageText(big).size(), kAboutPageMaxBytes);
    const Bytes exact(kAboutPageMaxBytes, 'b');
    EXPECT_EQ(AboutPageText(exact), std::string(kAboutPageMaxBytes, 'b'));
}

}  // namespace
}  // namespace korvel
