#include "cli/console_view.h"

#include <ostream>

#include "app/main_controller.h"
#include "cli/cmd_query_common.h"
#include "data/gbk.h"
#include "views/grid_export.h"

namespace korvel::cli {

bool ConsoleView::IsEnabled(Control c) const {
    auto it = enabled_.find(c);
    return it == enabled_.end() || it->second;
}

std::string ConsoleView::Text(Control c) const {
    auto it = texts_.find(c);
    return it == texts_.end() ? std::string() : it->second;
}

bool ConsoleView::Checked(Control c) const {
    auto it = checked_.find(c);
    return it != checked_.end() && it->second;
}

MsgAnswer ConsoleView::ShowMessage(const std::string& caption, const std::string& text,
                                   MsgButtons buttons, MsgIcon /*icon*/) {
    if (buttons == MsgButtons::Ok) {
        ++errors_;
        ReportMessage(err_, caption, text);
        return MsgAnswer::Ok;
    }
    ReportQuestion(err_, caption, text, answerYes_);
    return answerYes_ ? MsgAnswer::Yes : MsgAnswer::No;
}

void ConsoleView::ShowExportOutcome(const std::string& /*path*/, int /*rows*/,
                                    const std::optional<ExportFailure>& failure) {
    // The line carries the file name, which the file system gives as UTF-8.
    if (failure)
        ShowMessage(ApplicationTitle(), Utf8ToGbk(failure->text), MsgButtons::Ok, MsgIcon::Error);
}

void ConsoleView::SetStatusText(int panel, const std::string& gbk) {
    // Panel 0 carries the version and the timetable panel what was loaded; any other text
    // is a load failure.
    if (panel == 0 || panel == kTimetableStatusPanel) return;
    loadFailed_ = true;
    err_ << "korvel-cli: " << ToUtf8(gbk) << "\n";
}

void ConsoleView::ShowJourneyWindow(JourneyWindowModel& model) {
    if (onJourneyWindow) onJourneyWindow(model);
}

}  // namespace korvel::cli
