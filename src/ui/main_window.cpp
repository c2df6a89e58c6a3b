// The main window's frame: construction, the toolbar and its images, start-up, and the
// MainView's access to the controls by name. The other parts live beside it:
// main_window_query.cpp (station boxes and query buttons), main_window_grid.cpp (result grid
// and filters), main_window_web.cpp (web panels and status bar).
#include "ui/main_window.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QIcon>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QToolButton>

#include "online/qt/version_thread.h"
#include "online/qt/web_panels_qt.h"
#include "qt_text/qt_text.h"
#include "resources/resources.h"
#include "ui/dialogs/dialogs.h"
#include "ui/dialogs/journey_dialog.h"
#include "ui/dialogs/settings.h"
#include "ui/dialogs/update_dialog.h"
#include "ui/dialogs/window_fit.h"
#include "ui/main_window_parts.h"
#include "ui/result_table.h"
#include "ui/station_combo.h"

namespace korvel::ui {

using namespace window;

namespace {

// The white top bar with its two green lines.
class TopBar : public QFrame {
  public:
    using QFrame::QFrame;

  protected:
    void paintEvent(QPaintEvent* event) override {
        QFrame::paintEvent(event);
        QPainter p(this);
        const QColor green = Rgb(0x008000);
        p.fillRect(0, 0, width(), 2, green);  // top edge
        p.fillRect(0, 3, width(), 2, green);  // green rule, just below it
    }
};

// A stand-in browser image until the web panels install their engine.
QPixmap PlaceholderImage(int index, QSize size) {
    QPixmap pm(size);
    pm.fill(Qt::white);
    QPainter p(&pm);
    static const QColor colours[] = {Rgb(0x2E7D32), Rgb(0x1565C0), Rgb(0xC62828), Rgb(0x6A1B9A)};
    const QColor c = colours[(index / 3) % 4];
    p.setPen(c);
    p.setBrush(index % 3 == 0 ? QBrush(c.lighter(160)) : QBrush(c.lighter(120)));
    p.drawRoundedRect(QRect(QPoint(22, 2), QSize(size.width() - 44, size.height() - 5)), 4, 4);
    return pm;
}

}  // namespace

QPixmap ForScreen(const QPixmap& pm, qreal dpr) {
    if (pm.isNull() || dpr <= 1.0) return pm;
    QPixmap dense = pm.scaled((QSizeF(pm.size()) * dpr).toSize(), Qt::IgnoreAspectRatio,
                              Qt::SmoothTransformation);
    dense.setDevicePixelRatio(dpr);
    return dense;
}

void ClickLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) &&
        clicked) {
        clicked();
    }
    QLabel::mouseReleaseEvent(event);
}

// ---------------------------------------------------------------------------------------
// Construction

