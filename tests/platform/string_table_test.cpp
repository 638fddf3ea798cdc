#include "platform/string_table.h"
#include "support/test_support.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>

namespace {

using mwdx::FindUiString;

constexpr int kEnglish = 1033;
constexpr int kChinese = 2052;

// Texts added beyond the original table, each with both languages.
constexpr int kAddedIds[] = {190, 191, 192, 193, 194, 195, 196, 197, 198, 199, 210, 230, 231, 250, 251, 252, 253, 254, 255, 256, 257, 258, 259, 260, 261};

bool InTable(int id) {
    return (id >= 132 && id <= 167) || id == 169 || (id >= 177 && id <= 185) || (id >= 220 && id <= 236) ||
           (id >= 262 && id <= 289) || (id >= 300 && id <= 303) || (id >= 325 && id <= 339) || (id >= 350 && id <= 352) ||
           id == 420 ||
           std::find(std::begin(kAddedIds), std::end(kAddedIds), id) != std::end(kAddedIds);
}

TEST(StringTableTest, EveryIdHasBothTextsAndNothingElseHasAny) {
    for (int id = 0; id < 450; ++id) {
        SCOPED_TRACE(id);
        if (InTable(id)) {
            ASSERT_NE(FindUiString(id, kEnglish), nullptr);
            ASSERT_NE(FindUiString(id, kChinese), nullptr);
            EXPECT_FALSE(std::u16string(FindUiString(id, kEnglish)).empty());
            EXPECT_FALSE(std::u16string(FindUiString(id, kChinese)).empty());
            EXPECT_EQ(FindUiString(id, 1028), nullptr) << "only the two languages exist";
        } else {
            EXPECT_EQ(FindUiString(id, kEnglish), nullptr);
            EXPECT_EQ(FindUiString(id, kChinese), nullptr);
        }
    }
    // Texts whose exact characters are easy to lose.
    EXPECT_EQ(std::u16string(FindUiString(152, kEnglish)), u"Delete ");
    EXPECT_EQ(std::u16string(FindUiString(155, kEnglish)), u"Are you true you want to delete ");
    EXPECT_EQ(std::u16string(FindUiString(151, kChinese)), u"正在移动文件到指定目录，请稍侯！");
    EXPECT_EQ(std::u16string(FindUiString(134, kChinese)).back(), u':');
    EXPECT_EQ(std::u16string(FindUiString(160, kChinese)), u"zuzuv");
    for (int language : {kEnglish, kChinese}) {
        EXPECT_EQ(std::u16string(FindUiString(148, language)), std::u16string(FindUiString(149, language)));
    }
    EXPECT_EQ(std::u16string(FindUiString(268, kEnglish)), u"Locate\u2026");
    EXPECT_EQ(std::u16string(FindUiString(273, kEnglish)), u"Import folder\u2026");
}

TEST(StringTableTest, LookupsFollowTheLanguageChosenOnceFromTheLocale) {
    std::u16string text = u"untouched";
    EXPECT_EQ(mwdx::LoadUiString(nullptr, 132), 0);
    EXPECT_EQ(mwdx::LoadUiString(&text, 168), 1);
    EXPECT_EQ(text, u"untouched") << "a missing text leaves the target as it was";

    struct Case {
        const char* lang;
        const char16_t* option;
    };
    for (const Case& c : {Case{"zh_CN.UTF-8", u"选项"}, Case{"zh_TW.UTF-8", u"Option"}, Case{"zh_HK", u"Option"},
                          Case{"zh_SG", u"Option"}, Case{"de_DE", u"Option"}, Case{"zh", u"选项"}}) {
        SCOPED_TRACE(c.lang);
        const mwdx::test::ScopedLocale locale(c.lang);
        mwdx::ChooseUiLanguage();
        EXPECT_EQ(mwdx::UiString(132), c.option);
        EXPECT_EQ(mwdx::UiStrings().Text(132), c.option);
        EXPECT_EQ(mwdx::UiLanguage(), c.option[0] == u'O' ? kEnglish : kChinese);
    }
    {
        // The choice holds until it is made again, whatever the locale says meanwhile.
        const mwdx::test::ScopedLocale locale("zh_CN");
        mwdx::ChooseUiLanguage();
        const mwdx::test::ScopedLocale later("C");
        EXPECT_EQ(mwdx::UseEnglish(), 0);
        EXPECT_EQ(mwdx::UiString(169), u"帮助");
        EXPECT_EQ(mwdx::LanguageStrings(true).Text(169), u"Help");
    }
    const mwdx::test::ScopedLocale locale("C");
    mwdx::ChooseUiLanguage();
}

} // namespace
