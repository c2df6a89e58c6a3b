// Printing a grid on a Qt printer: a PrintCanvas drawing with a QPainter, the print job on
// the system's default printer, and a print preview from the same drawing code.
#pragma once

#include <QString>
#include <functional>
#include <string>

#include "views/grid_print.h"
#include "views/text_grid.h"

class QPainter;
class QPrinter;
class QRect;
class QWidget;

namespace korvel::ui {

// Draws the layout's commands on a painter that is active on `printer`. Layout coordinates
// are the printer's device pixels; pen widths are given for a 600-dpi printer and scaled to
// the device's resolution so that lines keep their thickness.
class QtPrintCanvas : public PrintCanvas {
  public:
    QtPrintCanvas(QPainter& painter, QPrinter& printer);
    void SetPenWidth(int width) override;
    void SetFont(const std::string& family, int pointSize) override;
    void Line(int x1, int y1, int x2, int y2) override;
    void Text(int x, int y, const std::string& gbk) override;
    void NewPage() override;
    void EndDocument() override;
    int TextWidth(const std::string& gbk, int emPixels) override;

  private:
    QPainter& painter_;
    QPrinter& printer_;
    double penScale_;
};

// The page metrics the layout works with: the printable area in device pixels and the
// device resolution.
PageMetrics PageMetricsOf(const QPrinter& printer);

// A page a window prints after its grid (a map): painted into `page`, the printable area
// under the heading, in the printer's device pixels.
using LastPage = std::function<void(QPainter& painter, const QRect& page)>;

// One print job of rows 0..rowCount-1 on `printer`, then `lastPage` when given. Returns the number
// of pages, or -1 when the job could not be started (reason in *error). `heading` (GBK) names the
// query or the train on every page.
int PrintGridTo(QPrinter& printer, const TextGrid& grid, GridLayout layout, int rowCount,
                const PrintDate& date, QString* error = nullptr, const std::string& heading = {},
                const LastPage& lastPage = {});

// The print routine of the windows: one job on the default printer. On a computer with no
// printer installed at all, a save dialog asks for a PDF file that receives the same pages
// instead (cancelling prints nothing). With printers but none the default, or when the job
// cannot start, an error box tells so. Returns whether the pages were printed.
bool PrintGridOnDefaultPrinter(QWidget* parent, const TextGrid& grid, GridLayout layout,
                               int rowCount, const std::string& heading = {},
                               const LastPage& lastPage = {});

// A print preview of the same pages (on the default printer's page, or A4 without one).
void PreviewGrid(QWidget* parent, const TextGrid& grid, GridLayout layout, int rowCount,
                 const std::string& heading = {}, const LastPage& lastPage = {});

// Every printed page names the timetable its rows come from and says that the fares are
// reference fares ("时刻表：<timetable>；票价为参考票价", GBK), at the right of its foot. The
// window sets the timetable (GBK) once it is loaded; until then the note is "票价为参考票价".
void SetPrintSource(const std::string& timetable);
const std::string& PrintSourceNote();

// "There is no default printer currently selected"
QString NoDefaultPrinterText();

// "PDF文件(*.pdf)"
QString PdfFileFilter();

}  // namespace korvel::ui
