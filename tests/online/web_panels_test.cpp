// The web panels, links and about box as widgets, offscreen: the start page in the browser,
// toolbar switching, the travel-offer panel, right clicks swallowed inside the browsers only,
// links handed to the default browser.
#include <gtest/gtest.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QFont>
#include <QMouseEvent>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTimer>
#include <QUrl>
#include <atomic>
#include <cstdlib>
#include <functional>
#include <memory>

#ifdef KORVEL_HAVE_WEBENGINE
#include <QWebEnginePage>
#include <QWebEngineView>
#endif

#include "data/gbk.h"
#include "online/qt/web_browser.h"
#include "online/qt/web_panels_qt.h"
#include "online/version_check.h"
#include "online/web_panels.h"
#include "ui/about_box.h"
#include "views/grid_export.h"

namespace korvel::ui {
namespace {

QApplication& App() {
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
        PrepareWebEngine();
        static int argc = 1;
        static char name[] = "test_web_panels";
        static char* argv[] = {name, nullptr};
        auto* a = new QApplication(argc, argv);
        // The windows ask for Windows font names; use the Simplified Chinese faces here.
        QFont::insertSubstitution(QStringLiteral("宋体"), QStringLiteral("Noto Serif CJK SC"));
        QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Noto Sans CJK SC"));
        return a;
    }();
    return *app;
}

bool WaitFor(const std::function<bool()>& done, int ms = 10000) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return done();
}

void Settle(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
}

// Receives the addresses that would go to the default browser, or to any other handler a
// page might try to reach.
constexpr const char* kSchemes[] = {"http", "https", "mailto", "file", "ftp", "foo", "tel"};
class UrlRecorder : public QObject {
    Q_OBJECT

  public:
    UrlRecorder() {
        for (const char* scheme : kSchemes) {
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "Record");
        }
    }
    ~UrlRecorder() override {
        for (const char* scheme : kSchemes) {
            QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
        }
    }
    QList<QUrl> urls;

  public slots:
    void Record(const QUrl& url) { urls.append(url); }
};

QString Q(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

// Counts the events that reach a widget (after the application's filters).
class EventCounter : public QObject {
  public:
    int rightPresses = 0, rightReleases = 0, leftPresses = 0, contextMenus = 0;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonPress) {
            auto* mouse = static_cast<QMouseEvent*>(event);
            (mouse->button() == Qt::RightButton ? rightPresses : leftPresses)++;
        } else if (event->type() == QEvent::MouseButtonRelease &&
                   static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
            ++rightReleases;
        } else if (event->type() == QEvent::ContextMenu) {
            ++contextMenus;
        }
        return false;
    }
};

void SendRightClick(QWidget* target) {
    QPointF at(20, 20);
    QMouseEvent press(QEvent::MouseButtonPress, at, target->mapToGlobal(at), Qt::RightButton,
                      Qt::RightButton, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, target->mapToGlobal(at), Qt::RightButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(target, &release);
    QContextMenuEvent menu(QContextMenuEvent::Mouse, QPoint(20, 20),
                           target->mapToGlobal(QPoint(20, 20)));
    QApplication::sendEvent(target, &menu);
}

void LeftClick(QWidget* target) {
    QPointF at(2, 2);
    QMouseEvent press(QEvent::MouseButtonPress, at, target->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, target->mapToGlobal(at), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(target, &release);
}

// A stand-in for the main window: a toolbar strip, the panel area, P1 with a result grid.
class WebPanelsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        App();
        window_ = std::make_unique<QWidget>();
        window_->resize(985, 681);
        area_ = new QWidget(window_.get());
        area_->setGeometry(0, 68, 985, 591);
        p1_ = new QWidget(area_);
        p1_->setObjectName(QStringLiteral("P1"));
        p1_->setGeometry(area_->rect());
        grid_ = new QTableWidget(5, 3, p1_);
        grid_->setGeometry(11, 60, 600, 300);
        grid_->setContextMenuPolicy(Qt::CustomContextMenu);
        QObject::connect(grid_, &QWidget::customContextMenuRequested,
                         [this](const QPoint&) { ++gridMenus_; });
        panels_ = new WebPanels(p1_, area_, window_.get(), &online_);
        window_->show();
        panels_->LoadStartPage();
        panels_->InstallEngines(LoadWebEngineModule());
    }
    void TearDown() override { window_.reset(); }

    bool StartPageShown(WebBrowser* browser) {
        return browser->WrittenHtml().contains(Q("红色为始发车列"));
    }

    std::atomic<bool> online_{false};
    std::unique_ptr<QWidget> window_;
    QWidget* area_ = nullptr;
    QWidget* p1_ = nullptr;
    QTableWidget* grid_ = nullptr;
    WebPanels* panels_ = nullptr;
    int gridMenus_ = 0;
};

