// Small builders shared by the view tests.
#pragma once

#include <algorithm>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/memtable.h"
#include "data/run_time.h"
#include "data/schema.h"
#include "query/grid_result.h"
#include "views/detail_window.h"

namespace korvel::test {

// GBK literals used across the tests.
inline const std::string kBeijing = "\xB1\xB1\xBE\xA9";                     // 北京
inline const std::string kBeijingXi = "\xB1\xB1\xBE\xA9\xCE\xF7";           // 北京西
inline const std::string kShanghai = "\xC9\xCF\xBA\xA3";                    // 上海
inline const std::string kShanghaiHq = "\xC9\xCF\xBA\xA3\xBA\xE7\xC7\xC5";  // 上海虹桥
inline const std::string kXian = "\xCE\xF7\xB0\xB2";                        // 西安
inline const std::string kNanjing = "\xC4\xCF\xBE\xA9";                     // 南京
inline const std::string kUserArea = "\xF8\xB3\xB4\xE5";  // user-defined area + 村

// A result row as the view tests describe it: texts for what the typed timetable names, the
// rest as the shown values.
struct RowSpec {
    std::string trainNo, start, end, from, to;
    int stops = 1;
    int km = 100;
    std::string span;   // ride time "H:MM" (minutes, as a run time reads)
    std::string fare1;  // hard seat in yuan; empty for none
    std::string depart = "08:00";
    std::string arrive;
};

inline RowSpec Row(std::string trainNo, std::string start, std::string end, std::string from,
                   std::string to, int stops = 1, int km = 100, std::string span = "01:00",
                   std::string fare1 = "10") {
    return RowSpec{std::move(trainNo),
                   std::move(start),
                   std::move(end),
                   std::move(from),
                   std::move(to),
                   stops,
                   km,
                   std::move(span),
                   std::move(fare1)};
}

// The rows over a small timetable made for them: one train per train number (rows of the same
// number must agree), stopping at its origin, the row's boarding and alighting stations and
// its terminus.
inline ResultList Rows(const std::vector<RowSpec>& specs) {
    StoredTables tables;
    tables.KMList.Define(KMListFields(), KMListIndexes());
    tables.KMTrain.Define(KMTrainFields(), KMTrainIndexes());
    std::vector<std::string> seen;
    for (const RowSpec& r : specs) {
        if (std::find(seen.begin(), seen.end(), r.trainNo) != seen.end()) continue;
        seen.push_back(r.trainNo);
        MemTable& l = tables.KMList;
        l.Append();
        l.SetText(0, r.trainNo);
        l.SetInteger(1, 4);
        l.SetText(2, r.start);
        l.SetText(3, r.end);
        l.SetText(4, "07:00");
        l.SetText(5, "23:00");
        l.SetText(6, "16:0");
        l.SetInteger(7, 1000);
        l.Post();
        const std::string stations[4] = {r.start, r.from, r.to, r.end};
        for (int i = 0; i < 4; ++i) {
            MemTable& k = tables.KMTrain;
            k.Append();
            k.SetText(0, r.trainNo);
            k.SetText(1, stations[i]);
            k.SetInteger(2, i + 1);
            k.SetText(3, i == 2 ? r.arrive : std::string());
            k.SetText(4, i == 1 ? r.depart : std::string(i == 3 ? "" : "07:00"));
            k.Post();
        }
    }
    for (MemTable* m : {&tables.KMList, &tables.KMTrain}) m->BuildIndexes();
    tables.KMList.SetIndexName("SID");
    tables.KMTrain.SetIndexName("SIDNo");
    ResultList out;
    auto tt = std::make_shared<const Timetable>(tables);
    for (const RowSpec& spec : specs) {
        ResultRow& r = out.rows.emplace_back();
        r.train = tt->FindTrain(spec.trainNo);
        r.listRow = tt->ListRow(r.train);
        r.fromStop = StopId(tt->FirstStop(r.train).Value() + 1);
        r.toStop = StopId(tt->FirstStop(r.train).Value() + 2);
        r.fromStation = tt->Station(r.fromStop);
        r.toStation = tt->Station(r.toStop);
        r.departure = tt->Departures().Minutes(r.fromStop.Value());
        r.fromStopNo = 1;
        r.toStopNo = 1 + spec.stops;
        r.toKm = spec.km;
        r.rideMinutes = RunTimeMinutes(spec.span);
        if (const std::optional<double> yuan = DecimalNumber(spec.fare1)) {
            r.fares[0].count = 1;
            r.fares[0].tenths[0] = static_cast<std::int64_t>(*yuan * 10 + 0.5);
        }
    }
    out.timetable = std::move(tt);
    return out;
}

// One stop of KMTrain: ID, Station, S_No, A_Time, D_Time, R_Date, Distance.
struct Stop {
    std::string id, station;
    int no;
    std::string arrive, depart, runTime;
    int distance;
};

inline void BuildKMTrain(MemTable& t, const std::vector<Stop>& stops) {
    t.Define(KMTrainFields(), KMTrainIndexes());
    auto col = [&](const char* name) {
        const auto& f = t.Fields();
        for (std::size_t i = 0; i < f.size(); ++i) {
            if (AsciiIEquals(f[i].name, name)) return i;
        }
        return static_cast<std::size_t>(-1);
    };
    for (const Stop& s : stops) {
        t.Append();
        t.SetText(col("ID"), s.id);
        t.SetText(col("Station"), s.station);
        t.SetInteger(col("S_No"), s.no);
        t.SetText(col("A_Time"), s.arrive);
        t.SetText(col("D_Time"), s.depart);
        t.SetText(col("R_Date"), s.runTime);
        t.SetInteger(col("Distance"), s.distance);
        t.Post();
    }
    t.BuildIndexes();
    t.SetIndexName("SIDNo");
}

// A stretch of a train for the detail window, named as the tests name them: the train by
// number and the boarding station by name (an unknown one is no train or station).
inline DetailSection Section(const Timetable& tt, std::string_view train, std::string_view boarding,
                             int stops, int km = 0, int minutes = 0) {
    return DetailSection{tt.FindTrain(train), tt.FindStation(boarding), stops, km, minutes};
}

// The typed timetable of a stops table alone (the table is lent to it and given back).
inline Timetable TypedStops(MemTable& KMTrain) {
    StoredTables tables;
    tables.KMTrain = std::move(KMTrain);
    Timetable tt(tables);
    KMTrain = std::move(tables.KMTrain);
    return tt;
}

}  // namespace korvel::test
