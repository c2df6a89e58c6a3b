// The query subcommands of korvel-cli (direct, train, station, transfer, stops, codes), the
// timetable they ask their questions of, and what every command shares to read options and
// write rows.
#pragma once

#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "app/loaders.h"
#include "cli/commands.h"
#include "query/requests.h"
#include "query/stop_index.h"
#include "timetable/timetable.h"

namespace korvel {
class TextGrid;
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
// of writing the journeys returns what `use` makes of them and the typed timetable.
int WithJourneys(const Args& args, const BlobSource& source, std::ostream& err,
                 const std::function<int(const Timetable&, const JourneyWindowModel&)>& use);

// The timetable of one command, loaded whole, with the typed timetable and the stop index the
// questions read.
struct LoadedTimetable {
    StoredTables tables;
    LoadFlags flags;
    std::shared_ptr<const Timetable> typed;
    std::unique_ptr<StopIndex> index;
    QueryTables Questions() { return QueryTables{tables, TablesReady{}, index.get()}; }
};

// Loads the four tables of `source` (empty: the embedded ones, or the --timetable folder) and
// builds what the questions read. A table that fails is reported as the window's status bar
// words it ("korvel-cli: 时刻表加载失败:KMTrain ..."), and the result is false.
bool LoadForQuestions(LoadedTimetable& t, const BlobSource& source, std::ostream& err);

// A message box with an OK button on the console: "korvel-cli: <caption>: <text>" (both GBK;
// the caption without its leading blanks).
void ReportMessage(std::ostream& err, const std::string& caption, const std::string& text);
// A Yes/No question answered on the console: "<caption>: <text> -> Yes" (or No).
void ReportQuestion(std::ostream& err, const std::string& caption, const std::string& text,
                    bool yes);

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
