#include "search/index_grams.h"
#include "search/pinyin.h"
#include "search/term_match.h"

#include "tests/support/temp_library.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <random>
#include <set>

using namespace search;
using testing_support::gbk;

namespace {

std::set<Gram> gramsOf(std::string_view text)
{
    std::set<Gram> grams;
    ForEachGram(text, [&](Gram gram) { grams.insert(gram); });
    return grams;
}

std::set<Gram> pinyinGramsOf(std::string_view text)
{
    std::set<Gram> grams;
    ForEachPinyinGram(text, [&](Gram gram) { grams.insert(gram); });
    return grams;
}

bool allIn(const std::vector<Gram>& grams, const std::set<Gram>& in)
{
    return std::all_of(grams.begin(), grams.end(), [&](Gram g) { return in.count(g) != 0; });
}

// Bytes that make the walks interesting: letters of both cases, lead bytes followed by
// letters or 5C, lone lead bytes before line breaks, tabs, CR LF, 80 and FF.
std::string randomGbk(std::mt19937& random, std::size_t length)
{
    static const std::string pieces[] = {"a",
                                         "A",
                                         "b",
                                         "B",
                                         "x",
                                         "\\",
                                         "\t",
                                         "\r\n",
                                         "\n",
                                         " ",
                                         "1",
                                         "\x80",
                                         "\xff",
                                         gbk("软"),
                                         gbk("件"),
                                         gbk("光"),
                                         gbk("盘"),
                                         gbk("长"),
                                         gbk("行"),
                                         "\x81\x5c" /* 乗 */,
                                         "\x81"
                                         "a",
                                         "\x81"
                                         "A",
                                         "\xb0"
                                         "\n"};
    std::uniform_int_distribution<std::size_t> pick(0, std::size(pieces) - 1);
    std::string text;
    while (text.size() < length) {
        text += pieces[pick(random)];
    }
    return text;
}

} // namespace

TEST(IndexGrams, ATextThatHoldsATermHoldsEveryGramOfIt)
{
    std::mt19937 random(20261208);
    int hits = 0, pinyinHits = 0, ruledOut = 0;
    for (int round = 0; round < 4000; ++round) {
        const std::string text = randomGbk(random, 1 + random() % 80);
        // Half the terms are pieces of the text itself, so that many are found.
        std::string term;
        if (round % 2 == 0) {
            const std::size_t from = random() % text.size();
            term = text.substr(from, 1 + random() % 6);
            for (char& c : term) { // and some are written in the other case
                if (std::isalpha(static_cast<unsigned char>(c)) && random() % 2 == 0) {
                    c = static_cast<char>(c ^ 0x20);
                }
            }
        } else {
            term = randomGbk(random, 1 + random() % 5);
        }
        const auto grams = TermGrams(term);
        const bool found = TermMatcher(term).foundIn(text);
        if (found) {
            ++hits;
            ASSERT_TRUE(!grams || allIn(*grams, gramsOf(text)))
                << testing::PrintToString(term) << " in " << testing::PrintToString(text);
        } else if (grams && !allIn(*grams, gramsOf(text))) {
            ++ruledOut;
        }
        const std::string letters =
            round % 3 == 0 ? "rjgp" : std::string(1 + random() % 3, "cxhzrjgp"[random() % 8]);
        if (PinyinMatcher(letters).foundIn(text)) {
            ++pinyinHits;
            ASSERT_TRUE(allIn(*PinyinTermGrams(letters), pinyinGramsOf(text)))
                << letters << " in " << testing::PrintToString(text);
        }
    }
    // The property holds of many hits, and the grams rule out most texts without the term.
    EXPECT_GT(hits, 1000);
    EXPECT_GT(pinyinHits, 100);
    EXPECT_GT(ruledOut, 1000);
}

TEST(IndexGrams, SixteenBytesAtATimeGiveTheGramsByteByByteGives)
{
    std::mt19937 random(20261209);
    for (int round = 0; round < 3000; ++round) {
        const std::string text = randomGbk(random, random() % 120);
        std::vector<Gram> wide, narrow;
        ForEachGram(text, [&](Gram gram) { wide.push_back(gram); });
        detail::forEachGramByByte(text, 0, [&](Gram gram) { narrow.push_back(gram); });
        ASSERT_EQ(wide, narrow) << testing::PrintToString(text);
    }
}

TEST(IndexGrams, TermsTooShortToFilterAreSaidSo)
{
    EXPECT_FALSE(TermGrams("a"));
    EXPECT_FALSE(TermGrams(""));
    EXPECT_FALSE(TermGrams("a\nb"));
    EXPECT_FALSE(TermGrams("a\tb")) << "no gram holds a tab";
    EXPECT_EQ(TermGrams("\tab"), TermGrams("AB"));
    EXPECT_EQ(TermGrams(gbk("乗")), (std::vector<Gram>{0x815C}));
    EXPECT_EQ(TermGrams("ab"), TermGrams("AB"));
    EXPECT_FALSE(PinyinTermGrams("r1"));
    EXPECT_EQ(PinyinTermGrams("r")->size(), 1u);
}
