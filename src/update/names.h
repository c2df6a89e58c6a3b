// Names of timetable packages: they become folder and file names, so only a safe set passes.
#pragma once

#include <string>
#include <string_view>

namespace korvel::update {

// True for [A-Za-z0-9._-]{1,64} that does not start with "." (so neither "." nor "..": the
// store keeps its own work files under names that start with ".") and is not "embedded"
// (the word that chooses the timetable inside the program).
bool IsPackageName(std::string_view name);

// The name shown in messages for a name that may hold anything: printable ASCII kept, every
// other byte as \xNN, cut to 80 bytes.
std::string PrintableName(std::string_view name);

}  // namespace korvel::update
