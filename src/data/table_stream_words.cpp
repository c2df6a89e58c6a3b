// The table stream's lines and words, found and taken where they lie in the inflated text.
#include <cstring>

#include "data/table_stream_parse.h"

namespace korvel::stream_detail {
TableStreamError LongLineError(std::size_t lineNumber, std::size_t maxLineBytes) {
    return TableStreamError("Line " + std::to_string(lineNumber) +
                            " of the table stream is longer than " + std::to_string(maxLineBytes) +
                            " bytes.");
}

// Takes the next word of `line` from `pos` into `out`. A word ends at a delimiter outside
// quotes (consumed) or at the end of the line; a quote toggles quoting, and inside quotes two
// quotes stand for one. A delimiter at the very end of the line starts no further word.
// Returns false when the line has no word left.
bool NextWord(std::string_view line, std::size_t& pos, const TableStreamFormat& f,
              std::string& out) {
    out.clear();
    if (pos >= line.size()) return false;
    bool quoted = false;
    while (pos < line.size()) {
        const char c = line[pos];
        if (c == f.quote) {
            if (quoted && pos + 1 < line.size() && line[pos + 1] == f.quote) {
                out.push_back(c);
                pos += 2;
            } else {
                quoted = !quoted;
                ++pos;
            }
            continue;
        }
        if (!quoted && (c == f.fieldDelimiter || c == f.recordDelimiter)) {
            ++pos;
            return true;
        }
        // Copy the run of ordinary bytes at once.
        std::size_t run = pos + 1;
        while (run < line.size() && line[run] != f.quote &&
               (quoted || (line[run] != f.fieldDelimiter && line[run] != f.recordDelimiter))) {
            ++run;
        }
        out.append(line.data() + pos, run - pos);
        pos = run;
    }
    return true;
}

// Undoes the escapes in place: %0 NUL, %c CR, %n LF, %% a percent sign. A trailing escape
// character is dropped; an escape before any other byte is kept literally with that byte.
void Unescape(std::string& s, char escape) {
    if (s.find(escape) == std::string::npos) return;
    std::size_t w = 0;
    for (std::size_t r = 0; r < s.size(); ++r) {
        const char c = s[r];
        if (c != escape) {
            s[w++] = c;
            continue;
        }
        if (r + 1 >= s.size()) break;
        const char n = s[++r];
        if (n == '0') {
            s[w++] = '\0';
        } else if (n == 'c') {
            s[w++] = '\r';
        } else if (n == 'n') {
            s[w++] = '\n';
        } else if (n == escape) {
            s[w++] = escape;
        } else {
            s[w++] = escape;
            s[w++] = n;
        }
    }
    s.resize(w);
}

std::string Format2(std::string_view pattern, std::string_view a, std::string_view b) {
    std::string out;
    std::size_t arg = 0;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == 's') {
            out.append(arg++ == 0 ? a : b);
            ++i;
        } else {
            out.push_back(pattern[i]);
        }
    }
    return out;
}

}  // namespace korvel::stream_detail
