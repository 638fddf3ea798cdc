#include "extract/extract.h"

#include "platform/text.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <memory>
#include <optional>
#include <uchardet/uchardet.h>

namespace mwdx {

namespace {

bool IsValidUtf8(std::string_view bytes, bool whole) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const unsigned char lead = static_cast<unsigned char>(bytes[i]);
        std::size_t need;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            need = 1;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            need = 2;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            need = 3;
        } else {
            return false;
        }
        if (i + need >= bytes.size()) {
            // A character cut by the read limit is no fault of the file.
            return !whole && i + need >= bytes.size();
        }
        for (std::size_t k = 1; k <= need; ++k) {
            if ((static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += need + 1;
    }
    return true;
}

// Converts with iconv; a byte that cannot be converted becomes U+FFFD and the rest goes on. Empty
// optional when iconv does not know the encoding.
std::optional<std::string> Convert(std::string_view bytes, const char* from) {
    const iconv_t converter = ::iconv_open("UTF-8", from);
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        return std::nullopt;
    }
    std::string out;
    out.resize(bytes.size() * 2 + 16);
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    std::size_t written = 0;
    while (inLeft > 0) {
        char* outPointer = out.data() + written;
        std::size_t outLeft = out.size() - written;
        const std::size_t result = ::iconv(converter, &in, &inLeft, &outPointer, &outLeft);
        written = out.size() - outLeft;
        if (result != static_cast<std::size_t>(-1)) {
            break;
        }
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
        } else if (errno == EILSEQ || errno == EINVAL) {
            // EINVAL: a sequence cut at the end (the read limit); EILSEQ: a byte that is not one.
            if (errno == EINVAL) {
                break;
            }
            ++in;
            --inLeft;
            if (out.size() - written < 3) {
                out.resize(out.size() * 2);
            }
            std::memcpy(out.data() + written, "\xEF\xBF\xBD", 3);
            written += 3;
        } else {
            break;
        }
    }
    ::iconv_close(converter);
    out.resize(written);
    return out;
}

std::string DetectedCharset(std::string_view bytes) {
    const uchardet_t detector = uchardet_new();
    if (detector == nullptr) {
        return {};
    }
    uchardet_handle_data(detector, bytes.data(), std::min<std::size_t>(bytes.size(), 1 << 20));
    uchardet_data_end(detector);
    std::string charset = uchardet_get_charset(detector);
    uchardet_delete(detector);
    return charset;
}

// The bytes as UTF-8: a byte order mark first, then UTF-8 itself, then what uchardet recognises
// (GB18030, GBK, Big5, ...), then Windows-1252 as a last guess. Empty optional for bytes that are
// not text at all.
std::optional<std::string> Decode(std::string_view bytes, bool whole) {
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        return std::string(bytes.substr(3));
    }
    if (bytes.starts_with("\xFF\xFE")) {
        return Convert(bytes.substr(2), "UTF-16LE");
    }
    if (bytes.starts_with("\xFE\xFF")) {
        return Convert(bytes.substr(2), "UTF-16BE");
    }
    if (std::memchr(bytes.data(), '\0', std::min<std::size_t>(bytes.size(), 8192)) != nullptr) {
        return std::nullopt;
    }
    if (IsValidUtf8(bytes, whole)) {
        return std::string(bytes);
    }
    std::string charset = DetectedCharset(bytes);
    // GB18030 reads everything GB2312 and GBK hold.
    if (charset == "GB2312" || charset == "GBK" || charset == "HZ-GB-2312") {
        charset = "GB18030";
    }
    if (!charset.empty() && charset != "ASCII") {
        if (std::optional<std::string> text = Convert(bytes, charset.c_str())) {
            return text;
        }
    }
    return Convert(bytes, "WINDOWS-1252");
}

