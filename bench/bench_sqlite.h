// The same timetable in an in-memory SQLite database with the indexes a careful developer
// would add, answering the direct, station and train-number queries: the yardstick the
// engine's own tables are measured against.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "bench_data.h"

struct sqlite3;
struct sqlite3_stmt;

namespace korvel::bench {

enum class SqlQuery { Direct, Station, Train };

struct SqlCase {
    SqlQuery kind = SqlQuery::Direct;
    std::string fromText, toText;                 // as typed (direct, station)
    std::vector<std::string> fromNames, toNames;  // resolved stations
    std::string trainKey;                         // train number query
};

class SqliteTimetable {
  public:
    explicit SqliteTimetable(StoredTables& tables);
    ~SqliteTimetable();
    SqliteTimetable(const SqliteTimetable&) = delete;
    SqliteTimetable& operator=(const SqliteTimetable&) = delete;

    // Runs the case and returns the train numbers of its rows in row order. Every column of
    // every row is read out, as a program showing the rows would.
    std::vector<std::string> Run(const SqlCase& c);

  private:
    sqlite3_stmt* Prepare(const std::string& sql);
    sqlite3* db_ = nullptr;
    std::vector<std::pair<std::string, sqlite3_stmt*>> cache_;
};

SqliteTimetable& SqliteFor(DataSet& data);
SqlCase MakeCase(DataSet& data, const Picks& picks, SqlQuery kind);

struct SqlCheck {
    bool equal = false;
    std::string detail;
    double engineMicros = 0;  // median of repeated runs, with the stop index
    double sqliteMicros = 0;
};
// Answers the case with the engine, compares its trains (consecutive repeats merged) with
// SQLite's, and times both the same way.
SqlCheck CompareWithEngine(DataSet& data, const SqlCase& c,
                           const std::vector<std::string>& sqliteTrains);

}  // namespace korvel::bench
