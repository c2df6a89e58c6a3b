// korvel-screenshots FOLDER: draws the pictures of the documentation (docs/screenshots) into
// FOLDER, offscreen: the main window at start, with the station list open, after a query,
// filtered and with a transfer's legs; the maps of a train and of a journey; the travel-offer
// panel, a web panel offline, a route advert and the about box.
//
// A maintainer's tool, run by the `screenshots` target; the tests check the windows, this
// only draws them.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QListView>
#include <QPainter>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>

#include "data/gbk.h"
#include "online/qt/web_browser.h"
#include "online/qt/web_panels_qt.h"
#include "online/web_panels.h"
#include "qt_text/qt_text.h"
#include "ui/about_box.h"
#include "ui/dialogs/journey_dialog.h"
#include "ui/dialogs/train_dialog.h"
#include "ui/main_window.h"
#include "ui/result_table.h"
#include "ui/station_combo.h"

namespace korvel {
namespace {

// Runs the event loop until `done` holds or `ms` milliseconds pass; returns `done()`.
bool PumpUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

void Settle(int ms) {
    PumpUntil([] { return false; }, ms);
}

class Shots {
  public:
    explicit Shots(QString folder) : folder_(std::move(folder)) {}

    void Save(const QPixmap& picture, const char* name) {
        const QString path = QDir(folder_).filePath(QString::fromLatin1(name));
        if (picture.save(path)) {
            std::printf("%s\n", qPrintable(path));
        } else {
            std::fprintf(stderr, "korvel-screenshots: cannot write %s\n", qPrintable(path));
            failed_ = true;
        }
    }
    bool Failed() const { return failed_; }

  private:
    QString folder_;
    bool failed_ = false;
};

// The main window over the embedded timetable, without the version check (no network), with
// every table loaded.
std::unique_ptr<ui::MainWindow> LoadedWindow() {
    auto w = std::make_unique<ui::MainWindow>();
    w->startVersionCheck = [] {};
    w->resize(ui::MainWindow::kClientWidth, ui::MainWindow::kClientHeight);
    w->show();
    w->activateWindow();
    w->Start();
    w->Controller().WaitForLoaders();
    PumpUntil(
        [&] { return w->IsEnabled(Control::DirectButton) && w->IsEnabled(Control::DepartureBox); },
        15000);
    QApplication::processEvents();
    return w;
}

void Click(ui::MainWindow& w, Control c) {
    if (auto* button = qobject_cast<QAbstractButton*>(w.ControlWidget(c))) button->click();
}

// Sets both station boxes (as a pick from the list would) and runs the query.
void QueryDirect(ui::MainWindow& w, const char* from, const char* to) {
    w.SetText(Control::DepartureBox, Utf8ToGbk(from));
    w.SetText(Control::ArrivalBox, Utf8ToGbk(to));
    Click(w, Control::DirectButton);
}

void MainWindowShots(Shots& shots) {
    auto w = LoadedWindow();
    shots.Save(w->grab(), "main_window_start.png");

    ui::StationCombo* from = w->Combo(Control::DepartureBox);
    from->setFocus();
    QTest::keyClicks(from, QStringLiteral("bj"));
    QApplication::processEvents();
    // The open list is a window of its own: draw it onto the shot where it lies.
    QPixmap typing = w->grab();
    {
        QPainter p(&typing);
        p.drawPixmap(w->mapFromGlobal(from->PopupList()->mapToGlobal(QPoint(0, 0))),
                     from->PopupList()->grab());
    }
    shots.Save(typing, "main_window_station_list.png");
    from->hidePopup();

    QueryDirect(*w, "北京", "上海");
    QTest::mouseClick(w->HeaderLabel(5), Qt::LeftButton);
    QTest::mouseClick(w->Grid()->viewport(), Qt::LeftButton, {},
                      w->Grid()->visualRect(w->GridModel()->index(0, 2)).center());
    QApplication::processEvents();
    shots.Save(w->grab(), "main_window_query.png");
}

// Departures 6-12 点 without Z and T trains, sorted by the number of stops.
void FilterShot(Shots& shots) {
    auto w = LoadedWindow();
    QueryDirect(*w, "北京", "上海");
    QComboBox* box = w->DepartBox();
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Down);
    QTest::keyClick(box, Qt::Key_Down);
    QTest::mouseClick(w->ClassToggle(2), Qt::LeftButton);
    QTest::mouseClick(w->HeaderLabel(8), Qt::LeftButton);
    QApplication::processEvents();
    shots.Save(w->grab(), "main_window_filters.png");
}

// "中转" from 天津 to 上海, the first transfer station picked: both legs in the grid.
void TransferShot(Shots& shots) {
    auto w = LoadedWindow();
    w->SetText(Control::DepartureBox, Utf8ToGbk("天津"));
    w->SetText(Control::ArrivalBox, Utf8ToGbk("上海"));
    QTimer picker;
    picker.setInterval(5);
    QObject::connect(&picker, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) return;
        if (w->Controller().TransferWindow()) w->Controller().TransferWindow()->ClickRow(0);
        dialog->accept();
    });
    picker.start();
    Click(*w, Control::TransferButton);
    picker.stop();
    QApplication::processEvents();
    shots.Save(w->grab(), "main_window_transfer.png");
}

