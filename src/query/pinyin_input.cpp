#include "query/pinyin_input.h"

namespace korvel {

namespace {

bool IsAsciiLetter(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

char UpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Blanks and control characters around the text.
std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
    return s;
}

constexpr std::size_t kPaddedItems = 9;
constexpr std::size_t kPadBelow = 8;

}  // namespace

bool IsPinyinCode(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text) {
        if (!IsAsciiLetter(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

std::vector<std::string> EmptyDropDownItems() {
    return std::vector<std::string>(kPaddedItems);
}

std::vector<std::string> StationDropDownItems(MemTable& KMPy, std::string_view text) {
    std::string code(text);
    for (char& c : code) c = UpperAscii(c);

    std::vector<std::string> items;
    Field* shortcode = KMPy.FindField("Shortcode");
    Field* station = KMPy.FindField("Station");
    if (shortcode && station) {
        // Table order is load order: read by load position, leaving the cursor alone.
        const std::uint32_t count = KMPy.RecordCount();
        for (std::uint32_t rec = 0; rec < count; ++rec) {
            if (shortcode->ViewAt(rec).starts_with(code)) {
                items.emplace_back(station->ViewAt(rec));
            }
        }
    }
    if (items.size() < kPadBelow) items.resize(kPaddedItems);
    return items;
}

ComboChangeResult StationBoxEdited(std::string_view boxText, MemTable* KMPy) {
    ComboChangeResult result;
    result.text = std::string(TrimBlanks(boxText));
    if (IsPinyinCode(result.text)) {
        result.action = ComboListAction::FillAndOpen;
        if (KMPy) result.items = StationDropDownItems(*KMPy, result.text);
    } else if (result.text.empty()) {
        result.action = ComboListAction::ResetEmpty;
        result.items = EmptyDropDownItems();
    } else {
        result.action = ComboListAction::Leave;
    }
    return result;
}

}  // namespace korvel
