// korvel-load-rss [DIR]: loads the four timetable tables as the program starts (both loader
// threads) and prints the process's peak resident memory. Without DIR the embedded blobs are
// inflated as in the program; with DIR the four .stream files there (for example a 10x
// timetable written by korvel-scale) are read from disk instead.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/loaders.h"
#include "resources/resources.h"

namespace {

long PeakKilobytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace korvel;
    TimetableLoader::Options options;
    if (argc > 1) {
        const std::string dir = argv[1];
        options.source = [dir](std::string_view blob) {
            std::string name(blob);
            for (char& c : name) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
            std::ifstream in(dir + "/" + name + ".stream", std::ios::binary);
            if (!in) throw std::runtime_error("cannot read " + dir + "/" + name + ".stream");
            return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
        };
    }
    StoredTables tables;
    LoadFlags flags;
    {
        TimetableLoader loader(tables, flags, std::move(options));
        loader.Start();
        loader.Join();
    }
    for (LoadTable t : {LoadTable::KMPy, LoadTable::KMList, LoadTable::KMSM, LoadTable::KMTrain}) {
        if (!flags.Loaded(t)) {
            std::fprintf(stderr, "%s did not load\n", std::string(LoadTableName(t)).c_str());
            return 1;
        }
    }
    std::printf("records: KMTrain %u, KMList %u; peak resident memory %ld kB\n",
                tables.KMTrain.RecordCount(), tables.KMList.RecordCount(), PeakKilobytes());
    return 0;
}
