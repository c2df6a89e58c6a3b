// The publisher's and the traveller's commands as processes: keygen and pack with
// korvel-ttbuild, the folder served by python3's static server on 127.0.0.1, then
// korvel-cli update, load and timetables against it, in a private XDG_DATA_HOME.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "support/cli_run.h"

namespace korvel::update_test {
namespace {

namespace fs = std::filesystem;
using cli_test::RunCli;

int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

bool Answers(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

class StaticServer {
  public:
    explicit StaticServer(const std::string& folder) : port_(FreePort()) {
        pid_ = ::fork();
        if (pid_ == 0) {
            ::execlp("python3", "python3", "-m", "http.server", std::to_string(port_).c_str(),
                     "--bind", "127.0.0.1", "--directory", folder.c_str(), nullptr);
            ::_exit(127);
        }
        for (int i = 0; i < 200 && !Answers(port_); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
    }
    ~StaticServer() {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
    std::string Url() const {
        return "http://127.0.0.1:" + std::to_string(port_) + "/catalogue.json";
    }

  private:
    int port_;
    pid_t pid_;
};

int RunQuiet(const std::string& command) {
    const int status = std::system((command + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(UpdateCommands, PublishServeInstallRefuseTamperedAndChoose) {
    if (RunQuiet("python3 -c pass") != 0) GTEST_SKIP() << "no python3";
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

    auto r = RunCli(update);
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_NE(r.out.find("installed timetable s-1"), std::string::npos) << r.out;
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

}  // namespace
}  // namespace korvel::update_test
