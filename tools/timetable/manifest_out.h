// The manifest korvel-ttbuild writes beside the four streams: the timetable's name and first
// valid day, the builder, and each stream's size, records and SHA-256.
#pragma once

#include <ctime>
#include <optional>
#include <string>

namespace korvel::timetable {

// "korvel-ttbuild 2011.09.30": the builder that wrote a manifest.
extern const char* const kBuilderName;

struct TimetableNaming {
    std::string name;       // the timetable's name
    std::string validFrom;  // YYYY-MM-DD
    // The planner's default change minutes, at one station and between stations of one city,
    // when the source gave them (a feed's transfers.txt); absent ones leave the program's.
    std::optional<int> minTransfer, cityTransfer;
};

// The naming a build gets unless told otherwise. A source whose path has a folder named
// "timetable-YYYY" (as the public source has "timetable-2019") is that year's timetable,
// valid from the year's first day: the source has no dates, and the railway's yearly
// timetable starts in its first days. Any other source is named "timetable", valid from the
// day it was built (`now`, UTC), the first day anyone could have used it.
TimetableNaming DefaultNaming(const std::string& sourcePath, std::time_t now);

// The manifest's text for the four streams (and the stations' places when `coords` is not
// empty) and the naming's change minutes; nothing, with `error` set, when the name or date
// would not make a manifest the loaders accept.
std::optional<std::string> ManifestText(const TimetableNaming& naming, const std::string& slist,
                                        const std::string& strain, const std::string& sm,
                                        const std::string& spy, std::string& error,
                                        const std::string& coords = {});

}  // namespace korvel::timetable