TEST_F(WebPanelsTest, StartPageIsWrittenIntoTheAdvertisementBrowser) {
    WebBrowser* webB1 = panels_->Browser(1);
    EXPECT_TRUE(StartPageShown(webB1));
    EXPECT_EQ(panels_->AboutPage().substr(0, 6), "<html>");
    EXPECT_LE(panels_->AboutPage().size(), 10001u);
    for (int n : {2, 3, 4}) {
        EXPECT_TRUE(panels_->Browser(n)->WrittenHtml().isEmpty());
        EXPECT_EQ(panels_->Browser(n)->NavigatedUrl(), QUrl(QStringLiteral("about:blank")));
    }
    // StartPageBrowser covers the whole travel-offer panel at start.
    EXPECT_EQ(panels_->StartPagePanel()->geometry(), QRect(11, 423, 963, 169));
    EXPECT_EQ(webB1->geometry(), panels_->StartPagePanel()->contentsRect());
#ifdef KORVEL_HAVE_WEBENGINE
    if (webB1->UsesWebEngine()) {
        auto* view = qobject_cast<QWebEngineView*>(webB1->View());
        ASSERT_NE(view, nullptr);
        // The GBK page decodes and renders as the document text. One script at a time; the
        // answers land in shared state that outlives this test.
        struct Probe {
            QString text;
            bool pending = false;
        };
        auto probe = std::make_shared<Probe>();
        ASSERT_TRUE(WaitFor([&] {
            if (probe->text.contains(Q("蓝色为中转列车"))) return true;
            if (!probe->pending) {
                probe->pending = true;
                view->page()->runJavaScript(
                    QStringLiteral("document.body ? document.body.innerText : ''"),
                    [probe](const QVariant& v) {
                        probe->text = v.toString();
                        probe->pending = false;
                    });
            }
            return false;
        }));
        const QString& text = probe->text;
        EXPECT_TRUE(text.contains(Q("Korvel时刻表－－专业及时的列车时刻查询软件")))
            << text.toStdString();
        EXPECT_EQ(view->page()->title(), Q("Korvel时刻"));
    }
#endif
}

