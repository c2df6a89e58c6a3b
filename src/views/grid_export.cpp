#include "views/grid_export.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "data/atomic_files.h"
#include "data/publisher.h"

namespace korvel {

std::string ExportPublisherName() {
    return "Korvel\xCA\xB1\xBF\xCC \xC1\xD0\xB3\xB5\xCA\xB1\xBF\xCC\xB1\xED";  // Korvel时刻
                                                                               // 列车时刻表
}

std::string ExportPublisherAddress() {
    return std::string(kPublisherHomeUrl);
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

ExportFailure::Kind KindOf(int error, bool notRegular) {
    if (notRegular || error == EISDIR) return ExportFailure::Kind::NotAFile;
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            return ExportFailure::Kind::NoFolder;
        case EACCES:
        case EPERM:
        case EROFS:
            return ExportFailure::Kind::NoPermission;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return ExportFailure::Kind::DiskFull;
        default:
            return ExportFailure::Kind::Other;
    }
}

ExportFailure CannotCreate(const std::string& path, int error) {
    return {path, KindOf(error, false),
            "Cannot create file \"" + path + "\". " + std::strerror(error)};
}

ExportFailure CannotCreate(const std::string& path, const data::FileWriteError& error) {
    const bool notRegular = error.step == data::FileWriteError::Step::NotRegular;
    return {path, KindOf(error.code, notRegular),
            "Cannot create file \"" + path + "\". " + error.Reason()};
}

// Writing over the file itself: for a folder where no temporary file can be made although
// the file can be written. The old contents are gone if this fails half-way.
std::optional<ExportFailure> WriteInPlace(const std::string& shownPath, const std::string& target,
                                          std::string_view bytes) {
    // Non-blocking and checked after opening, so that a FIFO put there meanwhile is
    // neither waited on nor written.
    int fd = ::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return CannotCreate(shownPath, errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return CannotCreate(shownPath,
                            data::FileWriteError{data::FileWriteError::Step::NotRegular, EINVAL});
    }
    int error = 0;
    if (::ftruncate(fd, 0) != 0 || !data::WriteAllBytes(fd, bytes, &error) || ::fsync(fd) != 0) {
        if (error == 0) error = errno;
        ::close(fd);
        return CannotCreate(shownPath, error);
    }
    if (::close(fd) != 0) return CannotCreate(shownPath, errno);
    return std::nullopt;
}

}  // namespace

std::optional<std::string> WriteExportFile(const std::string& path, std::string_view bytes) {
    if (std::optional<ExportFailure> failure = TryWriteExportFile(path, bytes)) {
        return std::move(failure->text);
    }
    return std::nullopt;
}

std::optional<ExportFailure> TryWriteExportFile(const std::string& path, std::string_view bytes) {
    data::PendingFile pending = data::PendingFile::Prepare(path, bytes);
    if (const auto& error = pending.Error()) {
        // No temporary file beside an existing regular file (a folder that is not writable):
        // that file is overwritten where it is.
        struct stat st {};
        if (error->step == data::FileWriteError::Step::TempFile &&
            ::stat(pending.Target().c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
            return WriteInPlace(path, pending.Target(), bytes);
        }
        return CannotCreate(path, *error);
    }
    if (auto error = pending.Commit()) return CannotCreate(path, *error);
    return std::nullopt;
}

std::optional<std::string> ExportGrid(const TextGrid& grid, GridLayout layout, int rowCount,
                                      const std::string& path, const std::string& heading) {
    return WriteExportFile(path, ExportFileText(BuildExportLines(grid, layout, rowCount, heading)));
}

std::optional<ExportFailure> TryExportGrid(const TextGrid& grid, GridLayout layout, int rowCount,
                                           const std::string& path, const std::string& heading) {
    return TryWriteExportFile(path,
                              ExportFileText(BuildExportLines(grid, layout, rowCount, heading)));
}

}  // namespace korvel
