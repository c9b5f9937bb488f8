#pragma once

namespace platform {

// Local calendar date and time of day.
struct LocalDateTime
{
    int year = 1899;
    int month = 12;
    int day = 30;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

class Clock
{
public:
    virtual ~Clock() = default;
    virtual LocalDateTime now() const = 0;
};

} // namespace platform
