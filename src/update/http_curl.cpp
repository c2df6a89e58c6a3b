// The fetcher over libcurl. Redirects are followed here rather than by libcurl so that every
// hop is checked against the address rule before anything is sent to it.
#include <arpa/inet.h>
#include <curl/curl.h>

#include <algorithm>
#include <mutex>

#include "update/catalogue.h"
#include "update/http.h"

namespace korvel::update {
namespace {

struct UrlParts {
    std::string scheme, host;
};

bool SplitUrl(std::string_view url, UrlParts& parts) {
    CURLU* h = curl_url();
    if (!h) return false;
    const std::string text(url);
    bool ok = curl_url_set(h, CURLUPART_URL, text.c_str(), 0) == CURLUE_OK;
    char* scheme = nullptr;
    char* host = nullptr;
    ok = ok && curl_url_get(h, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK &&
         curl_url_get(h, CURLUPART_HOST, &host, 0) == CURLUE_OK;
    if (ok) {
        parts.scheme = scheme;
        parts.host = host;
        std::transform(parts.host.begin(), parts.host.end(), parts.host.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    }
    curl_free(scheme);
    curl_free(host);
    curl_url_cleanup(h);
    return ok;
}

bool IsLoopbackHost(const std::string& host) {
    in_addr v4{};
    return host == "localhost" || host == "[::1]" ||
           (::inet_pton(AF_INET, host.c_str(), &v4) == 1 && (ntohl(v4.s_addr) >> 24) == 127);
}

struct Transfer {
    const FetchSink* sink;
    const FetchProgress* progress;
    CURL* curl;
    const FetchLimits* limits;
    std::uint64_t received = 0;
    std::chrono::steady_clock::time_point lastByte = std::chrono::steady_clock::now();
    // The rate is measured over windows of limits->lowSpeedWindow, one after the other.
    std::chrono::steady_clock::time_point windowStart = lastByte;
    std::uint64_t receivedBeforeWindow = 0;
    bool stalled = false;
    bool slow = false;
    bool tooBig = false;
    bool sinkFailed = false;
    bool cancelled = false;
};

std::size_t OnWrite(char* data, std::size_t, std::size_t n, void* user) {
    auto* t = static_cast<Transfer*>(user);
    long status = 0;
    curl_easy_getinfo(t->curl, CURLINFO_RESPONSE_CODE, &status);
    t->received += n;
    t->lastByte = std::chrono::steady_clock::now();
    if (t->received > t->limits->maxBytes) {
        t->tooBig = true;
        return CURL_WRITEFUNC_ERROR;
    }
    // Only a 200 answer's body is the file; others are read (within the limit) and dropped.
    if (status == 200 && !(*t->sink)(std::string_view(data, n))) {
        t->sinkFailed = true;
        return CURL_WRITEFUNC_ERROR;
    }
    return n;
}

// libcurl's own low-speed check averages over several seconds, so a burst before a stall
// hides it for a while, and counts in whole seconds; the stall time-out is measured here from
// the last byte instead, and the rate over windows of any length.
int OnProgress(void* user, curl_off_t total, curl_off_t now, curl_off_t, curl_off_t) {
    auto* t = static_cast<Transfer*>(user);
    const auto clock = std::chrono::steady_clock::now();
    if (clock - t->lastByte > t->limits->stallTimeout) {
        t->stalled = true;
        return 1;
    }
    if (const auto window = clock - t->windowStart; window >= t->limits->lowSpeedWindow) {
        const double seconds = std::chrono::duration<double>(window).count();
        if (static_cast<double>(t->received - t->receivedBeforeWindow) <
            static_cast<double>(t->limits->minBytesPerSecond) * seconds) {
            t->slow = true;
            return 1;
        }
        t->windowStart = clock;
        t->receivedBeforeWindow = t->received;
    }
    if (*t->progress &&
        !(*t->progress)(static_cast<std::uint64_t>(now), static_cast<std::uint64_t>(total))) {
        t->cancelled = true;
        return 1;
    }
    return 0;
}

class CurlFetcher final : public Fetcher {
  public:
    CurlFetcher() {
        static std::once_flag once;
        std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    }

    FetchResult Fetch(const std::string& url, const FetchLimits& limits, const FetchSink& sink,
                      const FetchProgress& progress) override {
        std::string address = url;
        UrlParts first;
        for (int hop = 0; hop <= 5; ++hop) {
            FetchResult r;
            if (std::string bad = CheckFetchAddress(address); !bad.empty()) {
                r.error = bad;
                return r;
            }
            UrlParts parts;
            SplitUrl(address, parts);
            if (hop == 0) first = parts;
            if (parts.scheme != first.scheme) {
                r.error = address + ": redirect to another scheme refused";
                return r;
            }
            std::string next;
            r = FetchOnce(address, limits, sink, progress, next);
            if (next.empty()) return r;
            address = next;
        }
        FetchResult r;
        r.error = url + ": too many redirects";
        return r;
    }

  private:
    static FetchResult FetchOnce(const std::string& url, const FetchLimits& limits,
                                 const FetchSink& sink, const FetchProgress& progress,
                                 std::string& redirect);
};

FetchResult CurlFetcher::FetchOnce(const std::string& url, const FetchLimits& limits,
                                   const FetchSink& sink, const FetchProgress& progress,
                                   std::string& redirect) {
    FetchResult r;
    CURL* curl = curl_easy_init();
    if (!curl) {
        r.error = url + ": libcurl could not start";
        return r;
    }
    Transfer t{&sink, &progress, curl, &limits};
    char errorText[CURL_ERROR_SIZE] = {};
    const auto seconds = [](std::chrono::milliseconds ms) {
        return std::max<long>(1, static_cast<long>((ms.count() + 999) / 1000));
    };
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "korvel-update/1");
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(limits.connectTimeout.count()));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(limits.totalTimeout.count()));
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, seconds(limits.stallTimeout));
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.maxBytes));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, OnWrite);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, OnProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &t);
    const CURLcode rc = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    r.status = static_cast<int>(status);
    char* location = nullptr;
    if (rc == CURLE_OK && status >= 300 && status < 400 &&
        curl_easy_getinfo(curl, CURLINFO_REDIRECT_URL, &location) == CURLE_OK && location) {
        redirect = location;
    }
    curl_easy_cleanup(curl);
    if (!redirect.empty()) return r;
    r.cancelled = t.cancelled;
    if (t.stalled) {
        r.error = url + ": timed out (no data for " + std::to_string(limits.stallTimeout.count()) +
                  " ms)";
    } else if (t.slow) {
        r.error = url + ": too slow (under " + std::to_string(limits.minBytesPerSecond) +
                  " bytes a second over " + std::to_string(limits.lowSpeedWindow.count()) +
                  " ms); try again later";
    } else if (t.cancelled) {
        r.error = url + ": cancelled";
    } else if (t.tooBig || rc == CURLE_FILESIZE_EXCEEDED) {
        r.error = url + ": larger than " + std::to_string(limits.maxBytes) + " bytes";
    } else if (t.sinkFailed) {
        r.error = url + ": the downloaded bytes could not be stored";
    } else if (rc == CURLE_OPERATION_TIMEDOUT) {
        r.error = url + ": timed out (" + (errorText[0] ? errorText : "no data") + ")";
    } else if (rc != CURLE_OK) {
        r.error = url + ": " + (errorText[0] ? errorText : curl_easy_strerror(rc));
    } else if (status != 200) {
        r.error = url + ": HTTP status " + std::to_string(status);
    } else {
        r.ok = true;
    }
    return r;
}

}  // namespace

