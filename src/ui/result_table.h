// The main result grid in Qt: an item model over the engine's ResultGrid, a delegate that
// paints each cell as one centred line in its row's colour, and a table view that hands every
// click, key, wheel step and double-click to the window's handlers instead of deciding
// anything itself.
#pragma once

#include <QAbstractTableModel>
#include <QStyledItemDelegate>
#include <QTableView>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "views/result_grid.h"

namespace korvel::ui {

// Column widths of the result grid, without the grid line that follows each column.
const std::vector<int>& ResultColumnWidths();
inline constexpr int kResultRowHeight = 18;  // without the grid line below

class ResultGridModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    // True for the selected row (drawn in the highlight colour with white text).
    static constexpr int SelectedRole = Qt::UserRole + 1;

    explicit ResultGridModel(QObject* parent = nullptr);

    // The grid shown; nullptr shows nothing. The grid must outlive the model or be replaced.
    void SetGrid(const ResultGrid* grid);
    const ResultGrid* Grid() const { return grid_; }
    // The chosen transfer station (GBK) that colours second-leg rows blue.
    void SetTransferStation(std::function<std::string()> transferStation);

    // The grid changed (cells, row count or selection): announce it to the views.
    void Refresh();

    // Several rows chosen at once (Ctrl- and Shift-clicks, Ctrl+A): while a choice is made
    // they are the rows drawn selected, instead of the grid's one selected row (which stays
    // the row Enter and a double-click open).
    void SetChosenRows(std::set<int> rows);
    void ClearChosenRows();
    bool HasChosenRows() const { return choosing_; }
    const std::set<int>& ChosenRows() const { return chosen_; }
    bool IsDrawnSelected(int row) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    static QColor GridBackground();
    static QColor SelectedBackground();

  private:
    const ResultGrid* grid_ = nullptr;
    int rows_ = 0;  // the row count the views know
    std::function<std::string()> transferStation_;
    bool choosing_ = false;
    std::set<int> chosen_;
};

// Fills the whole cell with its background, then draws its text once: centred horizontally
// and vertically, on one line, clipped to the cell.
class ResultCellDelegate : public QStyledItemDelegate {
    Q_OBJECT

  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
};

// The grid control. Selection, scrolling rules and double-clicks are the handlers' business;
// the view only reports what the user did and shows what the model holds.
class ResultTableView : public QTableView {
    Q_OBJECT

  public:
    explicit ResultTableView(QWidget* parent = nullptr);

    // Rows wholly visible (at least 1).
    int VisibleRows() const;
    // First visible row.
    int TopRow() const;
    // Scrolls so that `row` is the first visible row (without reporting it back).
    void ScrollToTopRow(int row);

    // A click on a cell, or a keyboard move to a row (column 0 for keys).
    std::function<void(int column, int row)> selectCell;
    // Ctrl-click (`toggle`) or Shift-click / Shift+arrow keys (a range to `row`).
    std::function<void(int row, bool toggle)> extendSelection;
    // Ctrl+A.
    std::function<void()> selectAllRows;
    // One wheel step over the grid.
    std::function<void(bool up)> wheelStep;
    std::function<void()> doubleClicked;
    // Enter or keypad Enter on the grid.
    std::function<void()> enterPressed;
    // Right mouse button (global position).
    std::function<void(const QPoint& globalPos)> contextMenuAt;
    // The user moved the scroll bar: the new first visible row.
    std::function<void(int topRow)> scrolledTo;

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    int wheelRemainder_ = 0;
    bool syncing_ = false;
};

}  // namespace korvel::ui
