#include "scale/scale.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "data/memtable.h"
#include "data/table_stream.h"

namespace korvel {

namespace {

constexpr std::size_t kMaxTrainIdBytes = 35;

void AppendValue(std::string& out, std::string_view v) {
    AppendTableStreamValue(out, v);
    out.push_back(',');
}

// The stream of `in` with every record present `times` times; `id` names the train-number
// field, the clock fields are shifted.
std::string ScaleTable(std::string_view in, int times) {
    MemTable table;
    TableStreamFormat format;
    LoadFromTableStream(table, in, &format);
    const std::vector<FieldDef>& fields = table.Fields();
    std::vector<Field*> columns;
    int idColumn = -1;
    std::vector<bool> clock(fields.size(), false);
    for (std::size_t i = 0; i < fields.size(); ++i) {
        columns.push_back(table.FindField(fields[i].name));
        if (AsciiIEquals(fields[i].name, "ID")) idColumn = static_cast<int>(i);
        clock[i] = AsciiIEquals(fields[i].name, "A_Time") || AsciiIEquals(fields[i].name, "D_Time");
    }
    if (idColumn < 0) throw ScaleError("table has no ID field");

    // The rows are written in train-number and stop order, as the timetable builder writes
    // its streams, so that a scaled table loads like a real one of that size.
    int snoColumn = -1;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (AsciiIEquals(fields[i].name, "S_No")) snoColumn = static_cast<int>(i);
    }
    struct Row {
        std::string id;
        std::int32_t sno;
        std::uint32_t copy;
        std::uint32_t rec;
    };
    const std::uint32_t n = table.RecordCount();
    std::vector<Row> rows;
    rows.reserve(static_cast<std::size_t>(n) * static_cast<std::size_t>(times));
    for (int copy = 0; copy < times; ++copy) {
        for (std::uint32_t rec = 0; rec < n; ++rec) {
            rows.push_back({ScaledTrainId(columns[idColumn]->ViewAt(rec), copy),
                            snoColumn < 0 ? 0 : columns[snoColumn]->IntegerAt(rec),
                            static_cast<std::uint32_t>(copy), rec});
        }
    }
    std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
        const int c = a.id.compare(b.id);
        return c != 0 ? c < 0 : a.sno < b.sno;
    });

    std::string out = WriteTableStream(fields, table.Indexes(), {});
    out.reserve(out.size() + (in.size() + n * 8u) * static_cast<std::size_t>(times));
    for (const Row& row : rows) {
        const int shift = CopyShiftMinutes(static_cast<int>(row.copy));
        for (std::size_t i = 0; i < columns.size(); ++i) {
            if (static_cast<int>(i) == idColumn) {
                AppendValue(out, row.id);
                continue;
            }
            const std::string_view v = columns[i]->ViewAt(row.rec);
            if (row.copy > 0 && clock[i]) {
                AppendValue(out, ShiftClock(v, shift));
            } else {
                AppendValue(out, v);
            }
        }
        out.append("\r\n");
    }
    return out;
}

}  // namespace

std::string ScaledTrainId(std::string_view id, int copy) {
    if (copy == 0) return std::string(id);
    const std::string suffix = "-" + std::to_string(copy);
    std::string out;
    std::size_t start = 0;
    for (;;) {
        const std::size_t slash = id.find('/', start);
        out.append(id.substr(start, slash == std::string_view::npos ? id.npos : slash - start));
        out.append(suffix);
        if (slash == std::string_view::npos) break;
        out.push_back('/');
        start = slash + 1;
    }
    if (out.size() > kMaxTrainIdBytes) {
        throw ScaleError("train number too long when copied: " + out);
    }
    return out;
}

std::string ShiftClock(std::string_view hhmm, int minutes) {
    auto digit = [&](std::size_t i) { return hhmm[i] >= '0' && hhmm[i] <= '9'; };
    if (hhmm.size() != 5 || hhmm[2] != ':' || !digit(0) || !digit(1) || !digit(3) || !digit(4)) {
        return std::string(hhmm);
    }
    const int h = (hhmm[0] - '0') * 10 + (hhmm[1] - '0');
    const int m = (hhmm[3] - '0') * 10 + (hhmm[4] - '0');
    if (h > 23 || m > 59) return std::string(hhmm);
    const int t = ((h * 60 + m + minutes) % 1440 + 1440) % 1440;
    std::string out = "00:00";
    out[0] = static_cast<char>('0' + t / 600);
    out[1] = static_cast<char>('0' + t / 60 % 10);
    out[3] = static_cast<char>('0' + t % 60 / 10);
    out[4] = static_cast<char>('0' + t % 10);
    return out;
}

TimetableStreams ScaleTimetable(const TimetableStreams& in, int times) {
    if (times < 1) throw ScaleError("times must be at least 1");
    TimetableStreams out = in;
    if (times == 1) return out;
    out.text[1] = ScaleTable(in.text[1], times);  // SLIST
    out.text[2] = ScaleTable(in.text[2], times);  // STRAIN
    return out;
}

TimetableStreams ReadStreamsFrom(const std::string& dir) {
    TimetableStreams s;
    for (std::size_t i = 0; i < kStreamNames.size(); ++i) {
        const std::string path = dir + "/" + std::string(kStreamNames[i]) + ".stream";
        std::ifstream f(path, std::ios::binary);
        if (!f) throw ScaleError("cannot read " + path);
        s.text[i].assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    }
    return s;
}

void WriteStreamsTo(const std::string& dir, const TimetableStreams& streams) {
    std::filesystem::create_directories(dir);
    for (std::size_t i = 0; i < kStreamNames.size(); ++i) {
        const std::string path = dir + "/" + std::string(kStreamNames[i]) + ".stream";
        std::ofstream f(path, std::ios::binary | std::ios::trunc);
        f.write(streams.text[i].data(), static_cast<std::streamsize>(streams.text[i].size()));
        if (!f.flush()) throw ScaleError("cannot write " + path);
    }
}

}  // namespace korvel
