// A timetable folder at run time: the controller reads the four streams korvel-ttbuild writes
// from a folder instead of the embedded blobs, says which timetable it uses, and names a
// damaged or missing file without querying anything half-loaded.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/main_controller.h"
#include "data/blob.h"
#include "data/manifest_build.h"
#include "support/controller_fixture.h"
#include "support/fake_view.h"

namespace korvel::testing {
namespace {

namespace fs = std::filesystem;

// The fixture timetable written as a folder of table streams. A folder's same-city stations
// are all served: the fixture's 北京北, which no train serves (the station-box tests list
// it), is left out of its group here.
std::map<std::string, std::string> FolderStreams() {
    auto streams = FixtureStreams();
    std::string& sm = streams["SM"];
    const std::string row = "\"" + G("北京北") + "\",\"1\",\r\n";
    sm.erase(sm.find(row), row.size());
    return streams;
}

fs::path WriteFolder(const std::string& name) {
    const fs::path dir = fs::path(::testing::TempDir()) / ("korvel_tt_" + name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    for (const auto& [blob, stream] : FolderStreams()) {
        std::ofstream(dir / (blob + ".stream"), std::ios::binary) << stream;
    }
    return dir;
}

TEST(TimetableFolderTest, LoadsTheFolderAndSaysSoWithItsCounts) {
    const fs::path dir = WriteFolder("good");
    FakeView view;
    MainController c(view);
    StartOptions o;
    o.timetableFolder = dir.string();
    c.Start(std::move(o));
    EXPECT_TRUE(view.IsEnabled(Control::DirectButton));
    EXPECT_EQ(view.statusText.count(1), 0u) << GbkToUtf8(view.statusText[1]);
    const std::string status = GbkToUtf8(view.statusText[kTimetableStatusPanel]);
    EXPECT_EQ(status, "时刻表目录 " + dir.string() + ": 6车次, 20停站, 13车站");
    EXPECT_EQ(GbkToUtf8(c.TimetableText()), status);
    EXPECT_EQ(c.TimetableFolder(), dir.string());

    view.Type(Control::DepartureBox, G("北京"));
    view.Type(Control::ArrivalBox, G("上海"));
    c.StationPairClicked(PairQuery::Direct);
    EXPECT_EQ(GbkToUtf8(view.Text(Control::ResultLabel)), "结果:2");  // G1 and T109
}

TEST(TimetableFolderTest, AFolderThatMatchesItsManifestIsSaidToBeVerified) {
    const fs::path dir = WriteFolder("manifest");
    auto streams = FolderStreams();
    const data::Manifest m = data::ManifestForStreams(
        "fixture", "2019-01-01", "test",
        {streams["SLIST"], streams["STRAIN"], streams["SM"], streams["SPY"]});
    std::ofstream(dir / "manifest.txt", std::ios::binary) << data::FormatManifest(m);
    FakeView view;
    MainController c(view);
    StartOptions o;
    o.timetableFolder = dir.string();
    c.Start(std::move(o));
    EXPECT_EQ(GbkToUtf8(view.statusText[kTimetableStatusPanel]),
              "时刻表目录 " + dir.string() + "（已按清单核对）: 6车次, 20停站, 13车站");
}

TEST(TimetableFolderTest, EmbeddedTimetableIsNamedAsSuch) {
    FakeView view;
    MainController c(view);
    StartOptions o;
    o.source = StreamSource(FixtureStreams());
    o.timetableFolder = "/ignored/when/a/source/is/given";
    c.Start(std::move(o));
    EXPECT_TRUE(c.TimetableFolder().empty());
    EXPECT_EQ(GbkToUtf8(view.statusText[kTimetableStatusPanel]).rfind("内置", 0), 0u);
}

TEST(TimetableFolderTest, DamagedOrMissingFilesAreNamedAndNothingHalfLoadedIsQueried) {
    const fs::path dir = WriteFolder("damaged");
    std::ofstream(dir / "SLIST.stream", std::ios::binary | std::ios::trunc)
        << "\"@@FILE VERSION@@\",\"251\"\r\n\"@@TABLEDEF START@@\"\r\n"
           "\"ID=Nonsense,35,\"\"ID\"\",\"\"\"\",35,Data,\"\"\"\"\"\r\n";
    fs::remove(dir / "SM.stream");
    FakeView view;
    MainController c(view);
    StartOptions o;
    o.timetableFolder = dir.string();
    c.Start(std::move(o));
    // One of the two failures is the last one shown; both name their files.
    const std::string failure = GbkToUtf8(view.statusText[1]);
    EXPECT_NE(failure.find("时刻表加载失败:"), std::string::npos) << failure;
    EXPECT_TRUE(failure.find((dir / "SLIST.stream").string()) != std::string::npos ||
                failure.find((dir / "SM.stream").string()) != std::string::npos)
        << failure;
    EXPECT_FALSE(c.Flags().Loaded(LoadTable::KMList));
    EXPECT_FALSE(c.Flags().Loaded(LoadTable::KMSM));
    EXPECT_EQ(c.Tables().KMList.RecordCount(), 0u);
    EXPECT_EQ(view.statusText.count(kTimetableStatusPanel), 0u);

    view.Type(Control::DepartureBox, G("北京"));
    view.Type(Control::ArrivalBox, G("上海"));
    c.StationPairClicked(PairQuery::Direct);
    EXPECT_TRUE(c.Results().empty());
}

TEST(TimetableFolderTest, FolderSourceNamesTheFileItCannotRead) {
    const BlobSource source = FolderBlobSource("/nonexistent/korvel");
    try {
        source("STrain");
        FAIL() << "no error for a missing file";
    } catch (const BlobError& e) {
        EXPECT_NE(std::string(e.what()).find("/nonexistent/korvel/STRAIN.stream"),
                  std::string::npos);
    }
    EXPECT_EQ(LoadTableFile(LoadTable::KMList), "SLIST.stream");
    EXPECT_EQ(LoadTableFile(LoadTable::KMPy), "SPY.stream");
}

}  // namespace
}  // namespace korvel::testing
