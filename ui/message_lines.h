#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace ui {

// The most names a message lists.
inline constexpr std::size_t MessageLinesShown = 20;

// Names as lines of a message, each after "\r": at most MessageLinesShown of them, then
// "……" when there are more.
inline std::string MessageLines(const std::vector<std::string>& namesUtf8)
{
    std::string text;
    for (std::size_t i = 0; i < namesUtf8.size() && i < MessageLinesShown; ++i) {
        text += "\r" + namesUtf8[i];
    }
    if (namesUtf8.size() > MessageLinesShown) {
        text += "\r……";
    }
    return text;
}

} // namespace ui
