// korvel-cli direct / train / station / transfer / stops / codes: the four queries, the
// transfer window, the detail window and the station drop-down, each driven through the
// main-window controller exactly as the window drives it.

#include <algorithm>
#include <iterator>
#include <memory>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "app/main_controller.h"
#include "cli/cmd_query_common.h"
#include "data/csv.h"
#include "data/decimal.h"
#include "data/gbk.h"
#include "views/grid_export.h"
#include "views/grid_print.h"
#include "views/time_class_filter.h"

namespace korvel::cli {

namespace {

// An error reported by a message box (unknown station, missing input, a file that cannot
// be written).
constexpr int kExitInput = 2;

struct QueryOptions {
    std::vector<std::string> positional;
    std::vector<Control> only;
    std::optional<int> sortColumn;
    bool sortDescending = false;
    OutputFormat format = OutputFormat::Table;
    std::optional<std::string> exportPath;
    bool yes = false;
    std::optional<std::string> via;
    std::optional<std::string> board;
    std::optional<int> count;
    // --depart and --class: the time and class filters beside the filter boxes.
    TimeClassFilter timeClass;
};

// What is wrong with an option's value; nothing when it was taken.
using Problem = std::optional<std::string>;

// --only: a comma list of the filter boxes to tick.
Problem ParseOnly(std::string_view list, std::vector<Control>& only) {
    static constexpr std::pair<std::string_view, Control> kBoxes[] = {
        {"start", Control::OriginatesFilter},
        {"end", Control::TerminatesFilter},
        {"exact", Control::ExactNamesFilter},
        {"emu", Control::EmuOnlyFilter}};
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t comma = std::min(list.find(',', start), list.size());
        const std::string_view name = list.substr(start, comma - start);
        start = comma + 1;
        if (name.empty()) continue;
        const auto* box = std::find_if(std::begin(kBoxes), std::end(kBoxes),
                                       [&](const auto& b) { return b.first == name; });
        if (box == std::end(kBoxes)) {
            return "unknown filter '" + std::string(name) + "' (start, end, exact, emu)";
        }
        only.push_back(box->second);
    }
    return std::nullopt;
}

// --sort COL[:asc|desc].
Problem ParseSort(std::string col, int sortColumns, QueryOptions& o) {
    if (const std::size_t colon = col.find(':'); colon != std::string::npos) {
        const std::string dir = col.substr(colon + 1);
        if (dir != "asc" && dir != "desc") return "sort direction must be asc or desc";
        if (dir == "desc") o.sortDescending = true;
        col.resize(colon);
    }
    const std::optional<int> c = WholeInteger<int>(col);
    if (!c || *c < 0 || *c >= sortColumns) {
        return "sort column must be 0.." + std::to_string(sortColumns - 1);
    }
    o.sortColumn = *c;
    return std::nullopt;
}

// One option that takes a value.
Problem ApplyOption(const std::string& name, const std::string& value, int sortColumns,
                    QueryOptions& o) {
    if (name == "--only") return ParseOnly(value, o.only);
    if (name == "--sort") return ParseSort(value, sortColumns, o);
    if (name == "--depart") {
        o.timeClass.depart = ParseDepartWindow(value);
        if (!o.timeClass.depart) return "--depart must be HH:MM-HH:MM";
    } else if (name == "--class") {
        const std::optional<TrainClassSet> classes = ParseTrainClasses(value);
        if (!classes) return "--class takes a comma list of G, C, D, Z, T, K, O";
        o.timeClass.classes = *classes;
    } else if (name == "--format") {
        const std::optional<OutputFormat> format = ParseOutputFormat(value);
        if (!format) return "format must be table, csv or json";
        o.format = *format;
    } else if (name == "--export") {
        if (value.empty()) return "--export needs a file name";
        o.exportPath = value;
    } else if (name == "--via") {
        o.via = value;
    } else if (name == "--board") {
        o.board = value;
    } else if (name == "--count") {
        const std::optional<int> n = WholeInteger<int>(value);
        if (!n || *n < 1) return "--count must be a positive number";
        o.count = *n;
    }
    return std::nullopt;
}

// The options of one command, or what is wrong with them. `allowed` lists the options it
// takes; `positional` the number of plain arguments.
std::variant<QueryOptions, std::string> ReadOptions(const Args& args, std::size_t positional,
                                                    const std::set<std::string>& allowed,
                                                    int sortColumns) {
    QueryOptions o;
    OptionReader reader(args);
    while (std::optional<OptionWord> word = reader.Next()) {
        if (!word->option) {
            o.positional.push_back(word->text);
            continue;
        }
        const std::string& a = word->text;
        if (!allowed.count(a)) return "unknown option '" + a + "'";
        if (a == "--yes") {
            if (word->value) return std::string("--yes takes no value");
            o.yes = true;
            continue;
        }
        // --only adds boxes to tick; every other option holds one value.
        if (a != "--only" && !reader.FirstTime(a)) return a + " given twice";
        const std::optional<std::string> value = reader.ValueOf(*word);
        if (!value) return a + " needs a value";
        if (Problem why = ApplyOption(a, *value, sortColumns, o)) return *why;
    }
    if (o.positional.size() != positional) {
        return "expected " + std::to_string(positional) + " argument" +
               (positional == 1 ? "" : "s");
    }
    return o;
}

// ReadOptions, with the problem written to `err`.
std::optional<QueryOptions> ParseOptions(std::string_view command, const Args& args,
                                         std::size_t positional,
                                         const std::set<std::string>& allowed, int sortColumns,
                                         std::ostream& err) {
    auto read = ReadOptions(args, positional, allowed, sortColumns);
    if (auto* o = std::get_if<QueryOptions>(&read)) return std::move(*o);
    err << "korvel-cli " << command << ": " << std::get<std::string>(read) << "\n";
    return std::nullopt;
}

// One run of the main window on the console.
struct Session {
    Session(std::ostream& err, bool yes) : view(err, yes), controller(view) {}
    ConsoleView view;
    MainController controller;
};

bool Start(Session& s, const BlobSource& source) {
    StartOptions options;
    options.source = source;
    if (!source) options.timetableFolder = TimetableFolder();
    s.controller.Start(std::move(options));
    return !s.view.LoadFailed();
}

// A header click, repeated when the column comes out sorted the other way round (a column
// that was already sorted ascending turns descending on its first click).
template <class ClickFn>
void SortBy(const HeaderLabels& labels, int column, bool descending, ClickFn click) {
    click(column + 1);
    if (labels.SortedColumn() == column && labels.Ascending() == descending) click(column + 1);
}

std::vector<std::string> MainTitles() {
    std::vector<std::string> titles;
    for (int c = 0; c < LayoutColumnCount(GridLayout::Main); ++c)
        titles.push_back(LayoutTitle(GridLayout::Main, c));
    return titles;
}

std::vector<std::string> PlainCaptions(const HeaderLabels& labels) {
    std::vector<std::string> titles;
    for (int c = 0; c < labels.Count(); ++c) {
        std::string t = labels.Caption(c);
        if (labels.Bold(c) && t.size() >= 2) t.resize(t.size() - 2);  // the arrow
        titles.push_back(t);
    }
    return titles;
}

// Filters and sort after a query, then the grid as shown, then the export file.
int FinishMainGrid(Session& s, const QueryOptions& o, std::ostream& out, std::ostream& err) {
    for (Control box : o.only) {
        s.view.SetChecked(box, true);
        s.controller.FilterClicked();
    }
    if (!o.timeClass.PassesAll()) s.controller.SetTimeClassFilter(o.timeClass);
    if (o.sortColumn) {
        SortBy(s.controller.Labels(), *o.sortColumn, o.sortDescending,
               [&](int label) { s.controller.HeaderClicked(label); });
    }
    const ResultGrid& grid = s.controller.Grid();
    WriteGrid(out, o.format, MainTitles(), grid, grid.ShownCount(), {},
              s.view.Text(Control::ResultLabel));
    if (!o.exportPath) return kExitOk;

    s.view.exportPath = o.exportPath;
    s.controller.ShowAdvancedMenu();
    if (!s.view.IsEnabled(Control::ExportItem)) {
        err << "korvel-cli: no rows to export\n";
        return kExitFailure;
    }
    const int before = s.view.ErrorCount();
    s.controller.ExportClicked();
    // The export file could not be written: a failure, not a mistake in the arguments.
    return s.view.ErrorCount() == before ? kExitOk : kExitFailure;
}

// The transfer window on the console: with a station to pick, picks it (the main grid then
// holds both legs); without one, writes the window's caption and candidate rows.
void HandleTransferWindow(Session& s, const QueryOptions& o, std::ostream& out, std::ostream& err,
                          bool& viaMissing) {
    s.view.onTransferWindow = [&o, &out, &err, &viaMissing](TransferWindowModel& model) {
        if (o.via) {
            const std::string via = ToGbk(*o.via);
            for (int r = 0; r < model.StationCount(); ++r) {
                if (model.Grid().Cell(0, r) == via) {
                    model.ClickRow(r);
                    return;
                }
            }
            viaMissing = true;
            err << "korvel-cli: " << *o.via << " is not among the " << model.StationCount()
                << " transfer stations\n";
            return;
        }
        if (o.sortColumn) {
            SortBy(model.Labels(), *o.sortColumn, o.sortDescending,
                   [&](int label) { model.HeaderClick(label); });
        }
        // CSV: the caption line, then nine cells a row.
        WriteGrid(out, o.format, PlainCaptions(model.Labels()), model.Grid(), model.StationCount(),
                  {model.Caption()}, {}, false);
    };
}

const std::set<std::string> kGridOptions = {"--only",   "--depart", "--class", "--sort",
                                            "--format", "--export", "--yes",   "--via"};

int Direct(const Args& args, const BlobSource& source, std::ostream& out, std::ostream& err) {
    auto o = ParseOptions("direct", args, 2, kGridOptions, 15, err);
    if (!o) return kExitUsage;
    Session s(err, o->yes);
    if (!Start(s, source)) return kExitFailure;
    bool viaMissing = false;
    HandleTransferWindow(s, *o, out, err, viaMissing);
    s.view.SetText(Control::DepartureBox, ToGbk(o->positional[0]));
    s.view.SetText(Control::ArrivalBox, ToGbk(o->positional[1]));
    s.controller.StationPairClicked(PairQuery::Direct);
    if (s.view.ErrorCount() > 0 || viaMissing) return kExitInput;
    return FinishMainGrid(s, *o, out, err);
}

int Transfer(const Args& args, const BlobSource& source, std::ostream& out, std::ostream& err) {
    auto o = ParseOptions("transfer", args, 2, kGridOptions, 15, err);
    if (!o) return kExitUsage;
    if (!o->via && o->sortColumn && *o->sortColumn >= TransferWindowModel::kColumns) {
        err << "korvel-cli transfer: sort column must be 0.." << TransferWindowModel::kColumns - 1
            << " for the transfer stations\n";
        return kExitUsage;
    }
    if (!o->via && (o->exportPath || !o->only.empty())) {
        err << "korvel-cli transfer: --export and --only need --via\n";
        return kExitUsage;
    }
    if (!o->via && !o->timeClass.PassesAll()) {
        err << "korvel-cli transfer: --depart and --class need --via\n";
        return kExitUsage;
    }
    Session s(err, o->yes);
    if (!Start(s, source)) return kExitFailure;
    bool viaMissing = false;
    HandleTransferWindow(s, *o, out, err, viaMissing);
    s.view.SetText(Control::DepartureBox, ToGbk(o->positional[0]));
    s.view.SetText(Control::ArrivalBox, ToGbk(o->positional[1]));
    s.controller.StationPairClicked(PairQuery::Transfer);
    if (s.view.ErrorCount() > 0 || viaMissing) return kExitInput;
    if (!o->via) return kExitOk;
    return FinishMainGrid(s, *o, out, err);
}

int Train(const Args& args, const BlobSource& source, std::ostream& out, std::ostream& err) {
    auto o =
        ParseOptions("train", args, 1,
                     {"--only", "--depart", "--class", "--sort", "--format", "--export"}, 15, err);
    if (!o) return kExitUsage;
    Session s(err, false);
    if (!Start(s, source)) return kExitFailure;
    // The train-number box turns letters into capitals as they are typed.
    s.view.SetText(Control::TrainNumberBox, AsciiUpper(ToGbk(o->positional[0])));
    s.controller.TrainClicked();
    if (s.view.ErrorCount() > 0) return kExitInput;
    return FinishMainGrid(s, *o, out, err);
}

int Station(const Args& args, const BlobSource& source, std::ostream& out, std::ostream& err) {
    auto o =
        ParseOptions("station", args, 1,
                     {"--only", "--depart", "--class", "--sort", "--format", "--export"}, 15, err);
    if (!o) return kExitUsage;
    Session s(err, false);
    if (!Start(s, source)) return kExitFailure;
    s.view.SetText(Control::StationBox, ToGbk(o->positional[0]));
    s.controller.StationClicked();
    if (s.view.ErrorCount() > 0) return kExitInput;
    return FinishMainGrid(s, *o, out, err);
}

int Stops(const Args& args, const BlobSource& source, std::ostream& out, std::ostream& err) {
    auto o = ParseOptions("stops", args, 1, {"--board", "--count", "--format", "--export"}, 8, err);
    if (!o) return kExitUsage;
    if (o->count && !o->board) {
        err << "korvel-cli stops: --count needs --board\n";
        return kExitUsage;
    }
    Session s(err, false);
    if (!Start(s, source)) return kExitFailure;

    // The train as the train-number query finds it: its row, boarding at the origin.
    const std::string key = AsciiUpper(ToGbk(o->positional[0]));
    s.view.SetText(Control::TrainNumberBox, key);
    s.controller.TrainClicked();
    if (s.view.ErrorCount() > 0) return kExitInput;
    const ResultGrid& grid = s.controller.Grid();
    if (grid.ShownCount() == 0) {
        err << "korvel-cli stops: no train " << o->positional[0] << "\n";
        return kExitFailure;
    }
    int row = 0;
    for (int r = 0; r < grid.ShownCount(); ++r) {
        if (grid.Cell(0, r) == key) row = r;
    }

    int rc = kExitOk;
    s.view.onDetailWindow = [&](DetailWindowModel& model) {
        // CSV: the two summary lines, then eight cells a row.
        WriteGrid(out, o->format, DetailWindowModel::HeaderCaptions(), model.Stops(),
                  model.StopRowCount(), {model.RouteLine(), model.SectionLine()}, {}, false);
        if (!o->exportPath) return;
        if (auto error = ExportGrid(model.Stops(), GridLayout::Detail, model.StopRowCount(),
                                    *o->exportPath, model.Heading())) {
            err << "korvel-cli: " << *error << "\n";
            rc = kExitFailure;
        }
    };
    if (!o->board) {
        s.controller.SelectGridRow(0, row);
        s.controller.GridDoubleClicked();
        return rc;
    }
    const std::string trainId = grid.Cell(0, row);
    std::optional<DetailSection> section =
        s.controller.SectionOf(trainId, ToGbk(*o->board), o->count);
    if (!section) {
        err << "korvel-cli stops: " << ToUtf8(trainId) << " does not depart from " << *o->board
            << "\n";
        return kExitInput;
    }
    s.controller.OpenDetail(*section);
    return rc;
}

int Codes(const Args& args, const BlobSource& source, std::ostream& out, std::ostream& err) {
    auto o = ParseOptions("codes", args, 1, {"--format"}, 1, err);
    if (!o) return kExitUsage;
    Session s(err, false);
    if (!Start(s, source)) return kExitFailure;
    s.view.SetText(Control::DepartureBox, ToGbk(o->positional[0]));
    s.controller.StationBoxEdited(Control::DepartureBox);
    std::vector<std::string> stations;
    for (const std::string& item : s.view.ComboItems(Control::DepartureBox)) {
        if (!item.empty()) stations.push_back(item);  // the padding items are empty
    }
    switch (o->format) {
        case OutputFormat::Table:
            for (const std::string& st : stations) out << ToUtf8(st) << "\n";
            break;
        case OutputFormat::Csv:
            for (const std::string& st : stations) out << CsvField(ToUtf8(st)) << "\n";
            break;
        case OutputFormat::Json:
            out << "[";
            for (std::size_t i = 0; i < stations.size(); ++i)
                out << (i ? ", " : "") << JsonString(ToUtf8(stations[i]));
            out << "]\n";
            break;
    }
    return kExitOk;
}

}  // namespace

