#include "online/qt/web_panels_qt.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QGridLayout>
#include <QLayout>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QVBoxLayout>
#include <stdexcept>

#include "online/qt/web_browser.h"
#include "resources/resources.h"
#include "ui/dialogs/gbk_qt.h"

namespace korvel::ui {

namespace {

QColor Rgb(unsigned rgb) {
    return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

void SetBackground(QWidget* widget, unsigned rgb) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, Rgb(rgb));
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

QFont SongFont(int pixels, bool bold = false) {
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

QLabel* PlainLabel(const QString& text, QWidget* parent, int x, int y, unsigned rgb = 0x000000) {
    auto* label = new QLabel(text, parent);
    label->setFont(SongFont(12));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Rgb(rgb));
    label->setPalette(palette);
    label->move(x, y);
    label->adjustSize();
    return label;
}

// A black title bar with a white route label on it.
QLabel* TitleBar(QWidget* parent, int x, int y, int width, const QString& suffix, int labelX,
                 int labelY, const QString& route) {
    auto* bar = new QFrame(parent);
    bar->setGeometry(x, y, width, 26);
    SetBackground(bar, 0x000000);
    auto* label = PlainLabel(route, parent, labelX, labelY, 0xFFFFFF);
    label->setFont(SongFont(12, true));
    label->adjustSize();
    auto* tail = PlainLabel(suffix, parent, x + width - 8, labelY, 0xFFFFFF);
    tail->move(x + width - 8 - tail->width(), labelY);
    return label;
}

QString Text(const char* utf8) {
    return QString::fromUtf8(utf8);
}

}  // namespace

LinkLabel::LinkLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    QFont font = SongFont(12);
    font.setUnderline(true);
    setFont(font);
    QPalette palette = this->palette();
    palette.setColor(QPalette::WindowText, Rgb(0x0000FF));
    setPalette(palette);
    setCursor(Qt::PointingHandCursor);
    adjustSize();
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        emit clicked();
    }
    QLabel::mouseReleaseEvent(event);
}

AdvertPanel::AdvertPanel(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("StartPagePanel"));
    setFrameShape(QFrame::Box);
    setLineWidth(1);
    SetBackground(this, 0xFFFDF4);
    resize(963, 169);

    // The flight box on the left, the hotel box beside it.
    for (int x : {8, 248}) {
        auto* box = new QFrame(this);
        box->setGeometry(x, 8, 232, 152);
        box->setFrameShape(QFrame::Box);
        SetBackground(box, 0xFFFFFF);
    }
    flightTitle_ = TitleBar(this, 9, 9, 230, Text("特价机票"), 16, 16, Text("出发城市"));
    flightTitle_->setObjectName(QStringLiteral("FlightTitle"));
    hotelTitle_ = TitleBar(this, 249, 9, 230, Text("特价酒店"), 256, 16, Text("到达城市"));
    hotelTitle_->setObjectName(QStringLiteral("HotelTitle"));

    const int tops[3] = {59, 83, 106};
    const char* flightLinks[3] = {"今日特价 >>", "明日特价 >>", "往返特价 >>"};
    const char* hotelLinks[3] = {"经济型酒店 特价预订 >>", "商务酒店 折扣预订 >>",
                                 "星级酒店 特惠预订 >>"};
    for (int i = 0; i < 3; ++i) {
        labfd_[static_cast<std::size_t>(i)] =
            PlainLabel(Text("出发城市-到达城市"), this, 20, tops[i]);
        labfd_[static_cast<std::size_t>(i)]->setObjectName(
            QStringLiteral("flightRoutes%1").arg(i + 1));
        labfd_[static_cast<std::size_t>(i)]->setMinimumWidth(110);
        auto* plane = new LinkLabel(Text(flightLinks[i]), this);
        plane->move(140, tops[i]);
        connect(plane, &LinkLabel::clicked, this, &AdvertPanel::planeLinkClicked);
        auto* hotel = new LinkLabel(Text(hotelLinks[i]), this);
        hotel->move(260, tops[i]);
        connect(hotel, &LinkLabel::clicked, this, &AdvertPanel::hotelLinkClicked);
    }
    auto* morePlanes = new LinkLabel(Text("更多折扣机票 >>"), this);
    morePlanes->move(130, 136);
    connect(morePlanes, &LinkLabel::clicked, this, &AdvertPanel::planeLinkClicked);
    auto* moreHotels = new LinkLabel(Text("更多特价酒店 >>"), this);
    moreHotels->move(370, 136);
    connect(moreHotels, &LinkLabel::clicked, this, &AdvertPanel::hotelLinkClicked);

    // Partner lines on the right half.
    const char* lines[] = {
        "合作伙伴旅行网：国内机票、酒店一站式预订",
        "机票价格随航班余位变动，以预订页面为准；",
        "酒店价格为合作伙伴协议价，入住前可免费取消；",
        "点击左侧链接，在浏览器中打开预订页面。",
    };
    int y = 20;
    for (const char* line : lines) {
        PlainLabel(Text(line), this, 500, y, 0x404040);
        y += 24;
    }

    startPageBrowser_ = new WebBrowser(this);
    startPageBrowser_->setObjectName(QStringLiteral("StartPageBrowser"));
    startPageBrowser_->setGeometry(contentsRect());
}

