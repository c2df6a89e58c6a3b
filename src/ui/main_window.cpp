#include "ui/main_window.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QIcon>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>
#include <QValidator>

#include "online/qt/about_box.h"
#include "online/qt/version_thread.h"
#include "online/qt/web_panels_qt.h"
#include "online/shortcut.h"
#include "resources/resources.h"
#include "ui/dialogs/dialogs.h"
#include "ui/dialogs/qt_text.h"
#include "ui/result_table.h"
#include "ui/station_combo.h"

namespace korvel::ui {

namespace {

constexpr int kGridLeft = 14;
constexpr int kGridTop = 43;
constexpr int kGridWidth = 960;
constexpr int kGridHeight = 305;
constexpr int kBandTop = 1;
constexpr int kHeaderTop = 22;
constexpr int kStripHeight = 20;

QString Q(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// Left edge of a grid column inside the timetable panel: the grid's frame, then every
// column before it with its 1-px grid line.
int ColumnLeft(int column) {
    int x = kGridLeft + 1;
    for (int i = 0; i < column; ++i) x += ResultColumnWidths()[i] + 1;
    return x;
}

void FillBackground(QWidget* w, QColor colour) {
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, colour);
    w->setPalette(pal);
    w->setAutoFillBackground(true);
}

void SetTextColour(QWidget* w, QColor colour) {
    QPalette pal = w->palette();
    pal.setColor(QPalette::WindowText, colour);
    pal.setColor(QPalette::Text, colour);
    w->setPalette(pal);
}

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

// ECC turns every letter typed into upper case.
class UpperCaseValidator : public QValidator {
  public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        input = input.toUpper();
        return Acceptable;
    }
};

QPushButton* QueryButton(QWidget* parent, const char* name, const char* caption, QRect geometry) {
    auto* b = new QPushButton(Q(caption), parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(geometry);
    b->setStyleSheet(QStringLiteral(
        "QPushButton { background-color: #F4F4F0; border: 1px solid #9A9A94; border-radius: 2px; }"
        "QPushButton:hover { background-color: #FFC73C; }"
        "QPushButton:pressed { background-color: #F0B020; }"
        "QPushButton:disabled { color: #A0A0A0; }"
        "QPushButton:focus { border: 1px solid #303030; }"
        "QPushButton::menu-indicator { subcontrol-position: right center; right: 3px; }"));
    return b;
}

QLabel* PlainLabel(QWidget* parent, const QString& text, QPoint at) {
    auto* l = new QLabel(text, parent);
    l->move(at);
    l->adjustSize();
    return l;
}

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
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint) {
    InstallFontSubstitutes();
    setObjectName(QStringLiteral("FrmKorvel"));
    setWindowTitle(
        Q("Korvel时刻表，准确及时的列车时刻表提供者，免费预订打折机票、特价酒店，使您出行无忧！"));
    setFont(SongFont(12));
    setFixedSize(kClientWidth, kClientHeight);
    FillBackground(this, QApplication::palette().color(QPalette::Button));

    controller_ = std::make_unique<MainController>(*this);

    BuildTopBar();
    BuildTimetablePanel();
    // P2..P4 lie on P1 in the area between the toolbar and the status bar; P1Msg goes into
    // P1 under the query boxes.
    web_ = new WebPanels(p1_, this, this);
    BuildStatusBar();
    WireController();

    // The loading state until FormCreate hands over to the controller: station boxes and
    // query buttons stay off until their tables are there.
    for (Control c : {Control::ComboFZ, Control::ComboDZ, Control::ComboCZ, Control::BTNZZCX,
                      Control::BTNZZZZ, Control::BTNCCCX, Control::BTNCZCX}) {
        SetEnabled(c, false);
    }
    SetStatusText(0, VersionStatusText());

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(kClientWidth / 2, kClientHeight / 2));
    }
}

TFrmKorvel::~TFrmKorvel() {
    // The controller joins its loader threads; nothing they post runs after this.
    controller_.reset();
    while (busyDepth_ > 0) {
        QApplication::restoreOverrideCursor();
        --busyDepth_;
    }
}

