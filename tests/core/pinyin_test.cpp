#include "search/pinyin.h"

#include "tests/support/temp_library.h"

#include <gtest/gtest.h>

using search::PinyinMatcher;
using testing_support::gbk;

TEST(Pinyin, TermsSpellTheInitialsOfARunOfCharactersInAnyOfTheirReadings)
{
    struct Case
    {
        const char* term;
        const char* textUtf8;
        bool found;
    };
    const Case cases[] = {
        {"rjgp", "软件光盘", true},
        {"RjGp", "我的软件光盘2", true}, // case ignored, the run inside other text
        {"cd", "长度", true},            // 长 read chang
        {"zd", "长度", true},            // and zhang
        {"hy", "银行业务", true},        // 行 read hang
        {"xy", "行业", true},            // and xing
        {"rj", "软 件", false},          // a blank breaks the run
        {"rj", "软x件", false},
        {"rjgpx", "软件光盘", false}, // longer than the run
        {"gp", "光", false},
        {"wj", "文档\\文件", true}, // after a backslash
        {"wj", "乗文件", true},     // after a character whose trail byte is 5C
        {"y", "软件", false},       // ED BC across 软件 would be 砑 (ya)
        {"ab", "ab", false},        // Latin text spells nothing
    };
    for (const Case& c : cases) {
        const PinyinMatcher matcher(c.term);
        EXPECT_TRUE(matcher.applies()) << c.term;
        EXPECT_EQ(matcher.foundIn(gbk(c.textUtf8)), c.found) << c.term << " in " << c.textUtf8;
    }
}

TEST(Pinyin, OnlyTermsOfAsciiLettersSpellInitials)
{
    for (const char* term : {"", "r1", "rj-gp", "r j", "\xc8\xed"}) {
        const PinyinMatcher matcher(term);
        EXPECT_FALSE(matcher.applies()) << term;
        EXPECT_FALSE(matcher.foundIn(gbk("软件光盘"))) << term;
    }
}

TEST(Pinyin, TheTableCoversTheCommonCharactersAndNothingElse)
{
    int withoutReading = 0;
    int characters = 0;
    // GB 2312's level 1 and 2 Han characters: rows B0-F7, columns A1-FE (D7FA-D7FE unused).
    for (int lead = 0xB0; lead <= 0xF7; ++lead) {
        for (int trail = 0xA1; trail <= 0xFE; ++trail) {
            if (lead == 0xD7 && trail >= 0xFA) {
                continue;
            }
            ++characters;
            withoutReading += search::PinyinInitials(lead, trail) == 0;
        }
    }
    EXPECT_EQ(characters, 6763);
    EXPECT_EQ(withoutReading, 0);
    EXPECT_EQ(search::PinyinInitials('A', 'B'), 0u);
    EXPECT_EQ(search::PinyinInitials(0xA1, 0xA2), 0u); // 、
}
