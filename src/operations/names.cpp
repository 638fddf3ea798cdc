#include "operations/names.h"

#include "catalog/disk_rules.h"
#include "operations/trash.h"
#include "platform/text_ids.h"

namespace mwdx {

namespace {

// Unicode's White_Space characters, as QChar::isSpace and the input methods know them.
bool IsWhiteSpace(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

// The white space character that `text` starts with (fromEnd: ends with), as its length in
// bytes; 0 when there is none. Only well-formed sequences of up to three bytes can be one.
std::size_t WhiteSpaceAt(std::string_view text, bool fromEnd) {
    for (std::size_t length = 1; length <= 3 && length <= text.size(); ++length) {
        const std::string_view bytes = fromEnd ? text.substr(text.size() - length) : text.substr(0, length);
        const auto lead = static_cast<unsigned char>(bytes[0]);
        char32_t c = 0;
        if (length == 1 && lead < 0x80) {
            c = lead;
        } else if (length == 2 && (lead & 0xE0) == 0xC0) {
            c = (lead & 0x1Fu) << 6 | (static_cast<unsigned char>(bytes[1]) & 0x3Fu);
        } else if (length == 3 && (lead & 0xF0) == 0xE0) {
            c = (lead & 0x0Fu) << 12 | (static_cast<unsigned char>(bytes[1]) & 0x3Fu) << 6 |
                (static_cast<unsigned char>(bytes[2]) & 0x3Fu);
        } else {
            continue;
        }
        bool continuation = true;
        for (std::size_t i = 1; i < length; ++i) {
            continuation = continuation && (static_cast<unsigned char>(bytes[i]) & 0xC0) == 0x80;
        }
        return continuation && IsWhiteSpace(c) ? length : 0;
    }
    return 0;
}

} // namespace

std::string TrimmedName(std::string_view name) {
    while (const std::size_t length = WhiteSpaceAt(name, false)) {
        name.remove_prefix(length);
    }
    while (const std::size_t length = WhiteSpaceAt(name, true)) {
        name.remove_suffix(length);
    }
    return std::string(name);
}

std::string EditedName(std::string_view typed, std::string_view stored) {
    std::string trimmed = TrimmedName(typed);
    return typed == stored || trimmed == stored ? std::string(stored) : trimmed;
}

int CatalogNameRefusal(std::string_view typed, const CatalogNode* parent, const CatalogNode* self) {
    const std::string name = TrimmedName(typed);
    if (name.empty()) {
        return text::kTypeCatalogName;
    }
    if (!IsSafeFileName(name)) {
        return text::kNameNotUsable;
    }
    // No parent node yet, or the Root Node: a top-level catalog.
    if ((parent == nullptr || parent->Parent() == nullptr) && IsReservedTopLevelName(name)) {
        return text::kNameNotUsable;
    }
    if (parent != nullptr && SiblingCatalogNamed(*parent, name, self) != nullptr) {
        return text::kCatalogNameTaken;
    }
    return 0;
}

int DocumentNameRefusal(std::string_view typed) {
    const std::string name = TrimmedName(typed);
    if (name.empty()) {
        return text::kChooseDocument;
    }
    return name.find('\0') != std::string::npos ? text::kNameNotUsable : 0;
}

bool IsReservedTopLevelName(std::string_view name) {
    return name == "js" || name == "mwdx_index.html" || name == "mwdx_index.html_bak" || name == kTrashFolderName;
}

} // namespace mwdx
