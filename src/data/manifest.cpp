#include "data/manifest.h"

#include <sodium.h>

#include <array>
#include <cstdio>
#include <optional>
#include <utility>

#include "data/decimal.h"

namespace korvel::data {
namespace {

constexpr std::string_view kFormatLine = "korvel-timetable 1";
constexpr std::array<std::string_view, 4> kStreamFiles = {"SLIST.stream", "STRAIN.stream",
                                                          "SM.stream", "SPY.stream"};
constexpr std::size_t kMaxNameBytes = 200;

bool IsHexDigest(std::string_view text) {
    if (text.size() != 64) return false;
    for (char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

bool IsOneLineText(std::string_view text) {
    if (text.empty() || text.size() > kMaxNameBytes) return false;
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7f) return false;
    }
    return text.front() != ' ' && text.back() != ' ';
}

bool IsCalendarDate(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
    std::uint64_t m = 0, d = 0;
    const std::uint64_t y = CanonicalCount<std::uint64_t>(text.substr(0, 4)).value_or(0);
    // Month and day are written with two digits, so a leading zero is allowed there.
    auto two = [](std::string_view s, std::uint64_t& v) {
        if (s[0] < '0' || s[0] > '9' || s[1] < '0' || s[1] > '9') return false;
        v = static_cast<std::uint64_t>((s[0] - '0') * 10 + (s[1] - '0'));
        return true;
    };
    if (!two(text.substr(5, 2), m) || !two(text.substr(8, 2), d)) return false;
    if (y < 1900 || y > 9999 || m < 1 || m > 12 || d < 1) return false;
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    const std::uint64_t days = kDays[m - 1] + (m == 2 && leap ? 1 : 0);
    return d <= days;
}

// Splits "key rest" at the first space; false when there is no space.
bool SplitKey(std::string_view line, std::string_view key, std::string_view& rest) {
    if (line.size() <= key.size() || line.substr(0, key.size()) != key || line[key.size()] != ' ') {
        return false;
    }
    rest = line.substr(key.size() + 1);
    return true;
}

// The optional change lines after the files ("min-transfer N", then "city-transfer N"); the
// line and what is wrong with it when one is not such a line.
std::optional<std::pair<std::size_t, std::string>> ParseChanges(
    const std::vector<std::string_view>& lines, std::size_t first, Manifest& m) {
    const std::pair<std::string_view, std::optional<int>*> keys[] = {
        {"min-transfer", &m.minTransfer}, {"city-transfer", &m.cityTransfer}};
    std::size_t n = first;
    for (const auto& [key, value] : keys) {
        std::string_view rest;
        if (n == lines.size() || !SplitKey(lines[n], key, rest)) continue;
        const auto minutes = CanonicalCount<std::uint64_t>(rest);
        if (!minutes || *minutes > kMaxManifestChangeMinutes) {
            return std::pair(n, "bad " + std::string(key) + " minutes (0 to 1440)");
        }
        *value = static_cast<int>(*minutes);
        ++n;
    }
    if (n != lines.size()) return std::pair(n, std::string("unexpected line"));
    return std::nullopt;
}

// A "file NAME BYTES RECORDS SHA256" line for the file `name`; what is wrong, else nothing.
std::optional<std::string> ParseFileLine(std::string_view line, std::string_view name,
                                         ManifestEntry& e) {
    std::string_view rest;
    if (!SplitKey(line, "file", rest)) return "expected a file line";
    std::array<std::string_view, 4> words;
    for (std::size_t w = 0; w < 4; ++w) {
        const std::size_t sp = rest.find(' ');
        if ((sp == std::string_view::npos) != (w == 3)) return "expected 4 fields";
        words[w] = rest.substr(0, sp);
        if (sp != std::string_view::npos) rest.remove_prefix(sp + 1);
    }
    if (words[0] != name) return "expected " + std::string(name);
    e.file = words[0];
    const auto bytes = CanonicalCount<std::uint64_t>(words[1]);
    if (!bytes) return "bad byte count";
    const auto records = CanonicalCount<std::uint64_t>(words[2]);
    if (!records) return "bad record count";
    e.bytes = *bytes;
    e.records = *records;
    if (!IsHexDigest(words[3])) return "bad SHA-256";
    e.sha256 = words[3];
    return std::nullopt;
}

}  // namespace

std::string FormatManifest(const Manifest& m) {
    std::string out;
    out += kFormatLine;
    out += "\nname " + m.name;
    out += "\nvalid-from " + m.valid_from;
    out += "\nbuilder " + m.builder;
    out += "\ntrains " + std::to_string(m.trains);
    out += "\nstops " + std::to_string(m.stops);
    out += "\nstations " + std::to_string(m.stations);
    for (const ManifestEntry& f : m.files) {
        out += "\nfile " + f.file + ' ' + std::to_string(f.bytes) + ' ' +
               std::to_string(f.records) + ' ' + f.sha256;
    }
    if (m.minTransfer) out += "\nmin-transfer " + std::to_string(*m.minTransfer);
    if (m.cityTransfer) out += "\ncity-transfer " + std::to_string(*m.cityTransfer);
    out += '\n';
    return out;
}

ManifestParse ParseManifest(std::string_view text) {
    ManifestParse result;
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t nl = text.find('\n');
        if (nl == std::string_view::npos) {
            result.error = "line " + std::to_string(lines.size() + 1) + ": no line end";
            return result;
        }
        lines.push_back(text.substr(0, nl));
        text.remove_prefix(nl + 1);
    }
    const std::size_t expected = 7 + kStreamFiles.size();
    auto fail = [&](std::size_t line, const std::string& why) {
        result.error = "line " + std::to_string(line + 1) + ": " + why;
        return result;
    };
    if (lines.size() < expected || lines.size() > expected + 3) {
        result.error = "expected " + std::to_string(expected) + " to " +
                       std::to_string(expected + 3) + " lines, found " +
                       std::to_string(lines.size());
        return result;
    }
    if (lines[0] != kFormatLine) return fail(0, "not a korvel-timetable 1 manifest");

