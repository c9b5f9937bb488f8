#pragma once

#include "catalog/record_set.h"
#include "search/index_build.h"
#include "search/index_store.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

// Keeps a library's search index up to date in the background, for the window: builds it
// when it is missing and reads again what searches met changed and what commands wrote.
// One worker thread does the work in turn; nothing ever waits for it, since a search
// without an index (or with one being made) reads the record files as before. While it
// lives it is the record store's observer.
namespace search {

class IndexKeeper : public catalog::RecordObserver
{
public:
    IndexKeeper(std::string indexFolder, std::string libraryRoot);
    // Stops a build under way (the old index stays) and waits for the worker.
    ~IndexKeeper() override;
    IndexKeeper(const IndexKeeper&) = delete;
    IndexKeeper& operator=(const IndexKeeper&) = delete;

    void buildIfMissing();
    // What a search met that the index did not hold as it is (RefreshIndex).
    void refresh(std::vector<StaleRecord> records, FolderListings listed);
    // The folder is read again soon after.
    void recordChanged(const std::string& folder, std::string_view nameGbk) override;

    // The index as it is now; nullptr while there is none.
    std::unique_ptr<SearchIndex> open() const;
    // Until the work asked for so far is done. For tests.
    void waitIdle();

private:
    void work();
    bool workWaiting() const; // with m_mutex held

    const std::string m_indexFolder;
    const std::string m_libraryRoot;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    bool m_build = false;
    std::vector<StaleRecord> m_stale;
    FolderListings m_listed;
    std::set<std::string> m_folders;
    bool m_busy = false;
    bool m_stopping = false;
    std::thread m_worker;
};

} // namespace search
