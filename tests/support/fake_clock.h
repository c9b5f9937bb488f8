#pragma once

#include "platform/clock.h"

namespace testing_support {

// A clock that shows whatever time the test sets.
class FakeClock : public platform::Clock
{
public:
    explicit FakeClock(platform::LocalDateTime now = {}) : m_now(now) {}
    platform::LocalDateTime now() const override { return m_now; }
    void set(platform::LocalDateTime now) { m_now = now; }

private:
    platform::LocalDateTime m_now;
};

} // namespace testing_support
