// An owner-drawn view of a SelectableGrid: fixed column widths, one text line per cell
// centred in it, grid lines, whole-row selection, a vertical scroll bar, and the selection
// and wheel rules of the model (blank rows cannot be selected; without a selection the
// wheel scrolls, with one it moves the selection).
#pragma once

#include <QAbstractScrollArea>
#include <QColor>
#include <functional>
#include <vector>

#include "views/text_grid.h"

namespace korvel::ui {

class ModelGridView : public QAbstractScrollArea {
    Q_OBJECT

  public:
    static constexpr int kDefaultRowHeight = 18;

    ModelGridView(SelectableGrid& grid, std::vector<int> columnWidths, QWidget* parent = nullptr);

    SelectableGrid& Grid() { return grid_; }
    // Row height without the grid line below it.
    void SetRowHeight(int height);
    int RowHeight() const { return rowHeight_; }
    // Rows wholly visible in the view (at least 1).
    int VisibleRows() const;
    // Call after the model changed (cells, row count, selection, scroll position).
    void Refresh();
    // The view rectangle of a row, or an empty one when the row is scrolled out of view.
    QRect RowRect(int row) const;
    // Model row under a view point, or -1 (outside the cells).
    int RowAt(const QPoint& viewportPos) const;

    // Text colour of a row that is not selected; window text when unset.
    std::function<QColor(int row)> rowTextColour;
    // A click (mouse, or a keyboard move to that row). Default: select the row if it may be.
    std::function<void(int row)> clickRow;
    // One wheel step. Default: the model's wheel rule.
    std::function<void(bool up, int visibleRows)> wheelStep;
    std::function<void(int row)> doubleClickRow;

    QColor background = QColor(0xFF, 0xFD, 0xF4);
    QColor gridLine = QColor(0xC0, 0xC0, 0xC0);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

  private:
    int Pitch() const { return rowHeight_ + 1; }
    int ColumnsWidth() const;
    void KeepSelectionVisible();
    void SyncScrollBar();

    SelectableGrid& grid_;
    std::vector<int> widths_;
    int rowHeight_ = kDefaultRowHeight;
    int wheelRemainder_ = 0;
    bool syncing_ = false;
};

}  // namespace korvel::ui