// The 地图 tab of a window, at a size that shows the route and its surroundings.
QPixmap MapTab(QWidget* window, QTabWidget* tabs) {
    window->resize(960, 680);
    tabs->setCurrentIndex(1);
    Settle(100);
    return window->grab();
}

// Z281's stop list, then its map; then 北京 to 乌鲁木齐's journeys, the first on a map.
void MapShots(Shots& shots) {
    auto w = LoadedWindow();
    QTimer grabber;
    grabber.setInterval(5);
    QObject::connect(&grabber, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<ui::TrainDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr || !dialog->isVisible()) return;
        grabber.stop();
        if (dialog->Tabs()) shots.Save(MapTab(dialog, dialog->Tabs()), "train_map.png");
        dialog->accept();
    });
    grabber.start();
    w->Controller().OpenTrainStops("Z281/Z284");
    grabber.stop();

    w->SetText(Control::DepartureBox, Utf8ToGbk("北京"));
    w->SetText(Control::ArrivalBox, Utf8ToGbk("乌鲁木齐"));
    Click(*w, Control::JourneyButton);
    auto* journeys = w->findChild<ui::JourneyDialog*>();
    if (journeys && journeys->Tabs()) {
        shots.Save(MapTab(journeys, journeys->Tabs()), "journey_map.png");
    } else {
        std::fprintf(stderr, "korvel-screenshots: no journey map\n");
    }
}

// The web panels on a host of the main window's size, with the web engine where it is built.
void WebPanelShots(Shots& shots) {
    std::atomic<bool> online{false};
    auto window = std::make_unique<QWidget>();
    window->resize(985, 681);
    auto* area = new QWidget(window.get());
    area->setGeometry(0, 68, 985, 591);
    auto* p1 = new QWidget(area);
    p1->setObjectName(QStringLiteral("P1"));
    p1->setGeometry(area->rect());
    auto* panels = new ui::WebPanels(p1, area, window.get(), &online);
    window->show();
    panels->LoadStartPage();
    panels->InstallEngines(ui::LoadWebEngineModule());
    auto save = [&](QWidget* w, const char* name) {
        Settle(1500);  // let the engine paint
        shots.Save(w->grab(), name);
    };
    save(panels->StartPagePanel(), "web-start-page.png");
    panels->HotelsClicked();
    save(panels->PanelWidget(Panel::Hotels), "web-panel-offline.png");
    panels->StartPageClicked();
    online = true;
    panels->ShowRouteAdvert(Utf8ToGbk("北京"), Utf8ToGbk("上海"));
    save(panels->StartPagePanel(), "web-route-advert.png");

    ui::AboutBox box(window.get());
    box.LogoImage()->setPixmap(ui::LoadLogoPixmap());
    box.show();
    save(&box, "about-box.png");
}

}  // namespace
}  // namespace korvel

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: korvel-screenshots FOLDER\n");
        return 2;
    }
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    korvel::ui::PrepareWebEngine();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Korvel时刻"));
    korvel::ui::InstallFontSubstitutes();
    QApplication::setFont(korvel::ui::SongFont(12));
    const QString folder = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "korvel-screenshots: cannot create %s\n", argv[1]);
        return 1;
    }
    korvel::Shots shots(folder);
    // The window's own web panels draw with the light text browser here: the pictures show
    // the window, and the web panels have pictures of their own.
    ::setenv("KORVEL_TEXT_BROWSER", "1", 1);
    korvel::MainWindowShots(shots);
    korvel::FilterShot(shots);
    korvel::TransferShot(shots);
    korvel::MapShots(shots);
    ::unsetenv("KORVEL_TEXT_BROWSER");
    korvel::WebPanelShots(shots);
    return shots.Failed() ? 1 : 0;
}
