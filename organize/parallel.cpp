#include "organize/parallel.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace organize {

void ForEachInParallel(std::size_t count, const std::function<void(std::size_t item)>& work)
{
    const std::size_t workers =
        std::min<std::size_t>(count, std::max(1U, std::thread::hardware_concurrency()));
    std::atomic<std::size_t> next{0};
    std::vector<std::exception_ptr> failures(workers);
    const auto run = [&](std::size_t worker) {
        try {
            for (std::size_t item = next++; item < count; item = next++) {
                work(item);
            }
        } catch (...) {
            failures[worker] = std::current_exception();
            next = count; // nothing more is handed out
        }
    };
    std::vector<std::thread> helpers;
    for (std::size_t worker = 1; worker < workers; ++worker) {
        helpers.emplace_back(run, worker);
    }
    if (workers > 0) {
        run(0);
    }
    for (auto& helper : helpers) {
        helper.join();
    }
    for (const auto& failure : failures) {
        if (failure) {
            std::rethrow_exception(failure);
        }
    }
}

namespace {

// The state ForEachInOrder's threads share, under its lock.
class InOrder
{
public:
    InOrder(std::size_t count, std::size_t window) : m_count(count), m_made(window) {}

    // The next item to make, or none once all are handed out or the work stopped.
    std::optional<std::size_t> take()
    {
        std::unique_lock guard(m_lock);
        m_changed.wait(guard, [&] {
            return m_stopped || m_next >= m_count || m_next < m_used + m_made.size();
        });
        if (m_stopped || m_next >= m_count) {
            return std::nullopt;
        }
        return m_next++;
    }
    void made(std::size_t item)
    {
        change([&] { m_made[item % m_made.size()] = true; });
    }
    // Waits for the item to be made; false once the work stopped.
    bool awaitMade(std::size_t item)
    {
        std::unique_lock guard(m_lock);
        m_changed.wait(guard, [&] { return m_stopped || m_made[item % m_made.size()]; });
        return !m_stopped;
    }
    void used(std::size_t item)
    {
        change([&] {
            m_made[item % m_made.size()] = false;
            ++m_used;
        });
    }
    void stop(std::exception_ptr failure)
    {
        change([&] {
            if (!m_failure) {
                m_failure = failure;
            }
            m_stopped = true;
        });
    }
    std::exception_ptr failure() const { return m_failure; }

private:
    template <typename Change> void change(Change&& apply)
    {
        {
            const std::lock_guard guard(m_lock);
            apply();
        }
        m_changed.notify_all();
    }

    const std::size_t m_count;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<char> m_made; // by slot
    std::size_t m_next = 0;
    std::size_t m_used = 0;
    bool m_stopped = false;
    std::exception_ptr m_failure;
};

} // namespace

void ForEachInOrder(std::size_t count, std::size_t window, const InOrderStep& make,
                    const InOrderStep& use)
{
    window = std::max<std::size_t>(window, 1);
    InOrder work(count, window);
    const auto maker = [&] {
        try {
            while (const auto item = work.take()) {
                make(*item, *item % window);
                work.made(*item);
            }
        } catch (...) {
            work.stop(std::current_exception());
        }
    };
    const std::size_t makers =
        std::min<std::size_t>(count, std::max(1U, std::thread::hardware_concurrency()));
    std::vector<std::thread> threads;
    for (std::size_t made = 0; made < makers; ++made) {
        threads.emplace_back(maker);
    }
    try {
        for (std::size_t item = 0; item < count && work.awaitMade(item); ++item) {
            use(item, item % window);
            work.used(item);
        }
    } catch (...) {
        work.stop(std::current_exception());
    }
    work.stop(nullptr); // the makers waiting for room end
    for (auto& thread : threads) {
        thread.join();
    }
    if (work.failure()) {
        std::rethrow_exception(work.failure());
    }
}

} // namespace organize
