#pragma once

// What the command-line tools print: JSON string literals and counts with thousands separators.

#include <cstdio>
#include <string>
#include <string_view>

namespace mwdx {

// A JSON string literal: quotes, backslashes and control characters escaped; the rest is UTF-8.
inline std::string Json(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

} // namespace mwdx
