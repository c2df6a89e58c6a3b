#include "cli/cmd_query_common.h"

#include <algorithm>
#include <cstdio>
#include <ostream>

#include "data/csv.h"
#include "views/text_grid.h"

namespace korvel::cli {

namespace {

// A caption may start with a blank (" 打印提示"); it is not worth printing.
std::string ShownCaption(const std::string& caption) {
    const std::string head = ToUtf8(caption);
    return head.substr(std::min(head.find_first_not_of(' '), head.size()));
}

}  // namespace

bool LoadForQuestions(LoadedTimetable& t, const BlobSource& source, std::ostream& err) {
    const TimetableLoad load = LoadTimetable(t.tables, t.flags, source);
    for (const LoadEvent& e : load.events) {
        if (!e.ok) err << "korvel-cli: " << ToUtf8(LoadFailureText(e)) << "\n";
    }
    if (!load.ok) return false;
    t.typed = load.timetable ? load.timetable : std::make_shared<const Timetable>(t.tables);
    t.index = std::make_unique<StopIndex>(t.typed);
    return true;
}

void ReportMessage(std::ostream& err, const std::string& caption, const std::string& text) {
    err << "korvel-cli: " << ShownCaption(caption) << ": " << ToUtf8(text) << "\n";
}

void ReportQuestion(std::ostream& err, const std::string& caption, const std::string& text,
                    bool yes) {
    err << ShownCaption(caption) << ": " << ToUtf8(text) << " -> " << (yes ? "Yes" : "No") << "\n";
}

std::optional<OutputFormat> ParseOutputFormat(std::string_view text) {
    if (text == "table") return OutputFormat::Table;
    if (text == "csv") return OutputFormat::Csv;
    if (text == "json") return OutputFormat::Json;
    return std::nullopt;
}

std::optional<OptionWord> OptionReader::Next() {
    if (next_ >= args_.size()) return std::nullopt;
    OptionWord word{args_[next_++]};
    if (word.text.size() < 2 || word.text.compare(0, 2, "--") != 0) return word;
    word.option = true;
    if (const std::size_t eq = word.text.find('='); eq != std::string::npos) {
        word.value = word.text.substr(eq + 1);
        word.text.resize(eq);
    }
    return word;
}

std::optional<std::string> OptionReader::ValueOf(const OptionWord& word) {
    if (word.value) return word.value;
    if (next_ >= args_.size()) return std::nullopt;
    return args_[next_++];
}

std::string JsonString(std::string_view utf8) {
    std::string out = "\"";
    for (char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += ch;
                }
        }
    }
    out += '"';
    return out;
}

namespace {

// Table columns: GBK bytes are display columns (one per ASCII byte, two per Chinese
// character), so padding is counted in bytes before the text is converted.
void WriteTableLine(std::ostream& out, const std::vector<std::string>& cells,
                    const std::vector<std::size_t>& widths) {
    std::string line;
    for (std::size_t c = 0; c < cells.size(); ++c) {
        if (c > 0) line += "  ";
        line += cells[c];
        if (c + 1 < cells.size())
            line.append(widths[c] - std::min(widths[c], cells[c].size()), ' ');
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out << ToUtf8(line) << "\n";
}

}  // namespace

void WriteGrid(std::ostream& out, OutputFormat format, const std::vector<std::string>& titles,
               const TextGrid& grid, int rowCount, const std::vector<std::string>& extra,
               const std::string& footer, bool csvTitles) {
    const int columns = static_cast<int>(titles.size());
    auto rowCells = [&](int r) {
        std::vector<std::string> cells;
        for (int c = 0; c < columns; ++c) cells.push_back(grid.Cell(c, r));
        return cells;
    };
    switch (format) {
        case OutputFormat::Table: {
            for (const std::string& line : extra) out << ToUtf8(line) << "\n";
            std::vector<std::size_t> widths(columns);
            for (int c = 0; c < columns; ++c) {
                widths[c] = titles[c].size();
                for (int r = 0; r < rowCount; ++r)
                    widths[c] = std::max(widths[c], grid.Cell(c, r).size());
            }
            WriteTableLine(out, titles, widths);
            for (int r = 0; r < rowCount; ++r) WriteTableLine(out, rowCells(r), widths);
            if (!footer.empty()) out << ToUtf8(footer) << "\n";
            break;
        }
        case OutputFormat::Csv: {
            for (const std::string& line : extra) out << ToUtf8(line) << "\n";
            auto csvLine = [&](const std::vector<std::string>& cells) {
                std::string line;
                for (std::size_t c = 0; c < cells.size(); ++c) {
                    if (c > 0) line += ',';
                    line += CsvField(ToUtf8(cells[c]));
                }
                out << line << "\n";
            };
            if (csvTitles) csvLine(titles);
            for (int r = 0; r < rowCount; ++r) csvLine(rowCells(r));
            break;
        }
        case OutputFormat::Json: {
            auto array = [&](const std::vector<std::string>& cells) {
                std::string s = "[";
                for (std::size_t c = 0; c < cells.size(); ++c) {
                    if (c > 0) s += ", ";
                    s += JsonString(ToUtf8(cells[c]));
                }
                return s + "]";
            };
            out << "{\n";
            if (!extra.empty()) out << "  \"lines\": " << array(extra) << ",\n";
            out << "  \"columns\": " << array(titles) << ",\n";
            out << "  \"count\": " << rowCount << ",\n";
            out << "  \"rows\": [";
            for (int r = 0; r < rowCount; ++r) {
                out << (r == 0 ? "\n    " : ",\n    ") << array(rowCells(r));
            }
            out << (rowCount > 0 ? "\n  ]\n" : "]\n") << "}\n";
            break;
        }
    }
}

}  // namespace korvel::cli
