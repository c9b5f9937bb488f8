#pragma once

#include <QEventLoop>
#include <QMetaObject>

#include <exception>
#include <optional>
#include <thread>

namespace ui {

// What the user may do while long work runs aside: nothing but watch it (the library
// must not change meanwhile), or also press the dialog's abort button.
enum class WhileRunning { HoldUserInput, TakeUserInput };

// Runs work on a thread of its own while this thread goes on with its events (painting,
// timers), and returns what work returned; what work threw is thrown here.
template <typename Work>
auto RunAside(Work work, WhileRunning input = WhileRunning::HoldUserInput) -> decltype(work())
{
    std::optional<decltype(work())> result;
    std::exception_ptr failure;
    QEventLoop loop;
    std::thread worker([&] {
        try {
            result.emplace(work());
        } catch (...) {
            failure = std::current_exception();
        }
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec(input == WhileRunning::HoldUserInput ? QEventLoop::ExcludeUserInputEvents
                                                   : QEventLoop::AllEvents);
    worker.join();
    if (failure) {
        std::rethrow_exception(failure);
    }
    return std::move(*result);
}

} // namespace ui
