// The manifest of four table streams held in memory, as korvel-ttbuild writes it beside
// them (and as a test or an update package makes one for streams it has).
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "data/manifest.h"

namespace korvel::data {

// The streams in the manifest's file order: SLIST, STRAIN, SM, SPY.
using ManifestStreams = std::array<std::string_view, 4>;

// Sizes, SHA-256 digests and record counts of the streams (each is read to count its
// records: throws TableStreamError when one does not load), with the totals taken from
// them (trains from SLIST, stops from STRAIN, stations from SPY).
Manifest ManifestForStreams(std::string name, std::string validFrom, std::string builder,
                            const ManifestStreams& streams);

// The entry of one stream `file` (read to count its records, as above).
ManifestEntry EntryForStream(std::string_view file, std::string_view bytes);

}  // namespace korvel::data
