// Shared set-up of the main-window tests: one offscreen QApplication, a window that starts
// without the network check, pumping the event loop until something holds, and an answerer
// that closes each modal message box as it appears and records what it showed.
#pragma once

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "../support/gbk_text.h"
#include "data/gbk.h"
#include "online/qt/web_browser.h"
#include "ui/dialogs/qt_text.h"
#include "ui/main_window.h"

namespace korvel::test {

inline QApplication& App() {
    static int argc = 1;
    static char name[] = "korvel_main_window_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        // The embedded browsers render written pages with the light text browser here; the
        // web panels' own tests cover the engine.
        if (!std::getenv("KORVEL_TEXT_BROWSER")) ::setenv("KORVEL_TEXT_BROWSER", "1", 1);
        if (!std::getenv("XDG_RUNTIME_DIR")) {
            QDir().mkpath(QStringLiteral("/tmp/korvel-ui-runtime"));
            QFile::setPermissions(QStringLiteral("/tmp/korvel-ui-runtime"),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            ::setenv("XDG_RUNTIME_DIR", "/tmp/korvel-ui-runtime", 1);
        }
        ui::PrepareWebEngine();
        auto* a = new QApplication(argc, argv);
        QApplication::setApplicationName(QStringLiteral("Korvel时刻"));
        ui::InstallFontSubstitutes();
        QApplication::setFont(ui::SongFont(12));
        return a;
    }();
    return *app;
}

inline QString U(const std::string& gbk) {
    return ui::QStringFromGbk(gbk);
}

// Runs the event loop until `done` holds or `ms` milliseconds pass; returns `done()`.
inline bool PumpUntil(const std::function<bool()>& done, int ms = 15000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// A shown main window without the version-check thread (no network in tests).
inline std::unique_ptr<ui::MainWindow> NewWindow() {
    App();
    auto w = std::make_unique<ui::MainWindow>();
    w->startVersionCheck = [] {};
    // The size the layout is drawn for, whatever the test screen's size.
    w->resize(ui::MainWindow::kClientWidth, ui::MainWindow::kClientHeight);
    w->show();
    w->activateWindow();
    QApplication::processEvents();
    return w;
}

// Started and with every table loaded (their hand-overs to the window processed).
inline std::unique_ptr<ui::MainWindow> LoadedWindow() {
    auto w = NewWindow();
    w->Start();
    w->Controller().WaitForLoaders();
    PumpUntil(
        [&] { return w->IsEnabled(Control::DirectButton) && w->IsEnabled(Control::DepartureBox); });
    QApplication::processEvents();
    return w;
}

// Where the tests leave their pictures (the committed copies are chosen by hand).
inline QString ShotDir() {
    // A run on a scaled screen keeps its pictures apart (screenshots/x2).
    QString dir = QStringLiteral(KORVEL_BINARY_DIR "/screenshots");
    if (qEnvironmentVariableIsSet("QT_SCALE_FACTOR")) {
        dir += QStringLiteral("/x") + qEnvironmentVariable("QT_SCALE_FACTOR");
    }
    QDir().mkpath(dir);
    return dir;
}

struct SeenBox {
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QWidget* focusBefore = nullptr;
};

// Closes every modal message box as soon as it is up, pressing `answer` (or the box's only
// button), and keeps what each one showed.
class ModalAnswerer {
  public:
    explicit ModalAnswerer(QMessageBox::StandardButton answer = QMessageBox::Ok) : answer_(answer) {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
        timer_.start();
    }
    const std::vector<SeenBox>& Seen() const { return seen_; }

  private:
    void Poll() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) return;
        SeenBox seen;
        seen.caption = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        seen.buttons = box->standardButtons();
        seen_.push_back(seen);
        QAbstractButton* button = box->button(answer_);
        if (!button) button = box->buttons().value(0);
        if (button) button->click();
    }
    QMessageBox::StandardButton answer_;
    QTimer timer_;
    std::vector<SeenBox> seen_;
};

}  // namespace korvel::test