int WithTrain(const std::string& command, const std::string& number, const BlobSource& source,
              std::ostream& err, const std::function<int(StoredTables&, const std::string&)>& use) {
    Session s(err, false);
    if (!Start(s, source)) return kExitFailure;
    // The train as the train-number query finds it, as `stops` takes it.
    const std::string key = AsciiUpper(ToGbk(number));
    s.view.SetText(Control::TrainNumberBox, key);
    s.controller.TrainClicked();
    if (s.view.ErrorCount() > 0) return kExitInput;
    const ResultGrid& grid = s.controller.Grid();
    if (grid.ShownCount() == 0) {
        err << "korvel-cli " << command << ": no train " << number << "\n";
        return kExitFailure;
    }
    int row = 0;
    for (int r = 0; r < grid.ShownCount(); ++r) {
        if (grid.Cell(0, r) == key) row = r;
    }
    return use(s.controller.Tables(), grid.Cell(0, row));
}

int RunQueryCommand(std::string_view name, const Args& args, const BlobSource& source,
                    std::ostream& out, std::ostream& err) {
    if (name == "direct") return Direct(args, source, out, err);
    if (name == "transfer") return Transfer(args, source, out, err);
    if (name == "train") return Train(args, source, out, err);
    if (name == "station") return Station(args, source, out, err);
    if (name == "stops") return Stops(args, source, out, err);
    if (name == "codes") return Codes(args, source, out, err);
    err << "korvel-cli: unknown command '" << name << "'\n";
    return kExitUsage;
}

int RunDirect(const Args& args, std::ostream& out, std::ostream& err) {
    return Direct(args, {}, out, err);
}
int RunTrain(const Args& args, std::ostream& out, std::ostream& err) {
    return Train(args, {}, out, err);
}
int RunStation(const Args& args, std::ostream& out, std::ostream& err) {
    return Station(args, {}, out, err);
}
int RunTransfer(const Args& args, std::ostream& out, std::ostream& err) {
    return Transfer(args, {}, out, err);
}
int RunStops(const Args& args, std::ostream& out, std::ostream& err) {
    return Stops(args, {}, out, err);
}
int RunCodes(const Args& args, std::ostream& out, std::ostream& err) {
    return Codes(args, {}, out, err);
}

}  // namespace korvel::cli
