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
#include <QToolButton>

#include "data/gbk.h"
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
        p.fillRect(0, 3, width(), 2, green);  // Shape1, just below it
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

TFrmKorvel::TFrmKorvel(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                          Qt::WindowCloseButtonHint) {
    InstallFontSubstitutes();
    setObjectName(QStringLiteral("FrmKorvel"));
    setWindowTitle(
        Q("Korvel时刻表，准确及时的列车时刻表提供者，免费预订打折机票、特价酒店，使您出行无忧！"));
    setFont(SongFont(12));
    FillBackground(this, QApplication::palette().color(QPalette::Button));
    // The layout is drawn for 985 x 681; a smaller window scrolls it, a larger one gives the
    // extra room to the result grid.
    scroll_ = new ScrollCanvas(this, QSize(kClientWidth, kClientHeight));
    FillBackground(scroll_->Canvas(), QApplication::palette().color(QPalette::Button));

    controller_ = std::make_unique<MainController>(*this);

    BuildTopBar();
    BuildTimetablePanel();
    // P2..P4 lie on P1 in the area between the toolbar and the status bar; P1Msg goes into
    // P1 under the query boxes.
    web_ = new WebPanels(p1_, scroll_->Canvas(), this);
    BuildStatusBar();
    WireController();
    RememberBelowGrid();
    connect(scroll_, &ScrollCanvas::canvasResized, this, [this](QSize size) { LayOut(size); });

    // The loading state until FormCreate hands over to the controller: station boxes and
    // query buttons stay off until their tables are there.
    for (Control c : {Control::ComboFZ, Control::ComboDZ, Control::ComboCZ, Control::BTNZZCX,
                      Control::BTNZZZZ, Control::BTNCCCX, Control::BTNCZCX, Control::BTNHCFA}) {
        SetEnabled(c, false);
    }
    SetStatusText(0, VersionStatusText());

    setMinimumSize(320, 240);
    FitToScreen(this, QSize(kClientWidth, kClientHeight));
}

TFrmKorvel::~TFrmKorvel() {
    // The journey window goes first: it plans through the controller's model.
    delete findChild<TFrmHcfa*>(QString(), Qt::FindDirectChildrenOnly);
    // The controller joins its loader threads; nothing they post runs after this.
    controller_.reset();
    while (busyDepth_ > 0) {
        QApplication::restoreOverrideCursor();
        --busyDepth_;
    }
}

void TFrmKorvel::BuildTopBar() {
    top_ = new TopBar(scroll_->Canvas());
    top_->setObjectName(QStringLiteral("PTop"));
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
        b->setObjectName(QStringLiteral("TB%1").arg(i + 1));
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
        connect(b, &QToolButton::clicked, this, [this, i] { ToolbarClick(i + 1); });
    }
    toolButtons_[0]->setChecked(true);

    labSell_ = new ClickLabel(Q("铁道部动车售票官网"), top_);
    labSell_->setObjectName(QStringLiteral("LabSell"));
    labSell_->move(420, 32);
    QFont underlined = font();
    underlined.setUnderline(true);
    labSell_->setFont(underlined);
    SetTextColour(labSell_, Rgb(0x0000FF));
    labSell_->adjustSize();
    labSell_->setCursor(Qt::PointingHandCursor);
    labSell_->setToolTip(Q("10月份开始，预售全国动车（\"C\"/\"D\"/\"G\"字头）列车的售票业务。"));
    labSell_->clicked = [] { WebPanels::LabSellClick(); };

    logo_ = new ClickLabel(top_);
    logo_->setObjectName(QStringLiteral("ImageLogo"));
    logo_->move(841, 5);
    logo_->resize(143, 63);
    logo_->setCursor(Qt::PointingHandCursor);
    logo_->setToolTip(Q("点击访问Korvel火车网，旅行资讯专家"));
    logo_->clicked = [] { WebPanels::ImageLogoClick(); };
}

void TFrmKorvel::WireController() {
    WireQueryBoxes();
    WireGrid();
    WireTimeClassFilter();
    WireMenu();
}

// ---------------------------------------------------------------------------------------
// Start-up

