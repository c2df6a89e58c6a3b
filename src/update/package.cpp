#include "update/package.h"

#include <stdexcept>

#include "data/decimal.h"
#include "data/memtable.h"
#include "data/regular_file.h"
#include "data/table_stream.h"
#include "update/names.h"

namespace korvel::update {
namespace {

constexpr std::string_view kMagic = "korvel-timetable-package 1\n";

// The next "\n"-terminated line of at most 200 bytes, or false.
bool NextLine(std::string_view& in, std::string_view& line) {
    const std::size_t nl = in.substr(0, 201).find('\n');
    if (nl == std::string_view::npos) return false;
    line = in.substr(0, nl);
    in.remove_prefix(nl + 1);
    return true;
}

bool AfterKey(std::string_view line, std::string_view key, std::string_view& rest) {
    if (line.size() <= key.size() + 1 || line.substr(0, key.size()) != key ||
        line[key.size()] != ' ') {
        return false;
    }
    rest = line.substr(key.size() + 1);
    return true;
}

std::uint32_t CountRecords(const std::string& stream, const std::string& file) {
    try {
        MemTable table;
        TableStreamFormat format;
        LoadFromTableStream(table, stream, &format);
        return table.RecordCount();
    } catch (const std::exception& e) {
        throw std::runtime_error(file + ": " + e.what());
    }
}

data::Manifest MakeManifest(const std::vector<PackageFile>& streams,
                            const ManifestDefaults& defaults) {
    data::Manifest m;
    m.name = defaults.name;
    m.valid_from = defaults.validFrom;
    m.builder = defaults.builder;
    for (const PackageFile& f : streams) {
        const std::uint64_t records = CountRecords(f.bytes, f.name);
        m.files.push_back({f.name, f.bytes.size(), records, data::Sha256Hex(f.bytes)});
    }
    if (streams.size() > 4) m.files[4].file = data::kCoordsFileName;
    m.trains = m.files[0].records;    // SLIST: one record a train
    m.stops = m.files[1].records;     // STRAIN: one record a stop
    m.stations = m.files[3].records;  // SPY: one record a station
    return m;
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::string& out, std::size_t maxBytes) {
    try {
        out = ReadRegularFileString(path, maxBytes);
        return true;
    } catch (const FileReadError&) {
        return false;
    }
}

std::string CheckFilesAgainstManifest(const data::Manifest& manifest,
                                      const std::vector<PackageFile>& files) {
    if (manifest.files.size() != (manifest.Coords() ? 5u : 4u)) {
        return "the manifest does not list four streams";
    }
    for (const data::ManifestEntry& entry : manifest.files) {
        const PackageFile* found = nullptr;
        for (const PackageFile& f : files) {
            if (f.name == entry.file) found = &f;
        }
        if (!found) return entry.file + ": missing";
        if (found->bytes.size() != entry.bytes) {
            return entry.file + ": " + std::to_string(found->bytes.size()) +
                   " bytes, the manifest says " + std::to_string(entry.bytes);
        }
        if (data::Sha256Hex(found->bytes) != entry.sha256) {
            return entry.file + ": SHA-256 differs from the manifest";
        }
    }
    return {};
}

Package PackFolder(const std::string& folder, std::string_view name, std::uint64_t sequence,
                   const ManifestDefaults& defaults) {
    if (!IsPackageName(name)) {
        throw std::runtime_error(
            "not a package name (letters, digits, '.', '_', '-'; at most "
            "64): \"" +
            PrintableName(name) + "\"");
    }
    Package p;
    p.name = std::string(name);
    p.sequence = sequence;
    // Bounded reads of regular files only (FileReadError names the path): a FIFO or a device
    // given as a stream would otherwise hang the packer or fill its memory.
    std::vector<PackageFile> streams;
    for (const char* file : kStreamFiles) {
        streams.push_back(
            {file, ReadRegularFileString(folder + "/" + file, kMaxTimetableFileBytes)});
    }
    const std::string coordsPath = folder + "/" + std::string(data::kCoordsFileName);
    std::optional<std::string> coords =
        ReadRegularFileStringIfPresent(coordsPath, kMaxTimetableFileBytes);
    const std::string manifestPath = folder + "/" + std::string(data::kManifestFileName);
    std::string manifestText;
    if (auto text = ReadRegularFileStringIfPresent(manifestPath, kMaxTimetableFileBytes)) {
        manifestText = std::move(*text);
        data::ManifestParse parsed = data::ParseManifest(manifestText);
        if (!parsed.manifest) throw std::runtime_error(manifestPath + ": " + parsed.error);
        p.manifest = std::move(*parsed.manifest);
        // The places travel only where the manifest vouches for them.
        if (p.manifest.Coords() && coords) {
            streams.push_back({std::string(data::kCoordsFileName), std::move(*coords)});
        }
    } else {
        if (coords) streams.push_back({std::string(data::kCoordsFileName), std::move(*coords)});
        p.manifest = MakeManifest(streams, defaults);
        manifestText = data::FormatManifest(p.manifest);
    }
    if (const std::string bad = CheckFilesAgainstManifest(p.manifest, streams); !bad.empty()) {
        throw std::runtime_error(folder + "/" + bad);
    }
    p.files.push_back({std::string(data::kManifestFileName), std::move(manifestText)});
    for (PackageFile& f : streams) p.files.push_back(std::move(f));
    return p;
}

std::string FormatPackage(const Package& package) {
    std::string out(kMagic);
    out += "name " + package.name + "\nsequence " + std::to_string(package.sequence) + "\n";
    for (const PackageFile& f : package.files) {
        out += "file " + f.name + " " + std::to_string(f.bytes.size()) + "\n";
        out += f.bytes;
    }
    out += "end\n";
    return out;
}

std::optional<Package> ParsePackage(std::string_view in, std::string& error) {
    auto fail = [&](std::string why) {
        error = "package: " + std::move(why);
        return std::nullopt;
    };
    if (in.substr(0, kMagic.size()) != kMagic) return fail("not a korvel timetable package");
    in.remove_prefix(kMagic.size());
    Package p;
    std::string_view line, rest;
    if (!NextLine(in, line) || !AfterKey(line, "name", rest) || !IsPackageName(rest)) {
        return fail("bad name line");
    }
    p.name = std::string(rest);
    const auto sequence = NextLine(in, line) && AfterKey(line, "sequence", rest)
                              ? CanonicalCount<std::uint64_t>(rest)
                              : std::nullopt;
    if (!sequence || *sequence == 0) return fail("bad sequence line");
    p.sequence = *sequence;
    auto entry = [&](const std::string& file) -> std::optional<std::string> {
        const bool found = NextLine(in, line) && AfterKey(line, "file", rest) &&
                           rest.substr(0, file.size()) == file && rest.size() > file.size() + 1 &&
                           rest[file.size()] == ' ';
        const auto size =
            found ? CanonicalCount<std::uint64_t>(rest.substr(file.size() + 1)) : std::nullopt;
        if (!size) return "expected the entry of " + file;
        if (*size > in.size()) return file + ": truncated";
        p.files.push_back({file, std::string(in.substr(0, *size))});
        in.remove_prefix(*size);
        return std::nullopt;
    };
    const std::string expected[] = {std::string(data::kManifestFileName), kStreamFiles[0],
                                    kStreamFiles[1], kStreamFiles[2], kStreamFiles[3]};
    for (const std::string& file : expected) {
        if (auto why = entry(file)) return fail(*why);
    }
    // The places, when they travel, come last.
    const std::string coords(data::kCoordsFileName);
    if (in.starts_with("file " + coords + " ")) {
        if (auto why = entry(coords)) return fail(*why);
    }
    if (in != "end\n") return fail("bad end of package");
    data::ManifestParse parsed = data::ParseManifest(p.files[0].bytes);
    if (!parsed.manifest) return fail("manifest.txt: " + parsed.error);
    p.manifest = std::move(*parsed.manifest);
    if (p.files.size() > 5 && !p.manifest.Coords()) return fail(coords + ": not in the manifest");
    if (std::string bad = CheckFilesAgainstManifest(p.manifest, p.files); !bad.empty()) {
        return fail(bad);
    }
    return p;
}

}  // namespace korvel::update
