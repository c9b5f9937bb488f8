#include "search/record_walk.h"

#include "catalog/library.h"
#include "catalog/record_set.h"
#include "catalog/text.h"
#include "search/index_build.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace search {
namespace {

std::string RecordFiles::*slotOf(catalog::RecordKind kind)
{
    switch (kind) {
    case catalog::RecordKind::Cdr:
        return &RecordFiles::cdr;
    case catalog::RecordKind::Tag:
        return &RecordFiles::tag;
    case catalog::RecordKind::Mx:
        return &RecordFiles::mx;
    case catalog::RecordKind::Fmx:
        return &RecordFiles::fmx;
    case catalog::RecordKind::Ifn:
        return &RecordFiles::ifn;
    default:
        return nullptr;
    }
}

} // namespace

// A loop shared between the walking thread and one that waits for work for the walk's
// life. Both take the next few items until none are left, so a helper that the system
// runs late leaves more to the walking thread instead of keeping it waiting.
class RecordWalk::TwoHands
{
public:
    TwoHands() : m_thread([this] { serve(); }) {}
    ~TwoHands()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_quit = true;
            m_offered = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }

    // Opens a loop over count items to both threads. The caller takes the items in order
    // with await() and closes the loop with finish() before it opens another.
    void start(std::size_t count, const std::function<void(std::size_t)>& body)
    {
        m_done = std::vector<std::atomic<bool>>(count);
        {
            const std::lock_guard lock(m_mutex);
            m_body = &body;
            m_count = count;
            m_next = 0;
            m_pending = true;
            m_offered = true;
        }
        m_changed.notify_all();
    }

    // Until item i is done; meanwhile the caller does the next items itself.
    void await(std::size_t i)
    {
        while (!m_done[i].load(std::memory_order_acquire)) {
            if (!takeChunk()) {
                std::this_thread::yield(); // the helper has it in hand
            }
        }
    }

    void finish()
    {
        while (takeChunk()) {
        }
        std::unique_lock lock(m_mutex);
        // The helper may not have started: then it must not start on this loop any more.
        m_changed.wait(lock, [this] { return !m_pending || !m_helping; });
        m_pending = false;
        m_offered = false;
    }

private:
    static constexpr std::size_t Chunk = 8;

    bool takeChunk()
    {
        const std::size_t first = m_next.fetch_add(Chunk);
        if (first >= m_count) {
            return false;
        }
        for (std::size_t i = first; i < std::min(first + Chunk, m_count); ++i) {
            (*m_body)(i);
            m_done[i].store(true, std::memory_order_release);
        }
        return true;
    }

    void serve()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            if (!m_pending && !m_quit) {
                lock.unlock();
                awaitOffer();
                lock.lock();
            }
            m_changed.wait(lock, [this] { return m_pending || m_quit; });
            if (m_quit) {
                return;
            }
            m_helping = true;
            lock.unlock();
            while (takeChunk()) {
            }
            lock.lock();
            m_helping = false;
            m_pending = false;
            m_offered = false;
            m_changed.notify_all();
        }
    }

    // A walk opens the next folder's loop within a fraction of a millisecond, sooner than
    // a sleeping thread wakes: the helper watches for it a while before it sleeps.
    void awaitOffer() const
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(1);
        while (!m_offered.load(std::memory_order_acquire) &&
               std::chrono::steady_clock::now() < until) {
            std::this_thread::yield();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::atomic<bool> m_offered{false}; // m_pending or m_quit, read without the lock
    const std::function<void(std::size_t)>* m_body = nullptr;
    std::size_t m_count = 0;
    std::atomic<std::size_t> m_next{0};
    std::vector<std::atomic<bool>> m_done;
    bool m_pending = false; // a loop is open to the helper
    bool m_helping = false; // the helper is in it
    bool m_quit = false;
    std::thread m_thread;
};

void RecordWalk::stampFiles(const std::array<bool, IndexedTexts>& texts)
{
    m_stampTexts = texts;
    if (std::find(texts.begin(), texts.end(), true) != texts.end() && !m_hands) {
        m_hands = std::make_shared<TwoHands>();
    }
}

// The stamps of one folder's records, taken on two threads while the walk visits them:
// a visit waits only for its own record's stamps.
class RecordWalk::FolderStamps
{
public:
    // visits: the numbers of the records in records, in the order they are visited.
    FolderStamps(TwoHands* hands, const std::array<bool, IndexedTexts>& texts,
                 std::vector<RecordFiles>& records, std::vector<std::size_t> visits)
        : m_texts(texts), m_records(records), m_visits(std::move(visits)),
          m_position(records.size(), NotStamped),
          m_stamp([this](std::size_t i) { stamp(m_records[m_visits[i]]); })
    {
        for (std::size_t i = 0; i < m_visits.size(); ++i) {
            m_position[m_visits[i]] = i;
        }
        // Below this many the second thread costs more than it spares.
        constexpr std::size_t Batch = 32;
        if (hands != nullptr && m_visits.size() >= Batch) {
            m_hands = hands;
            m_hands->start(m_visits.size(), m_stamp);
        }
    }
    ~FolderStamps() { finish(); }
    FolderStamps(const FolderStamps&) = delete;
    FolderStamps& operator=(const FolderStamps&) = delete;

    void await(const RecordFiles& files)
    {
        const std::size_t position =
            m_position[static_cast<std::size_t>(&files - m_records.data())];
        if (position == NotStamped) {
            return;
        }
        if (m_hands != nullptr) {
            m_hands->await(position);
        } else if (!files.stamped[0] && !files.stamped[1] && !files.stamped[2]) {
            stamp(m_records[m_visits[position]]);
        }
    }
    // Every record stamped: the two threads are free for another folder.
    void finish()
    {
        if (m_hands != nullptr) {
            m_hands->finish();
            m_hands = nullptr;
            std::fill(m_position.begin(), m_position.end(), NotStamped);
        }
    }

private:
    static constexpr std::size_t NotStamped = -1;