MainWindow::MainWindow(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                          Qt::WindowCloseButtonHint) {
    InstallFontSubstitutes();
    setObjectName(QStringLiteral("MainWindow"));
    setWindowTitle(
        Q("Korvel时刻表，准确及时的列车时刻表提供者，免费预订打折机票、特价酒店，使您出行无忧！"));
    setFont(SongFont(12));
    FillBackground(this, QApplication::palette().color(QPalette::Button));
    // The layout is drawn for 985 x 681. A larger window gives the extra room to the result
    // grid; a shorter one takes it from the start page and the grid, a narrower one wraps the
    // query row and scrolls the grid sideways (LayOut); only below that does the window scroll.
    const int leastHeight = kClientHeight - kStartPageHeight - (kGridHeight - kMinGridHeight);
    scroll_ = new ScrollCanvas(this, QSize(kNarrowWidth, leastHeight));
    FillBackground(scroll_->Canvas(), QApplication::palette().color(QPalette::Button));

    controller_ = std::make_unique<MainController>(*this);

    BuildTopBar();
    BuildTimetablePanel();
    // P2..P4 lie on P1 in the area between the toolbar and the status bar; StartPagePanel goes into
    // P1 under the query boxes.
    web_ = new WebPanels(p1_, scroll_->Canvas(), this);
    BuildStatusBar();
    WireController();
    RememberBelowGrid();
    connect(scroll_, &ScrollCanvas::canvasResized, this, [this](QSize size) { LayOut(size); });
    // Narrow, the second query row needs its height too: there the top bar is compact and
    // the grid keeps fewer rows, under its sideways scroll bar.
    scroll_->SetLeastHeightFor([this, leastHeight](int width) {
        if (width >= kClientWidth) return leastHeight;
        constexpr int fewerRows = 2 * (kResultRowHeight + 1);
        const int bar = grid_->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, grid_);
        return leastHeight + kWrapStep - (kTopBarHeight - kCompactTopBarHeight) - fewerRows + bar;
    });

    // The loading state until Start hands over to the controller: station boxes and
    // query buttons stay off until their tables are there.
    for (Control c : {Control::DepartureBox, Control::ArrivalBox, Control::StationBox,
                      Control::DirectButton, Control::TransferButton, Control::TrainButton,
                      Control::StationButton, Control::JourneyButton}) {
        SetEnabled(c, false);
    }
    SetStatusText(0, VersionStatusText());

    setMinimumSize(320, 240);
    FitToScreen(this, QSize(kClientWidth, kClientHeight));
}

MainWindow::~MainWindow() {
    // The journey window goes first: it plans through the controller's model.
    delete findChild<JourneyDialog*>(QString(), Qt::FindDirectChildrenOnly);
    // The controller joins its loader threads; nothing they post runs after this.
    controller_.reset();
    while (busyDepth_ > 0) {
        QApplication::restoreOverrideCursor();
        --busyDepth_;
    }
}

void MainWindow::BuildTopBar() {
    top_ = new TopBar(scroll_->Canvas());
    top_->setObjectName(QStringLiteral("TopBar"));
    top_->setGeometry(0, 0, kClientWidth, kTopBarHeight);
    FillBackground(top_, Qt::white);

    struct Tb {
        const char* caption;
        const char* hint;
        QPoint at;
    };
    const Tb tbs[4] = {
        {"列车时刻", "列车车次，时刻查询", {13, 7}},
        {"折扣机票", "机票预订，折扣机票", {110, 7}},
        {"特价酒店", "酒店预订，特价酒店", {210, 7}},
        {"余票查询", "铁路客服，查询余票", {316, 6}},
    };
    toolGroup_ = new QButtonGroup(this);
    toolGroup_->setExclusive(true);
    for (int i = 0; i < 4; ++i) {
        auto* b = new QToolButton(top_);
        b->setObjectName(QStringLiteral("PanelButton%1").arg(i + 1));
        b->setText(Q(tbs[i].caption));
        b->setToolTip(Q(tbs[i].hint));
        b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        b->setIconSize(QSize(74, 31));
        b->setCheckable(true);
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setGeometry(QRect(tbs[i].at, QSize(76, 52)));
        b->setStyleSheet(
            QStringLiteral("QToolButton { background: white; border: none; padding: 0px; }"
                           "QToolButton:checked { background: white; border: none; }"));
        toolGroup_->addButton(b, i + 1);
        toolButtons_[i] = b;
        toolButtonAt_[i] = tbs[i].at;
        connect(b, &QToolButton::clicked, this, [this, i] { ToolbarClick(i + 1); });
    }
    toolButtons_[0]->setChecked(true);

    ticketLink_ = new ClickLabel(Q("铁道部动车售票官网"), top_);
    ticketLink_->setObjectName(QStringLiteral("TicketLink"));
    ticketLink_->move(420, 32);
    QFont underlined = font();
    underlined.setUnderline(true);
    ticketLink_->setFont(underlined);
    SetTextColour(ticketLink_, Rgb(0x0000FF));
    ticketLink_->adjustSize();
    ticketLink_->setCursor(Qt::PointingHandCursor);
    ticketLink_->setToolTip(Q("10月份开始，预售全国动车（\"C\"/\"D\"/\"G\"字头）列车的售票业务。"));
    ticketLink_->clicked = [] { WebPanels::TicketLinkClicked(); };

    logo_ = new ClickLabel(top_);
    logo_->setObjectName(QStringLiteral("LogoImage"));
    logo_->move(841, 5);
    logo_->resize(143, 63);
    logo_->setCursor(Qt::PointingHandCursor);
    logo_->setToolTip(Q("点击访问Korvel火车网，旅行资讯专家"));
    logo_->clicked = [] { WebPanels::LogoClicked(); };
}

