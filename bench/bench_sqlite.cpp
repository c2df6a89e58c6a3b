#include "bench_sqlite.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <stdexcept>

#include "query/queries.h"

namespace korvel::bench {

namespace {

void Exec(sqlite3* db, const char* sql) {
    char* err = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &err) != SQLITE_OK) {
        std::string msg = err ? err : "sqlite error";
        sqlite3_free(err);
        throw std::runtime_error(msg + " in " + sql);
    }
}

std::string Lower(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return s;
}

// Copies a memory table into a new SQL table of the same fields.
void CopyTable(sqlite3* db, MemTable& table, const std::string& name) {
    const std::vector<FieldDef>& fields = table.Fields();
    std::string create = "CREATE TABLE " + name + "(";
    std::string insert = "INSERT INTO " + name + " VALUES(";
    for (std::size_t i = 0; i < fields.size(); ++i) {
        create += (i ? "," : "") + Lower(fields[i].name) +
                  (fields[i].type == FieldType::WideString ? " TEXT" : " INTEGER");
        insert += i ? ",?" : "?";
    }
    Exec(db, (create + ")").c_str());
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, (insert + ")").c_str(), -1, &st, nullptr);
    std::vector<Field*> cols;
    for (const FieldDef& f : fields) cols.push_back(table.FindField(f.name));
    for (std::uint32_t r = 0; r < table.RecordCount(); ++r) {
        for (std::size_t i = 0; i < cols.size(); ++i) {
            const int p = static_cast<int>(i) + 1;
            if (fields[i].type == FieldType::WideString) {
                const std::string_view v = cols[i]->ViewAt(r);
                sqlite3_bind_text(st, p, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
            } else if (cols[i]->ViewAt(r).empty()) {
                sqlite3_bind_null(st, p);
            } else {
                sqlite3_bind_int(st, p, cols[i]->IntegerAt(r));
            }
        }
        sqlite3_step(st);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
}

std::string Placeholders(std::size_t n, int first) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i) {
        s += (i ? ",?" : "?") + std::to_string(first + static_cast<int>(i));
    }
    return s;
}

std::vector<std::string> MergeRepeats(std::vector<std::string> v) {
    v.erase(std::unique(v.begin(), v.end()), v.end());
    return v;
}

std::vector<std::string> EngineTrains(DataSet& d, const SqlCase& c) {
    StationSide fs;
    StationSide ts;
    ResultList out;
    switch (c.kind) {
        case SqlQuery::Direct:
            SearchDirectTrains(d.tables, c.fromText, c.toText, fs, ts, out, d.index.get());
            break;
        case SqlQuery::Station:
            QueryStationTimetable(d.tables, c.fromText, fs, ts, out, d.index.get());
            break;
        case SqlQuery::Train:
            QueryByTrainNumber(d.tables, c.trainKey, out, d.index.get());
            break;
    }
    std::vector<std::string> ids;
    for (const ResultRow& r : out) ids.push_back(out.timetable->Number(r.train));
    return ids;
}

template <typename F>
double MedianMicros(F&& f) {
    std::vector<double> runs;
    const auto start = std::chrono::steady_clock::now();
    while (runs.size() < 5 || (runs.size() < 201 && std::chrono::steady_clock::now() - start <
                                                        std::chrono::milliseconds(300))) {
        const auto t0 = std::chrono::steady_clock::now();
        f();
        runs.push_back(
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0)
                .count());
    }
    std::nth_element(runs.begin(), runs.begin() + runs.size() / 2, runs.end());
    return runs[runs.size() / 2];
}

}  // namespace

SqliteTimetable::SqliteTimetable(StoredTables& tables) {
    if (sqlite3_open(":memory:", &db_) != SQLITE_OK) throw std::runtime_error("sqlite3_open");
    Exec(db_, "BEGIN");
    CopyTable(db_, tables.KMTrain, "stops");
    CopyTable(db_, tables.KMList, "trains");
    Exec(db_, "COMMIT");
    Exec(db_, "CREATE INDEX stops_station ON stops(station)");
    Exec(db_, "CREATE INDEX stops_id_sno ON stops(id, s_no)");
    Exec(db_, "CREATE INDEX trains_id ON trains(id)");
    Exec(db_, "ANALYZE");
}

SqliteTimetable::~SqliteTimetable() {
    for (auto& [sql, st] : cache_) sqlite3_finalize(st);
    sqlite3_close(db_);
}

sqlite3_stmt* SqliteTimetable::Prepare(const std::string& sql) {
    for (auto& [text, st] : cache_) {
        if (text == sql) return st;
    }
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
        throw std::runtime_error(std::string(sqlite3_errmsg(db_)) + " in " + sql);
    }
    cache_.emplace_back(sql, st);
    return st;
}

