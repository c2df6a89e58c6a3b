// The station boxes and the query buttons of the main window with arbitrary typed text: the
// pinyin test, the drop-down list and the main-window controller driven through a plain view
// on the embedded timetable. Every input ends in a message box, a list, a result or nothing,
// never a crash or a hang.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/main_controller.h"
#include "data/gbk.h"
#include "fuzz_timetable.h"
#include "query/pinyin_input.h"
#include "views/transfer_window.h"

namespace {

using korvel::Control;
using korvel::MsgAnswer;

void Check(bool ok) {
    if (!ok) std::abort();
}

// A window without a screen: keeps texts, enabled states and lists; answers message boxes
// and plays the transfer window from the fuzzer's bytes.
class FuzzView : public korvel::MainView {
  public:
    // The answers of the input being run come from `in`; the window starts it empty.
    void Begin(FuzzedDataProvider& in) {
        in_ = &in;
        enabled_.clear();
        texts_.clear();
        checked_.clear();
        items_.clear();
        yes_ = 0;
    }

    void SetEnabled(Control c, bool on) override { enabled_[c] = on; }
    bool IsEnabled(Control c) const override {
        auto it = enabled_.find(c);
        return it == enabled_.end() || it->second;
    }
    std::string Text(Control c) const override {
        auto it = texts_.find(c);
        return it == texts_.end() ? std::string() : it->second;
    }
    void SetText(Control c, const std::string& gbk) override { texts_[c] = gbk; }
    bool Checked(Control c) const override {
        auto it = checked_.find(c);
        return it != checked_.end() && it->second;
    }
    void SetChecked(Control c, bool on) override { checked_[c] = on; }
    void SetFocus(Control c) override { focus_ = c; }
    MsgAnswer ShowMessage(const std::string& caption, const std::string& text,
                          korvel::MsgButtons buttons, korvel::MsgIcon) override {
        Check(!caption.empty() && !text.empty());
        ++messages;
        if (buttons == korvel::MsgButtons::Ok) return MsgAnswer::Ok;
        // At most a few "yes" answers per input, so a question can never loop forever.
        if (yes_ < 3 && in_->ConsumeBool()) {
            ++yes_;
            return MsgAnswer::Yes;
        }
        return MsgAnswer::No;
    }
    void SetComboItems(Control box, const std::vector<std::string>& items) override {
        items_[box] = items;
    }
    void OpenDropDown(Control) override {}
    void ShowTransferWindow(korvel::TransferWindowModel& model) override {
        const int clicks = in_->ConsumeIntegralInRange(0, 3);
        for (int i = 0; i < clicks; ++i) {
            const int what = in_->ConsumeIntegralInRange(0, 3);
            if (what == 0) {
                model.ClickRow(in_->ConsumeIntegralInRange(-2, model.StationCount() + 2));
            } else if (what == 1) {
                model.HeaderClick(in_->ConsumeIntegralInRange(0, 17));
            } else if (what == 2) {
                model.WheelDown(in_->ConsumeIntegralInRange(0, 20));
            } else {
                model.WheelUp(in_->ConsumeIntegralInRange(0, 20));
            }
        }
    }
    void ShowDetailWindow(korvel::DetailWindowModel&) override { ++details; }
    // What only paints or asks for a file: nothing for the fuzzer to play.
    void SetCaretToEnd(Control) override {}
    void GridChanged() override {}
    void ShowTimeClassFilter(const korvel::TimeClassFilter&) override {}
    void SetHeaderLabel(int, const std::string&, bool) override {}
    void SetBusyCursor(bool) override {}
    void ShowRouteAdvert(const std::string&, const std::string&) override {}
    void SetStatusText(int, const std::string&) override {}
    void ShowJourneyWindow(korvel::JourneyWindowModel&) override {}
    bool JourneyWindowHasOwnBoxes() const override { return false; }
    void JourneyWindowTimetableChanged() override {}
    std::optional<std::string> AskSaveFileName() override { return std::nullopt; }
    void PrintResultGrid(const korvel::TextGrid&, int) override {}
    void ShowExportOutcome(const std::string&, int,
                           const std::optional<korvel::ExportFailure>&) override {}

    int messages = 0;
    int details = 0;

