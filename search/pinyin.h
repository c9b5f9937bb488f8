#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Pinyin initials: the term "rjgp" finds 软件光盘. The readings of every GBK character come
// from a table made at build time out of the Unicode Han database, every reading it
// records (长 is both chang and zhang, 行 both hang and xing).
namespace search {

namespace detail {
constexpr int FirstLead = 0x81, LastLead = 0xFE, FirstTrail = 0x40, LastTrail = 0xFE;
constexpr int Trails = LastTrail - FirstTrail + 1;
// By lead and trail byte: the initials of the character.
extern const std::uint32_t InitialsTable[];
} // namespace detail

// The first letters of the character's readings, bit 0 for A; 0 when the two bytes are
// no Han character. Inline: the index build asks it of every Chinese character.
inline std::uint32_t PinyinInitials(unsigned char lead, unsigned char trail)
{
    using namespace detail;
    if (lead < FirstLead || lead > LastLead || trail < FirstTrail || trail > LastTrail) {
        return 0;
    }
    return InitialsTable[(lead - FirstLead) * Trails + (trail - FirstTrail)];
}

// One term tested for the initials of a run of Chinese characters.
class PinyinMatcher
{
public:
    explicit PinyinMatcher(std::string_view termGbk);

    // Only terms made of ASCII letters alone spell initials.
    bool applies() const { return !m_letters.empty(); }
    // True when as many consecutive double-byte characters as the term has letters, the
    // first at a character boundary, have the term's letters among their initials (ASCII
    // case ignored).
    bool foundIn(std::string_view textGbk) const;

private:
    std::basic_string<std::uint8_t> m_letters; // 0 for A
};

} // namespace search
