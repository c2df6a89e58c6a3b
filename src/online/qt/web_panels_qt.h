// The web side of the main window in Qt: the three web panels P2 ... P4, the travel-offer
// panel StartPagePanel with the start-page browser StartPageBrowser, the toolbar handlers that
// switch between the timetable panel P1 and the web panels, the links, and the application-wide
// filter that keeps right clicks away from the embedded browsers.
//
// How the main window uses it:
//   panels = new WebPanels(P1, area, window);   // P1 is the timetable panel in `area`
//   StartPageTool ... TicketsTool clicked                          -> panels->StartPageClicked()
//   ... TicketsClicked() MainView::ShowRouteAdvert(from, to)          ->
//   panels->ShowRouteAdvert(from, to) TicketLink / LogoImage / UpdateButton clicked      ->
//   WebPanels::TicketLinkClicked() / ... last step of the window's creation           ->
//   panels->LoadStartPage()
#pragma once

#include <QFrame>
#include <QLabel>
#include <QObject>
#include <QPointer>
#include <QString>
#include <array>
#include <atomic>
#include <string>
#include <string_view>

#include "online/qt/web_browser.h"
#include "online/version_check.h"
#include "online/web_panels.h"

namespace korvel::ui {

// A blue underlined label that runs `clicked` when pressed with the left button.
class LinkLabel : public QLabel {
    Q_OBJECT

  public:
    LinkLabel(const QString& text, QWidget* parent = nullptr);

  signals:
    void clicked();

  protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// The travel-offer panel StartPagePanel: 963 x 169, a flight box and a hotel box with route labels
// and partner links, partner lines on the right, and the browser StartPageBrowser covering it all
// until the first online query.
class AdvertPanel : public QFrame {
    Q_OBJECT

  public:
    explicit AdvertPanel(QWidget* parent = nullptr);

    WebBrowser* StartPageBrowser() const { return startPageBrowser_; }
    QLabel* FlightTitle() const { return flightTitle_; }
    QLabel* HotelTitle() const { return hotelTitle_; }
    QLabel* FlightRoutes(int i) const { return labfd_.at(static_cast<std::size_t>(i)); }  // 0..2
    // Moves StartPageBrowser to `top` and stops it filling the panel.
    void MoveBrowserTo(int top);
    bool BrowserFillsPanel() const { return fill_; }

  signals:
    void planeLinkClicked();
    void hotelLinkClicked();

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    WebBrowser* startPageBrowser_ = nullptr;
    QLabel* flightTitle_ = nullptr;
    QLabel* hotelTitle_ = nullptr;
    std::array<QLabel*, 3> labfd_{};
    bool fill_ = true;
};

class WebPanels : public QObject {
    Q_OBJECT

  public:
    // `p1` is the timetable panel and `area` the widget it fills; P2 ... P4 are created in
    // `area` on top of P1 (in its layout when it has one, else kept at P1's geometry) and
    // the travel-offer panel at (11, 423) inside P1. `online` is read at every click.
    WebPanels(QWidget* p1, QWidget* area, QObject* parent = nullptr,
              const std::atomic<bool>* online = &IsOnline);
    ~WebPanels() override;

    QWidget* PanelWidget(Panel panel) const;
    Panel Visible() const { return visible_; }
    WebBrowser* Browser(int number) const;  // StartPageBrowser ... TicketsBrowser (1..4)
    AdvertPanel* StartPagePanel() const { return startPagePanel_; }
    // The start page (GBK) read by LoadStartPage.
    const std::string& AboutPage() const { return aboutPage_; }

    // Reads the start page, blanks the four browsers and writes the start page into
    // StartPageBrowser.
    void LoadStartPage();
    // Gives the four browsers their engine views at once rather than at their first live
    // page (see WebBrowser::InstallEngine).
    void InstallEngines(const EngineModuleApi* module);
    // Replaces the browser's document by the GBK page `html`.
    static void WriteHtml(WebBrowser* browser, const std::string& html);

    // Shows the route of the last query (GBK names) in the travel-offer panel when online.
    void ShowRouteAdvert(const std::string& from, const std::string& to);

    // The links: each opens its address in the default browser.
    static void FlightLinkClicked() { OpenWebLink(WebLink::Plane); }
    static void HotelLinkClicked() { OpenWebLink(WebLink::Hotel); }
    static void TicketLinkClicked() { OpenWebLink(WebLink::Sell); }
    static void LogoClicked() { OpenWebLink(WebLink::Logo); }
    static void UpdateButtonClicked() { OpenWebLink(WebLink::Update); }

    // True when `widget` is one of the four browsers or lies inside one.
    bool InsideBrowser(const QObject* widget) const;

  public slots:
    void StartPageClicked() { ToolbarClicked(1); }
    void FlightsClicked() { ToolbarClicked(2); }
    void HotelsClicked() { ToolbarClicked(3); }
    void TicketsClicked() { ToolbarClicked(4); }

  signals:
    void PanelChanged(korvel::Panel shown);

  protected:
    // The application-wide hook: right button presses, releases and context-menu requests
    // aimed inside a browser are discarded. Also keeps P2 ... P4 on P1's geometry.
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void ToolbarClicked(int button);
    QWidget* BuildWebPanel(Panel panel, WebBrowser*& browser);

    QPointer<QWidget> p1_;
    QWidget* area_ = nullptr;
    std::array<QWidget*, 4> panels_{};
    std::array<WebBrowser*, 4> browsers_{};
    AdvertPanel* startPagePanel_ = nullptr;
    const std::atomic<bool>* online_;
    Panel visible_ = Panel::StartPage;
    std::string aboutPage_;
};

}  // namespace korvel::ui