// A character reference or entity at text[i] ('&'): its UTF-8 and the bytes it took; none for a
// lone '&'.
std::size_t Entity(std::string_view text, std::size_t i, std::string& out) {
    const std::size_t semicolon = text.find(';', i);
    if (semicolon == std::string_view::npos || semicolon - i > 10) {
        return 0;
    }
    const std::string_view name = text.substr(i + 1, semicolon - i - 1);
    static constexpr std::pair<std::string_view, std::string_view> kNamed[] = {
        {"amp", "&"}, {"lt", "<"}, {"gt", ">"}, {"quot", "\""}, {"apos", "'"}, {"nbsp", " "},
        {"mdash", "\u2014"}, {"ndash", "\u2013"}, {"hellip", "\u2026"}, {"copy", "\u00A9"},
    };
    for (const auto& [key, value] : kNamed) {
        if (name == key) {
            out += value;
            return semicolon - i + 1;
        }
    }
    if (name.size() >= 2 && name[0] == '#') {
        const bool hex = name[1] == 'x' || name[1] == 'X';
        const std::string digits(name.substr(hex ? 2 : 1));
        if (digits.empty()) {
            return 0;
        }
        char* end = nullptr;
        const unsigned long value = std::strtoul(digits.c_str(), &end, hex ? 16 : 10);
        if (*end != '\0' || value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
            return 0;
        }
        AppendUtf8(out, static_cast<char32_t>(value));
        return semicolon - i + 1;
    }
    return 0;
}

bool StartsWithNoCase(std::string_view text, std::size_t at, std::string_view word) {
    if (text.size() - at < word.size()) {
        return false;
    }
    for (std::size_t k = 0; k < word.size(); ++k) {
        if (std::tolower(static_cast<unsigned char>(text[at + k])) != word[k]) {
            return false;
        }
    }
    return true;
}

// The text of an HTML page: tags, comments, scripts and style sheets left out, entities read,
// a line break where a block ends.
std::string StripHtml(std::string_view html) {
    std::string out;
    out.reserve(html.size() / 2);
    std::size_t i = 0;
    while (i < html.size()) {
        const char c = html[i];
        if (c == '<') {
            if (html.compare(i, 4, "<!--") == 0) {
                const std::size_t close = html.find("-->", i + 4);
                i = close == std::string_view::npos ? html.size() : close + 3;
                continue;
            }
            for (const std::string_view raw : {std::string_view("script"), std::string_view("style")}) {
                if (StartsWithNoCase(html, i + 1, raw)) {
                    std::size_t close = i;
                    while ((close = html.find("</", close + 1)) != std::string_view::npos &&
                           !StartsWithNoCase(html, close + 2, raw)) {
                    }
                    i = close == std::string_view::npos ? html.size() : close;
                    break;
                }
            }
            const std::size_t end = html.find('>', i);
            if (end == std::string_view::npos) {
                break;
            }
            const bool block = StartsWithNoCase(html, i + 1, "p") || StartsWithNoCase(html, i + 1, "/p") ||
                               StartsWithNoCase(html, i + 1, "br") || StartsWithNoCase(html, i + 1, "div") ||
                               StartsWithNoCase(html, i + 1, "/div") || StartsWithNoCase(html, i + 1, "li") ||
                               StartsWithNoCase(html, i + 1, "tr") || StartsWithNoCase(html, i + 1, "/h") ||
                               StartsWithNoCase(html, i + 1, "td") || StartsWithNoCase(html, i + 1, "th");
            out.push_back(block ? '\n' : ' ');
            i = end + 1;
        } else if (c == '&') {
            const std::size_t taken = Entity(html, i, out);
            if (taken == 0) {
                out.push_back('&');
                ++i;
            } else {
                i += taken;
            }
        } else {
            out.push_back(c);
            ++i;
        }
    }
    return out;
}

} // namespace

void ExtractPlainText(std::string_view bytes, bool whole, bool html, const ExtractionLimits& limits, Extraction& out) {
    out.format = html ? DocFormat::kHtml : DocFormat::kPlainText;
    std::optional<std::string> text = Decode(bytes, whole);
    if (!text) {
        out.format = DocFormat::kNone;
        out.reason = SkipReason::kUnknownType;
        return;
    }
    if (html) {
        *text = StripHtml(*text);
    }
    // Form feeds mark PDF pages in the stored text; elsewhere they are only white space.
    std::replace(text->begin(), text->end(), '\f', '\n');
    TextSink sink(limits.chars);
    sink.Append(*text);
    out.text = std::move(sink.Text());
    if (sink.Full() || !whole) {
        out.reason = SkipReason::kTooBig;
    }
}

} // namespace mwdx
