// The journey window ("换乘方案"): a window of its own beside the main window, with its own
// 发站/到站 boxes (pinyin initials as in the main window) and 反向, the departure window and
// change limits, the journeys beneath as a tree (a summary row each, the legs under it),
// sorted by a header click through the model; a double-click on a leg opens that train's
// detail window.
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

class StationCombo;

class JourneyDialog : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kClientWidth = 840;
    static constexpr int kClientHeight = 512;
    // The top of the journey list, under the station row and the option row.
    static constexpr int kListTop = 80;

    // Plans once with the model's stations and options as it opens (when both stations are
    // given; two empty ones are the last stations kept). The model must outlive the window.
    JourneyDialog(JourneyWindowModel& model, QWidget* parent = nullptr);
    // Keeps the stations for the next run.
    ~JourneyDialog() override;

    StationCombo* DepartureBox() const { return fromBox_; }
    StationCombo* ArrivalBox() const { return toBox_; }
    QPushButton* SwapButton() const { return swap_; }

    // 出发时间 / 到达时间: what the window's times bound.
    QComboBox* WindowOf() const { return windowOf_; }
    QTimeEdit* StartTime() const { return start_; }
    QTimeEdit* EndTime() const { return end_; }
    QSpinBox* MaxChanges() const { return maxChanges_; }
    QSpinBox* MinTransfer() const { return minTransfer_; }
    QSpinBox* CityTransfer() const { return cityTransfer_; }
    // 票价: 不限, or the fare class a journey must also not lose on.
    QComboBox* FareChoice() const { return fare_; }
    QPushButton* SearchButton() const { return search_; }
    QPushButton* ExportButton() const { return export_; }
    QPushButton* CloseButton() const { return close_; }
    QTreeWidget* Tree() const { return tree_; }
    QLabel* StatusLabel() const { return status_; }

    // Reads the boxes and controls into the model and plans; stations that cannot be planned
    // are told in a message box, the focus going to the box at fault.
    void SearchClicked();
    // 反向: the two boxes change places, then the window plans.
    void SwapClicked();
    // A header click: sorts through the model.
    void HeaderClick(int column);
    // The legs of the shown journeys as a CSV file through the save dialog.
    void ExportClicked();
    // 换一趟车 on a leg: the other trains for it in a list; the one picked replaces it.
    void SwapLeg(int journey, int leg);
    // What Ctrl+C in the list copies: the column titles and the chosen journeys (every journey
    // when none is chosen), tab-separated.
    QString CopyText() const;

  private:
    void BuildStationRow(QWidget* canvas);
    void BuildOptionRow(QWidget* canvas);
    void BuildList(QWidget* canvas);
    void Wire();
    // A box's text changed by the user: the pinyin list as the model says.
    void BoxChanged(StationCombo* box);
    // Empties the list and refuses the export (its answer no longer matches the boxes).
    void ClearAnswer(const std::string& status);
    void LayOut(QSize size);
    void Fill();
    void OnDoubleClick(QTreeWidgetItem* item);
    // A leg's context menu, at a point of the list's viewport: 换一趟车.
    void LegMenu(const QPoint& at);

    JourneyWindowModel& model_;
    StationCombo* fromBox_;
    StationCombo* toBox_;
    QPushButton* swap_;
    QComboBox* windowOf_;
    QTimeEdit* start_;
    QTimeEdit* end_;
    QSpinBox* maxChanges_;
    QSpinBox* minTransfer_;
    QSpinBox* cityTransfer_;
    QComboBox* fare_;
    QPushButton* search_;
    QTreeWidget* tree_;
    QLabel* status_;
    QPushButton* export_;
    QPushButton* close_;
};

}  // namespace korvel::ui
