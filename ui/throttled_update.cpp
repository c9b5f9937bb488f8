#include "ui/throttled_update.h"

namespace ui {

ThrottledUpdate::ThrottledUpdate(std::function<void()> show, QObject* parent)
    : QObject(parent), m_show(std::move(show))
{
    m_waiting.setSingleShot(true);
    connect(&m_waiting, &QTimer::timeout, this, &ThrottledUpdate::showNow);
}

void ThrottledUpdate::request()
{
    if (!m_lastShown.isValid() || m_lastShown.elapsed() >= IntervalMs) {
        showNow();
    } else if (!m_waiting.isActive()) {
        m_waiting.start(static_cast<int>(IntervalMs - m_lastShown.elapsed()));
    }
}

void ThrottledUpdate::flush()
{
    if (m_waiting.isActive()) {
        showNow();
    }
}

void ThrottledUpdate::cancel()
{
    m_waiting.stop();
}

void ThrottledUpdate::showNow()
{
    m_waiting.stop();
    m_lastShown.start();
    m_show();
}

} // namespace ui
