#include "bench_data.h"

#include <cstdlib>
#include <map>
#include <stdexcept>
#include <unordered_set>

#include "data/blob.h"
#include "data/gbk.h"
#include "resources/resources.h"

namespace korvel::bench {

namespace {

std::string& DirSetting() {
    static std::string dir;
    return dir;
}

std::vector<unsigned char> Compress(const std::string& plain) {
    const std::span<const unsigned char> bytes(reinterpret_cast<const unsigned char*>(plain.data()),
                                               plain.size());
    return DeflateBlob(bytes, BlobChunkBytesFor(bytes.size()));
}

std::size_t StreamSlot(std::string_view name) {
    for (std::size_t i = 0; i < kStreamNames.size(); ++i) {
        if (AsciiIEquals(name, kStreamNames[i])) return i;
    }
    throw std::runtime_error("no such timetable blob: " + std::string(name));
}

std::unique_ptr<DataSet> Build(int times) {
    auto data = std::make_unique<DataSet>();
    data->times = times;
    if (times == 1) {
        if (!StreamsDir().empty()) {
            data->streams = ReadStreamsFrom(StreamsDir());
        } else {
            for (std::size_t i = 0; i < kStreamNames.size(); ++i) {
                const std::vector<unsigned char> b = ReadBlob(kStreamNames[i]);
                data->streams.text[i].assign(b.begin(), b.end());
            }
        }
    } else {
        data->streams = ScaleTimetable(Data(1).streams, times);
    }
    for (std::size_t i = 0; i < 4; ++i) data->blobs[i] = Compress(data->streams.text[i]);
    LoadTimetableFromBlobs(data->tables, data->Source());
    data->typed = std::make_shared<const Timetable>(data->tables);
    data->index = std::make_unique<StopIndex>(data->typed);
    return data;
}

}  // namespace

const std::vector<unsigned char>& DataSet::Blob(std::string_view name) const {
    return blobs[StreamSlot(name)];
}

CompressedBlobSource DataSet::Compressed() const {
    return [this](std::string_view name) { return std::span<const unsigned char>(Blob(name)); };
}

BlobSource DataSet::Source() const {
    return [this](std::string_view name) {
        const std::vector<unsigned char>& b = Blob(name);
        return InflateBlob(b.data(), b.size());
    };
}

void SetStreamsDir(std::string dir) {
    DirSetting() = std::move(dir);
}
const std::string& StreamsDir() {
    return DirSetting();
}

DataSet& Data(int times) {
    static std::map<int, std::unique_ptr<DataSet>> sets;
    auto& slot = sets[times];
    if (!slot) slot = Build(times);
    return *slot;
}

const Picks& PicksFor(DataSet& data) {
    static std::map<const DataSet*, Picks> cache;
    auto found = cache.find(&data);
    if (found != cache.end()) return found->second;
    Picks p;
    p.beijing = Utf8ToGbk("北京");
    p.shanghai = Utf8ToGbk("上海");
    p.guangzhou = Utf8ToGbk("广州");
    p.wuhan = Utf8ToGbk("武汉");
    p.urumqi = Utf8ToGbk("乌鲁木齐");

    StoredTables& t = data.tables;
    const StopIndex& ix = *data.index;
    std::unordered_set<std::string> grouped;
    {
        Field& st = t.KMSM.FieldByName("Station");
        for (std::uint32_t r = 0; r < t.KMSM.RecordCount(); ++r) grouped.emplace(st.ViewAt(r));
    }
    Field& station = t.KMTrain.FieldByName("Station");
    auto nameAt = [&](std::uint32_t pos) { return std::string(station.ViewAt(ix.Record(pos))); };

    // Stations: the one with the fewest (but at least two) stops; two ungrouped stations
    // joined by a train of some length.
    std::size_t fewest = static_cast<std::size_t>(-1);
    for (std::uint32_t s = 0; s < ix.StationCount(); ++s) {
        const std::size_t n = ix.Positions(s).size();
        if (n >= 2 && n < fewest) {
            fewest = n;
            p.smallStation = nameAt(ix.Positions(s)[0].Value());
        }
    }
    int bestLen = -1;
    const std::uint32_t trains = ix.Size() == 0 ? 0 : ix.Train(ix.Size() - 1) + 1;
    for (std::uint32_t tr = 0, pos = 0; tr < trains; pos = ix.TrainEnd(tr), ++tr) {
        const std::uint32_t end = ix.TrainEnd(tr);
        const int len = static_cast<int>(end - pos);
        if (len >= 8 && p.plainFrom.empty()) {
            std::uint32_t a = pos;
            while (a < end && grouped.count(nameAt(a))) ++a;
            std::uint32_t b = end;
            while (b > a + 1 && grouped.count(nameAt(b - 1))) --b;
            if (b > a + 1 && nameAt(a) != nameAt(b - 1)) {
                p.plainFrom = nameAt(a);
                p.plainTo = nameAt(b - 1);
            }
        }
        if (bestLen < 0 || std::abs(len - 50) < std::abs(bestLen - 50)) {
            bestLen = len;
            Field& id = t.KMTrain.FieldByName("ID");
            p.longTrain = std::string(id.ViewAt(ix.Record(pos)));
            p.longTrainFirst = nameAt(pos);
        }
    }

    // Train numbers: one that names exactly one train, and the first number shared by most.
    std::map<std::string, int> byFirst;
    Field& id = t.KMList.FieldByName("ID");
    for (std::uint32_t r = 0; r < t.KMList.RecordCount(); ++r) {
        const std::string_view v = id.ViewAt(r);
        ++byFirst[std::string(v.substr(0, v.find('/')))];
    }
    int most = 0;
    for (const auto& [key, n] : byFirst) {
        if (n == 1 && p.singleTrain.empty()) p.singleTrain = key;
        if (n > most) {
            most = n;
            p.prefixKey = key;
        }
    }
    if (byFirst.count("G1") && byFirst["G1"] == 1) p.singleTrain = "G1";
    return cache.emplace(&data, std::move(p)).first->second;
}

}  // namespace korvel::bench
