// The update formats: minisign-compatible keys and signatures (checked against the minisign
// tool both ways), the catalogue and the package, and the address rule of the fetcher.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "app/map_data.h"
#include "data/manifest_build.h"
#include "data/station_coords.h"
#include "update/catalogue.h"
#include "update/http.h"
#include "update/names.h"
#include "update/package.h"
#include "update/signature.h"
#include "update/store.h"

namespace korvel::update {
namespace {

namespace fs = std::filesystem;

std::string Slurp(const std::string& path) {
    std::string text;
    ReadWholeFile(path, text);
    return text;
}

void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

TEST(Signatures, OursAndMinisignsVerifyEachOther) {
    if (std::system("minisign -v >/dev/null 2>&1") != 0) GTEST_SKIP() << "no minisign";
    char pattern[] = "/tmp/korvel_sig_XXXXXX";
    const std::string dir = ::mkdtemp(pattern);
    const KeyPair keys = GenerateKeyPair();
    Write(dir + "/pub", FormatPublicKey(keys.publicKey));
    Write(dir + "/sec", FormatSecretKey(keys.secretKey));
    const std::string message = std::string("timetable\0bytes\xff", 16);
    Write(dir + "/file", message);
    Write(dir + "/file.minisig", SignMessage(keys.secretKey, message, "korvel test"));
    EXPECT_EQ(std::system(("minisign -Vqm " + dir + "/file -p " + dir + "/pub").c_str()), 0);

    // minisign signs with our secret key file, prehashed (default) and legacy (-l).
    for (const char* mode : {"", " -l"}) {
        SCOPED_TRACE(mode);
        fs::remove(dir + "/file.minisig");
        ASSERT_EQ(std::system(("minisign -S" + std::string(mode) + " -s " + dir + "/sec -m " + dir +
                               "/file -t hello </dev/null >/dev/null")
                                  .c_str()),
                  0);
        const std::string sig = Slurp(dir + "/file.minisig");
        EXPECT_EQ(VerifySignature(keys.publicKey, message, sig), "");
        EXPECT_NE(VerifySignature(keys.publicKey, message + "x", sig), "");
    }
    // A key pair minisign made (without password) signs packages minisign accepts.
    ASSERT_EQ(
        std::system(("minisign -G -W -p " + dir + "/mpub -s " + dir + "/msec >/dev/null").c_str()),
        0);
    std::string error;
    const auto theirs = ParseSecretKey(Slurp(dir + "/msec"), error);
    ASSERT_TRUE(theirs) << error;
    Write(dir + "/file.minisig", SignMessage(*theirs, message, "korvel test"));
    EXPECT_EQ(std::system(("minisign -Vqm " + dir + "/file -p " + dir + "/mpub").c_str()), 0);
    fs::remove_all(dir);
}

TEST(Signatures, RefuseOtherKeysTamperedCommentsAndDamagedFiles) {
    const KeyPair keys = GenerateKeyPair(), other = GenerateKeyPair();
    const std::string sig = SignMessage(keys.secretKey, "abc", "trusted");
    EXPECT_EQ(VerifySignature(keys.publicKey, "abc", sig), "");
    EXPECT_EQ(VerifySignature(keys.publicKey, "abd", sig), "signature does not match the file");
    EXPECT_NE(VerifySignature(other.publicKey, "abc", sig).find("signature by another key"),
              std::string::npos);
    std::string forged = sig;
    forged.replace(forged.find("trusted comment: trusted"), 24, "trusted comment: trustee");
    EXPECT_EQ(VerifySignature(keys.publicKey, "abc", forged),
              "the signature's trusted comment does not match");
    EXPECT_NE(VerifySignature(keys.publicKey, "abc", sig.substr(0, sig.size() / 2)), "");
    EXPECT_NE(VerifySignature(keys.publicKey, "abc", ""), "");

    std::string error;
    std::string secret = FormatSecretKey(keys.secretKey);
    ASSERT_TRUE(ParseSecretKey(secret, error)) << error;
    secret[secret.find('\n') + 120] ^= 1;  // a base64 digit inside the key bytes
    EXPECT_FALSE(ParseSecretKey(secret, error));
    const auto pub = ParsePublicKey(FormatPublicKey(keys.publicKey), error);
    ASSERT_TRUE(pub);
    EXPECT_EQ(pub->key, keys.publicKey.key);
}

TEST(Names, OnlySafeNamesPassEverywhere) {
    const std::vector<std::string> names = {"",        ".",        "..",
                                            "../x",    "a/b",      std::string("a\0b", 3),
                                            ".hidden", "embedded", std::string(65, 'a'),
                                            "名字",    "a b"};
    for (const std::string& bad : names) {
        SCOPED_TRACE(PrintableName(bad));
        EXPECT_FALSE(IsPackageName(bad));
        Catalogue c;
        c.expires = 2000000000;
        c.packages.push_back({bad, 1, "2019-01-01", 10, std::string(64, 'a'), bad + ".korvel-tt"});
        std::string error;
        EXPECT_FALSE(ParseCatalogue(FormatCatalogue(c), error));
        Package p;
        p.name = bad;
        EXPECT_NE(Store("/nonexistent").Install(p), "");
        EXPECT_FALSE(ParsePackage("korvel-timetable-package 1\nname " + bad + "\n", error));
    }
    EXPECT_EQ(PrintableName(std::string("a\0/", 3)), "a\\x00/");
}

TEST(Catalogue, RoundTripsAndRefusesWhatIsNotOne) {
    Catalogue c;
    c.published = *ParseUtcTime("2027-02-21T12:00:00Z");
    c.expires = *ParseUtcTime("2027-02-28T12:00:00Z");
    c.packages.push_back({"a", 1, "2019-01-01", 10, std::string(64, 'a'), "a.korvel-tt"});
    c.packages.push_back({"b", 2, "2019-07-01", 20, std::string(64, 'b'), "b.korvel-tt"});
    std::string error;
    EXPECT_EQ(ParseCatalogue(FormatCatalogue(c), error), c) << error;
    EXPECT_EQ(NewestPackage(c)->name, "b");
    EXPECT_FALSE(ParseUtcTime("2027-02-29T12:00:00Z"));
    const std::string text = FormatCatalogue(c);
    auto refused = [&](std::string from, std::string to) {
        std::string changed = text;
        changed.replace(changed.find(from), from.size(), to);
        return !ParseCatalogue(changed, error).has_value();
    };
    EXPECT_TRUE(refused("\"b.korvel-tt\"", "\"../b.korvel-tt\""));
    EXPECT_TRUE(refused("\"sequence\": 2", "\"sequence\": 1"));  // listed twice
    EXPECT_TRUE(refused("\"size\": 20", "\"size\": -20"));
    EXPECT_TRUE(refused("\"size\": 20", "\"size\": \"20\""));
    EXPECT_TRUE(refused("\"version\": 1", "\"version\": 2"));
    EXPECT_TRUE(refused("2027-02-28T12:00:00Z", "tomorrow"));
    EXPECT_TRUE(refused("\"2027-02-21T12:00:00Z\"", "20270221"));
    // A catalogue of an older publisher has no publication time: read as the epoch (and the
    // error of the refusal before does not stick to it).
    const auto old = ParseCatalogue(FormatCatalogue(Catalogue{0, c.expires, c.packages}), error);
    ASSERT_TRUE(old) << error;
    EXPECT_EQ(old->published, 0);
    EXPECT_EQ(DescribePublished(c.published, c.published + 3 * 86400 + 7200),
              "2027-02-21T12:00:00Z (3 days old)");
    EXPECT_EQ(DescribePublished(c.published, c.published + 3600 + 59),
              "2027-02-21T12:00:00Z (1 hour old)");
    EXPECT_EQ(DescribePublished(c.published, c.published - 600),
              "2027-02-21T12:00:00Z (0 minutes old)");
    EXPECT_FALSE(ParseCatalogue("[1,2", error));
    EXPECT_FALSE(ParseCatalogue(std::string(kMaxCatalogueBytes + 1, ' '), error));
}

TEST(Package, RoundTripsAndRefusesDamage) {
    const Package p = PackFolder(KORVEL_SAMPLE_STREAMS, "s", 3, {"s", "2019-07-01", "test"});
    const std::string bytes = FormatPackage(p);
    std::string error;
    const auto back = ParsePackage(bytes, error);
    ASSERT_TRUE(back) << error;
    EXPECT_EQ(back->sequence, 3u);
    EXPECT_EQ(back->manifest, p.manifest);
    EXPECT_FALSE(ParsePackage(bytes.substr(0, bytes.size() - 1), error));
    EXPECT_FALSE(ParsePackage(bytes + "x", error));
    std::string flipped = bytes;
    flipped[bytes.size() - 100] ^= 1;  // inside SPY.stream
    EXPECT_FALSE(ParsePackage(flipped, error));
    EXPECT_NE(error.find("SPY.stream: SHA-256 differs"), std::string::npos) << error;
    std::string huge = bytes;
    huge.replace(huge.find("file SM.stream "), 15, "file SM.stream 9");
    EXPECT_FALSE(ParsePackage(huge, error));
}

// The stations' places travel in a package when the folder's manifest lists them: packed,
// checked, installed and read back; a package that drops them, alters them or carries them
// unlisted is refused; a folder whose manifest does not list them packs as before.
TEST(Package, CarriesTheStationPlacesItsManifestLists) {
    char pattern[] = "/tmp/korvel_places_XXXXXX";
    const std::string dir = ::mkdtemp(pattern);
    const std::string folder = dir + "/tt";
    fs::create_directory(folder);
    for (const char* f : kStreamFiles)
        fs::copy(std::string(KORVEL_SAMPLE_STREAMS) + "/" + f, folder);
    const std::string coords =
        WriteCoordsStream({{"A", {116.5, 39.9, false}}, {"B", {121.4, 31.2, true}}});
    Write(folder + "/COORDS.stream", coords);
    // Without it in the manifest the places stay behind.
    fs::copy(std::string(KORVEL_SAMPLE_STREAMS) + "/manifest.txt", folder);
    EXPECT_EQ(PackFolder(folder, "s", 1, {}).files.size(), 5u);

    data::ManifestParse m = data::ParseManifest(Slurp(folder + "/manifest.txt"));
    ASSERT_TRUE(m.manifest) << m.error;
    m.manifest->files.push_back(data::EntryForStream(data::kCoordsFileName, coords));
    Write(folder + "/manifest.txt", data::FormatManifest(*m.manifest));
    const Package p = PackFolder(folder, "s", 1, {});
    ASSERT_EQ(p.files.size(), 6u);
    ASSERT_NE(p.manifest.Coords(), nullptr);
    EXPECT_EQ(p.manifest.Coords()->records, 2u);
    const std::string bytes = FormatPackage(p);
    std::string error;
    ASSERT_TRUE(ParsePackage(bytes, error)) << error;

    std::string altered = bytes;
    altered[bytes.size() - 10] ^= 1;  // inside COORDS.stream
    EXPECT_FALSE(ParsePackage(altered, error));
    EXPECT_NE(error.find("COORDS.stream: SHA-256 differs"), std::string::npos) << error;
    Package dropped = p;
    dropped.files.pop_back();
    EXPECT_FALSE(ParsePackage(FormatPackage(dropped), error));
    EXPECT_NE(error.find("COORDS.stream: missing"), std::string::npos) << error;
    Package unlisted = p;
    unlisted.files[0].bytes = Slurp(std::string(KORVEL_SAMPLE_STREAMS) + "/manifest.txt");
    EXPECT_FALSE(ParsePackage(FormatPackage(unlisted), error));
    EXPECT_NE(error.find("COORDS.stream: not in the manifest"), std::string::npos) << error;

    // Installed, the places are there for the map, and checked against the manifest.
    const Store store(dir + "/store");
    ASSERT_EQ(store.Install(*ParsePackage(bytes, error)), "");
    const std::string installed = dir + "/store/s";
    std::string why;
    const auto places = LoadStationCoords({}, installed, &why);
    ASSERT_TRUE(places) << why;
    EXPECT_EQ(places->size(), 2u);
    EXPECT_TRUE(places->at("B").estimated);
    Write(installed + "/COORDS.stream", coords + " ");
    EXPECT_FALSE(LoadStationCoords({}, installed, &why));
    EXPECT_NE(why.find("does not match the manifest"), std::string::npos) << why;
    // A timetable without places has no map, and that is no error.
    why.clear();
    EXPECT_FALSE(LoadStationCoords({}, KORVEL_SAMPLE_STREAMS, &why));
    EXPECT_EQ(why, "");
    fs::remove_all(dir);
}

TEST(Fetcher, OnlyHttpsOrLoopbackAddresses) {
    EXPECT_EQ(CheckFetchAddress("https://example.org/c.json"), "");
    EXPECT_EQ(CheckFetchAddress("http://127.0.0.1:8000/c.json"), "");
    EXPECT_EQ(CheckFetchAddress("http://localhost/c.json"), "");
    EXPECT_EQ(CheckFetchAddress("http://[::1]:80/c.json"), "");
    for (const char* bad : {"http://example.org/c.json", "http://127.0.0.1.example.org/",
                            "ftp://127.0.0.1/c.json", "file:///etc/passwd", "c.json"}) {
        EXPECT_NE(CheckFetchAddress(bad), "") << bad;
    }
    EXPECT_EQ(SiblingAddress("https://h/d/catalogue.json?x=1", "a.korvel-tt"),
              "https://h/d/a.korvel-tt");
    EXPECT_EQ(SignatureAddress("https://h/d/c.json"), "https://h/d/c.json.minisig");
    EXPECT_EQ(SignatureAddress("https://h/d/c.json?x=1&y=/z"),
              "https://h/d/c.json.minisig?x=1&y=/z");
    EXPECT_EQ(SignatureAddress("https://h/c.json#top"), "https://h/c.json.minisig#top");
}

}  // namespace
}  // namespace korvel::update
