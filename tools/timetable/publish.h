// korvel-ttbuild's publisher subcommands:
//   korvel-ttbuild keygen --public PUB --secret SEC [--force]
//   korvel-ttbuild pack TTDIR --name NAME --secret SEC --out DIR [--sequence N]
//                       [--valid-from YYYY-MM-DD] [--expires-days N]
// `args` are the words after the subcommand's name; the return value is the exit code.
#pragma once

#include <string>
#include <vector>

namespace korvel::timetable {

int RunKeygen(const std::vector<std::string>& args);
int RunPack(const std::vector<std::string>& args);

}  // namespace korvel::timetable
