#include "views/grid_print.h"

#include <algorithm>
#include <ctime>

#include "views/detail_window.h"

namespace korvel {

namespace {

const char* const kMainTitles[] = {
    "\xB3\xB5\xB4\xCE",  // 车次
    "\xCA\xBC\xB7\xA2",  // 始发
    "\xD6\xD5\xB5\xBD",  // 终到
    "\xB3\xB5\xD0\xCD",  // 车型
    "\xB7\xA2\xD5\xBE",  // 发站
    "\xB7\xA2\xCA\xB1",  // 发时
    "\xB5\xBD\xD5\xBE",  // 到站
    "\xB5\xBD\xCA\xB1",  // 到时
    "\xCD\xA3\xD5\xBE",  // 停站
    "\xC0\xEF\xB3\xCC",  // 里程
    "\xC0\xFA\xCA\xB1",  // 历时
    "\xD3\xB2\xD7\xF9",  // 硬座
    "\xC8\xED\xD7\xF9",  // 软座
    "\xD3\xB2\xCE\xD4",  // 硬卧
    "\xC8\xED\xCE\xD4",  // 软卧
};

const std::string kPrintFont = "\xBF\xAC\xCC\xE5_GB2312";  // 楷体_GB2312

// Nearest integer, halves to the even neighbour, for a non-negative value given as 2x.
int RoundHalfEvenOfHalves(long long twice) {
    long long q = twice / 2;
    if (twice % 2 != 0 && q % 2 != 0) ++q;  // x.5 with odd integer part rounds up
    return static_cast<int>(q);
}

}  // namespace

// The stop list prints under the detail window's own column captions.
int LayoutColumnCount(GridLayout layout) {
    return layout == GridLayout::Main
               ? static_cast<int>(std::size(kMainTitles))
               : static_cast<int>(DetailWindowModel::HeaderCaptions().size());
}

std::string LayoutTitle(GridLayout layout, int column) {
    if (column < 0 || column >= LayoutColumnCount(layout)) return {};
    return layout == GridLayout::Main ? kMainTitles[column]
                                      : DetailWindowModel::HeaderCaptions()[column];
}

PrintDate TodayPrintDate() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return PrintDate{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

std::string PrintDateText(const PrintDate& d) {
    return std::to_string(d.year) + "\xC4\xEA" + std::to_string(d.month) + "\xD4\xC2" +
           std::to_string(d.day) + "\xC8\xD5";  // 年 月 日
}

std::string PageNumberText(int page) {
    return "\xB5\xDA  " + std::to_string(page) + "  \xD2\xB3";  // 第  N  页
}

std::string PrintTitle() {
    return "Korvel\xC1\xD0\xB3\xB5\xCA\xB1\xBF\xCC\xB1\xED";
}  // 列车时刻表

std::string PrintPublisherLine() {
    return "Korvel\xCA\xB1\xBF\xCC \xB3\xF6\xC6\xB7";  // Korvel时刻 出品
}

int PrintCanvas::TextWidth(const std::string& gbk, int emPixels) {
    int halves = 0;
    for (std::size_t i = 0; i < gbk.size(); ++i) {
        const auto lead = static_cast<unsigned char>(gbk[i]);
        if (lead >= 0x81 && lead <= 0xFE && i + 1 < gbk.size()) {
            halves += 2;
            ++i;
        } else {
            ++halves;
        }
    }
    return halves * emPixels / 2;
}

int PublisherLineX(int columnWidth, int columns, int dateX, int dateWidth, int emPixels) {
    return std::max((columns - 6) * columnWidth, dateX + dateWidth + std::max(1, emPixels / 2));
}

int PrintGrid(const TextGrid& grid, GridLayout layout, int rowCount, const PageMetrics& page,
              const PrintDate& date, PrintCanvas& canvas) {
    const int X = page.dpiX;
    const int Y = page.dpiY;
    const int C = grid.ColumnCount() > 0 ? grid.ColumnCount() : 1;
    const int L = X / 3;
    const int M = RoundHalfEvenOfHalves(3LL * L);  // L * 1.5
    const int W = (page.width - M) / C;
    const int R = (W + M / 15) * C;
    const int H = X / 3;
    const int T = Y / 3;
    if (rowCount > grid.RowCount()) rowCount = grid.RowCount();
    const std::string dateText = PrintDateText(date);

    auto header = [&] {
        canvas.SetPenWidth(15);
        canvas.SetFont(kPrintFont, 15);
        canvas.Text(page.width / 3, H, PrintTitle());
        canvas.SetPenWidth(2);
        canvas.SetFont(kPrintFont, 10);
        canvas.Line(L, T + 2 * H, R, T + 2 * H);
        canvas.Text(W, T + H + M / 4, dateText);
        // The detail layout's eight columns put column C - 6 one column after the date, which
        // a long date overruns: the publisher line then moves right to keep clear of it.
        const int em = 10 * X / 72;  // 10 points in device pixels
        canvas.Text(PublisherLineX(W, C, W, canvas.TextWidth(dateText, em), em), T + H + M / 3,
                    PrintPublisherLine());
        for (int c = 0; c < C; ++c) {
            canvas.Text(W * c + L, T + 2 * H + X / 9, "  " + LayoutTitle(layout, c));
            canvas.Line(W * c + L, T + 2 * H, W * c + L, T + 3 * H);
        }
        canvas.Line(R, T + 2 * H, R, T + 3 * H);
        canvas.Line(L, T + 3 * H, R, T + 3 * H);
    };
    auto pageNumber = [&](int n) {
        canvas.Text(page.width / 2 - M, page.height - M / 4, PageNumberText(n));
    };

    int pageNo = 1;
    int B = T;
    for (int r = 0; r < rowCount; ++r) {
        if (B == T) {
            header();
            B = T + H;  // the first row lies directly under the title row
        }
        for (int c = 0; c < C; ++c) {
            canvas.Text(W * c + L, B + 2 * H + X / 9, " " + grid.Cell(c, r));
            canvas.Line(W * c + L, B + 2 * H, W * c + L, B + 3 * H);
        }
        canvas.Line(R, B + 2 * H, R, B + 3 * H);
        B += H;
        // Break before a row that would start below the bottom limit; never after the last
        // row, so no page is left with nothing but its number.
        if (page.height - 2 * M < B + H && r + 1 < rowCount) {
            canvas.Line(L, B + 2 * H, R, B + 2 * H);
            pageNumber(pageNo);
            canvas.NewPage();
            ++pageNo;
            B = T;
        }
        canvas.Line(L, B + 2 * H, R, B + 2 * H);
    }
    pageNumber(pageNo);
    canvas.EndDocument();
    return pageNo;
}

}  // namespace korvel
