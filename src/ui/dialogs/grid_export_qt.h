// Export of a grid through the save dialog.
#pragma once

#include <QString>
#include <optional>
#include <string>

#include "views/grid_print.h"
#include "views/text_grid.h"

class QWidget;

namespace korvel::ui {

// "Excel文件(*.csv)"
QString ExportFileFilter();

// Asks for the export file name with a save dialog (filter ExportFileFilter(), default
// suffix "csv", an existing file is replaced without a question). Returns the file-system
// path (trimmed, local encoding), or nothing when the dialog was cancelled or the name is
// empty.
std::optional<std::string> AskExportPath(QWidget* parent);

// The export routine of the windows: builds the file's lines, asks for the name, writes the
// file whole (or leaves an existing one untouched on failure, with an error box
// "Cannot create file "<name>". <reason>"). Returns whether a file was written.
// `heading` (GBK) names the query or the train in the file.
bool ExportGridInteractive(QWidget* parent, const TextGrid& grid, GridLayout layout, int rowCount,
                           const std::string& heading = {});

}  // namespace korvel::ui
