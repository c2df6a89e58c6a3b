// Printing and export through the windows' own code paths: the detail window's buttons and
// the routines the main window calls, with the printer and the save dialog replaced by a PDF
// file and a chosen name.
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "dialogs_test_util.h"
#include "print_measure.h"
#include "ui/dialogs/grid_export_qt.h"
#include "ui/dialogs/grid_print_qt.h"
#include "ui/dialogs/train_dialog.h"
#include "views/result_grid.h"

namespace korvel {
namespace {

using test::App;
using test::G;

// Counts the pages of a print job the way the layout counts them.
class PageCounter : public PrintCanvas {
  public:
    void SetPenWidth(int) override {}
    void SetFont(const std::string&, int) override {}
    void Line(int, int, int, int) override {}
    void Text(int, int, const std::string&) override {}
    void NewPage() override {}
    void EndDocument() override {}
};

// The pages the layout needs for `rows` rows on an A4 printer page at high resolution.
int ExpectedA4Pages(const TextGrid& grid, int rows) {
    QPrinter probe(QPrinter::HighResolution);
    probe.setOutputFormat(QPrinter::PdfFormat);
    probe.setPageSize(QPageSize(QPageSize::A4));
    PageCounter counter;
    return PrintGrid(grid, GridLayout::Main, rows, ui::PageMetricsOf(probe), PrintDate{}, counter);
}

int PdfPageCount(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return -1;
    const QByteArray bytes = f.readAll();
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page(?![a-zA-Z])"));
    return static_cast<int>(QString::fromLatin1(bytes).count(page));
}

QString PdfText(const QString& path) {
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
    if (!p.waitForFinished(20000)) return {};
    // The CJK fonts share glyphs between some characters and their radical forms, so the
    // extracted text may say U+2ECB for 车 or U+2F1D for 口: fold those back.
    QString text =
        QString::fromUtf8(p.readAllStandardOutput()).normalized(QString::NormalizationForm_KC);
    static const std::pair<char16_t, char16_t> kRadicals[] = {
        {0x2EC5, 0x89C1}, {0x2EC9, 0x8D1D}, {0x2ECB, 0x8F66}, {0x2ED3, 0x957F},
        {0x2ED4, 0x95E8}, {0x2EDA, 0x9875}, {0x2EDB, 0x98CE}, {0x2EDC, 0x98DE},
        {0x2EE2, 0x9A6C}, {0x2EE5, 0x9C7C}, {0x2EE6, 0x9E1F}, {0x2EE9, 0x9EC4}};
    for (const auto& [radical, character] : kRadicals) {
        text.replace(QChar(radical), QChar(character));
    }
    return text;
}

// The first page of a PDF rendered at 60 dpi, also left in the screenshot folder under
// `shotName`; a null image when pdftoppm is missing.
QImage RenderFirstPage(const QString& pdf, const QString& shotName) {
    const QString base = pdf + "-page";
    const int rc = QProcess::execute(
        QStringLiteral("pdftoppm"),
        {QStringLiteral("-png"), QStringLiteral("-r"), QStringLiteral("60"), QStringLiteral("-f"),
         QStringLiteral("1"), QStringLiteral("-l"), QStringLiteral("1"), pdf, base});
    if (rc != 0) return {};
    QString rendered = base + "-1.png";
    if (!QFile::exists(rendered)) rendered = base + "-01.png";
    QFile::remove(test::ShotDir() + "/" + shotName);
    QFile::copy(rendered, test::ShotDir() + "/" + shotName);
    return QImage(rendered);
}

class PrintExportTest : public ::testing::Test {
  protected:
    void SetUp() override {
        App();
        ASSERT_TRUE(dir.isValid());
        test::BuildKMTrain(stops, test::SampleStops());
        errors.clear();
        ui::DialogPlatform().errorBox = [this](QWidget*, const QString& text) { errors << text; };
        ui::DialogPlatform().noticeBox = [this](QWidget*, const QString& text) { notices << text; };
        ui::DialogPlatform().defaultPrinter = [this]() -> std::unique_ptr<QPrinter> {
            if (pdfPath.isEmpty()) return nullptr;
            auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
            printer->setOutputFormat(QPrinter::PdfFormat);
            printer->setPageSize(QPageSize(QPageSize::A4));
            printer->setOutputFileName(pdfPath);
            return printer;
        };
        ui::DialogPlatform().saveFileName = [this](QWidget*) -> std::optional<QString> {
            ++dialogs;
            return chosenName;
        };
        ui::DialogPlatform().pdfFileName = [this](QWidget*) -> std::optional<QString> {
            ++pdfDialogs;
            return chosenPdf;
        };
    }
    void TearDown() override { ui::DialogPlatform() = {}; }

