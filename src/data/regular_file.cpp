#include "data/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace korvel {
namespace {

struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

std::string Failure(const std::string& path, const char* what, int error) {
    return path + ": " + what + " (" + std::strerror(error) + ")";
}

template <typename Bytes>
std::optional<Bytes> Read(const std::string& path, std::size_t maxBytes, bool optional) {
    Fd file;
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer for ever. It
    // has no effect on a regular file, which is all that is read below.
    file.fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (file.fd < 0) {
        const int error = errno;
        if (optional && error == ENOENT) return std::nullopt;
        throw FileReadError(Failure(path, "cannot be read", error));
    }
    struct stat st {};
    if (::fstat(file.fd, &st) != 0) throw FileReadError(Failure(path, "cannot be read", errno));
    if (!S_ISREG(st.st_mode)) throw FileReadError(path + ": not a regular file");
    if (st.st_size < 0 || static_cast<std::uint64_t>(st.st_size) > maxBytes) {
        throw FileReadError(path + ": larger than " + std::to_string(maxBytes) + " bytes");
    }
    const auto size = static_cast<std::size_t>(st.st_size);
    // One byte more than the size, so that a file that grew while read is noticed.
    Bytes bytes(size + 1, 0);
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(file.fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw FileReadError(Failure(path, "cannot be read", errno));
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    if (got != size) throw FileReadError(path + ": changed while it was read");
    bytes.resize(size);
    return bytes;
}

}  // namespace

std::vector<unsigned char> ReadRegularFile(const std::string& path, std::size_t maxBytes) {
    return *Read<std::vector<unsigned char>>(path, maxBytes, false);
}

std::optional<std::vector<unsigned char>> ReadRegularFileIfPresent(const std::string& path,
                                                                   std::size_t maxBytes) {
    return Read<std::vector<unsigned char>>(path, maxBytes, true);
}

std::string ReadRegularFileString(const std::string& path, std::size_t maxBytes) {
    return *Read<std::string>(path, maxBytes, false);
}

std::optional<std::string> ReadRegularFileStringIfPresent(const std::string& path,
                                                          std::size_t maxBytes) {
    return Read<std::string>(path, maxBytes, true);
}

}  // namespace korvel
