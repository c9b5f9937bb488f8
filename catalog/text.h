#pragma once

#include <string>
#include <string_view>

// Text of the library is GBK (code page 936) bytes in std::string; conversion to
// and from UTF-8 happens only at the edges (display, input, disc names, CLI).
namespace catalog {

// GBK bytes -> UTF-16, for ICU services.
std::u16string gbkToUtf16(std::string_view gbk);

// GBK bytes -> UTF-8, as code page 936 has them: 0x80 is the euro sign, the 0xFF of the
// two special names U+F8F5 (private use), and a lead byte without its trail U+FFFD.
std::string gbkToUtf8(std::string_view gbk);
// The same conversion appended to out.
void AppendGbkAsUtf8(std::string& out, std::string_view gbk);
// The same conversion written at to, which has room for one and a half times gbk's bytes,
// by a table of the characters: returns the end, or nullptr at the first byte the table
// cannot convert (0x80, 0xFF, a lead byte without its trail, a pair that is no character),
// which only gbkToUtf8 converts.
char* PutGbkAsUtf8(char* to, std::string_view gbk);

struct GbkConversion
{
    std::string gbk;
    int replaced = 0; // characters GBK cannot hold, written as "?"
};

// UTF-8 -> GBK; every character GBK cannot hold becomes "?".
GbkConversion utf8ToGbkCounted(std::string_view utf8);
std::string utf8ToGbk(std::string_view utf8);

bool isValidUtf8(std::string_view bytes);

// Length in bytes of the GBK character that starts at text[i] (1 or 2).
inline std::size_t gbkCharLength(std::string_view text, std::size_t i)
{
    const auto lead = static_cast<unsigned char>(text[i]);
    return (lead >= 0x81 && lead <= 0xFE && i + 1 < text.size()) ? 2 : 1;
}

// Position of the single-byte character c at or after from (a character boundary), npos
// when there is none. Walks characters: 0x5C ('\\') and '|' are also GBK trail bytes.
std::size_t findSingleByte(std::string_view gbk, char c, std::size_t from = 0);
// The last such position, npos when there is none.
std::size_t findLastSingleByte(std::string_view gbk, char c);

// The longest prefix of at most maxBytes bytes that does not split a double-byte character.
std::string_view cutAtCharBoundary(std::string_view gbk, std::size_t maxBytes);

// ASCII upper-casing that leaves the trail byte of a double-byte character alone.
std::string upperAscii(std::string_view gbk);
// The same, appended to out.
void appendUpperAscii(std::string& out, std::string_view gbk);

// Equality after upperAscii on both sides.
bool equalsNoCase(std::string_view a, std::string_view b);

// True when needle occurs in haystack, ignoring ASCII case, starting at a character
// boundary of haystack. An empty needle is contained in everything.
bool containsNoCase(std::string_view haystack, std::string_view needle);

// Removes leading and trailing blanks (space and TAB).
std::string_view trimBlanks(std::string_view text);

// Decimal rendering used in count texts and record files.
std::string decimal(long long value);

} // namespace catalog
