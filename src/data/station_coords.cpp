#include "data/station_coords.h"

#include <cmath>
#include <cstdio>
#include <optional>

#include "data/decimal.h"
#include "data/memtable.h"
#include "data/table_stream.h"

namespace korvel {
namespace {

FieldDef Column(const char* name, FieldType type, int size) {
    FieldDef f;
    f.name = name;
    f.type = type;
    f.size = size;
    f.label = name;
    f.width = size ? size : 10;
    return f;
}

std::vector<FieldDef> CoordsFields() {
    return {Column("Station", FieldType::WideString, 20), Column("Lon", FieldType::WideString, 12),
            Column("Lat", FieldType::WideString, 12), Column("Estimated", FieldType::SmallInt, 0)};
}

std::string Degrees(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", value);
    return text;
}

double ReadDegrees(std::string_view text, double limit, std::string_view station) {
    const std::optional<double> value = DegreesWithin(text, limit);
    if (!value) {
        throw TableStreamError("COORDS: unreadable degrees '" + std::string(text) + "' for " +
                               std::string(station));
    }
    return *value;
}

}  // namespace

std::string WriteCoordsStream(const std::vector<std::pair<std::string, StationPoint>>& stations) {
    std::vector<std::vector<std::string>> rows;
    rows.reserve(stations.size());
    for (const auto& [name, p] : stations) {
        rows.push_back({name, Degrees(p.lon), Degrees(p.lat), p.estimated ? "1" : "0"});
    }
    return WriteTableStream(CoordsFields(), {}, rows);
}

std::optional<double> DegreesWithin(std::string_view text, double limit) {
    const std::optional<double> value = DecimalNumber(text);
    if (!value || std::fabs(*value) > limit) return std::nullopt;
    return value;
}

StationCoords ReadCoordsStream(std::string_view stream) {
    MemTable table;
    TableStreamFormat format;
    LoadFromTableStream(table, stream, &format);
    const Field* station = table.FindField("Station");
    const Field* lon = table.FindField("Lon");
    const Field* lat = table.FindField("Lat");
    const Field* estimated = table.FindField("Estimated");
    if (!station || !lon || !lat || !estimated) {
        throw TableStreamError("COORDS: the stream lacks a Station, Lon, Lat or Estimated field");
    }
    StationCoords coords;
    coords.reserve(table.RecordCount());
    for (std::uint32_t r = 0; r < table.RecordCount(); ++r) {
        const std::string_view name = station->ViewAt(r);
        StationPoint p;
        p.lon = ReadDegrees(lon->ViewAt(r), 180, name);
        p.lat = ReadDegrees(lat->ViewAt(r), 90, name);
        p.estimated = !estimated->IsNullAt(r) && estimated->IntegerAt(r) != 0;
        coords.emplace(std::string(name), p);
    }
    return coords;
}

}  // namespace korvel
