#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "data/blob.h"
#include "data/gbk.h"
#include "data/schema.h"

namespace korvel {
namespace {

std::vector<unsigned char> Pack(const std::string& text, std::uint32_t declared) {
    uLongf packed = compressBound(text.size());
    std::vector<unsigned char> out(4 + packed);
    compress2(out.data() + 4, &packed, reinterpret_cast<const Bytef*>(text.data()), text.size(), 9);
    out.resize(4 + packed);
    for (int i = 0; i < 4; ++i) out[i] = static_cast<unsigned char>(declared >> (8 * i));
    return out;
}

std::vector<unsigned char> Pack(const std::string& text) {
    return Pack(text, static_cast<std::uint32_t>(text.size()));
}

std::string AsText(const std::vector<unsigned char>& v) {
    return std::string(v.begin(), v.end());
}

TEST(Blob, InflatesToTheDeclaredLength) {
    const std::string text = "\"@@FILE VERSION@@\",\"251\"\r\n" + std::string(5000, 'x');
    const auto packed = Pack(text);
    EXPECT_EQ(AsText(InflateBlob(packed.data(), packed.size())), text);
    const auto empty = Pack("");
    EXPECT_TRUE(InflateBlob(empty.data(), empty.size()).empty());
}

TEST(Blob, RefusesDamagedBlobs) {
    const std::string text(4000, 'q');
    const auto good = Pack(text);
    // Header cut short.
    EXPECT_THROW(InflateBlob(good.data(), 3), BlobError);
    EXPECT_THROW(InflateBlob(nullptr, 0), BlobError);
    // Stream cut short.
    EXPECT_THROW(InflateBlob(good.data(), good.size() - 6), BlobError);
    // Corrupt stream.
    auto corrupt = good;
    corrupt[4] = 0x12;
    EXPECT_THROW(InflateBlob(corrupt.data(), corrupt.size()), BlobError);
    auto flipped = good;
    flipped[flipped.size() - 1] ^= 0xFF;  // checksum
    EXPECT_THROW(InflateBlob(flipped.data(), flipped.size()), BlobError);
    // Declared length shorter and longer than the data.
    const auto shorter = Pack(text, 3999);
    EXPECT_THROW(InflateBlob(shorter.data(), shorter.size()), BlobError);
    const auto longer = Pack(text, 4001);
    EXPECT_THROW(InflateBlob(longer.data(), longer.size()), BlobError);
    // Implausible declared lengths are refused before allocating.
    const auto huge = Pack(text, 0xFFFFFFFFu);
    EXPECT_THROW(InflateBlob(huge.data(), huge.size()), BlobError);
    const auto ratio = Pack("a", 1u << 20);
    EXPECT_THROW(InflateBlob(ratio.data(), ratio.size()), BlobError);
}

TEST(Blob, ReadsByNameIgnoringCase) {
    const auto packed = Pack("stream bytes");
    static const unsigned char kAbout[] = "<html>\xB9\xD8\xD3\xDA</html>";
    const BlobResource table[] = {
        {"SPY", packed.data(), packed.size(), true},
        {"ABOUT", kAbout, sizeof kAbout - 1, false},
    };
    EXPECT_EQ(AsText(ReadBlobFrom(table, 2, "spy")), "stream bytes");
    EXPECT_EQ(AsText(ReadBlobFrom(table, 2, "About")), "<html>\xB9\xD8\xD3\xDA</html>");
    EXPECT_THROW(ReadBlobFrom(table, 2, "SList"), BlobError);
}

TEST(Gbk, UserDefinedAreaRoundTrips) {
    const std::string gbk = "\xCB\xBC\xF8\xB3\xB1\xB1\xBE\xA9 K1";
    const std::string utf8 = GbkToUtf8(gbk);
    EXPECT_NE(utf8, gbk);
    EXPECT_EQ(Utf8ToGbk(utf8), gbk);
    EXPECT_EQ(Utf8ToGbk("\xE5\x8C\x97\xE4\xBA\xAC"), "\xB1\xB1\xBE\xA9");  // UTF-8 of Beijing
}

TEST(Gbk, BadInputIsReplacedNotFatal) {
    EXPECT_EQ(GbkToUtf8("a\xFF"
                        "b"),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(GbkToUtf8("a\xB1"), "a\xEF\xBF\xBD");  // cut in the middle of a character
    EXPECT_EQ(Utf8ToGbk("a\xC3(b"), "a?(b");
    EXPECT_EQ(Utf8ToGbk("\xF0\x9F\x98\x80x"), "?x");  // no GBK code
}

TEST(Gbk, TrimAndUpper) {
    EXPECT_EQ(TrimControl("\t \x01"
                          "ab c\r\n "),
              "ab c");
    EXPECT_EQ(TrimControl("  "), "");
    EXPECT_EQ(AsciiUpper("ay\xB0\xB2z9"), "AY\xB0\xB2Z9");
}

TEST(Schema, TrainTypeNames) {
    EXPECT_EQ(TrainTypeName(1), "\xB6\xAF\xB3\xB5\xD7\xE9");
    EXPECT_EQ(TrainTypeName(14), "\xC1\xD9\xBF\xCD");
    EXPECT_EQ(TrainTypeName(0), "");
    EXPECT_EQ(TrainTypeName(15), "");
    for (int code = 1; code <= 14; ++code) EXPECT_FALSE(TrainTypeName(code).empty());
}

}  // namespace
}  // namespace korvel