void AdvertPanel::MoveBrowserTo(int top) {
    fill_ = false;
    startPageBrowser_->move(startPageBrowser_->x(), top);
}

void AdvertPanel::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    if (fill_) startPageBrowser_->setGeometry(contentsRect());
}

WebPanels::WebPanels(QWidget* p1, QWidget* area, QObject* parent, const std::atomic<bool>* online)
    : QObject(parent), p1_(p1), area_(area), online_(online) {
    if (p1 == nullptr || area == nullptr) throw std::invalid_argument("WebPanels needs P1");
    panels_[0] = p1;
    startPagePanel_ = new AdvertPanel(p1);
    startPagePanel_->move(11, 423);
    browsers_[0] = startPagePanel_->StartPageBrowser();
    connect(startPagePanel_, &AdvertPanel::planeLinkClicked, this, &WebPanels::FlightLinkClicked);
    connect(startPagePanel_, &AdvertPanel::hotelLinkClicked, this, &WebPanels::HotelLinkClicked);

    for (Panel panel : {Panel::Flights, Panel::Hotels, Panel::Tickets}) {
        std::size_t i = static_cast<std::size_t>(panel) - 1;
        panels_[i] = BuildWebPanel(panel, browsers_[i]);
        if (QLayout* layout = area->layout()) {
            layout->addWidget(panels_[i]);
        } else {
            panels_[i]->setGeometry(p1->geometry());
        }
        panels_[i]->hide();
    }
    p1->show();
    if (area->layout() == nullptr) p1->installEventFilter(this);
    qApp->installEventFilter(this);
}

WebPanels::~WebPanels() {
    if (qApp != nullptr) qApp->removeEventFilter(this);
}

QWidget* WebPanels::BuildWebPanel(Panel panel, WebBrowser*& browser) {
    auto* widget = new QWidget(area_);
    widget->setObjectName(QStringLiteral("P%1").arg(static_cast<int>(panel)));
    SetBackground(widget, 0xE3EFF3);
    auto* layout = new QVBoxLayout(widget);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    browser = new WebBrowser(widget);
    browser->setObjectName(QStringLiteral("WebB%1").arg(static_cast<int>(panel)));
    if (panel == Panel::Flights || panel == Panel::Hotels) {
        bool plane = panel == Panel::Flights;
        auto* strip = new QFrame(widget);
        strip->setObjectName(plane ? QStringLiteral("FlightStrip") : QStringLiteral("HotelStrip"));
        strip->setFixedHeight(24);
        SetBackground(strip, 0xFFFFF4);
        auto* link = new LinkLabel(Text("用浏览器打开"), strip);
        link->setObjectName(plane ? QStringLiteral("FlightLinks") : QStringLiteral("HotelLinks"));
        link->move(8, 4);
        connect(link, &LinkLabel::clicked, this,
                plane ? &WebPanels::FlightLinkClicked : &WebPanels::HotelLinkClicked);
        PlainLabel(plane ? Text("机票预订由合作伙伴旅行网提供，国内航班实时查询，"
                                "折扣机票在线预订，价格以预订页面为准。")
                         : Text("酒店预订由合作伙伴旅行网提供，全国特价酒店在线预订，"
                                "价格以预订页面为准。"),
                   strip, 8 + link->width() + 16, 4, 0x404040);
        layout->addWidget(strip);
        layout->addWidget(browser, 1);
    } else {
        // The panel's caption lies under the browser and shows only where it does not.
        auto* grid = new QGridLayout();
        auto* caption = new QLabel(Text("该功能需要联网，请联网后再试。"), widget);
        caption->setObjectName(QStringLiteral("P4Caption"));
        caption->setAlignment(Qt::AlignCenter);
        caption->setFont(SongFont(12));
        grid->addWidget(caption, 0, 0);
        grid->addWidget(browser, 0, 0);
        layout->addLayout(grid, 1);
    }
    return widget;
}

