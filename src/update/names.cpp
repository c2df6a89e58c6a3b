#include "update/names.h"

#include <cstdio>

namespace korvel::update {

bool IsPackageName(std::string_view name) {
    if (name.empty() || name.size() > 64 || name.front() == '.' || name == "embedded") {
        return false;
    }
    for (char c : name) {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                        (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
        if (!ok) return false;
    }
    return true;
}

std::string PrintableName(std::string_view name) {
    std::string out;
    for (unsigned char c : name.substr(0, 80)) {
        if (c >= 0x20 && c < 0x7f && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
    }
    if (name.size() > 80) out += "...";
    return out;
}

}  // namespace korvel::update
