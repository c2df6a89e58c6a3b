#include <gtest/gtest.h>
#include <zlib.h>

#include <span>
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
    // Bytes after the end of the stream.
    auto trailing = good;
    trailing.push_back(0);
    EXPECT_THROW(InflateBlob(trailing.data(), trailing.size()), BlobError);
}

// The text of the BlobError that inflating `blob` throws ("" when it inflates).
std::string ErrorOf(const std::vector<unsigned char>& blob) {
    try {
        InflateBlob(blob.data(), blob.size());
    } catch (const BlobError& e) {
        return e.what();
    }
    return "";
}

std::uint32_t Get32(const std::vector<unsigned char>& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}

void Put32(std::vector<unsigned char>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<unsigned char>(v >> (8 * i));
}

TEST(Blob, ChunkedBlobsInflateAndRefuseChunkTablesThatLie) {
    std::string text;
    for (int i = 0; text.size() < 5000; ++i) text += std::to_string(i * 7919 % 10007) + ",";
    text.resize(5000);
    const std::span<const unsigned char> bytes(reinterpret_cast<const unsigned char*>(text.data()),
                                               text.size());
    const auto good = DeflateBlob(bytes, 1000);
    ASSERT_EQ(Get32(good, 0), kChunkedBlobMagic);
    ASSERT_EQ(Get32(good, 8), 5u);
    EXPECT_EQ(AsText(InflateBlob(good.data(), good.size())), text);
    EXPECT_EQ(Get32(DeflateBlob(bytes, 5000), 0), 5000u) << "one chunk's worth stays plain";
    // Entry i of the chunk table: inflated length at Entry(i), packed length at Entry(i) + 4.
    const auto entry = [](std::size_t i) { return 12 + 8 * i; };
    const auto packedAt = [&](std::size_t i) {
        std::size_t at = entry(5);
        for (std::size_t k = 0; k < i; ++k) at += Get32(good, entry(k) + 4);
        return at;
    };
    const auto damaged = [&](auto&& change) {
        auto b = good;
        change(b);
        return ErrorOf(b);
    };
    const auto expectError = [](const std::string& error, const std::string& part) {
        EXPECT_NE(error.find(part), std::string::npos)
            << "'" << error << "' lacks '" << part << "'";
    };

    expectError(damaged([](auto& b) { b.resize(10); }), "header is truncated");
    expectError(damaged([&](auto& b) { b.resize(entry(5) - 1); }), "table of 5 chunks");
    expectError(damaged([](auto& b) { Put32(b, 8, 1000); }), "table of 1000 chunks");
    expectError(damaged([](auto& b) { Put32(b, 4, 0xFFFFFFF0u); }), "implausible");
    expectError(damaged([](auto& b) { Put32(b, 4, 5001); }), "fewer than the declared total");
    expectError(damaged([](auto& b) { Put32(b, 4, 4999); }), "more than the declared total");
    expectError(damaged([&](auto& b) { Put32(b, entry(0), 1033 * Get32(b, entry(0) + 4)); }),
                "chunk 1 of 5 declares an implausible length");
    // A chunk's inflated length off by one, the next's by the opposite: the total still adds up.
    expectError(damaged([&](auto& b) {
                    Put32(b, entry(1), 999);
                    Put32(b, entry(2), 1001);
                }),
                "chunk 2 of 5 inflates to more than its declared length");
    expectError(damaged([&](auto& b) {
                    Put32(b, entry(1), 1001);
                    Put32(b, entry(2), 999);
                }),
                "chunk 2 of 5 inflates to 1000 bytes, fewer than its declared 1001");
    // The same with the packed lengths: chunk 2 is given the first byte of chunk 3.
    expectError(damaged([&](auto& b) {
                    Put32(b, entry(1) + 4, Get32(b, entry(1) + 4) + 1);
                    Put32(b, entry(2) + 4, Get32(b, entry(2) + 4) - 1);
                }),
                "chunk 2 of 5 has 1 trailing bytes");
    expectError(damaged([](auto& b) { b.pop_back(); }), "chunk 5 of 5 is truncated");
    expectError(damaged([](auto& b) { b.push_back(0); }), "1 trailing bytes after its last chunk");
    expectError(damaged([&](auto& b) { b[packedAt(2) + 5] ^= 0x5A; }), "chunk 3 of 5");
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
