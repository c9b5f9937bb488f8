#pragma once

#include "migrate/import.h"
#include "migrate/readers.h"

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

// What reading a catalogue file into a box did.
struct ImportRun
{
    int discs = 0;             // written or replaced; in a dry run, checked
    bool discsRefused = false; // a disc could not be imported (the problems say why)
    ReadNotes notes;           // the reader's problems, and whether the file had sizes or dates
    std::optional<std::string> failureUtf8; // the file could not be read to its end
    bool stopped = false;                   // stop() ended the reading
};

// Reads every disc of the file into the importer's box, importing each disc on a thread
// of its own while the next is read. done hears of each disc on that thread; stop is asked
// before each disc is handed over. Throws catalog::FileError when a record cannot be
// written: the discs before it stay.
ImportRun ImportCatalogue(Input& input, Format format, const std::string& listDiscUtf8,
                          Importer& importer, const ImportThread::Done& done,
                          const std::function<bool()>& stop);

} // namespace migrate
