// The journey window ("换乘方案"): the departure window and change limits on top, the
// journeys beneath as a tree (a summary row each, the legs under it), sorted by a header
// click through the model; a double-click on a leg opens that train's detail window.
#pragma once

#include <QDialog>

#include "views/journey_window.h"

class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTimeEdit;
class QTreeWidget;
class QTreeWidgetItem;

namespace korvel::ui {

class TFrmHcfa : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kClientWidth = 840;
    static constexpr int kClientHeight = 480;

    // Plans once with the model's options as it opens. The model must outlive the window.
    TFrmHcfa(JourneyWindowModel& model, QWidget* parent = nullptr);

    // 出发时间 / 到达时间: what the window's times bound.
    QComboBox* WindowOf() const { return windowOf_; }
    QTimeEdit* StartTime() const { return start_; }
    QTimeEdit* EndTime() const { return end_; }
    QSpinBox* MaxChanges() const { return maxChanges_; }
    QSpinBox* MinTransfer() const { return minTransfer_; }
    QSpinBox* CityTransfer() const { return cityTransfer_; }
    QPushButton* BTNCX() const { return search_; }
    QPushButton* BTNExport() const { return export_; }
    QPushButton* BTNClose() const { return close_; }
    QTreeWidget* Tree() const { return tree_; }
    QLabel* LabStatus() const { return status_; }

    // Reads the controls into the model's options and plans.
    void BTNCXClick();
    // A header click: sorts through the model.
    void HeaderClick(int column);
    // The legs of the shown journeys as a CSV file through the save dialog.
    void BTNExportClick();
    // What Ctrl+C in the list copies: the column titles and the chosen journeys (every journey
    // when none is chosen), tab-separated.
    QString CopyText() const;

  private:
    void LayOut(QSize size);
    void Fill();
    void OnDoubleClick(QTreeWidgetItem* item);

    JourneyWindowModel& model_;
    QComboBox* windowOf_;
    QTimeEdit* start_;
    QTimeEdit* end_;
    QSpinBox* maxChanges_;
    QSpinBox* minTransfer_;
    QSpinBox* cityTransfer_;
    QPushButton* search_;
    QTreeWidget* tree_;
    QLabel* status_;
    QPushButton* export_;
    QPushButton* close_;
};

}  // namespace korvel::ui
