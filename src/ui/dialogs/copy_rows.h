// Ctrl+C on a grid: the chosen rows (or every row when none is chosen) with the column titles
// as tab-separated lines, the form a spreadsheet takes from the clipboard.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <string>
#include <vector>

#include "views/text_grid.h"

class QKeySequence;
class QWidget;

namespace korvel::ui {

// Titles, then each row, cells joined by tabs and lines ended by "\n". A tab or line break
// inside a cell becomes a space, so that no cell spills into the next.
QString TabSeparatedRows(const QStringList& titles, const std::vector<QStringList>& rows);

// Rows of a text grid (GBK cells): the selected row when there is one, else rows
// 0..rowCount-1; titles are GBK.
QString GridRowsText(const SelectableGrid& grid, const std::vector<std::string>& titles,
                     int rowCount);
// The given rows (those below rowCount), in order.
QString GridRowsText(const TextGrid& grid, const std::vector<std::string>& titles,
                     const std::vector<int>& rows, int rowCount);

// Puts the text on the clipboard when Ctrl+C (the platform's copy keys) is pressed while
// `widget` has the focus; `text` is asked at that moment.
void AddCopyShortcut(QWidget* widget, std::function<QString()> text);

// Runs `action` when `keys` are pressed anywhere in `window` (a window's own keys: print,
// export, find).
void AddWindowShortcut(QWidget* window, const QKeySequence& keys, std::function<void()> action);

// The window's `keys` work while one of its text boxes has the focus too: on X11 desktops a
// text box takes Ctrl+E as "end of line" before the window's export can have it. (For the
// boxes `window` holds when this is called.)
void KeepWindowKeysFromTextBoxes(QWidget* window, const QKeySequence& keys);

}  // namespace korvel::ui
