// GBK and UTF-8 conversion of arbitrary bytes both ways: never a crash, always well-formed
// UTF-8 out of GbkToUtf8, and valid GBK text (user-defined area included) survives the trip
// to UTF-8 and back byte for byte.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "data/gbk.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

bool IsWellFormedUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        std::size_t n = 0;
        std::uint32_t cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            n = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            n = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            n = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + n >= s.size()) return false;
        for (std::size_t k = 1; k <= n; ++k) {
            const unsigned char t = static_cast<unsigned char>(s[i + k]);
            if ((t & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (t & 0x3F);
        }
        if ((n == 2 && cp < 0x800) || (n == 3 && (cp < 0x10000 || cp > 0x10FFFF))) return false;
        if (cp >= 0xD800 && cp <= 0xDFFF) return false;
        i += n + 1;
    }
    return true;
}

// Single bytes below 0x80, or a lead byte 81-FE with a trail byte 40-7E or 80-FE.
bool IsValidGbk(std::string_view s) {
    for (std::size_t i = 0; i < s.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) continue;
        if (c == 0x80 || c == 0xFF || i + 1 >= s.size()) return false;
        const unsigned char t = static_cast<unsigned char>(s[++i]);
        if (t < 0x40 || t == 0x7F || t == 0xFF) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    const std::string utf8 = korvel::GbkToUtf8(bytes);
    Check(IsWellFormedUtf8(utf8));
    if (IsValidGbk(bytes)) {
        Check(korvel::Utf8ToGbk(utf8) == bytes);
    }

    const std::string gbk = korvel::Utf8ToGbk(bytes);
    Check(IsWellFormedUtf8(korvel::GbkToUtf8(gbk)));
    if (IsWellFormedUtf8(bytes)) {
        // Encodable characters read back as they were written and '?' stands for the rest,
        // so nothing grows and nothing undecodable appears.
        const std::string back = korvel::GbkToUtf8(gbk);
        Check(back.size() <= bytes.size());
        Check(back.find("\xEF\xBF\xBD") == std::string::npos ||
              bytes.find("\xEF\xBF\xBD") != std::string_view::npos);
    }

    const std::string_view trimmed = korvel::TrimControl(bytes);
    Check(trimmed.size() <= bytes.size());
    if (!trimmed.empty()) {
        Check(static_cast<unsigned char>(trimmed.front()) > 32);
        Check(static_cast<unsigned char>(trimmed.back()) > 32);
    }
    const std::string upper = korvel::AsciiUpper(bytes);
    Check(upper.size() == bytes.size());
    for (std::size_t i = 0; i < size; ++i) {
        const unsigned char c = data[i];
        const unsigned char u = static_cast<unsigned char>(upper[i]);
        Check(c >= 'a' && c <= 'z' ? u == c - 32 : u == c);
    }
    return 0;
}