void MainWindow::WireController() {
    WireQueryBoxes();
    WireGrid();
    WireTimeClassFilter();
    WireMenu();
}

// ---------------------------------------------------------------------------------------
// Start-up

void MainWindow::Start(StartOptions options) {
    // Loader threads hand their results to the user-interface thread through the event loop;
    // calls still queued when the window goes are dropped with it.
    options.post = [this](std::function<void()> call) {
        QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
    };
    controller_->Start(std::move(options));
    if (startVersionCheck) {
        startVersionCheck();
    } else {
        VersionCheckThread::Start(this, [this](const std::string& label) {
            SetText(Control::NewVersionLabel, label);
            // Online: say when the publisher has a newer timetable (nothing is downloaded).
            if (IsOnline.load()) {
                CheckForNewerTimetable(this, [this](const QString& text) {
                    SetStatusText(kTimetableNotePanel, GbkFromQString(text));
                });
            }
        });
    }
    LoadImages();
    web_->LoadStartPage();
}

void MainWindow::LoadImages() {
    auto load = [](const char* name) {
        QPixmap pm;
        try {
            const std::vector<unsigned char> bytes = ReadBlob(name);
            pm.convertFromImage(QImage::fromData(bytes.data(), static_cast<int>(bytes.size())));
        } catch (const std::exception&) {
            // A missing picture leaves an empty one; nothing else depends on it.
        }
        return pm;
    };
    logo_pixmap_ = load("Logo");
    update_pixmap_ = load("update");
    toolbarImages_.clear();
    for (int i = 1; i <= 12; ++i) {
        QPixmap pm = load(("b" + std::to_string(i)).c_str());
        if (pm.isNull()) pm = PlaceholderImage(i - 1, QSize(74, 31));
        toolbarImages_.push_back(pm);
    }
    const qreal dpr = devicePixelRatioF();
    if (!logo_pixmap_.isNull()) logo_->setPixmap(ForScreen(logo_pixmap_, dpr));
    if (!update_pixmap_.isNull()) updateButton_->setIcon(QIcon(ForScreen(update_pixmap_, dpr)));
    ApplyToolbarImages();
    LayOut(scroll_->Canvas()->size());  // the logo's size
}

QPixmap MainWindow::LogoPixmap() const {
    return logo_pixmap_;
}

void MainWindow::ApplyToolbarImages() {
    // Images normal / hot / down for button n are 3n, 3n+1, 3n+2 of ToolbarImages.
    const qreal dpr = devicePixelRatioF();
    for (int i = 0; i < 4; ++i) {
        QIcon icon;
        const QPixmap normal = ForScreen(toolbarImages_.at(3 * i), dpr);
        const QPixmap hot = ForScreen(toolbarImages_.at(3 * i + 1), dpr);
        const QPixmap down = ForScreen(toolbarImages_.at(3 * i + 2), dpr);
        icon.addPixmap(normal, QIcon::Normal, QIcon::Off);
        icon.addPixmap(hot, QIcon::Active, QIcon::Off);
        icon.addPixmap(down, QIcon::Normal, QIcon::On);
        icon.addPixmap(down, QIcon::Active, QIcon::On);
        icon.addPixmap(normal, QIcon::Disabled, QIcon::Off);
        toolButtons_[i]->setIcon(icon);
    }
}

