// Files and folders written whole or not at all: special files are never replaced, an
// abandoned folder write leaves the old folder as it was, and the leftovers of a killed run
// are tidied by the next one. (A write stopped half-way is the builder's kill test.)
#include "data/atomic_files.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "support/file_faults.h"

namespace korvel::data {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::set<std::string> Entries(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
    return names;
}

bool Streams(std::string_view name) {
    return name.ends_with(".stream");
}

class AtomicFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::path(::testing::TempDir()) /
              ("korvel_atomic_" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir;
};

TEST_F(AtomicFiles, OnlyRegularFilesAreReplaced) {
    const fs::path fifo = dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    fs::create_symlink("/dev/null", dir / "device");
    fs::create_directory(dir / "folder");
    for (const char* name : {"fifo", "device", "folder"}) {
        const auto error = WriteFileAtomically((dir / name).string(), "x");
        ASSERT_TRUE(error) << name;
        EXPECT_EQ(error->step, FileWriteError::Step::NotRegular) << name;
    }
    EXPECT_EQ(WriteFileAtomically((dir / "fifo").string(), "x")->Reason(), "Not a regular file");
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    EXPECT_EQ(Entries(dir), (std::set<std::string>{"device", "fifo", "folder"}));

    // A link to a regular file is followed; a prepared file that is dropped changes nothing.
    WriteAll(dir / "real", "old");
    fs::create_symlink("real", dir / "link");
    EXPECT_FALSE(WriteFileAtomically((dir / "link").string(), "new"));
    EXPECT_TRUE(fs::is_symlink(dir / "link"));
    EXPECT_EQ(ReadAll(dir / "real"), "new");
    { PendingFile dropped = PendingFile::Prepare((dir / "real").string(), "dropped"); }
    EXPECT_EQ(ReadAll(dir / "real"), "new");
    EXPECT_EQ(Entries(dir).size(), 5u);
}

// A secret key must not stay readable by others because an older file was; a launcher must
// be executable whatever the umask says.
TEST_F(AtomicFiles, GivenPermissionsHoldOverTheUmaskAndTheOldFile) {
    const auto mode = [](const fs::path& p) {
        struct stat st {};
        return ::stat(p.c_str(), &st) == 0 ? st.st_mode & 07777 : 0u;
    };
    const fs::path key = dir / "secret", launcher = dir / "app.desktop";
    WriteAll(key, "old");
    fs::permissions(key, fs::perms(0644));
    const mode_t mask = ::umask(077);
    EXPECT_FALSE(WriteFileAtomically(key.string(), "new", 0600));
    EXPECT_FALSE(WriteFileAtomically(launcher.string(), "x", 0755));
    EXPECT_EQ(mode(launcher), 0755u);
    fs::permissions(launcher, fs::perms(0700));
    EXPECT_FALSE(WriteFileAtomically(launcher.string(), "y"));  // no mode: the old file's
    ::umask(mask);
    EXPECT_EQ(mode(key), 0600u);
    EXPECT_EQ(ReadAll(key), "new");
    EXPECT_EQ(mode(launcher), 0700u);
    EXPECT_EQ(Entries(dir), (std::set<std::string>{"app.desktop", "secret"}));
}

TEST_F(AtomicFiles, FolderIsReplacedWholeWithoutFollowingLinksInside) {
    const fs::path out = dir / "out";
    {
        FolderReplacement first(out.string(), Streams);
        ASSERT_FALSE(first.Begin());
        ASSERT_FALSE(first.Add("A.stream", "one"));
        ASSERT_FALSE(first.Add("B.stream", "one"));
        EXPECT_FALSE(fs::exists(out));  // nothing there before the commit
        ASSERT_FALSE(first.Commit());
    }
    // A link inside the old folder that points elsewhere: removed as a link, its target kept.
    WriteAll(dir / "elsewhere", "keep");
    fs::create_symlink(dir / "elsewhere", out / "C.stream");
    {
        FolderReplacement second((out.string() + "/"), Streams);
        ASSERT_FALSE(second.Begin());
        ASSERT_FALSE(second.Add("A.stream", "two"));
        ASSERT_FALSE(second.Commit());
    }
    EXPECT_EQ(Entries(out), std::set<std::string>{"A.stream"});  // stale files gone
    EXPECT_EQ(ReadAll(out / "A.stream"), "two");
    EXPECT_EQ(ReadAll(dir / "elsewhere"), "keep");
    EXPECT_EQ(Entries(dir), (std::set<std::string>{"elsewhere", "out"}));

    // Dropped before its commit: the old folder stays, and nothing is left beside it.
    {
        FolderReplacement dropped(out.string(), Streams);
        ASSERT_FALSE(dropped.Begin());
        ASSERT_FALSE(dropped.Add("A.stream", "three"));
        EXPECT_TRUE(dropped.Add("../escape", "x"));
    }
    EXPECT_EQ(ReadAll(out / "A.stream"), "two");
    EXPECT_EQ(Entries(dir), (std::set<std::string>{"elsewhere", "out"}));
}

TEST_F(AtomicFiles, FolderWithForeignFilesOrNoFolderIsRefused) {
    fs::create_directories(dir / "home" / "sub");
    WriteAll(dir / "home" / "A.stream", "mine");
    WriteAll(dir / "file", "a file");
    for (const char* name : {"home", "file"}) {
        FolderReplacement r((dir / name).string(), Streams);
        const auto error = r.Begin();
        ASSERT_TRUE(error) << name;
        EXPECT_NE(error->find((dir / name).string()), std::string::npos) << *error;
    }
    EXPECT_EQ(ReadAll(dir / "home" / "A.stream"), "mine");
    EXPECT_EQ(ReadAll(dir / "file"), "a file");
    EXPECT_EQ(Entries(dir), (std::set<std::string>{"file", "home"}));
}

// The id of a process that has ended, for leftovers of a killed run.
long DeadPid() {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(0);
    ::waitpid(pid, nullptr, 0);
    return pid;
}

TEST_F(AtomicFiles, LeftoversOfAKilledRunAreCleanedOrPutBack) {
    const long dead = DeadPid();
    const fs::path out = dir / "out";
    // Killed between moving the old folder aside and moving the new one in.
    fs::create_directories(dir / (".out.korvel-old-" + std::to_string(dead)));
    WriteAll(dir / (".out.korvel-old-" + std::to_string(dead)) / "A.stream", "old");
    fs::create_directories(dir / (".out.korvel-new-" + std::to_string(dead)));
    WriteAll(dir / (".out.korvel-new-" + std::to_string(dead)) / "A.stream", "half");
    // A run that is still going keeps its folder.
    const fs::path alive = dir / (".out.korvel-new-" + std::to_string(::getppid()));
    fs::create_directories(alive);
    {
        FolderReplacement r(out.string(), Streams);
        ASSERT_FALSE(r.Begin());
        EXPECT_EQ(ReadAll(out / "A.stream"), "old");
    }
    EXPECT_EQ(Entries(dir), (std::set<std::string>{"out", alive.filename().string()}));

    // A single file's temporary copies: those of the dead run go with the next write of the
    // same file; a live run's, another file's and look-alike names stay.
    fs::remove_all(alive);
    fs::remove_all(out);
    const std::string live = "x.csv.~" + std::to_string(::getppid()) + "-0";
    for (const std::string& name :
         std::vector<std::string>{"x.csv.~" + std::to_string(dead) + "-3", live,
                                  "y.csv.~" + std::to_string(dead) + "-0", "x.csv.~12ab-0"}) {
        WriteAll(dir / name, "half");
    }
    ASSERT_FALSE(WriteFileAtomically((dir / "x.csv").string(), "whole"));
    EXPECT_EQ(Entries(dir),
              (std::set<std::string>{"x.csv", live, "y.csv.~" + std::to_string(dead) + "-0",
                                     "x.csv.~12ab-0"}));
}

// A flush or rename of a folder's swap that fails is an error, and the old folder stays.
TEST_F(AtomicFiles, FailedFlushOrRenameIsAnErrorAndKeepsTheOldFolder) {
    using test::FileFault;
    const fs::path out = dir / "out";
    fs::create_directories(out);
    WriteAll(out / "A.stream", "old");
    const FileFault faults[] = {
        {FileFault::Call::Fsync, dir.filename().string(), EIO},
        {FileFault::Call::Fsync, ".out.korvel-new-" + std::to_string(::getpid()), EIO},
        {FileFault::Call::Rename, "/out", ENOSPC}};
    for (const FileFault& fault : faults) {
        FolderReplacement r(out.string(), Streams);
        ASSERT_FALSE(r.Begin());
        ASSERT_FALSE(r.Add("A.stream", "new"));
        test::FileFaultScope scope(fault);
        EXPECT_TRUE(r.Commit()) << fault.pathEnd;
        EXPECT_TRUE(scope.Hit()) << fault.pathEnd;
        EXPECT_EQ(ReadAll(out / "A.stream"), "old") << fault.pathEnd;
    }
    EXPECT_EQ(Entries(dir), std::set<std::string>{"out"});

    // Swapped in, then taken back: over an old folder, and where there was none.
    for (const bool existed : {true, false}) {
        FolderReplacement r(out.string(), Streams);
        ASSERT_FALSE(r.Begin());
        ASSERT_FALSE(r.Add("A.stream", "new"));
        ASSERT_FALSE(r.Swap());
        EXPECT_EQ(ReadAll(out / "A.stream"), "new");
        ASSERT_FALSE(r.Undo());
        EXPECT_EQ(Entries(dir), existed ? std::set<std::string>{"out"} : std::set<std::string>{});
        if (existed) {
            EXPECT_EQ(ReadAll(out / "A.stream"), "old");
        }
        fs::remove_all(out);
    }
}

}  // namespace
}  // namespace korvel::data
