#pragma once

#include "catalog/disk.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

// The 192-byte information record (.ifn) of a CD.
namespace catalog {

struct TCDInfo
{
    std::string cdno;      // 20 bytes
    std::string cdowner;   // 20
    double cdtime = 0.0;   // days since 1899-12-30, fraction = time of day
    std::string cdbuyaddr; // 20
    std::string cdmoney;   // 20, capacity in bytes as decimal digits
    std::string cdstyle;   // 12
    std::string cdzl;      // 12
    std::string cdstat;    // 12
    std::string cdxz;      // 12
    std::string cdother;   // 40

    bool operator==(const TCDInfo&) const = default;
};

inline constexpr std::size_t CDInfoSize = 192;

// Exactly 192 bytes; a longer value is cut to its field's capacity at a character boundary.
std::array<char, CDInfoSize> EncodeCDInfo(const TCDInfo& info);
// nullopt when fewer than 192 bytes are given.
std::optional<TCDInfo> DecodeCDInfo(std::string_view bytes);

struct CDInfoRead
{
    enum class Status { Ok, Missing, Short } status = Status::Missing;
    TCDInfo info;
};
// The information of a CD that has none yet, bought at `now` (days since 1899-12-30).
TCDInfo DefaultCDInfo(double now);

CDInfoRead ReadCDInfo(const RecordRef& record);
void WriteCDInfo(const RecordRef& record, const TCDInfo& info);

// Days since 1899-12-30 <-> calendar date and time (proleptic Gregorian).
struct DateTimeParts
{
    int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0;
};
double ToDayNumber(const DateTimeParts& parts);
DateTimeParts FromDayNumber(double days);

} // namespace catalog
