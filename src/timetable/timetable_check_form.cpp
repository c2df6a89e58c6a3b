// The table stream's text against the form the program's writer gives it. The reader itself
// is lenient, as it must be for the embedded tables: it fills a record cut short with nulls,
// drops surplus values, reads an unclosed quote to the end of the line and takes any byte for
// text. In a folder that someone may have edited each of those is damage that would load as
// other answers, so here they are refused by line and field before the reader sees the text.
#include <array>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "data/decimal.h"
#include "timetable/timetable_check.h"

namespace korvel {
namespace {

// The definitions and column line the writer gives a table, one entry a line, without the
// line break; and the fields and indexes they define.
struct Form {
    std::vector<std::string> lines;
    std::vector<FieldDef> fields;
    std::vector<IndexDef> indexes;
};

Form MakeForm(LoadTable which) {
    Form form;
    form.fields = LoadTableFields(which);
    form.indexes = LoadTableIndexes(which);
    const std::string text = WriteTableStream(form.fields, form.indexes, {});
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find("\r\n", at);
        form.lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    return form;
}

const Form& FormOf(LoadTable which) {
    static const std::array<Form, 4> forms = {
        MakeForm(LoadTable::KMPy), MakeForm(LoadTable::KMList), MakeForm(LoadTable::KMSM),
        MakeForm(LoadTable::KMTrain)};
    return forms.at(static_cast<std::size_t>(which));
}

// What a definition line of the form is about: "field ID", "index SIDNo", or nothing for the
// markers. Field definitions come right after the second line, indexes after their marker.
std::string PlaceOfFormLine(const Form& form, std::size_t index) {
    const std::size_t firstField = 2;
    const std::size_t firstIndex = firstField + form.fields.size() + 1;
    if (index >= firstField && index < firstField + form.fields.size()) {
        return "field " + form.fields[index - firstField].name;
    }
    if (index >= firstIndex && index < firstIndex + form.indexes.size()) {
        return "index " + form.indexes[index - firstIndex].indexName;
    }
    return {};
}

// The value as a message shows it: at most 40 bytes, control characters as '?'.
std::string Shown(std::string_view s) {
    std::string out(s.substr(0, 40));
    for (char& c : out) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    }
    return s.size() > 40 ? out + "..." : out;
}

bool GbkTrail(unsigned char c) {
    return (c >= 0x40 && c <= 0x7e) || (c >= 0x80 && c <= 0xfe);
}

// How a byte of a quoted value reads: text, the quote, the escape character, a control
// character, a GBK lead byte (a trail byte follows), or a byte that is never text in GBK.
enum class Byte : unsigned char { Text, Quote, Escape, Control, Lead, Bad };

const std::array<Byte, 256>& ByteClasses() {
    static const std::array<Byte, 256> classes = [] {
        std::array<Byte, 256> c{};
        for (int b = 0; b < 256; ++b) {
            c[b] = b < 0x20 || b == 0x7f    ? Byte::Control
                   : b == '"'               ? Byte::Quote
                   : b == '%'               ? Byte::Escape
                   : b < 0x80               ? Byte::Text
                   : b == 0x80 || b == 0xff ? Byte::Bad
                                            : Byte::Lead;
        }
        return c;
    }();
    return classes;
}

// An integer field's text: empty (null: the value checks refuse it where it matters) or
// digits within the field's type.
bool ValidIntegerText(std::string_view raw, const FieldDef& field) {
    if (raw.empty()) return true;
    const bool smallInt = field.type == FieldType::SmallInt;
    const std::int64_t min = smallInt ? -32768 : INT32_MIN;
    const std::int64_t max = smallInt ? 32767 : INT32_MAX;
    return raw.size() <= 11 && SignedIntegerInRange(raw, min, max).has_value();
}

class FormCheck {
  public:
    FormCheck(LoadTable which, std::string_view text)
        : form_(FormOf(which)), text_(text), base_(text.data()) {}

    void Run() {
        CheckDefinitions();
        while (at_ < text_.size()) CheckRecord(NextLine());
    }

  private:
    [[noreturn]] void Fail(const std::string& message, std::string place) const {
        throw TableCheckError::AtLine(message, line_, std::move(place));
    }

