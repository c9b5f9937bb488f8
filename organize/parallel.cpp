#include "organize/parallel.h"

#include <algorithm>
#include <atomic>
#include <exception>
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

} // namespace organize
