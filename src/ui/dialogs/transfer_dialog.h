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

class TFrmZzz : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kClientWidth = 532;
    static constexpr int kClientHeight = 356;
    static const std::vector<int>& ColumnWidths();

    // The model (with its onPick handler) must outlive the window.
    TFrmZzz(TransferWindowModel& model, QWidget* parent = nullptr);

    ModelGridView* ZGrid() const { return ZGrid_; }
    QLabel* LabInfo() const { return LabInfo_; }
    QPushButton* BTNClose() const { return BTNClose_; }
    // Lab1 ... Lab9.
    const std::vector<QLabel*>& HeaderLabels() const { return labels_; }

    // A click on header label LabN (N = 1..9): sorts through the model and shows the marker.
    void Lab1Click(int labelNumber);

  private:
    void ShowLabels();

    TransferWindowModel& model_;
    ModelGridView* ZGrid_;
    QLabel* LabInfo_;
    QPushButton* BTNClose_;
    std::vector<QLabel*> labels_;
};

}  // namespace korvel::ui
