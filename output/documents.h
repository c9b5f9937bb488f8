#pragma once

#include "output/output.h"

#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

// Inside the output core: the documents built into a buffer the caller keeps, so that a
// batch of thousands of CDs allocates once, and the names of an output folder known in
// memory.
namespace output::detail {

// Writes the bytes of TreeTextDocument / TreeHtmlDocument to the front of buffer and
// returns their length. The buffer's size is its room: it grows when needed and a buffer
// kept from an earlier document is reused as it is, never cleared.
std::size_t BuildTreeText(std::string_view listingGbk, std::string& buffer);
std::size_t BuildTreeHtml(std::string_view listingGbk, std::string_view cdNameGbk,
                          std::string& buffer);

// The names of an output folder, upper-cased in ASCII, read once and then kept up to date
// by the writer that claims them.
class TakenNames
{
public:
    explicit TakenNames(const std::string& folder);

    // The file name (without extension) made from a CD's name, or it with "(2)", "(3)"…,
    // whose name + ".txt" (".htm") is not taken.
    std::string unique(std::string_view name, Style style) const;
    // unique(), then marks the name + extension as taken.
    std::string claim(std::string_view name, Style style);

private:
    std::string firstFree(std::string_view name, Style style, int& counter) const;

    std::unordered_set<std::string> m_upperNames;
    // Per upper-cased CD name and style, the last counter claimed: every counter below it
    // was taken then and still is, so many CDs of one name are not tried from "(2)" anew.
    std::unordered_map<std::string, int> m_lastCounter;
};

} // namespace output::detail
