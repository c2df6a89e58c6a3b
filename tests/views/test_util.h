// Small builders shared by the view tests.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "data/memtable.h"
#include "data/schema.h"
#include "query/grid_result.h"

namespace korvel::test {

// GBK literals used across the tests.
inline const std::string kBeijing = "\xB1\xB1\xBE\xA9";                     // 北京
inline const std::string kBeijingXi = "\xB1\xB1\xBE\xA9\xCE\xF7";           // 北京西
inline const std::string kShanghai = "\xC9\xCF\xBA\xA3";                    // 上海
inline const std::string kShanghaiHq = "\xC9\xCF\xBA\xA3\xBA\xE7\xC7\xC5";  // 上海虹桥
inline const std::string kXian = "\xCE\xF7\xB0\xB2";                        // 西安
inline const std::string kNanjing = "\xC4\xCF\xBE\xA9";                     // 南京
inline const std::string kUserArea = "\xF8\xB3\xB4\xE5";  // user-defined area + 村

inline ResultRow Row(std::string trainNo, std::string start, std::string end, std::string from,
                     std::string to, int stops = 1, int km = 100, std::string span = "01:00",
                     std::string fare1 = "10") {
    ResultRow r;
    r.TrainNo = std::move(trainNo);
    r.StartStation = std::move(start);
    r.EndStation = std::move(end);
    r.FromStation = std::move(from);
    r.ToStation = std::move(to);
    r.StopCount = stops;
    r.SpanKm = km;
    r.SpanTime = std::move(span);
    r.Fare1 = std::move(fare1);
    return r;
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

}  // namespace korvel::test
