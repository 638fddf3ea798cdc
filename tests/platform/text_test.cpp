#include "platform/text.h"

#include <array>
#include <cstddef>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

using mwdx::FromStoreText;
using mwdx::IsValidUtf8;
using mwdx::SanitizeUtf8;
using mwdx::ToStoreText;
using mwdx::TruncateUtf8;

std::string Bytes(std::initializer_list<unsigned char> bytes) {
    return std::string(bytes.begin(), bytes.end());
}

bool HasUnpairedSurrogate(const std::u16string& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) {
                return true;
            }
            ++i;
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            return true;
        }
    }
    return false;
}

TEST(StoreTextTest, CharactersAtEveryEncodingLengthConvertBothWays) {
    const std::vector<std::pair<std::u16string, std::string>> known = {
        {u"A", "A"},
        {std::u16string(1, u'\0'), std::string(1, '\0')},
        {u"\u0080", Bytes({0xC2, 0x80})},
        {u"\u07FF", Bytes({0xDF, 0xBF})},
        {u"\u0800", Bytes({0xE0, 0xA0, 0x80})},
        {u"\uD7FF", Bytes({0xED, 0x9F, 0xBF})},
        {u"\uE000", Bytes({0xEE, 0x80, 0x80})},
        {u"\uFFFF", Bytes({0xEF, 0xBF, 0xBF})},
        {u"\u4E2D\u6587", Bytes({0xE4, 0xB8, 0xAD, 0xE6, 0x96, 0x87})},
        {u"\U00010000", Bytes({0xF0, 0x90, 0x80, 0x80})},
        {u"\U0001F600", Bytes({0xF0, 0x9F, 0x98, 0x80})},
        {u"\U0010FFFF", Bytes({0xF4, 0x8F, 0xBF, 0xBF})},
    };
    for (const auto& [wide, narrow] : known) {
        EXPECT_EQ(ToStoreText(wide), narrow);
        EXPECT_EQ(FromStoreText(narrow), wide);
        EXPECT_TRUE(IsValidUtf8(narrow));
    }

    // Every scalar value of every plane, in one text.
    std::u16string all;
    for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF) {
            continue;
        }
        if (cp < 0x10000) {
            all += static_cast<char16_t>(cp);
        } else {
            all += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            all += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        }
    }
    const std::string utf8 = ToStoreText(all);
    EXPECT_EQ(utf8.size(), 128u * 1 + 1920u * 2 + 61440u * 3 + 1048576u * 4);
    EXPECT_TRUE(IsValidUtf8(utf8));
    EXPECT_EQ(SanitizeUtf8(utf8), utf8);
    EXPECT_TRUE(FromStoreText(utf8) == all);
}

TEST(StoreTextTest, UnpairedSurrogatesBecomeReplacementCharacters) {
    const std::string fffd = Bytes({0xEF, 0xBF, 0xBD});
    EXPECT_EQ(ToStoreText(u"a\xD800z"), "a" + fffd + "z");
    EXPECT_EQ(ToStoreText(u"a\xDC00z"), "a" + fffd + "z");
    EXPECT_EQ(ToStoreText(u"end\xD83D"), "end" + fffd);
    // Swapped halves are two strays; a stray high before a real pair does not spoil the pair.
    EXPECT_EQ(ToStoreText(u"\xDE00\xD83D"), fffd + fffd);
    EXPECT_EQ(ToStoreText(u"\xD800\xD83D\xDE00"), fffd + Bytes({0xF0, 0x9F, 0x98, 0x80}));
}

