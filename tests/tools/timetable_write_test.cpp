// korvel-ttbuild's output folder is the old one or the new one, whole: a build stopped while
// writing (here by a file-size limit, at several byte counts) or refused at the end (a report
// that cannot be written) leaves the old folder as it was. Sources that are no files are
// refused with a message, never read or waited on.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

using Folder = std::map<std::string, std::string>;

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

Folder ReadFolder(const fs::path& dir) {
    Folder files;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec)) {
        files[e.path().filename().string()] = Slurp(e.path());
    }
    return files;
}

struct BuildRun {
    int rc = -1;      // exit status, or -1 when killed
    int signal = 0;   // the signal that ended it
    std::string err;  // standard error
};

// Runs the builder with its file sizes limited to `maxFileBytes` (0: no limit); a write past
// the limit ends it with SIGXFSZ, as a kill at that point would.
BuildRun Build(const std::vector<std::string>& args, rlim_t maxFileBytes = 0) {
    const fs::path errPath = fs::path(::testing::TempDir()) /
                             ("korvel_ttbuild_write-" + std::to_string(::getpid()) + ".err");
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(null, 1);
        ::dup2(err, 2);
        if (maxFileBytes > 0) {
            const rlimit limit{maxFileBytes, maxFileBytes};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        std::vector<char*> argv{const_cast<char*>(KORVEL_TTBUILD_PATH)};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    BuildRun r;
    if (WIFEXITED(status)) r.rc = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) r.signal = WTERMSIG(status);
    r.err = Slurp(errPath);
    return r;
}

class TimetableWrite : public ::testing::Test {
  protected:
    void SetUp() override {
        // One folder per process: two checkouts' test runs share the temporary folder.
        dir =
            fs::path(::testing::TempDir()) / ("korvel_ttbuild_write-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir / "work");
        // A second stop list: the sample's with one train more, so that the old and the new
        // folder differ in every stream.
        const fs::path stops = fs::path(KORVEL_SAMPLE_SOURCE) / "timetable-2019" / "stops.csv";
        newer = dir / "newer.csv";
        fs::copy_file(stops, newer);
        std::ofstream(newer, std::ios::binary | std::ios::app)
            << "K9999,1,太原,-99:00,06:00,1,0\nK9999,2,上海,20:00,-99:00,1,1497\n";
    }
    void TearDown() override { fs::remove_all(dir); }

    std::vector<std::string> Args(const fs::path& out, bool newerStops) const {
        std::vector<std::string> a = {"--source", KORVEL_SAMPLE_SOURCE, "--sample", "--out",
                                      out.string()};
        if (newerStops) a.insert(a.end(), {"--stops", newer.string()});
        return a;
    }

    fs::path dir, newer;
};

TEST_F(TimetableWrite, StoppedAtAnyByteLeavesTheOldFolderOrTheNewOneWhole) {
    ASSERT_EQ(Build(Args(dir / "old", false)).rc, 0);
    ASSERT_EQ(Build(Args(dir / "new", true)).rc, 0);
    const Folder oldFolder = ReadFolder(dir / "old");
    const Folder newFolder = ReadFolder(dir / "new");
    ASSERT_EQ(oldFolder.size(), 5u);  // four streams and the manifest
    ASSERT_NE(oldFolder, newFolder);

    const fs::path out = dir / "work" / "out";
    int killed = 0;
    for (rlim_t limit : {1, 700, 2000, 2700, 5000, 7800, 9000, 1 << 20}) {
        fs::remove_all(out);
        fs::copy(dir / "old", out);
        const BuildRun r = Build(Args(out, true), limit);
        const Folder left = ReadFolder(out);
        if (r.rc == 0) {
            EXPECT_EQ(left, newFolder) << "limit " << limit;
        } else {
            EXPECT_EQ(r.signal, SIGXFSZ) << "limit " << limit << ": " << r.err;
            EXPECT_EQ(left, oldFolder) << "limit " << limit;
            ++killed;
        }
    }
    EXPECT_GE(killed, 5);
    // A first build stopped half-way leaves no folder at all rather than part of one.
    fs::remove_all(out);
    EXPECT_EQ(Build(Args(out, true), 3000).signal, SIGXFSZ);
    EXPECT_FALSE(fs::exists(out));
    // The next run tidies what the stopped ones left beside the folder.
    ASSERT_EQ(Build(Args(out, true)).rc, 0);
    EXPECT_EQ(ReadFolder(out), newFolder);
    std::vector<std::string> beside;
    for (const auto& e : fs::directory_iterator(dir / "work")) {
        beside.push_back(e.path().filename().string());
    }
    EXPECT_EQ(beside, std::vector<std::string>{"out"});
}

TEST_F(TimetableWrite, FailingReportOrForeignFolderLeavesTheOldFolder) {
    const fs::path out = dir / "work" / "out";
    std::vector<std::string> first = Args(out, false);
    first.insert(first.end(), {"--report", (out / "report.txt").string()});
    ASSERT_EQ(Build(first).rc, 0);
    const Folder before = ReadFolder(out);
    ASSERT_EQ(before.size(), 6u);  // the report lies inside and is replaced with the streams

    std::vector<std::string> badReport = Args(out, true);
    badReport.insert(badReport.end(), {"--report", (dir / "missing" / "r.txt").string()});
    const BuildRun r = Build(badReport);
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find("r.txt"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFolder(out), before);

    // A folder holding files the builder did not write is not removed to make room.
    std::ofstream(out / "notes.txt") << "mine";
    const BuildRun foreign = Build(Args(out, true));
    EXPECT_EQ(foreign.rc, 1);
    EXPECT_NE(foreign.err.find("notes.txt"), std::string::npos) << foreign.err;
    EXPECT_EQ(Slurp(out / "notes.txt"), "mine");
}

TEST_F(TimetableWrite, SourcesThatAreNoFilesAreRefused) {
    const fs::path out = dir / "work" / "out";
    const fs::path fifo = dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    fs::create_directories(dir / "feed" / "stops.txt");
    // Far larger than any stop list, and sparse: refused before a byte is read.
    const fs::path huge = dir / "huge.csv";
    fs::copy_file(newer, huge);
    fs::resize_file(huge, std::uintmax_t{600} << 20);
    const std::vector<std::vector<std::string>> cases = {
        {"--stops", dir.string()},           {"--stops", "/dev/zero"},
        {"--stops", fifo.string()},          {"--stops", huge.string()},
        {"--gtfs", (dir / "feed").string()},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"--source", KORVEL_SAMPLE_SOURCE, "--out", out.string()};
        if (c[0] == "--gtfs") args = {"--out", out.string()};
        args.insert(args.end(), c.begin(), c.end());
        const BuildRun r = Build(args);
        EXPECT_EQ(r.rc, 1) << c[1] << ": " << r.err;
        EXPECT_NE(r.err.find("korvel-ttbuild: "), std::string::npos) << c[1];
    }
    EXPECT_FALSE(fs::exists(out));

    // An empty stop list name is a usage error, not the default list; help is no error.
    EXPECT_EQ(Build({"--source", KORVEL_SAMPLE_SOURCE, "--out", out.string(), "--stops", ""}).rc,
              2);
    EXPECT_EQ(Build({"--help"}).rc, 0);
    EXPECT_FALSE(fs::exists(out));
}

}  // namespace
