#pragma once

#include "platform/clock.h"

namespace platform::linux_edition {

// The real-time clock in the local time zone.
class SystemClock : public platform::Clock
{
public:
    LocalDateTime now() const override;
};

} // namespace platform::linux_edition
