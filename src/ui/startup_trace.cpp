#include "ui/startup_trace.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace korvel::ui {
namespace {

const char* Mode() {
    return std::getenv("KORVEL_TRACE_STARTUP");
}

void Emit(const char* event) {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const double ms = std::chrono::duration<double, std::milli>(now).count();
    std::fprintf(stderr, "korvel-trace %s %.3f\n", event, ms);
    std::fflush(stderr);
}

// Reports the first exposure of the window and the moment its query button is enabled.
class StartupWatcher : public QObject {
  public:
    StartupWatcher(QWindow* window, QPushButton* button, bool quit)
        : QObject(window), button_(button), quit_(quit) {
        window->installEventFilter(this);
        if (button_ != nullptr) {
            button_->installEventFilter(this);
            if (button_->isEnabled()) Enabled();
        }
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!shown_ && event->type() == QEvent::Expose) {
            auto* w = qobject_cast<QWindow*>(watched);
            if (w != nullptr && w->isExposed()) {
                shown_ = true;
                Emit("window-shown");
                MaybeQuit();
            }
        } else if (!enabled_ && watched == button_ && event->type() == QEvent::EnabledChange &&
                   button_->isEnabled()) {
            Enabled();
        }
        return false;
    }

  private:
    void Enabled() {
        enabled_ = true;
        Emit("buttons-enabled");
        MaybeQuit();
    }
    void MaybeQuit() {
        if (quit_ && shown_ && enabled_) QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    }

    QPushButton* button_;
    bool quit_;
    bool shown_ = false;
    bool enabled_ = false;
};

}  // namespace

void TraceStartupBegin() {
    if (Mode() != nullptr) Emit("main");
}

void TraceStartupMark(const char* event) {
    if (Mode() != nullptr) Emit(event);
}

void TraceStartupWindow(QWidget& window) {
    const char* mode = Mode();
    if (mode == nullptr || window.windowHandle() == nullptr) return;
    // The station timetable button stands for the four: they are enabled together.
    auto* button = window.findChild<QPushButton*>(QStringLiteral("StationButton"));
    new StartupWatcher(window.windowHandle(), button, std::strcmp(mode, "quit") == 0);
}

}  // namespace korvel::ui
