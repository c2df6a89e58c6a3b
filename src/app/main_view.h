// What the main-window logic needs of a user interface. The Qt window implements it; tests
// and korvel-cli implement it with recording or console fakes. Every text is GBK bytes.
//
// Every method is pure: an implementation that leaves one out does not build, rather than
// silently ignoring what the logic asks of it.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace korvel {

class TransferWindowModel;
class DetailWindowModel;
class JourneyWindowModel;
class TextGrid;
struct ExportFailure;
struct TimeClassFilter;

// Controls of the main window that the logic reads or changes, named as the window names them.
enum class Control {
    DepartureBox,
    ArrivalBox,
    StationBox,
    TrainNumberBox,
    DirectButton,
    SwapButton,
    TransferButton,
    TrainButton,
    StationButton,
    AdvancedButton,
    AboutButton,
    UpdateButton,
    OriginatesFilter,
    TerminatesFilter,
    ExactNamesFilter,
    EmuOnlyFilter,
    ResultGridView,
    ResultLabel,
    NewVersionLabel,
    PrintItem,
    ExportItem,
    JourneyButton,  // "换乘方案": the journey planner window
};

enum class MsgButtons { Ok, YesNo, YesNoCancel };
enum class MsgIcon { None, Information, Question, Warning, Error };
enum class MsgAnswer { Ok, Yes, No, Cancel };

class MainView {
  public:
    virtual ~MainView() = default;

    virtual void SetEnabled(Control c, bool enabled) = 0;
    virtual bool IsEnabled(Control c) const = 0;
    // Text of a box, label or button caption.
    virtual std::string Text(Control c) const = 0;
    virtual void SetText(Control c, const std::string& gbk) = 0;
    // Check boxes. Setting the state does not run the click handler.
    virtual bool Checked(Control c) const = 0;
    virtual void SetChecked(Control c, bool checked) = 0;
    virtual void SetFocus(Control c) = 0;
    // A modal message box; returns the button pressed.
    virtual MsgAnswer ShowMessage(const std::string& caption, const std::string& text,
                                  MsgButtons buttons, MsgIcon icon) = 0;

    // Station boxes: replace the drop-down items, open the list, move the caret to the end.
    virtual void SetComboItems(Control box, const std::vector<std::string>& items) = 0;
    virtual void OpenDropDown(Control box) = 0;
    virtual void SetCaretToEnd(Control box) = 0;

    // The result grid model changed (cells, row count or selection): repaint it.
    virtual void GridChanged() = 0;
    // The departure-time and class filters beside the filter boxes (a new query resets them).
    virtual void ShowTimeClassFilter(const TimeClassFilter& filter) = 0;
    // Header label of column `column` (0..14): caption and bold state (the sort marker).
    virtual void SetHeaderLabel(int column, const std::string& caption, bool bold) = 0;
    virtual void SetBusyCursor(bool busy) = 0;
    // The travel-offer panel: labels the route of the last query with two names.
    virtual void ShowRouteAdvert(const std::string& from, const std::string& to) = 0;
    // Status bar panel text (0..4; kTimetableStatusPanel names the timetable in use).
    virtual void SetStatusText(int panel, const std::string& gbk) = 0;

    // The transfer and detail windows are modal: they return when the user closes them.
    virtual void ShowTransferWindow(TransferWindowModel& model) = 0;
    virtual void ShowDetailWindow(DetailWindowModel& model) = 0;
    // The journey planner window, or the open one brought forward; it runs its searches
    // through the model. It may stay open after this returns, beside the main window; the
    // view calls MainController::JourneyWindowClosed when it closes.
    virtual void ShowJourneyWindow(JourneyWindowModel& model) = 0;
    // Whether the journey window has station boxes of its own (and its own last stations to
    // start with): then two blank station boxes open it. Without them they are refused.
    virtual bool JourneyWindowHasOwnBoxes() const = 0;
    // The open journey window's answer changed under it with the timetable: it is outdated
    // (JourneyWindowModel::Outdated) while a new timetable loads or when it cannot be planned
    // on it, or was planned again once the new timetable had loaded.
    virtual void JourneyWindowTimetableChanged() = 0;
    // Save dialog: returns the chosen path (UTF-8 file system path) or nothing when cancelled.
    virtual std::optional<std::string> AskSaveFileName() = 0;
    // Prints rows 0..rowCount-1 of the result grid on the default printer with the main
    // layout's column titles (the user has already confirmed).
    virtual void PrintResultGrid(const TextGrid& grid, int rowCount) = 0;
    // How an export of `rows` result rows to `path` (the file-system path) went: nothing
    // means written. The window words a failure in its own language.
    virtual void ShowExportOutcome(const std::string& path, int rows,
                                   const std::optional<ExportFailure>& failure) = 0;
};

}  // namespace korvel
