// Printing a result grid or a stop list as a ruled table: the page arithmetic emits drawing
// commands to an abstract canvas (the Qt printer implements it; tests record it).
#pragma once

#include <string>
#include <vector>

#include "views/text_grid.h"

namespace korvel {

// Which column titles a printout or export carries.
enum class GridLayout {
    Main,     // 15 columns: 车次, 始发, 终到, ... 软卧
    Detail,   // 8 columns: 站序, 车站, 里程, 到时, 发时, 天数, 历时, 时速
    Journey,  // 13 columns: the journey window's legs (JourneyWindowModel::ExportTitles)
};

// Title of a column in a layout (GBK); empty for a column outside the set.
std::string LayoutTitle(GridLayout layout, int column);
int LayoutColumnCount(GridLayout layout);

// Page geometry in device pixels and the resolution in pixels per inch.
struct PageMetrics {
    int width = 0;
    int height = 0;
    int dpiX = 0;
    int dpiY = 0;
};

// Drawing surface of a print job. Coordinates are device pixels; texts are GBK.
class PrintCanvas {
  public:
    virtual ~PrintCanvas() = default;
    virtual void SetPenWidth(int width) = 0;
    virtual void SetFont(const std::string& family, int pointSize) = 0;
    virtual void Line(int x1, int y1, int x2, int y2) = 0;
    // Text with its top-left corner at (x, y).
    virtual void Text(int x, int y, const std::string& gbk) = 0;
    virtual void NewPage() = 0;
    virtual void EndDocument() = 0;
    // Width of a text in the current font, in device pixels, where the font's size is
    // `emPixels`. This default counts a GBK double-byte character one em and any other byte
    // half of one; a canvas that can measure its font says exactly.
    virtual int TextWidth(const std::string& gbk, int emPixels);
};

struct PrintDate {
    int year = 2011;
    int month = 9;
    int day = 30;
};
PrintDate TodayPrintDate();
// "2011年9月30日": no leading zeros.
std::string PrintDateText(const PrintDate& date);
// "第  3  页"
std::string PageNumberText(int page);

// The printed title and publisher line (GBK).
std::string PrintTitle();
std::string PrintPublisherLine();

// Where a printed table lies on the page, measured with the canvas's font: the body font's
// size, the left edge of every column and the right edge (C + 1 edges), the row height and
// the text inset inside a cell. Columns are as wide as their widest text (title or cell) at
// the largest size from 10 down to 6 points that lets the table fit between the margins;
// the room left over is shared out, so the table always spans the page between the margins.
struct PrintColumns {
    int pointSize = 10;
    int em = 0;  // the body font's size in device pixels
    std::vector<int> edges;
    int rowHeight = 0;
    int inset = 0;
    // Whether even the smallest size was too wide and cells are cut to their column.
    bool cut = false;
};
PrintColumns MeasurePrintColumns(const TextGrid& grid, GridLayout layout, int rowCount,
                                 const PageMetrics& page, PrintCanvas& canvas);

// The longest head of `gbk` (whole characters) that, followed by "…" when cut, measures at
// most `width` in the canvas's current font.
std::string FitPrintText(const std::string& gbk, int width, int em, PrintCanvas& canvas);

// Prints rows 0..rowCount-1 of the grid (columns 0..ColumnCount()-1) with the layout's titles.
// Every page starts with the header: the title, `heading` (the query or the train, GBK) on
// the left and the date on the right, then the column titles; its foot carries the
// publisher line, the page number and, on the right, `footNote` (GBK: where the rows come
// from). Rows are never split and no text crosses its column's lines or the margins. Returns
// the page count.
int PrintGrid(const TextGrid& grid, GridLayout layout, int rowCount, const PageMetrics& page,
              const PrintDate& date, PrintCanvas& canvas, const std::string& heading = {},
              const std::string& footNote = {});

}  // namespace korvel
