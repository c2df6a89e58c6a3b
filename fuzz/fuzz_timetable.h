// The timetable the query and station-box fuzzers run on, loaded once per process exactly as
// the start-up loaders load it: the program's own embedded tables, or the four streams
// SPY.stream, SLIST.stream, STRAIN.stream and SM.stream of the folder named by
// KORVEL_FUZZ_STREAMS (for example the sample timetable of a build).
#pragma once

#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/loaders.h"
#include "data/manifest_build.h"
#include "data/schema.h"
#include "resources/resources.h"

namespace korvel::fuzz {

// The four streams of a timetable folder, and the embedded blob each comes from, in one order.
inline constexpr std::array<const char*, 4> kStreamFiles = {"SLIST.stream", "STRAIN.stream",
                                                            "SM.stream", "SPY.stream"};
inline constexpr std::array<const char*, 4> kStreamBlobs = {"SList", "STrain", "SM", "SPY"};

// A fuzzer's own assertion: an abort, which libFuzzer reports with the input.
inline void Check(bool ok) {
    if (!ok) std::abort();
}

// The embedded blobs, or the streams of the folder named by KORVEL_FUZZ_STREAMS.
inline BlobSource FuzzBlobSource() {
    const char* dir = std::getenv("KORVEL_FUZZ_STREAMS");
    return [dir](std::string_view name) {
        if (dir == nullptr || *dir == '\0') return ReadBlob(name);
        std::string upper(name);
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        std::ifstream in(std::string(dir) + "/" + upper + ".stream", std::ios::binary);
        if (!in) throw std::runtime_error("no stream " + upper + " in " + dir);
        return std::vector<unsigned char>(std::istreambuf_iterator<char>(in),
                                          std::istreambuf_iterator<char>());
    };
}

// The fuzzers' timetable as the four streams of a good folder, in kStreamFiles order, and the
// manifest that matches them.
struct GoodStreams {
    std::array<std::string, 4> streams;
    std::string manifest;
};
inline GoodStreams ReadGoodStreams() {
    GoodStreams g;
    const BlobSource source = FuzzBlobSource();
    for (std::size_t i = 0; i < 4; ++i) {
        const auto bytes = source(kStreamBlobs[i]);
        g.streams[i].assign(bytes.begin(), bytes.end());
    }
    g.manifest = data::FormatManifest(data::ManifestForStreams(
        "fuzz", "2019-01-01", "fuzz", {g.streams[0], g.streams[1], g.streams[2], g.streams[3]}));
    return g;
}

inline StoredTables& FuzzTimetable() {
    static StoredTables* tables = [] {
        auto* t = new StoredTables;
        const BlobSource source = FuzzBlobSource();
        const std::pair<LoadTable, MemTable*> all[] = {{LoadTable::KMPy, &t->KMPy},
                                                       {LoadTable::KMList, &t->KMList},
                                                       {LoadTable::KMSM, &t->KMSM},
                                                       {LoadTable::KMTrain, &t->KMTrain}};
        for (const auto& [which, table] : all) {
            TableStreamFormat format;
            try {
                LoadTableFromBlob(which, *table, format, source);
            } catch (const std::exception& e) {
                std::fprintf(stderr, "cannot load the embedded timetable: %s\n", e.what());
                std::abort();
            }
        }
        return t;
    }();
    return *tables;
}

// Every station name of KMPy, in table order: real names let the fuzzer reach the queries'
// deeper paths instead of stopping at "station does not exist".
inline const std::vector<std::string>& FuzzStationNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> out;
        MemTable& py = FuzzTimetable().KMPy;
        Field& station = py.FieldByName("Station");
        for (std::uint32_t r = 0; r < py.RecordCount(); ++r) out.emplace_back(station.ViewAt(r));
        return out;
    }();
    return names;
}

// Every train number of KMList, in load order.
inline const std::vector<std::string>& FuzzTrainNumbers() {
    static const std::vector<std::string> ids = [] {
        std::vector<std::string> out;
        MemTable& list = FuzzTimetable().KMList;
        Field& id = list.FieldByName("ID");
        for (std::uint32_t r = 0; r < list.RecordCount(); ++r) out.emplace_back(id.ViewAt(r));
        return out;
    }();
    return ids;
}

}  // namespace korvel::fuzz
