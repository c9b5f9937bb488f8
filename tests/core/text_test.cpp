#include "catalog/collation.h"
#include "catalog/library.h"
#include "catalog/text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

using namespace catalog;

TEST(GbkText, ConvertsBothWaysWithExactBytes)
{
    EXPECT_EQ(utf8ToGbk("软件光盘"), "\xC8\xED\xBC\xFE\xB9\xE2\xC5\xCC");
    EXPECT_EQ(gbkToUtf8("\xC8\xED\xBC\xFE\xB9\xE2\xC5\xCC"), "软件光盘");
    EXPECT_EQ(ResultsFolderName(), "\xFF\xB2\xE9\xD5\xD2\xBD\xE1\xB9\xFB");
    EXPECT_EQ(LocalDrivesName(), "\xFF\xB1\xBE\xB5\xD8\xB9\xE2\xC7\xFD");
    EXPECT_EQ(gbkToUtf8(std::string(DisplayCaption(ResultsFolderName()))), "查找结果");
}

// UTF-8 of what ICU alone makes of the bytes: the reference for the table of pairs.
std::string utf8ByIcu(std::string_view gbk)
{
    std::string utf8;
    const std::u16string utf16 = gbkToUtf16(gbk);
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        char32_t c = utf16[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < utf16.size()) {
            c = 0x10000 + ((c - 0xD800) << 10) + (utf16[++i] - 0xDC00);
        }
        if (c < 0x80) {
            utf8 += static_cast<char>(c);
        } else if (c < 0x800) {
            utf8 += static_cast<char>(0xC0 | c >> 6);
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            utf8 += static_cast<char>(0xE0 | c >> 12);
            utf8 += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            utf8 += static_cast<char>(0xF0 | c >> 18);
            utf8 += static_cast<char>(0x80 | (c >> 12 & 0x3F));
            utf8 += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return utf8;
}

// Every two bytes after a lead byte, alone and between other text, and every byte that
// is no lead: the converter gives what ICU gives, broken pairs and unassigned codes too.
TEST(GbkText, EveryPairConvertsAsIcuConvertsIt)
{
    for (unsigned first = 0x80; first <= 0xFF; ++first) {
        for (unsigned second = 0; second <= 0xFF; ++second) {
            const std::string pair{static_cast<char>(first), static_cast<char>(second)};
            // Alone, inside short text, and between runs of single bytes read eight at a time.
            for (const std::string& text : {pair, "a" + pair + "\xB9\xE2z", pair.substr(0, 1),
                                            "SETUP1.2" + pair + "readme.txt\xB9\xE2"}) {
                ASSERT_EQ(gbkToUtf8(text), utf8ByIcu(text)) << first << ' ' << second;
                std::string appended = "x";
                AppendGbkAsUtf8(appended, text);
                ASSERT_EQ(appended, "x" + utf8ByIcu(text));
            }
        }
    }
}

TEST(GbkText, CharactersGbkCannotHoldBecomeQuestionMarksAndAreCounted)
{
    const GbkConversion converted = utf8ToGbkCounted("a😀b한c");
    EXPECT_EQ(converted.gbk, "a?b?c");
    EXPECT_EQ(converted.replaced, 2);
    EXPECT_EQ(utf8ToGbkCounted("光盘").replaced, 0);
}

TEST(GbkText, UpperCasingLeavesTrailBytesAlone)
{
    // 0x81 0x61 is one double-byte character whose trail byte is the code of 'a'.
    EXPECT_EQ(upperAscii("ab\x81\x61z"), "AB\x81\x61Z");
    EXPECT_TRUE(equalsNoCase("setup\\Readme.txt\\", "SETUP\\README.TXT\\"));
    EXPECT_FALSE(equalsNoCase("\x81\x61", "\x81\x41"));
}

TEST(GbkText, ContainsMatchesOnlyAtCharacterBoundaries)
{
    const std::string shang = "\x81\x41"; // a character whose trail byte is 'A'
    EXPECT_FALSE(containsNoCase(shang, "a"));
    EXPECT_TRUE(containsNoCase(shang + "A", "a"));
    EXPECT_TRUE(containsNoCase("Star Commander", "COM"));
    EXPECT_TRUE(containsNoCase(utf8ToGbk("游戏光盘"), utf8ToGbk("光盘")));
    EXPECT_FALSE(containsNoCase("abc", "abcd"));
    EXPECT_TRUE(containsNoCase("abc", ""));
}

TEST(GbkText, SeparatorsAreFoundOnlyAsWholeCharacters)
{
    // 乗 is 81 5C and 奬 8A 5C: their trail bytes are the code of a backslash.
    const std::string path = "\x8A\x5C\\a\\\x81\x5C";
    EXPECT_EQ(findSingleByte(path, '\\'), 2u);
    EXPECT_EQ(findSingleByte(path, '\\', 3), 4u);
    EXPECT_EQ(findSingleByte(path, '\\', 5), std::string_view::npos);
    EXPECT_EQ(findLastSingleByte(path, '\\'), 4u);
    EXPECT_EQ(findLastSingleByte("\x81\x5C", '\\'), std::string_view::npos);
    EXPECT_EQ(findLastSingleByte("\x81", '\x81'), 0u); // a lone lead byte at the end
}

TEST(GbkText, CutNeverSplitsADoubleByteCharacter)
{
    const std::string text = utf8ToGbk("a光盘");
    EXPECT_EQ(cutAtCharBoundary(text, 4), text.substr(0, 3));
    EXPECT_EQ(cutAtCharBoundary(text, 5), text);
    EXPECT_EQ(cutAtCharBoundary(text, 0), "");
}

TEST(Collation, PunctuationDigitsLatinChineseThenSpecialNames)
{
    // Runs of digits compare as numbers, alone and inside Latin and Chinese names.
    const std::vector<std::string> sorted{
        "!",
        "2",
        "10",
        "123",
        "abc",
        "abc2",
        "abc10",
        "Zeta",
        utf8ToGbk("阿"),
        utf8ToGbk("光盘"),
        utf8ToGbk("文档盘1"),
        utf8ToGbk("文档盘2"),
        utf8ToGbk("文档盘10"),
        utf8ToGbk("文档盘11"),
        utf8ToGbk("中文"),
        LocalDrivesName(),
        ResultsFolderName(),
    };
    std::vector<std::string> shuffled{sorted.rbegin(), sorted.rend()};
    std::rotate(shuffled.begin(), shuffled.begin() + 3, shuffled.end());
    std::vector<std::string_view> views(shuffled.begin(), shuffled.end());
    std::vector<std::string> result;
    for (const std::size_t i : sortedOrder(views)) {
        result.push_back(shuffled[i]);
    }
    EXPECT_EQ(result, sorted);
    EXPECT_LT(compareCaptions(utf8ToGbk("重要光盘"), ResultsFolderName()), 0);
    EXPECT_LT(compareCaptions(utf8ToGbk("文档盘9"), utf8ToGbk("文档盘10")), 0);
    EXPECT_EQ(compareCaptions("abc", "abc"), 0);
}

TEST(GbkText, Utf8IsValidOnlyInItsShortestForm)
{
    const std::vector<std::pair<std::string, bool>> cases{
        {"plain", true},
        {"\xE5\x85\x89\xE7\x9B\x98", true}, // 光盘
        {"\xC2\xA0", true},
        {"\xC0\x80", false}, // overlong NUL
        {"\xC1\xBF", false}, // overlong '?'
        {"\xE5\x85", false}, // cut short
        {"\xF5\x80\x80\x80", false},
        {"\xB9\xE2\xC5\xCC", false}, // 光盘 in GBK
    };
    for (const auto& [bytes, valid] : cases) {
        EXPECT_EQ(isValidUtf8(bytes), valid) << gbkToUtf8(bytes);
    }
}

TEST(GbkText, TrimDropsBlanksAndTabsAtBothEnds)
{
    EXPECT_EQ(trimBlanks(" \tdisc 1\t "), "disc 1");
    EXPECT_EQ(trimBlanks("disc\t"), "disc");
    EXPECT_EQ(trimBlanks("\t \t"), "");
    EXPECT_EQ(trimBlanks("a b"), "a b");
}
