#include "platform/linux/system_clock.h"

#include <ctime>

namespace platform::linux_edition {

LocalDateTime SystemClock::now() const
{
    timespec stamp{};
    ::clock_gettime(CLOCK_REALTIME, &stamp);
    std::tm local{};
    ::localtime_r(&stamp.tv_sec, &local);

    LocalDateTime result;
    result.year = local.tm_year + 1900;
    result.month = local.tm_mon + 1;
    result.day = local.tm_mday;
    result.hour = local.tm_hour;
    result.minute = local.tm_min;
    // A leap second shows as :60; the callers' date arithmetic knows only 0..59.
    result.second = local.tm_sec > 59 ? 59 : local.tm_sec;
    result.millisecond = static_cast<int>(stamp.tv_nsec / 1000000);
    return result;
}

} // namespace platform::linux_edition
