// The web side of the main window without a browser engine: the addresses it opens, what
// each toolbar button shows and loads, the stand-in start page, the route labels of the
// travel-offer panel and which pointer messages the embedded browsers never receive.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "data/publisher.h"

namespace korvel {

// Addresses. The publisher and its travel partner live on the publisher's own hosts; the
// railway pages are the railway's ticket sites.
inline constexpr std::string_view kVersionFileUrl = "http://www.example.org/korvelver.txt";
inline constexpr std::string_view kPartnerFlightUrl =
    "http://travel.example.org/flight/?partner=korvel";
inline constexpr std::string_view kPartnerHotelUrl =
    "http://travel.example.org/hotel/?partner=korvel";
inline constexpr std::string_view kLeftTicketUrl =
    "https://kyfw.12306.cn/TrainQuery/leftTicketByStation.jsp";
inline constexpr std::string_view kTicketSalesUrl = "https://www.12306.cn/mormhweb/kyfw/";
// A large public web site whose port 80 answers whenever the computer is online.
inline constexpr std::string_view kProbeHost = "www.baidu.com";

// The links that open in the user's default browser.
enum class WebLink {
    Plane,   // FlightLinks, the flight links of the travel-offer panel
    Hotel,   // HotelLinks, the hotel links of the travel-offer panel
    Sell,    // TicketLink on the toolbar
    Logo,    // LogoImage, the about box's logo and address
    Update,  // UpdateButton
};
std::string_view LinkUrl(WebLink link);

// Where a link that leaves the program came from.
enum class LinkSource {
    Program,   // an address of the program's own: its constants and the pages it writes
    LivePage,  // a page loaded from the network asked for a new window
};

// Whether an address may be handed to the desktop's URL handlers. Only web addresses
// (http, https) go out; the program's own pages may also offer a mailto address. Anything
// else (file, javascript, data, custom handlers of other programs) a remote page could use
// to start a program on the desktop, so it is refused. The scheme is compared without
// regard to case.
bool ExternalLinkAllowed(std::string_view scheme, LinkSource source);

// The four panels under the toolbar, one visible at a time.
enum class Panel { StartPage = 1, Flights = 2, Hotels = 3, Tickets = 4 };

enum class PageLoad {
    None,            // the panel has no browser of its own to load (P1)
    Navigate,        // navigate the panel's browser to `url`
    WriteAboutPage,  // offline: write the start page into the panel's browser
};

struct ToolbarAction {
    Panel shown = Panel::StartPage;  // the panel to show; the other three are hidden
    PageLoad load = PageLoad::None;
    std::string url;  // for Navigate
};

// What StartPageClicked ... TicketsClicked do (button 1 to 4). Every click loads the page again,
// also when its panel is already showing. Throws std::out_of_range for any other button.
ToolbarAction ToolbarClick(int button, bool online);

// A short start page (GBK) shown when the ABOUT blob cannot be read.
std::string FallbackAboutPage();

// Texts of the travel-offer panel for one route.
struct RouteAdvertTexts {
    std::string flightTitle;                  // flight box title
    std::string hotelTitle;                   // hotel box title
    std::array<std::string, 3> flightRoutes;  // the three flight route lines
};

// The route labels after a query: nothing offline; otherwise both titles, and route lines
// reading from "-" to, or from alone when both names are the same text.
std::optional<RouteAdvertTexts> RouteAdvert(bool online, std::string_view from,
                                            std::string_view to);

// The start page browser covers the travel-offer panel until the first online query moves
// it below the panel's visible height. Returns the browser's new top, or nothing when it
// stays where it is.
inline constexpr int kAdvertBrowserHiddenTop = 200;
std::optional<int> MovedAdvertBrowserTop(int currentTop);

// Pointer messages as the application-wide hook sees them.
enum class PointerMessage { RightButtonDown, RightButtonUp, ContextMenu, Other };

// The hook's decision: for a message aimed at an embedded browser (or anything inside it)
// right-button presses, releases and context-menu requests are discarded and everything
// else passes; messages elsewhere keep the `handled` state they came with.
bool BrowserMessageHandled(PointerMessage message, bool insideBrowser, bool handled);

}  // namespace korvel