    // The next line, without its CR LF; complains of a line that is empty, holds a lone CR,
    // LF or NUL, or is cut short of its line break (after its contents were checked, by
    // `ended_` false).
    std::string_view NextLine() {
        ++line_;
        const std::size_t rest = text_.size() - at_;
        const void* lf = std::memchr(base_ + at_, '\n', rest);
        const std::size_t end = lf ? static_cast<const char*>(lf) - base_ : text_.size();
        std::string_view line = text_.substr(at_, end - at_);
        ended_ = lf != nullptr && !line.empty() && line.back() == '\r';
        if (ended_) line.remove_suffix(1);
        at_ = lf ? end + 1 : text_.size();
        if (line.empty()) Fail("an empty line or a lone line break", {});
        // The reader would take a NUL or a lone CR for a line break.
        for (const char c : {'\0', '\r'}) {
            if (const std::size_t bad = line.find(c); bad != std::string_view::npos) {
                Fail(c == '\0' ? "a NUL byte" : "a line break that is not CR LF",
                     PlaceAt(line, bad));
            }
        }
        return line;
    }

    // The field whose value holds byte `at` of a line: "field ID", "after field P4" past the
    // last, nothing in the definitions (a comma outside quotes ends a value).
    std::string PlaceAt(std::string_view line, std::size_t at) const {
        if (line_ <= form_.lines.size()) return {};
        std::size_t column = 0;
        bool quoted = false;
        for (std::size_t i = 0; i < at; ++i) {
            if (line[i] == '"') quoted = !quoted;
            if (line[i] == ',' && !quoted) ++column;
        }
        if (column < form_.fields.size()) return "field " + form_.fields[column].name;
        return "after field " + form_.fields.back().name;
    }

    std::string AfterLastField() const { return "after field " + form_.fields.back().name; }

    void LineEnded(const std::string& place) const {
        if (!ended_) {
            Fail(at_ >= text_.size() ? "the last line has no line break (the file was cut?)"
                                     : "a line break that is not CR LF",
                 place);
        }
    }

    void CheckDefinitions() {
        const std::string_view version = "\"@@FILE VERSION@@\",\"";
        for (std::size_t i = 0; i < form_.lines.size(); ++i) {
            if (at_ >= text_.size()) {
                ++line_;  // the line that is missing
                Fail("the file ends inside the table definition", {});
            }
            const std::string_view line = NextLine();
            const std::string& want = form_.lines[i];
            if (i + 1 == form_.lines.size()) {
                CheckColumnLine(line);
            } else if (i == 0) {
                // Any version: the reader reads it and goes on.
                const std::string_view value = line.substr(std::min(line.size(), version.size()));
                if (!line.starts_with(version) || value.size() < 2 || !value.ends_with('"') ||
                    value.substr(0, value.size() - 1).find('"') != std::string_view::npos) {
                    Fail("the first line is not the version line", {});
                }
            } else if (line != want) {
                Fail("the table definition is not the program's: \"" + Shown(line) +
                         "\" where it has \"" + Shown(want) + "\"",
                     PlaceOfFormLine(form_, i));
            }
            LineEnded(PlaceOfFormLine(form_, i));
        }
    }

    // The column line names every field of the definition in its order, and nothing else.
    void CheckColumnLine(std::string_view line) {
        std::size_t at = 0;
        for (const FieldDef& f : form_.fields) {
            std::string_view value;
            if (!TakeValue(line, at, f, value)) {
                Fail("the column line lacks field '" + f.label + "' of the table definition",
                     "field " + f.name);
            }
            if (value != f.label) {
                Fail("the column line names '" + Shown(value) +
                         "' where the table definition has '" + f.label + "'",
                     "field " + f.name);
            }
        }
        if (at < line.size()) {
            Fail("the column line names more columns than the table definition has fields",
                 "after field " + form_.fields.back().name);
        }
    }

