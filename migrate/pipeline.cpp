#include "migrate/pipeline.h"

namespace migrate {

ImportThread::ImportThread(Importer& importer, Done done)
    : m_importer(importer), m_done(std::move(done)), m_thread([this] { run(); })
{}

ImportThread::~ImportThread()
{
    {
        const std::lock_guard lock(m_lock);
        m_closed = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

bool ImportThread::push(Disc& disc)
{
    std::unique_lock lock(m_lock);
    m_changed.wait(lock, [this] { return !m_waiting || m_error; });
    if (m_error) {
        return false;
    }
    m_waiting.emplace(std::move(disc));
    m_changed.notify_all();
    return true;
}

void ImportThread::finish()
{
    {
        const std::lock_guard lock(m_lock);
        m_closed = true;
    }
    m_changed.notify_all();
    m_thread.join();
    if (m_error) {
        std::rethrow_exception(m_error);
    }
    m_importer.finish();
}

void ImportThread::run()
{
    std::vector<std::string> problems;
    for (;;) {
        Disc disc;
        {
            std::unique_lock lock(m_lock);
            m_changed.wait(lock, [this] { return m_waiting || m_closed; });
            if (!m_waiting) {
                return;
            }
            disc = std::move(*m_waiting);
            m_waiting.reset();
        }
        m_changed.notify_all();
        try {
            problems.clear();
            const DiscResult result = m_importer.add(disc, problems);
            m_done(result, problems);
        } catch (...) {
            const std::lock_guard lock(m_lock);
            m_error = std::current_exception();
            m_changed.notify_all();
            return;
        }
    }
}

ImportRun ImportCatalogue(Input& input, Format format, const std::string& listDiscUtf8,
                          Importer& importer, const ImportThread::Done& done,
                          const std::function<bool()>& stop)
{
    ImportRun run;
    ImportThread thread(
        importer, [&](const DiscResult& result, const std::vector<std::string>& problemsUtf8) {
            if (result.outcome == DiscOutcome::Written || result.outcome == DiscOutcome::Replaced ||
                result.outcome == DiscOutcome::Checked) {
                ++run.discs;
            }
            run.discsRefused = run.discsRefused || result.outcome == DiscOutcome::Refused;
            done(result, problemsUtf8);
        });
    const DiscSink sink = [&](Disc& disc) {
        if (stop()) {
            run.stopped = true;
            return false;
        }
        return thread.push(disc);
    };
    try {
        ReadCatalogue(input, format, listDiscUtf8, sink, run.notes);
    } catch (const ReadError& error) {
        run.failureUtf8 = error.messageUtf8;
    }
    thread.finish();
    return run;
}

} // namespace migrate
