// Reads the Unicode Han database's readings (Unihan_Readings.txt) on standard input and
// writes, for every double-byte GBK code, the set of first letters of its readings as a
// C++ array: one 32-bit mask per code, bit 0 for A. Run once at build time.
#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/unorm2.h>
#include <unicode/ustring.h>
#include <unicode/utrans.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

namespace {

constexpr int FirstLead = 0x81, LastLead = 0xFE, FirstTrail = 0x40, LastTrail = 0xFE;
constexpr int Trails = LastTrail - FirstTrail + 1;
constexpr int Codes = (LastLead - FirstLead + 1) * Trails;

// Every field that records a Mandarin reading: the dictionaries' own (kHanyuPinyin,
// kXHC1983, kTGHZ2013) give all readings, kMandarin the usual one, kHanyuPinlu the
// frequent ones. Simplified characters such as 长 have their second reading only in the
// modern dictionaries.
bool isReadingField(const std::string& field)
{
    return field == "kHanyuPinyin" || field == "kMandarin" || field == "kXHC1983" ||
           field == "kTGHZ2013" || field == "kHanyuPinlu";
}

// The base letter of a reading's first character (à gives a, ǚ gives u, ḿ gives m).
int initialOf(const std::string& reading, const UNormalizer2* nfd)
{
    UErrorCode status = U_ZERO_ERROR;
    UChar utf16[64];
    int32_t length = 0;
    u_strFromUTF8(utf16, 64, &length, reading.c_str(), static_cast<int32_t>(reading.size()),
                  &status);
    UChar decomposed[128];
    const int32_t n = unorm2_normalize(nfd, utf16, length, decomposed, 128, &status);
    if (U_FAILURE(status) || n == 0) {
        return -1;
    }
    const UChar first = decomposed[0];
    if (first >= u'a' && first <= u'z') {
        return first - u'a';
    }
    if (first >= u'A' && first <= u'Z') {
        return first - u'A';
    }
    return -1;
}

// The readings of one field's value: "10009.030:wàn,mò", "wàn mò", "xíng(2943) háng(218)".
void addReadings(const std::string& value, std::uint32_t& mask, const UNormalizer2* nfd)
{
    std::istringstream words(value);
    std::string word;
    while (words >> word) {
        if (const auto colon = word.find(':'); colon != std::string::npos) {
            word.erase(0, colon + 1);
        }
        std::istringstream readings(word);
        std::string reading;
        while (std::getline(readings, reading, ',')) {
            reading.erase(reading.find('(') == std::string::npos ? reading.size()
                                                                 : reading.find('('));
            if (const int letter = initialOf(reading, nfd); letter >= 0) {
                mask |= 1u << letter;
            }
        }
    }
}

int gbkIndex(UChar32 codePoint, UConverter* gbk)
{
    UChar utf16[2];
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF32(utf16, 2, &length, &codePoint, 1, &status);
    char bytes[8];
    const int32_t n = ucnv_fromUChars(gbk, bytes, sizeof bytes, utf16, length, &status);
    if (U_FAILURE(status) || n != 2) {
        return -1;
    }
    const int lead = static_cast<unsigned char>(bytes[0]);
    const int trail = static_cast<unsigned char>(bytes[1]);
    if (lead < FirstLead || lead > LastLead || trail < FirstTrail || trail > LastTrail) {
        return -1;
    }
    return (lead - FirstLead) * Trails + (trail - FirstTrail);
}

// ICU's Han-Latin transliteration gives one reading per character: a cross-check that
// adds its initial where the database has none, and counts those.
int addIcuReadings(std::array<std::uint32_t, Codes>& masks, UConverter* gbk)
{
    UErrorCode status = U_ZERO_ERROR;
    const UChar id[] = u"Han-Latin; Latin-ASCII";
    UTransliterator* toLatin = utrans_openU(id, -1, UTRANS_FORWARD, nullptr, 0, nullptr, &status);
    if (U_FAILURE(status)) {
        return -1;
    }
    int added = 0;
    for (int index = 0; index < Codes; ++index) {
        const char bytes[2] = {static_cast<char>(FirstLead + index / Trails),
                               static_cast<char>(FirstTrail + index % Trails)};
        UChar text[16];
        status = U_ZERO_ERROR;
        const int32_t length = ucnv_toUChars(gbk, text, 16, bytes, 2, &status);
        if (U_FAILURE(status) || length != 1 || !u_hasBinaryProperty(text[0], UCHAR_IDEOGRAPHIC)) {
            continue;
        }
        int32_t textLength = length;
        int32_t limit = length;
        utrans_transUChars(toLatin, text, &textLength, 16, 0, &limit, &status);
        const UChar first = text[0];
        if (U_SUCCESS(status) && first >= u'a' && first <= u'z' &&
            !(masks[index] & (1u << (first - u'a')))) {
            masks[index] |= 1u << (first - u'a');
            ++added;
        }
    }
    utrans_close(toLatin);
    return added;
}

} // namespace

int main()
{
    UErrorCode status = U_ZERO_ERROR;
    UConverter* gbk = ucnv_open("windows-936", &status);
    const UNormalizer2* nfd = unorm2_getNFDInstance(&status);
    if (U_FAILURE(status)) {
        std::cerr << "make_pinyin_table: " << u_errorName(status) << '\n';
        return 1;
    }
    ucnv_setFromUCallBack(gbk, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    std::array<std::uint32_t, Codes> masks{};
    std::string line;
    int readings = 0;
    while (std::getline(std::cin, line)) {
        if (!line.starts_with("U+")) {
            continue;
        }
        const auto tab1 = line.find('\t');
        const auto tab2 = line.find('\t', tab1 + 1);
        if (tab1 == std::string::npos || tab2 == std::string::npos ||
            !isReadingField(line.substr(tab1 + 1, tab2 - tab1 - 1))) {
            continue;
        }
        const auto codePoint =
            static_cast<UChar32>(std::stoul(line.substr(2, tab1 - 2), nullptr, 16));
        if (const int index = gbkIndex(codePoint, gbk); index >= 0) {
            addReadings(line.substr(tab2 + 1), masks[index], nfd);
            ++readings;
        }
    }
    const int addedByIcu = addIcuReadings(masks, gbk);
    ucnv_close(gbk);
    std::cerr << "make_pinyin_table: " << readings << " readings, " << addedByIcu
              << " initials only ICU gives\n";
    if (readings < 20000 ||
        addedByIcu < 0) { // GBK holds about 21,000 Han characters, most with several fields
        std::cerr << "make_pinyin_table: only " << readings << " readings on input\n";
        return 1;
    }
    std::cout << "// Made by search/tools/make_pinyin_table.cpp from the Unicode Han database.\n";
    for (int i = 0; i < Codes; ++i) {
        std::cout << "0x" << std::hex << masks[i] << (i % 8 == 7 ? ",\n" : ",");
    }
    std::cout << '\n';
    return 0;
}
