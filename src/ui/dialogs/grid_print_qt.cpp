#include "ui/dialogs/grid_print_qt.h"

#include <QDir>
#include <QFileDialog>
#include <QFontMetrics>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <algorithm>
#include <memory>
#include <optional>

#include "qt_text/qt_text.h"
#include "ui/dialogs/window_fit.h"

namespace korvel::ui {

namespace {

constexpr double kPenReferenceDpi = 600.0;

std::unique_ptr<QPrinter> MakeDefaultPrinter() {
    if (DialogPlatform().defaultPrinter) return DialogPlatform().defaultPrinter();
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull()) return nullptr;
    return std::make_unique<QPrinter>(info, QPrinter::HighResolution);
}

bool PrintersInstalled() {
    if (DialogPlatform().printersInstalled) return DialogPlatform().printersInstalled();
    return !QPrinterInfo::availablePrinterNames().isEmpty();
}

std::optional<QString> AskPdfFileName(QWidget* parent) {
    if (DialogPlatform().pdfFileName) return DialogPlatform().pdfFileName(parent);
    QFileDialog dialog(parent, QStringLiteral("打印到PDF文件"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(PdfFileFilter());
    dialog.setDefaultSuffix(QStringLiteral("pdf"));
    dialog.selectFile(QStringLiteral("Korvel列车时刻表.pdf"));
    // Qt's own dialog is taller than a small, strongly scaled screen.
    FitToScreen(&dialog, dialog.sizeHint());
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty()) return std::nullopt;
    return files.front();
}

// Without any printer the pages go to a PDF file the user names: an A4 page at the
// resolution of a printer, so the pages are those a printer would have printed.
std::unique_ptr<QPrinter> MakePdfPrinter(QWidget* parent) {
    std::optional<QString> name = AskPdfFileName(parent);
    if (!name || name->trimmed().isEmpty()) return nullptr;
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setPageSize(QPageSize(QPageSize::A4));
    printer->setOutputFileName(name->trimmed());
    return printer;
}

// Leaves the painter open after the grid's last page, for the page that follows it.
class OpenEndedCanvas : public QtPrintCanvas {
  public:
    using QtPrintCanvas::QtPrintCanvas;
    void EndDocument() override {}
};

// The last page: the heading at the top, as the grid's pages have it, the rest for `paint`.
void PaintLastPage(QPainter& painter, QPrinter& printer, const std::string& heading,
                   const LastPage& paint) {
    printer.newPage();
    const PageMetrics page = PageMetricsOf(printer);
    int top = 0;
    if (!heading.empty()) {
        InstallFontSubstitutes();
        QFont font(QStringLiteral("宋体"));
        font.setPointSize(12);
        painter.setFont(font);
        const QFontMetrics metrics(font, painter.device());
        painter.setPen(Qt::black);
        painter.drawText(QPoint(0, metrics.ascent()), QStringFromGbk(heading));
        top = metrics.height() * 2;
    }
    paint(painter, QRect(0, top, page.width, page.height - top));
}

}  // namespace

QString PdfFileFilter() {
    return QStringLiteral("PDF文件(*.pdf)");
}

QString NoDefaultPrinterText() {
    return QStringLiteral("There is no default printer currently selected");
}

QtPrintCanvas::QtPrintCanvas(QPainter& painter, QPrinter& printer)
    : painter_(painter),
      printer_(printer),
      penScale_(std::max(1.0, printer.resolution() / kPenReferenceDpi)) {
    painter_.setPen(QPen(Qt::black, 1));
}

void QtPrintCanvas::SetPenWidth(int width) {
    QPen pen = painter_.pen();
    pen.setWidthF(std::max(1.0, width * penScale_));
    painter_.setPen(pen);
}

void QtPrintCanvas::SetFont(const std::string& family, int pointSize) {
    InstallFontSubstitutes();
    QFont font(QStringFromGbk(family));
    font.setPointSize(pointSize);
    painter_.setFont(font);
}

void QtPrintCanvas::Line(int x1, int y1, int x2, int y2) {
    painter_.drawLine(x1, y1, x2, y2);
}

void QtPrintCanvas::Text(int x, int y, const std::string& gbk) {
    // The layout places a text by its top-left corner; QPainter by its baseline.
    const QFontMetrics metrics(painter_.font(), painter_.device());
    painter_.drawText(QPoint(x, y + metrics.ascent()), QStringFromGbk(gbk));
}

int QtPrintCanvas::TextWidth(const std::string& gbk, int) {
    return QFontMetrics(painter_.font(), painter_.device()).horizontalAdvance(QStringFromGbk(gbk));
}

void QtPrintCanvas::NewPage() {
    printer_.newPage();
}

void QtPrintCanvas::EndDocument() {
    painter_.end();
}

PageMetrics PageMetricsOf(const QPrinter& printer) {
    const QRect area = printer.pageLayout().paintRectPixels(printer.resolution());
    return PageMetrics{area.width(), area.height(), printer.logicalDpiX(), printer.logicalDpiY()};
}

int PrintGridTo(QPrinter& printer, const TextGrid& grid, GridLayout layout, int rowCount,
                const PrintDate& date, QString* error, const std::string& heading,
                const LastPage& lastPage) {
    printer.setDocName(QStringLiteral("Korvel时刻"));
    QPainter painter;
    if (!painter.begin(&printer)) {
        if (error) {
            *error = printer.outputFileName().isEmpty()
                         ? QStringLiteral("无法在打印机“%1”上打印。").arg(printer.printerName())
                         : QStringLiteral("无法写入文件“%1”，没有打印。")
                               .arg(QDir::toNativeSeparators(printer.outputFileName()));
        }
        return -1;
    }
    OpenEndedCanvas canvas(painter, printer);
    int pages = PrintGrid(grid, layout, rowCount, PageMetricsOf(printer), date, canvas, heading,
                          PrintSourceNote());
    if (lastPage && painter.isActive()) {
        PaintLastPage(painter, printer, heading, lastPage);
        ++pages;
    }
    if (painter.isActive()) painter.end();
    return pages;
}

namespace {

const char kReferenceFares[] =
    "\xC6\xB1\xBC\xDB\xCE\xAA\xB2\xCE\xBF\xBC\xC6\xB1\xBC\xDB";  // 票价为参考票价

std::string& SourceNote() {
    static std::string note = kReferenceFares;
    return note;
}

}  // namespace

void SetPrintSource(const std::string& timetable) {
    // "时刻表：<timetable>；票价为参考票价"
    SourceNote() = timetable.empty() ? std::string(kReferenceFares)
                                     : "\xCA\xB1\xBF\xCC\xB1\xED\xA3\xBA" + timetable + "\xA3\xBB" +
                                           kReferenceFares;
}

const std::string& PrintSourceNote() {
    return SourceNote();
}

bool PrintGridOnDefaultPrinter(QWidget* parent, const TextGrid& grid, GridLayout layout,
                               int rowCount, const std::string& heading, const LastPage& lastPage) {
    std::unique_ptr<QPrinter> printer = MakeDefaultPrinter();
    bool toPdfFile = false;
    if (!printer && !PrintersInstalled()) {
        printer = MakePdfPrinter(parent);
        if (!printer) return false;  // cancelled
        toPdfFile = true;
    }
    if (!printer) {
        ShowErrorBox(parent, NoDefaultPrinterText());
        return false;
    }
    QString error;
    const int pages =
        PrintGridTo(*printer, grid, layout, rowCount, TodayPrintDate(), &error, heading, lastPage);
    if (pages < 0) {
        ShowErrorBox(parent, error);
        return false;
    }
    // A printer shows its own job; a file chosen in place of one would otherwise appear
    // without a word.
    if (toPdfFile) {
        ShowNoticeBox(parent, QStringLiteral("已打印到文件“%1”，共%2页。")
                                  .arg(QDir::toNativeSeparators(printer->outputFileName()))
                                  .arg(pages));
    }
    return true;
}

void PreviewGrid(QWidget* parent, const TextGrid& grid, GridLayout layout, int rowCount,
                 const std::string& heading, const LastPage& lastPage) {
    std::unique_ptr<QPrinter> printer = MakeDefaultPrinter();
    if (!printer) {
        printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer->setPageSize(QPageSize(QPageSize::A4));
    }
    QPrintPreviewDialog dialog(printer.get(), parent);
    dialog.setWindowTitle(QStringLiteral("打印预览"));
    const PrintDate date = TodayPrintDate();
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog, [&](QPrinter* target) {
        PrintGridTo(*target, grid, layout, rowCount, date, nullptr, heading, lastPage);
    });
    dialog.exec();
}

}  // namespace korvel::ui
