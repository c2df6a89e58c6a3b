#include "views/grid_export.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "data/publisher.h"

namespace korvel {

std::string ExportPublisherName() {
    return "Korvel\xCA\xB1\xBF\xCC \xC1\xD0\xB3\xB5\xCA\xB1\xBF\xCC\xB1\xED";  // Korvel时刻
                                                                               // 列车时刻表
}

std::string ExportPublisherAddress() {
    return std::string(kPublisherHomeUrl);
}

std::string CsvField(std::string_view cell) {
    if (cell.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(cell);
    std::string out = "\"";
    for (char ch : cell) {
        if (ch == '"') out += '"';
        out += ch;
    }
    out += '"';
    return out;
}

std::vector<std::string> BuildExportLines(const TextGrid& grid, GridLayout layout, int rowCount,
                                          const std::string& heading) {
    std::vector<std::string> titles;
    for (int c = 0; c < grid.ColumnCount(); ++c) titles.push_back(LayoutTitle(layout, c));
    std::vector<std::string> lines = BuildExportLines(grid, titles, rowCount);
    // The fifth line, empty otherwise, names what the rows are: a file read later still says
    // which train or query it holds, and the titles stay on line 7.
    lines[4] = CsvField(heading);
    return lines;
}

std::vector<std::string> BuildExportLines(const TextGrid& grid,
                                          const std::vector<std::string>& titleCells,
                                          int rowCount) {
    const int columns = grid.ColumnCount();
    std::vector<std::string> lines = {"", "", ExportPublisherName(), ExportPublisherAddress(),
                                      "", ""};
    std::string titles;
    for (int c = 0; c < columns; ++c) {
        if (c > 0) titles += ',';
        if (c < static_cast<int>(titleCells.size())) titles += CsvField(titleCells[c]);
    }
    lines.push_back(std::move(titles));
    if (rowCount > grid.RowCount()) rowCount = grid.RowCount();
    for (int r = 0; r < rowCount; ++r) {
        std::string line;
        for (int c = 0; c < columns; ++c) {
            if (c > 0) line += ',';
            line += CsvField(grid.Cell(c, r));
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

std::string ExportFileText(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

namespace {

std::string CannotCreate(const std::string& path, int error) {
    return "Cannot create file \"" + path + "\". " + std::strerror(error);
}

std::string DirectoryOf(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// The file a path finally names: symbolic links are followed (also a link to a file that
// does not exist yet), so that the export replaces the link's target and the link stays.
// Gives up with ELOOP after as many links as the system itself follows.
std::optional<std::string> ResolveLinks(std::string path, int* error) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
        ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
        if (n < 0) {
            *error = errno;
            return std::nullopt;
        }
        target.resize(static_cast<std::size_t>(n));
        path = (!target.empty() && target[0] == '/') ? target : DirectoryOf(path) + "/" + target;
    }
    *error = ELOOP;
    return std::nullopt;
}

bool WriteAll(int fd, std::string_view bytes, int* error) {
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            *error = errno;
            return false;
        }
        if (n == 0) {
            *error = EIO;
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

// Writing over the file itself: for a folder where no temporary file can be made although
// the file can be written. The old contents are gone if this fails half-way.
std::optional<std::string> WriteInPlace(const std::string& shownPath, const std::string& target,
                                        std::string_view bytes) {
    int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return CannotCreate(shownPath, errno);
    int error = 0;
    if (!WriteAll(fd, bytes, &error) || ::fsync(fd) != 0) {
        if (error == 0) error = errno;
        ::close(fd);
        return CannotCreate(shownPath, error);
    }
    if (::close(fd) != 0) return CannotCreate(shownPath, errno);
    return std::nullopt;
}

}  // namespace

std::optional<std::string> WriteExportFile(const std::string& path, std::string_view bytes) {
    static std::atomic<unsigned> counter{0};
    int error = 0;
    std::optional<std::string> resolved = ResolveLinks(path, &error);
    if (!resolved) return CannotCreate(path, error);
    const std::string& target = *resolved;

    struct stat old {};
    const bool replacing = ::stat(target.c_str(), &old) == 0;
    if (replacing && S_ISDIR(old.st_mode)) return CannotCreate(path, EISDIR);

    // A temporary file in the target's own folder, so the final rename stays on one file
    // system and replaces the old file in one step.
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = target + ".~" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) return WriteInPlace(path, target, bytes);

    auto fail = [&](int e) {
        ::close(fd);
        ::unlink(temp.c_str());
        return CannotCreate(path, e);
    };
    if (replacing) {
        // The new file takes the old one's owner (where the system lets us: only root may
        // give a file away) and then its permissions, which a change of owner may clear.
        if (::fchown(fd, old.st_uid, old.st_gid) != 0 && errno != EPERM) return fail(errno);
        if (::fchmod(fd, old.st_mode & 07777) != 0) return fail(errno);
    }
    if (!WriteAll(fd, bytes, &error)) return fail(error);
    if (::fsync(fd) != 0) return fail(errno);
    if (::close(fd) != 0) {
        error = errno;
        ::unlink(temp.c_str());
        return CannotCreate(path, error);
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        error = errno;
        ::unlink(temp.c_str());
        return CannotCreate(path, error);
    }
    // Make the rename itself durable.
    int dir = ::open(DirectoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return std::nullopt;
}

std::optional<std::string> ExportGrid(const TextGrid& grid, GridLayout layout, int rowCount,
                                      const std::string& path, const std::string& heading) {
    return WriteExportFile(path, ExportFileText(BuildExportLines(grid, layout, rowCount, heading)));
}

}  // namespace korvel
