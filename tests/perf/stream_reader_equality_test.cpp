// The table stream reader parses values where they lie in the stream and only assembles the
// unusual ones. Here it is compared with a plain character-by-character reading of the
// documented rules over many generated streams full of those unusual values: doubled
// quotes, partly quoted words, escapes, missing and surplus values, runs of line breaks.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "data/table_stream.h"

namespace korvel {
namespace {

// One expected value: text for text fields, integer (or null) for integer fields.
struct Expected {
    std::string text;
    std::optional<std::int32_t> integer;
};

std::vector<std::string> PlainLines(const std::string& s) {
    std::vector<std::string> lines;
    std::string cur;
    for (char c : s) {
        if (c == '\r' || c == '\n' || c == '\0') {
            if (!cur.empty()) lines.push_back(cur);
            cur.clear();
        } else {
            cur.push_back(c);
        }
    }
    if (!cur.empty()) lines.push_back(cur);
    return lines;
}

// Words of a line: a quote toggles quoting, two quotes inside quotes are one, a comma
// outside quotes ends a word, a comma at the very end starts no further word.
std::vector<std::string> PlainWords(const std::string& line) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < line.size()) {
        std::string w;
        bool quoted = false;
        while (i < line.size()) {
            const char c = line[i];
            if (c == '"') {
                if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
                    w.push_back('"');
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
            } else if (c == ',' && !quoted) {
                ++i;
                break;
            } else {
                w.push_back(c);
                ++i;
            }
        }
        words.push_back(w);
    }
    return words;
}

std::string PlainUnescape(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '%') {
            out.push_back(s[i]);
            continue;
        }
        if (i + 1 >= s.size()) break;
        const char n = s[++i];
        if (n == '0') {
            out.push_back('\0');
        } else if (n == 'c') {
            out.push_back('\r');
        } else if (n == 'n') {
            out.push_back('\n');
        } else if (n == '%') {
            out.push_back('%');
        } else {
            out.push_back('%');
            out.push_back(n);
        }
    }
    return out;
}

struct Rng {
    std::uint32_t s;
    std::uint32_t Next(std::uint32_t n) {
        s = s * 1664525u + 1013904223u;
        return (s >> 8) % n;
    }
};

// A word as a writer never writes it but a reader must take.
std::string RandomWord(Rng& r, bool integer) {
    static const char* kPieces[] = {"\"", "\"\"", "a",  "\xB1\xB1", "%", "%%", "%n",
                                    "%0", "%c",   "%x", "7",        "-", "12", "\xCB\xBC\xF8\xB3",
                                    " "};
    std::string w;
    if (integer && r.Next(3) != 0) {
        // Mostly valid numbers, quoted or not.
        const std::string n = std::to_string(static_cast<int>(r.Next(200000)) - 100000);
        return r.Next(2) ? "\"" + n + "\"" : n;
    }
    // Now and then a word long enough to take a line past the masked reading's limit.
    if (r.Next(40) == 0) w.assign(200 + r.Next(100), 'w');
    const std::uint32_t parts = r.Next(6);
    for (std::uint32_t i = 0; i < parts; ++i) w += kPieces[r.Next(std::size(kPieces))];
    if (r.Next(2)) w = "\"" + w + "\"";
    return w;
}

TEST(StreamReaderEquality, InPlaceParseEqualsAPlainReading) {
    std::vector<FieldDef> fields(4);
    fields[0].name = fields[0].label = "A";
    fields[1].name = fields[1].label = "B";
    fields[1].type = FieldType::Integer;
    fields[2].name = fields[2].label = "C";
    fields[3].name = fields[3].label = "D";
    const std::string head = WriteTableStream(fields, {}, {});
    // Header columns: A, an unknown column, B, C, D, and D again (the last value wins).
    const std::string header = "\"A\",\"Skip\",\"B\",\"C\",\"D\",\"D\",\r\n";
    const std::size_t headEnd = head.rfind("\r\n", head.size() - 3) + 2;
    const std::string defs = head.substr(0, headEnd);

    Rng rng{20261208u};
    std::size_t compared = 0, assembled = 0;
    for (int round = 0; round < 2000; ++round) {
        std::string body;
        const std::uint32_t lines = 1 + rng.Next(12);
        for (std::uint32_t l = 0; l < lines; ++l) {
            const std::uint32_t words = rng.Next(9);
            for (std::uint32_t w = 0; w < words; ++w) {
                body += RandomWord(rng, w == 2);
                if (w + 1 < words || rng.Next(4) != 0) body += ",";
            }
            static const char* kBreaks[] = {"\r\n", "\n", "\r", "\r\n\r\n", "\n\r\r"};
            if (l + 1 < lines || rng.Next(2)) {
                body += rng.Next(5) == 0 ? std::string("\0\n", 2) : kBreaks[rng.Next(5)];
            }
        }
        const std::string stream = defs + header + body;

        // The plain reading, or the error it must end in.
        std::vector<std::vector<Expected>> rows;
        std::string error;
        for (const std::string& line : PlainLines(body)) {
            if (line.empty()) continue;
            std::vector<Expected> row(4);
            const std::vector<std::string> words = PlainWords(line);
            const int target[] = {0, -1, 1, 2, 3, 3};
            for (std::size_t w = 0; w < words.size() && w < 6; ++w) {
                const int col = target[w];
                if (col < 0) continue;
                if (words[w] != PlainUnescape(words[w]) ||
                    words[w].find('"') != std::string::npos) {
                    ++assembled;
                }
                if (col != 1) {
                    row[col].text = PlainUnescape(words[w]);
                } else if (!words[w].empty()) {
                    std::size_t used = 0;
                    long long v = 0;
                    bool ok = words[w].find_first_not_of("+-0123456789") == std::string::npos;
                    try {
                        v = ok ? std::stoll(words[w], &used) : 0;
                    } catch (...) {
                        ok = false;
                    }
                    ok = ok && used == words[w].size() && v >= INT32_MIN && v <= INT32_MAX;
                    if (!ok) {
                        error = "'" + words[w] + "' is not a valid integer value for field 'B'";
                        break;
                    }
                    row[col].integer = static_cast<std::int32_t>(v);
                }
            }
            if (!error.empty()) break;
            rows.push_back(row);
        }

        MemTable t;
        TableStreamFormat f;
        std::string got;
        try {
            LoadFromTableStream(t, stream, &f);
        } catch (const TableStreamError& e) {
            got = e.what();
        }
        ASSERT_EQ(got, error) << "round " << round;
        if (!error.empty()) continue;
        ASSERT_EQ(t.RecordCount(), rows.size()) << "round " << round;
        Field& a = t.FieldByName("A");
        Field& b = t.FieldByName("B");
        Field& c = t.FieldByName("C");
        Field& d = t.FieldByName("D");
        for (std::uint32_t r = 0; r < rows.size(); ++r) {
            EXPECT_EQ(a.ViewAt(r), rows[r][0].text) << "round " << round << " row " << r;
            EXPECT_EQ(c.ViewAt(r), rows[r][2].text) << "round " << round << " row " << r;
            EXPECT_EQ(d.ViewAt(r), rows[r][3].text) << "round " << round << " row " << r;
            EXPECT_EQ(b.IntegerAt(r), rows[r][1].integer.value_or(0)) << "round " << round;
            EXPECT_EQ(b.ViewAt(r).empty(), !rows[r][1].integer.has_value()) << "round " << round;
            ++compared;
        }
    }
    // The generator must reach both the in-place and the assembled values.
    EXPECT_GT(compared, 1000u);
    EXPECT_GT(assembled, 1000u);
}

}  // namespace
}  // namespace korvel
