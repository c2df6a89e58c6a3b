// The whole version check against a real HTTP server on 127.0.0.1: the probe, one GET with
// its client settings, and the label handed over to the window's thread.
#include "online/version_check.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>

#include "data/gbk.h"
#include "online/qt/version_thread.h"
#include "test_version_server.h"

namespace korvel::ui {
namespace {

using testing::RefusingPort;
using testing::ServerMode;
using testing::TestHttpServer;
using namespace std::chrono_literals;

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "test_version_check";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

const std::string kNotConnected = Utf8ToGbk("网络未连通，无法获取最新版本信息。");
const std::string kUpToDate = Utf8ToGbk("当前已是最新版本，无需升级。");
std::string NewVersion(const std::string& v) {
    return Utf8ToGbk("发现新版本:") + v + Utf8ToGbk("，请及时升级。");
}

// --- against a real server ---

VersionCheckConfig ConfigFor(int port, std::chrono::milliseconds timeout = 3000ms) {
    VersionCheckConfig config = DefaultVersionCheckConfig();
    config.probeHost = "127.0.0.1";
    config.probePort = port;
    config.versionUrl = "http://127.0.0.1:" + std::to_string(port) + "/korvelver.txt";
    config.probeTimeout = 1000ms;
    config.requestTimeout = timeout;
    return config;
}

std::string LabelFromServer(ServerMode mode, const std::string& response,
                            std::chrono::milliseconds timeout = 3000ms) {
    App();
    TestHttpServer server(mode, response);
    VersionCheckConfig config = ConfigFor(server.Port(), timeout);
    return DecideVersion(ProbeConnection(config), FetchVersionFile(config)).label;
}

std::string Ok200(const std::string& body) {
    return TestHttpServer::Response(200, body);
}

TEST(VersionFetchTest, PublishedVersionsGiveTheirLabels) {
    EXPECT_EQ(LabelFromServer(ServerMode::Respond, Ok200("2011.09.30")), kUpToDate);
    EXPECT_EQ(LabelFromServer(ServerMode::Respond, Ok200("2011.12.01")), NewVersion("2011.12.01"));
    EXPECT_EQ(LabelFromServer(ServerMode::Respond, Ok200("2011.01.01")), kUpToDate);
    EXPECT_EQ(LabelFromServer(ServerMode::Respond, Ok200("2011.12.01\r\n")),
              NewVersion("2011.12.01"));
    EXPECT_EQ(LabelFromServer(ServerMode::Respond, Ok200("\xEF\xBB\xBF"
                                                         "2011.12.01")),
              NewVersion("2011.12.01"));
}

TEST(VersionFetchTest, ServerFailuresGiveTheNotConnectedText) {
    // The file missing, even with a body that looks like a version.
    EXPECT_EQ(LabelFromServer(ServerMode::Respond, TestHttpServer::Response(404, "2011.12.01")),
              kNotConnected);
    EXPECT_EQ(LabelFromServer(ServerMode::Respond, TestHttpServer::Response(500, "")),
              kNotConnected);
    // Not HTTP at all.
    EXPECT_EQ(LabelFromServer(ServerMode::Respond, "SSH-2.0-OpenSSH\r\ngarbage\r\n\r\n"),
              kNotConnected);
    // The connection closes after 10 of the 14 announced bytes: a full version text arrived,
    // but the transfer broke.
    EXPECT_EQ(LabelFromServer(ServerMode::Respond,
                              "HTTP/1.1 200 OK\r\nContent-Length: 14\r\n\r\n2011.12.01"),
              kNotConnected);
    // A page far larger than a version file is cut off and rejected.
    EXPECT_EQ(LabelFromServer(ServerMode::Respond, Ok200(std::string(200000, 'x'))), kNotConnected);
    EXPECT_EQ(LabelFromServer(ServerMode::Respond, Ok200("2011.12.01" + std::string(5000, ' '))),
              kNotConnected);
}

TEST(VersionFetchTest, OversizedBodyIsNotReadToTheEnd) {
    App();
    TestHttpServer server(ServerMode::Respond, Ok200(std::string(1 << 20, 'x')));
    HttpOutcome outcome = FetchVersionFile(ConfigFor(server.Port()));
    EXPECT_TRUE(outcome.oversized);
    EXPECT_FALSE(outcome.completed);
    EXPECT_LE(outcome.body.size(), kMaxVersionBodyBytes);
}

TEST(VersionFetchTest, BrokenTransferIsNotComplete) {
    App();
    TestHttpServer server(ServerMode::Respond,
                          "HTTP/1.1 200 OK\r\nContent-Length: 14\r\n\r\n2011.12.01");
    HttpOutcome outcome = FetchVersionFile(ConfigFor(server.Port()));
    EXPECT_FALSE(outcome.completed);
    TestHttpServer garbage(ServerMode::Respond, "garbage\r\n\r\n");
    EXPECT_FALSE(FetchVersionFile(ConfigFor(garbage.Port())).completed);
}

TEST(VersionFetchTest, SilentServerTimesOut) {
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(LabelFromServer(ServerMode::Silent, "", 400ms), kNotConnected);
    EXPECT_LT(clock.elapsed(), 3000);
}

// Headers without end, fast or slow, end the exchange by its one deadline at the latest.
TEST(VersionFetchTest, EndlessHeadersStopAtTheDeadline) {
    for (ServerMode mode : {ServerMode::Flood, ServerMode::Trickle}) {
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(LabelFromServer(mode, "", 1000ms), kNotConnected);
        EXPECT_LT(clock.elapsed(), 2500);
    }
}

// Redirects stay with the host first asked: to another port or host they are not followed
// (the other server never hears of it); on the same host and port they are.
TEST(VersionFetchTest, RedirectsLeaveNeitherHostNorPort) {
    App();
    TestHttpServer other(ServerMode::Respond, Ok200("2011.12.01"));
    for (const std::string& to :
         {other.Url(), "http://localhost:" + std::to_string(other.Port()) + "/korvelver.txt"}) {
        TestHttpServer first(ServerMode::Respond,
                             TestHttpServer::Response(302, "", "Location: " + to + "\r\n"));
        const HttpOutcome outcome = FetchVersionFile(ConfigFor(first.Port()));
        EXPECT_FALSE(outcome.completed && outcome.status == 200) << to;
        EXPECT_EQ(DecideVersion(true, outcome).label, kNotConnected) << to;
    }
    EXPECT_TRUE(other.Requests().empty());

    TestHttpServer same(
        ServerMode::Respond,
        std::vector<std::string>{TestHttpServer::Response(301, "", "Location: /moved.txt\r\n"),
                                 Ok200("2011.12.01")});
    const HttpOutcome moved = FetchVersionFile(ConfigFor(same.Port()));
    EXPECT_EQ(DecideVersion(true, moved).label, NewVersion("2011.12.01"));
    ASSERT_EQ(same.Requests().size(), 2u);
    EXPECT_EQ(same.Requests()[1].rfind("GET /moved.txt ", 0), 0u) << same.Requests()[1];
}

TEST(VersionFetchTest, RefusedConnectionIsOffline) {
    App();
    VersionCheckConfig config = ConfigFor(RefusingPort());
    EXPECT_FALSE(ProbeConnection(config));
    HttpOutcome outcome = FetchVersionFile(config);
    EXPECT_FALSE(outcome.completed);
    EXPECT_EQ(DecideVersion(true, outcome).label, kNotConnected);
}

TEST(VersionFetchTest, RequestCarriesTheClientSettings) {
    App();
    TestHttpServer server(ServerMode::Respond, Ok200("2011.09.30"));
    HttpOutcome outcome = FetchVersionFile(ConfigFor(server.Port()));
    EXPECT_TRUE(outcome.completed);
    EXPECT_EQ(outcome.status, 200);
    EXPECT_EQ(outcome.body, "2011.09.30");
    ASSERT_EQ(server.Requests().size(), 1u);
    const std::string request = server.Requests().front();
    EXPECT_EQ(request.rfind("GET /korvelver.txt HTTP/1.1\r\n", 0), 0u) << request;
    EXPECT_NE(request.find("User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n"),
              std::string::npos)
        << request;
    EXPECT_NE(request.find("Accept: text/html, */*\r\n"), std::string::npos) << request;
}

// --- the thread ---

struct ThreadResult {
    std::string label;
    bool online = false;
    int labels = 0;
};

ThreadResult RunThread(const VersionCheckConfig& config) {
    App();
    std::atomic<bool> online{false};
    ThreadResult result;
    QObject receiver;
    VersionCheckThread* thread = VersionCheckThread::Start(
        &receiver,
        [&](const std::string& label) {
            result.label = label;
            ++result.labels;
        },
        config, &online);
    QElapsedTimer clock;
    clock.start();
    while (result.labels == 0 && clock.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    (void)thread;
    // The thread deletes itself once it has finished.
    QCoreApplication::processEvents();
    result.online = online.load();
    return result;
}

TEST(VersionCheckThreadTest, HandsTheLabelToTheWindowThreadAndSetsOnline) {
    TestHttpServer server(ServerMode::Respond, Ok200("2011.12.01"));
    ThreadResult result = RunThread(ConfigFor(server.Port()));
    EXPECT_EQ(result.labels, 1);
    EXPECT_EQ(result.label, NewVersion("2011.12.01"));
    EXPECT_TRUE(result.online);
    // One connection for the probe, one for the GET.
    EXPECT_EQ(server.Connections(), 2);
}

TEST(VersionCheckThreadTest, FailedProbeMeansOfflineAndNoRequest) {
    ThreadResult result = RunThread(ConfigFor(RefusingPort()));
    EXPECT_EQ(result.label, kNotConnected);
    EXPECT_FALSE(result.online);
}

TEST(VersionCheckThreadTest, OnlineButFileMissingKeepsOnline) {
    TestHttpServer server(ServerMode::Respond, TestHttpServer::Response(404, "not here"));
    ThreadResult result = RunThread(ConfigFor(server.Port()));
    EXPECT_EQ(result.label, kNotConnected);
    EXPECT_TRUE(result.online);
}

TEST(VersionCheckThreadTest, DestroyingTheOwnerStopsAHangingCheck) {
    App();
    TestHttpServer server(ServerMode::Silent, "");
    std::atomic<bool> online{false};
    int labels = 0;
    QElapsedTimer clock;
    {
        QObject owner;
        VersionCheckThread::Start(
            &owner, [&](const std::string&) { ++labels; }, ConfigFor(server.Port(), 15000ms),
            &online);
        while (server.Requests().empty() && clock.elapsed() < 5000) {
            std::this_thread::sleep_for(10ms);
        }
        clock.start();
    }  // the owner deletes the thread, which gives up at once
    EXPECT_LT(clock.elapsed(), 2000);
    QCoreApplication::processEvents();
    EXPECT_EQ(labels, 0);
    EXPECT_TRUE(online.load());
}

}  // namespace
}  // namespace korvel::ui
