#include "online/web_panels.h"

#include <stdexcept>

#include "data/gbk.h"

namespace korvel {

std::string_view LinkUrl(WebLink link) {
    switch (link) {
        case WebLink::Plane:
            return kPartnerFlightUrl;
        case WebLink::Hotel:
            return kPartnerHotelUrl;
        case WebLink::Sell:
            return kTicketSalesUrl;
        case WebLink::Logo:
        case WebLink::Update:
            return kPublisherHomeUrl;
    }
    return kPublisherHomeUrl;
}

bool ExternalLinkAllowed(std::string_view scheme, LinkSource source) {
    auto is = [scheme](std::string_view name) {
        if (scheme.size() != name.size()) return false;
        for (std::size_t i = 0; i < name.size(); ++i) {
            char ch = scheme[i];
            if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
            if (ch != name[i]) return false;
        }
        return true;
    };
    if (is("http") || is("https")) return true;
    return source == LinkSource::Program && is("mailto");
}

ToolbarAction ToolbarClick(int button, bool online) {
    ToolbarAction action;
    switch (button) {
        case 1:
            action.shown = Panel::StartPage;
            return action;
        case 2:
            action.shown = Panel::Flights;
            action.url = std::string(kPartnerFlightUrl);
            break;
        case 3:
            action.shown = Panel::Hotels;
            action.url = std::string(kPartnerHotelUrl);
            break;
        case 4:
            action.shown = Panel::Tickets;
            action.url = std::string(kLeftTicketUrl);
            break;
        default:
            throw std::out_of_range("toolbar button must be 1 to 4");
    }
    if (online) {
        action.load = PageLoad::Navigate;
    } else {
        action.load = PageLoad::WriteAboutPage;
        action.url.clear();
    }
    return action;
}

std::string FallbackAboutPage() {
    return Utf8ToGbk(
               "<html><body style=\"font-family: Arial; font-size: 12px; background: #FFFDF4\">"
               "<p><b>Korvel时刻表－－专业及时的列车时刻查询软件</b></p>"
               "<p>Korvel火车网：") +
           std::string(kPublisherHomeUrl) + "</p></body></html>";
}

std::optional<RouteAdvertTexts> RouteAdvert(bool online, std::string_view from,
                                            std::string_view to) {
    if (!online) return std::nullopt;
    RouteAdvertTexts texts;
    texts.flightTitle = std::string(from);
    texts.hotelTitle = std::string(to);
    std::string line(from);
    if (from != to) {
        line += '-';
        line += to;
    }
    texts.flightRoutes.fill(line);
    return texts;
}

std::optional<int> MovedAdvertBrowserTop(int currentTop) {
    if (currentTop < kAdvertBrowserHiddenTop) return kAdvertBrowserHiddenTop;
    return std::nullopt;
}

bool BrowserMessageHandled(PointerMessage message, bool insideBrowser, bool handled) {
    if (!insideBrowser) return handled;
    return message != PointerMessage::Other;
}

}  // namespace korvel
