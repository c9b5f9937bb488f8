#include "search/index_build.h"

#include "catalog/disk.h"
#include "catalog/library.h"
#include "search/index_store.h"
#include "search/record_walk.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <ctime>
#include <deque>
#include <exception>
#include <iterator>
#include <mutex>
#include <thread>
#include <utility>

namespace search {
namespace {

constexpr std::size_t RecordsPerSegment = 2000;

std::int64_t nanoseconds(const timespec& time)
{
    return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

std::int64_t realTimeNs()
{
    timespec now = {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return nanoseconds(now);
}

// The stamp of a file as info found it, looked at no later than lookedNs: a change made
// within racyNs before that matches nothing.
FileStamp stampOf(const std::string& name, const struct stat& info, std::int64_t lookedNs,
                  std::int64_t racyNs)
{
    FileStamp stamp;
    stamp.name = name.substr(name.rfind('/') + 1);
    stamp.size = static_cast<std::uint64_t>(info.st_size);
    stamp.inode = info.st_ino;
    stamp.modifiedNs = nanoseconds(info.st_mtim);
    stamp.changedNs = nanoseconds(info.st_ctim);
    if (lookedNs - std::max(stamp.modifiedNs, stamp.changedNs) < racyNs) {
        stamp.changedNs = -1;
    }
    return stamp;
}

// Reads one file of a record (name in folder, "" for none) into text, and stamps it as it
// was opened, before a byte was read: a change made while it is read leaves a stamp that
// is too old. False when it cannot be read whole.
bool readStamped(const std::string& folder, const std::string& name, std::string& text,
                 FileStamp& stamp)
{
    text.clear();
    stamp = {};
    if (name.empty()) {
        return true;
    }
    try {
        // The clock is read before the file is opened, so that a change made while it is
        // read, too soon for the file system's clock to tell, is within the racy window.
        const std::int64_t looked = realTimeNs();
        struct stat opened = {};
        catalog::ReadWholeFileInto(folder + name, text, opened);
        stamp = stampOf(name, opened, looked, DefaultRacyNs);
        return true;
    } catch (const catalog::FileError&) {
        return false;
    }
}

// Adds a record to the writer, each file stamped as it is read; false when one cannot be
// read whole (the record stays out of the index, so every search reads it).
bool indexRecord(const StaleRecord& place, SegmentWriter& writer, RecordContent& content)
{
    IndexedRecord record;
    record.key = RecordKey(place.relative, place.cdr);
    const std::string* names[IndexedTexts] = {&place.cdr, &place.mx, &place.fmx};
    std::string* texts[IndexedTexts] = {&content.listing, &content.description, &content.notes};
    for (std::size_t t = 0; t < IndexedTexts; ++t) {
        if (!readStamped(place.folder, *names[t], *texts[t], record.stamps[t])) {
            return false;
        }
    }
    writer.add(std::move(record), content.texts());
    return true;
}

// Reads records into segments on several threads while the walk lists the next folders.
// With a cold cache the threads keep several reads in flight, which a disk answers together;
// with a warm one the grams, most of an index build's work, keep every core busy.
class SegmentPool
{
public:
    SegmentPool(IndexUpdate& update, int threads) : m_update(update)
    {
        for (int i = 0; i < threads; ++i) {
            m_threads.emplace_back([this] { work(); });
        }
    }
    ~SegmentPool() { close(); }
    SegmentPool(const SegmentPool&) = delete;
    SegmentPool& operator=(const SegmentPool&) = delete;

    // Waits while enough records are queued.
    void add(StaleRecord record)
    {
        std::unique_lock lock(m_mutex);
        m_room.wait(lock, [this] { return m_queue.size() < QueuedRecords || m_error; });
        m_queue.push_back(std::move(record));
        if (m_queue.size() % RunOfRecords == 0) {
            m_ready.notify_one();
        }
    }

    // Writes what is left and ends the threads; throws what a thread met. Returns the
    // number of records indexed.
    std::size_t finish()
    {
        close();
        if (m_error) {
            std::rethrow_exception(m_error);
        }
        return m_indexed;
    }

private:
    // A thread takes records in runs, so that a segment holds a folder's records in the order
    // a walk visits them (the walks of searches find their entries one after another), and
    // threads are woken once a run rather than once a record.
    static constexpr std::size_t RunOfRecords = 16;
    static constexpr std::size_t QueuedRecords = 16 * RunOfRecords;

    void close()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_closed = true;
        }
        m_ready.notify_all();
        for (auto& thread : m_threads) {
            if (thread.joinable()) {
                thread.join();
            }
        }
    }

    void work()
    {
        SegmentWriter writer;
        RecordContent content; // its memory kept from record to record
        std::vector<StaleRecord> run;
        try {
            while (takeRun(run)) {
                for (const StaleRecord& next : run) {
                    if (indexRecord(next, writer, content)) {
                        ++m_indexed;
                    }
                    if (writer.size() >= RecordsPerSegment) {
                        write(writer);
                        writer = SegmentWriter();
                    }
                }
            }
            if (writer.size() > 0) {
                write(writer);
            }
        } catch (...) {
            const std::lock_guard lock(m_mutex);
            m_error = std::current_exception();
            m_ready.notify_all();
            m_room.notify_all();
        }
    }

    // The next records queued, a run of them unless the walk has ended; false when none is
    // left to take, or another thread failed.
    bool takeRun(std::vector<StaleRecord>& run)
    {
        run.clear();
        std::unique_lock lock(m_mutex);
        m_ready.wait(lock,
                     [this] { return m_queue.size() >= RunOfRecords || m_closed || m_error; });
        if (m_error) {
            return false;
        }
        const std::size_t taken = std::min(RunOfRecords, m_queue.size());
        std::move(m_queue.begin(), m_queue.begin() + taken, std::back_inserter(run));
        m_queue.erase(m_queue.begin(), m_queue.begin() + taken);
        const bool another = m_queue.size() >= RunOfRecords;
        lock.unlock();
        m_room.notify_one();
        if (another) {
            m_ready.notify_one();
        }
        return !run.empty();
    }

    void write(const SegmentWriter& writer)
    {
        const std::lock_guard lock(m_writing);
        m_update.add(writer);
    }

    IndexUpdate& m_update;
    std::mutex m_mutex;
    std::mutex m_writing;
    std::condition_variable m_ready; // a run is queued, or the walk ended
    std::condition_variable m_room;  // the queue is shorter
    std::deque<StaleRecord> m_queue;
    std::atomic<std::size_t> m_indexed{0};
    bool m_closed = false;
    std::exception_ptr m_error;
    std::vector<std::thread> m_threads;
};

class Builder : public RecordWalk
{
public:
    Builder(IndexUpdate& update, int threads, const std::function<bool(std::size_t)>& progress)
        : m_pool(update, threads), m_progress(progress)
    {
        useListings(nullptr, &m_listings);
    }

