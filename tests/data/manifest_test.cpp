#include "data/manifest.h"

#include <gtest/gtest.h>

#include <string>

namespace korvel::data {
namespace {

Manifest Sample() {
    Manifest m;
    m.name = "2019 时刻表";
    m.valid_from = "2019-01-05";
    m.builder = "korvel-ttbuild 2011.09.30";
    m.trains = 8034;
    m.stops = 79352;
    m.stations = 3016;
    for (const char* f : {"SLIST.stream", "STRAIN.stream", "SM.stream", "SPY.stream"}) {
        m.files.push_back({f, 1234, 56, Sha256Hex(f)});
    }
    return m;
}

TEST(Manifest, RoundTripsAndHashesLikeSha256) {
    EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    const Manifest m = Sample();
    const ManifestParse p = ParseManifest(FormatManifest(m));
    ASSERT_TRUE(p.manifest) << p.error;
    EXPECT_EQ(*p.manifest, m);
}

TEST(Manifest, ChangeMinutesAreOptionalLinesAfterTheFiles) {
    Manifest m = Sample();
    // Without them the text is the one older readers take: nothing after the files.
    const std::string plain = FormatManifest(m);
    EXPECT_EQ(plain.substr(plain.rfind("\nfile ")).find("transfer"), std::string::npos);
    m.minTransfer = 0;
    m.cityTransfer = 1440;
    ManifestParse p = ParseManifest(FormatManifest(m));
    ASSERT_TRUE(p.manifest) << p.error;
    EXPECT_EQ(*p.manifest, m);
    m.minTransfer.reset();
    p = ParseManifest(FormatManifest(m));
    ASSERT_TRUE(p.manifest) << p.error;
    EXPECT_FALSE(p.manifest->minTransfer);
    EXPECT_EQ(p.manifest->cityTransfer, 1440);
}

TEST(Manifest, RefusesWhatTheBuilderCouldNotHaveWritten) {
    const std::string good = FormatManifest(Sample());
    auto replaced = [&](const std::string& from, const std::string& to) {
        std::string s = good;
        s.replace(s.find(from), from.size(), to);
        return s;
    };
    const std::string bad[] = {
        good.substr(0, good.size() - 1),    // cut before the last line end
        good.substr(0, good.find("file")),  // files missing
        replaced("korvel-timetable 1", "korvel-timetable 2"),
        replaced("2019-01-05", "2019-02-30"),  // no such day
        replaced("trains 8034", "trains 08034"),
        replaced("trains 8034", "trains -1"),
        replaced("stops 79352", "stops 99999999999999999999"),
        replaced("SLIST.stream", "SM.stream"),  // wrong order
        replaced("1234 56", "1234"),            // a field short
        replaced("name 2019", "name \t2019"),
        good + "extra 1\n",
        // The change lines: bounded, in their order, nothing after them.
        good + "min-transfer 1441\n",
        good + "min-transfer -5\n",
        good + "min-transfer 030\n",
        good + "city-transfer 120\nmin-transfer 30\n",
        good + "min-transfer 30\nmin-transfer 30\n",
        good + "min-transfer 30\ncity-transfer 120\nextra 1\n",
    };
    for (const std::string& text : bad) {
        const ManifestParse p = ParseManifest(text);
        EXPECT_FALSE(p.manifest) << text;
        EXPECT_FALSE(p.error.empty());
    }
}

}  // namespace
}  // namespace korvel::data
