// Table stream reader over arbitrary bytes: a load either succeeds or throws
// TableStreamError; a loaded table can be walked in every order, every field read and
// searched, and written out again to a stream that loads back to the same values.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "data/memtable.h"
#include "data/table_stream.h"

namespace {

using korvel::FieldType;
using korvel::MemTable;

void Check(bool ok) {
    if (!ok) std::abort();
}

// Letters, digits and '_' only, not empty.
bool PlainWord(std::string_view s) {
    if (s.empty()) return false;
    for (unsigned char c : s) {
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
              c == '_')) {
            return false;
        }
    }
    return true;
}

// Every value of every record in the current order, read through the cursor.
std::vector<std::vector<std::string>> Walk(MemTable& t) {
    std::vector<std::vector<std::string>> rows;
    const std::size_t n = t.Fields().size();
    std::vector<korvel::Field*> fields;
    for (std::size_t i = 0; i < n; ++i) {
        korvel::Field* f = t.FindField(t.Fields()[i].name);
        Check(f != nullptr);
        fields.push_back(f);
    }
    for (t.First(); !t.Eof(); t.Next()) {
        std::vector<std::string> row;
        for (korvel::Field* f : fields) {
            row.push_back(f->AsString());
            (void)f->AsInteger();
            if (f->IsNull()) Check(f->View().empty());
            Check(f->ViewAt(t.CurrentRecord()) == f->View());
        }
        rows.push_back(std::move(row));
        Check(rows.size() <= t.RecordCount());
    }
    Check(rows.size() == t.RecordCount());
    // Backwards as well.
    std::size_t back = 0;
    for (t.Last(); !t.Bof(); t.Prior()) {
        Check(++back <= t.RecordCount());
    }
    Check(back == t.RecordCount());
    return rows;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view stream(reinterpret_cast<const char*>(data), size);
    MemTable table;
    korvel::TableStreamFormat format;
    // A small cap so that the overlong-line refusal is reached with small inputs too.
    format.maxLineBytes = 2048;
    std::string error;
    try {
        korvel::LoadFromTableStream(table, stream, &format);
    } catch (const korvel::TableStreamError& e) {
        error = e.what();
    }
    // Records made only when first read: the same refusal, or the same records.
    MemTable deferred;
    korvel::TableStreamFormat deferredFormat;
    deferredFormat.maxLineBytes = format.maxLineBytes;
    std::string deferredError;
    try {
        const std::shared_ptr<const void> input(std::shared_ptr<const void>(), data);
        korvel::LoadFromTableStream(deferred, stream, &deferredFormat, nullptr, {}, input);
    } catch (const korvel::TableStreamError& e) {
        deferredError = e.what();
    }
    Check(deferredError == error);
    if (!error.empty()) return 0;

    const std::vector<std::vector<std::string>> loadOrder = Walk(table);
    Check(deferred.RecordCount() == table.RecordCount());
    Check(Walk(deferred) == loadOrder);
    for (const korvel::IndexDef& index : table.Indexes()) {
        table.SetIndexName(index.indexName);
        const auto* order = table.IndexOrder(index.indexName);
        Check(order != nullptr && order->size() == table.RecordCount());
        Walk(table);
    }
    table.SetIndexName("");

    // Locate every field on a value it holds (found, cursor on a record holding it) and on a
    // value taken from the input (either outcome, no crash).
    if (!table.Fields().empty() && !loadOrder.empty()) {
        for (std::size_t i = 0; i < table.Fields().size(); ++i) {
            const std::string& name = table.Fields()[i].name;
            const std::string& value = loadOrder.back()[i];
            if (table.Locate(name, value)) {
                Check(table.FieldByName(name).AsString() == value);
            }
            (void)table.Locate(name, stream.substr(0, stream.size() % 7));
        }
    }

    // What the writer makes of the loaded table loads back to the same values, whatever the
    // values hold. The writer serves the program's own tables, whose field and index names
    // are plain words; tables with other names or definitions take no part.
    std::vector<korvel::FieldDef> fields = table.Fields();
    if (fields.empty()) return 0;
    for (const auto& f : fields) {
        for (const auto& g : fields) {
            if (&f != &g && korvel::AsciiIEquals(f.label, g.label)) return 0;
        }
        if (!PlainWord(f.name) || !PlainWord(f.label) || !PlainWord(f.kind) || !f.mask.empty() ||
            !f.defaultExpr.empty()) {
            return 0;
        }
    }
    for (const auto& index : table.Indexes()) {
        if (!PlainWord(index.name) || !PlainWord(index.indexName)) return 0;
        for (const auto& name : index.fields) {
            if (!PlainWord(name)) return 0;
        }
    }
    const std::string written = korvel::WriteTableStream(fields, table.Indexes(), loadOrder);
    MemTable again;
    korvel::TableStreamFormat format2;
    try {
        korvel::LoadFromTableStream(again, written, &format2);
    } catch (const korvel::TableStreamError& e) {
        // The writer produced a stream its own reader refuses.
        std::fprintf(stderr, "written stream refused: %s\n", e.what());
        std::abort();
    }
    Check(again.RecordCount() == table.RecordCount());
    Check(Walk(again) == loadOrder);
    return 0;
}