TEST(StoreTextTest, InvalidBytesBecomeOneReplacementPerMaximalSubpart) {
    const std::vector<std::pair<std::string, std::u16string>> cases = {
        {Bytes({0xE2, 0x82, 'A'}), u"\uFFFDA"},             // 3-byte sequence cut short
        {Bytes({0xC0, 0xAF}), u"\uFFFD\uFFFD"},             // overlong '/'
        {Bytes({0xE0, 0x80, 0x80}), u"\uFFFD\uFFFD\uFFFD"}, // overlong NUL
        {Bytes({0xF0, 0x80, 0x80, 0x80}), u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {Bytes({0xED, 0xA0, 0x80}), u"\uFFFD\uFFFD\uFFFD"},             // encoded surrogate
        {Bytes({0xF4, 0x90, 0x80, 0x80}), u"\uFFFD\uFFFD\uFFFD\uFFFD"}, // past U+10FFFF
        {Bytes({0xF5, 0x80}), u"\uFFFD\uFFFD"},
        {Bytes({0x80, 'x', 0xBF}), u"\uFFFDx\uFFFD"}, // stray continuation bytes
        {Bytes({0xFF, 0xFE}), u"\uFFFD\uFFFD"},
        {Bytes({'a', 0xC2}), u"a\uFFFD"}, // truncated at the end
        {Bytes({0xF0, 0x9F, 0x98}), u"\uFFFD"},
        {Bytes({0xF0, 0x9F, 0x98, 0x80, 0xFF, 'b'}), u"\U0001F600\uFFFDb"},
    };
    for (const auto& [narrow, wide] : cases) {
        EXPECT_EQ(FromStoreText(narrow), wide);
        EXPECT_FALSE(IsValidUtf8(narrow));
    }
    EXPECT_EQ(SanitizeUtf8(Bytes({'a', 0xE2, 0x82, 'b'})), "a" + Bytes({0xEF, 0xBF, 0xBD}) + "b");
}

// Random bytes, rich in lead and boundary values: nothing crashes and the outputs keep their promises.
TEST(StoreTextTest, ArbitraryBytesAlwaysGiveWellFormedResults) {
    static constexpr std::array<unsigned char, 22> kInteresting = {0x00, 'A',  0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0,
                                                                   0xBF, 0xC0, 0xC1, 0xC2, 0xDF, 0xE0, 0xE1, 0xED,
                                                                   0xEF, 0xF0, 0xF3, 0xF4, 0xF5, 0xFF};
    std::mt19937 random(20240601);
    for (int round = 0; round < 20000; ++round) {
        std::string bytes(random() % 13, '\0');
        for (char& c : bytes) {
            c = static_cast<char>(random() % 2 ? kInteresting[random() % kInteresting.size()] : random() % 256);
        }
        const std::u16string wide = FromStoreText(bytes);
        const std::string clean = SanitizeUtf8(bytes);
        ASSERT_FALSE(HasUnpairedSurrogate(wide)) << testing::PrintToString(bytes);
        ASSERT_TRUE(IsValidUtf8(clean)) << testing::PrintToString(bytes);
        ASSERT_EQ(ToStoreText(wide), clean) << testing::PrintToString(bytes);
        if (IsValidUtf8(bytes)) {
            ASSERT_EQ(clean, bytes);
        }
        for (std::size_t max = 0; max <= bytes.size() + 1; ++max) {
            const std::string_view cut = TruncateUtf8(bytes, max);
            ASSERT_EQ(cut, std::string_view(bytes).substr(0, cut.size()));
            ASSERT_LE(cut.size(), max);
            ASSERT_GE(cut.size() + 3, std::min(max, bytes.size())) << testing::PrintToString(bytes) << " " << max;
            if (IsValidUtf8(bytes)) {
                ASSERT_TRUE(IsValidUtf8(cut)) << testing::PrintToString(bytes) << " " << max;
            }
        }
    }
}

TEST(StoreTextTest, TruncationBacksOffToTheStartOfACutCharacter) {
    // a | C3 A9 | E2 82 AC | F0 9F 98 80 | z
    const std::string text = "a\u00E9\u20AC\U0001F600z";
    ASSERT_EQ(text.size(), 11u);
    const std::array<std::size_t, 13> kept = {0, 1, 1, 3, 3, 3, 6, 6, 6, 6, 10, 11, 11};
    for (std::size_t max = 0; max < kept.size(); ++max) {
        EXPECT_EQ(TruncateUtf8(text, max), text.substr(0, kept[max])) << "max " << max;
    }

    // Invalid bytes are characters of their own: they never make the cut back off.
    EXPECT_EQ(TruncateUtf8(Bytes({0x80, 0x80, 0x80, 0x80, 0x80}), 3).size(), 3u);
    EXPECT_EQ(TruncateUtf8(Bytes({0xC3, 0xA9, 0x80, 0x80, 0x80}), 4).size(), 4u);
    EXPECT_EQ(TruncateUtf8(Bytes({0xE2, 0x82, 'A'}), 2).size(), 2u);
    EXPECT_EQ(TruncateUtf8(Bytes({'a', 0xE2, 0x82, 'A'}), 2).size(), 2u);
    EXPECT_EQ(TruncateUtf8(Bytes({0xE2, 0x82, 0xAC, 0x80}), 3).size(), 3u);
    EXPECT_EQ(TruncateUtf8(Bytes({0xFF, 0xFE}), 1).size(), 1u);
}

} // namespace

TEST(GroupedCountTest, ThousandsAreSetApartByCommas) {
    EXPECT_EQ(mwdx::GroupedCount(0), "0");
    EXPECT_EQ(mwdx::GroupedCount(999), "999");
    EXPECT_EQ(mwdx::GroupedCount(1000), "1,000");
    EXPECT_EQ(mwdx::GroupedCount(5678), "5,678");
    EXPECT_EQ(mwdx::GroupedCount(100000), "100,000");
    EXPECT_EQ(mwdx::GroupedCount(1234567), "1,234,567");
}
