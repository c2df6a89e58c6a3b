// Who publishes the program: its home page. The export file's address line, the start page
// (data/about.html, filled in by the build from this line), the about box and the links to
// the publisher all show this one address.
#pragma once

#include <string_view>

namespace korvel {

inline constexpr std::string_view kPublisherHomeUrl = "http://www.example.org/korvel/";

}  // namespace korvel
