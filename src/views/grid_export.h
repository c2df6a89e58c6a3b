// Export of a result grid or a stop list as a comma-separated text file (GBK, CR LF).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/csv.h"
#include "views/grid_print.h"
#include "views/text_grid.h"

namespace korvel {

// Publisher lines of the file head (GBK).
std::string ExportPublisherName();
std::string ExportPublisherAddress();

// The lines of the file: two empty, publisher name, publisher address, two empty, the
// layout's titles, then one line per row 0..rowCount-1. A `heading` (the query or the train)
// fills the fifth line.
std::vector<std::string> BuildExportLines(const TextGrid& grid, GridLayout layout, int rowCount,
                                          const std::string& heading = {});
// The same with the column titles given (GBK, one per column of the grid).
std::vector<std::string> BuildExportLines(const TextGrid& grid,
                                          const std::vector<std::string>& titles, int rowCount);
// The lines joined, CR LF after every line (the last included).
std::string ExportFileText(const std::vector<std::string>& lines);

// Why a file could not be written: the kind of failure for a window to word in its own
// language, and the English line the command line prints.
struct ExportFailure {
    enum class Kind {
        NoFolder,      // the folder does not exist
        NoPermission,  // the folder or file may not be written (or a read-only disk)
        NotAFile,      // the name is a folder, device, FIFO or socket
        DiskFull,
        Other,
    };
    std::string path;
    Kind kind = Kind::Other;
    std::string text;  // "Cannot create file "<path>". <reason>"
};

// Writes the bytes to `path` (a file-system path) through a temporary file beside it that is
// flushed to disk and renamed over the target, so an existing file is either replaced whole
// or left untouched. A symbolic link is followed and its target replaced; a replaced file
// keeps its permissions, and its owner where the system allows. When no temporary file can
// be made beside an existing file (a folder that is not writable), that file is written in
// place. Only regular files are written: a folder, device, FIFO or socket is refused as it is.
// Returns the error text "Cannot create file "<path>". <reason>" on failure, nothing on
// success.
std::optional<std::string> WriteExportFile(const std::string& path, std::string_view bytes);
// The same, with the kind of failure.
std::optional<ExportFailure> TryWriteExportFile(const std::string& path, std::string_view bytes);

// BuildExportLines + ExportFileText + WriteExportFile.
std::optional<std::string> ExportGrid(const TextGrid& grid, GridLayout layout, int rowCount,
                                      const std::string& path, const std::string& heading = {});
std::optional<ExportFailure> TryExportGrid(const TextGrid& grid, GridLayout layout, int rowCount,
                                           const std::string& path,
                                           const std::string& heading = {});

}  // namespace korvel
