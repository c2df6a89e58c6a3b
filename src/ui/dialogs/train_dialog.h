// The train detail window: the whole stop list of one train, the route and section summary
// lines, printing and export of the stop list.
#pragma once

#include <QDialog>
#include <memory>
#include <vector>

#include "ui/dialogs/grid_print_qt.h"
#include "views/detail_window.h"

class QLabel;
class QPushButton;
class QTabWidget;

namespace korvel {
class MapData;
}

namespace korvel::ui {

class MapWidget;
class ModelGridView;

class TrainDialog : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kClientWidth = 426;
    static constexpr int kClientHeight = 403;
    // Column widths of the stop grid: 站序, 车站, 里程, 到时, 发时, 天数, 历时, 时速.
    static const std::vector<int>& ColumnWidths();

    // The model must outlive the window. With `map` (a timetable with station places) the
    // stop list and the train's route on a map are two tabs.
    TrainDialog(DetailWindowModel& model, QWidget* parent = nullptr,
                std::shared_ptr<const MapData> map = nullptr);

    ModelGridView* StopGrid() const { return stopGrid_; }
    QLabel* RouteLine() const { return routeLine_; }
    QLabel* SectionLine() const { return sectionLine_; }
    QPushButton* PrintButton() const { return printButton_; }
    QPushButton* ExportButton() const { return exportButton_; }
    QPushButton* CloseButton() const { return closeButton_; }
    // The tabs and the 地图 tab (nullptr without a map).
    QTabWidget* Tabs() const { return tabs_; }
    MapWidget* Map() const { return map_; }
    // The header labels Header1 ... Header8, in column order.
    const std::vector<QLabel*>& HeaderLabels() const { return headers_; }

    // Prints the stop rows at once, with the detail titles (and the map on a page after them).
    void PrintClicked();
    // Exports the stop rows through the save dialog.
    void ExportClicked();
    // A print preview of the same pages (from the stop grid's context menu).
    void PreviewClick();

  private:
    // The parts of the window, built in this order by the constructor.
    void AddSummaryLines(QWidget* canvas);
    void AddColumnHeaders(QWidget* canvas);
    void AddStopGrid(QWidget* canvas);
    void AddButtons(QWidget* canvas);
    // The map's page after the printed stop list (none without a map).
    LastPage MapPage() const;

    DetailWindowModel& model_;
    QLabel* routeLine_;
    QLabel* sectionLine_;
    ModelGridView* stopGrid_;
    QPushButton* printButton_;
    QPushButton* exportButton_;
    QPushButton* closeButton_;
    std::vector<QLabel*> headers_;
    QTabWidget* tabs_ = nullptr;
    MapWidget* map_ = nullptr;
};

}  // namespace korvel::ui
