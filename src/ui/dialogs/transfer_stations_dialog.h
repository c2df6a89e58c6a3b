// The transfer window: candidate transfer stations of a transfer query, sortable by header,
// each pick loading both legs into the main grid behind it.
#pragma once

#include <QDialog>
#include <vector>

#include "views/transfer_window.h"

class QLabel;
class QPushButton;

namespace korvel::ui {

class ModelGridView;

class TransferStationsDialog : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kClientWidth = 532;
    static constexpr int kClientHeight = 356;
    static const std::vector<int>& ColumnWidths();

    // The model (with its onPick handler) must outlive the window.
    TransferStationsDialog(TransferWindowModel& model, QWidget* parent = nullptr);

    ModelGridView* StationGrid() const { return stationGrid_; }
    QLabel* InfoLabel() const { return infoLabel_; }
    QPushButton* CloseButton() const { return closeButton_; }
    // Header1 ... Header9.
    const std::vector<QLabel*>& HeaderLabels() const { return labels_; }

    // A click on header label HeaderN (N = 1..9): sorts through the model and shows the marker.
    void HeaderClicked(int labelNumber);

  private:
    void ShowLabels();

    TransferWindowModel& model_;
    ModelGridView* stationGrid_;
    QLabel* infoLabel_;
    QPushButton* closeButton_;
    std::vector<QLabel*> labels_;
};

}  // namespace korvel::ui
