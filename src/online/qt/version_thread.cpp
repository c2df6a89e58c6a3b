#include "online/qt/version_thread.h"

#include <curl/curl.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkProxy>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

namespace korvel::ui {

namespace {

constexpr int kPollMs = 50;

QString ToQString(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Runs `loop` until it quits, the deadline passes or the caller gives up; then `onStop`
// (which must make the loop quit or leave it alone) is called.
void RunUntil(QEventLoop& loop, std::chrono::milliseconds deadline, const KeepGoing& keepGoing,
              const std::function<void()>& onStop) {
    QElapsedTimer clock;
    clock.start();
    QTimer poll;
    poll.setInterval(kPollMs);
    bool stopped = false;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (stopped) return;
        if (clock.elapsed() >= deadline.count() || (keepGoing && !keepGoing())) {
            stopped = true;
            onStop();
            loop.quit();
        }
    });
    poll.start();
    loop.exec();
}

constexpr int kMaxRedirects = 5;
// The headers of a version file's answer are a few hundred bytes; a server that sends more
// than this is not serving one.
constexpr std::size_t kMaxHeaderBytes = 64 * 1024;

struct UrlParts {
    std::string scheme, host;
    long port = 0;
};

std::string AsciiLower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::optional<UrlParts> ParseUrl(const std::string& url) {
    std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> u(curl_url(), curl_url_cleanup);
    if (!u || curl_url_set(u.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) {
        return std::nullopt;
    }
    UrlParts parts;
    for (auto [part, into] :
         {std::pair{CURLUPART_SCHEME, &parts.scheme}, std::pair{CURLUPART_HOST, &parts.host}}) {
        char* text = nullptr;
        if (curl_url_get(u.get(), part, &text, 0) != CURLUE_OK) return std::nullopt;
        *into = AsciiLower(text);
        curl_free(text);
    }
    char* port = nullptr;
    if (curl_url_get(u.get(), CURLUPART_PORT, &port, CURLU_DEFAULT_PORT) != CURLUE_OK) {
        return std::nullopt;
    }
    parts.port = std::strtol(port, nullptr, 10);
    curl_free(port);
    return parts;
}

// A redirect may move the file on the host first asked, never to another host or to
// another service on it: the same scheme and port, or https (a move to the secure address).
bool RedirectAllowed(const UrlParts& from, const UrlParts& to) {
    if (to.host != from.host) return false;
    if (to.scheme == "https") return true;
    return to.scheme == from.scheme && to.port == from.port;
}

struct Transfer {
    std::string body;
    bool oversized = false;
    std::size_t headerBytes = 0;
};

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto& t = *static_cast<Transfer*>(user);
    const std::size_t n = size * count;
    // One byte past the cap tells a full-size body from an oversized one.
    t.body.append(data, std::min(n, kMaxVersionBodyBytes + 1 - t.body.size()));
    if (t.body.size() > kMaxVersionBodyBytes) {
        t.oversized = true;
        return 0;  // stops the transfer
    }
    return n;
}

std::size_t OnHeader(char*, std::size_t size, std::size_t count, void* user) {
    auto& t = *static_cast<Transfer*>(user);
    t.headerBytes += size * count;
    return t.headerBytes > kMaxHeaderBytes ? 0 : size * count;
}

curl_slist* RequestHeaders(const VersionCheckConfig& config) {
    curl_slist* list = nullptr;
    for (const std::string& h : {"Accept: " + config.accept, "Content-Type: " + config.contentType,
                                 std::string("Accept-Encoding: identity")}) {
        curl_slist* more = curl_slist_append(list, h.c_str());
        if (!more) {
            curl_slist_free_all(list);
            return nullptr;
        }
        list = more;
    }
    return list;
}

void SetUp(CURL* easy, const std::string& url, const VersionCheckConfig& config,
           curl_slist* headers, Transfer& t) {
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_PROXY, "");  // never a proxy from the environment
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);  // each redirect is checked here
    curl_easy_setopt(easy, CURLOPT_USERAGENT, config.userAgent.c_str());
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &t);
}

// Runs one request until it ends, the deadline passes or the caller gives up; true when it
// ended with a complete answer.
bool Perform(CURL* easy, std::chrono::steady_clock::time_point deadline, const KeepGoing& keepGoing,
             Transfer&) {
    std::unique_ptr<CURLM, decltype(&curl_multi_cleanup)> multi(curl_multi_init(),
                                                                curl_multi_cleanup);
    if (!multi || curl_multi_add_handle(multi.get(), easy) != CURLM_OK) return false;
    bool done = false;
    CURLcode result = CURLE_OPERATION_TIMEDOUT;
    while (!done) {
        int running = 0;
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK) break;
        int queued = 0;
        while (CURLMsg* msg = curl_multi_info_read(multi.get(), &queued)) {
            if (msg->msg == CURLMSG_DONE) {
                done = true;
                result = msg->data.result;
            }
        }
        if (done || running == 0) break;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || (keepGoing && !keepGoing())) break;
        curl_multi_poll(multi.get(), nullptr, 0,
                        static_cast<int>(std::min<long long>(left.count(), kPollMs)), nullptr);
    }
    curl_multi_remove_handle(multi.get(), easy);
    return done && result == CURLE_OK;
}

}  // namespace

