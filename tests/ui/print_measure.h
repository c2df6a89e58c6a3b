// A print canvas that records where every text lands and how wide it is in the printer's own
// font, and the check that no two texts of a printed page overlap.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "ui/dialogs/grid_print_qt.h"

namespace korvel::test {

class MeasuringCanvas : public ui::QtPrintCanvas {
  public:
    using QtPrintCanvas::QtPrintCanvas;
    struct Placed {
        int page, x, y, width;
        std::string text;
    };
    std::vector<Placed> texts;
    void Text(int x, int y, const std::string& gbk) override {
        texts.push_back({page_, x, y, TextWidth(gbk, 0), gbk});
        QtPrintCanvas::Text(x, y, gbk);
    }
    void NewPage() override {
        ++page_;
        QtPrintCanvas::NewPage();
    }

  private:
    int page_ = 0;
};

// Texts that share a line never touch; each lies between the margins of a `width`-pixel page
// and, inside the table, between its column's lines (`edges`). Returns the count of texts.
inline int ExpectNoOverlap(const MeasuringCanvas& canvas, int pageWidth, int margin,
                           const std::vector<int>& edges) {
    std::map<std::pair<int, int>, std::vector<std::pair<int, int>>> lines;
    for (const auto& t : canvas.texts) {
        EXPECT_GE(t.x, margin) << t.text;
        EXPECT_LE(t.x + t.width, pageWidth - margin) << t.text;
        lines[{t.page, t.y}].push_back({t.x, t.x + t.width});
    }
    for (auto& [at, spans] : lines) {
        std::sort(spans.begin(), spans.end());
        // A row of the table has one text per column: each ends before the next column line.
        const bool tableRow = spans.size() + 1 >= edges.size() && edges.size() > 2;
        for (std::size_t k = 0; k < spans.size(); ++k) {
            if (k > 0) {
                EXPECT_LT(spans[k - 1].second, spans[k].first) << "page " << at.first;
            }
            if (!tableRow) continue;
            auto right = std::upper_bound(edges.begin(), edges.end(), spans[k].first);
            EXPECT_NE(right, edges.end());
            if (right != edges.end()) {
                EXPECT_LT(spans[k].second, *right) << "page " << at.first << " y " << at.second;
            }
        }
    }
    return static_cast<int>(canvas.texts.size());
}

}  // namespace korvel::test
