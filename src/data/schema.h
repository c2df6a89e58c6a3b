// The four timetable tables: their field and index definitions, and the train-type names.
#pragma once

#include <string>
#include <vector>

#include "data/memtable.h"

namespace korvel {

// Trains, one row per train (current index SID).
std::vector<FieldDef> KMListFields();
std::vector<IndexDef> KMListIndexes();
// Train stops, one row per stop (current index SIDNo).
std::vector<FieldDef> KMTrainFields();
std::vector<IndexDef> KMTrainIndexes();
// Same-city station groups (current index SStation).
std::vector<FieldDef> KMSMFields();
std::vector<IndexDef> KMSMIndexes();
// Station pinyin short codes (load order).
std::vector<FieldDef> KMPyFields();
std::vector<IndexDef> KMPyIndexes();

// Display name (GBK bytes) of train type 1..14; empty text for any other code.
std::string TrainTypeName(int code);

struct StoredTables {
    MemTable KMList;
    MemTable KMTrain;
    MemTable KMSM;
    MemTable KMPy;
};

}  // namespace korvel