    DetailWindowModel Model(const std::string& trainNo, const std::string& boarding) {
        const Timetable tt = test::TypedStops(stops);
        std::optional<DetailWindowModel> m =
            DetailWindowModel::Build(tt, test::Section(tt, trainNo, boarding, 1));
        EXPECT_TRUE(m.has_value());
        return std::move(*m);
    }

    static QByteArray ReadAll(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    QTemporaryDir dir;
    MemTable stops;
    QStringList errors;
    QStringList notices;
    QString pdfPath;
    std::optional<QString> chosenName;
    int dialogs = 0;
    std::optional<QString> chosenPdf;
    int pdfDialogs = 0;
};

TEST_F(PrintExportTest, DetailPrintButtonPrintsTheStopListAtOnce) {
    DetailWindowModel model = Model("Z9", G("北京西"));
    ui::TrainDialog window(model);
    pdfPath = dir.filePath("detail.pdf");
    window.PrintButton()->click();
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    EXPECT_EQ(PdfPageCount(pdfPath), 1);

    const QString text = PdfText(pdfPath);
    if (!text.isEmpty()) {  // pdftotext present
        EXPECT_TRUE(text.contains(QStringLiteral("Korvel列车时刻表"))) << text.toStdString();
        EXPECT_TRUE(text.contains(QStringLiteral("驻马店")));
        EXPECT_TRUE(text.contains(QStringLiteral("时速")));
        EXPECT_FALSE(text.contains(QStringLiteral("软卧")));  // detail titles, not main ones
        EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("第\\s+1\\s+页"))));
    }
    RenderFirstPage(pdfPath, "printed_detail_page.png");
}

// The train window's keys, as in the main and journey windows: Ctrl+P prints at once as
// 打印 does, Ctrl+E exports as 导出 does, Escape closes the window.
TEST_F(PrintExportTest, DetailWindowKeysPrintExportAndClose) {
    DetailWindowModel model = Model("Z9", G("北京西"));
    ui::TrainDialog window(model);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    pdfPath = dir.filePath("keys.pdf");
    QTest::keySequence(&window, QKeySequence::Print);
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    EXPECT_EQ(PdfPageCount(pdfPath), 1);
    chosenName = dir.filePath("keys.csv");
    QTest::keySequence(&window, QKeySequence(Qt::CTRL | Qt::Key_E));
    EXPECT_EQ(dialogs, 1);
    EXPECT_TRUE(ReadAll(*chosenName).contains(G("驻马店").c_str()));
    EXPECT_TRUE(window.isVisible());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(window.isVisible());
}

