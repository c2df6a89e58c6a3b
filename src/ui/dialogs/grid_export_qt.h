// Export of a grid through the save dialog.
#pragma once

#include <QString>
#include <optional>
#include <string>

#include "views/grid_export.h"
#include "views/grid_print.h"
#include "views/text_grid.h"

class QWidget;

namespace korvel::ui {

// "CSV 文件 (*.csv)"
QString ExportFileFilter();

// Why the file could not be written, in the window's words: "无法导出到文件“<name>”：…".
QString ExportFailureText(const ExportFailure& failure);
// Tells the user how an export went: where the file went and how many rows it holds
// ("已导出到文件“<name>”，共N行。"), or why it was not written (an error box).
void ReportExport(QWidget* parent, const std::string& path, int rows,
                  const std::optional<ExportFailure>& failure);

// Asks for the export file name with a save dialog (filter ExportFileFilter(), default
// suffix "csv", an existing file is replaced without a question). Returns the file-system
// path (trimmed, local encoding), or nothing when the dialog was cancelled or the name is
// empty.
std::optional<std::string> AskExportPath(QWidget* parent);

// The export routine of the windows: builds the file's lines, asks for the name, writes the
// file whole (or leaves an existing one untouched on failure) and says how it went
// (ReportExport). Returns whether a file was written.
// `heading` (GBK) names the query or the train in the file.
bool ExportGridInteractive(QWidget* parent, const TextGrid& grid, GridLayout layout, int rowCount,
                           const std::string& heading = {});

}  // namespace korvel::ui