  private:
    FuzzedDataProvider* in_ = nullptr;
    std::map<Control, bool> enabled_;
    std::map<Control, std::string> texts_;
    std::map<Control, bool> checked_;
    std::map<Control, std::vector<std::string>> items_;
    Control focus_ = Control::DepartureBox;
    int yes_ = 0;
};

std::string TypedText(FuzzedDataProvider& in) {
    const auto& names = korvel::fuzz::FuzzStationNames();
    switch (in.ConsumeIntegralInRange(0, 3)) {
        case 0:
            return in.ConsumeRandomLengthString(48);
        case 1:  // a name typed as UTF-8 would arrive from a misbehaving input method
            return korvel::Utf8ToGbk(in.ConsumeRandomLengthString(48));
        default:
            if (names.empty()) return in.ConsumeRandomLengthString(8);
            std::string name = names[in.ConsumeIntegralInRange<std::size_t>(0, names.size() - 1)];
            if (in.ConsumeBool()) name = " " + name + in.ConsumeRandomLengthString(3);
            return name;
    }
}

// The pinyin rules that hold for any text.
void CheckPinyin(korvel::MemTable& py, const std::string& text) {
    bool letters = !text.empty();
    for (unsigned char c : text) letters &= (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    Check(korvel::IsPinyinCode(text) == letters);

    const korvel::ComboChangeResult change = korvel::StationBoxEdited(text, &py);
    Check(change.text == korvel::TrimControl(text));
    if (korvel::IsPinyinCode(change.text)) {
        Check(change.action == korvel::ComboListAction::FillAndOpen);
        Check(change.items.size() >= 8);
    } else if (change.text.empty()) {
        Check(change.action == korvel::ComboListAction::ResetEmpty && change.items.size() == 9);
    } else {
        Check(change.action == korvel::ComboListAction::Leave && change.items.empty());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    korvel::StoredTables& shared = korvel::fuzz::FuzzTimetable();
    CheckPinyin(shared.KMPy, in.ConsumeRandomLengthString(64));

    // One window for the whole run, as one user session: loading the full timetable for
    // every input would make the run a load benchmark. Each input starts with empty boxes and
    // filters; the last result list carries over, as it does between two clicks.
    struct Window {
        FuzzView view;
        korvel::MainController controller{view};
        Window() {
            korvel::StartOptions options;
            options.source = korvel::fuzz::FuzzBlobSource();
            controller.Start(std::move(options));
        }
    };
    static Window* window = new Window;
    FuzzView& view = window->view;
    korvel::MainController& c = window->controller;
    const auto enabled = [&] {
        std::map<Control, bool> on;
        for (Control k : {Control::DepartureBox, Control::ArrivalBox, Control::StationBox,
                          Control::DirectButton, Control::TransferButton, Control::TrainButton,
                          Control::StationButton}) {
            on[k] = view.IsEnabled(k);
        }
        return on;
    }();
    view.Begin(in);
    for (const auto& [k, on] : enabled) view.SetEnabled(k, on);

    const Control boxes[] = {Control::DepartureBox, Control::ArrivalBox, Control::StationBox};
    for (int step = 0; step < 12 && in.remaining_bytes() > 0; ++step) {
        switch (in.ConsumeIntegralInRange(0, 9)) {
            case 0: {
                const Control box = boxes[in.ConsumeIntegralInRange(0, 2)];
                view.SetText(box, TypedText(in));
                c.StationBoxEdited(box);
                break;
            }
            case 1:
                view.SetText(Control::TrainNumberBox,
                             korvel::AsciiUpper(in.ConsumeRandomLengthString(24)));
                c.TrainClicked();
                break;
            case 2:
                c.StationPairClicked(in.ConsumeBool() ? korvel::PairQuery::Transfer
                                                      : korvel::PairQuery::Direct);
                break;
            case 3:
                c.SwapClicked();
                break;
            case 4:
                c.StationClicked();
                break;
            case 5: {
                const Control filters[] = {Control::OriginatesFilter, Control::TerminatesFilter,
                                           Control::ExactNamesFilter, Control::EmuOnlyFilter};
                const Control f = filters[in.ConsumeIntegralInRange(0, 3)];
                view.SetChecked(f, !view.Checked(f));
                c.FilterClicked();
                break;
            }
            case 6:
                c.HeaderClicked(in.ConsumeIntegralInRange(0, 16));
                break;
            case 7:
                c.SelectGridRow(in.ConsumeIntegralInRange(-1, 15),
                                in.ConsumeIntegralInRange(-2, 40));
                c.GridDoubleClicked();
                break;
            case 8:
                if (in.ConsumeBool()) {
                    c.GridWheelDown(in.ConsumeIntegralInRange(0, 20));
                } else {
                    c.GridWheelUp(in.ConsumeIntegralInRange(0, 20));
                }
                break;
            case 9: {
                const char keys[] = {'\r', 'a', '\0'};
                const char key = keys[in.ConsumeIntegralInRange(0, 2)];
                c.DepartureBoxKeyPressed(key);
                c.ArrivalBoxKeyPressed(key);
                c.StationBoxKeyPressed(key);
                c.ShowAdvancedMenu();
                break;
            }
        }
        Check(c.ShownCount() >= 0);
    }
    return 0;
}
