#pragma once

#include "search/pinyin.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// What the search index stores of a text: two-byte grams, each starting where a term's
// occurrence can start (a character boundary, the walk restarting after each line break,
// as TermMatcher walks) with single-byte letters folded to capitals. Every occurrence of a
// term in a text brings all the term's grams with it, so a text that lacks one of them
// cannot hold the term; the grams never say that a text does hold it.
//
// No gram holds a line break or a tab. A term never holds a line break; one that holds a
// tab is filtered by its other grams, or not at all. Tabs are a third of a listing's bytes
// (each line is indented by its depth), and a gram of them would filter almost nothing.
namespace search {

using Gram = std::uint16_t;

// Calls add(gram) for every gram of the text, repeats included.
template <class Add> void ForEachGram(std::string_view text, Add&& add);

// The grams of a term; nullopt for a term the grams cannot filter (shorter than two bytes,
// holding a line break, or a tab beside each of its characters).
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
// A byte that no gram holds.
inline bool isGap(unsigned char c)
{
    return c == '\n' || c == '\t';
}
// Each byte with single-byte letters folded to capitals.
inline constexpr auto Folded = [] {
    std::array<unsigned char, 256> folded{};
    for (std::size_t c = 0; c < folded.size(); ++c) {
        folded[c] = static_cast<unsigned char>(c >= 'a' && c <= 'z' ? c - 0x20 : c);
    }
    return folded;
}();
// The grams from byte i on, i a character boundary.
template <class Add> void forEachGramByByte(std::string_view text, std::size_t i, Add&& add)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t size = text.size();
    // Written without a branch on the kind of byte, which text of both scripts would
    // mispredict.
    while (i + 1 < size) {
        const unsigned char c = bytes[i];
        const unsigned char next = bytes[i + 1];
        const bool lead = isLead(c);
        // A lead byte takes the next as its second byte; after any other byte the next
        // starts the next character, folded when it is a letter.
        const unsigned char second = lead ? next : Folded[next];
        if (!isGap(c) && !isGap(next)) {
            add(static_cast<Gram>(Folded[c] << 8 | second));
        }
        // A lead byte before a line break stands alone: the walk restarts after it.
        i += lead && next != '\n' ? 2 : 1;
    }
}

#if defined(__SSE2__)
// For eight bytes whose lead bytes are the bits of leads, and whether the first starts a
// character: the bits of those that start one (low byte), and whether the byte after the
// eight does (bit 8). A byte starts a character unless the byte before is a lead byte that
// starts one; a lead byte before a line break makes no gram either way.
inline constexpr auto Boundaries = [] {
    std::array<std::uint16_t, 512> table{};
    for (unsigned leads = 0; leads < 256; ++leads) {
        for (unsigned first = 0; first < 2; ++first) {
            unsigned starts = 0;
            bool start = first != 0;
            for (unsigned k = 0; k < 8; ++k) {
                starts |= start ? 1u << k : 0;
                start = !(leads >> k & 1 && start);
            }
            table[leads << 1 | first] = static_cast<std::uint16_t>(starts | (start ? 256 : 0));
        }
    }
    return table;
}();

// Sixteen bytes at a time: the grams of all sixteen are made at once, and those that start
// a character and hold no gap byte are added. Returns where it stopped, a boundary.
template <class Add> std::size_t forEachGramBySixteen(std::string_view text, Add&& add)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t size = text.size();
    const __m128i beforeSmallA = _mm_set1_epi8('a' - 1);
    const __m128i afterSmallZ = _mm_set1_epi8('z' + 1);
    const __m128i caseBit = _mm_set1_epi8(0x20);
    const __m128i lineBreak = _mm_set1_epi8('\n');
    const __m128i tab = _mm_set1_epi8('\t');
    const auto gaps = [&](__m128i bytes) {
        return _mm_or_si128(_mm_cmpeq_epi8(bytes, lineBreak), _mm_cmpeq_epi8(bytes, tab));
    };
    // Signed: the lead bytes 81..FE lie between 80 and FF.
    const __m128i belowLeads = _mm_set1_epi8(static_cast<char>(0x80));
    const __m128i aboveLeads = _mm_set1_epi8(static_cast<char>(0xFF));
    const auto folded = [&](__m128i raw) {
        const __m128i small =
            _mm_and_si128(_mm_cmpgt_epi8(raw, beforeSmallA), _mm_cmplt_epi8(raw, afterSmallZ));
        return _mm_sub_epi8(raw, _mm_and_si128(small, caseBit));
    };
    alignas(16) std::uint16_t grams[16];
    unsigned start = 1; // whether byte i starts a character
    std::size_t i = 0;
    for (; i + 17 <= size; i += 16) {
        const __m128i raw = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i + 1));
        const __m128i lead =
            _mm_and_si128(_mm_cmpgt_epi8(raw, belowLeads), _mm_cmplt_epi8(raw, aboveLeads));
        const __m128i second =
            _mm_or_si128(_mm_and_si128(lead, next), _mm_andnot_si128(lead, folded(next)));
        const __m128i first = folded(raw);
        _mm_store_si128(reinterpret_cast<__m128i*>(grams), _mm_unpacklo_epi8(second, first));
        _mm_store_si128(reinterpret_cast<__m128i*>(grams + 8), _mm_unpackhi_epi8(second, first));
        const auto leads = static_cast<unsigned>(_mm_movemask_epi8(lead));
        const auto gapped =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(gaps(raw), gaps(next))));
        const unsigned low = Boundaries[(leads & 0xFF) << 1 | start];
        const unsigned high = Boundaries[(leads >> 8) << 1 | low >> 8];
        start = high >> 8;
        for (unsigned valid = ((low & 0xFF) | (high & 0xFF) << 8) & ~gapped; valid != 0;
             valid &= valid - 1) {
            add(grams[__builtin_ctz(valid)]);
        }
    }
    // A byte that starts no character is the second byte of the one before, or a line
    // break after a lead byte: neither starts a gram.
    return start != 0 ? i : i + 1;
}
#endif

// Where the first byte from i on with its high bit set lies; size when none does.
inline std::size_t nextHighByte(const unsigned char* bytes, std::size_t i, std::size_t size)
{
#if defined(__SSE2__)
    // Sixteen at a time: in a listing a name's Latin letters and digits, its line break and
    // the tabs before the next name lie between two Chinese names.
    for (; i + 16 <= size; i += 16) {
        const auto high = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i))));
        if (high != 0) {
            return i + static_cast<std::size_t>(__builtin_ctz(high));
        }
    }
#endif
    while (i < size && bytes[i] < 0x80) {
        ++i;
    }
    return i;
}
} // namespace detail

template <class Add> void ForEachGram(std::string_view text, Add&& add)
{
#if defined(__SSE2__)
    // The index build runs this over every byte of every listing.
    detail::forEachGramByByte(text, detail::forEachGramBySixteen(text, add), add);
#else
    detail::forEachGramByByte(text, 0, add);
#endif
}

template <class Add> void ForEachPinyinGram(std::string_view text, Add&& add)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t size = text.size();
    std::uint32_t previous = 0; // initials of the Han character just before, 0 after anything else
    std::size_t i = 0;
    while (i < size) {
        if (bytes[i] < 0x80) {
            // No Han character before the next byte with its high bit set.
            previous = 0;
            i = detail::nextHighByte(bytes, i + 1, size);
            continue;
        }
        std::uint32_t initials = 0;
        if (detail::isLead(bytes[i]) && i + 1 < size) {
            initials = PinyinInitials(bytes[i], bytes[i + 1]);
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
