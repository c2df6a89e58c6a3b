// The main window's web side and status bar: the four stacked panels behind the toolbar, the
// route advert, and the four status-bar panels.
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QToolButton>

#include "online/qt/web_panels_qt.h"
#include "ui/dialogs/grid_print_qt.h"
#include "ui/dialogs/window_fit.h"
#include "ui/main_window.h"
#include "ui/main_window_parts.h"

namespace korvel::ui {

using namespace window;

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
    if (panel == kTimetableStatusPanel) {
        // A long folder name gives way in the middle; the whole text is the tooltip.
        label->setToolTip(text);
        label->setText(label->fontMetrics().elidedText(text, Qt::ElideMiddle, label->width() - 8));
        // Printouts name the timetable too, without its counts (ASCII ": " cannot occur
        // inside a GBK character).
        if (!gbk.empty()) SetPrintSource(gbk.substr(0, gbk.find(": ")));
        return;
    }
    if (panel == kTimetableNotePanel) {
        // A note begins with what it means for the user; the reason after it may give way.
        label->setToolTip(text);
        label->setText(label->fontMetrics().elidedText(text, Qt::ElideRight, label->width() - 8));
        return;
    }
    label->setText(text);
}

}  // namespace korvel::ui
