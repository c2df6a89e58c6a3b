// The query subcommands of korvel-cli (direct, train, station, transfer, stops, codes) and
// the console view they drive the main-window controller through.
#pragma once

#include <functional>
#include <iosfwd>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "app/loaders.h"
#include "app/main_view.h"
#include "cli/commands.h"

namespace korvel {
class TextGrid;
class TransferWindowModel;
class DetailWindowModel;
class JourneyWindowModel;
}  // namespace korvel

namespace korvel::cli {

int RunDirect(const Args& args, std::ostream& out, std::ostream& err);
int RunTrain(const Args& args, std::ostream& out, std::ostream& err);
int RunStation(const Args& args, std::ostream& out, std::ostream& err);
int RunTransfer(const Args& args, std::ostream& out, std::ostream& err);
int RunStops(const Args& args, std::ostream& out, std::ostream& err);
int RunCodes(const Args& args, std::ostream& out, std::ostream& err);

// Any of the commands above by name, with the timetable read from `source` (empty: the
// embedded blobs). Unknown names give kExitUsage.
int RunQueryCommand(std::string_view name, const Args& args, const BlobSource& source,
                    std::ostream& out, std::ostream& err);

// Finds train `number` (UTF-8) as the train query does, with its messages and exit codes
// when there is none, and returns what `use` makes of the loaded tables and the train's ID.
int WithTrain(const std::string& command, const std::string& number, const BlobSource& source,
              std::ostream& err, const std::function<int(StoredTables&, const std::string&)>& use);

// Plans as `journey` does from the same arguments (its messages and exit codes), and instead
// of writing the journeys returns what `use` makes of them and the loaded tables.
int WithJourneys(const Args& args, const BlobSource& source, std::ostream& err,
                 const std::function<int(StoredTables&, const JourneyWindowModel&)>& use);

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
    void ShowTransferWindow(TransferWindowModel& model) override;
    void ShowDetailWindow(DetailWindowModel& model) override;
    void ShowJourneyWindow(JourneyWindowModel& model) override;
    // The command line names both stations itself: blank ones are refused.
    bool JourneyWindowHasOwnBoxes() const override { return false; }
    std::optional<std::string> AskSaveFileName() override { return exportPath; }
    // A failed export is its English line, as an error box; a written file says nothing.
    void ShowExportOutcome(const std::string& path, int rows,
                           const std::optional<ExportFailure>& failure) override;

    const std::vector<std::string>& ComboItems(Control box) { return items_[box]; }
    // Message boxes with an OK button shown so far (input errors, export failures).
    int ErrorCount() const { return errors_; }
    // A table failed to load.
    bool LoadFailed() const { return loadFailed_; }

    std::function<void(TransferWindowModel&)> onTransferWindow;
    std::function<void(DetailWindowModel&)> onDetailWindow;
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

enum class OutputFormat { Table, Csv, Json };

// "table", "csv" or "json"; nothing for any other text.
std::optional<OutputFormat> ParseOutputFormat(std::string_view text);

// One word of a command line: a plain argument, or an option "--name" with the value given
// after "=" when there was one.
struct OptionWord {
    std::string text;  // the argument, or the option's name
    bool option = false;
    std::optional<std::string> value;
};

// Walks the arguments of a command word by word, as every command reads them.
class OptionReader {
  public:
    explicit OptionReader(const Args& args) : args_(args) {}
    // The next word; nothing after the last.
    std::optional<OptionWord> Next();
    // An option's value: the one given with "=", else the next argument (which is taken);
    // nothing when there is none.
    std::optional<std::string> ValueOf(const OptionWord& word);
    // False when the option `name` was asked about before on this line. An option that holds
    // one value is given once: "--sort 3 --sort 5" names no order the user can rely on.
    bool FirstTime(const std::string& name) { return seen_.insert(name).second; }

  private:
    const Args& args_;
    std::size_t next_ = 0;
    std::set<std::string> seen_;
};

// Writes rows of a grid (GBK cells) in one of the output formats, as UTF-8.
//   Table: the titles, then the rows, in columns padded to their widths.
//   Csv: the titles joined by commas (unless csvTitles is false), then one line per row.
//   Json: {"columns": [...], "rows": [[...], ...]}.
// `extra` lines (GBK) come before everything in table and csv output, and as "lines" in
// JSON; `footer` (GBK, table output only) ends the table.
void WriteGrid(std::ostream& out, OutputFormat format, const std::vector<std::string>& titles,
               const TextGrid& grid, int rowCount, const std::vector<std::string>& extra = {},
               const std::string& footer = {}, bool csvTitles = true);

// JSON string literal of a UTF-8 text.
std::string JsonString(std::string_view utf8);

}  // namespace korvel::cli