// ---------------------------------------------------------------------------------------
// MainView

QWidget* MainWindow::ControlWidget(Control c) const {
    switch (c) {
        case Control::DepartureBox:
            return departureBox_;
        case Control::ArrivalBox:
            return arrivalBox_;
        case Control::StationBox:
            return stationBox_;
        case Control::TrainNumberBox:
            return trainNumberBox_;
        case Control::DirectButton:
            return directButton_;
        case Control::SwapButton:
            return swapButton_;
        case Control::TransferButton:
            return transferButton_;
        case Control::JourneyButton:
            return journeyButton_;
        case Control::TrainButton:
            return trainButton_;
        case Control::StationButton:
            return stationButton_;
        case Control::AdvancedButton:
            return advancedButton_;
        case Control::AboutButton:
            return aboutButton_;
        case Control::UpdateButton:
            return updateButton_;
        case Control::OriginatesFilter:
            return originatesFilter_;
        case Control::TerminatesFilter:
            return terminatesFilter_;
        case Control::ExactNamesFilter:
            return exactNamesFilter_;
        case Control::EmuOnlyFilter:
            return emuOnlyFilter_;
        case Control::ResultGridView:
            return grid_;
        case Control::ResultLabel:
            return resultLabel_;
        case Control::NewVersionLabel:
            return newVersionLabel_;
        case Control::PrintItem:
        case Control::ExportItem:
            return nullptr;
    }
    return nullptr;
}

void MainWindow::RestoreStation(Control c) {
    const char* key = c == Control::DepartureBox ? "stations/from"
                      : c == Control::ArrivalBox ? "stations/to"
                      : c == Control::StationBox ? "stations/board"
                                                 : nullptr;
    StationCombo* box = key ? Combo(c) : nullptr;
    if (box == nullptr || !box->currentText().isEmpty()) return;
    box->SetTextQuietly(KeptValue(QString::fromLatin1(key)).toString());
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // The boxes as the user left them, for the next run.
    Keep(QStringLiteral("stations/from"), departureBox_->currentText());
    Keep(QStringLiteral("stations/to"), arrivalBox_->currentText());
    Keep(QStringLiteral("stations/board"), stationBox_->currentText());
    // The journey window belongs to this one and closes with it.
    if (auto* journey = findChild<JourneyDialog*>(QString(), Qt::FindDirectChildrenOnly))
        journey->close();
    QWidget::closeEvent(event);
}

void MainWindow::SetEnabled(Control c, bool enabled) {
    if (c == Control::PrintItem || c == Control::ExportItem) {
        if (QAction* a = AdvancedMenuAction(advancedMenu_, c == Control::PrintItem
                                                               ? QStringLiteral("PrintItem")
                                                               : QStringLiteral("ExportItem"))) {
            a->setEnabled(enabled);
        }
        return;
    }
    QWidget* w = ControlWidget(c);
    if (w == nullptr) return;
    w->setEnabled(enabled);
    // The station boxes are what a traveller types into first: the keyboard goes to 发站 as
    // soon as it can take it, unless the user is already typing elsewhere.
    if (enabled) RestoreStation(c);
    if (c == Control::DepartureBox && enabled) {
        QWidget* focus = focusWidget();
        if (focus == nullptr ||
            !(qobject_cast<QLineEdit*>(focus) || qobject_cast<QComboBox*>(focus)))
            departureBox_->setFocus(Qt::OtherFocusReason);
    }
}

bool MainWindow::IsEnabled(Control c) const {
    if (c == Control::PrintItem || c == Control::ExportItem) {
        QAction* a = AdvancedMenuAction(advancedMenu_, c == Control::PrintItem
                                                           ? QStringLiteral("PrintItem")
                                                           : QStringLiteral("ExportItem"));
        return a && a->isEnabled();
    }
    const QWidget* w = ControlWidget(c);
    // The control's own state, whichever panel happens to be showing.
    return w && w->isEnabledTo(w->window());
}

