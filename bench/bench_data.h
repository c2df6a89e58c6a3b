// The timetables the benchmarks measure: the program's own four table streams (or those in
// a folder named by --streams=DIR / KORVEL_BENCH_STREAMS) at their own size and ten times
// that size, compressed the way the program embeds them, loaded once and indexed.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/loaders.h"
#include "data/schema.h"
#include "query/stop_index.h"
#include "scale/scale.h"

namespace korvel::bench {

struct DataSet {
    int times = 1;
    TimetableStreams streams;                         // SPY, SLIST, STRAIN, SM
    std::array<std::vector<unsigned char>, 4> blobs;  // as korvel-blobpack packs them
    StoredTables tables;                              // loaded, indexes selected
    std::shared_ptr<const Timetable> typed;           // built from `tables`
    std::unique_ptr<StopIndex> index;                 // over `typed`

    // Compressed blob by loader name ("SPY", "SList", "STrain", "SM"; any case).
    const std::vector<unsigned char>& Blob(std::string_view name) const;
    // A BlobSource inflating this data set's blobs.
    BlobSource Source() const;
    // This data set's blobs as they are stored.
    CompressedBlobSource Compressed() const;
};

// Where the streams come from ("" for the embedded blobs); set once from main().
void SetStreamsDir(std::string dir);
const std::string& StreamsDir();

// The data set at 1x or 10x, built on first use.
DataSet& Data(int times);

// Texts of the benchmarks' stations (GBK), chosen from the data set.
struct Picks {
    std::string beijing, shanghai, guangzhou, wuhan, urumqi;
    std::string plainFrom, plainTo;  // two stations in no same-city group with a direct train
    std::string smallStation;        // a station with few stops
    std::string singleTrain;         // a train number with exactly one train
    std::string prefixKey;           // a first number shared by several trains ("K1" of "K1/K4")
    std::string longTrain;           // a train of about 50 stops, and its first station
    std::string longTrainFirst;
};
const Picks& PicksFor(DataSet& data);

}  // namespace korvel::bench
