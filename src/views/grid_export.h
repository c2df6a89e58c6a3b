// Export of a result grid or a stop list as a comma-separated text file (GBK, CR LF).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "views/grid_print.h"
#include "views/text_grid.h"

namespace korvel {

// Publisher lines of the file head (GBK).
std::string ExportPublisherName();
std::string ExportPublisherAddress();

// A cell as written to the file: unchanged, or quoted (inner quotes doubled) when it holds a
// comma, a double quote, CR or LF.
std::string CsvField(std::string_view cell);

// The lines of the file: two empty, publisher name, publisher address, two empty, the
// layout's titles, then one line per row 0..rowCount-1.
std::vector<std::string> BuildExportLines(const TextGrid& grid, GridLayout layout, int rowCount);
// The same with the column titles given (GBK, one per column of the grid).
std::vector<std::string> BuildExportLines(const TextGrid& grid,
                                          const std::vector<std::string>& titles, int rowCount);
// The lines joined, CR LF after every line (the last included).
std::string ExportFileText(const std::vector<std::string>& lines);

// Writes the bytes to `path` (a file-system path) through a temporary file beside it that is
// flushed to disk and renamed over the target, so an existing file is either replaced whole
// or left untouched. A symbolic link is followed and its target replaced; a replaced file
// keeps its permissions, and its owner where the system allows. When no temporary file can
// be made beside an existing file (a folder that is not writable), that file is written in
// place. Only regular files are written: a folder, device, FIFO or socket is refused as it is.
// Returns the error text "Cannot create file "<path>". <reason>" on failure, nothing on
// success.
std::optional<std::string> WriteExportFile(const std::string& path, std::string_view bytes);

// BuildExportLines + ExportFileText + WriteExportFile.
std::optional<std::string> ExportGrid(const TextGrid& grid, GridLayout layout, int rowCount,
                                      const std::string& path);

}  // namespace korvel