std::string CheckFetchAddress(std::string_view url) {
    UrlParts parts;
    if (!SplitUrl(url, parts)) return std::string(url) + ": not a web address";
    if (parts.scheme == "https") return {};
    if (parts.scheme == "http" && IsLoopbackHost(parts.host)) return {};
    if (parts.scheme == "http") {
        return std::string(url) + ": only https addresses are accepted (http only on this machine)";
    }
    return std::string(url) + ": only https addresses are accepted";
}

std::unique_ptr<Fetcher> MakeCurlFetcher() {
    return std::make_unique<CurlFetcher>();
}

FetchResult FetchToString(Fetcher& fetcher, const std::string& url, const FetchLimits& limits,
                          std::string& body, const FetchProgress& progress) {
    body.clear();
    return fetcher.Fetch(
        url, limits,
        [&body](std::string_view bytes) {
            body.append(bytes);
            return true;
        },
        progress);
}

std::string SignatureAddress(std::string_view url) {
    const std::size_t cut = std::min(url.find_first_of("?#"), url.size());
    return std::string(url.substr(0, cut)) + std::string(kSignatureSuffix) +
           std::string(url.substr(cut));
}

std::string SiblingAddress(std::string_view url, std::string_view file) {
    const std::size_t cut = url.find_first_of("?#");
    std::string_view base = url.substr(0, cut);
    const std::size_t slash = base.rfind('/');
    return std::string(base.substr(0, slash + 1)) + std::string(file);
}

}  // namespace korvel::update
