// The journey window ("换乘方案"): a window of its own beside the main window, with its own
// 发站/到站 boxes (pinyin initials as in the main window) and 反向, the departure window and
// change limits, the journeys beneath as a tree (a summary row each, the legs under it),
// sorted by a header click through the model; a double-click on a leg opens that train's
// detail window.
#pragma once

#include <QDialog>
#include <memory>

#include "views/journey_window.h"

class QComboBox;
class QKeyEvent;
class QLabel;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QTimeEdit;
class QTreeWidget;
class QTreeWidgetItem;

namespace korvel {
class MapData;
}

namespace korvel::ui {

class MapWidget;
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
    // With `map` the journeys and the chosen one on a map are two tabs.
    JourneyDialog(JourneyWindowModel& model, QWidget* parent = nullptr,
                  std::shared_ptr<const MapData> map = nullptr);
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
    QPushButton* PrintButton() const { return print_; }
    QPushButton* CloseButton() const { return close_; }
    QTreeWidget* Tree() const { return tree_; }
    QLabel* StatusLabel() const { return status_; }
    // The tabs and the 地图 tab (nullptr without a map).
    QTabWidget* Tabs() const { return tabs_; }
    MapWidget* Map() const { return map_; }

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
    // The legs of the shown journeys on the printer, headed by what they answer.
    void PrintClicked();
    // Whether the journeys on show answer other stations or settings than those in the
    // window now (changed since the last search): they are greyed, and neither exported nor
    // printed, until 查询 plans again.
    bool AnswerIsStale() const { return stale_; }
    // The timetable changed under the window: the answer planned on the old one stays on
    // show, greyed and explained, while the model holds it outdated; once planned again on
    // the new timetable, the new answer is shown. Once the new tables are in (`tablesIn`),
    // the map is theirs (`map`, nullptr for a timetable without station places).
    void TimetableChanged(std::shared_ptr<const MapData> map, bool tablesIn);
    // What Ctrl+C in the list copies, tab-separated: the column titles, with the journey's
    // number (方案) and the leg's train (车次) in columns of their own, then the chosen rows (a
    // chosen journey with its legs, a leg chosen alone by itself; every journey when nothing
    // is chosen).
    QString CopyText() const;

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void BuildStationRow(QWidget* canvas);
    void BuildOptionRow(QWidget* canvas);
    void BuildList(QWidget* canvas);
    void Wire();
    // A box's text changed by the user: the pinyin list as the model says.
    void BoxChanged(StationCombo* box);
    // Empties the list and refuses the export (its answer no longer matches the boxes).
    void ClearAnswer(const std::string& status);
    // A station or setting changed after the search: the answer on show no longer fits.
    void MarkStale();
    // Greys the answer on show (or shows it as current again); `why` replaces the status
    // line's word on changed settings.
    void ShowStale(bool stale, const QString& why = {});
    // Whether the boxes and settings are those the model last planned with.
    bool ShowsTheModelsQuestion() const;
    void LayOut(QSize size);
    void Fill();
    void OnDoubleClick(QTreeWidgetItem* item);
    // The map shows journey `j` (-1: none), fitted, unless it shows that one already.
    void ShowOnMap(int j);
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
    QPushButton* print_;
    QPushButton* close_;
    bool stale_ = false;
    QTabWidget* tabs_ = nullptr;
    MapWidget* map_ = nullptr;
    int mapJourney_ = -1;
};

}  // namespace korvel::ui
