#include "extract/extract.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace mwdx {

namespace {

std::string LowerExtension(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        return {};
    }
    std::string extension = path.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

bool OneOf(std::string_view value, std::initializer_list<std::string_view> list) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

bool IsHtmlName(std::string_view extension) {
    return OneOf(extension, {"html", "htm", "xhtml", "shtml"});
}

bool IsLegacyOfficeName(std::string_view extension) {
    return OneOf(extension, {"doc", "dot", "xls", "xlt", "ppt", "pot", "pps", "wps", "rtf"});
}

bool IsOoxmlName(std::string_view extension) {
    return OneOf(extension, {"docx", "docm", "dotx", "xlsx", "xlsm", "pptx", "pptm", "ppsx"});
}

bool LooksLikeHtml(std::string_view bytes) {
    std::string head(bytes.substr(0, 512));
    std::transform(head.begin(), head.end(), head.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return head.find("<!doctype html") != std::string::npos || head.find("<html") != std::string::npos;
}

bool IsPicture(std::string_view head) {
    return head.starts_with("\x89PNG") || head.starts_with("\xFF\xD8\xFF") || head.starts_with("GIF8") ||
           head.starts_with(std::string_view("II*\0", 4)) || head.starts_with(std::string_view("MM\0*", 4)) ||
           (head.size() >= 12 && head.starts_with("RIFF") && head.substr(8, 4) == "WEBP");
}

// Reads up to `limit` bytes; false when the file cannot be read.
bool ReadHead(int fd, std::size_t limit, std::string& out) {
    out.resize(limit);
    std::size_t have = 0;
    while (have < limit) {
        const ssize_t got = ::read(fd, out.data() + have, limit - have);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return false;
        }
        if (got == 0) {
            break;
        }
        have += static_cast<std::size_t>(got);
    }
    out.resize(have);
    return true;
}

} // namespace

void TextSink::Append(std::string_view utf8) {
    if (m_full) {
        return;
    }
    std::size_t i = 0;
    while (i < utf8.size()) {
        if (m_left == 0) {
            m_full = true;
            break;
        }
        std::size_t length = 1;
        const unsigned char lead = static_cast<unsigned char>(utf8[i]);
        if (lead >= 0xF0) {
            length = 4;
        } else if (lead >= 0xE0) {
            length = 3;
        } else if (lead >= 0xC0) {
            length = 2;
        }
        length = std::min(length, utf8.size() - i);
        m_text.append(utf8.substr(i, length));
        i += length;
        --m_left;
    }
}

void TextSink::EndLine() {
    if (!m_text.empty() && m_text.back() != '\n') {
        Append('\n');
    }
}

bool HasVisibleText(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const unsigned char u = static_cast<unsigned char>(c);
        return u > 0x20 && u != 0x7F;
    });
}

Extraction ExtractFile(const std::string& path, const ExtractionLimits& limits) {
    Extraction out;
    try {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            out.reason = errno == ENOENT ? SkipReason::kMissing : SkipReason::kUnreadable;
            return out;
        }
        struct stat file {};
        if (::fstat(fd, &file) != 0 || S_ISDIR(file.st_mode)) {
            ::close(fd);
            out.reason = SkipReason::kUnreadable;
            return out;
        }
        // A text file's characters take at most 4 bytes each (UTF-16 and the Chinese encodings fewer).
        const std::size_t textLimit = static_cast<std::size_t>(limits.chars) * 4 + 4;
        std::string head;
        const bool read = ReadHead(fd, textLimit, head);
        char probe = 0;
        const bool whole = read && ::read(fd, &probe, 1) == 0;
        ::close(fd);
        if (!read) {
            out.reason = SkipReason::kUnreadable;
            return out;
        }
        if (head.empty()) {
            out.reason = SkipReason::kEmpty;
            return out;
        }
        const std::string extension = LowerExtension(path);
        if (head.starts_with("%PDF-") || head.substr(0, 1024).find("%PDF-") != std::string::npos) {
            ExtractPdf(path, limits, out);
        } else if (head.starts_with("PK\x03\x04")) {
            ExtractZipOffice(path, limits, IsOoxmlName(extension), out);
        } else if (head.starts_with("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1")) {
            // Office keeps a password-protected .docx, .xlsx or .pptx in this container too.
            out.reason = IsOoxmlName(extension) ? SkipReason::kEncrypted : SkipReason::kNotSupported;
        } else if (head.starts_with("{\\rtf") || IsLegacyOfficeName(extension)) {
            out.reason = SkipReason::kNotSupported;
        } else if (IsPicture(head)) {
            out.reason = SkipReason::kImage;
        } else {
            ExtractPlainText(head, whole, IsHtmlName(extension) || LooksLikeHtml(head), limits, out);
        }
    } catch (const std::bad_alloc&) {
        out = {};
        out.reason = SkipReason::kTooBig;
    } catch (...) {
        out = {};
        out.reason = SkipReason::kMalformed;
    }
    if (out.reason == SkipReason::kNone && !HasVisibleText(out.text)) {
        out.text.clear();
        out.reason = out.format == DocFormat::kPdf && out.pages > 0 ? SkipReason::kNoTextLayer : SkipReason::kEmpty;
    }
    if (out.reason != SkipReason::kNone && out.reason != SkipReason::kTooBig) {
        out.text.clear();
    }
    return out;
}

} // namespace mwdx
