#include "platform/language.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>

namespace {

TEST(LanguageTest, OnlySimplifiedChineseLocalesSelectChineseTexts) {
    struct Case {
        const char* locale;
        int id;
    };
    for (const Case& c :
         {Case{"zh_CN.UTF-8", 2052}, Case{"zh_CN.GB18030@stroke", 2052}, Case{"zh", 2052}, Case{"zh_Hans", 2052},
          Case{"zh_Hans_CN.UTF-8", 2052}, Case{"zh_TW.UTF-8", 1028}, Case{"zh_HK", 3076}, Case{"zh_SG.GBK", 4100},
          Case{"zh_MO", 5124}, Case{"de_DE@euro", 1031}, Case{"C", 1033}, Case{"POSIX", 1033}, Case{"C.UTF-8", 1033},
          Case{"en_GB.UTF-8", 1033}, Case{"zhx_CN", 1033}, Case{"", 1033}}) {
        SCOPED_TRACE(c.locale);
        EXPECT_EQ(mwdx::LanguageIdOfLocale(c.locale), c.id);
        EXPECT_EQ(mwdx::UseEnglishFor(c.id), c.id != 2052);
    }
}

// LC_ALL wins over LC_MESSAGES, which wins over LANG; an empty variable counts as unset.
TEST(LanguageTest, TheFirstNonEmptyLocaleVariableDecides) {
    const char* names[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    std::string saved[3];
    bool had[3];
    for (int i = 0; i < 3; ++i) {
        const char* value = std::getenv(names[i]);
        had[i] = value != nullptr;
        saved[i] = had[i] ? value : "";
    }

    ::unsetenv("LC_ALL");
    ::unsetenv("LC_MESSAGES");
    ::unsetenv("LANG");
    EXPECT_EQ(mwdx::SystemDefaultLangId(), 1033);
    ::setenv("LANG", "zh_CN.UTF-8", 1);
    ::setenv("LC_MESSAGES", "", 1);
    EXPECT_EQ(mwdx::SystemDefaultLangId(), 2052);
    ::setenv("LC_MESSAGES", "de_DE.UTF-8", 1);
    EXPECT_EQ(mwdx::SystemDefaultLangId(), 1031);
    ::setenv("LC_ALL", "zh_TW", 1);
    EXPECT_EQ(mwdx::SystemDefaultLangId(), 1028);

    for (int i = 0; i < 3; ++i) {
        if (had[i]) {
            ::setenv(names[i], saved[i].c_str(), 1);
        } else {
            ::unsetenv(names[i]);
        }
    }
}

} // namespace
