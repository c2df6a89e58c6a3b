#include "views/grid_print.h"

#include <algorithm>
#include <ctime>

#include "views/detail_window.h"
#include "views/journey_window.h"
#include "views/result_grid.h"

namespace korvel {

namespace {

// The printed titles: shorter than the window's where the paper column is narrow.
const std::vector<std::string>& MainPrintTitles() {
    static const std::vector<std::string> titles = [] {
        std::vector<std::string> t = {
            "\xB3\xB5\xB4\xCE",  // 车次
            "\xCA\xBC\xB7\xA2",  // 始发
            "\xD6\xD5\xB5\xBD",  // 终到
        };
        t.insert(t.end(), MainMiddleCaptions().begin(), MainMiddleCaptions().end());
        t.push_back("\xD3\xB2\xCE\xD4");  // 硬卧
        t.push_back("\xC8\xED\xCE\xD4");  // 软卧
        return t;
    }();
    return titles;
}

const std::string kPrintFont = "\xBF\xAC\xCC\xE5_GB2312";  // 楷体_GB2312

}  // namespace

// The stop list prints under the detail window's own column captions.
int LayoutColumnCount(GridLayout layout) {
    switch (layout) {
        case GridLayout::Main:
            return static_cast<int>(MainPrintTitles().size());
        case GridLayout::Detail:
            return static_cast<int>(DetailWindowModel::HeaderCaptions().size());
        case GridLayout::Journey:
            return static_cast<int>(JourneyWindowModel::ExportTitles().size());
    }
    return 0;
}

std::string LayoutTitle(GridLayout layout, int column) {
    if (column < 0 || column >= LayoutColumnCount(layout)) return {};
    switch (layout) {
        case GridLayout::Main:
            return MainPrintTitles()[column];
        case GridLayout::Detail:
            return DetailWindowModel::HeaderCaptions()[column];
        case GridLayout::Journey:
            return JourneyWindowModel::ExportTitles()[column];
    }
    return {};
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

namespace {

// Device pixels of `points` at `dpi`.
int Points(int points, int dpi) {
    return points * dpi / 72;
}

const std::string kEllipsis = "\xA1\xAD";  // …

}  // namespace

std::string FitPrintText(const std::string& gbk, int width, int em, PrintCanvas& canvas) {
    if (canvas.TextWidth(gbk, em) <= width) return gbk;
    // Whole characters only: a GBK lead byte takes its trail byte with it.
    std::vector<std::size_t> ends;
    for (std::size_t i = 0; i < gbk.size(); ++i) {
        const auto lead = static_cast<unsigned char>(gbk[i]);
        if (lead >= 0x81 && lead <= 0xFE && i + 1 < gbk.size()) ++i;
        ends.push_back(i + 1);
    }
    for (std::size_t n = ends.size(); n-- > 0;) {
        std::string head = gbk.substr(0, ends[n]) + kEllipsis;
        if (canvas.TextWidth(head, em) <= width) return head;
    }
    return canvas.TextWidth(kEllipsis, em) <= width ? kEllipsis : std::string();
}

PrintColumns MeasurePrintColumns(const TextGrid& grid, GridLayout layout, int rowCount,
                                 const PageMetrics& page, PrintCanvas& canvas) {
    const int C = std::max(grid.ColumnCount(), 1);
    const int left = page.dpiX / 3;
    const int usable = std::max(page.width - 2 * left, C);
    rowCount = std::min(rowCount, grid.RowCount());
    PrintColumns out;
    std::vector<long long> natural(C);
    long long total = 0;
    for (int size = 10; size >= 6; --size) {
        canvas.SetFont(kPrintFont, size);
        out.pointSize = size;
        out.em = Points(size, page.dpiX);
        out.inset = std::max(1, out.em / 3);
        total = 0;
        for (int c = 0; c < C; ++c) {
            int widest = canvas.TextWidth(LayoutTitle(layout, c), out.em);
            for (int r = 0; r < rowCount; ++r)
                widest = std::max(widest, canvas.TextWidth(grid.Cell(c, r), out.em));
            natural[c] = widest + 2LL * out.inset;
            total += natural[c];
        }
        if (total <= usable) break;
    }
    std::vector<int> widths(C);
    out.cut = total > usable;
    if (out.cut) {
        for (int c = 0; c < C; ++c) widths[c] = static_cast<int>(natural[c] * usable / total);
    } else {
        const int extra = static_cast<int>(usable - total);
        for (int c = 0; c < C; ++c) widths[c] = static_cast<int>(natural[c]) + extra / C;
        widths[C - 1] += extra % C;
    }
    out.edges.assign(1, left);
    for (int w : widths) out.edges.push_back(out.edges.back() + w);
    out.rowHeight = 2 * Points(out.pointSize, page.dpiY);
    return out;
}

namespace {

// One print job: the page's fixed places, the header and foot of every page, the rows.
class GridPrinter {
  public:
    GridPrinter(const TextGrid& grid, GridLayout layout, int rowCount, const PageMetrics& page,
                const PrintDate& date, PrintCanvas& canvas, const std::string& heading,
                const std::string& footNote)
        : grid_(grid),
          layout_(layout),
          page_(page),
          canvas_(canvas),
          heading_(heading),
          footNote_(footNote),
          date_(PrintDateText(date)),
          rows_(std::min(rowCount, grid.RowCount())),
          cols_(MeasurePrintColumns(grid, layout, rows_, page, canvas)) {
        left_ = cols_.edges.front();
        right_ = page.width - left_;
        const int head = Points(10, page.dpiY);
        titleTop_ = page.dpiY / 3;
        headingTop_ = titleTop_ + Points(15, page.dpiY) * 3 / 2;
        tableTop_ = headingTop_ + 2 * head;
        footTop_ = page.height - page.dpiY / 3 - head;
        const int room = footTop_ - head - tableTop_;
        perPage_ = std::max(1, room / cols_.rowHeight - 1);  // less the title row
    }

    int Run() {
        int pageNo = 1;
        for (int first = 0;; first += perPage_, ++pageNo) {
            Header();
            const int last = std::min(rows_, first + perPage_);
            for (int r = first; r < last; ++r) Row(r, tableTop_ + (r - first + 1) * H());
            Foot(pageNo);
            if (last >= rows_) break;
            canvas_.NewPage();
        }
        canvas_.EndDocument();
        return pageNo;
    }

  private:
    int H() const { return cols_.rowHeight; }
    int C() const { return static_cast<int>(cols_.edges.size()) - 1; }

    void Header() {
        canvas_.SetPenWidth(15);
        canvas_.SetFont(kPrintFont, 15);
        const std::string title = PrintTitle();
        const int titleWidth = canvas_.TextWidth(title, Points(15, page_.dpiX));
        canvas_.Text(std::max(left_, (page_.width - titleWidth) / 2), titleTop_, title);
        canvas_.SetPenWidth(2);
        canvas_.SetFont(kPrintFont, 10);
        const int em = Points(10, page_.dpiX);
        const int dateWidth = canvas_.TextWidth(date_, em);
        canvas_.Text(right_ - dateWidth, headingTop_, date_);
        // The heading gives way to the date: it is cut rather than run into it.
        const std::string heading =
            FitPrintText(heading_, right_ - dateWidth - em - left_, em, canvas_);
        if (!heading.empty()) canvas_.Text(left_, headingTop_, heading);
        canvas_.SetFont(kPrintFont, cols_.pointSize);
        canvas_.Line(left_, tableTop_, Right(), tableTop_);
        std::vector<std::string> titles;
        for (int c = 0; c < C(); ++c) titles.push_back(LayoutTitle(layout_, c));
        Cells(titles, tableTop_);
    }

    void Row(int r, int top) {
        std::vector<std::string> cells;
        for (int c = 0; c < C(); ++c) cells.push_back(grid_.Cell(c, r));
        Cells(cells, top);
    }

    // One ruled row: every text inside its column, the column lines, the line below.
    void Cells(const std::vector<std::string>& texts, int top) {
        const int textTop = top + (H() - Points(cols_.pointSize, page_.dpiY)) / 3;
        for (int c = 0; c < C(); ++c) {
            const int room = cols_.edges[c + 1] - cols_.edges[c] - 2 * cols_.inset;
            const std::string text = FitPrintText(texts[c], room, cols_.em, canvas_);
            if (!text.empty()) canvas_.Text(cols_.edges[c] + cols_.inset, textTop, text);
        }
        for (int x : cols_.edges) canvas_.Line(x, top, x, top + H());
        canvas_.Line(left_, top + H(), Right(), top + H());
    }

    void Foot(int pageNo) {
        canvas_.SetFont(kPrintFont, 10);
        const int em = Points(10, page_.dpiX);
        const std::string number = PageNumberText(pageNo);
        const int numberX = (page_.width - canvas_.TextWidth(number, em)) / 2;
        canvas_.Text(numberX, footTop_, number);
        const std::string publisher =
            FitPrintText(PrintPublisherLine(), numberX - em - left_, em, canvas_);
        if (!publisher.empty()) canvas_.Text(left_, footTop_, publisher);
        // Right of the page number: the timetable the rows come from, and that the fares
        // are estimates.
        const int noteRoom = right_ - (numberX + canvas_.TextWidth(number, em)) - em;
        const std::string note = FitPrintText(footNote_, noteRoom, em, canvas_);
        if (!note.empty()) canvas_.Text(right_ - canvas_.TextWidth(note, em), footTop_, note);
    }

    int Right() const { return cols_.edges.back(); }

    const TextGrid& grid_;
    GridLayout layout_;
    PageMetrics page_;
    PrintCanvas& canvas_;
    std::string heading_;
    std::string footNote_;
    std::string date_;
    int rows_;
    PrintColumns cols_;
    int left_ = 0, right_ = 0;
    int titleTop_ = 0, headingTop_ = 0, tableTop_ = 0, footTop_ = 0;
    int perPage_ = 1;
};

}  // namespace

int PrintGrid(const TextGrid& grid, GridLayout layout, int rowCount, const PageMetrics& page,
              const PrintDate& date, PrintCanvas& canvas, const std::string& heading,
              const std::string& footNote) {
    return GridPrinter(grid, layout, std::max(rowCount, 0), page, date, canvas, heading, footNote)
        .Run();
}

}  // namespace korvel
