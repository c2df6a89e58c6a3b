#include "journey/journey_defaults.h"

namespace korvel {

JourneyOptions JourneyDefaultsOf(const std::optional<data::Manifest>& manifest) {
    JourneyOptions o;
    if (manifest) {
        o.minTransfer = manifest->minTransfer.value_or(o.minTransfer);
        o.cityTransfer = manifest->cityTransfer.value_or(o.cityTransfer);
    }
    return o;
}

}  // namespace korvel
