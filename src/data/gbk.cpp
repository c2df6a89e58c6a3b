#include "data/gbk.h"

#include <iconv.h>

#include <cerrno>

namespace korvel {
namespace {

// One conversion with a replacement for every input byte iconv cannot take. An iconv_t is
// opened per call: conversions are rare (command-line and test boundaries only) and this
// keeps the helpers safe to call from several threads.
std::string Convert(std::string_view in, const char* to, const char* from,
                    std::string_view replacement) {
    std::string out;
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        // No converter on this system: keep ASCII, replace the rest.
        for (unsigned char c : in) {
            if (c < 0x80) {
                out.push_back(static_cast<char>(c));
            } else {
                out.append(replacement);
            }
        }
        return out;
    }
    out.reserve(in.size() * 2 + 8);
    char* inPtr = const_cast<char*>(in.data());
    std::size_t inLeft = in.size();
    char buffer[1024];
    while (inLeft > 0) {
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        std::size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
        if (rc != static_cast<std::size_t>(-1)) break;
        if (errno == E2BIG) continue;
        if (errno == EINVAL) {
            // Incomplete sequence at the end of the input.
            out.append(replacement);
            break;
        }
        // EILSEQ (or anything else): skip one byte and go on.
        out.append(replacement);
        ++inPtr;
        --inLeft;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    iconv_close(cd);
    return out;
}

}  // namespace

std::string GbkToUtf8(std::string_view gbk) {
    return Convert(gbk, "UTF-8", "GB18030", "\xEF\xBF\xBD");
}

std::string Utf8ToGbk(std::string_view utf8) {
    std::string wide = Convert(utf8, "GB18030", "UTF-8", "?");
    // GB18030 writes characters outside GBK as four-byte sequences (second byte a digit);
    // GBK has no such codes, so they become '?'.
    std::string out;
    out.reserve(wide.size());
    for (std::size_t i = 0; i < wide.size();) {
        auto c = static_cast<unsigned char>(wide[i]);
        if (c < 0x80 || i + 1 >= wide.size()) {
            out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
            ++i;
            continue;
        }
        auto c2 = static_cast<unsigned char>(wide[i + 1]);
        if (c2 >= 0x30 && c2 <= 0x39) {
            out.push_back('?');
            i += 4;
        } else {
            out.append(wide, i, 2);
            i += 2;
        }
    }
    return out;
}

WholeGbk Utf8ToGbkWhole(std::string_view utf8, std::string& gbk, std::size_t& at) {
    gbk.clear();
    at = 0;
    iconv_t cd = iconv_open("GB18030", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) return WholeGbk::NotUtf8;
    gbk.resize(utf8.size() * 2 + 16);
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size();
    char* out = gbk.data();
    std::size_t outLeft = gbk.size();
    const std::size_t rc = iconv(cd, &in, &inLeft, &out, &outLeft);
    iconv_close(cd);
    gbk.resize(gbk.size() - outLeft);
    if (rc == static_cast<std::size_t>(-1)) {
        at = utf8.size() - inLeft;
        return WholeGbk::NotUtf8;
    }
    for (std::size_t i = 0; i < gbk.size(); ++i) {
        if (static_cast<unsigned char>(gbk[i]) < 0x80) continue;
        if (i + 1 < gbk.size() && gbk[i + 1] >= 0x30 && gbk[i + 1] <= 0x39) {
            at = i;
            return WholeGbk::NoGbkCode;
        }
        ++i;
    }
    return WholeGbk::None;
}

std::string_view TrimControl(std::string_view text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= 32) ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 32) --end;
    return text.substr(begin, end - begin);
}

std::string AsciiUpper(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

}  // namespace korvel
