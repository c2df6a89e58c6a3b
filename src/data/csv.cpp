#include "data/csv.h"

#include <algorithm>

#include "data/gbk.h"

namespace korvel {

CsvText ReadCsv(std::string_view text) {
    CsvText out;
    std::size_t i = text.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    std::size_t lineStart = 0;  // where the current line begins, for columns
    int line = 1;
    const auto column = [&](std::size_t at) { return static_cast<int>(at - lineStart) + 1; };
    while (i < text.size()) {
        const std::size_t eol = std::min(text.find('\n', i), text.size());
        if (TrimControl(text.substr(i, eol - i)).empty()) {
            i = eol + 1;
            lineStart = i;
            ++line;
            continue;
        }
        CsvRecord record;
        record.line = line;
        record.columns.push_back(column(i));
        std::string value;
        bool quoted = false;
        while (true) {
            if (i == text.size() && quoted) {
                out.unterminatedLine = record.line;
                return out;
            }
            const char c = i < text.size() ? text[i] : '\n';
            if (quoted) {
                if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                    value += '"';
                    i += 2;
                    continue;
                }
                if (c == '"') {
                    quoted = false;
                } else if (c == '\n') {
                    if (!value.empty() && value.back() == '\r') value.pop_back();
                    value += c;
                    lineStart = i + 1;
                    ++line;
                } else {
                    value += c;
                }
                ++i;
                continue;
            }
            if (c == ',' || c == '\n') {
                record.values.emplace_back(TrimControl(value));
                value.clear();
                ++i;
                if (c == ',') {
                    record.columns.push_back(column(i));
                    continue;
                }
                const std::size_t end = i - 1 > lineStart && text[i - 2] == '\r' ? i - 2 : i - 1;
                record.endColumn = column(end);
                lineStart = i;
                ++line;
                break;
            }
            if (c == '"') {
                quoted = true;
            } else {
                value += c;
            }
            ++i;
        }
        out.records.push_back(std::move(record));
    }
    return out;
}

}  // namespace korvel
