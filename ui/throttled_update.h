#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>

namespace ui {

// Brings a changing value of a long command to the screen at most about 30 times a
// second: a window manager that redraws every title or status change can take longer
// than the work itself. The owner keeps the latest value; `show` puts it on screen.
class ThrottledUpdate : public QObject
{
public:
    static constexpr int IntervalMs = 33;

    explicit ThrottledUpdate(std::function<void()> show, QObject* parent = nullptr);

    // The value changed: shown now when the last showing is an interval old, otherwise
    // when the interval ends (the command pumps events meanwhile).
    void request();
    // Shows a change still waiting, at once.
    void flush();
    // Forgets a change still waiting (the owner puts its final state on screen itself).
    void cancel();

private:
    void showNow();

    std::function<void()> m_show;
    QElapsedTimer m_lastShown;
    QTimer m_waiting;
};

} // namespace ui
