#include "search/index_keeper.h"

#include "catalog/disk.h"

#include <utility>

namespace search {

IndexKeeper::IndexKeeper(std::string indexFolder, std::string libraryRoot)
    : m_indexFolder(std::move(indexFolder)), m_libraryRoot(std::move(libraryRoot)),
      m_worker([this] { work(); })
{
    catalog::SetRecordObserver(this);
}

IndexKeeper::~IndexKeeper()
{
    catalog::SetRecordObserver(nullptr);
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_worker.join();
}

void IndexKeeper::buildIfMissing()
{
    {
        const std::lock_guard lock(m_mutex);
        m_build = true;
    }
    m_wake.notify_all();
}

void IndexKeeper::refresh(std::vector<StaleRecord> records, FolderListings listed)
{
    if (records.empty() && !listed.keepsAny()) {
        return;
    }
    {
        const std::lock_guard lock(m_mutex);
        m_stale.insert(m_stale.end(), std::make_move_iterator(records.begin()),
                       std::make_move_iterator(records.end()));
        m_listed.merge(std::move(listed));
    }
    m_wake.notify_all();
}

void IndexKeeper::recordChanged(const std::string& folder, std::string_view)
{
    {
        const std::lock_guard lock(m_mutex);
        m_folders.insert(folder);
    }
    m_wake.notify_all();
}

std::unique_ptr<SearchIndex> IndexKeeper::open() const
{
    return SearchIndex::open(m_indexFolder, m_libraryRoot);
}

void IndexKeeper::waitIdle()
{
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return !m_busy && !workWaiting(); });
}

bool IndexKeeper::workWaiting() const
{
    return m_build || !m_stale.empty() || m_listed.keepsAny() || !m_folders.empty();
}

void IndexKeeper::work()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || workWaiting(); });
        if (m_stopping) {
            return;
        }
        const bool build = std::exchange(m_build, false);
        std::vector<StaleRecord> stale = std::exchange(m_stale, {});
        FolderListings listed = std::exchange(m_listed, {});
        const std::set<std::string> folders = std::exchange(m_folders, {});
        m_busy = true;
        lock.unlock();
        // The index is a cache: work that fails costs speed, never a result.
        try {
            // A damaged index is never read again, so it is built anew like a missing one.
            if (build && !SearchIndex::open(m_indexFolder, m_libraryRoot)) {
                RebuildIndex(m_indexFolder, m_libraryRoot, [this](std::size_t) {
                    const std::lock_guard stop(m_mutex);
                    return !m_stopping;
                });
            }
            RefreshIndex(m_indexFolder, m_libraryRoot, stale, std::move(listed));
            RefreshFolders(m_indexFolder, m_libraryRoot, {folders.begin(), folders.end()});
        } catch (const std::exception&) {
        }
        lock.lock();
        m_busy = false;
        m_idle.notify_all();
    }
}

} // namespace search
