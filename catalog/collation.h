#pragma once

#include <string>
#include <string_view>
#include <vector>

// The order in which boxes, CD lists and trees are shown: punctuation, digits, Latin,
// then Chinese in pinyin order; a run of digits compares as a number. The two names that
// begin with the byte 0xFF (the search results folder and the local drives node) come
// after every ordinary name.
namespace catalog {

// <0, 0, >0 like strcmp, for two GBK captions.
int compareCaptions(std::string_view a, std::string_view b);

// A byte string whose memcmp order is the caption order; for sorting many items.
std::string captionSortKey(std::string_view gbk);

// Stable sort of indices 0..captions.size()-1 by caption order.
std::vector<std::size_t> sortedOrder(const std::vector<std::string_view>& captions);

} // namespace catalog