void TFrmKorvel::BuildTopBar() {
    top_ = new TopBar(this);
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

void TFrmKorvel::BuildTimetablePanel() {
    auto* p1 = new QFrame(this);
    p1->setObjectName(QStringLiteral("P1"));
    p1->setGeometry(0, kTopBarHeight, kClientWidth,
                    kClientHeight - kTopBarHeight - kStatusBarHeight);
    FillBackground(p1, Rgb(0xE3EFF3));
    p1_ = p1;

    // Section headings over groups of columns.
    struct Band {
        const char* name;
        const char* caption;
        int first, last;
    };
    const Band bands[3] = {{"LabLcxx", "列  车  信  息", 0, 3},
                           {"Labcxqj", "查  询  区  间", 4, 10},
                           {"Labckpj", "参  考  票  价", 11, 14}};
    for (const Band& b : bands) {
        auto* l = new QLabel(Q(b.caption), p1);
        l->setObjectName(QString::fromLatin1(b.name));
        l->setFont(SongFont(14));
        l->setAlignment(Qt::AlignCenter);
        FillBackground(l, Rgb(0xFEFCDA));
        const int left = ColumnLeft(b.first);
        l->setGeometry(left, kBandTop, ColumnLeft(b.last + 1) - left - 1, kStripHeight);
    }

    const HeaderLabels plain = MainHeaderLabels();
    for (int c = 0; c < ResultGrid::kColumns; ++c) {
        auto* l = new ClickLabel(QStringFromGbk(plain.Caption(c)), p1);
        l->setObjectName(QStringLiteral("Lab%1").arg(c + 1));
        l->setProperty("tag", 33);  // a sortable column header
        l->setAlignment(Qt::AlignCenter);
        FillBackground(l, Rgb(0xF2F2F9));
        l->setGeometry(ColumnLeft(c), kHeaderTop, ResultColumnWidths()[c], kStripHeight);
        l->setCursor(Qt::PointingHandCursor);
        headers_[c] = l;
    }

    model_ = new ResultGridModel(this);
    model_->SetGrid(&controller_->Grid());
    model_->SetTransferStation([this] { return controller_->TransferStation(); });
    grid_ = new ResultTableView(p1);
    grid_->setObjectName(QStringLiteral("SGrid"));
    grid_->setModel(model_);
    grid_->setGeometry(kGridLeft, kGridTop, kGridWidth, kGridHeight);
    for (int c = 0; c < ResultGrid::kColumns; ++c) {
        grid_->setColumnWidth(c, ResultColumnWidths()[c] + 1);
    }
    grid_->setToolTip(Q("双击鼠标，可查看详细车次信息\n鼠标右键，弹出高级菜单"));

    BuildQueryBoxes(p1);
    BuildResultLine(p1);
}

void TFrmKorvel::BuildQueryBoxes(QWidget* p1) {
    constexpr int top = 351;
    constexpr int height = 46;
    const QFont groupFont = SongFont(12);

    auto* zz = new QGroupBox(Q("站站查询"), p1);
    zz->setObjectName(QStringLiteral("GroupZZ"));
    zz->setGeometry(14, top, 448, height);
    PlainLabel(zz, Q("发站"), {8, 21});
    comboFZ_ = new StationCombo(zz);
    comboFZ_->setObjectName(QStringLiteral("ComboFZ"));
    comboFZ_->setGeometry(34, 17, 102, 22);
    PlainLabel(zz, Q("到站"), {142, 21});
    comboDZ_ = new StationCombo(zz);
    comboDZ_->setObjectName(QStringLiteral("ComboDZ"));
    comboDZ_->setGeometry(168, 17, 102, 22);
    btnZZCX_ = QueryButton(zz, "BTNZZCX", "查询", {278, 16, 53, 24});
    btnZZFX_ = QueryButton(zz, "BTNZZFX", "反向", {334, 16, 53, 24});
    btnZZZZ_ = QueryButton(zz, "BTNZZZZ", "中转", {390, 16, 53, 24});
    btnZZZZ_->setProperty("tag", 1);

    auto* cc = new QGroupBox(Q("车次查询"), p1);
    cc->setObjectName(QStringLiteral("GroupCC"));
    cc->setGeometry(468, top, 152, height);
    ecc_ = new QLineEdit(cc);
    ecc_->setObjectName(QStringLiteral("ECC"));
    ecc_->setGeometry(8, 17, 82, 22);
    ecc_->setValidator(new UpperCaseValidator(ecc_));
    btnCCCX_ = QueryButton(cc, "BTNCCCX", "查询", {94, 16, 53, 24});

    auto* cz = new QGroupBox(Q("车站全部车次查询"), p1);
    cz->setObjectName(QStringLiteral("GroupCZ"));
    cz->setGeometry(626, top, 174, height);
    comboCZ_ = new StationCombo(cz);
    comboCZ_->setObjectName(QStringLiteral("ComboCZ"));
    comboCZ_->setGeometry(8, 17, 102, 22);
    btnCZCX_ = QueryButton(cz, "BTNCZCX", "查询", {115, 16, 53, 24});

    for (QGroupBox* g : {zz, cc, cz}) g->setFont(groupFont);

    btnAdvanced_ = QueryButton(p1, "BTNAdvanced", "高级", {826, top + 16, 64, 24});
    btnAbout_ = QueryButton(p1, "BTNAbout", "关于", {900, top + 16, 64, 24});

    // The three boxes start with twelve empty items.
    const QStringList twelve(12, QString());
    for (StationCombo* box : {comboFZ_, comboDZ_, comboCZ_}) box->SetItems(twelve);
}

void TFrmKorvel::BuildResultLine(QWidget* p1) {
    constexpr int y = 400;
    labResult_ = new QLabel(QStringFromGbk(ResultLabelText(0)), p1);
    labResult_->setObjectName(QStringLiteral("LabResult"));
    labResult_->setFont(SongFont(14));
    SetTextColour(labResult_, Rgb(0x0000FF));
    labResult_->setGeometry(16, y, 100, 20);

    auto* filterCaption = PlainLabel(p1, Q("当前结果过滤:"), {120, y + 3});
    filterCaption->setObjectName(QStringLiteral("LabFilter"));

    struct Box {
        QCheckBox** target;
        const char* name;
        const char* caption;
        int x;
    };
    const Box boxes[4] = {{&cbSF_, "CBSF", "始发车", 206},
                          {&cbZD_, "CBZD", "终到车", 272},
                          {&cbJQ_, "CBJQ", "精确站名", 338},
                          {&cbDC_, "CBDC", "仅动车", 416}};
    for (const Box& b : boxes) {
        auto* cb = new QCheckBox(Q(b.caption), p1);
        cb->setObjectName(QString::fromLatin1(b.name));
        cb->move(b.x, y + 1);
        cb->adjustSize();
        *b.target = cb;
    }

    labNew_ = new QLabel(Q("版本检测中..."), p1);
    labNew_->setObjectName(QStringLiteral("LabNew"));
    SetTextColour(labNew_, Rgb(0x0000FF));
    labNew_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    labNew_->setGeometry(490, y + 1, 384, 18);

    btnUpdate_ = QueryButton(p1, "BtnUpdate", "版本升级", {880, y - 4, 94, 27});
    btnUpdate_->setIconSize(QSize(23, 23));
}

void TFrmKorvel::BuildStatusBar() {
    auto* bar = new QFrame(this);
    bar->setObjectName(QStringLiteral("StatusBar1"));
    bar->setGeometry(0, kClientHeight - kStatusBarHeight, kClientWidth, kStatusBarHeight);
    FillBackground(bar, Rgb(0xE3EFF3));
    const int widths[4] = {150, 300, 150, 50};
    const char* texts[4] = {"", "Korvel时刻在手，出差旅行无忧！", "korvel@example.org", "Korvel"};
    int x = 0;
    for (int i = 0; i < 4; ++i) {
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

void TFrmKorvel::WireController() {
    MainController& c = *controller_;

    connect(btnZZCX_, &QPushButton::clicked, this, [&c] { c.BTNZZCXClick(0); });
    connect(btnZZZZ_, &QPushButton::clicked, this, [&c] { c.BTNZZCXClick(1); });
    connect(btnZZFX_, &QPushButton::clicked, this, [&c] { c.BTNZZFXClick(); });
    connect(btnCCCX_, &QPushButton::clicked, this, [&c] { c.BTNCCCXClick(); });
    connect(btnCZCX_, &QPushButton::clicked, this, [&c] { c.BTNCZCXClick(); });

    // `clicked` is the user's click only; the controller's SetChecked stays silent.
    for (QCheckBox* cb : {cbSF_, cbZD_, cbJQ_, cbDC_}) {
        connect(cb, &QCheckBox::clicked, this, [&c] { c.CBSFClick(); });
    }
    for (int i = 0; i < ResultGrid::kColumns; ++i) {
        headers_[i]->clicked = [&c, i] { c.Lab1Click(i + 1); };
    }

    grid_->selectCell = [this, &c](int column, int row) {
        if (c.SGridSelectCell(column, row)) {
            // A row chosen by the keyboard is scrolled into view, as the grid's current cell.
            const int visible = grid_->VisibleRows();
            const int top = c.Grid().TopRow();
            auto& grid = const_cast<ResultGrid&>(c.Grid());
            if (row < top) {
                grid.SetTopRow(row, visible);
            } else if (row >= top + visible) {
                grid.SetTopRow(row - visible + 1, visible);
            }
        }
        GridChanged();
    };
    grid_->wheelStep = [this, &c](bool up) {
        if (up) {
            c.SGridMouseWheelUp(grid_->VisibleRows());
        } else {
            c.SGridMouseWheelDown(grid_->VisibleRows());
        }
        GridChanged();
    };
    grid_->doubleClicked = [&c] { c.SGridDblClick(); };
    grid_->contextMenuAt = [this](const QPoint& pos) { advancedMenu_->popup(pos); };
    grid_->scrolledTo = [this, &c](int top) {
        // The scroll position is the view's own state kept in the grid model, so that the
        // wheel rule scrolls on from where the user left the scroll bar.
        const_cast<ResultGrid&>(c.Grid()).SetTopRow(top, grid_->VisibleRows());
    };

    const std::pair<StationCombo*, Control> boxes[3] = {
        {comboFZ_, Control::ComboFZ}, {comboDZ_, Control::ComboDZ}, {comboCZ_, Control::ComboCZ}};
    for (const auto& [box, control] : boxes) {
        box->userChanged = [&c, control] { c.ComboFZChange(control); };
    }
    comboFZ_->enterPressed = [&c] { c.ComboFZKeyPress('\r'); };
    comboDZ_->enterPressed = [&c] { c.ComboDZKeyPress('\r'); };
    comboCZ_->enterPressed = [&c] { c.ComboCZKeyPress('\r'); };

    AdvancedMenuCallbacks menu;
    menu.popup = [&c] { c.MAdvancedPopup(); };
    menu.MPrintClick = [&c] { c.MPrintClick(); };
    menu.MExportClick = [&c] { c.MExportClick(); };
    menu.MDesktopClick = [] { korvel::MDesktopClick(RunningExecutablePath()); };
    menu.NStartClick = [] { korvel::NStartClick(RunningExecutablePath()); };
    menu.MAboutClick = [this] { korvel::MAboutClick(this, logo_pixmap_); };
    advancedMenu_ = BuildAdvancedMenu(this, menu);
    btnAdvanced_->setMenu(advancedMenu_);
    connect(btnAbout_, &QPushButton::clicked, this,
            [this] { korvel::MAboutClick(this, logo_pixmap_); });
    connect(btnUpdate_, &QPushButton::clicked, this, [] { WebPanels::BtnUpdateClick(); });
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
        TThreadNet::Start(this,
                          [this](const std::string& label) { SetText(Control::LabNew, label); });
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
    if (!logo_pixmap_.isNull()) {
        logo_->setPixmap(logo_pixmap_);
        logo_->resize(logo_pixmap_.size());
    }
    if (!update_pixmap_.isNull()) btnUpdate_->setIcon(QIcon(update_pixmap_));
    ApplyToolbarImages();
}

QPixmap TFrmKorvel::LogoPixmap() const {
    return logo_pixmap_;
}

void TFrmKorvel::ApplyToolbarImages() {
    // Images normal / hot / down for button n are 3n, 3n+1, 3n+2 of ImageListBig.
    for (int i = 0; i < 4; ++i) {
        QIcon icon;
        const QPixmap& normal = imageListBig_.at(3 * i);
        const QPixmap& hot = imageListBig_.at(3 * i + 1);
        const QPixmap& down = imageListBig_.at(3 * i + 2);
        icon.addPixmap(normal, QIcon::Normal, QIcon::Off);
        icon.addPixmap(hot, QIcon::Active, QIcon::Off);
        icon.addPixmap(down, QIcon::Normal, QIcon::On);
        icon.addPixmap(down, QIcon::Active, QIcon::On);
        icon.addPixmap(normal, QIcon::Disabled, QIcon::Off);
        toolButtons_[i]->setIcon(icon);
    }
}

// ---------------------------------------------------------------------------------------
// Panels

void TFrmKorvel::ToolbarClick(int button) {
    switch (button) {
        case 1:
            web_->TB1Click();
            break;
        case 2:
            web_->TB2Click();
            break;
        case 3:
            web_->TB3Click();
            break;
        case 4:
            web_->TB4Click();
            break;
        default:
            return;
    }
    toolButtons_[VisiblePanel() - 1]->setChecked(true);
}

int TFrmKorvel::VisiblePanel() const {
    return static_cast<int>(web_->Visible());
}

QWidget* TFrmKorvel::PanelWidget(int panel) const {
    return web_->PanelWidget(static_cast<Panel>(panel));
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

StationCombo* TFrmKorvel::Combo(Control box) const {
    return qobject_cast<StationCombo*>(ControlWidget(box));
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
    if (QWidget* w = ControlWidget(c)) w->setEnabled(enabled);
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

void TFrmKorvel::SetComboItems(Control box, const std::vector<std::string>& items) {
    StationCombo* combo = Combo(box);
    if (!combo) return;
    QStringList list;
    list.reserve(static_cast<qsizetype>(items.size()));
    for (const std::string& item : items) list.push_back(QStringFromGbk(item));
    combo->SetItems(list);
}

void TFrmKorvel::OpenDropDown(Control box) {
    if (StationCombo* combo = Combo(box)) combo->showPopup();
}

void TFrmKorvel::SetCaretToEnd(Control box) {
    if (StationCombo* combo = Combo(box)) combo->SetCaretToEnd();
}

void TFrmKorvel::GridChanged() {
    model_->Refresh();
    grid_->ScrollToTopRow(controller_->Grid().TopRow());
    grid_->viewport()->update();
}

void TFrmKorvel::SetHeaderLabel(int column, const std::string& caption, bool bold) {
    if (column < 0 || column >= ResultGrid::kColumns) return;
    ClickLabel* l = headers_[column];
    QFont f = l->font();
    f.setBold(bold);
    l->setFont(f);
    l->setText(QStringFromGbk(caption));
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

void TFrmKorvel::ShowRouteAdvert(const std::string& from, const std::string& to) {
    web_->ShowRouteAdvert(from, to);
}

void TFrmKorvel::SetStatusText(int panel, const std::string& gbk) {
    if (panel < 0 || panel >= 4) return;
    statusPanels_[panel]->setText(QStringFromGbk(gbk));
}

void TFrmKorvel::ShowTransferWindow(TransferWindowModel& model) {
    ShowTransferDialog(this, model);
}

void TFrmKorvel::ShowDetailWindow(DetailWindowModel& model) {
    ShowDetailDialog(this, model);
}

std::optional<std::string> TFrmKorvel::AskSaveFileName() {
    return AskExportPath(this);
}

void TFrmKorvel::PrintResultGrid(const TextGrid& grid, int rowCount) {
    PrintGridOnDefaultPrinter(this, grid, GridLayout::Main, rowCount);
}

}  // namespace korvel::ui
