// The start-up version check without any network code: where to probe and fetch, and how
// the outcome (probe result plus one HTTP GET) becomes the text of the version label.
// The Qt thread in online/qt/ does the networking and hands the label text to the window.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

namespace korvel {

// The program's own release, also shown in the status bar as "当前版本:" + version.
inline constexpr std::string_view ProgramVersion = "2011.09.30";

// Set once by the version-check thread when the connection probe succeeds; read by the web
// panels. False until then, never cleared again.
extern std::atomic<bool> IsOnline;

// Label texts (GBK).
std::string VersionCheckingText();  // "版本检测中...", the label before the check ends
std::string NotConnectedText();     // "网络未连通，无法获取最新版本信息。"
std::string UpToDateText();         // "当前已是最新版本，无需升级。"
std::string NewVersionText(std::string_view version);  // "发现新版本:" v "，请及时升级。"
// "当前版本:" + ProgramVersion, the first status-bar panel.
std::string StatusVersionText();

// At most this many body bytes are read; a longer answer is not a version file.
inline constexpr std::size_t kMaxVersionBodyBytes = 4096;

// Where and how the check connects. Defaults are the public addresses; the environment can
// point them elsewhere (tests use a server on 127.0.0.1):
//   KORVEL_PROBE_HOST       host or host:port of the connection probe
//   KORVEL_VERSION_URL      full address of the version file
//   KORVEL_NET_TIMEOUT_MS   time-out of the whole GET (connect, headers and body)
//   KORVEL_PROBE_TIMEOUT_MS time-out of the probe's TCP connect
struct VersionCheckConfig {
    std::string probeHost;
    int probePort = 80;
    std::string versionUrl;
    std::chrono::milliseconds probeTimeout{3000};
    std::chrono::milliseconds requestTimeout{15000};
    std::string userAgent = "Mozilla/3.0 (compatible; Indy Library)";
    std::string accept = "text/html, */*";
    std::string contentType = "text/html";
};

VersionCheckConfig DefaultVersionCheckConfig();
// The defaults with every variable above that is set (and valid) applied.
VersionCheckConfig VersionCheckConfigFromEnv();

// What the single GET produced.
struct HttpOutcome {
    bool completed = false;  // a response arrived in full (false: refused, timed out, broken)
    int status = 0;          // HTTP status when a response arrived
    std::string body;        // the body bytes read, at most kMaxVersionBodyBytes
    bool oversized = false;  // the server sent more than kMaxVersionBodyBytes
};

enum class VersionVerdict { NotConnected, UpToDate, NewVersion };

struct VersionDecision {
    VersionVerdict verdict = VersionVerdict::NotConnected;
    std::string version;  // the published version (UpToDate and NewVersion)
    std::string label;    // the text for the version label (GBK)
};

// The published version text out of a body: a UTF-8 byte-order mark and surrounding blanks
// and line breaks removed. The result is returned as it stands, valid or not.
std::string CleanVersionBody(std::string_view body);

// True for the ten-character form YYYY.MM.DD: digits with points at positions 4 and 7.
bool IsVersionText(std::string_view text);

// The label for the outcome of the check. Offline, any failed or non-200 GET, an oversized
// body or a body that is not one YYYY.MM.DD text all give the not-connected text. A version
// later than `ownVersion` (same-form texts compare in date order) is announced as new; the
// same or an earlier one gives the up-to-date text.
VersionDecision DecideVersion(bool online, const HttpOutcome& http,
                              std::string_view ownVersion = ProgramVersion);

}  // namespace korvel
