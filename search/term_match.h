#pragma once

#include <string>
#include <string_view>

namespace search {

// One search term, prepared once per run and tested against many texts. A hit is an
// occurrence that starts at a character boundary, single-byte letters compared without
// regard to case, double-byte characters byte for byte (the same rule as
// catalog::containsNoCase, without upper-casing the text). A line break restarts the
// boundary walk: names in tree text never run across lines.
class TermMatcher
{
public:
    explicit TermMatcher(std::string_view termGbk);

    bool foundIn(std::string_view text) const;
    const std::string& term() const { return m_term; }

private:
    bool boundaryAt(std::string_view text, std::size_t pos, std::size_t& known) const;
    bool restMatches(const char* at) const;

    std::string m_term;
    std::string m_lower; // single-byte letters lower-cased
    std::string m_fold;  // 0x20 where m_lower holds a single-byte letter, else 0
    bool m_anyFold = false;
};

} // namespace search
