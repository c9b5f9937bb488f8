#include "catalog/record_set.h"
#include "catalog/cdinfo.h"

#include "catalog/text.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace catalog {
namespace {

struct TextField
{
    std::size_t offset;
    std::size_t capacity;
    std::string TCDInfo::*member;
};

constexpr TextField TextFields[] = {
    {0, 20, &TCDInfo::cdno},     {21, 20, &TCDInfo::cdowner}, {56, 20, &TCDInfo::cdbuyaddr},
    {77, 20, &TCDInfo::cdmoney}, {98, 12, &TCDInfo::cdstyle}, {111, 12, &TCDInfo::cdzl},
    {124, 12, &TCDInfo::cdstat}, {137, 12, &TCDInfo::cdxz},   {150, 40, &TCDInfo::cdother},
};

constexpr std::size_t TimeOffset = 48;

// Day 0 of the day numbers, 1899-12-30, counted from 1970-01-01.
constexpr std::int64_t DayZero = -25569;
constexpr std::int64_t SecondsPerDay = 86400;
// 0001-01-01 and 9999-12-31, the range a stored date is taken from.
constexpr double FirstDay = -693593.0;
constexpr double LastDay = 2958465.0;

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day)
{
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

void civilFromDays(std::int64_t days, DateTimeParts& parts)
{
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned mp = (5 * dayOfYear + 2) / 153;
    parts.day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
    parts.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    parts.year = static_cast<int>(static_cast<std::int64_t>(yearOfEra) + era * 400 +
                                  (parts.month <= 2 ? 1 : 0));
}

void putLittleEndian(char* out, double value)
{
    auto bits = std::bit_cast<std::uint64_t>(value);
    for (int i = 0; i < 8; ++i) {
        out[i] = static_cast<char>(bits & 0xFF);
        bits >>= 8;
    }
}

double getLittleEndian(const char* in)
{
    std::uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) {
        bits = (bits << 8) | static_cast<unsigned char>(in[i]);
    }
    return std::bit_cast<double>(bits);
}

} // namespace

std::array<char, CDInfoSize> EncodeCDInfo(const TCDInfo& info)
{
    std::array<char, CDInfoSize> bytes{};
    for (const auto& field : TextFields) {
        const std::string_view value = cutAtCharBoundary(info.*field.member, field.capacity);
        bytes[field.offset] = static_cast<char>(value.size());
        std::memcpy(bytes.data() + field.offset + 1, value.data(), value.size());
    }
    putLittleEndian(bytes.data() + TimeOffset, info.cdtime);
    return bytes;
}

std::optional<TCDInfo> DecodeCDInfo(std::string_view bytes)
{
    if (bytes.size() < CDInfoSize) {
        return std::nullopt;
    }
    TCDInfo info;
    for (const auto& field : TextFields) {
        // A length byte beyond the capacity (a damaged file) must not reach the next field.
        std::size_t length = static_cast<unsigned char>(bytes[field.offset]);
        if (length > field.capacity) {
            length = field.capacity;
        }
        info.*field.member = std::string(bytes.substr(field.offset + 1, length));
    }
    info.cdtime = getLittleEndian(bytes.data() + TimeOffset);
    return info;
}

CDInfoRead ReadCDInfo(const RecordRef& record)
{
    CDInfoRead result;
    const std::string path = FindRecordFile(record.folder, record.name, RecordExt::Ifn);
    if (path.empty()) {
        result.status = CDInfoRead::Status::Missing;
        return result;
    }
    const auto decoded = DecodeCDInfo(ReadWholeFile(path));
    if (!decoded) {
        result.status = CDInfoRead::Status::Short;
        return result;
    }
    result.status = CDInfoRead::Status::Ok;
    result.info = *decoded;
    return result;
}

void WriteCDInfo(const RecordRef& record, const TCDInfo& info)
{
    const auto bytes = EncodeCDInfo(info);
    const FolderLock lock(record.folder);
    RequireRecord(record.folder, record.name);
    WriteRecordFile(record.folder, record.name, RecordExt::Ifn,
                    std::string_view(bytes.data(), bytes.size()));
}

double ToDayNumber(const DateTimeParts& parts)
{
    const std::int64_t days = daysFromCivil(parts.year, static_cast<unsigned>(parts.month),
                                            static_cast<unsigned>(parts.day)) -
                              DayZero;
    const double time = static_cast<double>(parts.hour * 3600 + parts.minute * 60 + parts.second) /
                        static_cast<double>(SecondsPerDay);
    // Before day 0 the fraction still counts forward from midnight: -1.25 is
    // 1899-12-29 06:00.
    return days < 0 ? static_cast<double>(days) - time : static_cast<double>(days) + time;
}

DateTimeParts FromDayNumber(double days)
{
    // A damaged file may hold any bit pattern; keep the value inside the calendar.
    if (std::isnan(days)) {
        days = 0.0;
    }
    if (days < FirstDay) {
        days = FirstDay;
    }
    if (days >= LastDay + 1.0) {
        days = LastDay + static_cast<double>(SecondsPerDay - 1) / SecondsPerDay;
    }
    auto wholeDays = static_cast<std::int64_t>(std::trunc(days));
    std::int64_t seconds = std::llround(std::fabs(days - std::trunc(days)) * SecondsPerDay);
    if (seconds >= SecondsPerDay) {
        seconds -= SecondsPerDay;
        ++wholeDays;
    }
    DateTimeParts parts;
    civilFromDays(wholeDays + DayZero, parts);
    parts.hour = static_cast<int>(seconds / 3600);
    parts.minute = static_cast<int>(seconds / 60 % 60);
    parts.second = static_cast<int>(seconds % 60);
    return parts;
}

TCDInfo DefaultCDInfo(double now)
{
    TCDInfo info;
    info.cdtime = now;
    info.cdstyle = utf8ToGbk("一般光盘");
    info.cdzl = utf8ToGbk("一般");
    info.cdstat = utf8ToGbk("保存中");
    info.cdxz = utf8ToGbk("一般");
    return info;
}

} // namespace catalog
