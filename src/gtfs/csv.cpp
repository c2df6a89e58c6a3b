#include "gtfs/csv.h"

#include <algorithm>

#include "data/csv.h"
#include "data/decimal.h"

namespace korvel::gtfs {
void AddRow(std::string& text, const std::vector<std::string>& values) {
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i) text += ',';
        text += CsvField(values[i]);
    }
    text += "\r\n";
}

std::optional<int> ParseInt(std::string_view text) {
    std::int32_t v = 0;
    if (!ParseDecimal(TrimBlanks(text), -999999999, 999999999, v)) return std::nullopt;
    return v;
}

std::vector<std::string> SplitCsvLine(const std::string& line, bool* complete) {
    std::vector<std::string> values(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                values.back() += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                values.back() += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            values.emplace_back();
        } else {
            values.back() += c;
        }
    }
    if (complete) *complete = !quoted;
    return values;
}

int CsvTable::Column(const std::string& name, bool required) const {
    const auto it = std::find(header.begin(), header.end(), name);
    if (it == header.end()) {
        if (required) throw GtfsError(file + ": no column " + name);
        return -1;
    }
    return static_cast<int>(it - header.begin());
}

CsvTable ReadCsvTable(const GtfsFeed& feed, const std::string& file, bool required) {
    CsvTable t;
    t.file = file;
    const auto it = feed.find(file);
    if (it == feed.end()) {
        if (required) throw GtfsError(file + ": missing");
        return t;
    }
    std::string_view text = it->second;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    std::string pending;
    int lineNo = 0, startLine = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string line(text.substr(start, end - start));
        start = end + 1;
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (pending.empty()) {
            if (line.empty()) continue;
            startLine = lineNo;
            pending = line;
        } else {
            pending += "\n" + line;  // a quoted value spans lines
        }
        bool complete = true;
        auto values = SplitCsvLine(pending, &complete);
        if (!complete) continue;
        pending.clear();
        for (auto& v : values) v = std::string(TrimBlanks(v));
        if (t.header.empty()) {
            t.header = std::move(values);
        } else {
            t.rows.emplace_back(startLine, std::move(values));
        }
    }
    if (!pending.empty()) {
        throw GtfsError(file + ":" + std::to_string(startLine) + ": unterminated quoted value");
    }
    return t;
}

}  // namespace korvel::gtfs
