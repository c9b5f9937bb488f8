#include "catalog/text.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <vector>

namespace catalog {
namespace {

struct ConverterCloser
{
    void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

// Counts the characters that GBK cannot hold while writing "?" for each.
void countingSubstitute(const void* context, UConverterFromUnicodeArgs* args,
                        const UChar* codeUnits, int32_t length, UChar32 codePoint,
                        UConverterCallbackReason reason, UErrorCode* error)
{
    if (reason == UCNV_UNASSIGNED || reason == UCNV_ILLEGAL || reason == UCNV_IRREGULAR) {
        ++*static_cast<int*>(const_cast<void*>(context));
    }
    UCNV_FROM_U_CALLBACK_SUBSTITUTE(nullptr, args, codeUnits, length, codePoint, reason, error);
}

UConverter* gbkConverter()
{
    thread_local ConverterPtr converter = [] {
        UErrorCode status = U_ZERO_ERROR;
        ConverterPtr opened(ucnv_open("windows-936", &status));
        if (U_FAILURE(status)) {
            throw std::runtime_error("ICU has no windows-936 converter");
        }
        ucnv_setSubstChars(opened.get(), "?", 1, &status);
        return opened;
    }();
    return converter.get();
}

std::u16string utf8ToUtf16(std::string_view utf8)
{
    std::u16string utf16(utf8.size(), u'\0');
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(reinterpret_cast<UChar*>(utf16.data()), static_cast<int32_t>(utf16.size()),
                         &length, utf8.data(), static_cast<int32_t>(utf8.size()), 0xFFFD, nullptr,
                         &status);
    utf16.resize(U_SUCCESS(status) ? static_cast<std::size_t>(length) : 0);
    return utf16;
}

// Two-byte GBK characters as UTF-8, a row per lead byte filled on its first use: names
// repeat few lead bytes, and ICU costs far more per call than a look-up. An entry holds
// up to three UTF-8 bytes and their count in the top byte; 0 for a pair that ICU does not
// take as one character of its own, which is then left to ICU with its neighbours.
class PairTable
{
public:
    static constexpr unsigned char FirstLead = 0x81;
    static constexpr unsigned char LastLead = 0xFE;

    std::uint32_t utf8Of(unsigned char lead, unsigned char trail)
    {
        const std::size_t row = lead - FirstLead;
        std::call_once(m_filled[row], [&] { fill(lead); });
        return m_rows[row][trail];
    }

private:
    void fill(unsigned char lead)
    {
        UErrorCode status = U_ZERO_ERROR;
        const ConverterPtr converter(ucnv_open("windows-936", &status));
        ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                            &status);
        if (U_FAILURE(status)) {
            return; // every pair of the row goes to ICU
        }
        for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
            const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
            UChar unit[2] = {};
            status = U_ZERO_ERROR;
            ucnv_resetToUnicode(converter.get());
            const int32_t units = ucnv_toUChars(converter.get(), unit, 2, pair, 2, &status);
            if (U_FAILURE(status) || units != 1 || U16_IS_SURROGATE(unit[0])) {
                continue;
            }
            const std::uint32_t c = unit[0];
            m_rows[lead - FirstLead][trail] =
                c < 0x80    ? 1u << 24 | c
                : c < 0x800 ? 2u << 24 | (0xC0 | c >> 6) | (0x80 | (c & 0x3F)) << 8
                            : 3u << 24 | (0xE0 | c >> 12) | (0x80 | (c >> 6 & 0x3F)) << 8 |
                                  (0x80 | (c & 0x3F)) << 16;
        }
    }

    std::array<std::once_flag, LastLead - FirstLead + 1> m_filled;
    std::array<std::array<std::uint32_t, 256>, LastLead - FirstLead + 1> m_rows = {};
};

PairTable& pairTable()
{
    static PairTable table;
    return table;
}

// Appends ASCII and whole two-byte characters by the table; false (with out as it was)
// at the first byte that needs ICU.
bool appendByTable(std::string& out, std::string_view gbk)
{
    const std::size_t start = out.size();
    // A byte gives at most one byte of UTF-8, a pair at most three.
    out.resize(start + gbk.size() + gbk.size() / 2);
    char* const end = PutGbkAsUtf8(out.data() + start, gbk);
    out.resize(end != nullptr ? static_cast<std::size_t>(end - out.data()) : start);
    return end != nullptr;
}

} // namespace

std::u16string gbkToUtf16(std::string_view gbk)
{
    if (gbk.empty()) {
        return {};
    }
    UConverter* converter = gbkConverter();
    ucnv_resetToUnicode(converter);
    std::u16string utf16(gbk.size() + 1, u'\0');
    UErrorCode status = U_ZERO_ERROR;
    const int32_t units = ucnv_toUChars(converter, reinterpret_cast<UChar*>(utf16.data()),
                                        static_cast<int32_t>(utf16.size()), gbk.data(),
                                        static_cast<int32_t>(gbk.size()), &status);
    utf16.resize(U_SUCCESS(status) ? static_cast<std::size_t>(units) : 0);
    return utf16;
}

