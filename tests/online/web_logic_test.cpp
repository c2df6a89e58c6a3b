// The web side's decisions without a browser: what each toolbar button shows and loads, and
// the route labels of the travel-offer panel.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "data/gbk.h"
#include "online/web_panels.h"

namespace korvel {
namespace {

TEST(ToolbarClickTest, OfflineEveryWebPanelGetsTheStartPage) {
    EXPECT_EQ(ToolbarClick(1, false).shown, Panel::StartPage);
    EXPECT_EQ(ToolbarClick(1, false).load, PageLoad::None);
    EXPECT_EQ(ToolbarClick(1, true).load, PageLoad::None);
    for (int button : {2, 3, 4}) {
        ToolbarAction action = ToolbarClick(button, false);
        EXPECT_EQ(static_cast<int>(action.shown), button);
        EXPECT_EQ(action.load, PageLoad::WriteAboutPage);
        EXPECT_TRUE(action.url.empty());
    }
}

TEST(ToolbarClickTest, OnlineEachWebPanelLoadsItsPage) {
    EXPECT_EQ(ToolbarClick(2, true).url, kPartnerFlightUrl);
    EXPECT_EQ(ToolbarClick(3, true).url, kPartnerHotelUrl);
    ToolbarAction tickets = ToolbarClick(4, true);
    EXPECT_EQ(tickets.shown, Panel::Tickets);
    EXPECT_EQ(tickets.load, PageLoad::Navigate);
    EXPECT_NE(tickets.url.find("12306.cn/TrainQuery/leftTicketByStation.jsp"), std::string::npos);
    EXPECT_THROW(ToolbarClick(0, true), std::out_of_range);
    EXPECT_THROW(ToolbarClick(5, false), std::out_of_range);
}

TEST(ExternalLinkAllowedTest, WebAddressesAlwaysMailOnlyFromTheProgram) {
    for (LinkSource source : {LinkSource::Program, LinkSource::LivePage}) {
        EXPECT_TRUE(ExternalLinkAllowed("http", source));
        EXPECT_TRUE(ExternalLinkAllowed("HTTPS", source));
        for (const char* scheme : {"file", "javascript", "data", "ftp", "tel", "ms-settings",
                                   "httpx", "http:", "", "mail"}) {
            EXPECT_FALSE(ExternalLinkAllowed(scheme, source)) << scheme;
        }
    }
    EXPECT_TRUE(ExternalLinkAllowed("mailto", LinkSource::Program));
    EXPECT_TRUE(ExternalLinkAllowed("MailTo", LinkSource::Program));
    EXPECT_FALSE(ExternalLinkAllowed("mailto", LinkSource::LivePage));
}

TEST(RouteAdvertTest, OfflineChangesNothing) {
    EXPECT_FALSE(RouteAdvert(false, Utf8ToGbk("北京"), Utf8ToGbk("上海")).has_value());
}

TEST(RouteAdvertTest, TwoCitiesAndOneStation) {
    auto route = RouteAdvert(true, Utf8ToGbk("北京"), Utf8ToGbk("上海"));
    ASSERT_TRUE(route);
    EXPECT_EQ(route->flightTitle, Utf8ToGbk("北京"));
    EXPECT_EQ(route->hotelTitle, Utf8ToGbk("上海"));
    for (const std::string& line : route->flightRoutes) EXPECT_EQ(line, Utf8ToGbk("北京-上海"));

    auto station = RouteAdvert(true, Utf8ToGbk("北京西"), Utf8ToGbk("北京西"));
    ASSERT_TRUE(station);
    for (const std::string& line : station->flightRoutes) EXPECT_EQ(line, Utf8ToGbk("北京西"));
    // Names compare byte for byte: a user-defined character keeps two names apart.
    auto udc = RouteAdvert(true, "\xF8\xB3", "\xF8\xB4");
    EXPECT_EQ(udc->flightRoutes[0], "\xF8\xB3-\xF8\xB4");
}

}  // namespace
}  // namespace korvel
