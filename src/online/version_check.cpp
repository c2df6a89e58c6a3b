#include "online/version_check.h"

#include <cctype>
#include <cstdlib>

#include "data/decimal.h"
#include "data/gbk.h"
#include "online/web_panels.h"

namespace korvel {

std::atomic<bool> IsOnline{false};

std::string VersionCheckingText() {
    return Utf8ToGbk("版本检测中...");
}
std::string NotConnectedText() {
    return Utf8ToGbk("网络未连通，无法获取最新版本信息。");
}
std::string UpToDateText() {
    return Utf8ToGbk("当前已是最新版本，无需升级。");
}

std::string NewVersionText(std::string_view version) {
    return Utf8ToGbk("发现新版本:") + std::string(version) + Utf8ToGbk("，请及时升级。");
}

std::string StatusVersionText() {
    return Utf8ToGbk("当前版本:") + std::string(ProgramVersion);
}

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// A positive decimal number from the environment, or 0 when unset or not a number.
long EnvMillis(const char* name) {
    const char* v = std::getenv(name);
    if (v == nullptr || *v == '\0') return 0;
    const long value = WholeInteger<long>(v).value_or(0);
    return value > 0 ? value : 0;
}

}  // namespace

VersionCheckConfig DefaultVersionCheckConfig() {
    VersionCheckConfig config;
    config.probeHost = std::string(kProbeHost);
    config.probePort = 80;
    config.versionUrl = std::string(kVersionFileUrl);
    return config;
}

VersionCheckConfig VersionCheckConfigFromEnv() {
    VersionCheckConfig config = DefaultVersionCheckConfig();
    if (const char* probe = std::getenv("KORVEL_PROBE_HOST"); probe != nullptr && *probe) {
        std::string_view text(probe);
        std::size_t colon = text.rfind(':');
        if (colon != std::string_view::npos && text.find(':') == colon) {
            const int port = WholeInteger<int>(text.substr(colon + 1)).value_or(0);
            if (port > 0 && port < 65536) {
                config.probeHost = std::string(text.substr(0, colon));
                config.probePort = port;
            }
        } else {
            config.probeHost = std::string(text);
        }
    }
    if (const char* url = std::getenv("KORVEL_VERSION_URL"); url != nullptr && *url) {
        config.versionUrl = url;
    }
    if (long ms = EnvMillis("KORVEL_NET_TIMEOUT_MS")) {
        config.requestTimeout = std::chrono::milliseconds(ms);
    }
    if (long ms = EnvMillis("KORVEL_PROBE_TIMEOUT_MS")) {
        config.probeTimeout = std::chrono::milliseconds(ms);
    }
    return config;
}

std::string CleanVersionBody(std::string_view body) {
    if (body.substr(0, 3) == "\xEF\xBB\xBF") body.remove_prefix(3);
    while (!body.empty() && IsBlank(body.front())) body.remove_prefix(1);
    while (!body.empty() && IsBlank(body.back())) body.remove_suffix(1);
    return std::string(body);
}

bool IsVersionText(std::string_view text) {
    if (text.size() != 10) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i == 4 || i == 7) {
            if (text[i] != '.') return false;
        } else if (!std::isdigit(static_cast<unsigned char>(text[i]))) {
            return false;
        }
    }
    return true;
}

VersionDecision DecideVersion(bool online, const HttpOutcome& http, std::string_view ownVersion) {
    VersionDecision decision;
    decision.label = NotConnectedText();
    if (!online || !http.completed || http.status != 200 || http.oversized ||
        http.body.size() > kMaxVersionBodyBytes) {
        return decision;
    }
    // The file is UTF-8; a valid version is plain ASCII, so it needs no conversion and
    // anything else fails the form test below.
    std::string version = CleanVersionBody(http.body);
    if (!IsVersionText(version)) return decision;
    decision.version = version;
    // Same-form texts with zero-padded fields sort like the dates they name.
    if (version > ownVersion) {
        decision.verdict = VersionVerdict::NewVersion;
        decision.label = NewVersionText(version);
    } else {
        decision.verdict = VersionVerdict::UpToDate;
        decision.label = UpToDateText();
    }
    return decision;
}

}  // namespace korvel
