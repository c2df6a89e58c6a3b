// GBK text helpers. The engine keeps every text as GBK bytes; these convert at the
// command-line boundary and give a few byte-level utilities.
#pragma once

#include <string>
#include <string_view>

namespace korvel {

// GBK (read as GB18030, a superset that keeps the user-defined area such as F8B3) to
// UTF-8. Bytes that cannot be decoded become U+FFFD; never throws on bad input.
std::string GbkToUtf8(std::string_view gbk);

// UTF-8 to GBK bytes (via GB18030, so user-defined-area characters round trip).
// Malformed UTF-8 or characters without a two-byte GBK code become '?'.
std::string Utf8ToGbk(std::string_view utf8);

// UTF-8 to GBK for a text that must come through whole (the pages packed into the program):
// fills `gbk` and gives None, or says what stops it and where (`at`: the byte of the UTF-8
// text that is not UTF-8, or the byte of the GBK text where a character needs GB18030's
// four-byte form, which has no GBK code).
enum class WholeGbk { None, NotUtf8, NoGbkCode };
WholeGbk Utf8ToGbkWhole(std::string_view utf8, std::string& gbk, std::size_t& at);

// Strips leading and trailing bytes <= 32 (spaces and control characters).
std::string_view TrimControl(std::string_view text);

// Upper-cases ASCII letters only; other bytes (GBK lead and trail bytes) are kept.
std::string AsciiUpper(std::string_view text);

}  // namespace korvel
