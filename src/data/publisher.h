// Who publishes the program: its home page. The export file's address line, the start page
// (data/about.html, filled in by the build from this line), the about box and the links to
// the publisher all show this one address.
#pragma once

#include <string_view>

namespace korvel {

inline constexpr std::string_view kPublisherHomeUrl = "http://www.example.org/korvel/";

// Where the publisher's signed timetable updates are listed (korvel-cli update, the window's
// update dialog and the start-up check). KORVEL_CATALOGUE_URL in the environment points
// elsewhere (tests use a server on 127.0.0.1).
inline constexpr std::string_view kTimetableCatalogueUrl =
    "https://www.example.org/korvel/timetables/catalogue.json";

}  // namespace korvel