TEST_F(WebPanelsTest, ToolbarSwitchesPanelsOffline) {
    EXPECT_EQ(panels_->Visible(), Panel::StartPage);
    EXPECT_TRUE(p1_->isVisible());
    panels_->HotelsClicked();
    EXPECT_EQ(panels_->Visible(), Panel::Hotels);
    EXPECT_FALSE(p1_->isVisible());
    EXPECT_TRUE(panels_->PanelWidget(Panel::Hotels)->isVisible());
    EXPECT_FALSE(panels_->PanelWidget(Panel::Flights)->isVisible());
    EXPECT_FALSE(panels_->PanelWidget(Panel::Tickets)->isVisible());
    EXPECT_EQ(panels_->PanelWidget(Panel::Hotels)->geometry(), p1_->geometry());
    EXPECT_TRUE(StartPageShown(panels_->Browser(3)));

    // Every click loads the page again.
    panels_->Browser(3)->Navigate(QUrl(QStringLiteral("about:blank")));
    panels_->HotelsClicked();
    EXPECT_TRUE(StartPageShown(panels_->Browser(3)));

    panels_->TicketsClicked();
    EXPECT_TRUE(panels_->PanelWidget(Panel::Tickets)->isVisible());
    EXPECT_TRUE(StartPageShown(panels_->Browser(4)));
    panels_->FlightsClicked();
    EXPECT_TRUE(StartPageShown(panels_->Browser(2)));

    // Back to the timetable: its contents are untouched.
    grid_->setItem(0, 0, new QTableWidgetItem(QStringLiteral("G1")));
    panels_->StartPageClicked();
    EXPECT_TRUE(p1_->isVisible());
    for (Panel p : {Panel::Flights, Panel::Hotels, Panel::Tickets}) {
        EXPECT_FALSE(panels_->PanelWidget(p)->isVisible());
    }
    EXPECT_EQ(grid_->item(0, 0)->text(), QStringLiteral("G1"));
}

#ifdef KORVEL_HAVE_WEBENGINE
TEST_F(WebPanelsTest, LinksInTheStartPageOpenInTheDefaultBrowser) {
    WebBrowser* webB1 = panels_->Browser(1);
    if (!webB1->UsesWebEngine()) GTEST_SKIP() << "plain text browser";
    auto* view = qobject_cast<QWebEngineView*>(webB1->View());
    UrlRecorder recorder;
    bool loaded = false;
    QObject::connect(webB1, &WebBrowser::LoadFinished, [&](bool) { loaded = true; });
    webB1->WriteHtml(
        QStringLiteral("<a id='a' href='http://www.example.org/korvel/'>a</a>"
                       "<a id='b' target='_blank' href='http://www.example.org/b'>b</a>"));
    ASSERT_TRUE(WaitFor([&] { return loaded; }));
    view->page()->runJavaScript(QStringLiteral("document.getElementById('a').click();"));
    ASSERT_TRUE(WaitFor([&] { return recorder.urls.size() == 1; }));
    EXPECT_EQ(recorder.urls[0], QUrl(Q(kPublisherHomeUrl)));
    // The program's own page may offer its mail address, also in a new window; other
    // schemes stay in.
    loaded = false;
    webB1->WriteHtml(
        QStringLiteral("<a id='m' href='mailto:k@example.org'>m</a>"
                       "<a id='n' target='_blank' href='mailto:n@example.org'>n</a>"
                       "<a id='f' href='file:///etc/passwd'>f</a>"
                       "<a id='t' href='tel:123'>t</a>"));
    ASSERT_TRUE(WaitFor([&] { return loaded; }));
    for (const char* id : {"f", "t", "m", "n"}) {
        view->page()->runJavaScript(
            QStringLiteral("document.getElementById('%1').click();").arg(QLatin1String(id)));
    }
    ASSERT_TRUE(WaitFor([&] { return recorder.urls.size() >= 3; }));
    Settle(300);
    ASSERT_EQ(recorder.urls.size(), 3);
    EXPECT_EQ(recorder.urls[1], QUrl(QStringLiteral("mailto:k@example.org")));
    EXPECT_EQ(recorder.urls[2], QUrl(QStringLiteral("mailto:n@example.org")));
    // The written page stays.
    EXPECT_NE(view->url().scheme(), QStringLiteral("http"));
}
#endif

// Live pages go to the plain text browser here, so that no test reaches outside hosts.
class WebPanelsTextTest : public WebPanelsTest {
  protected:
    void SetUp() override {
        ::setenv("KORVEL_TEXT_BROWSER", "1", 1);
        WebPanelsTest::SetUp();
        ::unsetenv("KORVEL_TEXT_BROWSER");
    }
};

