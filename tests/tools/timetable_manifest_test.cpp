// The manifest korvel-ttbuild writes beside its streams: named as told or after the source,
// verified by the loaders, and a name or date the loaders would refuse stops the build
// before anything is written.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "data/manifest.h"
#include "timetable/manifest_out.h"
#include "timetable/timetable_folder.h"

namespace korvel::timetable {
namespace {

namespace fs = std::filesystem;

int Build(const std::string& args) {
    const std::string cmd =
        std::string("'") + KORVEL_TTBUILD_PATH + "' " + args + " >/dev/null 2>/dev/null";
    const int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(TimetableManifest, NamedAfterTheSourcesYearElseTheDayOfTheBuild) {
    const TimetableNaming year = DefaultNaming("/data/timetable-2019/stops.csv", 0);
    EXPECT_EQ(year.name, "2019");
    EXPECT_EQ(year.validFrom, "2019-01-01");
    // 2026-12-09 00:00 UTC.
    const TimetableNaming other = DefaultNaming("/home/me/newer.csv", 1796774400);
    EXPECT_EQ(other.name, "timetable");
    EXPECT_EQ(other.validFrom, "2026-12-09");
    EXPECT_EQ(DefaultNaming("/x/timetable-0219/stops.csv", 0).name, "timetable");
}

TEST(TimetableManifest, TheBuilderWritesAManifestTheLoadersVerify) {
    const fs::path out =
        fs::path(::testing::TempDir()) / ("korvel_manifest_out-" + std::to_string(::getpid()));
    fs::remove_all(out);
    const std::string source = std::string(KORVEL_SOURCE_DIR) + "/data/sample_timetable";
    ASSERT_EQ(Build("--source '" + source + "' --sample --out '" + out.string() +
                    "' --name 'Sample 2019' --valid-from 2019-01-05"),
              0);
    std::ifstream in(out / "manifest.txt", std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const data::ManifestParse parsed = data::ParseManifest(text);
    ASSERT_TRUE(parsed.manifest) << parsed.error;
    EXPECT_EQ(parsed.manifest->name, "Sample 2019");
    EXPECT_EQ(parsed.manifest->valid_from, "2019-01-05");
    const FolderLoad load = VerifyTimetableFolder(out.string());
    EXPECT_TRUE(load.ok && load.verified) << (load.problems.empty() ? "" : load.problems[0]);

    // A date that is no day: refused as a usage error, the folder left as it was.
    const fs::path bad =
        fs::path(::testing::TempDir()) / ("korvel_manifest_bad-" + std::to_string(::getpid()));
    fs::remove_all(bad);
    EXPECT_EQ(Build("--source '" + source + "' --sample --out '" + bad.string() +
                    "' --valid-from 2019-02-30"),
              2);
    EXPECT_FALSE(fs::exists(bad));
}

}  // namespace
}  // namespace korvel::timetable
