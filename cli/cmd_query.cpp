// korvel-cli direct / train / station / transfer / stops / codes: the four queries, the
// transfer stations, a train's stop list and the station drop-down, asked of the query layer
// as the window's controller asks them, and shown through the same views.

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

#include "cli/cmd_query_common.h"
#include "data/csv.h"
#include "data/decimal.h"
#include "data/gbk.h"
#include "query/pinyin_input.h"
#include "query/requests.h"
#include "views/detail_window.h"
#include "views/grid_export.h"
#include "views/grid_print.h"
#include "views/result_grid.h"
#include "views/row_text.h"
#include "views/time_class_filter.h"
#include "views/transfer_window.h"

namespace korvel::cli {

namespace {

// An error reported by a message box (unknown station, missing input, a file that cannot
// be written).
constexpr int kExitInput = 2;

struct QueryOptions {
    std::vector<std::string> positional;
    FilterBoxes only;  // the filter boxes --only ticks
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
Problem ParseOnly(std::string_view list, FilterBoxes& only) {
    static constexpr std::pair<std::string_view, bool FilterBoxes::*> kBoxes[] = {
        {"start", &FilterBoxes::OriginatesFilter},
        {"end", &FilterBoxes::TerminatesFilter},
        {"exact", &FilterBoxes::ExactNamesFilter},
        {"emu", &FilterBoxes::EmuOnlyFilter}};
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
        only.*(box->second) = true;
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

// Whether --only ticked any box.
bool AnyBox(const FilterBoxes& b) {
    return b.OriginatesFilter || b.TerminatesFilter || b.ExactNamesFilter || b.EmuOnlyFilter;
}

// The main result list as the window keeps it: the rows of the last question, what the
// filters compare them with, and the grid they are shown in.
struct MainList {
    ResultList results;
    QueryKindValue kind = QueryKindValue::None;
    std::string fromTyped;
    std::string toTyped;
    std::string stationTyped;  // the station box, trimmed (the station query only)
    std::string transferStation;
    std::string heading;
    ResultGrid grid;
    HeaderLabels labels = MainHeaderLabels();

    void Fill(const FilterBoxes& boxes) {
        FillResultGrid(results, boxes, kind, transferStation, fromTyped, toTyped, stationTyped,
                       grid, labels);
    }
};

// A refused question, as the window's message box would say it. Silent refusals (tables not
// loaded) cannot happen here: a command stops when a table fails to load.
int Refused(const Refusal& refusal, std::ostream& err) {
    ReportMessage(err, refusal.caption, refusal.text);
    return kExitInput;
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

// Filters and sort after a question, then the rows as shown, then the export file.
int FinishMainList(MainList& list, const QueryOptions& o, std::ostream& out, std::ostream& err) {
    FilterBoxes boxes = o.only;
    boxes.timeClass = o.timeClass;
    list.Fill(boxes);
    if (o.sortColumn) {
        SortBy(list.labels, *o.sortColumn, o.sortDescending,
               [&](int label) { HeaderClicked(list.grid, list.labels, label); });
    }
    const int shown = list.grid.ShownCount();
    WriteGrid(out, o.format, MainTitles(), list.grid, shown, {}, ResultLabelText(shown));
    if (!o.exportPath) return kExitOk;
    if (shown <= 0) {
        err << "korvel-cli: no rows to export\n";
        return kExitFailure;
    }
    // A name of blanks is a save dialog cancelled.
    if (TrimControl(*o.exportPath).empty()) return kExitOk;
    const std::optional<std::string> error =
        ExportGrid(list.grid, GridLayout::Main, shown, *o.exportPath, list.heading);
    if (!error) return kExitOk;
    // The file could not be written: a failure, not a mistake in the arguments.
    ReportMessage(err, ApplicationTitle(), ToGbk(*error));
    return kExitFailure;
}

// The transfer stations of a question: with a station to pick, picks it (the main list then
// holds both legs); without one, writes the stations' caption and rows. False when the
// station to pick is not among them.
bool PickTransfer(QueryTables q, const TransferAnswer& transfer, const QueryOptions& o,
                  std::string_view from, std::string_view to, MainList& list, std::ostream& out,
                  std::ostream& err) {
    TransferWindowModel model;
    model.Fill(transfer.data, transfer.from.TypedName, transfer.to.TypedName);
    model.onPick = [&](const TransferPick& pick) {
        TransferLegs legs =
            TransferLegsThrough(q, transfer, pick.station, pick.count1, pick.count2, from, to);
        list.results = std::move(legs.rows);
        list.transferStation = std::move(legs.station);
        list.heading = std::move(legs.heading);
    };
    if (o.via) {
        const std::string via = ToGbk(*o.via);
        for (int r = 0; r < model.StationCount(); ++r) {
            if (model.Grid().Cell(0, r) == via) {
                model.ClickRow(r);
                return true;
            }
        }
        err << "korvel-cli: " << *o.via << " is not among the " << model.StationCount()
            << " transfer stations\n";
        return false;
    }
    if (o.sortColumn) {
        SortBy(model.Labels(), *o.sortColumn, o.sortDescending,
               [&](int label) { model.HeaderClick(label); });
    }
    // CSV: the caption line, then nine cells a row.
    WriteGrid(out, o.format, PlainCaptions(model.Labels()), model.Grid(), model.StationCount(),
              {model.Caption()}, {}, false);
    return true;
}

// The transfer question between the two stations, into `list` when a station is picked.
// Returns an exit code when the command ends here.
std::optional<int> AskTransferInto(LoadedTimetable& t, const QueryOptions& o, MainList& list,
                                   std::ostream& out, std::ostream& err) {
    const std::string from = ToGbk(o.positional[0]);
    const std::string to = ToGbk(o.positional[1]);
    auto asked = AskTransfer(t.Questions(), from, to);
    if (const Refusal* refusal = std::get_if<Refusal>(&asked)) return Refused(*refusal, err);
    const TransferAnswer& transfer = std::get<TransferAnswer>(asked);
    list.kind = QueryKindValue::Direct;
    list.fromTyped = transfer.from.TypedName;
    list.toTyped = transfer.to.TypedName;
    list.heading = transfer.heading;
    list.results.clear();
    if (!PickTransfer(t.Questions(), transfer, o, from, to, list, out, err)) return kExitInput;
    return std::nullopt;
}

const std::set<std::string> kGridOptions = {"--only",   "--depart", "--class", "--sort",
                                            "--format", "--export", "--yes",   "--via"};

int Direct(const Args& args, const BlobSource& source, std::ostream& out, std::ostream& err) {
    auto o = ParseOptions("direct", args, 2, kGridOptions, 15, err);
    if (!o) return kExitUsage;
    LoadedTimetable t;
    if (!LoadForQuestions(t, source, err)) return kExitFailure;
    auto asked = AskDirect(t.Questions(), ToGbk(o->positional[0]), ToGbk(o->positional[1]));
    if (const Refusal* refusal = std::get_if<Refusal>(&asked)) return Refused(*refusal, err);
    DirectAnswer& direct = std::get<DirectAnswer>(asked);
    MainList list;
    list.kind = QueryKindValue::Direct;
    list.fromTyped = direct.from.TypedName;
    list.toTyped = direct.to.TypedName;
    list.heading = direct.heading;
    list.results = std::move(direct.rows);
    if (list.results.empty()) {
        const Question question = NoDirectTrainQuestion();
        ReportQuestion(err, question.caption, question.text, o->yes);
        if (o->yes) {
            if (std::optional<int> rc = AskTransferInto(t, *o, list, out, err)) return *rc;
        }
    }
    return FinishMainList(list, *o, out, err);
}

int Transfer(const Args& args, const BlobSource& source, std::ostream& out, std::ostream& err) {
    auto o = ParseOptions("transfer", args, 2, kGridOptions, 15, err);
    if (!o) return kExitUsage;
    if (!o->via && o->sortColumn && *o->sortColumn >= TransferWindowModel::kColumns) {
        err << "korvel-cli transfer: sort column must be 0.." << TransferWindowModel::kColumns - 1
            << " for the transfer stations\n";
        return kExitUsage;
    }
    if (!o->via && (o->exportPath || AnyBox(o->only))) {
        err << "korvel-cli transfer: --export and --only need --via\n";
        return kExitUsage;
    }
    if (!o->via && !o->timeClass.PassesAll()) {
        err << "korvel-cli transfer: --depart and --class need --via\n";
        return kExitUsage;
    }
    LoadedTimetable t;
    if (!LoadForQuestions(t, source, err)) return kExitFailure;
    MainList list;
    if (std::optional<int> rc = AskTransferInto(t, *o, list, out, err)) return *rc;
    if (!o->via) return kExitOk;
    return FinishMainList(list, *o, out, err);
}

// The train query's rows for a number as typed (UTF-8) in `list`; an exit code when it was
// refused.
std::optional<int> AskTrainInto(LoadedTimetable& t, const std::string& number, MainList& list,
                                std::ostream& err) {
    // The train-number box turns letters into capitals as they are typed.
    auto asked = AskTrain(t.Questions(), AsciiUpper(ToGbk(number)));
    if (const Refusal* refusal = std::get_if<Refusal>(&asked)) return Refused(*refusal, err);
    TrainAnswer& train = std::get<TrainAnswer>(asked);
    list.kind = QueryKindValue::Train;
    list.heading = std::move(train.heading);
    list.results = std::move(train.rows);
    return std::nullopt;
}

// The row of the train the number names among the train query's shown rows (the last whose
// number is the key), or nothing when none is shown.
std::optional<int> TrainRow(MainList& list, const std::string& number) {
    list.Fill({});
    if (list.grid.ShownCount() == 0) return std::nullopt;
    const std::string key = AsciiUpper(ToGbk(number));
    int row = 0;
    for (int r = 0; r < list.grid.ShownCount(); ++r) {
        if (list.grid.Cell(0, r) == key) row = r;
    }
    return row;
}

const std::set<std::string> kListOptions = {"--only", "--depart", "--class",
                                            "--sort", "--format", "--export"};

int Train(const Args& args, const BlobSource& source, std::ostream& out, std::ostream& err) {
    auto o = ParseOptions("train", args, 1, kListOptions, 15, err);
    if (!o) return kExitUsage;
    LoadedTimetable t;
    if (!LoadForQuestions(t, source, err)) return kExitFailure;
    MainList list;
    if (std::optional<int> rc = AskTrainInto(t, o->positional[0], list, err)) return *rc;
    return FinishMainList(list, *o, out, err);
}

int Station(const Args& args, const BlobSource& source, std::ostream& out, std::ostream& err) {
    auto o = ParseOptions("station", args, 1, kListOptions, 15, err);
    if (!o) return kExitUsage;
    LoadedTimetable t;
    if (!LoadForQuestions(t, source, err)) return kExitFailure;
    const std::string station = ToGbk(o->positional[0]);
    auto asked = AskStation(t.Questions(), station);
    if (const Refusal* refusal = std::get_if<Refusal>(&asked)) return Refused(*refusal, err);
    StationAnswer& answer = std::get<StationAnswer>(asked);
    MainList list;
    list.kind = QueryKindValue::Station;
    list.fromTyped = answer.side.TypedName;
    list.toTyped = answer.other.TypedName;
    list.stationTyped = std::string(TrimControl(station));
    list.heading = std::move(answer.heading);
    list.results = std::move(answer.rows);
    return FinishMainList(list, *o, out, err);
}

// The stop list of a section (or of the whole train), as the detail window shows it.
int WriteStops(std::optional<DetailWindowModel> model, const QueryOptions& o, std::ostream& out,
               std::ostream& err) {
    if (!model) return kExitOk;
    // CSV: the two summary lines, then eight cells a row.
    WriteGrid(out, o.format, DetailWindowModel::HeaderCaptions(), model->Stops(),
              model->StopRowCount(), {model->RouteLine(), model->SectionLine()}, {}, false);
    if (!o.exportPath) return kExitOk;
    if (auto error = ExportGrid(model->Stops(), GridLayout::Detail, model->StopRowCount(),
                                *o.exportPath, model->Heading())) {
        err << "korvel-cli: " << *error << "\n";
        return kExitFailure;
    }
    return kExitOk;
}

int Stops(const Args& args, const BlobSource& source, std::ostream& out, std::ostream& err) {
    auto o = ParseOptions("stops", args, 1, {"--board", "--count", "--format", "--export"}, 8, err);
    if (!o) return kExitUsage;
    if (o->count && !o->board) {
        err << "korvel-cli stops: --count needs --board\n";
        return kExitUsage;
    }
    LoadedTimetable t;
    if (!LoadForQuestions(t, source, err)) return kExitFailure;

    // The train as the train-number query finds it: its row, boarding at the origin.
    MainList list;
    if (std::optional<int> rc = AskTrainInto(t, o->positional[0], list, err)) return *rc;
    const std::optional<int> row = TrainRow(list, o->positional[0]);
    if (!row) {
        err << "korvel-cli stops: no train " << o->positional[0] << "\n";
        return kExitFailure;
    }
    if (!o->board) {
        list.grid.Select(*row);
        return WriteStops(OpenDetailForSelection(list.grid, list.results.size()), *o, out, err);
    }
    const std::string trainId = list.grid.Cell(0, *row);
    const std::optional<TrainSection> section =
        SectionOf(*t.typed, trainId, ToGbk(*o->board), o->count);
    if (!section) {
        err << "korvel-cli stops: " << ToUtf8(trainId) << " does not depart from " << *o->board
            << "\n";
        return kExitInput;
    }
    const DetailSection detail{t.typed->Train(section->boardStop),
                               t.typed->Station(section->boardStop), section->stopCount,
                               section->km, section->rideMinutes};
    return WriteStops(DetailWindowModel::Build(*t.typed, detail), *o, out, err);
}

int Codes(const Args& args, const BlobSource& source, std::ostream& out, std::ostream& err) {
    auto o = ParseOptions("codes", args, 1, {"--format"}, 1, err);
    if (!o) return kExitUsage;
    LoadedTimetable t;
    if (!LoadForQuestions(t, source, err)) return kExitFailure;
    // What the departure box's drop-down lists for the text typed into it.
    const ComboChangeResult change = StationBoxEdited(ToGbk(o->positional[0]), &t.tables.KMPy);
    std::vector<std::string> stations;
    if (change.action != ComboListAction::Leave) {
        for (const std::string& item : change.items) {
            if (!item.empty()) stations.push_back(item);  // the padding items are empty
        }
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
    LoadedTimetable t;
    if (!LoadForQuestions(t, source, err)) return kExitFailure;
    // The train as the train-number query finds it, as `stops` takes it.
    MainList list;
    if (std::optional<int> rc = AskTrainInto(t, number, list, err)) return *rc;
    const std::optional<int> row = TrainRow(list, number);
    if (!row) {
        err << "korvel-cli " << command << ": no train " << number << "\n";
        return kExitFailure;
    }
    return use(t.tables, list.grid.Cell(0, *row));
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