// With no browser on the computer the user is told, with the address to copy, instead of
// nothing happening.
TEST_F(WebPanelsTest, ALinkNoBrowserTakesIsReportedWithItsAddress) {
    if (!QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty()) {
        GTEST_SKIP() << "a desktop opener is installed here";
    }
    QList<QUrl> told;
    auto saved = BrowserFailureNotice();
    BrowserFailureNotice() = [&](const QUrl& url) { told.append(url); };
    EXPECT_FALSE(OpenWebLink(WebLink::Update));
    WebPanels::TicketLinkClicked();
    BrowserFailureNotice() = saved;
    ASSERT_EQ(told.size(), 2);
    EXPECT_EQ(told[0], QUrl(Q(LinkUrl(WebLink::Update))));
    EXPECT_TRUE(BrowserFailureText(told[1]).endsWith(Q(kTicketSalesUrl)));
    {
        UrlRecorder recorder;  // a browser takes it: nothing to tell
        BrowserFailureNotice() = [&](const QUrl& url) { told.append(url); };
        EXPECT_TRUE(OpenWebLink(WebLink::Update));
        BrowserFailureNotice() = saved;
    }
    EXPECT_EQ(told.size(), 2);
}

TEST_F(WebPanelsTextTest, OnlineToolbarNavigatesToTheLivePages) {
    online_ = true;
    panels_->FlightsClicked();
    EXPECT_EQ(panels_->Browser(2)->NavigatedUrl(), QUrl(Q(kPartnerFlightUrl)));
    panels_->HotelsClicked();
    EXPECT_EQ(panels_->Browser(3)->NavigatedUrl(), QUrl(Q(kPartnerHotelUrl)));
    panels_->TicketsClicked();
    EXPECT_EQ(panels_->Browser(4)->NavigatedUrl(), QUrl(Q(kLeftTicketUrl)));
    EXPECT_TRUE(panels_->Browser(4)->WrittenHtml().isEmpty());
    EXPECT_TRUE(panels_->PanelWidget(Panel::Tickets)->isVisible());
}

TEST_F(WebPanelsTest, PanelsFollowTheTimetablePanel) {
    p1_->setGeometry(0, 0, 900, 500);
    QApplication::processEvents();
    for (Panel p : {Panel::Flights, Panel::Hotels, Panel::Tickets}) {
        EXPECT_EQ(panels_->PanelWidget(p)->geometry(), QRect(0, 0, 900, 500));
    }
}

TEST_F(WebPanelsTest, RouteAdvertOfflineChangesNothing) {
    QString before = panels_->StartPagePanel()->FlightTitle()->text();
    panels_->ShowRouteAdvert(Utf8ToGbk("北京"), Utf8ToGbk("上海"));
    EXPECT_EQ(panels_->StartPagePanel()->FlightTitle()->text(), before);
    EXPECT_TRUE(panels_->StartPagePanel()->BrowserFillsPanel());
    EXPECT_LT(panels_->Browser(1)->y(), 200);
}

TEST_F(WebPanelsTest, RouteAdvertOnlineUncoversTheOffers) {
    online_ = true;
    panels_->ShowRouteAdvert(Utf8ToGbk("北京"), Utf8ToGbk("上海"));
    AdvertPanel* advert = panels_->StartPagePanel();
    EXPECT_EQ(advert->FlightTitle()->text(), Q("北京"));
    EXPECT_EQ(advert->HotelTitle()->text(), Q("上海"));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(advert->FlightRoutes(i)->text(), Q("北京-上海"));
    EXPECT_EQ(panels_->Browser(1)->y(), 200);
    // A later query only relabels; the browser stays away, also after a resize.
    panels_->ShowRouteAdvert(Utf8ToGbk("北京西"), Utf8ToGbk("北京西"));
    EXPECT_EQ(advert->FlightRoutes(2)->text(), Q("北京西"));
    advert->resize(963, 170);
    EXPECT_EQ(panels_->Browser(1)->y(), 200);
}

