// Table stream writer: the exact text the reader takes back, for the timetable builder and
// the tests (every word quoted and followed by a comma, lines ending in CR LF).
#include <string>
#include <string_view>
#include <vector>

#include "data/table_stream.h"

namespace korvel {
namespace {

void AppendQuoted(std::string& out, std::string_view text) {
    out.push_back('"');
    for (char c : text) {
        if (c == '"') out.push_back('"');
        out.push_back(c);
    }
    out.push_back('"');
}

const char* TypeName(FieldType type) {
    switch (type) {
        case FieldType::SmallInt:
            return "SmallInt";
        case FieldType::Integer:
            return "Integer";
        case FieldType::WideString:
            break;
    }
    return "WideString";
}

}  // namespace

void AppendTableStreamValue(std::string& out, std::string_view text) {
    out.push_back('"');
    for (char c : text) {
        switch (c) {
            case '"':
                out.append("\"\"");
                break;
            case '%':
                out.append("%%");
                break;
            case '\r':
                out.append("%c");
                break;
            case '\n':
                out.append("%n");
                break;
            case '\0':
                out.append("%0");
                break;
            default:
                out.push_back(c);
        }
    }
    out.push_back('"');
}

std::string WriteTableStream(const std::vector<FieldDef>& fields,
                             const std::vector<IndexDef>& indexes,
                             const std::vector<std::vector<std::string>>& rows) {
    std::string out;
    std::size_t estimate = 512;
    for (const auto& row : rows) {
        for (const auto& v : row) estimate += v.size() + 3;
        estimate += 2;
    }
    out.reserve(estimate);
    out.append("\"@@FILE VERSION@@\",\"251\"\r\n");
    out.append("\"@@TABLEDEF START@@\"\r\n");
    for (const FieldDef& fd : fields) {
        std::string def = fd.name + "=" + TypeName(fd.type) + "," + std::to_string(fd.size) + ",";
        AppendQuoted(def, fd.label);
        def.push_back(',');
        AppendQuoted(def, fd.mask);
        def += "," + std::to_string(fd.width) + "," + fd.kind + ",";
        AppendQuoted(def, fd.defaultExpr);
        AppendQuoted(out, def);
        out.append("\r\n");
    }
    out.append("\"@@INDEXDEF START@@\"\r\n");
    for (const IndexDef& id : indexes) {
        std::string names;
        for (std::size_t i = 0; i < id.fields.size(); ++i) {
            if (i) names.push_back(';');
            names += id.fields[i];
        }
        std::string def = id.name + "=";
        AppendQuoted(def, names);
        def.push_back(',');
        AppendQuoted(def, id.indexName.empty() ? id.name : id.indexName);
        if (id.unique) def += ",UNIQ";
        if (id.descending) def += ",DESC";
        if (id.caseInsensitive) def += ",CASE";
        if (id.notMaintained) def += ",NONMT";
        AppendQuoted(out, def);
        out.append("\r\n");
    }
    out.append("\"@@INDEXDEF END@@\"\r\n");
    out.append("\"@@TABLEDEF END@@\"\r\n");
    for (const FieldDef& fd : fields) {
        AppendQuoted(out, fd.label);
        out.push_back(',');
    }
    out.append("\r\n");
    for (const auto& row : rows) {
        for (std::size_t i = 0; i < fields.size(); ++i) {
            AppendTableStreamValue(out,
                                   i < row.size() ? std::string_view(row[i]) : std::string_view());
            out.push_back(',');
        }
        out.append("\r\n");
    }
    return out;
}

}  // namespace korvel