TEST_F(PrintExportTest, MainGridPrintsOnAsManyPagesAsTheLayoutNeedsAtFullScale) {
    ResultGrid grid;
    grid.SetRowCount(120);
    const char* const row[] = {"北京西", "汉口",  "快速",        "北京西", "20:05",
                               "郑州",   "03:17", "7",           "689",    "7:12",
                               "82",     "125",   "213/221/229", "340/356"};
    for (int r = 0; r < 120; ++r) {
        grid.SetCell(0, r, "K" + std::to_string(1000 + r));
        for (int c = 1; c < 15; ++c) grid.SetCell(c, r, G(row[c - 1]));
    }
    pdfPath = dir.filePath("main.pdf");

    // The expected page count comes from the same page metrics through a counting canvas.
    const int expected = ExpectedA4Pages(grid, 120);
    ASSERT_GT(expected, 1);

    ASSERT_TRUE(ui::PrintGridOnDefaultPrinter(nullptr, grid, GridLayout::Main, 120));
    EXPECT_EQ(PdfPageCount(pdfPath), expected);

    // The first page, rendered for a look: the table spans most of the page width, so the
    // layout was drawn in the printer's own resolution (not screen pixels).
    const QImage image = RenderFirstPage(pdfPath, "printed_page.png");
    if (image.isNull()) GTEST_SKIP() << "pdftoppm not available";
    int left = image.width(), right = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qGray(image.pixel(x, y)) < 128) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
    }
    EXPECT_GT(right - left, image.width() * 3 / 4);
}

// Without a printer the pages go to a PDF file; one that cannot be written is named, in
// Chinese, and nothing is reported as printed.
TEST_F(PrintExportTest, UnwritablePdfFileIsNamedAndNotReportedAsPrinted) {
    ui::DialogPlatform().printersInstalled = [] { return false; };
    chosenPdf = dir.filePath("no-such-folder/main.pdf");
    ResultGrid grid;
    grid.SetRowCount(1);
    grid.SetCell(0, 0, "K1");
    EXPECT_FALSE(ui::PrintGridOnDefaultPrinter(nullptr, grid, GridLayout::Main, 1));
    EXPECT_EQ(pdfDialogs, 1);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains(QStringLiteral("无法写入文件"))) << errors[0].toStdString();
    EXPECT_TRUE(errors[0].contains(QStringLiteral("main.pdf")));
    EXPECT_TRUE(notices.isEmpty());

    // Written, the file is named: nothing else would tell where the pages went.
    chosenPdf = dir.filePath("main.pdf");
    errors.clear();
    EXPECT_TRUE(ui::PrintGridOnDefaultPrinter(nullptr, grid, GridLayout::Main, 1));
    EXPECT_TRUE(errors.isEmpty());
    ASSERT_EQ(notices.size(), 1);
    EXPECT_TRUE(notices[0].contains(QStringLiteral("main.pdf"))) << notices[0].toStdString();
    EXPECT_TRUE(notices[0].contains(QStringLiteral("共1页")));
}

// The stop list's pages in the printer's own font: the train heads every page, and no text
// runs into another, a column line or the margins, whatever the date's length.
TEST_F(PrintExportTest, PrintedStopListNamesTheTrainAndNoTextsOverlapInTheRealFont) {
    DetailWindowModel model = Model("Z9", G("北京西"));
    EXPECT_EQ(model.Heading(), G("车次:Z9  北京西—汉口"));
    for (PrintDate date : {PrintDate{2026, 12, 8}, PrintDate{2026, 12, 28}}) {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setPageSize(QPageSize(QPageSize::A4));
        printer.setOutputFileName(dir.filePath("header.pdf"));
        QPainter painter(&printer);
        test::MeasuringCanvas canvas(painter, printer);
        const PageMetrics page = ui::PageMetricsOf(printer);
        // Measured while the painter is on the printer, as the print job measures.
        const PrintColumns cols = MeasurePrintColumns(model.Stops(), GridLayout::Detail,
                                                      model.StopRowCount(), page, canvas);
        PrintGrid(model.Stops(), GridLayout::Detail, model.StopRowCount(), page, date, canvas,
                  model.Heading());
        EXPECT_GT(test::ExpectNoOverlap(canvas, page.width, page.dpiX / 3, cols.edges), 100);
        int headings = 0;
        for (const auto& t : canvas.texts) headings += t.text == model.Heading();
        EXPECT_EQ(headings, 1);
    }
}