    // The number of records indexed.
    std::size_t finish() { return m_pool.finish(); }
    // The entries of the folders walked.
    FolderListings takeListings() { return std::move(m_listings); }
    bool stopped() const { return m_stopped; }

private:
    void visit(const std::string& relative, const RecordFiles& files,
               const std::string& folder) override
    {
        // Special files are errors for a search: such a record is not indexed, so every
        // search reads (and reports) it.
        if (!files.special.empty()) {
            return;
        }
        // The names are in folder, or full paths when folder is "".
        m_pool.add(StaleRecord{relative, folder, files.cdr, files.mx, files.fmx});
        ++m_count;
    }

    bool aborted() override
    {
        if (!m_stopped && m_progress && !m_progress(m_count)) {
            m_stopped = true;
        }
        return m_stopped;
    }

    SegmentPool m_pool;
    FolderListings m_listings;
    const std::function<bool(std::size_t)>& m_progress;
    std::size_t m_count = 0;
    bool m_stopped = false;
};

// Whether the index should rather be built anew than get this many entries more: when its
// old entries would outnumber its records. Updates only ever add segments, so without this
// a library changed often would be read from ever more small ones.
bool crowdedBy(const SearchIndex& index, std::size_t adding)
{
    std::size_t entries = 0;
    for (const auto& segment : index.segments()) {
        entries += segment.size();
    }
    return entries + adding > 2 * index.recordCount() + RecordsPerSegment;
}

} // namespace

std::string RecordKey(const std::string& relative, const std::string& cdrFile)
{
    std::string key;
    RecordKeyInto(key, relative, cdrFile);
    return key;
}

void RecordKeyInto(std::string& key, const std::string& relative, const std::string& cdrFile)
{
    key.assign(relative).append(cdrFile, cdrFile.size() - 4);
}

FileStamp StampFile(int folderFd, const std::string& name, std::int64_t racyNs)
{
    struct stat info = {};
    if (name.empty() || ::fstatat(folderFd, name.c_str(), &info, 0) != 0) {
        return {};
    }
    return stampOf(name, info, realTimeNs(), racyNs);
}

RecordTexts RecordContent::texts() const
{
    RecordTexts texts;
    texts[static_cast<std::size_t>(IndexedText::Content)].push_back(listing);
    texts[static_cast<std::size_t>(IndexedText::Description)].push_back(description);
    const auto lines = catalog::SplitLines(notes);
    for (std::size_t i = 1; i < lines.size(); i += 2) {
        texts[static_cast<std::size_t>(IndexedText::Internal)].push_back(lines[i]);
    }
    return texts;
}

void RefreshIndex(const std::string& indexFolder, const std::string& libraryRoot,
                  const std::vector<StaleRecord>& records, FolderListings listed)
{
    if (records.empty() && !listed.keepsAny()) {
        return;
    }
    const auto index = SearchIndex::open(indexFolder, libraryRoot);
    if (!index) {
        return;
    }
    if (crowdedBy(*index, records.size())) {
        RebuildIndex(indexFolder, libraryRoot);
        return;
    }
    IndexUpdate update(indexFolder, libraryRoot);
    SegmentWriter writer;
    RecordContent content;
    for (const auto& stale : records) {
        indexRecord(stale, writer, content);
    }
    if (writer.size() > 0) {
        update.add(writer);
    }
    if (writer.size() > 0 || listed.keepsAny()) {
        update.keepListings(std::move(listed));
        update.commit(false);
    }
}

void RefreshFolders(const std::string& indexFolder, const std::string& libraryRoot,
                    const std::vector<std::string>& folders)
{
    const std::string root = catalog::WithSlash(libraryRoot);
    if (folders.empty() || !SearchIndex::exists(indexFolder, libraryRoot)) {
        return;
    }
    {
        IndexUpdate update(indexFolder, libraryRoot);
        const std::function<bool(std::size_t)> noProgress;
        // A folder or two: each thread's tables would cost more than its reads spare.
        Builder builder(update, 2, noProgress);
        for (const auto& folder : folders) {
            const std::string inside = catalog::WithSlash(folder);
            if (!catalog::LiesInside(root, inside) || !inside.starts_with(root) ||
                !catalog::IsFolder(inside)) {
                continue;
            }
            std::string relativeBox = inside.substr(root.size());
            std::replace(relativeBox.begin(), relativeBox.end(), '/', '\\');
            builder.walkFolder(inside, relativeBox);
        }
        const std::size_t records = builder.finish();
        const auto index = SearchIndex::open(indexFolder, libraryRoot);
        if (index == nullptr || !crowdedBy(*index, records)) {
            FolderListings listings = builder.takeListings();
            if (records > 0 || listings.size() > 0) {
                update.keepListings(std::move(listings));
                update.commit(false);
            }
            return;
        }
    } // the segments written are removed with the update, and its lock let go
    RebuildIndex(indexFolder, libraryRoot);
}

std::size_t RebuildIndex(const std::string& indexFolder, const std::string& libraryRoot,
                         const std::function<bool(std::size_t)>& progress)
{
    IndexUpdate update(indexFolder, libraryRoot);
    // Enough threads to keep the disk busy with a cold cache.
    Builder builder(update, 8, progress);
    builder.walkBox(catalog::WithSlash(libraryRoot), "");
    const std::size_t count = builder.finish();
    if (!builder.stopped()) {
        update.keepListings(builder.takeListings());
        update.commit(true);
    }
    return count;
}

} // namespace search
