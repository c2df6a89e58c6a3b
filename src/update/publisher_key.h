// The publisher's public key the program trusts for timetable updates (minisign's public
// key file), built in from packaging/timetable-publisher.pub; and the update settings that
// come from the publisher and the environment.
#pragma once

#include <string>
#include <string_view>

namespace korvel::update {

std::string_view EmbeddedPublisherKey();

// The catalogue address: KORVEL_CATALOGUE_URL when set, else the publisher's.
std::string DefaultCatalogueUrl();

}  // namespace korvel::update