TEST_F(PrintExportTest, PreviewShowsThePagesOfTheSameLayout) {
    ResultGrid grid;
    grid.SetRowCount(60);
    for (int r = 0; r < 60; ++r) grid.SetCell(0, r, "T" + std::to_string(r));
    QPrinter probe(QPrinter::HighResolution);
    probe.setPageSize(QPageSize(QPageSize::A4));
    PageCounter counter;
    const int expected =
        PrintGrid(grid, GridLayout::Main, 60, ui::PageMetricsOf(probe), PrintDate{}, counter);

    pdfPath.clear();  // no default printer: the preview falls back to an A4 page
    int shownPages = -1;
    QTimer::singleShot(0, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) return;
        if (auto* preview = modal->findChild<QPrintPreviewWidget*>()) {
            preview->updatePreview();
            shownPages = preview->pageCount();
        }
        modal->close();
    });
    ui::PreviewGrid(nullptr, grid, GridLayout::Main, 60);
    EXPECT_EQ(shownPages, expected);
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(PrintExportTest, NoDefaultPrinterIsReportedAndNothingPrinted) {
    DetailWindowModel model = Model("Z9", G("北京西"));
    ui::TrainDialog window(model);
    pdfPath.clear();  // no default printer, although printers are installed
    ui::DialogPlatform().printersInstalled = [] { return true; };
    window.PrintButton()->click();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors[0], QStringLiteral("There is no default printer currently selected"));
    EXPECT_EQ(pdfDialogs, 0);
}

TEST_F(PrintExportTest, WithoutAnyPrinterThePagesGoToAPdfFile) {
    pdfPath.clear();
    ui::DialogPlatform().printersInstalled = [] { return false; };
    // The detail window's 打印.
    DetailWindowModel model = Model("Z9", G("北京西"));
    ui::TrainDialog window(model);
    chosenPdf = dir.filePath("detail-saved.pdf");
    window.PrintButton()->click();
    EXPECT_EQ(pdfDialogs, 1);
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    EXPECT_EQ(PdfPageCount(*chosenPdf), 1);
    const QString text = PdfText(*chosenPdf);
    if (!text.isEmpty()) {
        EXPECT_TRUE(text.contains(QStringLiteral("驻马店")));
    }

    // The main grid (what Yes in the print question runs): as many pages as a printer's.
    ResultGrid grid;
    grid.SetRowCount(90);
    for (int r = 0; r < 90; ++r) grid.SetCell(0, r, "K" + std::to_string(r));
    const int expected = ExpectedA4Pages(grid, 90);
    chosenPdf = dir.filePath("main-saved.pdf");
    EXPECT_TRUE(ui::PrintGridOnDefaultPrinter(nullptr, grid, GridLayout::Main, 90));
    EXPECT_EQ(PdfPageCount(*chosenPdf), expected);

    // Cancelling the dialog prints nothing and says nothing.
    chosenPdf.reset();
    EXPECT_FALSE(ui::PrintGridOnDefaultPrinter(nullptr, grid, GridLayout::Main, 90));
    EXPECT_EQ(pdfDialogs, 3);
    EXPECT_TRUE(errors.isEmpty());
    EXPECT_EQ(ui::PdfFileFilter(), QStringLiteral("PDF文件(*.pdf)"));
}

TEST_F(PrintExportTest, PrinterThatCannotStartIsReportedNotSilent) {
    ResultGrid grid;
    grid.SetCell(0, 0, "K1");
    pdfPath = dir.filePath("no/such/folder/out.pdf");
    EXPECT_FALSE(ui::PrintGridOnDefaultPrinter(nullptr, grid, GridLayout::Main, 1));
    EXPECT_EQ(errors.size(), 1);
}

