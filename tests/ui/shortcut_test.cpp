// Desktop entries written into a temporary home directory.
#include "ui/shortcut.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace korvel::ui {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

int FileCount(const fs::path& dir) {
    int n = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir)) ++n;
    return n;
}

class ShortcutTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/korvel-shortcut-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root_ = pattern;
        home_ = root_ / "home";
        fs::create_directories(home_ / "Desktop");
        for (const char* name : {"HOME", "XDG_DESKTOP_DIR", "XDG_CONFIG_HOME", "XDG_DATA_HOME"}) {
            const char* value = std::getenv(name);
            saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
            ::unsetenv(name);
        }
        ::setenv("HOME", home_.c_str(), 1);
        prog_ = root_ / "prog";
        fs::create_directories(prog_);
        target_ = prog_ / "tt.exe";
        std::ofstream(target_) << "#!/bin/sh\n";
    }
    void TearDown() override {
        for (const auto& [name, value] : saved_) {
            if (value) {
                ::setenv(name.c_str(), value->c_str(), 1);
            } else {
                ::unsetenv(name.c_str());
            }
        }
        fs::remove_all(root_);
    }

    fs::path root_, home_, prog_, target_;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST_F(ShortcutTest, EmptyLinkNameUsesTargetNameOnTheDesktop) {
    ASSERT_TRUE(CreateShortcut(target_, "", "", kNoSpecialFolder));
    fs::path entry = home_ / "Desktop" / "tt.desktop";
    ASSERT_TRUE(fs::exists(entry));
    std::string text = ReadFile(entry);
    EXPECT_EQ(text.rfind("[Desktop Entry]\n", 0), 0u);
    EXPECT_NE(text.find("\nType=Application\n"), std::string::npos);
    EXPECT_NE(text.find("\nName=tt\n"), std::string::npos);
    EXPECT_NE(text.find("\nExec=" + target_.string() + "\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nPath=" + prog_.string() + "\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nIcon=korvel\n"), std::string::npos) << text;
    // Desktops launch only executable entries.
    struct stat st {};
    ASSERT_EQ(::stat(entry.c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IXUSR);
}

TEST_F(ShortcutTest, FolderWithTrailingSlashGivesTheSameFile) {
    fs::path folder = root_ / "links";
    fs::create_directories(folder);
    ASSERT_TRUE(CreateShortcut(target_, "a", folder.string() + "/", kNoSpecialFolder));
    ASSERT_TRUE(CreateShortcut(target_, "a", folder.string(), kNoSpecialFolder));
    EXPECT_TRUE(fs::exists(folder / "a.desktop"));
    EXPECT_EQ(FileCount(folder), 1);
}

TEST_F(ShortcutTest, DesktopCommandTwiceLeavesOneEntry) {
    ASSERT_TRUE(DesktopShortcutClicked(target_));
    std::ofstream(home_ / "Desktop" / "Korvel时刻.desktop", std::ios::app) << "stale\n";
    ASSERT_TRUE(DesktopShortcutClicked(target_));
    fs::path entry = home_ / "Desktop" / "Korvel时刻.desktop";
    EXPECT_EQ(FileCount(home_ / "Desktop"), 1);  // no temporary file left beside it
    std::string text = ReadFile(entry);
    EXPECT_EQ(text.find("stale"), std::string::npos);  // replaced, not appended to
    EXPECT_NE(text.find("\nName=Korvel时刻\n"), std::string::npos);
}

TEST_F(ShortcutTest, FailuresReturnFalseAndWriteNothing) {
    EXPECT_FALSE(CreateShortcut((prog_ / "missing.exe").string(), "x", "", kDesktopFolder));
    EXPECT_FALSE(CreateShortcut("", "x", "", kDesktopFolder));
    EXPECT_FALSE(CreateShortcut(prog_.string(), "x", "", kDesktopFolder));  // a directory
    EXPECT_FALSE(CreateShortcut(target_, "x", (root_ / "nowhere").string(), kNoSpecialFolder));
    EXPECT_FALSE(CreateShortcut(target_, "x", "", 7));  // no such special folder
    // A name may not lead out of the folder.
    EXPECT_FALSE(CreateShortcut(target_, "../escape", "", kDesktopFolder));
    EXPECT_FALSE(CreateShortcut(target_, "..", "", kDesktopFolder));
    EXPECT_EQ(FileCount(home_ / "Desktop"), 0);
    EXPECT_FALSE(fs::exists(home_ / "escape.desktop"));
    // No desktop directory at all.
    fs::remove(home_ / "Desktop");
    EXPECT_FALSE(DesktopShortcutClicked(target_));
}

TEST_F(ShortcutTest, SpecialFolderWinsOverFolder) {
    fs::path folder = root_ / "links";
    fs::create_directories(folder);
    ASSERT_TRUE(CreateShortcut(target_, "b", folder.string(), kDesktopFolder));
    EXPECT_TRUE(fs::exists(home_ / "Desktop" / "b.desktop"));
    EXPECT_EQ(FileCount(folder), 0);
}

TEST_F(ShortcutTest, ApplicationsMenuFolderIsCreatedAndHonoursXdgDataHome) {
    ASSERT_TRUE(StartMenuShortcutClicked(target_));
    EXPECT_TRUE(fs::exists(home_ / ".local/share/applications/Korvel时刻.desktop"));
    ::setenv("XDG_DATA_HOME", (root_ / "data").c_str(), 1);
    ASSERT_TRUE(StartMenuShortcutClicked(target_));
    EXPECT_TRUE(fs::exists(root_ / "data/applications/Korvel时刻.desktop"));
}

TEST_F(ShortcutTest, DesktopDirectoryFromUserDirs) {
    fs::create_directories(home_ / ".config");
    fs::create_directories(home_ / "Schreibtisch");
    std::ofstream(home_ / ".config/user-dirs.dirs")
        << "# written by xdg-user-dirs-update\nXDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\n"
        << "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n";
    EXPECT_EQ(SpecialFolderPath(kDesktopFolder), (home_ / "Schreibtisch").string());
    ASSERT_TRUE(DesktopShortcutClicked(target_));
    EXPECT_TRUE(fs::exists(home_ / "Schreibtisch/Korvel时刻.desktop"));
    ::setenv("XDG_DESKTOP_DIR", (root_ / "elsewhere").c_str(), 1);
    EXPECT_EQ(SpecialFolderPath(kDesktopFolder), (root_ / "elsewhere").string());
}

TEST(DesktopEntryTextTest, QuotesAndEscapesAnUnusualPath) {
    std::string text = DesktopEntryText("/opt/my app/$x 100%/korvel", "K\nname", "korvel");
    EXPECT_NE(text.find("\nExec=\"/opt/my app/\\\\$x 100%%/korvel\"\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nName=K\\nname\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nPath=/opt/my app/$x 100%\n"), std::string::npos) << text;
}

TEST(DesktopEntryTextTest, InstalledIconNextToTheProgramIsUsed) {
    char pattern[] = "/tmp/korvel-icon-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    fs::path prefix = pattern;
    fs::create_directories(prefix / "bin");
    fs::create_directories(prefix / "share/icons/hicolor/scalable/apps");
    std::ofstream(prefix / "share/icons/hicolor/scalable/apps/korvel.svg") << "<svg/>";
    EXPECT_EQ(ShortcutIconFor((prefix / "bin/korvel").string()),
              (prefix / "share/icons/hicolor/scalable/apps/korvel.svg").string());
    EXPECT_EQ(ShortcutIconFor("/nonexistent/bin/korvel"), "korvel");
    fs::remove_all(prefix);
}

TEST(RunningExecutableTest, PointsAtThisTest) {
    EXPECT_NE(RunningExecutablePath().find("ui_shortcut_tests"), std::string::npos);
}

}  // namespace
}  // namespace korvel::ui