    void stamp(RecordFiles& files) const
    {
        const std::string* names[IndexedTexts] = {&files.cdr, &files.mx, &files.fmx};
        for (std::size_t t = 0; t < IndexedTexts; ++t) {
            if (m_texts[t]) {
                files.stamps[t] = StampFile(files.folderFd, *names[t]);
                files.stamped[t] = true;
            }
        }
    }

    TwoHands* m_hands = nullptr;
    const std::array<bool, IndexedTexts>& m_texts;
    std::vector<RecordFiles>& m_records;
    std::vector<std::size_t> m_visits;
    std::vector<std::size_t> m_position; // by record number: where it is in m_visits
    const std::function<void(std::size_t)> m_stamp;
};

void RecordWalk::walkBox(const std::string& folder, const std::string& relativeBox)
{
    static const std::string resultsName = catalog::ResultsFolderName();
    if (!m_guard.enter(folder)) {
        return;
    }
    catalog::FileDescriptor folderFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    std::vector<catalog::DirEntry> listed;
    const std::vector<catalog::DirEntry>& entries = entriesOf(folder, folderFd.get(), listed);

    // The companions of every record of this folder, from the one listing, by the
    // listing's numbers of their bases.
    const catalog::ListedRecords listedRecords(entries);
    std::vector<RecordFiles> records(listedRecords.size());
    for (std::size_t number = 0; number < records.size(); ++number) {
        if (listedRecords.file(number, catalog::RecordKind::Cdr) == nullptr) {
            continue;
        }
        RecordFiles& files = records[number];
        files.folderFd = folderFd.get() >= 0 ? folderFd.get() : AT_FDCWD;
        for (const auto kind :
             {catalog::RecordKind::Cdr, catalog::RecordKind::Tag, catalog::RecordKind::Mx,
              catalog::RecordKind::Fmx, catalog::RecordKind::Ifn}) {
            if (const catalog::DirEntry* file = listedRecords.file(number, kind)) {
                std::string& name = files.*slotOf(kind);
                name = folderFd.get() >= 0 ? file->name : folder + file->name;
                if (!file->isRegular) {
                    files.special.push_back(name);
                }
            }
        }
    }
    // By entry: the CD whose listing (that spelling of it) the entry is, and its name;
    // nullptr for other entries.
    struct Listing
    {
        RecordFiles* files = nullptr;
        std::string_view base;
    };
    std::vector<Listing> listingAt(entries.size());
    // Stamped in the order they are visited.
    std::vector<std::size_t> visits;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].isFolder) {
            continue;
        }
        RecordFiles* companions = nullptr;
        const auto base = catalog::CdRecordBase(entries[i].name, [&](std::string_view base) {
            const auto number = listedRecords.number(base);
            companions = number ? &records[*number] : nullptr;
            return companions != nullptr && !companions->tag.empty();
        });
        if (!base) {
            continue;
        }
        listingAt[i] = {companions, *base};
        if (m_hands && folderFd.get() >= 0 && companions->cdr == entries[i].name) {
            visits.push_back(static_cast<std::size_t>(companions - records.data()));
        }
    }
    FolderStamps stamps(m_hands.get(), m_stampTexts, records, std::move(visits));
    std::string relative;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const catalog::DirEntry& entry = entries[i];
        if (aborted()) {
            break;
        }
        if (catalog::equalsNoCase(entry.name, resultsName)) {
            continue;
        }
        if (entry.isFolder) {
            // A linked box leads out of the library: never searched.
            if (!entry.isLink && m_intoBoxes) {
                stamps.finish();
                walkBox(folder + entry.name + "/", relativeBox + entry.name + "\\");
            }
            continue;
        }
        if (listingAt[i].files == nullptr) {
            continue;
        }
        // Two spellings of one listing are two records, each read from its own file.
        RecordFiles& files = *listingAt[i].files;
        stamps.await(files);
        const std::string cdr = folderFd.get() >= 0 ? entry.name : folder + entry.name;
        if (files.cdr != cdr) {
            files.cdr = cdr;
            files.stamped[0] = false; // another spelling of the listing: stamped when read
        }
        if (!entry.isRegular) {
            files.special.push_back(files.cdr);
        }
        relative.assign(relativeBox).append(listingAt[i].base);
        visit(relative, files, folderFd.get() >= 0 ? folder : std::string());
    }
    m_guard.leave();
}

const std::vector<catalog::DirEntry>& RecordWalk::entriesOf(const std::string& folder, int folderFd,
                                                            std::vector<catalog::DirEntry>& listed)
{
    if ((m_known == nullptr && m_seen == nullptr) || folderFd < 0) {
        catalog::ListFolder(folder, listed);
        return listed;
    }
    // Stamped before it is listed: a change made meanwhile leaves a stamp that is too old.
    const FileStamp stamp = StampFolder(folderFd);
    if (m_known != nullptr && m_known->fresh(folder, stamp, listed)) {
        return listed;
    }
    const bool readable = catalog::ListFolder(folder, listed) == catalog::Listing::Ok;
    if (m_seen != nullptr && readable) {
        m_seen->keep(folder, stamp, listed);
    }
    return listed;
}

void RecordWalk::walkFolder(const std::string& folder, const std::string& relativeBox)
{
    m_intoBoxes = false;
    walkBox(folder, relativeBox);
    m_intoBoxes = true;
}

} // namespace search