char* PutGbkAsUtf8(char* to, std::string_view gbk)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(gbk.data());
    for (std::size_t i = 0; i < gbk.size();) {
        // Eight single-byte characters at a time: names are mostly Latin letters and digits.
        std::uint64_t eight = 0;
        if (i + 8 <= gbk.size()) {
            std::memcpy(&eight, bytes + i, 8);
            if ((eight & 0x8080808080808080) == 0) {
                std::memcpy(to, &eight, 8);
                to += 8;
                i += 8;
                continue;
            }
        }
        const unsigned char c = bytes[i];
        if (c < 0x80) {
            *to++ = static_cast<char>(c);
            ++i;
            continue;
        }
        const std::uint32_t entry =
            c >= PairTable::FirstLead && c <= PairTable::LastLead && i + 1 < gbk.size()
                ? pairTable().utf8Of(c, bytes[i + 1])
                : 0;
        if (entry == 0) {
            return nullptr;
        }
        to[0] = static_cast<char>(entry & 0xFF);
        to[1] = static_cast<char>(entry >> 8 & 0xFF);
        to[2] = static_cast<char>(entry >> 16 & 0xFF);
        to += entry >> 24;
        i += 2;
    }
    return to;
}

void AppendGbkAsUtf8(std::string& out, std::string_view gbk)
{
    if (!appendByTable(out, gbk)) {
        out += gbkToUtf8(gbk);
    }
}

std::string gbkToUtf8(std::string_view gbk)
{
    std::string fast;
    if (appendByTable(fast, gbk)) {
        return fast;
    }
    const std::u16string utf16 = gbkToUtf16(gbk);
    std::string utf8(utf16.size() * 3, '\0');
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strToUTF8(utf8.data(), static_cast<int32_t>(utf8.size()), &length,
                reinterpret_cast<const UChar*>(utf16.data()), static_cast<int32_t>(utf16.size()),
                &status);
    utf8.resize(U_SUCCESS(status) ? static_cast<std::size_t>(length) : 0);
    return utf8;
}

GbkConversion utf8ToGbkCounted(std::string_view utf8)
{
    GbkConversion result;
    if (utf8.empty()) {
        return result;
    }
    const std::u16string utf16 = utf8ToUtf16(utf8);
    UConverter* converter = gbkConverter();
    ucnv_resetFromUnicode(converter);
    UErrorCode status = U_ZERO_ERROR;
    UConverterFromUCallback oldAction = nullptr;
    const void* oldContext = nullptr;
    ucnv_setFromUCallBack(converter, countingSubstitute, &result.replaced, &oldAction, &oldContext,
                          &status);
    result.gbk.resize(utf16.size() * 2 + 1);
    const int32_t length = ucnv_fromUChars(
        converter, result.gbk.data(), static_cast<int32_t>(result.gbk.size()),
        reinterpret_cast<const UChar*>(utf16.data()), static_cast<int32_t>(utf16.size()), &status);
    UErrorCode restoreStatus = U_ZERO_ERROR;
    ucnv_setFromUCallBack(converter, oldAction, oldContext, nullptr, nullptr, &restoreStatus);
    result.gbk.resize(U_SUCCESS(status) ? static_cast<std::size_t>(length) : 0);
    return result;
}

std::string utf8ToGbk(std::string_view utf8)
{
    return utf8ToGbkCounted(utf8).gbk;
}

bool isValidUtf8(std::string_view bytes)
{
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        std::size_t extra = 0;
        if (lead < 0x80) {
            extra = 0;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            extra = 1;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            extra = 2;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            extra = 3;
        } else {
            return false;
        }
        for (std::size_t k = 1; k <= extra; ++k) {
            if (i + k >= bytes.size() ||
                (static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += extra + 1;
    }
    return true;
}

std::size_t findSingleByte(std::string_view gbk, char c, std::size_t from)
{
    for (std::size_t i = from; i < gbk.size(); i += gbkCharLength(gbk, i)) {
        if (gbk[i] == c && gbkCharLength(gbk, i) == 1) {
            return i;
        }
    }
    return std::string_view::npos;
}

std::size_t findLastSingleByte(std::string_view gbk, char c)
{
    std::size_t last = std::string_view::npos;
    for (std::size_t at = findSingleByte(gbk, c); at != std::string_view::npos;
         at = findSingleByte(gbk, c, at + 1)) {
        last = at;
    }
    return last;
}

std::string_view cutAtCharBoundary(std::string_view gbk, std::size_t maxBytes)
{
    std::size_t end = 0;
    while (end < gbk.size()) {
        const std::size_t next = end + gbkCharLength(gbk, end);
        if (next > maxBytes) {
            break;
        }
        end = next;
    }
    return gbk.substr(0, end);
}

void appendUpperAscii(std::string& out, std::string_view gbk)
{
    const std::size_t start = out.size();
    out += gbk;
    const std::string_view added(out.data() + start, gbk.size());
    for (std::size_t i = 0; i < added.size();) {
        const std::size_t length = gbkCharLength(added, i);
        if (length == 1 && added[i] >= 'a' && added[i] <= 'z') {
            out[start + i] = static_cast<char>(added[i] - 'a' + 'A');
        }
        i += length;
    }
}

std::string upperAscii(std::string_view gbk)
{
    std::string upper;
    appendUpperAscii(upper, gbk);
    return upper;
}

bool equalsNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && upperAscii(a) == upperAscii(b);
}

bool containsNoCase(std::string_view haystack, std::string_view needle)
{
    if (needle.empty()) {
        return true;
    }
    const std::string upperHaystack = upperAscii(haystack);
    const std::string upperNeedle = upperAscii(needle);
    const std::string_view text(upperHaystack);
    std::size_t boundary = 0;
    std::size_t hit = text.find(upperNeedle);
    while (hit != std::string_view::npos) {
        while (boundary < hit) {
            boundary += gbkCharLength(text, boundary);
        }
        if (boundary == hit) {
            return true;
        }
        hit = text.find(upperNeedle, boundary);
    }
    return false;
}

std::string_view trimBlanks(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

std::string decimal(long long value)
{
    return std::to_string(value);
}

} // namespace catalog
