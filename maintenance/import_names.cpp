#include "maintenance/import_names.h"

#include "catalog/library.h"
#include "catalog/text.h"

#include <cstdint>

namespace maintenance {
namespace {

constexpr int Chinese = 2;
constexpr int Plausible = 1;
constexpr int Unlikely = 0;
constexpr int LookAlike = -2;

// How much a reading looks like Chinese text: the sum over its non-ASCII characters and
// their number, compared as averages so that a reading that splits the bytes into more
// characters gains nothing by it.
struct Score
{
    long sum = 0;
    long characters = 0;
    bool valid = true;
    bool allChinese = true;

    void add(int points)
    {
        sum += points;
        ++characters;
        allChinese = allChinese && points == Chinese;
    }
};

bool isCjk(char32_t c)
{
    return (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0x3400 && c <= 0x4DBF) ||
           (c >= 0xF900 && c <= 0xFAFF) || (c >= 0x20000 && c <= 0x2FFFF) ||
           (c >= 0x3000 && c <= 0x303F) || (c >= 0xFF00 && c <= 0xFFEF);
}

// Two-byte UTF-8 gives Latin-1, Greek, Cyrillic and the like: what GBK text turns into
// when read as UTF-8. The private use area is what GBK's user-defined rows give.
int pointsOf(char32_t c)
{
    if (isCjk(c)) {
        return Chinese;
    }
    if ((c >= 0x80 && c <= 0x7FF) || (c >= 0xE000 && c <= 0xF8FF)) {
        return LookAlike;
    }
    // Beyond the BMP (emoji): only four-byte UTF-8 makes these, never GBK bytes by chance.
    return c >= 0x10000 ? Chinese : Unlikely;
}

// The name is valid UTF-8.
Score utf8Reading(std::string_view name)
{
    Score score;
    for (std::size_t i = 0; i < name.size();) {
        const auto lead = static_cast<unsigned char>(name[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        char32_t c = lead & (0x3F >> (length - 1));
        for (std::size_t k = 1; k < length; ++k) {
            c = c << 6 | (static_cast<unsigned char>(name[i + k]) & 0x3F);
        }
        // GBK text seldom forms a valid sequence of three bytes by chance: kana, general
        // punctuation and the like count a little for this reading.
        const int points = pointsOf(c);
        score.add(points == Unlikely && length == 3 ? Plausible : points);
        i += length;
    }
    return score;
}

// Common Chinese characters are GB2312's (rows B0-F7); the rest of GBK's ideographs are
// what UTF-8 bytes read as GBK mostly give.
bool inGb2312Hanzi(unsigned char lead, unsigned char trail)
{
    return lead >= 0xB0 && lead <= 0xF7 && trail >= 0xA1;
}

Score gbkReading(std::string_view name)
{
    Score score;
    for (std::size_t i = 0; i < name.size();) {
        const auto lead = static_cast<unsigned char>(name[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        std::size_t length = 1;
        if (lead >= 0x81 && lead <= 0xFE) {
            const auto trail = i + 1 < name.size() ? static_cast<unsigned char>(name[i + 1]) : 0;
            if (trail < 0x40 || trail == 0x7F || trail == 0xFF) {
                score.valid = false;
                return score;
            }
            length = 2;
        }
        const std::u16string unit = catalog::gbkToUtf16(name.substr(i, length));
        if (unit.size() != 1 || unit[0] == 0xFFFD) {
            score.valid = false; // 0xFF, or a pair with no character
            return score;
        }
        int points = pointsOf(unit[0]);
        if (points == Chinese && length == 2 && !(unit[0] >= 0x3000 && unit[0] <= 0x303F) &&
            !(unit[0] >= 0xFF00 && unit[0] <= 0xFFEF) &&
            !inGb2312Hanzi(lead, static_cast<unsigned char>(name[i + 1]))) {
            points = Unlikely;
        }
        score.add(points);
        i += length;
    }
    return score;
}

bool isAscii(std::string_view name)
{
    for (const char c : name) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

} // namespace

ImportNames::Reading ImportNames::ownReading(std::string_view name)
{
    const Score gbk = gbkReading(name);
    if (!catalog::isValidUtf8(name)) {
        return gbk.valid ? Reading::Gbk : Reading::Undecided;
    }
    if (!gbk.valid) {
        return Reading::Utf8;
    }
    const Score utf8 = utf8Reading(name);
    // Chinese throughout as UTF-8 is next to never GBK bytes: those read as UTF-8 give
    // Latin-1 look-alikes.
    if (utf8.allChinese) {
        return Reading::Utf8;
    }
    const long asUtf8 = utf8.sum * gbk.characters;
    const long asGbk = gbk.sum * utf8.characters;
    return asUtf8 > asGbk ? Reading::Utf8 : asGbk > asUtf8 ? Reading::Gbk : Reading::Undecided;
}

void ImportNames::observe(std::string_view name)
{
    if (isAscii(name)) {
        return;
    }
    switch (ownReading(name)) {
    case Reading::Gbk:
        ++m_gbkNames;
        break;
    case Reading::Utf8:
        ++m_utf8Names;
        break;
    case Reading::Undecided:
        break;
    }
}

std::optional<std::string> ImportNames::gbkName(std::string_view name) const
{
    if (isAscii(name) || name == catalog::ResultsFolderName()) {
        return std::string(name);
    }
    Reading reading = ownReading(name);
    const bool tie = reading == Reading::Undecided;
    if (tie) {
        if (!catalog::isValidUtf8(name)) {
            return std::nullopt; // neither reading holds it
        }
        // Both readings hold it equally well: the tree's names decide, and without a
        // majority the bytes stay as they are, as the library's own names are.
        reading = m_utf8Names > m_gbkNames ? Reading::Utf8 : Reading::Gbk;
    }
    if (reading == Reading::Gbk) {
        return std::string(name);
    }
    catalog::GbkConversion converted = catalog::utf8ToGbkCounted(name);
    if (converted.replaced > 0) {
        // In a tie the GBK reading is as good and loses nothing.
        return tie ? std::optional<std::string>(name) : std::nullopt;
    }
    return std::move(converted.gbk);
}

} // namespace maintenance