std::string MainWindow::Text(Control c) const {
    QWidget* w = ControlWidget(c);
    if (auto* box = qobject_cast<QComboBox*>(w)) return GbkFromQString(box->currentText());
    if (auto* edit = qobject_cast<QLineEdit*>(w)) return GbkFromQString(edit->text());
    if (auto* label = qobject_cast<QLabel*>(w)) return GbkFromQString(label->text());
    if (auto* button = qobject_cast<QAbstractButton*>(w)) return GbkFromQString(button->text());
    return {};
}

void MainWindow::SetText(Control c, const std::string& gbk) {
    const QString text = QStringFromGbk(gbk);
    QWidget* w = ControlWidget(c);
    if (auto* box = qobject_cast<StationCombo*>(w)) {
        box->SetTextQuietly(text);
    } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        edit->setText(text);
    } else if (auto* label = qobject_cast<QLabel*>(w)) {
        label->setText(text);
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        button->setText(text);
    }
}

bool MainWindow::Checked(Control c) const {
    auto* cb = qobject_cast<QCheckBox*>(ControlWidget(c));
    return cb && cb->isChecked();
}

void MainWindow::SetChecked(Control c, bool checked) {
    if (auto* cb = qobject_cast<QCheckBox*>(ControlWidget(c))) cb->setChecked(checked);
}

void MainWindow::SetFocus(Control c) {
    if (QWidget* w = ControlWidget(c)) w->setFocus(Qt::OtherFocusReason);
}

MsgAnswer MainWindow::ShowMessage(const std::string& caption, const std::string& text,
                                  MsgButtons buttons, MsgIcon icon) {
    QMessageBox::Icon qicon = QMessageBox::NoIcon;
    switch (icon) {
        case MsgIcon::None:
            break;
        case MsgIcon::Information:
            qicon = QMessageBox::Information;
            break;
        case MsgIcon::Question:
            qicon = QMessageBox::Question;
            break;
        case MsgIcon::Warning:
            qicon = QMessageBox::Warning;
            break;
        case MsgIcon::Error:
            qicon = QMessageBox::Critical;
            break;
    }
    QMessageBox::StandardButtons qbuttons = QMessageBox::Ok;
    QMessageBox::StandardButton escape = QMessageBox::Ok;
    if (buttons == MsgButtons::YesNo) {
        qbuttons = QMessageBox::Yes | QMessageBox::No;
        escape = QMessageBox::No;
    } else if (buttons == MsgButtons::YesNoCancel) {
        qbuttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        escape = QMessageBox::Cancel;
    }
    QMessageBox box(qicon, QStringFromGbk(caption), QStringFromGbk(text), qbuttons, this);
    box.setObjectName(QStringLiteral("MessageBox"));
    box.setEscapeButton(escape);
    box.setFont(font());
    FitCaption(box);
    // Modal while it is up: the rest of the program waits for the answer.
    box.setWindowModality(Qt::ApplicationModal);
    const int answer = box.exec();
    switch (answer) {
        case QMessageBox::Yes:
            return MsgAnswer::Yes;
        case QMessageBox::No:
            return MsgAnswer::No;
        case QMessageBox::Cancel:
            return MsgAnswer::Cancel;
        case QMessageBox::Ok:
            return MsgAnswer::Ok;
        default:
            break;
    }
    // Closed by the window's close button: the escape answer.
    switch (escape) {
        case QMessageBox::No:
            return MsgAnswer::No;
        case QMessageBox::Cancel:
            return MsgAnswer::Cancel;
        default:
            return MsgAnswer::Ok;
    }
}

void MainWindow::SetBusyCursor(bool busy) {
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        ++busyDepth_;
    } else if (busyDepth_ > 0) {
        QApplication::restoreOverrideCursor();
        --busyDepth_;
    }
}

}  // namespace korvel::ui