std::vector<std::string> SqliteTimetable::Run(const SqlCase& c) {
    std::string sql;
    std::vector<std::string> binds;
    const std::size_t nf = c.fromNames.size();
    const std::size_t nt = c.toNames.size();
    switch (c.kind) {
        case SqlQuery::Direct:
            // Per train: the first departure-side stop, then the last arrival-side stop after it.
            sql = "WITH f AS (SELECT id, MIN(s_no) AS s FROM stops WHERE station IN (" +
                  Placeholders(nf, 1) +
                  ") GROUP BY id), "
                  "g AS (SELECT f.id, f.s, (SELECT MAX(c.s_no) FROM stops c WHERE c.id = f.id "
                  "AND c.s_no > f.s AND c.station IN (" +
                  Placeholders(nt, static_cast<int>(nf) + 1) +
                  ")) AS e FROM f) "
                  "SELECT t.*, a.*, b.* FROM g JOIN stops a ON a.id = g.id AND a.s_no = g.s "
                  "JOIN stops b ON b.id = g.id AND b.s_no = g.e JOIN trains t ON t.id = g.id "
                  "ORDER BY g.id";
            binds = c.fromNames;
            binds.insert(binds.end(), c.toNames.begin(), c.toNames.end());
            break;
        case SqlQuery::Station:
            sql = "SELECT t.*, s.* FROM stops s JOIN trains t ON t.id = s.id WHERE s.station IN (" +
                  Placeholders(nf, 1) + ") ORDER BY s.id, s.s_no";
            binds = c.fromNames;
            break;
        case SqlQuery::Train:
            sql =
                "SELECT t.*, (SELECT MAX(s_no) FROM stops s WHERE s.id = t.id) FROM trains t "
                "WHERE t.id = ?1 OR (t.id >= ?2 AND t.id < ?3) ORDER BY t.id";
            binds = {c.trainKey, c.trainKey + "/", c.trainKey + "0"};
            break;
    }
    sqlite3_stmt* st = Prepare(sql);
    for (std::size_t i = 0; i < binds.size(); ++i) {
        sqlite3_bind_text(st, static_cast<int>(i) + 1, binds[i].data(),
                          static_cast<int>(binds[i].size()), SQLITE_STATIC);
    }
    std::vector<std::string> ids;
    std::vector<std::string> row;
    while (sqlite3_step(st) == SQLITE_ROW) {
        const int n = sqlite3_column_count(st);
        row.resize(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i) {
            const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
            row[static_cast<std::size_t>(i)].assign(
                p ? p : "", static_cast<std::size_t>(sqlite3_column_bytes(st, i)));
        }
        ids.push_back(row[0]);
    }
    sqlite3_reset(st);
    return ids;
}

SqliteTimetable& SqliteFor(DataSet& data) {
    static std::map<const DataSet*, std::unique_ptr<SqliteTimetable>> dbs;
    auto& slot = dbs[&data];
    if (!slot) slot = std::make_unique<SqliteTimetable>(data.tables);
    return *slot;
}

SqlCase MakeCase(DataSet& data, const Picks& picks, SqlQuery kind) {
    SqlCase c;
    c.kind = kind;
    StationSide fs;
    StationSide ts;
    ResultList out;
    auto names = [](const auto& side) {
        return side.Members.empty() ? std::vector<std::string>{side.TypedName} : side.Members;
    };
    switch (kind) {
        case SqlQuery::Direct:
            c.fromText = picks.beijing;
            c.toText = picks.shanghai;
            SearchDirectTrains(data.tables, c.fromText, c.toText, fs, ts, out, data.index.get());
            c.fromNames = names(fs);
            c.toNames = names(ts);
            break;
        case SqlQuery::Station:
            c.fromText = picks.beijing;
            QueryStationTimetable(data.tables, c.fromText, fs, ts, out, data.index.get());
            c.fromNames = names(fs);
            break;
        case SqlQuery::Train:
            c.trainKey = picks.singleTrain;
            break;
    }
    return c;
}

SqlCheck CompareWithEngine(DataSet& data, const SqlCase& c,
                           const std::vector<std::string>& sqliteTrains) {
    SqlCheck check;
    const std::vector<std::string> engine = MergeRepeats(EngineTrains(data, c));
    const std::vector<std::string> sql = MergeRepeats(sqliteTrains);
    check.equal = engine == sql;
    if (!check.equal) {
        check.detail = "engine " + std::to_string(engine.size()) + " trains, SQLite " +
                       std::to_string(sql.size());
    }
    check.engineMicros = MedianMicros([&] { EngineTrains(data, c); });
    SqliteTimetable& db = SqliteFor(data);
    check.sqliteMicros = MedianMicros([&] { db.Run(c); });
    return check;
}

}  // namespace korvel::bench
