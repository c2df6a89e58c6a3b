#include "online/qt/version_thread.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>
#include <memory>

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
    QUrl url(ToQString(config.versionUrl));
    if (!url.isValid() || (url.scheme() != "http" && url.scheme() != "https")) return outcome;

    QNetworkAccessManager manager;
    manager.setProxy(QNetworkProxy::NoProxy);
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, ToQString(config.userAgent));
    request.setHeader(QNetworkRequest::ContentTypeHeader, ToQString(config.contentType));
    request.setRawHeader("Accept", QByteArray::fromStdString(config.accept));
    // Plain bytes: the length check below compares the body with Content-Length.
    request.setRawHeader("Accept-Encoding", "identity");
    request.setTransferTimeout(static_cast<int>(config.requestTimeout.count()));

    std::unique_ptr<QNetworkReply> reply(manager.get(request));
    QEventLoop loop;
    QByteArray body;
    bool aborted = false;
    auto readSome = [&] {
        // Read one byte past the cap to tell a full-size body from an oversized one.
        qint64 room = static_cast<qint64>(kMaxVersionBodyBytes) + 1 - body.size();
        if (room > 0) body += reply->read(room);
        if (body.size() > static_cast<qsizetype>(kMaxVersionBodyBytes)) {
            outcome.oversized = true;
            aborted = true;
            reply->abort();
        }
    };
    QObject::connect(reply.get(), &QNetworkReply::readyRead, &loop, readSome);
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished()) {
        RunUntil(loop, config.requestTimeout, keepGoing, [&] {
            aborted = true;
            reply->abort();
        });
    }
    if (!aborted) readSome();

    outcome.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    outcome.completed = !aborted && reply->error() == QNetworkReply::NoError;
    // A body shorter than its announced length is a broken transfer, whatever the
    // network layer made of the early close.
    QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    if (outcome.completed && length.isValid() && length.toLongLong() != body.size()) {
        outcome.completed = false;
    }
    outcome.body = body.left(static_cast<qsizetype>(kMaxVersionBodyBytes)).toStdString();
    return outcome;
}

TThreadNet::TThreadNet(VersionCheckConfig config, std::atomic<bool>* isOnline, QObject* parent)
    : QThread(parent), config_(std::move(config)), isOnline_(isOnline) {}

TThreadNet::~TThreadNet() {
    requestInterruption();
    wait();
}

TThreadNet* TThreadNet::Start(QObject* owner, std::function<void(const std::string&)> onLabel,
                              VersionCheckConfig config, std::atomic<bool>* isOnline) {
    auto* thread = new TThreadNet(std::move(config), isOnline, owner);
    QObject* context = owner != nullptr ? owner : thread;
    QObject::connect(thread, &TThreadNet::LabelReady, context,
                     [onLabel = std::move(onLabel)](const QByteArray& gbk) {
                         if (onLabel) onLabel(gbk.toStdString());
                     });
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
    return thread;
}

VersionDecision TThreadNet::Decision() const {
    if (!decided_.load(std::memory_order_acquire)) return {};
    return decision_;
}

void TThreadNet::run() {
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
