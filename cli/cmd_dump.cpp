// korvel-cli dump TABLE [--index NAME]: one stored timetable table as UTF-8 CSV, field by field
// as the stream holds it. The first line holds the field names, then one line per record in
// the index's order (load order when no index is named).
#include <cstdint>
#include <numeric>
#include <optional>
#include <ostream>
#include <string>
#include <variant>
#include <vector>

#include "cli/commands.h"
#include "data/csv.h"
#include "data/memtable.h"
#include "resources/resources.h"

namespace korvel::cli {
namespace {

bool TableByName(std::string_view name, LoadTable& table) {
    for (LoadTable t : {LoadTable::KMList, LoadTable::KMTrain, LoadTable::KMSM, LoadTable::KMPy}) {
        if (AsciiIEquals(LoadTableName(t), name)) {
            table = t;
            return true;
        }
    }
    return false;
}

struct DumpArgs {
    LoadTable table = LoadTable::KMList;
    std::optional<std::string> index;
};

// The table and index named on the command line, or what is wrong with the arguments.
std::variant<DumpArgs, std::string> ParseDumpArgs(const Args& args) {
    DumpArgs d;
    std::optional<std::string> tableName;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--index") {
            if (i + 1 >= args.size()) return std::string("--index needs an index name");
            if (d.index) return std::string("--index given twice");
            d.index = args[++i];
        } else if (!tableName && !args[i].starts_with("--")) {
            tableName = args[i];
        } else {
            return "unexpected argument '" + args[i] + "'";
        }
    }
    if (!tableName) return std::string("dump needs a table: KMList, KMTrain, KMSM or KMPy");
    if (!TableByName(*tableName, d.table)) {
        return "unknown table '" + *tableName + "' (tables: KMList, KMTrain, KMSM, KMPy)";
    }
    return d;
}

// The records in the named index's order (load positions), or all of them in load order
// without a name; nothing, with the indexes there are written to `err`, for a name the table
// has no index of.
std::optional<std::vector<std::uint32_t>> RecordOrder(const MemTable& table, LoadTable which,
                                                      const std::optional<std::string>& index,
                                                      std::ostream& err) {
    if (!index) {
        std::vector<std::uint32_t> all(table.RecordCount());
        std::iota(all.begin(), all.end(), 0u);
        return all;
    }
    const std::vector<std::uint32_t>* order = index->empty() ? nullptr : table.IndexOrder(*index);
    if (order == nullptr) {
        err << "korvel-cli: table " << LoadTableName(which) << " has no index '" << *index
            << "' (indexes:";
        for (const IndexDef& d : table.Indexes()) err << " " << d.indexName;
        err << ")\n";
        return std::nullopt;
    }
    return *order;
}

// The field names, then the records in `order`, as UTF-8 CSV.
void WriteTableCsv(const MemTable& table, const std::vector<std::uint32_t>& order,
                   std::ostream& out) {
    std::vector<const Field*> fields;
    std::string text;
    for (const FieldDef& def : table.Fields()) {
        if (!fields.empty()) text += ',';
        text += CsvField(ToUtf8(def.name));
        fields.push_back(table.FindField(def.name));
    }
    text += '\n';
    for (std::uint32_t record : order) {
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (i > 0) text += ',';
            text += CsvField(ToUtf8(fields[i]->ViewAt(record)));
        }
        text += '\n';
        if (text.size() > (1u << 16)) {
            out << text;
            text.clear();
        }
    }
    out << text;
}

}  // namespace

int RunDumpWith(const Args& args, const BlobSource& source, std::ostream& out, std::ostream& err) {
    const auto parsed = ParseDumpArgs(args);
    if (const auto* why = std::get_if<std::string>(&parsed)) {
        err << "korvel-cli: " << *why << "\n";
        return kExitUsage;
    }
    const DumpArgs& d = std::get<DumpArgs>(parsed);

    MemTable table;
    TableStreamFormat format;
    const std::string& folder = source ? std::string() : TimetableFolder();
    BlobSource read = source;
    if (!read && !folder.empty()) read = FolderBlobSource(folder);
    if (!read) read = [](std::string_view n) { return ReadBlob(n); };
    try {
        LoadTableFromBlob(d.table, table, format, read);
    } catch (const std::exception& e) {
        // A damaged file of a timetable folder is named like a missing one.
        const std::string why = NameTimetableFile(folder, d.table, e.what());
        err << "korvel-cli: cannot load " << LoadTableName(d.table) << ": " << why << "\n";
        return kExitFailure;
    }
    const std::optional<std::vector<std::uint32_t>> order =
        RecordOrder(table, d.table, d.index, err);
    if (!order) return kExitUsage;
    WriteTableCsv(table, *order, out);
    out.flush();
    return out ? kExitOk : kExitFailure;
}

int RunDump(const Args& args, std::ostream& out, std::ostream& err) {
    return RunDumpWith(args, {}, out, err);
}

}  // namespace korvel::cli