bool ProbeConnection(const VersionCheckConfig& config, const KeepGoing& keepGoing) {
    if (config.probeHost.empty()) return false;
    QTcpSocket socket;
    socket.setProxy(QNetworkProxy::NoProxy);
    QEventLoop loop;
    bool connected = false;
    QObject::connect(&socket, &QTcpSocket::connected, &loop, [&] {
        connected = true;
        loop.quit();
    });
    QObject::connect(&socket, &QTcpSocket::errorOccurred, &loop, [&] { loop.quit(); });
    socket.connectToHost(ToQString(config.probeHost), static_cast<quint16>(config.probePort));
    if (socket.state() != QAbstractSocket::UnconnectedState) {
        RunUntil(loop, config.probeTimeout, keepGoing, [&] { socket.abort(); });
    }
    socket.abort();
    return connected;
}

HttpOutcome FetchVersionFile(const VersionCheckConfig& config, const KeepGoing& keepGoing) {
    HttpOutcome outcome;
    std::optional<UrlParts> first = ParseUrl(config.versionUrl);
    if (!first || (first->scheme != "http" && first->scheme != "https")) return outcome;
    static std::once_flag curlReady;
    std::call_once(curlReady, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });

    // One deadline for the whole exchange, redirects included.
    const auto deadline = std::chrono::steady_clock::now() + config.requestTimeout;
    std::string url = config.versionUrl;
    for (int hop = 0; hop <= kMaxRedirects; ++hop) {
        Transfer t;
        std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> easy(curl_easy_init(),
                                                                 curl_easy_cleanup);
        std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headers(RequestHeaders(config),
                                                                            curl_slist_free_all);
        if (!easy || !headers) return outcome;
        SetUp(easy.get(), url, config, headers.get(), t);
        const bool finished = Perform(easy.get(), deadline, keepGoing, t);
        outcome.oversized = t.oversized;
        outcome.body = t.body.substr(0, kMaxVersionBodyBytes);
        if (!finished) return outcome;
        long status = 0;
        curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &status);
        outcome.status = static_cast<int>(status);
        outcome.completed = true;
        char* location = nullptr;
        curl_easy_getinfo(easy.get(), CURLINFO_REDIRECT_URL, &location);
        const bool redirect =
            status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
        if (!redirect || location == nullptr) return outcome;
        const std::optional<UrlParts> next = ParseUrl(location);
        if (!next || !RedirectAllowed(*first, *next)) return outcome;
        url = location;
    }
    outcome.completed = false;  // more redirects than a version file needs
    return outcome;
}

VersionCheckThread::VersionCheckThread(VersionCheckConfig config, std::atomic<bool>* isOnline,
                                       QObject* parent)
    : QThread(parent), config_(std::move(config)), isOnline_(isOnline) {}

VersionCheckThread::~VersionCheckThread() {
    requestInterruption();
    wait();
}

VersionCheckThread* VersionCheckThread::Start(QObject* owner,
                                              std::function<void(const std::string&)> onLabel,
                                              VersionCheckConfig config,
                                              std::atomic<bool>* isOnline) {
    auto* thread = new VersionCheckThread(std::move(config), isOnline, owner);
    QObject* context = owner != nullptr ? owner : thread;
    QObject::connect(thread, &VersionCheckThread::LabelReady, context,
                     [onLabel = std::move(onLabel)](const QByteArray& gbk) {
                         if (onLabel) onLabel(gbk.toStdString());
                     });
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
    return thread;
}

VersionDecision VersionCheckThread::Decision() const {
    if (!decided_.load(std::memory_order_acquire)) return {};
    return decision_;
}

void VersionCheckThread::run() {
    KeepGoing keepGoing = [this] { return !isInterruptionRequested(); };
    bool online = ProbeConnection(config_, keepGoing);
    if (online && isOnline_ != nullptr) isOnline_->store(true, std::memory_order_release);
    HttpOutcome outcome;
    if (online && keepGoing()) outcome = FetchVersionFile(config_, keepGoing);
    decision_ = DecideVersion(online, outcome);
    decided_.store(true, std::memory_order_release);
    if (!keepGoing()) return;
    emit LabelReady(QByteArray::fromStdString(decision_.label));
}

}  // namespace korvel::ui
