#pragma once

#include "migrate/import.h"

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace migrate {

// The import of each disc on a thread of its own, one disc behind the reading: on two
// cores the file is parsed while the disc before is scanned and written. At most one
// disc waits, so memory stays bounded by the largest discs, not the file.
class ImportThread
{
public:
    // done is called on the import's thread after each disc, with the problems it found.
    using Done =
        std::function<void(const DiscResult& result, const std::vector<std::string>& problemsUtf8)>;
    ImportThread(Importer& importer, Done done);
    ~ImportThread();
    ImportThread(const ImportThread&) = delete;
    ImportThread& operator=(const ImportThread&) = delete;

    // Hands a disc over (taking its content); false once the import failed.
    bool push(Disc& disc);
    // Waits for the discs handed over, then finishes the importer. Throws what the import
    // threw (catalog::FileError).
    void finish();

private:
    void run();

    Importer& m_importer;
    Done m_done;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::optional<Disc> m_waiting;
    bool m_closed = false;
    std::exception_ptr m_error;
    std::thread m_thread;
};

} // namespace migrate
