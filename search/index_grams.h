#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

// What the search index stores of a text: two-byte grams, each starting where a term's
// occurrence can start (a character boundary, the walk restarting after each line break,
// as TermMatcher walks) with single-byte letters folded to capitals. Every occurrence of a
// term in a text brings all the term's grams with it, so a text that lacks one of them
// cannot hold the term; the grams never say that a text does hold it.
namespace search {

using Gram = std::uint16_t;

// Calls add(gram) for every gram of the text, repeats included.
template <class Add> void ForEachGram(std::string_view text, Add&& add);

// The grams of a term; nullopt for a term the grams cannot filter (shorter than two bytes,
// or holding a line break).
std::optional<std::vector<Gram>> TermGrams(std::string_view termGbk);

// Pinyin initials: a gram per initial of a Han character ('A'..'Z') and a gram per pair of
// initials of two Han characters side by side ('A' * 32 + 'B' ...).
template <class Add> void ForEachPinyinGram(std::string_view text, Add&& add);

// The pinyin grams a term of letters spells; nullopt when it spells none.
std::optional<std::vector<Gram>> PinyinTermGrams(std::string_view termGbk);

// ---- implementation ----

namespace detail {
inline bool isLead(unsigned char c)
{
    return c >= 0x81 && c <= 0xFE;
}
// Each byte with single-byte letters folded to capitals.
inline constexpr auto Folded = [] {
    std::array<unsigned char, 256> folded{};
    for (std::size_t c = 0; c < folded.size(); ++c) {
        folded[c] = static_cast<unsigned char>(c >= 'a' && c <= 'z' ? c - 0x20 : c);
    }
    return folded;
}();
std::uint32_t pinyinInitials(unsigned char lead, unsigned char trail);
} // namespace detail

template <class Add> void ForEachGram(std::string_view text, Add&& add)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t size = text.size();
    std::size_t i = 0;
    // Written without a branch on the kind of byte, which text of both scripts would
    // mispredict: the index build runs this loop over every byte of every listing.
    while (i + 1 < size) {
        const unsigned char c = bytes[i];
        const unsigned char next = bytes[i + 1];
        const bool lead = detail::isLead(c);
        // A lead byte takes the next as its second byte; after any other byte the next
        // starts the next character, folded when it is a letter.
        const unsigned char second = lead ? next : detail::Folded[next];
        if (c != '\n' && next != '\n') {
            add(static_cast<Gram>(detail::Folded[c] << 8 | second));
        }
        // A lead byte before a line break stands alone: the walk restarts after it.
        i += lead && next != '\n' ? 2 : 1;
    }
}

template <class Add> void ForEachPinyinGram(std::string_view text, Add&& add)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t size = text.size();
    std::uint32_t previous = 0; // initials of the Han character just before, 0 after anything else
    std::size_t i = 0;
    while (i < size) {
        // Eight bytes without a high bit hold no Han character.
        std::uint64_t eight = 0;
        if (i + 8 <= size) {
            std::memcpy(&eight, bytes + i, 8);
            if ((eight & 0x8080808080808080) == 0) {
                previous = 0;
                i += 8;
                continue;
            }
        }
        std::uint32_t initials = 0;
        if (detail::isLead(bytes[i]) && i + 1 < size) {
            initials = detail::pinyinInitials(bytes[i], bytes[i + 1]);
            i += 2;
        } else {
            ++i;
        }
        for (std::uint32_t rest = initials; rest != 0; rest &= rest - 1) {
            const int b = __builtin_ctz(rest);
            add(static_cast<Gram>('A' + b));
            for (std::uint32_t before = previous; before != 0; before &= before - 1) {
                add(static_cast<Gram>(('A' + __builtin_ctz(before)) * 32 + b));
            }
        }
        previous = initials;
    }
}

} // namespace search
