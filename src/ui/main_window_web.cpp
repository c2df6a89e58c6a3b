// The main window's web side and status bar: the four stacked panels behind the toolbar, the
// route advert, and the four status-bar panels.
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QToolButton>
#include <algorithm>
#include <array>

#include "online/qt/web_panels_qt.h"
#include "ui/dialogs/grid_print_qt.h"
#include "ui/dialogs/window_fit.h"
#include "ui/main_window.h"
#include "ui/main_window_parts.h"

namespace korvel::ui {

using namespace window;

namespace {

// A panel that shows a long text shortened to its width keeps the whole text as its tooltip,
// to shorten it again when the panel changes width.
void ShowElided(QLabel* panel, const QString& text, Qt::TextElideMode mode) {
    panel->setToolTip(text);
    panel->setText(panel->fontMetrics().elidedText(text, mode, panel->width() - 8));
}

Qt::TextElideMode ElideModeOf(int panel) {
    // A folder name gives way in the middle; a note begins with what it means for the user,
    // and the reason after it may give way.
    return panel == kTimetableStatusPanel ? Qt::ElideMiddle : Qt::ElideRight;
}

}  // namespace

void MainWindow::BuildStatusBar() {
    auto* bar = new QFrame(scroll_->Canvas());
    statusBar_ = bar;
    bar->setObjectName(QStringLiteral("StatusBar"));
    bar->setGeometry(0, kClientHeight - kStatusBarHeight, kClientWidth, kStatusBarHeight);
    FillBackground(bar, Rgb(0xE3EFF3));
    // The fifth panel, in the room left on the right, names the timetable in use.
    const int widths[5] = {150, 300, 150, 50, kClientWidth - 658};
    const char* texts[5] = {"", "Korvel时刻在手，出差旅行无忧！", "korvel@example.org", "Korvel",
                            ""};
    int x = 0;
    for (int i = 0; i < 5; ++i) {
        auto* panel = new QLabel(Q(texts[i]), bar);
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        panel->setFrameShape(QFrame::Panel);
        panel->setFrameShadow(QFrame::Sunken);
        panel->setAlignment(i == 0 ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignCenter);
        panel->setIndent(2);
        panel->setGeometry(x, 1, widths[i], kStatusBarHeight - 1);
        x += widths[i] + 2;
        statusPanels_[i] = panel;
    }
}

void MainWindow::LayOutStatusBar(int width) {
    // As drawn: 150, 300, 150 and 50 px, and the timetable's name in the rest. A narrow window
    // keeps the version, the note and the timetable's name, the last two sharing the room.
    std::array<int, 5> widths = {150, 300, 150, 50, 0};
    if (width < kClientWidth) {
        widths[kTimetableNotePanel] = (width - widths[0] - 4) * 9 / 20;
        widths[2] = widths[3] = 0;
    }
    int x = 0;
    for (std::size_t i = 0; i < statusPanels_.size(); ++i) {
        QLabel* panel = statusPanels_[i];
        const bool last = i + 1 == statusPanels_.size();
        panel->setVisible(last || widths[i] > 0);
        if (!last && widths[i] == 0) continue;
        panel->setGeometry(x, 1, last ? std::max(width - x, 50) : widths[i], kStatusBarHeight - 1);
        x += widths[i] + 2;
    }
    for (int i : {kTimetableNotePanel, kTimetableStatusPanel}) {
        QLabel* panel = statusPanels_[static_cast<std::size_t>(i)];
        if (!panel->toolTip().isEmpty()) ShowElided(panel, panel->toolTip(), ElideModeOf(i));
    }
}

// ---------------------------------------------------------------------------------------
// Panels

void MainWindow::ToolbarClick(int button) {
    switch (button) {
        case 1:
            web_->StartPageClicked();
            break;
        case 2:
            web_->FlightsClicked();
            break;
        case 3:
            web_->HotelsClicked();
            break;
        case 4:
            web_->TicketsClicked();
            break;
        default:
            return;
    }
    toolButtons_[VisiblePanel() - 1]->setChecked(true);
}

int MainWindow::VisiblePanel() const {
    return static_cast<int>(web_->Visible());
}

QWidget* MainWindow::PanelWidget(int panel) const {
    return web_->PanelWidget(static_cast<Panel>(panel));
}

void MainWindow::ShowRouteAdvert(const std::string& from, const std::string& to) {
    web_->ShowRouteAdvert(from, to);
}

void MainWindow::SetStatusText(int panel, const std::string& gbk) {
    if (panel < 0 || panel >= static_cast<int>(statusPanels_.size())) return;
    QLabel* label = statusPanels_[panel];
    const QString text = QStringFromGbk(gbk);
    if (panel == kTimetableStatusPanel || panel == kTimetableNotePanel) {
        ShowElided(label, text, ElideModeOf(panel));
        // Printouts name the timetable too, without its counts (ASCII ": " cannot occur
        // inside a GBK character).
        if (panel == kTimetableStatusPanel && !gbk.empty())
            SetPrintSource(gbk.substr(0, gbk.find(": ")));
        return;
    }
    label->setText(text);
}

}  // namespace korvel::ui
