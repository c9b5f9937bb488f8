#pragma once

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ostream>
#include <string>

namespace cli {

// "[#####     ] 12/2000" on standard error, redrawn at most ten times a second, and only
// when standard error is a terminal: a log or a pipe gets no carriage returns.
class ProgressBar
{
public:
    explicit ProgressBar(std::ostream& err, long long total = 0)
        : m_err(err), m_total(total), m_shown(::isatty(STDERR_FILENO) == 1)
    {}

    void advance()
    {
        ++m_done;
        const auto now = std::chrono::steady_clock::now();
        if (m_shown && (m_done == m_total || now - m_drawn >= std::chrono::milliseconds(100))) {
            m_drawn = now;
            draw();
        }
    }

    // Takes the bar off its line before something else is written to the terminal.
    void clear()
    {
        if (m_shown && m_visible) {
            m_err << "\r\033[K" << std::flush;
            m_visible = false;
        }
    }

    bool shown() const { return m_shown; }
    // For work that counts what it does before doing it.
    void setTotal(long long total) { m_total = total; }

private:
    void draw()
    {
        constexpr long long Width = 40;
        const long long filled = m_total > 0 ? std::min(Width, m_done * Width / m_total) : Width;
        m_err << "\r[" << std::string(static_cast<std::size_t>(filled), '#')
              << std::string(static_cast<std::size_t>(Width - filled), ' ') << "] " << m_done << '/'
              << m_total << std::flush;
        m_visible = true;
    }

    std::ostream& m_err;
    long long m_total;
    long long m_done = 0;
    bool m_shown;
    bool m_visible = false;
    std::chrono::steady_clock::time_point m_drawn{};
};

} // namespace cli
