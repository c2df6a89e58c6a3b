// Loads the sample timetable's four table streams, as the timetable builder wrote them into
// the build folder, with the indexes the start-up loaders select.
#pragma once

#include <fstream>
#include <iterator>
#include <string>
#include <utility>

#include "data/schema.h"
#include "data/table_stream.h"

namespace korvel::test {

// False when the folder is not given or a stream is missing (the build made none).
inline bool LoadSampleStreams(StoredTables& t, const std::string& dir) {
    if (dir.empty()) return false;
    const std::pair<const char*, MemTable*> tables[] = {
        {"SLIST", &t.KMList}, {"STRAIN", &t.KMTrain}, {"SM", &t.KMSM}, {"SPY", &t.KMPy}};
    for (const auto& [name, table] : tables) {
        std::ifstream in(dir + "/" + name + ".stream", std::ios::binary);
        if (!in) return false;
        const std::string bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
        TableStreamFormat format;
        LoadFromTableStream(*table, bytes, &format);
    }
    t.KMList.SetIndexName("SID");
    t.KMTrain.SetIndexName("SIDNo");
    t.KMSM.SetIndexName("SStation");
    return true;
}

}  // namespace korvel::test
