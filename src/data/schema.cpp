#include "data/schema.h"

namespace korvel {
namespace {

FieldDef Text(const char* name, int size) {
    FieldDef f;
    f.name = name;
    f.type = FieldType::WideString;
    f.size = size;
    f.label = name;
    f.width = size;
    return f;
}

FieldDef Number(const char* name, FieldType type) {
    FieldDef f;
    f.name = name;
    f.type = type;
    f.size = 0;
    f.label = name;
    f.width = 10;
    return f;
}

IndexDef Index(const char* name, std::vector<std::string> fields, bool unique = false) {
    IndexDef d;
    d.name = name;
    d.fields = std::move(fields);
    d.indexName = name;
    d.unique = unique;
    return d;
}

void AddFares(std::vector<FieldDef>& fields) {
    for (const char* p : {"P1", "P2", "P3", "P4"}) fields.push_back(Text(p, 20));
}

}  // namespace

std::vector<FieldDef> KMListFields() {
    std::vector<FieldDef> f = {
        Text("ID", 35),           Number("NType", FieldType::SmallInt),
        Text("StartStation", 20), Text("endStation", 20),
        Text("A_Time", 20),       Text("D_Time", 20),
        Text("R_Date", 20),       Number("Distance", FieldType::Integer),
    };
    AddFares(f);
    return f;
}

std::vector<IndexDef> KMListIndexes() {
    // The start-station index names its field "startStation"; field names match ignoring case.
    return {Index("SID", {"ID"}, true), Index("SstartStation", {"startStation"}),
            Index("SendStation", {"endStation"})};
}

std::vector<FieldDef> KMTrainFields() {
    std::vector<FieldDef> f = {
        Text("ID", 35),
        Text("Station", 20),
        Number("S_No", FieldType::Integer),
        Text("A_Time", 20),
        Text("D_Time", 20),
        Text("R_Date", 20),
        Number("Distance", FieldType::Integer),
    };
    AddFares(f);
    return f;
}

std::vector<IndexDef> KMTrainIndexes() {
    return {Index("SIDNo", {"ID", "S_No"}, true), Index("SStation", {"Station"})};
}

std::vector<FieldDef> KMSMFields() {
    return {Text("Station", 20), Number("Gp", FieldType::Integer)};
}

std::vector<IndexDef> KMSMIndexes() {
    return {Index("SStation", {"Station"}, true), Index("SGp", {"Gp"})};
}

std::vector<FieldDef> KMPyFields() {
    return {Text("Station", 20), Text("Shortcode", 10)};
}

std::vector<IndexDef> KMPyIndexes() {
    return {Index("PyIndex", {"ShortCode"}), Index("StationIndex", {"Station"})};
}

std::string TrainTypeName(int code) {
    static const char* const kNames[] = {
        "\xB6\xAF\xB3\xB5\xD7\xE9",          // 1 EMU
        "\xB8\xDF\xCB\xD9\xB6\xAF\xB3\xB5",  // 2 high-speed EMU
        "\xB3\xC7\xBC\xCA\xB8\xDF\xCB\xD9",  // 3 intercity high-speed
        "\xD6\xB1\xCC\xD8",                  // 4 direct express
        "\xBF\xD5\xB5\xF7\xCC\xD8\xBF\xEC",  // 5 air-conditioned express
        "\xBF\xD5\xB5\xF7\xBF\xEC\xCB\xD9",  // 6 air-conditioned fast
        "\xBF\xEC\xCB\xD9",                  // 7 fast
        "\xC6\xD5\xBF\xEC",                  // 8 ordinary fast
        "\xBF\xD5\xB5\xF7\xC6\xD5\xBF\xEC",  // 9 air-conditioned ordinary fast
        "\xBF\xD5\xB5\xF7\xC6\xD5\xBF\xCD",  // 10 air-conditioned ordinary passenger
        "\xC6\xD5\xBF\xCD",                  // 11 ordinary passenger
        "\xCC\xD8\xBF\xEC",                  // 12 express
        "\xBF\xD5\xB5\xF7\xC1\xD9\xBF\xCD",  // 13 air-conditioned temporary
        "\xC1\xD9\xBF\xCD",                  // 14 temporary
    };
    if (code < 1 || code > 14) return {};
    return kNames[code - 1];
}

}  // namespace korvel
