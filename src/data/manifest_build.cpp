#include "data/manifest_build.h"

#include "data/memtable.h"
#include "data/table_stream.h"

namespace korvel::data {

ManifestEntry EntryForStream(std::string_view file, std::string_view bytes) {
    MemTable table;
    TableStreamFormat format;
    LoadFromTableStream(table, bytes, &format);
    ManifestEntry e;
    e.file = file;
    e.bytes = bytes.size();
    e.records = table.RecordCount();
    e.sha256 = Sha256Hex(bytes);
    return e;
}

Manifest ManifestForStreams(std::string name, std::string validFrom, std::string builder,
                            const ManifestStreams& streams) {
    static constexpr std::array<std::string_view, 4> kFiles = {"SLIST.stream", "STRAIN.stream",
                                                               "SM.stream", "SPY.stream"};
    Manifest m;
    m.name = std::move(name);
    m.valid_from = std::move(validFrom);
    m.builder = std::move(builder);
    for (std::size_t i = 0; i < streams.size(); ++i) {
        m.files.push_back(EntryForStream(kFiles[i], streams[i]));
    }
    m.trains = m.files[0].records;
    m.stops = m.files[1].records;
    m.stations = m.files[3].records;
    return m;
}

}  // namespace korvel::data
