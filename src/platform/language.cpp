#include "platform/language.h"

#include <array>
#include <cstdlib>
#include <utility>

namespace mwdx {

namespace {

// Locale names with the ids Windows gives the same languages. Only the languages the program
// tells apart, and the Chinese ones that must not be mistaken for Simplified Chinese.
constexpr std::array<std::pair<std::string_view, int>, 6> kKnownLocales{{
    {"zh_CN", kLanguageChineseSimplified},
    {"zh_TW", 1028},
    {"zh_HK", 3076},
    {"zh_SG", 4100},
    {"zh_MO", 5124},
    {"de_DE", 1031},
}};

} // namespace

int LanguageIdOfLocale(std::string_view locale) {
    locale = locale.substr(0, locale.find_first_of(".@"));
    // Bare "zh" and the script form "zh_Hans" (with or without a region) mean Simplified Chinese.
    if (locale == "zh" || locale.starts_with("zh_Hans")) {
        return kLanguageChineseSimplified;
    }
    for (const auto& [name, id] : kKnownLocales) {
        if (locale == name) {
            return id;
        }
    }
    return kLanguageEnglishUs;
}

int SystemDefaultLangId() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && value[0] != '\0') {
            return LanguageIdOfLocale(value);
        }
    }
    return kLanguageEnglishUs;
}

} // namespace mwdx