TEST_F(WebPanelsTest, RightClicksAreSwallowedInsideBrowsersOnly) {
    for (int n = 1; n <= 4; ++n) {
        WebBrowser* browser = panels_->Browser(n);
        EXPECT_EQ(browser->View()->contextMenuPolicy(), Qt::NoContextMenu);
        // The view and whatever child widget the engine routes input to.
        QList<QWidget*> targets{browser->View()};
        for (QWidget* child : browser->View()->findChildren<QWidget*>()) targets.append(child);
        for (QWidget* target : targets) {
            EventCounter counter;
            target->installEventFilter(&counter);
            SendRightClick(target);
            LeftClick(target);
            target->removeEventFilter(&counter);
            EXPECT_EQ(counter.rightPresses, 0) << n;
            EXPECT_EQ(counter.rightReleases, 0) << n;
            EXPECT_EQ(counter.contextMenus, 0) << n;
            EXPECT_EQ(counter.leftPresses, 1) << n;  // other input passes
        }
    }
    // The result grid still gets its menu.
    SendRightClick(grid_->viewport());
    EXPECT_EQ(gridMenus_, 1);
}

TEST_F(WebPanelsTest, LinksOpenInTheDefaultBrowser) {
    UrlRecorder recorder;
    panels_->FlightsClicked();
    auto* plane =
        panels_->PanelWidget(Panel::Flights)->findChild<LinkLabel*>(QStringLiteral("FlightLinks"));
    ASSERT_NE(plane, nullptr);
    EXPECT_EQ(plane->text(), Q("用浏览器打开"));
    LeftClick(plane);
    auto* hotel =
        panels_->PanelWidget(Panel::Hotels)->findChild<LinkLabel*>(QStringLiteral("HotelLinks"));
    ASSERT_NE(hotel, nullptr);
    LeftClick(hotel);
    WebPanels::TicketLinkClicked();
    WebPanels::LogoClicked();
    WebPanels::UpdateButtonClicked();
    // The partner links of the travel-offer panel, once it is uncovered.
    online_ = true;
    panels_->StartPageClicked();
    panels_->ShowRouteAdvert(Utf8ToGbk("北京"), Utf8ToGbk("上海"));
    QList<LinkLabel*> advertLinks = panels_->StartPagePanel()->findChildren<LinkLabel*>();
    EXPECT_EQ(advertLinks.size(), 8);
    for (LinkLabel* link : advertLinks) LeftClick(link);

    ASSERT_EQ(recorder.urls.size(), 13);
    EXPECT_EQ(recorder.urls[0], QUrl(Q(kPartnerFlightUrl)));
    EXPECT_EQ(recorder.urls[1], QUrl(Q(kPartnerHotelUrl)));
    EXPECT_EQ(recorder.urls[2], QUrl(Q(kTicketSalesUrl)));
    EXPECT_EQ(recorder.urls[3], QUrl(Q(kPublisherHomeUrl)));
    EXPECT_EQ(recorder.urls[4], QUrl(Q(kPublisherHomeUrl)));
    int planes = 0, hotels = 0;
    for (int i = 5; i < recorder.urls.size(); ++i) {
        planes += recorder.urls[i] == QUrl(Q(kPartnerFlightUrl));
        hotels += recorder.urls[i] == QUrl(Q(kPartnerHotelUrl));
    }
    EXPECT_EQ(planes, 4);
    EXPECT_EQ(hotels, 4);
}

