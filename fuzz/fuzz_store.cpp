// The store of installed timetables, damaged on disk: each of its files (choice.txt,
// sequence.txt, catalogue.txt, and of two installed timetables the manifest, the four streams
// and package.txt) is the good one, missing, a FIFO, a folder, a link to /dev/zero, a 2 GiB
// sparse file, bytes from the input, or a damaged stream with a manifest made to match it.
// The start-up's choice over it must never hang or abort; the timetable it settles on must
// load whole and match its manifest; the untouched store starts the timetable chosen in it.
#include <fuzzer/FuzzedDataProvider.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "data/manifest_build.h"
#include "fuzz_timetable.h"
#include "timetable/timetable_folder.h"
#include "update/store.h"

namespace {

namespace fs = std::filesystem;

using korvel::fuzz::Check;
using korvel::fuzz::kStreamFiles;

struct Base : korvel::fuzz::GoodStreams {
    fs::path root;  // the store of each run
};

const Base& TheBase() {
    static const Base base = [] {
        Base b;
        static_cast<korvel::fuzz::GoodStreams&>(b) = korvel::fuzz::ReadGoodStreams();
        char templ[] = "/tmp/korvel-fuzz-store.XXXXXX";
        Check(mkdtemp(templ) != nullptr);
        b.root = fs::path(templ) / "store";
        return b;
    }();
    return base;
}

enum class Kind { Good, Missing, Fifo, Folder, DevZero, Sparse, Bytes, Last = Bytes };

void Write(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// `path` as `kind` says; `good` is what an intact store holds there.
void Place(const fs::path& path, Kind kind, const std::string& good, FuzzedDataProvider& in) {
    switch (kind) {
        case Kind::Good:
            Write(path, good);
            break;
        case Kind::Missing:
            break;
        case Kind::Fifo:
            Check(::mkfifo(path.c_str(), 0600) == 0);
            break;
        case Kind::Folder:
            fs::create_directory(path);
            break;
        case Kind::DevZero:
            fs::create_symlink("/dev/zero", path);
            break;
        case Kind::Sparse:
            Write(path, "");
            fs::resize_file(path, std::uintmax_t{2} << 30);
            break;
        case Kind::Bytes:
            Write(path, in.ConsumeRandomLengthString(256));
            break;
    }
}

// An installed timetable NAME, each file as the input says. With `matching`, one stream is
// cut short or has bytes of the input put in, and the manifest is made anew from the streams
// so that only the table checks can refuse it (when the cut stream still parses).
bool Installed(const Base& base, const std::string& name, int sequence, FuzzedDataProvider& in) {
    const fs::path folder = base.root / name;
    fs::create_directories(folder);
    std::array<std::string, 4> streams = base.streams;
    std::string manifest = base.manifest;
    bool intact = true;
    if (in.ConsumeIntegralInRange(0, 3) == 3) {
        std::string& s = streams[in.ConsumeIntegralInRange<std::size_t>(0, 3)];
        const std::size_t at = in.ConsumeIntegralInRange<std::size_t>(0, s.size());
        if (in.ConsumeBool()) {
            s.resize(at);
        } else {
            s.insert(at, in.ConsumeRandomLengthString(64));
        }
        intact = streams == base.streams;
        try {
            manifest = korvel::data::FormatManifest(korvel::data::ManifestForStreams(
                name, "2019-01-01", "fuzz", {streams[0], streams[1], streams[2], streams[3]}));
        } catch (const std::exception&) {
            // A stream that does not parse keeps the good manifest, which it then fails.
        }
    }
    const auto kind = [&] {
        // Mostly intact files, so that the damage of one file is what decides.
        const int k = in.ConsumeIntegralInRange(0, 2 * static_cast<int>(Kind::Last));
        return k > static_cast<int>(Kind::Last) ? Kind::Good : static_cast<Kind>(k);
    };
    for (std::size_t i = 0; i < 4; ++i) {
        const Kind k = kind();
        intact = intact && k == Kind::Good;
        Place(folder / kStreamFiles[i], k, streams[i], in);
    }
    const Kind m = kind();
    intact = intact && m == Kind::Good;
    Place(folder / "manifest.txt", m, manifest, in);
    const Kind p = kind();
    intact = intact && p == Kind::Good;
    Place(folder / "package.txt", p,
          "name " + name + "\nsequence " + std::to_string(sequence) + "\n", in);
    return intact;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Base& base = TheBase();
    FuzzedDataProvider in(data, size);
    fs::remove_all(base.root);
    fs::create_directories(base.root);
    const auto kind = [&] { return static_cast<Kind>(in.ConsumeIntegralInRange(0, 6)); };
    const Kind choice = kind();
    Place(base.root / "choice.txt", choice, "use tt-2\nprevious tt-1\n", in);
    Place(base.root / "sequence.txt", kind(), "2\n", in);
    Place(base.root / "catalogue.txt", kind(), "published 2019-07-01T00:00:00Z\n", in);
    const bool intact1 = Installed(base, "tt-1", 1, in);
    const bool intact2 = Installed(base, "tt-2", 2, in);

    const korvel::update::Store store(base.root.string());
    const korvel::update::StartupTimetable start = store.ChooseStartup();
    store.List();
    store.HighestSequence();
    store.NewestCatalogueTime();
    Check(start.note.empty() == start.why.empty());
    if (choice == Kind::Good) {
        // The chosen one when it is intact, else the previous one when that is intact; any
        // other start says why.
        if (intact2) Check(start.name == "tt-2");
        if (start.name != "tt-2" && intact1) Check(start.name == "tt-1");
        Check((start.name == "tt-2") == start.note.empty());
    }
    if (choice == Kind::Missing) Check(start.name.empty() && start.note.empty());
    if (!start.folder.empty()) {
        korvel::StoredTables tables;
        const korvel::FolderLoad load = korvel::LoadTimetableFolder(start.folder, tables);
        Check(load.ok && load.verified);
    }
    return 0;
}
