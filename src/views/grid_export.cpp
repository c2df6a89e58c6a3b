#include "views/grid_export.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace korvel {

std::string ExportPublisherName() {
    return "Korvel\xCA\xB1\xBF\xCC \xC1\xD0\xB3\xB5\xCA\xB1\xBF\xCC\xB1\xED";  // Korvel时刻
                                                                               // 列车时刻表
}

std::string ExportPublisherAddress() {
    return "http://www.korvel.cn/";
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

std::vector<std::string> BuildExportLines(const TextGrid& grid, GridLayout layout, int rowCount) {
    const int columns = grid.ColumnCount();
    std::vector<std::string> lines = {"", "", ExportPublisherName(), ExportPublisherAddress(),
                                      "", ""};
    std::string titles;
    for (int c = 0; c < columns; ++c) {
        if (c > 0) titles += ',';
        titles += CsvField(LayoutTitle(layout, c));
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

}  // namespace

std::optional<std::string> WriteExportFile(const std::string& path, std::string_view bytes) {
    static std::atomic<unsigned> counter{0};
    // A temporary file in the target's own folder, so the final rename stays on one file
    // system and replaces the old file in one step.
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = path + ".~" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return CannotCreate(path, errno);
    }
    if (fd < 0) return CannotCreate(path, EEXIST);

    auto fail = [&](int error) {
        ::close(fd);
        ::unlink(temp.c_str());
        return CannotCreate(path, error);
    };
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail(errno);
        }
        if (n == 0) return fail(EIO);
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0) return fail(errno);
    if (::close(fd) != 0) {
        int error = errno;
        ::unlink(temp.c_str());
        return CannotCreate(path, error);
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        int error = errno;
        ::unlink(temp.c_str());
        return CannotCreate(path, error);
    }
    // Make the rename itself durable.
    int dir = ::open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return std::nullopt;
}

std::optional<std::string> ExportGrid(const TextGrid& grid, GridLayout layout, int rowCount,
                                      const std::string& path) {
    return WriteExportFile(path, ExportFileText(BuildExportLines(grid, layout, rowCount)));
}

}  // namespace korvel
