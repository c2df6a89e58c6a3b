// korvel-blobpack as a process: what it stores for each mode, and what it refuses.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "data/blob.h"
#include "data/gbk.h"

namespace korvel {
namespace {

namespace fs = std::filesystem;

class BlobPack : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::path(::testing::TempDir()) /
               ("korvel_blobpack_" +
                std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path Write(const std::string& name, const std::string& bytes) {
        const fs::path p = dir_ / name;
        std::ofstream(p, std::ios::binary) << bytes;
        return p;
    }
    std::string Read(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    // Runs the packer with `entries`; returns its exit code, stderr in err_.
    int Pack(const std::string& entries) {
        const std::string cmd =
            std::string("'") + KORVEL_BLOBPACK_PATH + "' --asm '" + (dir_ / "out.S").string() +
            "' --table '" + (dir_ / "out.cpp").string() + "' --stage '" +
            (dir_ / "stage").string() + "' " + entries + " 2>'" + (dir_ / "err").string() + "'";
        const int status = std::system(cmd.c_str());
        err_ = Read(dir_ / "err");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string Q(const fs::path& p) { return "'" + p.string() + "'"; }

    fs::path dir_;
    std::string err_;
};

TEST_F(BlobPack, StoresCompressedRawAndGbkBlobs) {
    const std::string text = "\"@@FILE VERSION@@\",\"251\"\r\n" + std::string(3000, 'z');
    const fs::path a = Write("a.stream", text);
    const fs::path b = Write("b.bin", std::string("BM\0\x01", 4));
    const fs::path c = Write("c.html", "<p>站名 \xE2\x80\x94 [北京] -> BJ</p>");
    // Big enough to be stored in chunks that two threads can inflate.
    std::string big;
    for (int i = 0; big.size() <= kBlobChunkingAbove; ++i) big += std::to_string(i) + ",";
    const fs::path d = Write("d.stream", big);
    ASSERT_EQ(Pack("--z spy " + Q(a) + " --raw Logo " + Q(b) + " --gbk about " + Q(c) +
                   " --z strain " + Q(d) + " --max ABOUT 100"),
              0)
        << err_;

    const std::string spy = Read(dir_ / "stage" / "SPY.blob");
    ASSERT_GT(spy.size(), 6u);
    EXPECT_EQ(static_cast<unsigned char>(spy[4]), 0x78);
    EXPECT_EQ(static_cast<unsigned char>(spy[5]), 0xDA);
    const auto inflated =
        InflateBlob(reinterpret_cast<const unsigned char*>(spy.data()), spy.size());
    EXPECT_EQ(std::string(inflated.begin(), inflated.end()), text);
    const std::string strain = Read(dir_ / "stage" / "STRAIN.blob");
    const auto* stored = reinterpret_cast<const unsigned char*>(strain.data());
    EXPECT_TRUE(ReadBlobLayout(stored, strain.size()).chunked);
    const auto bigBack = InflateBlob(stored, strain.size());
    EXPECT_EQ(std::string(bigBack.begin(), bigBack.end()), big);
    EXPECT_EQ(Read(dir_ / "stage" / "LOGO.blob"), std::string("BM\0\x01", 4));
    EXPECT_EQ(Read(dir_ / "stage" / "ABOUT.blob"), Utf8ToGbk(Read(c)));

    const std::string table = Read(dir_ / "out.cpp");
    EXPECT_NE(table.find("{\"SPY\", korvel_blob_SPY, " + std::to_string(spy.size()) + "u, true}"),
              std::string::npos)
        << table;
    EXPECT_NE(table.find("{\"LOGO\", korvel_blob_LOGO, 4u, false}"), std::string::npos);
    EXPECT_NE(table.find("kEmbeddedBlobCount = 4;"), std::string::npos);
    const std::string asmText = Read(dir_ / "out.S");
    EXPECT_NE(asmText.find(".incbin"), std::string::npos);
    EXPECT_NE(asmText.find("SPY.blob"), std::string::npos);
    EXPECT_NE(asmText.find(".note.GNU-stack"), std::string::npos);
}

TEST_F(BlobPack, RefusesWhatWouldEmbedAWrongBlob) {
    const fs::path ok = Write("ok.txt", "hello");
    // Over its size limit.
    const fs::path big = Write("big.html", std::string(10002, 'x'));
    EXPECT_EQ(Pack("--gbk ABOUT " + Q(big) + " --max ABOUT 10001"), 1);
    EXPECT_NE(err_.find("10001"), std::string::npos) << err_;
    EXPECT_EQ(Pack("--raw ABOUT " + Q(ok) + " --max ABOUT 5"), 0) << err_;
    // A character without a two-byte GBK code, and text that is not UTF-8.
    EXPECT_EQ(Pack("--gbk ABOUT " + Q(Write("emoji.html", "a\xF0\x9F\x98\x80"))), 1);
    EXPECT_NE(err_.find("GBK"), std::string::npos) << err_;
    EXPECT_EQ(Pack("--gbk ABOUT " + Q(Write("latin1.html", "caf\xE9!"))), 1);
    EXPECT_NE(err_.find("UTF-8"), std::string::npos) << err_;
    // Names: twice the same (in any case), characters an assembler symbol cannot hold.
    EXPECT_EQ(Pack("--z B1 " + Q(ok) + " --z b1 " + Q(ok)), 1);
    EXPECT_EQ(Pack("--z 'B 1' " + Q(ok)), 1);
    // A missing input file, a limit for a blob that is not packed, unknown options.
    EXPECT_EQ(Pack("--z SPY " + Q(dir_ / "missing")), 1);
    EXPECT_NE(err_.find("missing"), std::string::npos) << err_;
    EXPECT_EQ(Pack("--z SPY " + Q(ok) + " --max ABOUT 10"), 1);
    EXPECT_EQ(Pack("--zz SPY " + Q(ok)), 1);
    EXPECT_EQ(Pack("--max ABOUT ten --raw ABOUT " + Q(ok)), 1);
}

}  // namespace
}  // namespace korvel
