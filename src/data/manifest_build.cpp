#include "data/manifest_build.h"

#include "data/memtable.h"
#include "data/table_stream.h"

namespace korvel::data {

Manifest ManifestForStreams(std::string name, std::string validFrom, std::string builder,
                            const ManifestStreams& streams) {
    static constexpr std::array<std::string_view, 4> kFiles = {"SLIST.stream", "STRAIN.stream",
                                                               "SM.stream", "SPY.stream"};
    Manifest m;
    m.name = std::move(name);
    m.valid_from = std::move(validFrom);
    m.builder = std::move(builder);
    for (std::size_t i = 0; i < streams.size(); ++i) {
        MemTable table;
        TableStreamFormat format;
        LoadFromTableStream(table, streams[i], &format);
        ManifestEntry e;
        e.file = kFiles[i];
        e.bytes = streams[i].size();
        e.records = table.RecordCount();
        e.sha256 = Sha256Hex(streams[i]);
        m.files.push_back(std::move(e));
    }
    m.trains = m.files[0].records;
    m.stops = m.files[1].records;
    m.stations = m.files[3].records;
    return m;
}

}  // namespace korvel::data
