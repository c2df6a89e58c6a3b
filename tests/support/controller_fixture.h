// A small timetable for the controller tests, written as table streams and handed to the
// start-up loaders as blobs, so every test runs the real loaders and the real queries.
//
//   G1     北京南 08:00 - 济南 - 徐州 - 南京 - 上海虹桥 12:48
//   T109   北京 19:33 - 济南 - 上海 10:29
//   K51    天津 06:10 - 济南 - 徐州 13:00
//   K7     北京西 07:00 - 北京 - 天津 09:00
//   D5     上海 07:00 - 南京 - 北京西 13:00        (the opposite direction)
//   Z98/Z95 北京西 20:00 - 西宁 - 拉萨 20:00
// Same-city groups: 北京, 北京西, 北京南, 北京北 (1); 上海, 上海虹桥 (2).
#pragma once

#include <algorithm>
#include <cctype>
#include <deque>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/loaders.h"
#include "data/gbk.h"
#include "data/schema.h"
#include "data/table_stream.h"
#include "support/gbk_text.h"

namespace korvel::testing {

using test::G;

using Rows = std::vector<std::vector<std::string>>;

inline std::map<std::string, std::string> FixtureStreams() {
    const Rows py = {{G("北京"), "BJ"},    {G("宝鸡"), "BJ"},       {G("北京西"), "BJX"},
                     {G("北京南"), "BJN"}, {G("北京北"), "BJB"},    {G("天津"), "TJ"},
                     {G("济南"), "JN"},    {G("徐州"), "XZ"},       {G("南京"), "NJ"},
                     {G("上海"), "SH"},    {G("上海虹桥"), "SHHQ"}, {G("西宁"), "XN"},
                     {G("拉萨"), "LS"}};
    // ID, NType, StartStation, endStation, A_Time, D_Time, R_Date, Distance, P1..P4
    const Rows list = {
        {"D5", "1", G("上海"), G("北京西"), "07:00", "13:00", "6:0", "1450", "", "", "", ""},
        {"G1", "2", G("北京南"), G("上海虹桥"), "08:00", "12:48", "4:48", "1318", "553", "933", "-",
         "-"},
        {"K51", "7", G("天津"), G("徐州"), "06:10", "13:00", "6:50", "700", "", "", "", ""},
        {"K7", "7", G("北京西"), G("天津"), "07:00", "09:00", "2:0", "137", "", "", "", ""},
        {"T109", "12", G("北京"), G("上海"), "19:33", "10:29", "14:56", "1463", "178", "-",
         "304/314/325", "478/502"},
        {"Z98/Z95", "4", G("北京西"), G("拉萨"), "20:00", "20:00", "24:0", "3950", "", "", "", ""},
    };
    // ID, Station, S_No, A_Time, D_Time, R_Date, Distance, P1..P4
    const Rows train = {
        {"D5", G("上海"), "1", "", "07:00", "0", "0", "", "", "", ""},
        {"D5", G("南京"), "2", "08:30", "08:32", "1:30", "301", "", "", "", ""},
        {"D5", G("北京西"), "3", "13:00", "", "6:0", "1450", "", "", "", ""},
        {"G1", G("北京南"), "1", "", "08:00", "0", "0", "", "", "", ""},
        {"G1", G("济南"), "2", "09:32", "09:34", "1:32", "406", "", "", "", ""},
        {"G1", G("徐州"), "3", "10:40", "10:42", "2:40", "692", "", "", "", ""},
        {"G1", G("南京"), "4", "11:40", "11:42", "3:40", "1023", "", "", "", ""},
        {"G1", G("上海虹桥"), "5", "12:48", "", "4:48", "1318", "", "", "", ""},
        {"K51", G("天津"), "1", "", "06:10", "0", "0", "", "", "", ""},
        {"K51", G("济南"), "2", "10:02", "10:10", "3:52", "357", "", "", "", ""},
        {"K51", G("徐州"), "3", "13:00", "", "6:50", "700", "", "", "", ""},
        {"K7", G("北京西"), "1", "", "07:00", "0", "0", "", "", "", ""},
        {"K7", G("北京"), "2", "07:30", "07:40", "30", "12", "", "", "", ""},
        {"K7", G("天津"), "3", "09:00", "", "2:0", "137", "", "", "", ""},
        {"T109", G("北京"), "1", "", "19:33", "0", "0", "", "", "", ""},
        {"T109", G("济南"), "2", "23:10", "23:18", "3:37", "495", "", "", "", ""},
        {"T109", G("上海"), "3", "10:29", "", "14:56", "1463", "", "", "", ""},
        {"Z98/Z95", G("北京西"), "1", "", "20:00", "0", "0", "", "", "", ""},
        {"Z98/Z95", G("西宁"), "2", "10:00", "10:20", "14:0", "2000", "", "", "", ""},
        {"Z98/Z95", G("拉萨"), "3", "20:00", "", "24:0", "3950", "", "", "", ""},
    };
    const Rows sm = {{G("北京"), "1"},   {G("北京西"), "1"}, {G("北京南"), "1"},
                     {G("北京北"), "1"}, {G("上海"), "2"},   {G("上海虹桥"), "2"}};
    return {
        {"SPY", WriteTableStream(KMPyFields(), KMPyIndexes(), py)},
        {"SLIST", WriteTableStream(KMListFields(), KMListIndexes(), list)},
        {"STRAIN", WriteTableStream(KMTrainFields(), KMTrainIndexes(), train)},
        {"SM", WriteTableStream(KMSMFields(), KMSMIndexes(), sm)},
    };
}

inline std::string UpperName(std::string_view name) {
    std::string s(name);
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// Blobs from a name -> stream map (names compared without regard to case); the names in
// `failing` throw as a damaged blob would.
inline BlobSource StreamSource(std::map<std::string, std::string> streams,
                               std::set<std::string> failing = {}) {
    return [streams = std::move(streams), failing = std::move(failing)](std::string_view name) {
        const std::string key = UpperName(name);
        if (failing.count(key)) throw std::runtime_error("damaged blob " + key);
        auto it = streams.find(key);
        if (it == streams.end()) throw std::runtime_error("no blob " + key);
        return std::vector<unsigned char>(it->second.begin(), it->second.end());
    };
}

// The sample timetable's streams, when the build has them.
inline std::map<std::string, std::string> SampleStreams() {
    std::map<std::string, std::string> streams;
    for (const char* name : {"SPY", "SLIST", "STRAIN", "SM"}) {
        std::ifstream in(std::string(KORVEL_SAMPLE_STREAMS) + "/" + name + ".stream",
                         std::ios::binary);
        if (!in) return {};
        streams[name] =
            std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    return streams;
}

}  // namespace korvel::testing
