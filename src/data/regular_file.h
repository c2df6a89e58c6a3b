// Reading a whole file that a user named, without trusting what it is: only a regular file
// (or a symlink to one) is read, and only up to a size cap, so that a FIFO, a device such as
// /dev/zero or a huge sparse file is refused at once instead of hanging or filling memory.
#pragma once

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace korvel {

// Raised with the path and the reason: "PATH: not a regular file", "PATH: larger than N
// bytes", "PATH: cannot be read (reason)".
class FileReadError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Ten times the largest stream of the 2019 timetable is about 60 MB; a timetable folder's
// file above this is not one the builder wrote.
inline constexpr std::size_t kMaxTimetableFileBytes = std::size_t{256} << 20;

// The whole file. Throws FileReadError when it is not a regular file, is larger than
// `maxBytes`, changes size while read, or cannot be read.
std::vector<unsigned char> ReadRegularFile(const std::string& path, std::size_t maxBytes);

// The same, but nothing (no error) when the path does not exist at all.
std::optional<std::vector<unsigned char>> ReadRegularFileIfPresent(const std::string& path,
                                                                   std::size_t maxBytes);

// The same two, into a string.
std::string ReadRegularFileString(const std::string& path, std::size_t maxBytes);
std::optional<std::string> ReadRegularFileStringIfPresent(const std::string& path,
                                                          std::size_t maxBytes);

}  // namespace korvel
