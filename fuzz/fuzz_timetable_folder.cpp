// A whole timetable folder, damaged: the four streams of a good timetable (the embedded one,
// or the folder named by KORVEL_FUZZ_STREAMS) with cuts, flipped bits, overwritten, inserted
// and erased bytes, and beside them the good manifest, a manifest of the damaged streams,
// arbitrary manifest bytes, or none. The folder is loaded as the program loads one; what
// loads is queried (direct trains, transfer stations) and planned (journeys with changes).
// A folder whose streams differ from the good manifest beside them must be refused, and the
// undamaged folder must load.
#include <fuzzer/FuzzedDataProvider.h>
#include <stdlib.h>
#include <unistd.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "data/manifest_build.h"
#include "fuzz_timetable.h"
#include "journey/planner.h"
#include "query/queries.h"
#include "timetable/timetable_folder.h"

namespace {

namespace fs = std::filesystem;

using korvel::fuzz::Check;
using korvel::fuzz::kStreamFiles;

struct Base : korvel::fuzz::GoodStreams {
    fs::path dir;   // the good streams, written once
    fs::path work;  // the damaged folder of each run
};

const Base& TheBase() {
    static const Base base = [] {
        Base b;
        static_cast<korvel::fuzz::GoodStreams&>(b) = korvel::fuzz::ReadGoodStreams();
        char templ[] = "/tmp/korvel-fuzz-folder.XXXXXX";
        Check(mkdtemp(templ) != nullptr);
        b.dir = fs::path(templ) / "base";
        b.work = fs::path(templ) / "work";
        fs::create_directories(b.dir);
        for (std::size_t i = 0; i < 4; ++i) {
            std::ofstream(b.dir / kStreamFiles[i], std::ios::binary) << b.streams[i];
        }
        return b;
    }();
    return base;
}

// One damage to `s`, chosen by the input (it may leave the bytes as they were).
void Damage(std::string& s, FuzzedDataProvider& in) {
    const std::size_t at = in.ConsumeIntegralInRange<std::size_t>(0, s.size());
    switch (in.ConsumeIntegralInRange(0, 5)) {
        case 0:
            s.resize(at);
            break;
        case 1:
            if (at < s.size())
                s[at] = static_cast<char>(s[at] ^ (1 << in.ConsumeIntegralInRange(0, 7)));
            break;
        case 2: {
            const std::string bytes = in.ConsumeRandomLengthString(64);
            s.replace(at, std::min(bytes.size(), s.size() - at), bytes);
            break;
        }
        case 3:
            s.insert(at, in.ConsumeRandomLengthString(64));
            break;
        case 4:
            s.erase(at, in.ConsumeIntegralInRange<std::size_t>(0, 256));
            break;
        default: {
            // A line of the stream again, somewhere else: duplicate keys and stops.
            const std::size_t begin = s.rfind('\n', at);
            const std::size_t end = s.find('\n', at);
            if (begin != std::string::npos && end != std::string::npos) {
                const std::string line = s.substr(begin + 1, end - begin);
                s.insert(in.ConsumeIntegralInRange<std::size_t>(0, s.size()), line);
            }
        }
    }
}

// The good manifest with the entries of the damaged streams made anew (only those are read
// again: a big stream takes long under the sanitizers). A damaged stream that does not load
// keeps its good entry.
std::string ManifestOfDamaged(const Base& base, const std::array<std::string, 4>& streams,
                              const std::array<bool, 4>& changed) {
    korvel::data::Manifest m = *korvel::data::ParseManifest(base.manifest).manifest;
    for (std::size_t i = 0; i < 4; ++i) {
        if (!changed[i]) continue;
        korvel::MemTable table;
        korvel::TableStreamFormat format;
        try {
            korvel::LoadFromTableStream(table, streams[i], &format);
        } catch (const std::exception&) {
            continue;
        }
        m.files[i].bytes = streams[i].size();
        m.files[i].records = table.RecordCount();
        m.files[i].sha256 = korvel::data::Sha256Hex(streams[i]);
    }
    m.trains = m.files[0].records;
    m.stops = m.files[1].records;
    m.stations = m.files[3].records;
    return korvel::data::FormatManifest(m);
}

void QueryWhatLoaded(korvel::StoredTables& tables, FuzzedDataProvider& in) {
    korvel::MemTable& stops = tables.KMTrain;
    korvel::Field& station = stops.FieldByName("Station");
    const std::uint32_t n = stops.RecordCount();
    const std::string a(station.ViewAt(in.ConsumeIntegralInRange<std::uint32_t>(0, n - 1)));
    const std::string b(station.ViewAt(in.ConsumeIntegralInRange<std::uint32_t>(0, n - 1)));
    korvel::StationSide from;
    korvel::StationSide to;
    korvel::ResultList rows;
    korvel::SearchDirectTrains(tables, a, b, from, to, rows);
    for (const korvel::ResultRow& r : rows) Check(r.fromStopNo < r.toStopNo);
    korvel::TransferData transfer;
    korvel::TransferQuery(tables, a, b, from, to, transfer);

    const korvel::JourneyIndex index(tables);
    korvel::JourneyOptions o;
    o.maxTransfers = in.ConsumeIntegralInRange(0, 3);
    for (const korvel::Journey& j : korvel::FindJourneys(index, tables, a, b, o)) {
        Check(j.minutes == j.arrive - j.depart && j.minutes >= 0 && j.distance >= 0);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Base& base = TheBase();
    FuzzedDataProvider in(data, size);
    std::array<std::string, 4> streams = base.streams;
    std::array<bool, 4> changed{};
    const int damages = in.ConsumeIntegralInRange(0, 3);
    for (int d = 0; d < damages; ++d) {
        Damage(streams[in.ConsumeIntegralInRange<std::size_t>(0, 3)], in);
    }
    // Compared at the end: a second damage may undo the first (the same bit flipped twice).
    for (std::size_t i = 0; i < 4; ++i) changed[i] = streams[i] != base.streams[i];
    // 0: none, 1: the good manifest, 2: one of the damaged streams, 3: arbitrary bytes.
    const int manifestKind = in.ConsumeIntegralInRange(0, 3);

    fs::remove_all(base.work);
    fs::create_directories(base.work);
    for (std::size_t i = 0; i < 4; ++i) {
        // Unchanged streams are links to the good ones: the loaders follow a symlink to a
        // regular file, and the run writes only what it damaged.
        if (changed[i]) {
            std::ofstream(base.work / kStreamFiles[i], std::ios::binary) << streams[i];
        } else {
            fs::create_symlink(base.dir / kStreamFiles[i], base.work / kStreamFiles[i]);
        }
    }
    std::string manifest;
    if (manifestKind == 1) manifest = base.manifest;
    if (manifestKind == 2) manifest = ManifestOfDamaged(base, streams, changed);
    if (manifestKind == 3) manifest = in.ConsumeRemainingBytesAsString();
    if (manifestKind != 0) std::ofstream(base.work / "manifest.txt", std::ios::binary) << manifest;

    korvel::StoredTables tables;
    const korvel::FolderLoad load = korvel::LoadTimetableFolder(base.work.string(), tables);
    const bool anyChange = changed[0] || changed[1] || changed[2] || changed[3];
    if (manifestKind == 1 && anyChange) Check(!load.ok);
    if (!anyChange && manifestKind != 3) {
        if (!load.ok)
            std::fprintf(stderr, "the good folder was refused: %s\n", load.problems[0].c_str());
        Check(load.ok && load.verified == (manifestKind != 0));
    }
    if (!load.ok) {
        Check(!load.problems.empty());
        return 0;
    }
    QueryWhatLoaded(tables, in);
    return 0;
}
