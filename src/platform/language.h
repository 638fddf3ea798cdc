#pragma once

// The system's default language, read the way the program chooses its UI language.

#include <string_view>

namespace mwdx {

inline constexpr int kLanguageEnglishUs = 1033;
inline constexpr int kLanguageChineseSimplified = 2052;

// The Windows-style language id of a locale name such as "zh_CN.UTF-8" or "de_DE@euro"
// (the part before '.' and '@' decides). Unknown names, "C" and "POSIX" give 1033.
int LanguageIdOfLocale(std::string_view locale);

// The language id of the first non-empty of LC_ALL, LC_MESSAGES and LANG (1033 when all are
// unset). Works whether or not that locale is installed.
int SystemDefaultLangId();

// English is used for every language but Simplified Chinese (PRC): the whole id is compared,
// so Traditional Chinese and the other Chinese locales read English texts.
inline bool UseEnglishFor(int languageId) {
    return languageId != kLanguageChineseSimplified;
}

} // namespace mwdx
