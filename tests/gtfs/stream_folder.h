// The four table streams of a folder (as korvel-ttbuild writes them) read into a timetable,
// for the GTFS tests that compare what a feed gives with what the streams held.
#pragma once

#include <fstream>
#include <iterator>
#include <string>

#include "data/schema.h"
#include "data/table_stream.h"

namespace korvel::gtfs {

// False when `dir` is empty or a stream is missing.
inline bool LoadStreams(const std::string& dir, StoredTables& t) {
    const char* names[] = {"SLIST", "STRAIN", "SM", "SPY"};
    MemTable* tables[] = {&t.KMList, &t.KMTrain, &t.KMSM, &t.KMPy};
    for (int i = 0; i < 4; ++i) {
        std::ifstream in(dir + "/" + names[i] + ".stream", std::ios::binary);
        if (dir.empty() || !in) return false;
        const std::string bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
        TableStreamFormat format;
        LoadFromTableStream(*tables[i], bytes, &format);
    }
    return true;
}

}  // namespace korvel::gtfs