    // One record: a quoted value and a comma for each field, nothing after the last. Each
    // value is read once, byte by byte: its quotes, escapes, GBK pairs and characters.
    void CheckRecord(std::string_view line) {
        const std::array<Byte, 256>& classes = ByteClasses();
        const auto* const begin = reinterpret_cast<const unsigned char*>(line.data());
        const auto* const end = begin + line.size();
        const unsigned char* p = begin;
        for (std::size_t column = 0; column < form_.fields.size(); ++column) {
            const FieldDef& f = form_.fields[column];
            if (p == end) {
                Fail("the record is cut short: " + std::to_string(column) + " of " +
                         std::to_string(form_.fields.size()) + " values",
                     "field " + f.name);
            }
            if (*p != '"') Fail("a value that does not begin with a quote", "field " + f.name);
            const unsigned char* const value = ++p;
            std::size_t characters = 0;
            for (;; ++characters) {
                if (p == end) Fail("a quote that is never closed", "field " + f.name);
                const Byte b = classes[*p];
                if (b == Byte::Text) {
                    ++p;
                } else if (b == Byte::Quote) {
                    if (p + 1 == end || p[1] != '"') break;
                    p += 2;  // a doubled quote: one character
                } else if (b == Byte::Lead && p + 1 != end && GbkTrail(p[1])) {
                    p += 2;
                } else if (b == Byte::Escape && p + 1 != end && p[1] == '%') {
                    p += 2;
                } else {
                    // The writer escapes only '%' itself and the control characters, which no
                    // text of the timetable may hold.
                    Fail(b == Byte::Control  ? "a control character in the value"
                         : b == Byte::Escape ? "an escape the writer never writes"
                                             : "the value is not valid GBK",
                         "field " + f.name);
                }
            }
            if (p + 1 == end || p[1] != ',')
                Fail("a value not followed by a comma", "field " + f.name);
            const std::string_view raw(reinterpret_cast<const char*>(value),
                                       static_cast<std::size_t>(p - value));
            if (f.type != FieldType::WideString && !ValidIntegerText(raw, f)) {
                Fail("the value is no integer of its field's type: '" + Shown(raw) + "'",
                     "field " + f.name);
            }
            if (f.type == FieldType::WideString && characters > static_cast<std::size_t>(f.size)) {
                Fail("the value is longer than its field's declared size: '" + Shown(raw) + "'",
                     "field " + f.name);
            }
            p += 2;
        }
        if (p != end) {
            const std::size_t at = static_cast<std::size_t>(p - begin);
            Fail(*p == '"' ? "more values than the column line has columns"
                           : "bytes after the last value: '" + Shown(line.substr(at)) + "'",
                 AfterLastField());
        }
        if (!ended_) LineEnded(AfterLastField());
    }

    // The value at `at`: a quote, its text (doubled quotes inside), a quote and a comma; `raw`
    // is the text between the quotes as it stands. False at the end of the line; complains of
    // anything else.
    bool TakeValue(std::string_view line, std::size_t& at, const FieldDef& f,
                   std::string_view& raw) const {
        if (at >= line.size()) return false;
        if (line[at] != '"') Fail("a value that does not begin with a quote", "field " + f.name);
        std::size_t i = at + 1;
        for (;;) {
            const std::size_t quote = line.find('"', i);
            if (quote == std::string_view::npos) {
                Fail("a quote that is never closed", "field " + f.name);
            }
            if (quote + 1 < line.size() && line[quote + 1] == '"') {
                i = quote + 2;
                continue;
            }
            if (quote + 1 >= line.size() || line[quote + 1] != ',') {
                Fail("a value not followed by a comma", "field " + f.name);
            }
            raw = line.substr(at + 1, quote - at - 1);
            at = quote + 2;
            return true;
        }
    }

    const Form& form_;
    std::string_view text_;
    const char* base_;
    std::size_t at_ = 0;    // start of the next line
    std::size_t line_ = 0;  // the line being checked, from 1
    bool ended_ = false;    // it ended in CR LF
};

}  // namespace

void CheckStreamForm(LoadTable which, std::string_view text) {
    FormCheck(which, text).Run();
}

std::size_t StreamFormRecordLine(LoadTable which, std::uint32_t record) {
    return FormOf(which).lines.size() + 1 + record;
}

}  // namespace korvel
