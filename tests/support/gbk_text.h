// What every test that writes Chinese text needs: the engine keeps text as GBK bytes, the
// tests are written in UTF-8.
#pragma once

#include <string>
#include <string_view>

#include "data/gbk.h"

namespace korvel::test {

// GBK bytes of a UTF-8 literal.
inline std::string G(std::string_view utf8) {
    return Utf8ToGbk(utf8);
}

}  // namespace korvel::test
