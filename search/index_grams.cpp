#include "search/index_grams.h"

#include "search/pinyin.h"

#include <algorithm>

namespace search {

namespace {

std::vector<Gram> distinct(std::vector<Gram> grams)
{
    std::sort(grams.begin(), grams.end());
    grams.erase(std::unique(grams.begin(), grams.end()), grams.end());
    return grams;
}

} // namespace

std::optional<std::vector<Gram>> TermGrams(std::string_view termGbk)
{
    if (termGbk.size() < 2 || termGbk.find('\n') != std::string_view::npos) {
        return std::nullopt;
    }
    std::vector<Gram> grams;
    ForEachGram(termGbk, [&](Gram gram) { grams.push_back(gram); });
    if (grams.empty()) {
        return std::nullopt; // tabs between every two characters
    }
    return distinct(std::move(grams));
}

std::optional<std::vector<Gram>> PinyinTermGrams(std::string_view termGbk)
{
    if (!PinyinMatcher(termGbk).applies()) {
        return std::nullopt;
    }
    std::vector<Gram> grams;
    Gram previous = 0;
    for (const char c : termGbk) {
        const auto letter = static_cast<Gram>((c | 0x20) - 'a');
        grams.push_back(static_cast<Gram>('A' + letter));
        if (previous != 0) {
            grams.push_back(static_cast<Gram>(previous * 32 + letter));
        }
        previous = static_cast<Gram>('A' + letter);
    }
    return distinct(std::move(grams));
}

} // namespace search
