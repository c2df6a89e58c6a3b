// The builder's own files: reading the sources it is pointed at, without trusting what they
// are, and replacing the output folder whole.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace korvel::timetable {

// Far above any source of a real timetable (the 2019 stop list is about 4 MB; ten times the
// timetable is about 40 MB), so that only what cannot be a source is refused.
inline constexpr std::size_t kMaxSourceBytes = std::size_t{512} << 20;

enum class SourceRead { Ok, Missing, Refused };

// Reads a whole source file into `out`: regular files only (a link to one is followed), at
// most `maxBytes`. A folder, FIFO or device is refused at once, without reading or waiting
// on it. Missing: the path does not exist. Refused: `error` holds "PATH: reason".
SourceRead ReadSourceFile(const std::filesystem::path& path, std::string& out, std::string& error,
                          std::size_t maxBytes = kMaxSourceBytes);

struct OutputFile {
    std::string name;  // plain file name inside the output folder
    const std::string* bytes;
};

// Replaces the folder `out` by one holding exactly `files`, then writes the report to
// `reportPath` (when not empty; a report inside `out` goes into the new folder). Everything
// that can fail is done before the folder is swapped in, so on failure the old folder and
// the old report are as they were. `check`, when given, reads the new folder before it is
// swapped in and returns what is wrong with it ("" when nothing): a folder it refuses is not
// written. Writes "korvel-ttbuild: ..." to `err` and returns false on failure.
bool WriteOutputFolder(const std::filesystem::path& out, const std::vector<OutputFile>& files,
                       const std::filesystem::path& reportPath, const std::string& report,
                       std::ostream& err,
                       const std::function<std::string(const std::string&)>& check = {});

}  // namespace korvel::timetable
