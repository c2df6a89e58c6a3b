// The main window on a console, for the one command that still drives the main-window
// controller (journey).
#pragma once

#include <functional>
#include <iosfwd>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/main_view.h"

namespace korvel::cli {

// The main window on a console. An input-error message box becomes its caption and text on
// `err` (and marks the run as failed with an input error); a Yes/No question is written to
// `err` and answered No, or Yes when `answerYes` is set.
class ConsoleView : public MainView {
  public:
    ConsoleView(std::ostream& err, bool answerYes) : err_(err), answerYes_(answerYes) {}

    void SetEnabled(Control c, bool enabled) override { enabled_[c] = enabled; }
    bool IsEnabled(Control c) const override;
    std::string Text(Control c) const override;
    void SetText(Control c, const std::string& gbk) override { texts_[c] = gbk; }
    bool Checked(Control c) const override;
    void SetChecked(Control c, bool checked) override { checked_[c] = checked; }
    void SetFocus(Control /*c*/) override {}
    MsgAnswer ShowMessage(const std::string& caption, const std::string& text, MsgButtons buttons,
                          MsgIcon icon) override;
    void SetComboItems(Control box, const std::vector<std::string>& items) override {
        items_[box] = items;
    }
    void OpenDropDown(Control /*box*/) override {}
    void SetCaretToEnd(Control /*box*/) override {}
    // The commands read the grid, its headers and the filters from the controller when they
    // write their answer; a console has no cursor, no advert panel and no printer.
    void GridChanged() override {}
    void ShowTimeClassFilter(const TimeClassFilter& /*filter*/) override {}
    void SetHeaderLabel(int /*column*/, const std::string& /*caption*/, bool /*bold*/) override {}
    void SetBusyCursor(bool /*busy*/) override {}
    void ShowRouteAdvert(const std::string& /*from*/, const std::string& /*to*/) override {}
    void PrintResultGrid(const TextGrid& /*grid*/, int /*rowCount*/) override {}
    void SetStatusText(int panel, const std::string& gbk) override;
    // The journey command opens neither the transfer stations nor a stop list.
    void ShowTransferWindow(TransferWindowModel& /*model*/) override {}
    void ShowDetailWindow(DetailWindowModel& /*model*/) override {}
    void ShowJourneyWindow(JourneyWindowModel& model) override;
    // The command line names both stations itself: blank ones are refused.
    bool JourneyWindowHasOwnBoxes() const override { return false; }
    // One journey per run: the timetable never changes under it.
    void JourneyWindowTimetableChanged() override {}
    std::optional<std::string> AskSaveFileName() override { return exportPath; }
    // A failed export is its English line, as an error box; a written file says nothing.
    void ShowExportOutcome(const std::string& path, int rows,
                           const std::optional<ExportFailure>& failure) override;

    const std::vector<std::string>& ComboItems(Control box) { return items_[box]; }
    // Message boxes with an OK button shown so far (input errors, export failures).
    int ErrorCount() const { return errors_; }
    // A table failed to load.
    bool LoadFailed() const { return loadFailed_; }

    std::function<void(JourneyWindowModel&)> onJourneyWindow;
    std::optional<std::string> exportPath;

  private:
    std::ostream& err_;
    bool answerYes_;
    int errors_ = 0;
    bool loadFailed_ = false;
    std::map<Control, bool> enabled_;
    std::map<Control, std::string> texts_;
    std::map<Control, bool> checked_;
    std::map<Control, std::vector<std::string>> items_;
};

}  // namespace korvel::cli
