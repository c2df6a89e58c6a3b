// The start-up version check on its own thread: a connection probe, one GET of the
// version file, and the label text handed to the user-interface thread.
#pragma once

#include <QByteArray>
#include <QThread>
#include <atomic>
#include <functional>
#include <string>

#include "online/version_check.h"

namespace korvel::ui {

// Returns true while the caller still wants the answer; checked every few milliseconds
// so that a closing window does not wait for a time-out.
using KeepGoing = std::function<bool()>;

// Whether a TCP connection to the probe host's port can be made within the probe time-out
// (the stand-in for the platform's Internet connection check). Blocks the calling thread.
bool ProbeConnection(const VersionCheckConfig& config, const KeepGoing& keepGoing = {});

// One GET of the version file with the client settings of the check (user agent, accepted
// types, no proxy) and one time-out over the whole exchange (connect, headers, body and
// redirects). A redirect is followed only on the same host, to the same scheme and port or
// to https. Reads at most kMaxVersionBodyBytes of the body. Blocks the calling thread.
HttpOutcome FetchVersionFile(const VersionCheckConfig& config, const KeepGoing& keepGoing = {});

class VersionCheckThread : public QThread {
    Q_OBJECT

  public:
    // The check writes `isOnline` once, after the probe.
    explicit VersionCheckThread(VersionCheckConfig config = VersionCheckConfigFromEnv(),
                                std::atomic<bool>* isOnline = &IsOnline, QObject* parent = nullptr);
    // Asks a running check to stop and waits for it (a fraction of a second).
    ~VersionCheckThread() override;

    // Creates and starts the check for the window `owner`: `onLabel` receives the label text
    // (GBK) on the owner's thread. The thread deletes itself when it ends, or with `owner`.
    static VersionCheckThread* Start(QObject* owner,
                                     std::function<void(const std::string&)> onLabel,
                                     VersionCheckConfig config = VersionCheckConfigFromEnv(),
                                     std::atomic<bool>* isOnline = &IsOnline);

    // The decision of the last run (valid after LabelReady).
    VersionDecision Decision() const;

  signals:
    // The text for the version label, GBK bytes. Emitted once, from the check's thread.
    void LabelReady(const QByteArray& gbk);

  protected:
    void run() override;

  private:
    VersionCheckConfig config_;
    std::atomic<bool>* isOnline_;
    VersionDecision decision_;
    std::atomic<bool> decided_{false};
};

}  // namespace korvel::ui
