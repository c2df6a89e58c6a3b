// The publisher's and the traveller's commands as processes: keygen and pack with
// korvel-ttbuild, the folder served over HTTP on 127.0.0.1, then
// korvel-cli update, load and timetables against it, in a private XDG_DATA_HOME.
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "support/cli_run.h"
#include "support/loopback_server.h"
#include "update/catalogue.h"
#include "update/package.h"

namespace korvel::update_test {
namespace {

namespace fs = std::filesystem;
using cli_test::CliRun;
using cli_test::RunCli;
using namespace korvel::update;

// The folder as a publisher's web site: each request's path read from it afresh, so that a
// file changed between two requests is served changed.
class StaticServer {
  public:
    explicit StaticServer(std::string folder) : folder_(std::move(folder)) {}
    std::string Url() const { return server_.Url("/catalogue.json"); }

  private:
    void Answer(int fd, const std::string& request) {
        const std::string path = test::LoopbackServer::PathOf(request);
        std::ifstream in(folder_ + path, std::ios::binary);
        if (path.find("..") != std::string::npos || !in) {
            test::LoopbackServer::SendAll(
                fd, "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
            return;
        }
        const std::string body((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
        test::LoopbackServer::SendAll(
            fd, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                    "\r\nConnection: close\r\n\r\n" + body);
    }

    std::string folder_;
    test::LoopbackServer server_{[this](int fd, const std::string& r) { Answer(fd, r); }};
};

int RunQuiet(const std::string& command) {
    const int status = std::system((command + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(UpdateCommands, PublishServeInstallRefuseTamperedAndChoose) {
    char pattern[] = "/tmp/korvel_update_cli_XXXXXX";
    const std::string dir = ::mkdtemp(pattern);
    ::setenv("XDG_DATA_HOME", (dir + "/xdg").c_str(), 1);
    const std::string tt = std::string("'") + KORVEL_TTBUILD_PATH + "' ";
    const std::string pub = dir + "/pub", sec = dir + "/sec", site = dir + "/site";
    ASSERT_EQ(RunQuiet(tt + "keygen --public " + pub + " --secret " + sec), 0);
    EXPECT_EQ(RunQuiet(tt + "keygen --public " + pub + " --secret " + sec),
              1);  // never overwritten
    const std::string pack =
        tt + "pack " + KORVEL_SAMPLE_STREAMS + " --secret " + sec + " --out " + site + " --name ";
    ASSERT_EQ(RunQuiet(pack + "s-1"), 0);
    EXPECT_EQ(RunQuiet(pack + "../s"), 2);
    StaticServer server(site);
    const std::string update = "update --catalogue " + server.Url() + " --public-key " + pub;

    // A catalogue lives a week unless the publisher says otherwise.
    std::string text, error;
    ASSERT_TRUE(ReadWholeFile(site + "/catalogue.json", text));
    const auto catalogue = ParseCatalogue(text, error);
    ASSERT_TRUE(catalogue) << error;
    EXPECT_EQ(catalogue->expires - catalogue->published, 7 * 86400);

    auto r = RunCli(update);
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_NE(r.out.find("installed timetable s-1"), std::string::npos) << r.out;
    const std::string age = "catalogue published " + FormatUtcTime(catalogue->published);
    EXPECT_NE(r.out.find(age), std::string::npos) << r.out;
    EXPECT_NE(RunCli("timetables").out.find("newest catalogue seen: published "),
              std::string::npos);
    r = RunCli("load");
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_NE(r.out.find("Timetable: installed s-1"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("(verified against its manifest)"), std::string::npos) << r.out;
    r = RunCli(update);
    EXPECT_EQ(r.rc, 0);
    EXPECT_NE(r.out.find("already the newest timetable: s-1"), std::string::npos) << r.out;

    // A newer package whose bytes were changed after signing is refused; s-1 stays.
    ASSERT_EQ(RunQuiet(pack + "s-2"), 0);
    std::fstream file(site + "/s-2.korvel-tt", std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(200);
    file.put('#');
    file.close();
    r = RunCli(update);
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find("s-2.korvel-tt: SHA-256 differs"), std::string::npos) << r.err;
    EXPECT_NE(RunCli("load").out.find("Timetable: installed s-1"), std::string::npos);
    r = RunCli("update --catalogue " + server.Url());  // the built-in key did not sign it
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find("signature by another key"), std::string::npos) << r.err;
    EXPECT_EQ(RunCli("update --catalogue http://example.org/catalogue.json").rc, 1);
    EXPECT_EQ(RunCli("update --catalogue").rc, 2);

    // A FIFO in place of a stream of the timetable in use: no wait, the embedded timetable
    // answers, and standard error says why.
    const std::string stream = dir + "/xdg/korvel/timetables/s-1/SLIST.stream";
    fs::rename(stream, stream + ".kept");
    ASSERT_EQ(::mkfifo(stream.c_str(), 0600), 0);
    r = RunCli("load");
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out.find("installed"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("s-1 cannot be used (SLIST.stream: not a regular file); using the "
                         "embedded timetable"),
              std::string::npos)
        << r.err;
    fs::remove(stream);
    fs::rename(stream + ".kept", stream);

    // --timetable overrides the choice; then the choice itself changes.
    r = RunCli(std::string("--timetable ") + KORVEL_SAMPLE_STREAMS + " load");
    EXPECT_NE(r.out.find("Timetable folder:"), std::string::npos) << r.out;
    EXPECT_EQ(RunCli("timetables use ../s-1").rc, 2);
    r = RunCli("timetables use s-9");  // never installed: said so, not a damaged manifest
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find("s-9: no such installed timetable"), std::string::npos) << r.err;
    EXPECT_EQ(RunCli("timetables remove s-1").rc, 1);  // in use
    EXPECT_EQ(RunCli("timetables use embedded").rc, 0);
    r = RunCli("timetables");
    EXPECT_NE(r.out.find("* embedded"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("  s-1  sequence 1"), std::string::npos) << r.out;
    EXPECT_EQ(RunCli("timetables remove s-1").rc, 0);
    EXPECT_EQ(RunCli("load").out.find("installed"), std::string::npos);
    ::unsetenv("XDG_DATA_HOME");
    fs::remove_all(dir);
}

struct ToolRun {
    int rc = -1;
    std::string err;
};

// A shell command with a time limit, so that a read that blocks fails the test, not the run.
ToolRun RunTool(const std::string& command, const std::string& errFile) {
    const int status =
        std::system(("timeout 20 " + command + " >/dev/null 2>'" + errFile + "'").c_str());
    ToolRun r;
    r.rc = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.err = cli_test::Slurp(errFile);
    return r;
}

// Every file the publisher's and the traveller's commands are given is read only when it is a
// regular file of a sane size: a FIFO would block them for ever, /dev/zero fill the memory.
TEST(UpdateCommands, NamedFilesThatAreNotRegularAreRefusedAtOnce) {
    char pattern[] = "/tmp/korvel_update_fifo_XXXXXX";
    const std::string dir = ::mkdtemp(pattern);
    ::setenv("XDG_DATA_HOME", (dir + "/xdg").c_str(), 1);
    const std::string fifo = dir + "/fifo", errFile = dir + "/err";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string tt = std::string("'") + KORVEL_TTBUILD_PATH + "' ";
    const std::string pub = dir + "/pub", sec = dir + "/sec";
    ASSERT_EQ(RunQuiet(tt + "keygen --public " + pub + " --secret " + sec), 0);
    auto pack = [&](const std::string& folder, const std::string& secret) {
        return RunTool(
            tt + "pack " + folder + " --name p --out " + dir + "/site --secret " + secret, errFile);
    };
    for (const std::string& special : {fifo, std::string("/dev/zero")}) {
        ToolRun r = pack(KORVEL_SAMPLE_STREAMS, special);
        EXPECT_EQ(r.rc, 1) << special;
        EXPECT_NE(r.err.find(special + ": not a regular file"), std::string::npos) << r.err;
        const CliRun c =
            RunCli("update --catalogue http://127.0.0.1:1/c.json --public-key " + special);
        EXPECT_EQ(c.rc, 1) << special;
        EXPECT_NE(c.err.find(special + ": not a regular file"), std::string::npos) << c.err;
    }
    // A stream, then the manifest, replaced by the FIFO.
    for (const char* file : {"SM.stream", "manifest.txt"}) {
        const std::string folder = dir + "/tt-" + file;
        fs::create_directories(folder);
        for (const auto& e : fs::directory_iterator(KORVEL_SAMPLE_STREAMS)) {
            fs::copy_file(e.path(), folder + "/" + e.path().filename().string());
        }
        fs::remove(folder + "/" + file);
        fs::create_symlink(fifo, folder + "/" + file);
        const ToolRun r = pack(folder, sec);
        EXPECT_EQ(r.rc, 1) << file;
        EXPECT_NE(r.err.find(std::string(file) + ": not a regular file"), std::string::npos)
            << r.err;
    }
    ::unsetenv("XDG_DATA_HOME");
    fs::remove_all(dir);
}

}  // namespace
}  // namespace korvel::update_test