#ifdef KORVEL_HAVE_WEBENGINE
// The user's own click on a live page: the pointer moves onto the point first, as a hand
// on the mouse would, so that the page knows the link under it.
void UserClick(QWebEngineView* view, QPointF at) {
    QWidget* target = view->focusProxy();
    QMouseEvent move(QEvent::MouseMove, at, target->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(target, &move);
    Settle(300);
    QMouseEvent press(QEvent::MouseButtonPress, at, target->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, target->mapToGlobal(at), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(target, &release);
}

// A live page (not written by the program) whose links ask for new windows: only a web
// address the user clicked reaches the desktop, quietly. Windows a script opens by itself,
// from a click elsewhere on the page, or by clicking a link in the user's place, reach
// nothing.
TEST_F(WebPanelsTest, LivePageNewWindowsOpenOnlyWebLinksTheUserClicked) {
    WebBrowser* webB2 = panels_->Browser(2);
    if (!webB2->UsesWebEngine()) GTEST_SKIP() << "plain text browser";
    auto* view = qobject_cast<QWebEngineView*>(webB2->View());
    UrlRecorder recorder;
    bool loaded = false;
    QObject::connect(webB2, &WebBrowser::LoadFinished, [&](bool) { loaded = true; });
    auto show = [&](const QString& body) {
        loaded = false;
        webB2->Navigate(QUrl(QStringLiteral("data:text/html,") +
                             QUrl::toPercentEncoding("<body style='margin:0'>" + body)));
        return WaitFor([&] { return loaded; });
    };
    // One link in the top line of the page (the only line the small test view shows).
    const QString link = QStringLiteral(
        "<a id='a' target='_blank' href='%1' style='display:block;height:12px'>a</a>");
    for (const char* href :
         {"file:///etc/passwd", "foo://run", "mailto:x@example.org", "http://www.example.org/w"}) {
        ASSERT_TRUE(show(link.arg(QLatin1String(href)))) << href;
        UserClick(view, QPointF(4, 4));
        Settle(500);
    }
    ASSERT_EQ(recorder.urls.size(), 1);
    EXPECT_EQ(recorder.urls[0], QUrl(QStringLiteral("http://www.example.org/w")));

    ASSERT_TRUE(
        show(link.arg(QStringLiteral("http://www.example.org/link")) +
             QStringLiteral("<div style='height:12px' "
                            "onclick=\"window.open('http://www.example.org/elsewhere')\">d</div>"
                            "<script>setTimeout(function() {"
                            "window.open('http://www.example.org/auto'); }, 50);</script>")));
    Settle(500);
    view->page()->runJavaScript(QStringLiteral("document.getElementById('a').click();"));
    Settle(300);
    UserClick(view, QPointF(4, 18));
    Settle(500);
    EXPECT_EQ(recorder.urls.size(), 1);
    UserClick(view, QPointF(4, 4));  // the link itself, by the user
    ASSERT_TRUE(WaitFor([&] { return recorder.urls.size() == 2; }));
    EXPECT_EQ(recorder.urls[1], QUrl(QStringLiteral("http://www.example.org/link")));
}
#endif

TEST(TextBrowserTest, FallbackShowsWrittenPagesAndOpensLinksOutside) {
    App();
    ::setenv("KORVEL_TEXT_BROWSER", "1", 1);
    WebBrowser browser;
    ::unsetenv("KORVEL_TEXT_BROWSER");
    EXPECT_FALSE(browser.UsesWebEngine());
    browser.resize(400, 200);
    browser.WriteHtml(Q("<p>提示：<a href=\"http://www.example.org/korvel/\">Korvel</a></p>"));
    auto* text = qobject_cast<QTextBrowser*>(browser.View());
    ASSERT_NE(text, nullptr);
    EXPECT_TRUE(text->toPlainText().contains(Q("提示：")));
    UrlRecorder recorder;
    emit text->anchorClicked(QUrl(QStringLiteral("http://www.example.org/korvel/")));
    ASSERT_EQ(recorder.urls.size(), 1);
    // A live page cannot be shown: the panel offers it to the default browser instead.
    browser.Navigate(QUrl(Q(kLeftTicketUrl)));
    EXPECT_TRUE(text->toHtml().contains(Q(kLeftTicketUrl)));
}

// A heading sized in pixels by the page shows at that size, as in a web browser.
TEST(TextBrowserTest, HeadingsKeepThePixelSizeThePageGives) {
    App();
    ::setenv("KORVEL_TEXT_BROWSER", "1", 1);
    WebBrowser browser;
    ::unsetenv("KORVEL_TEXT_BROWSER");
    browser.WriteHtml(
        QStringLiteral("<html><head><style>h1 { font-size: 14px; }</style></head>"
                       "<body><h1>Head</h1><h2>Free</h2><p>Text</p></body></html>"));
    auto* text = qobject_cast<QTextBrowser*>(browser.View());
    ASSERT_NE(text, nullptr);
    QTextBlock head = text->document()->begin();
    ASSERT_EQ(head.text(), QStringLiteral("Head"));
    const QTextCharFormat format = head.begin().fragment().charFormat();
    EXPECT_EQ(format.font().pixelSize(), 14);
    EXPECT_TRUE(format.font().bold());
    // A heading the page leaves alone keeps Qt's larger size.
    const QTextBlock free = head.next();
    ASSERT_EQ(free.text(), QStringLiteral("Free"));
    EXPECT_GT(
        free.begin().fragment().charFormat().property(QTextFormat::FontSizeAdjustment).toInt(), 0);
}

// Without a usable engine module a browser stays a text browser for good.
TEST(TextBrowserTest, MissingModuleKeepsTheTextBrowser) {
    App();
    WebBrowser browser;
    browser.InstallEngine(nullptr);
    browser.Navigate(QUrl(Q(kLeftTicketUrl)));
    EXPECT_FALSE(browser.UsesWebEngine());
    auto* text = qobject_cast<QTextBrowser*>(browser.View());
    ASSERT_NE(text, nullptr);
    EXPECT_TRUE(text->toHtml().contains(Q(kLeftTicketUrl)));
}

#ifdef KORVEL_HAVE_WEBENGINE
// The program's own pages stay in the text browser; the first live page brings the engine
// into the same place, and it shows that page.
TEST(TextBrowserTest, FirstLivePageBringsTheEngine) {
    App();
    QWidget window;
    window.resize(400, 300);
    auto* browser = new WebBrowser(&window);
    browser->resize(400, 300);
    window.show();
    browser->WriteHtml(Q("<p>起始页</p>"));
    browser->Navigate(QUrl(QStringLiteral("about:blank")));
    EXPECT_FALSE(browser->UsesWebEngine());
    EXPECT_NE(qobject_cast<QTextBrowser*>(browser->View()), nullptr);

    bool loaded = false;
    QObject::connect(browser, &WebBrowser::LoadFinished, [&](bool ok) { loaded = ok; });
    browser->Navigate(QUrl(QStringLiteral("data:text/html,<p id='p'>live</p>")));
    ASSERT_TRUE(browser->UsesWebEngine());
    auto* view = qobject_cast<QWebEngineView*>(browser->View());
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->parentWidget(), browser);
    EXPECT_TRUE(view->isVisible());
    EXPECT_TRUE(browser->findChildren<QTextBrowser*>().isEmpty());
    ASSERT_TRUE(WaitFor([&] { return loaded; }));
    EXPECT_EQ(view->url().scheme(), QStringLiteral("data"));
}
#endif

TEST(AboutBoxTest, ShowsVersionAddressAndDataNote) {
    App();
    AboutBox box;
    EXPECT_EQ(box.windowTitle(), Q("关于"));
    EXPECT_EQ(box.size(), QSize(361, 212));
    EXPECT_TRUE(box.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(box.VersionLabel()->text(), Q("版本:2011.09.30"));
    EXPECT_EQ(box.VersionLabel()->pos(), QPoint(107, 88));
    EXPECT_EQ(box.AddressLink()->text(), Q(kPublisherHomeUrl));
    EXPECT_TRUE(box.AddressLink()->font().underline());
    EXPECT_TRUE(box.AddressLink()->font().bold());
    EXPECT_EQ(box.LogoImage()->pos(), QPoint(106, 12));
    auto* creditName = box.findChild<QLabel*>(QStringLiteral("CreditName"));
    ASSERT_NE(creditName, nullptr);
    EXPECT_EQ(creditName->text(), Q("Korvel火车网"));
    EXPECT_EQ(box.findChild<QLabel*>(QStringLiteral("CreditCaption"))->text(), Q("荣誉出品："));
    EXPECT_TRUE(box.findChild<QLabel*>(QStringLiteral("SourceNote"))->isHidden());
    QString note = box.findChild<QLabel*>(QStringLiteral("DataNote"))->text();
    EXPECT_TRUE(note.contains(QStringLiteral("2019")));
    EXPECT_TRUE(note.contains(Q("公开资料")));
    EXPECT_TRUE(note.contains(Q("估算")));

    UrlRecorder recorder;
    LeftClick(box.AddressLink());
    LeftClick(box.LogoImage());
    ASSERT_EQ(recorder.urls.size(), 2);
    EXPECT_EQ(recorder.urls[0], QUrl(Q(kPublisherHomeUrl)));
}

// The export file, the start page, the about box and the links name one and the same home
// page.
TEST_F(WebPanelsTest, OnePublisherAddressEverywhere) {
    const std::string address(kPublisherHomeUrl);
    const std::string& page = panels_->AboutPage();
    EXPECT_NE(page.find("href=\"" + address + "\""), std::string::npos);
    EXPECT_NE(page.find(">" + address + "<"), std::string::npos);
    EXPECT_EQ(page.find("@KORVEL_"), std::string::npos);  // the build filled the address in
    EXPECT_EQ(ExportPublisherAddress(), address);
    EXPECT_EQ(LinkUrl(WebLink::Logo), address);
    EXPECT_EQ(LinkUrl(WebLink::Update), address);
    AboutBox box;
    EXPECT_EQ(box.AddressLink()->text(), Q(address));
    EXPECT_NE(FallbackAboutPage().find(address), std::string::npos);
}

TEST(AboutBoxTest, NamesTheTimetableInUse) {
    App();
    AboutBox box;
    const QString timetable =
        Q("时刻表目录 /home/user/a-rather-long/folder/name: 8034车次, 79352停站");
    box.SetTimetableText(timetable);
    QLabel* note = box.findChild<QLabel*>(QStringLiteral("DataNote"));
    EXPECT_TRUE(note->text().startsWith(timetable));
    EXPECT_TRUE(note->text().contains(Q("估算")));
    EXPECT_TRUE(note->wordWrap());
    EXPECT_EQ(note->toolTip(), timetable);
    EXPECT_LE(note->geometry().bottom(), box.height());
    // Clear of the box's edges, as the lines above it are.
    EXPECT_GE(note->x(), 10);
    EXPECT_GE(box.width() - 1 - note->geometry().right(), 10);
    EXPECT_GE(box.height() - 1 - note->geometry().bottom(), 10);
    // Every wrapped line shows: the last one ends in "值。".
    EXPECT_GE(note->height(), note->heightForWidth(note->width()));
    box.grab().save(QStringLiteral(KORVEL_BINARY_DIR "/about_box_timetable.png"));
}

TEST(AboutBoxTest, ModalBoxShowsTheMainWindowsLogo) {
    App();
    QPixmap logo = LoadLogoPixmap();
    ASSERT_FALSE(logo.isNull());
    EXPECT_EQ(logo.size(), QSize(143, 63));
    QWidget mainWindow;
    mainWindow.resize(985, 681);
    mainWindow.show();
    QImage shown;
    bool onTop = false;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<AboutBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        shown = box->LogoImage()->pixmap().toImage();
        onTop = box->parentWidget() == &mainWindow;
        box->accept();
    });
    AboutClicked(&mainWindow, logo);
    EXPECT_EQ(shown, logo.toImage());
    EXPECT_TRUE(onTop);
    // The box is gone once closed.
    EXPECT_TRUE(mainWindow.findChildren<AboutBox*>().isEmpty());
}

}  // namespace
}  // namespace korvel::ui

#include "web_panels_test.moc"
