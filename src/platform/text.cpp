#include "platform/text.h"

#include <cstdint>
#include <cstring>

namespace mwdx {
namespace {

struct Decoded {
    char32_t codePoint; // valid only when ok
    std::size_t length; // bytes consumed: the whole sequence, or the maximal invalid subpart
    bool ok;
};

bool InRange(unsigned char byte, unsigned char low, unsigned char high) {
    return byte >= low && byte <= high;
}

// Decodes the sequence at text[pos]. Invalid input consumes the maximal subpart of an
// ill-formed sequence (at least one byte), as Unicode recommends for U+FFFD substitution.
Decoded DecodeAt(std::string_view text, std::size_t pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    if (lead < 0x80) {
        return {lead, 1, true};
    }
    std::size_t need = 0;
    char32_t cp = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (InRange(lead, 0xC2, 0xDF)) {
        need = 1;
        cp = lead & 0x1F;
    } else if (InRange(lead, 0xE0, 0xEF)) {
        need = 2;
        cp = lead & 0x0F;
        if (lead == 0xE0) {
            low = 0xA0;
        } else if (lead == 0xED) {
            high = 0x9F; // excludes the surrogates
        }
    } else if (InRange(lead, 0xF0, 0xF4)) {
        need = 3;
        cp = lead & 0x07;
        if (lead == 0xF0) {
            low = 0x90;
        } else if (lead == 0xF4) {
            high = 0x8F; // nothing past U+10FFFF
        }
    } else {
        return {0, 1, false};
    }
    std::size_t length = 1;
    for (std::size_t i = 0; i < need; ++i) {
        if (pos + length >= text.size()) {
            return {0, length, false};
        }
        const auto next = static_cast<unsigned char>(text[pos + length]);
        if (!InRange(next, low, high)) {
            return {0, length, false};
        }
        cp = (cp << 6) | (next & 0x3F);
        ++length;
        low = 0x80;
        high = 0xBF;
    }
    return {cp, length, true};
}

} // namespace

std::size_t DecodeUtf8At(std::string_view text, std::size_t at, char32_t* codePoint) {
    const Decoded decoded = DecodeAt(text, at);
    if (!decoded.ok) {
        return 0;
    }
    *codePoint = decoded.codePoint;
    return decoded.length;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

namespace {

bool IsHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLowSurrogate(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

} // namespace

std::string ToStoreText(std::u16string_view wide) {
    std::string out;
    out.reserve(wide.size());
    for (std::size_t i = 0; i < wide.size(); ++i) {
        const char16_t unit = wide[i];
        if (IsHighSurrogate(unit) && i + 1 < wide.size() && IsLowSurrogate(wide[i + 1])) {
            const char32_t cp = 0x10000 + ((char32_t{unit} - 0xD800) << 10) + (char32_t{wide[i + 1]} - 0xDC00);
            AppendUtf8(out, cp);
            ++i;
        } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
            AppendUtf8(out, kReplacementChar);
        } else {
            AppendUtf8(out, unit);
        }
    }
    return out;
}

std::u16string FromStoreText(std::string_view narrow) {
    std::u16string out;
    out.reserve(narrow.size());
    std::size_t pos = 0;
    while (pos < narrow.size()) {
        const Decoded d = DecodeAt(narrow, pos);
        pos += d.length;
        if (!d.ok) {
            out += kReplacementChar;
        } else if (d.codePoint >= 0x10000) {
            const char32_t v = d.codePoint - 0x10000;
            out += static_cast<char16_t>(0xD800 + (v >> 10));
            out += static_cast<char16_t>(0xDC00 + (v & 0x3FF));
        } else {
            out += static_cast<char16_t>(d.codePoint);
        }
    }
    return out;
}

bool IsValidUtf8(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        // ASCII runs are by far the common case in names and paths: eight bytes at a time.
        std::uint64_t word;
        if (pos + sizeof word <= text.size()) {
            std::memcpy(&word, text.data() + pos, sizeof word);
            if ((word & 0x8080808080808080ULL) == 0) {
                pos += sizeof word;
                continue;
            }
        }
        if (static_cast<unsigned char>(text[pos]) < 0x80) {
            ++pos;
            continue;
        }
        const Decoded d = DecodeAt(text, pos);
        if (!d.ok) {
            return false;
        }
        pos += d.length;
    }
    return true;
}

std::string SanitizeUtf8(std::string_view text) {
    if (IsValidUtf8(text)) {
        return std::string(text);
    }
    std::string out;
    out.reserve(text.size() + 8);
    std::size_t pos = 0;
    while (pos < text.size()) {
        const Decoded d = DecodeAt(text, pos);
        if (d.ok) {
            out.append(text.substr(pos, d.length));
        } else {
            AppendUtf8(out, kReplacementChar);
        }
        pos += d.length;
    }
    return out;
}

std::string_view TruncateUtf8(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) {
        return text;
    }
    // Find where the character that straddles the cut begins: at most three continuation bytes back.
    std::size_t start = maxBytes;
    for (int back = 0; back < 3 && start > 0; ++back) {
        if ((static_cast<unsigned char>(text[start]) & 0xC0) != 0x80) {
            break;
        }
        --start;
    }
    const Decoded d = DecodeAt(text, start);
    if (d.ok && start < maxBytes && start + d.length > maxBytes) {
        return text.substr(0, start);
    }
    return text.substr(0, maxBytes);
}

std::string GroupedCount(std::size_t value) {
    const std::string digits = std::to_string(value);
    std::string grouped;
    grouped.reserve(digits.size() + digits.size() / 3);
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) {
            grouped.push_back(',');
        }
        grouped.push_back(digits[i]);
    }
    return grouped;
}

} // namespace mwdx