    Manifest m;
    std::string_view rest;
    if (!SplitKey(lines[1], "name", rest) || !IsOneLineText(rest)) return fail(1, "bad name");
    m.name = rest;
    if (!SplitKey(lines[2], "valid-from", rest) || !IsCalendarDate(rest)) {
        return fail(2, "bad valid-from date");
    }
    m.valid_from = rest;
    if (!SplitKey(lines[3], "builder", rest) || !IsOneLineText(rest)) {
        return fail(3, "bad builder");
    }
    m.builder = rest;
    const std::pair<std::string_view, std::uint64_t*> counts[] = {
        {"trains", &m.trains}, {"stops", &m.stops}, {"stations", &m.stations}};
    for (std::size_t i = 0; i < 3; ++i) {
        const auto count = SplitKey(lines[4 + i], counts[i].first, rest)
                               ? CanonicalCount<std::uint64_t>(rest)
                               : std::nullopt;
        if (!count) return fail(4 + i, "bad " + std::string(counts[i].first) + " count");
        *counts[i].second = *count;
    }
    for (std::size_t i = 0; i < kStreamFiles.size(); ++i) {
        ManifestEntry e;
        if (auto why = ParseFileLine(lines[7 + i], kStreamFiles[i], e)) return fail(7 + i, *why);
        m.files.push_back(std::move(e));
    }
    std::size_t next = expected;
    if (next < lines.size() && lines[next].starts_with("file ")) {
        ManifestEntry e;
        if (auto why = ParseFileLine(lines[next], kCoordsFileName, e)) return fail(next, *why);
        m.files.push_back(std::move(e));
        ++next;
    }
    if (auto why = ParseChanges(lines, next, m)) return fail(why->first, why->second);
    result.manifest = std::move(m);
    return result;
}

std::string Sha256Hex(std::string_view bytes) {
    std::array<unsigned char, crypto_hash_sha256_BYTES> digest{};
    crypto_hash_sha256(digest.data(), reinterpret_cast<const unsigned char*>(bytes.data()),
                       bytes.size());
    std::string hex(digest.size() * 2, '0');
    static constexpr char kHex[] = "0123456789abcdef";
    for (std::size_t i = 0; i < digest.size(); ++i) {
        hex[2 * i] = kHex[digest[i] >> 4];
        hex[2 * i + 1] = kHex[digest[i] & 15];
    }
    return hex;
}

}  // namespace korvel::data