void TFrmKorvel::FormCreate(StartOptions options) {
    // Loader threads hand their results to the user-interface thread through the event loop;
    // calls still queued when the window goes are dropped with it.
    options.post = [this](std::function<void()> call) {
        QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
    };
    controller_->FormCreate(std::move(options));
    if (startVersionCheck) {
        startVersionCheck();
    } else {
        TThreadNet::Start(this, [this](const std::string& label) {
            SetText(Control::LabNew, label);
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

void TFrmKorvel::LoadImages() {
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
    imageListBig_.clear();
    for (int i = 1; i <= 12; ++i) {
        QPixmap pm = load(("b" + std::to_string(i)).c_str());
        if (pm.isNull()) pm = PlaceholderImage(i - 1, QSize(74, 31));
        imageListBig_.push_back(pm);
    }
    const qreal dpr = devicePixelRatioF();
    if (!logo_pixmap_.isNull()) {
        logo_->setPixmap(ForScreen(logo_pixmap_, dpr));
        logo_->resize(logo_pixmap_.size());
    }
    if (!update_pixmap_.isNull()) btnUpdate_->setIcon(QIcon(ForScreen(update_pixmap_, dpr)));
    ApplyToolbarImages();
}

QPixmap TFrmKorvel::LogoPixmap() const {
    return logo_pixmap_;
}

void TFrmKorvel::ApplyToolbarImages() {
    // Images normal / hot / down for button n are 3n, 3n+1, 3n+2 of ImageListBig.
    const qreal dpr = devicePixelRatioF();
    for (int i = 0; i < 4; ++i) {
        QIcon icon;
        const QPixmap normal = ForScreen(imageListBig_.at(3 * i), dpr);
        const QPixmap hot = ForScreen(imageListBig_.at(3 * i + 1), dpr);
        const QPixmap down = ForScreen(imageListBig_.at(3 * i + 2), dpr);
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

QWidget* TFrmKorvel::ControlWidget(Control c) const {
    switch (c) {
        case Control::ComboFZ:
            return comboFZ_;
        case Control::ComboDZ:
            return comboDZ_;
        case Control::ComboCZ:
            return comboCZ_;
        case Control::ECC:
            return ecc_;
        case Control::BTNZZCX:
            return btnZZCX_;
        case Control::BTNZZFX:
            return btnZZFX_;
        case Control::BTNZZZZ:
            return btnZZZZ_;
        case Control::BTNHCFA:
            return btnHCFA_;
        case Control::BTNCCCX:
            return btnCCCX_;
        case Control::BTNCZCX:
            return btnCZCX_;
        case Control::BTNAdvanced:
            return btnAdvanced_;
        case Control::BTNAbout:
            return btnAbout_;
        case Control::BtnUpdate:
            return btnUpdate_;
        case Control::CBSF:
            return cbSF_;
        case Control::CBZD:
            return cbZD_;
        case Control::CBJQ:
            return cbJQ_;
        case Control::CBDC:
            return cbDC_;
        case Control::SGrid:
            return grid_;
        case Control::LabResult:
            return labResult_;
        case Control::LabNew:
            return labNew_;
        case Control::MPrint:
        case Control::MExport:
            return nullptr;
    }
    return nullptr;
}

void TFrmKorvel::RestoreStation(Control c) {
    const char* key = c == Control::ComboFZ   ? "stations/from"
                      : c == Control::ComboDZ ? "stations/to"
                      : c == Control::ComboCZ ? "stations/board"
                                              : nullptr;
    StationCombo* box = key ? Combo(c) : nullptr;
    if (box == nullptr || !box->currentText().isEmpty()) return;
    box->SetTextQuietly(KeptValue(QString::fromLatin1(key)).toString());
}

void TFrmKorvel::closeEvent(QCloseEvent* event) {
    // The boxes as the user left them, for the next run.
    Keep(QStringLiteral("stations/from"), comboFZ_->currentText());
    Keep(QStringLiteral("stations/to"), comboDZ_->currentText());
    Keep(QStringLiteral("stations/board"), comboCZ_->currentText());
    // The journey window belongs to this one and closes with it.
    if (auto* journey = findChild<TFrmHcfa*>(QString(), Qt::FindDirectChildrenOnly))
        journey->close();
    QWidget::closeEvent(event);
}

void TFrmKorvel::SetEnabled(Control c, bool enabled) {
    if (c == Control::MPrint || c == Control::MExport) {
        if (QAction* a = AdvancedMenuAction(advancedMenu_, c == Control::MPrint
                                                               ? QStringLiteral("MPrint")
                                                               : QStringLiteral("MExport"))) {
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
    if (c == Control::ComboFZ && enabled) {
        QWidget* focus = focusWidget();
        if (focus == nullptr ||
            !(qobject_cast<QLineEdit*>(focus) || qobject_cast<QComboBox*>(focus)))
            comboFZ_->setFocus(Qt::OtherFocusReason);
    }
}

bool TFrmKorvel::IsEnabled(Control c) const {
    if (c == Control::MPrint || c == Control::MExport) {
        QAction* a =
            AdvancedMenuAction(advancedMenu_, c == Control::MPrint ? QStringLiteral("MPrint")
                                                                   : QStringLiteral("MExport"));
        return a && a->isEnabled();
    }
    const QWidget* w = ControlWidget(c);
    // The control's own state, whichever panel happens to be showing.
    return w && w->isEnabledTo(w->window());
}

std::string TFrmKorvel::Text(Control c) const {
    QWidget* w = ControlWidget(c);
    if (auto* box = qobject_cast<QComboBox*>(w)) return GbkFromQString(box->currentText());
    if (auto* edit = qobject_cast<QLineEdit*>(w)) return GbkFromQString(edit->text());
    if (auto* label = qobject_cast<QLabel*>(w)) return GbkFromQString(label->text());
    if (auto* button = qobject_cast<QAbstractButton*>(w)) return GbkFromQString(button->text());
    return {};
}

void TFrmKorvel::SetText(Control c, const std::string& gbk) {
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

bool TFrmKorvel::Checked(Control c) const {
    auto* cb = qobject_cast<QCheckBox*>(ControlWidget(c));
    return cb && cb->isChecked();
}

void TFrmKorvel::SetChecked(Control c, bool checked) {
    if (auto* cb = qobject_cast<QCheckBox*>(ControlWidget(c))) cb->setChecked(checked);
}

void TFrmKorvel::SetFocus(Control c) {
    if (QWidget* w = ControlWidget(c)) w->setFocus(Qt::OtherFocusReason);
}

MsgAnswer TFrmKorvel::ShowMessage(const std::string& caption, const std::string& text,
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

void TFrmKorvel::SetBusyCursor(bool busy) {
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        ++busyDepth_;
    } else if (busyDepth_ > 0) {
        QApplication::restoreOverrideCursor();
        --busyDepth_;
    }
}

}  // namespace korvel::ui
