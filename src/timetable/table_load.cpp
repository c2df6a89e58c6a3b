#include "timetable/table_load.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <memory>

#include "data/blob.h"
#include "timetable/timetable_check.h"
#include "timetable/timetable_folder.h"

namespace korvel {
namespace {

// What each table is called, where it is read from and how it is left indexed, in the
// order of LoadTable.
struct TableFacts {
    std::string_view name;
    std::string_view blob;
    std::string_view index;  // "" for load order
    std::vector<FieldDef> (*fields)();
    std::vector<IndexDef> (*indexes)();
};

const TableFacts& Facts(LoadTable table) {
    static const std::array<TableFacts, 4> facts{{
        {"KMPy", "SPY", "", KMPyFields, KMPyIndexes},
        {"KMList", "SList", "SID", KMListFields, KMListIndexes},
        {"KMSM", "SM", "SStation", KMSMFields, KMSMIndexes},
        {"KMTrain", "STrain", "SIDNo", KMTrainFields, KMTrainIndexes},
    }};
    return facts.at(static_cast<std::size_t>(table));
}

}  // namespace

std::string_view LoadTableName(LoadTable table) {
    return Facts(table).name;
}

std::string_view LoadTableBlob(LoadTable table) {
    return Facts(table).blob;
}

std::string_view LoadTableIndex(LoadTable table) {
    return Facts(table).index;
}

std::vector<FieldDef> LoadTableFields(LoadTable table) {
    return Facts(table).fields();
}

std::vector<IndexDef> LoadTableIndexes(LoadTable table) {
    return Facts(table).indexes();
}

MemTable& TableOf(StoredTables& tables, LoadTable table) {
    switch (table) {
        case LoadTable::KMPy:
            return tables.KMPy;
        case LoadTable::KMList:
            return tables.KMList;
        case LoadTable::KMSM:
            return tables.KMSM;
        case LoadTable::KMTrain:
            break;
    }
    return tables.KMTrain;
}

std::string LoadTableFile(LoadTable table) {
    std::string name(LoadTableBlob(table));
    for (char& c : name) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return name + ".stream";
}

std::string NameTimetableFile(const std::string& folder, LoadTable table, std::string error) {
    if (folder.empty()) return error;
    // An error about any file of the folder (the table's, or the manifest) names it already.
    const std::string prefix = (std::filesystem::path(folder) / "").string();
    if (error.rfind(prefix, 0) == 0) return error;
    const std::string path = (std::filesystem::path(folder) / LoadTableFile(table)).string();
    if (error.find(path) != std::string::npos) return error;
    // A check of this table that found the fault in another table's file names that file.
    for (LoadTable other :
         {LoadTable::KMPy, LoadTable::KMList, LoadTable::KMSM, LoadTable::KMTrain}) {
        if (error.rfind(LoadTableFile(other) + ": ", 0) == 0) {
            return (std::filesystem::path(folder) / "").string() + error;
        }
    }
    return path + ": " + error;
}

BlobSource FolderBlobSource(const std::string& folder) {
    return FolderBlobSource(std::make_shared<const TimetableFolderSource>(folder));
}

BlobSource FolderBlobSource(std::shared_ptr<const TimetableFolderSource> source) {
    return [source = std::move(source)](std::string_view blob) {
        for (LoadTable t :
             {LoadTable::KMPy, LoadTable::KMList, LoadTable::KMSM, LoadTable::KMTrain}) {
            if (LoadTableBlob(t) == blob) return source->Read(t);
        }
        throw BlobError("no timetable file for blob " + std::string(blob));
    };
}

namespace {

// The schema's fields are there: the queries look them up by name, and a stream without
// them would make every later query throw.
void CheckSchemaFields(LoadTable which, MemTable& table) {
    for (const FieldDef& f : LoadTableFields(which)) {
        if (table.FindField(f.name) == nullptr) {
            throw TableStreamError("The table stream has no field '" + f.name + "'");
        }
    }
}

// "line N, field F: why", with the file first when the fault is in another table's ("SM.stream:
// line 5, field Station: why").
std::string Located(LoadTable which, const TableCheckError& e) {
    std::string where;
    std::size_t line = 0;
    if (e.Line()) {
        line = *e.Line();
    } else if (e.Record()) {
        // The checks run on streams of the writer's form, one record a line from a line
        // known by the table's definition alone.
        const LoadTable table = e.Table().value_or(which);
        if (table != which) where = LoadTableFile(table) + ": ";
        line = StreamFormRecordLine(table, *e.Record());
    }
    if (line != 0) where += "line " + std::to_string(line) + (e.Place().empty() ? ": " : ", ");
    if (!e.Place().empty()) where += e.Place() + ": ";
    return where + e.what();
}

void RunChecks(LoadTable which, MemTable& table, const TableStreamFormat& format,
               const TableChecks& checks) {
    try {
        if (checks.strict) {
            // Only a builder that counted the groups says there are none: a folder without
            // a manifest is older than timetables without same-city groups.
            const bool emptyAllowed =
                which == LoadTable::KMSM && checks.records && *checks.records == 0;
            CheckLoadedTable(which, table, format, emptyAllowed);
            if (which == LoadTable::KMTrain && checks.otherTable) {
                if (MemTable* list = checks.otherTable(LoadTable::KMList)) {
                    CheckStopsInTrainList(table, *list);
                }
                if (MemTable* pinyin = checks.otherTable(LoadTable::KMPy)) {
                    CheckStationsAcrossTables(table, *pinyin, checks.otherTable(LoadTable::KMSM));
                }
            }
        }
    } catch (const TableCheckError& e) {
        throw TableStreamError(Located(which, e));
    }
    if (checks.records && *checks.records != table.RecordCount()) {
        throw TableStreamError(std::to_string(table.RecordCount()) +
                               " records, the manifest says " + std::to_string(*checks.records));
    }
}

}  // namespace

std::uint32_t LoadTableFromBlob(LoadTable which, MemTable& table, TableStreamFormat& format,
                                const BlobSource& source, TableStreamHelper* helper,
                                const TableChecks* checks, RecordObservers observers,
                                bool deferRecords) {
    const bool strict = checks != nullptr && checks->strict;
    {
        // The inflated text is freed as soon as the table holds its records (and has passed
        // the checks, whose messages name its lines), or else once it has made them.
        const auto bytes = std::make_shared<const BlobBytes>(source(LoadTableBlob(which)));
        const std::string_view text(reinterpret_cast<const char*>(bytes->data()), bytes->size());
        if (strict) {
            // Before the reader, which would take much of what this refuses without a word.
            try {
                CheckStreamForm(which, text);
            } catch (const TableCheckError& e) {
                throw TableStreamError(Located(which, e));
            }
        }
        LoadFromTableStream(table, text, &format, helper, observers,
                            deferRecords && !strict ? bytes : nullptr);
        CheckSchemaFields(which, table);
        if (checks != nullptr) RunChecks(which, table, format, *checks);
    }
    // The queries walk the table in its index's order; without it they would answer in the
    // wrong order, so it counts as a failed load. The definitions tell: records still to be
    // made stay so.
    const std::string_view index = LoadTableIndex(which);
    if (!index.empty()) {
        const std::vector<IndexDef>& defined = table.Indexes();
        if (std::none_of(defined.begin(), defined.end(),
                         [&](const IndexDef& d) { return AsciiIEquals(d.indexName, index); })) {
            throw TableStreamError("The table stream has no index '" + std::string(index) + "'");
        }
        table.SetIndexName(index);
    }
    table.First();
    return table.RecordCount();
}

void LoadTimetableFromBlobs(StoredTables& tables, const BlobSource& source, bool strict) {
    TableStreamFormat format;
    TableChecks checks;
    checks.strict = strict;
    checks.otherTable = [&tables](LoadTable t) { return &TableOf(tables, t); };
    LoadTableFromBlob(LoadTable::KMPy, tables.KMPy, format, source, nullptr, &checks);
    LoadTableFromBlob(LoadTable::KMList, tables.KMList, format, source, nullptr, &checks);
    LoadTableFromBlob(LoadTable::KMSM, tables.KMSM, format, source, nullptr, &checks);
    LoadTableFromBlob(LoadTable::KMTrain, tables.KMTrain, format, source, nullptr, &checks);
}

}  // namespace korvel
