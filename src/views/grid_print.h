// Printing a result grid or a stop list as a ruled table: the page arithmetic emits drawing
// commands to an abstract canvas (the Qt printer implements it; tests record it).
#pragma once

#include <string>

#include "views/text_grid.h"

namespace korvel {

// Which column titles a printout or export carries.
enum class GridLayout {
    Main,    // 15 columns: 车次, 始发, 终到, ... 软卧
    Detail,  // 8 columns: 站序, 车站, 里程, 到时, 发时, 天数, 历时, 时速
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

// Where the header's publisher line starts: over column C - 6, or further right so that at
// least half an em lies between it and the end of the date, whatever the date's length.
int PublisherLineX(int columnWidth, int columns, int dateX, int dateWidth, int emPixels);

// Prints rows 0..rowCount-1 of the grid (columns 0..ColumnCount()-1) with the layout's titles.
// Every page starts with the header (title, date, publisher line, column titles); rows are
// never split; every page, the last included, carries its number. Returns the page count.
int PrintGrid(const TextGrid& grid, GridLayout layout, int rowCount, const PageMetrics& page,
              const PrintDate& date, PrintCanvas& canvas);

}  // namespace korvel
