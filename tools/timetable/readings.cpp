// Pinyin initials of station names from the Unicode Han readings.
#include <cstdlib>
#include <utility>

#include "timetable/builder.h"
#include "timetable/text_util.h"

namespace korvel::timetable {
namespace {

// Decodes one UTF-8 code point at `pos`, advancing it; 0xFFFD for a malformed sequence.
char32_t NextCodePoint(std::string_view s, std::size_t& pos) {
    const auto b0 = static_cast<unsigned char>(s[pos]);
    int len = b0 < 0x80 ? 1 : (b0 >> 5) == 6 ? 2 : (b0 >> 4) == 14 ? 3 : (b0 >> 3) == 30 ? 4 : 0;
    if (len == 0 || pos + len > s.size()) {
        ++pos;
        return 0xFFFD;
    }
    char32_t cp = len == 1 ? b0 : len == 2 ? (b0 & 0x1F) : len == 3 ? (b0 & 0x0F) : (b0 & 0x07);
    for (int i = 1; i < len; ++i) {
        const auto b = static_cast<unsigned char>(s[pos + i]);
        if ((b & 0xC0) != 0x80) {
            ++pos;
            return 0xFFFD;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    pos += len;
    return cp;
}

// Initial letter of a pinyin syllable written with tone marks ("běi", "ài", "ǹg").
char PinyinInitial(std::string_view syllable) {
    if (syllable.empty()) return 0;
    std::size_t pos = 0;
    const char32_t cp = NextCodePoint(syllable, pos);
    if (cp < 0x80) {
        const char c = static_cast<char>(cp);
        if (c >= 'a' && c <= 'z') return static_cast<char>(c - 'a' + 'A');
        if (c >= 'A' && c <= 'Z') return c;
        return 0;
    }
    static const std::pair<std::u32string_view, char> kMarked[] = {
        {U"àáâãäāǎ", 'A'},    {U"èéêëēěếềḗḕ", 'E'}, {U"ìíîïīǐ", 'I'}, {U"òóôõöōǒ", 'O'},
        {U"ùúûüūǔǖǘǚǜ", 'U'}, {U"ḿ", 'M'},          {U"ńňǹ", 'N'},
    };
    for (const auto& [letters, initial] : kMarked) {
        if (letters.find(cp) != std::u32string_view::npos) return initial;
    }
    return 0;
}

// Characters whose first listed reading is not the one station names use.
char ReadingOverride(char32_t cp) {
    switch (cp) {
        case U'长':
            return 'C';  // 长春, 长沙: chang
        case U'重':
            return 'C';  // 重庆: chong
        case U'厦':
            return 'X';  // 厦门: xia
        case U'乐':
            return 'Y';  // the builder's table: yue
        case U'堡':
            return 'B';  // bu / bao
        case U'蚌':
            return 'B';  // 蚌埠: beng
        case U'六':
            return 'L';  // 六安: lu
        case U'单':
            return 'S';  // 单县: shan
        case U'番':
            return 'P';  // 番禺: pan
        default:
            return 0;
    }
}

}  // namespace

std::map<char32_t, char> ParseReadings(std::string_view text) {
    std::map<char32_t, char> out;
    for (std::string_view line : Split(text, '\n')) {
        if (line.substr(0, 2) != "U+") continue;
        const auto f = Split(line, '\t');
        if (f.size() < 3 || f[1] != "kMandarin") continue;
        const char32_t cp =
            static_cast<char32_t>(std::strtoul(std::string(f[0].substr(2)).c_str(), nullptr, 16));
        const std::string_view first = Split(TrimControl(f[2]), ' ')[0];
        const char initial = PinyinInitial(first);
        if (initial) out[cp] = initial;
    }
    return out;
}

std::string InitialsFromReadings(std::string_view name, const std::map<char32_t, char>& readings,
                                 bool* complete) {
    std::string out;
    bool all = true;
    std::size_t pos = 0;
    while (pos < name.size()) {
        const char32_t cp = NextCodePoint(name, pos);
        if (cp < 0x80) {
            const char c = static_cast<char>(cp);
            if (c >= 'a' && c <= 'z')
                out += static_cast<char>(c - 'a' + 'A');
            else if (c >= 'A' && c <= 'Z')
                out += c;
            continue;
        }
        char initial = ReadingOverride(cp);
        if (!initial) {
            const auto it = readings.find(cp);
            if (it != readings.end()) initial = it->second;
        }
        if (initial)
            out += initial;
        else
            all = false;
    }
    if (complete) *complete = all;
    return out;
}
}  // namespace korvel::timetable