QWidget* WebPanels::PanelWidget(Panel panel) const {
    return panels_.at(static_cast<std::size_t>(panel) - 1);
}

WebBrowser* WebPanels::Browser(int number) const {
    return browsers_.at(static_cast<std::size_t>(number - 1));
}

void WebPanels::LoadStartPage() {
    aboutPage_.clear();
    try {
        aboutPage_ = ReadAboutPage();
    } catch (const std::exception&) {
        aboutPage_ = FallbackAboutPage();
    }
    for (WebBrowser* browser : browsers_) browser->Navigate(QUrl(QStringLiteral("about:blank")));
    WriteHtml(browsers_[0], aboutPage_);
}

void WebPanels::InstallEngines(const EngineModuleApi* module) {
    for (WebBrowser* browser : browsers_) browser->InstallEngine(module);
}

void WebPanels::WriteHtml(WebBrowser* browser, const std::string& html) {
    if (browser == nullptr) return;
    browser->WriteHtml(QStringFromGbk(html));
}

void WebPanels::ToolbarClicked(int button) {
    ToolbarAction action = ToolbarClick(button, online_->load(std::memory_order_acquire));
    for (Panel panel : {Panel::StartPage, Panel::Flights, Panel::Hotels, Panel::Tickets}) {
        if (panel != action.shown) PanelWidget(panel)->hide();
    }
    PanelWidget(action.shown)->show();
    visible_ = action.shown;
    WebBrowser* browser = Browser(static_cast<int>(action.shown));
    switch (action.load) {
        case PageLoad::None:
            break;
        case PageLoad::Navigate:
            browser->Navigate(QUrl(QString::fromStdString(action.url)));
            break;
        case PageLoad::WriteAboutPage:
            WriteHtml(browser, aboutPage_.empty() ? FallbackAboutPage() : aboutPage_);
            break;
    }
    emit PanelChanged(action.shown);
}

void WebPanels::ShowRouteAdvert(const std::string& from, const std::string& to) {
    std::optional<RouteAdvertTexts> texts =
        RouteAdvert(online_->load(std::memory_order_acquire), from, to);
    if (!texts) return;
    startPagePanel_->FlightTitle()->setText(QStringFromGbk(texts->flightTitle));
    startPagePanel_->FlightTitle()->adjustSize();
    startPagePanel_->HotelTitle()->setText(QStringFromGbk(texts->hotelTitle));
    startPagePanel_->HotelTitle()->adjustSize();
    for (int i = 0; i < 3; ++i) {
        QLabel* line = startPagePanel_->FlightRoutes(i);
        line->setText(QStringFromGbk(texts->flightRoutes[static_cast<std::size_t>(i)]));
        line->adjustSize();
    }
    if (std::optional<int> top = MovedAdvertBrowserTop(startPagePanel_->StartPageBrowser()->y())) {
        startPagePanel_->MoveBrowserTo(*top);
    }
}

bool WebPanels::InsideBrowser(const QObject* object) const {
    for (const QObject* o = object; o != nullptr; o = o->parent()) {
        for (const WebBrowser* browser : browsers_) {
            if (o == browser) return true;
        }
    }
    return false;
}

bool WebPanels::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::ContextMenu: {
            PointerMessage message = PointerMessage::Other;
            if (event->type() == QEvent::ContextMenu) {
                message = PointerMessage::ContextMenu;
            } else if (static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
                message = event->type() == QEvent::MouseButtonRelease
                              ? PointerMessage::RightButtonUp
                              : PointerMessage::RightButtonDown;
            }
            if (message != PointerMessage::Other &&
                BrowserMessageHandled(message, InsideBrowser(watched), false)) {
                return true;
            }
            break;
        }
        case QEvent::Move:
        case QEvent::Resize:
            if (watched == p1_.data()) {
                for (std::size_t i = 1; i < panels_.size(); ++i) {
                    panels_[i]->setGeometry(p1_->geometry());
                }
            }
            break;
        default:
            break;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace korvel::ui
