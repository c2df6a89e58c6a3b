// korvel-cli dump TABLE [--index NAME]: one timetable table as UTF-8 CSV. The first line
// holds the field names, then one line per record in the index's order (load order when no
// index is named).
#include <ostream>
#include <string>

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

}  // namespace

int RunDumpWith(const Args& args, const BlobSource& source, std::ostream& out, std::ostream& err) {
    std::string tableName, indexName;
    bool haveTable = false, haveIndex = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--index") {
            if (i + 1 >= args.size()) {
                err << "korvel-cli: --index needs an index name\n";
                return kExitUsage;
            }
            indexName = args[++i];
            haveIndex = true;
        } else if (!haveTable && !args[i].starts_with("--")) {
            tableName = args[i];
            haveTable = true;
        } else {
            err << "korvel-cli: unexpected argument '" << args[i] << "'\n";
            return kExitUsage;
        }
    }
    if (!haveTable) {
        err << "korvel-cli: dump needs a table: KMList, KMTrain, KMSM or KMPy\n";
        return kExitUsage;
    }
    LoadTable which;
    if (!TableByName(tableName, which)) {
        err << "korvel-cli: unknown table '" << tableName
            << "' (tables: KMList, KMTrain, KMSM, KMPy)\n";
        return kExitUsage;
    }

    MemTable table;
    TableStreamFormat format;
    const std::string& folder = source ? std::string() : TimetableFolder();
    BlobSource read = source;
    if (!read && !folder.empty()) read = FolderBlobSource(folder);
    if (!read) read = [](std::string_view n) { return ReadBlob(n); };
    try {
        LoadTableFromBlob(which, table, format, read);
    } catch (const std::exception& e) {
        // A damaged file of a timetable folder is named like a missing one.
        const std::string why = NameTimetableFile(folder, which, e.what());
        err << "korvel-cli: cannot load " << LoadTableName(which) << ": " << why << "\n";
        return kExitFailure;
    }

    if (haveIndex) {
        if (indexName.empty() || table.IndexOrder(indexName) == nullptr) {
            err << "korvel-cli: table " << LoadTableName(which) << " has no index '" << indexName
                << "' (indexes:";
            for (const IndexDef& d : table.Indexes()) err << " " << d.indexName;
            err << ")\n";
            return kExitUsage;
        }
        table.SetIndexName(indexName);
    } else {
        table.SetIndexName("");
    }

    std::vector<Field*> fields;
    std::string text;
    for (const FieldDef& def : table.Fields()) {
        if (!fields.empty()) text += ',';
        text += CsvField(ToUtf8(def.name));
        fields.push_back(&table.FieldByName(def.name));
    }
    text += '\n';
    for (table.First(); !table.Eof(); table.Next()) {
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (i > 0) text += ',';
            text += CsvField(ToUtf8(fields[i]->AsString()));
        }
        text += '\n';
        if (text.size() > (1u << 16)) {
            out << text;
            text.clear();
        }
    }
    out << text;
    out.flush();
    return out ? kExitOk : kExitFailure;
}

int RunDump(const Args& args, std::ostream& out, std::ostream& err) {
    return RunDumpWith(args, {}, out, err);
}

}  // namespace korvel::cli
