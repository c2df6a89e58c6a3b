// A recording MainView for the controller tests: it keeps the state a window would show
// (texts, enabled, checked, focus, combo items), records every call in order, and answers
// message boxes from a queue.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/main_controller.h"
#include "app/main_view.h"
#include "data/gbk.h"
#include "views/detail_window.h"
#include "views/grid_export.h"
#include "views/journey_window.h"
#include "views/time_class_filter.h"
#include "views/transfer_window.h"

namespace korvel::testing {

struct RecordedMessage {
    std::string caption;
    std::string text;
    MsgButtons buttons = MsgButtons::Ok;
    MsgIcon icon = MsgIcon::None;
};

class FakeView : public MainView {
  public:
    // --- state ---
    std::map<Control, bool> enabled;
    std::map<Control, std::string> texts;
    std::map<Control, bool> checked;
    std::map<Control, std::vector<std::string>> comboItems;
    std::map<Control, int> dropDownsOpened;
    std::map<int, std::string> statusText;
    std::map<int, std::pair<std::string, bool>> headers;
    std::optional<Control> focus;
    std::vector<std::string> calls;  // every call, in order
    std::vector<RecordedMessage> messages;
    std::deque<MsgAnswer> answers;  // answers for the next message boxes (default: Ok / No)
    std::vector<std::pair<std::string, std::string>> routeAdverts;
    int gridChanges = 0;
    std::map<Control, int> caretsToEnd;
    std::vector<bool> busyCursor;  // every change of the busy cursor, in order
    int detailWindows = 0;
    int transferWindows = 0;
    std::optional<std::string> saveFileName;  // what AskSaveFileName returns
    int printed = 0;
    int printedRows = -1;
    // What the time and class widgets were last told to show.
    std::optional<TimeClassFilter> shownTimeClass;

    // What the modal windows do while they are "open" (the default just closes them).
    std::function<void(TransferWindowModel&)> onTransferWindow;
    int journeyWindows = 0;
    bool ownJourneyBoxes = false;
    std::function<void(JourneyWindowModel&)> onJourneyWindow;
    std::function<void(DetailWindowModel&)> onDetailWindow;
    std::optional<DetailWindowModel> lastDetail;
    std::string lastTransferCaption;

    // --- MainView ---
    void SetEnabled(Control c, bool on) override {
        calls.push_back("SetEnabled");
        enabled[c] = on;
    }
    bool IsEnabled(Control c) const override {
        auto it = enabled.find(c);
        return it == enabled.end() ? true : it->second;
    }
    std::string Text(Control c) const override {
        auto it = texts.find(c);
        return it == texts.end() ? std::string() : it->second;
    }
    void SetText(Control c, const std::string& gbk) override {
        calls.push_back("SetText");
        texts[c] = gbk;
    }
    bool Checked(Control c) const override {
        auto it = checked.find(c);
        return it != checked.end() && it->second;
    }
    void SetChecked(Control c, bool on) override {
        calls.push_back("SetChecked");
        checked[c] = on;
    }
    void SetFocus(Control c) override {
        calls.push_back("SetFocus");
        focus = c;
    }
    MsgAnswer ShowMessage(const std::string& caption, const std::string& text, MsgButtons buttons,
                          MsgIcon icon) override {
        calls.push_back("ShowMessage");
        messages.push_back({caption, text, buttons, icon});
        if (!answers.empty()) {
            MsgAnswer a = answers.front();
            answers.pop_front();
            return a;
        }
        return buttons == MsgButtons::Ok ? MsgAnswer::Ok : MsgAnswer::No;
    }
    void SetComboItems(Control box, const std::vector<std::string>& items) override {
        calls.push_back("SetComboItems");
        comboItems[box] = items;
    }
    void OpenDropDown(Control box) override {
        calls.push_back("OpenDropDown");
        ++dropDownsOpened[box];
    }
    void SetCaretToEnd(Control box) override { ++caretsToEnd[box]; }
    void GridChanged() override { ++gridChanges; }
    void SetBusyCursor(bool busy) override { busyCursor.push_back(busy); }
    void ShowTimeClassFilter(const TimeClassFilter& filter) override {
        calls.push_back("ShowTimeClassFilter");
        shownTimeClass = filter;
    }
    void SetHeaderLabel(int column, const std::string& caption, bool bold) override {
        headers[column] = {caption, bold};
    }
    void ShowRouteAdvert(const std::string& from, const std::string& to) override {
        calls.push_back("ShowRouteAdvert");
        routeAdverts.emplace_back(from, to);
    }
    void SetStatusText(int panel, const std::string& gbk) override { statusText[panel] = gbk; }
    void ShowTransferWindow(TransferWindowModel& model) override {
        calls.push_back("ShowTransferWindow");
        ++transferWindows;
        lastTransferCaption = model.Caption();
        if (onTransferWindow) onTransferWindow(model);
    }
    void ShowDetailWindow(DetailWindowModel& model) override {
        calls.push_back("ShowDetailWindow");
        ++detailWindows;
        lastDetail = model;
        if (onDetailWindow) onDetailWindow(model);
    }
    void ShowJourneyWindow(JourneyWindowModel& model) override {
        calls.push_back("ShowJourneyWindow");
        ++journeyWindows;
        if (onJourneyWindow) onJourneyWindow(model);
    }
    bool JourneyWindowHasOwnBoxes() const override { return ownJourneyBoxes; }
    void JourneyWindowTimetableChanged() override {
        calls.push_back("JourneyWindowTimetableChanged");
    }
    std::optional<std::string> AskSaveFileName() override {
        calls.push_back("AskSaveFileName");
        return saveFileName;
    }
    // A failure is shown as a window without words of its own would: its English line, with
    // the file name the file system gives as UTF-8, in an error box.
    void ShowExportOutcome(const std::string& path, int rows,
                           const std::optional<ExportFailure>& failure) override {
        calls.push_back("ShowExportOutcome");
        exportOutcomes.push_back({path, rows, failure});
        if (failure) {
            ShowMessage(ApplicationTitle(), Utf8ToGbk(failure->text), MsgButtons::Ok,
                        MsgIcon::Error);
        }
    }
    struct ExportOutcome {
        std::string path;
        int rows = 0;
        std::optional<ExportFailure> failure;
    };
    std::vector<ExportOutcome> exportOutcomes;
    void PrintResultGrid(const TextGrid& /*grid*/, int rowCount) override {
        calls.push_back("PrintResultGrid");
        ++printed;
        printedRows = rowCount;
    }

    // --- helpers ---
    void Type(Control box, const std::string& gbk) { texts[box] = gbk; }
    void ClearRecords() {
        calls.clear();
        messages.clear();
        routeAdverts.clear();
        focus.reset();
    }
};

}  // namespace korvel::testing