TEST_F(PrintExportTest, DetailExportWritesGbkLinesWithCrLf) {
    DetailWindowModel model = Model("ZA", test::kUserArea);  // station in the user-defined area
    ui::TrainDialog window(model);
    const QString path = dir.filePath("stops.csv");
    chosenName = "  " + path + " ";  // the name is trimmed
    window.ExportButton()->click();
    EXPECT_EQ(dialogs, 1);
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();

    const QByteArray bytes = ReadAll(path);
    const QList<QByteArray> lines = bytes.split('\n');
    ASSERT_EQ(lines.size(), 7 + 2 + 1);  // 7 head lines, 2 stops, nothing after the last CR LF
    for (int i = 0; i + 1 < lines.size(); ++i) EXPECT_TRUE(lines[i].endsWith('\r')) << i;
    EXPECT_TRUE(lines.back().isEmpty());
    EXPECT_EQ(lines[0], "\r");
    EXPECT_EQ(lines[4].toStdString(), G("车次:ZA  ") + "\xF8\xB3\xB4\xE5" + G("—丙") + "\r");
    EXPECT_EQ(lines[5], "\r");
    EXPECT_EQ(lines[6].toStdString(), G("站序,车站,里程,到时,发时,天数,历时,时速") + "\r");
    EXPECT_EQ(lines[7].toStdString(),
              "1," + std::string("\xF8\xB3\xB4\xE5") + ",0,,10:00," + G("当天") + ",0:00,\r");
    EXPECT_EQ(lines[8].toStdString(), "2," + G("丙") + ",20,10:30,," + G("当天") + ",0:30,40\r");
}

TEST_F(PrintExportTest, ExportCancelledOrBlankNameWritesNothing) {
    ResultGrid grid;
    grid.SetCell(0, 0, "K1");
    chosenName.reset();
    EXPECT_FALSE(ui::ExportGridInteractive(nullptr, grid, GridLayout::Main, 1));
    chosenName = QStringLiteral("   ");
    EXPECT_FALSE(ui::ExportGridInteractive(nullptr, grid, GridLayout::Main, 1));
    EXPECT_EQ(dialogs, 2);
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    EXPECT_TRUE(errors.isEmpty());
    EXPECT_FALSE(ui::AskExportPath(nullptr).has_value());
}

TEST_F(PrintExportTest, ExportReplacesAnExistingFileAndReportsAFailure) {
    ResultGrid grid;
    grid.SetCell(0, 0, "K1");
    grid.SetCell(1, 0, G("北京"));
    const QString path = dir.filePath("result.csv");
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old contents that are longer than the new file will be, by far, surely");
    }
    chosenName = path;
    ASSERT_TRUE(ui::ExportGridInteractive(nullptr, grid, GridLayout::Main, 1));
    const QByteArray written = ReadAll(path);
    EXPECT_TRUE(written.startsWith("\r\n\r\n"));
    EXPECT_TRUE(
        written.endsWith(QByteArray::fromStdString("K1," + G("北京") + ",,,,,,,,,,,,,\r\n")));
    EXPECT_FALSE(written.contains("old contents"));
    ASSERT_EQ(notices.size(), 1);  // where it went and how many rows, as printing says
    EXPECT_EQ(notices[0], QStringLiteral("已导出到文件“%1”，共1行。").arg(path));

    const QString bad = dir.filePath("missing-folder/result.csv");
    chosenName = bad;
    EXPECT_FALSE(ui::ExportGridInteractive(nullptr, grid, GridLayout::Main, 1));
    // In the window's words: where, and why not.
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors[0], QStringLiteral("无法导出到文件“%1”：文件夹不存在。").arg(bad));
    const QString folder = dir.filePath("folder.csv");
    ASSERT_TRUE(QDir().mkpath(folder));
    chosenName = folder;
    EXPECT_FALSE(ui::ExportGridInteractive(nullptr, grid, GridLayout::Main, 1));
    ASSERT_EQ(errors.size(), 2);
    EXPECT_TRUE(errors[1].endsWith(QStringLiteral("这个名字不是普通文件（可能是文件夹）。")))
        << errors[1].toStdString();
}

TEST(ExportDialog, FilterAndSuffix) {
    App();
    EXPECT_EQ(ui::ExportFileFilter(), QStringLiteral("CSV 文件 (*.csv)"));
}

}  // namespace
}  // namespace korvel
