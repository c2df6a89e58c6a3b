// korvel-blobpack-placeholder: writes a tiny stand-in timetable (SPY, SLIST, STRAIN and SM
// table streams) for builds that have neither the timetable builder's output nor the sample
// streams, so that the resource library and its loaders can still be built and exercised.
//
//   korvel-blobpack-placeholder OUTDIR
//
// Three trains between four stations; the real timetable comes from the timetable builder.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "data/schema.h"
#include "data/table_stream.h"

namespace {

using Rows = std::vector<std::vector<std::string>>;

// GBK bytes of the station names.
const std::string kBeijing = "\xB1\xB1\xBE\xA9";             // 北京
const std::string kTianjin = "\xCC\xEC\xBD\xF2";             // 天津
const std::string kJinan = "\xBC\xC3\xC4\xCF";               // 济南
const std::string kShanghai = "\xC9\xCF\xBA\xA3";            // 上海
const std::string kBeijingNan = "\xB1\xB1\xBE\xA9\xC4\xCF";  // 北京南

bool WriteIfChanged(const std::filesystem::path& path, const std::string& bytes) {
    {
        std::ifstream in(path, std::ios::binary);
        if (in) {
            std::string old((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            if (old == bytes) return true;
        }
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    out.close();
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace korvel;
    if (argc != 2) {
        std::cerr << "usage: korvel-blobpack-placeholder OUTDIR\n";
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    std::filesystem::create_directories(dir);

    const Rows py = {{kBeijing, "BJ"},
                     {kBeijingNan, "BJN"},
                     {kTianjin, "TJ"},
                     {kJinan, "JN"},
                     {kShanghai, "SH"}};
    // ID, NType, StartStation, endStation, A_Time, D_Time, R_Date, Distance, P1..P4
    const Rows list = {
        {"G1", "2", kBeijingNan, kShanghai, "09:00", "13:28", "4:28", "1318", "", "", "", ""},
        {"T109", "12", kBeijing, kShanghai, "19:33", "10:29", "14:56", "1463", "", "", "", ""},
        {"K51", "7", kTianjin, kJinan, "06:10", "10:02", "3:52", "357", "", "", "", ""},
    };
    // ID, Station, S_No, A_Time, D_Time, R_Date, Distance, P1..P4
    const Rows train = {
        {"T109", kBeijing, "1", "19:33", "19:33", "0", "0", "", "", "", ""},
        {"G1", kBeijingNan, "1", "09:00", "09:00", "0", "0", "", "", "", ""},
        {"K51", kTianjin, "1", "06:10", "06:10", "0", "0", "", "", "", ""},
        {"T109", kJinan, "2", "23:10", "23:18", "3:37", "495", "", "", "", ""},
        {"G1", kJinan, "2", "10:32", "10:34", "1:32", "406", "", "", "", ""},
        {"K51", kJinan, "2", "10:02", "10:02", "3:52", "357", "", "", "", ""},
        {"T109", kShanghai, "3", "10:29", "10:29", "14:56", "1463", "", "", "", ""},
        {"G1", kShanghai, "3", "13:28", "13:28", "4:28", "1318", "", "", "", ""},
    };
    const Rows sm = {{kBeijing, "1"}, {kBeijingNan, "1"}};

    struct Out {
        const char* file;
        std::string text;
    };
    const Out outs[] = {
        {"SPY.stream", WriteTableStream(KMPyFields(), KMPyIndexes(), py)},
        {"SLIST.stream", WriteTableStream(KMListFields(), KMListIndexes(), list)},
        {"STRAIN.stream", WriteTableStream(KMTrainFields(), KMTrainIndexes(), train)},
        {"SM.stream", WriteTableStream(KMSMFields(), KMSMIndexes(), sm)},
    };
    for (const Out& o : outs) {
        if (!WriteIfChanged(dir / o.file, o.text)) {
            std::cerr << "korvel-blobpack-placeholder: cannot write " << (dir / o.file) << "\n";
            return 1;
        }
    }
    return 0;
}
