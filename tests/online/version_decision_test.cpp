// The version label decision: published versions, trimming, failures, configuration.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "data/gbk.h"
#include "online/version_check.h"

namespace korvel {
namespace {

using namespace std::chrono_literals;

HttpOutcome Ok(std::string body) {
    HttpOutcome outcome;
    outcome.completed = true;
    outcome.status = 200;
    outcome.body = std::move(body);
    return outcome;
}

const std::string kNotConnected = Utf8ToGbk("网络未连通，无法获取最新版本信息。");
const std::string kUpToDate = Utf8ToGbk("当前已是最新版本，无需升级。");
std::string NewVersion(const std::string& v) {
    return Utf8ToGbk("发现新版本:") + v + Utf8ToGbk("，请及时升级。");
}

TEST(VersionDecisionTest, LabelTextsAreTheProgramsOwnGbkBytes) {
    EXPECT_EQ(NotConnectedText(),
              "\xCD\xF8\xC2\xE7\xCE\xB4\xC1\xAC\xCD\xA8\xA3\xAC\xCE\xDE"
              "\xB7\xA8\xBB\xF1\xC8\xA1\xD7\xEE\xD0\xC2\xB0\xE6\xB1\xBE"
              "\xD0\xC5\xCF\xA2\xA1\xA3");
    EXPECT_EQ(NewVersionText("2011.12.01"),
              "\xB7\xA2\xCF\xD6\xD0\xC2\xB0\xE6\xB1\xBE:2011.12.01\xA3\xAC\xC7\xEB\xBC\xB0"
              "\xCA\xB1\xC9\xFD\xBC\xB6\xA1\xA3");
    EXPECT_EQ(VersionCheckingText(), Utf8ToGbk("版本检测中..."));
    EXPECT_EQ(StatusVersionText(), Utf8ToGbk("当前版本:2011.09.30"));
}

TEST(VersionDecisionTest, ComparesPublishedVersionWithOwnAsDates) {
    EXPECT_EQ(DecideVersion(true, Ok("2011.09.30")).label, kUpToDate);
    VersionDecision newer = DecideVersion(true, Ok("2011.12.01"));
    EXPECT_EQ(newer.verdict, VersionVerdict::NewVersion);
    EXPECT_EQ(newer.version, "2011.12.01");
    EXPECT_EQ(newer.label, NewVersion("2011.12.01"));
    // An older release on the server is no reason to "upgrade".
    EXPECT_EQ(DecideVersion(true, Ok("2011.09.29")).label, kUpToDate);
    EXPECT_EQ(DecideVersion(true, Ok("2010.12.31")).label, kUpToDate);
    EXPECT_EQ(DecideVersion(true, Ok("2012.01.01")).label, NewVersion("2012.01.01"));
}

TEST(VersionDecisionTest, TrimsLineBreaksBlanksAndByteOrderMark) {
    EXPECT_EQ(DecideVersion(true, Ok("2011.12.01\n")).label, NewVersion("2011.12.01"));
    EXPECT_EQ(DecideVersion(true, Ok("2011.12.01\r\n")).label, NewVersion("2011.12.01"));
    EXPECT_EQ(DecideVersion(true, Ok("\xEF\xBB\xBF"
                                     "2011.09.30"))
                  .label,
              kUpToDate);
    EXPECT_EQ(DecideVersion(true, Ok("  \t2011.12.01 \n\n")).label, NewVersion("2011.12.01"));
    // Only one mark at the very start is a byte-order mark.
    EXPECT_EQ(DecideVersion(true, Ok(" \xEF\xBB\xBF"
                                     "2011.12.01"))
                  .label,
              kNotConnected);
}

TEST(VersionDecisionTest, AnythingButOneVersionTextIsNotConnected) {
    EXPECT_EQ(DecideVersion(false, Ok("2011.12.01")).label, kNotConnected);
    for (const char* body : {"", "2011.12.1", "2011.12.011", "2011-12-01", "20111201xx",
                             "<html>404</html>", "2011.12.01\n2012.01.01", "abcd.ef.gh"}) {
        EXPECT_EQ(DecideVersion(true, Ok(body)).label, kNotConnected) << body;
    }
    HttpOutcome notFound = Ok("2011.12.01");
    notFound.status = 404;
    EXPECT_EQ(DecideVersion(true, notFound).label, kNotConnected);
    HttpOutcome broken = Ok("2011.12.01");
    broken.completed = false;
    EXPECT_EQ(DecideVersion(true, broken).label, kNotConnected);
    HttpOutcome oversized = Ok("2011.12.01");
    oversized.oversized = true;
    EXPECT_EQ(DecideVersion(true, oversized).label, kNotConnected);
}

TEST(VersionDecisionTest, EnvironmentPointsTheCheckElsewhere) {
    VersionCheckConfig defaults = DefaultVersionCheckConfig();
    EXPECT_EQ(defaults.versionUrl.substr(defaults.versionUrl.size() - 14), "/korvelver.txt");
    EXPECT_EQ(defaults.requestTimeout, 15000ms);
    EXPECT_EQ(defaults.userAgent, "Mozilla/3.0 (compatible; Indy Library)");
    EXPECT_EQ(defaults.accept, "text/html, */*");

    ::setenv("KORVEL_PROBE_HOST", "127.0.0.1:8081", 1);
    ::setenv("KORVEL_VERSION_URL", "http://127.0.0.1:8081/korvelver.txt", 1);
    ::setenv("KORVEL_NET_TIMEOUT_MS", "250", 1);
    ::setenv("KORVEL_PROBE_TIMEOUT_MS", "nonsense", 1);
    VersionCheckConfig config = VersionCheckConfigFromEnv();
    EXPECT_EQ(config.probeHost, "127.0.0.1");
    EXPECT_EQ(config.probePort, 8081);
    EXPECT_EQ(config.versionUrl, "http://127.0.0.1:8081/korvelver.txt");
    EXPECT_EQ(config.requestTimeout, 250ms);
    EXPECT_EQ(config.probeTimeout, defaults.probeTimeout);
    ::setenv("KORVEL_PROBE_HOST", "localhost", 1);
    EXPECT_EQ(VersionCheckConfigFromEnv().probeHost, "localhost");
    EXPECT_EQ(VersionCheckConfigFromEnv().probePort, 80);
    for (const char* name : {"KORVEL_PROBE_HOST", "KORVEL_VERSION_URL", "KORVEL_NET_TIMEOUT_MS",
                             "KORVEL_PROBE_TIMEOUT_MS"}) {
        ::unsetenv(name);
    }
}

}  // namespace
}  // namespace korvel
