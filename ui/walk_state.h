#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>

namespace ui {

// What a dialog and the walk it runs on another thread share: how far the walk got, the
// CD it is at, and the user's abort. While the abort question is open the walk waits at
// its next step, as if the question had been asked between two CDs.
class WalkState
{
public:
    // A new walk: nothing done, nothing aborted.
    void restart()
    {
        m_abort = false;
        m_advanced = 0;
        const std::lock_guard lock(m_currentLock);
        m_inCd = false;
    }

    // ---- Called by the walk.
    // Asked before each step: waits while the question is open, then true to stop.
    bool stopRequested()
    {
        std::unique_lock lock(m_pauseLock);
        m_resumed.wait(lock, [this] { return !m_paused; });
        return m_abort;
    }
    void starting(const std::string& cdNameGbk)
    {
        const std::lock_guard lock(m_currentLock);
        m_currentGbk = cdNameGbk;
        m_inCd = true;
    }
    void advanced()
    {
        ++m_advanced;
        const std::lock_guard lock(m_currentLock);
        m_inCd = false;
    }

    // ---- Called by the dialog.
    // Runs ask (the abort question) while the walk waits; its yes aborts the walk.
    template <typename Ask> void askWhilePaused(Ask ask)
    {
        setPaused(true);
        try {
            if (ask()) {
                m_abort = true;
            }
        } catch (...) {
            setPaused(false);
            throw;
        }
        setPaused(false);
    }
    // Stops the walk at its next step without a question (the dialog is going away).
    void abort() { m_abort = true; }
    bool aborted() const { return m_abort; }
    int advancedCount() const { return m_advanced; }
    // The GBK name of the CD the walk is at, if it is at one.
    std::optional<std::string> current() const
    {
        const std::lock_guard lock(m_currentLock);
        return m_inCd ? std::optional<std::string>(m_currentGbk) : std::nullopt;
    }

private:
    void setPaused(bool paused)
    {
        {
            const std::lock_guard lock(m_pauseLock);
            m_paused = paused;
        }
        m_resumed.notify_all();
    }

    std::atomic<bool> m_abort{false};
    std::atomic<int> m_advanced{0};
    std::mutex m_pauseLock;
    std::condition_variable m_resumed;
    bool m_paused = false;
    mutable std::mutex m_currentLock;
    std::string m_currentGbk;
    bool m_inCd = false;
};

} // namespace ui
