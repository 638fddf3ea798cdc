#pragma once

// Text at the boundary between the user interface (UTF-16) and the store, the page and the
// file system (UTF-8). UTF-8 is the narrow encoding everywhere on Linux: every character is
// representable and a database reads the same on every machine.

#include <cstddef>
#include <string>
#include <string_view>

namespace mwdx {

inline constexpr char16_t kReplacementChar = u'\uFFFD';

// UTF-16 to UTF-8. An unpaired surrogate becomes U+FFFD.
std::string ToStoreText(std::u16string_view wide);

// UTF-8 to UTF-16. Bytes that are not valid UTF-8 (as a database written elsewhere may hold)
// become U+FFFD, one per maximal invalid subpart, never an error.
std::u16string FromStoreText(std::string_view narrow);

// The length of the well-formed UTF-8 sequence at text[at] (which must be inside the text), with
// *codePoint its value; 0 when the bytes there are not one.
std::size_t DecodeUtf8At(std::string_view text, std::size_t at, char32_t* codePoint);

// Appends the code point's UTF-8 (a surrogate or a value past U+10FFFF is the caller's to avoid).
void AppendUtf8(std::string& out, char32_t codePoint);

// True when the bytes are well-formed UTF-8 (no overlong forms, no surrogates, nothing past U+10FFFF).
bool IsValidUtf8(std::string_view text);

// The text with every invalid sequence replaced by U+FFFD; valid text comes back unchanged.
std::string SanitizeUtf8(std::string_view text);

// The longest prefix of at most maxBytes bytes that does not end inside a UTF-8 sequence.
// Invalid bytes count as characters of their own, so they never make the cut back off further.
std::string_view TruncateUtf8(std::string_view text, std::size_t maxBytes);

// A count as people read it in both languages: 1234567 as "1,234,567".
std::string GroupedCount(std::size_t value);

} // namespace mwdx
