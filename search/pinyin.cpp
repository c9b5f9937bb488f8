#include "search/pinyin.h"

#include "catalog/text.h"

#include <iterator>

namespace search {

const std::uint32_t detail::InitialsTable[] = {
#include "pinyin_initials.inc"
};
static_assert(std::size(detail::InitialsTable) ==
              (detail::LastLead - detail::FirstLead + 1) * detail::Trails);

PinyinMatcher::PinyinMatcher(std::string_view termGbk)
{
    for (const char c : termGbk) {
        const auto letter = static_cast<unsigned char>(c | 0x20);
        if (letter < 'a' || letter > 'z') {
            m_letters.clear();
            return;
        }
        m_letters.push_back(static_cast<std::uint8_t>(letter - 'a'));
    }
}

bool PinyinMatcher::foundIn(std::string_view textGbk) const
{
    if (m_letters.empty()) {
        return false;
    }
    std::size_t i = 0;
    while (i < textGbk.size()) {
        const std::size_t length = catalog::gbkCharLength(textGbk, i);
        if (length == 2) {
            std::size_t at = i;
            std::size_t matched = 0;
            while (matched < m_letters.size() && at + 1 < textGbk.size() &&
                   catalog::gbkCharLength(textGbk, at) == 2 &&
                   (PinyinInitials(static_cast<unsigned char>(textGbk[at]),
                                   static_cast<unsigned char>(textGbk[at + 1])) >>
                    m_letters[matched]) &
                       1u) {
                ++matched;
                at += 2;
            }
            if (matched == m_letters.size()) {
                return true;
            }
        }
        i += length;
    }
    return false;
}

} // namespace search
