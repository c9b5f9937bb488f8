#include "search/record_walk.h"

#include "catalog/library.h"
#include "catalog/record_set.h"
#include "catalog/text.h"
#include "search/index_build.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
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

// One folder of the walk, read and numbered ahead of its visits. Its records' stamps are
// taken on both threads while the walk is elsewhere; a visit waits only for its own.
struct RecordWalk::Folder
{
    static constexpr std::size_t NotStamped = -1;

    // The entry a visit starts from: the CD whose listing (that spelling of it) the entry
    // is, its name, and its place among the stamps; files is nullptr for other entries.
    struct Listing
    {
        RecordFiles* files = nullptr;
        std::string_view base;
        std::size_t stamp = NotStamped;
    };

    std::string path;
    std::string relativeBox;
    std::size_t depth = 0; // below the folder the walk began in
    catalog::FileDescriptor fd;
    std::vector<catalog::DirEntry> entries;
    std::vector<RecordFiles> records;
    std::vector<Listing> listingAt; // by entry
    // The records to stamp, in the order they are visited, and which are done.
    std::vector<RecordFiles*> toStamp;
    std::unique_ptr<std::atomic<bool>[]> stamped;
    std::size_t nextToStamp = 0; // under the queue's lock
};

// The stamps of the folders read ahead, taken by the walking thread and a helper that
// waits for work for the walk's life. Both take the next few records of the folder the
// walk visits soonest, so a helper that the system runs late leaves more to the walking
// thread instead of keeping it waiting.
class RecordWalk::StampQueue
{
public:
    explicit StampQueue(const std::array<bool, IndexedTexts>& texts)
        : m_texts(texts), m_thread([this] { serve(); })
    {}
    ~StampQueue()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_quit = true;
        }
        m_offered = true;
        m_changed.notify_all();
        m_thread.join();
    }

    void add(const std::shared_ptr<Folder>& folder)
    {
        if (folder->toStamp.empty()) {
            return;
        }
        {
            const std::lock_guard lock(m_mutex);
            m_waiting.push_back(folder);
        }
        m_offered = true;
        m_changed.notify_all();
    }

    // Until the folder's record at position is stamped; meanwhile the caller stamps the
    // next records itself, that folder's first.
    void await(const std::shared_ptr<Folder>& folder, std::size_t position)
    {
        while (!folder->stamped[position].load(std::memory_order_acquire)) {
            if (!takeChunk(folder.get())) {
                std::this_thread::yield(); // the helper has it in hand
            }
        }
    }

    // The walk ends: no folder waits any more.
    void clear()
    {
        const std::lock_guard lock(m_mutex);
        m_waiting.clear();
        m_offered = false;
    }

private:
    static constexpr std::size_t Chunk = 8;

    // Stamps the next few records of preferred (the caller's own folder), else of the folder
    // the walk visits soonest.
    bool takeChunk(Folder* preferred)
    {
        std::shared_ptr<Folder> folder;
        std::size_t first = 0;
        std::size_t end = 0;
        {
            const std::lock_guard lock(m_mutex);
            Folder* from = preferred;
            if (from == nullptr || from->nextToStamp >= from->toStamp.size()) {
                folder = visitedSoonest();
                if (folder == nullptr) {
                    m_offered = false;
                    return false;
                }
                from = folder.get();
            }
            first = from->nextToStamp;
            end = std::min(first + Chunk, from->toStamp.size());
            from->nextToStamp = end;
        }
        Folder& chosen = folder != nullptr ? *folder : *preferred;
        for (std::size_t i = first; i < end; ++i) {
            stamp(*chosen.toStamp[i]);
            chosen.stamped[i].store(true, std::memory_order_release);
        }
        return true;
    }

    // Of the folders with records left, the one the walk visits first: the walk goes down
    // before it goes on, and reads the boxes of each folder in the order it walks them.
    std::shared_ptr<Folder> visitedSoonest()
    {
        std::erase_if(m_waiting, [](const std::shared_ptr<Folder>& folder) {
            return folder->nextToStamp >= folder->toStamp.size();
        });
        const auto soonest =
            std::max_element(m_waiting.begin(), m_waiting.end(),
                             [](const auto& a, const auto& b) { return a->depth < b->depth; });
        return soonest == m_waiting.end() ? nullptr : *soonest;
    }

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

    void serve()
    {
        for (;;) {
            while (takeChunk(nullptr)) {
            }
            awaitOffer();
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] { return m_quit || !m_waiting.empty(); });
            if (m_quit) {
                return;
            }
        }
    }

    // A walk reads the next folder within a fraction of a millisecond, sooner than a
    // sleeping thread wakes: the helper watches for it a while before it sleeps.
    void awaitOffer() const
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(1);
        while (!m_offered.load(std::memory_order_acquire) &&
               std::chrono::steady_clock::now() < until) {
            std::this_thread::yield();
        }
    }

    const std::array<bool, IndexedTexts> m_texts;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::shared_ptr<Folder>> m_waiting; // in the order they were read
    std::atomic<bool> m_offered{false};             // a folder may wait, read without the lock
    bool m_quit = false;
    std::thread m_thread;
};

void RecordWalk::stampFiles(const std::array<bool, IndexedTexts>& texts)
{
    const bool any = std::find(texts.begin(), texts.end(), true) != texts.end();
    m_stamps = any ? std::make_shared<StampQueue>(texts) : nullptr;
}

std::shared_ptr<RecordWalk::Folder>
RecordWalk::readFolder(const std::string& folder, const std::string& relativeBox, std::size_t depth)
{
    auto read = std::make_shared<Folder>();
    read->path = folder;
    read->relativeBox = relativeBox;
    read->depth = depth;
    read->fd.reset(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    const int folderFd = read->fd.get();
    const std::vector<catalog::DirEntry>& entries = entriesOf(folder, folderFd, read->entries);

    // The companions of every record of this folder, from the one listing, by the
    // listing's numbers of their bases.
    const catalog::ListedRecords listedRecords(entries);
    std::vector<RecordFiles>& records = read->records;
    records.resize(listedRecords.size());
    for (std::size_t number = 0; number < records.size(); ++number) {
        if (listedRecords.file(number, catalog::RecordKind::Cdr) == nullptr) {
            continue;
        }
        RecordFiles& files = records[number];
        files.folderFd = folderFd >= 0 ? folderFd : AT_FDCWD;
        for (const auto kind :
             {catalog::RecordKind::Cdr, catalog::RecordKind::Tag, catalog::RecordKind::Mx,
              catalog::RecordKind::Fmx, catalog::RecordKind::Ifn}) {
            if (const catalog::DirEntry* file = listedRecords.file(number, kind)) {
                std::string& name = files.*slotOf(kind);
                name = folderFd >= 0 ? file->name : folder + file->name;
                if (!file->isRegular) {
                    files.special.push_back(name);
                }
            }
        }
    }
    read->listingAt.resize(entries.size());
    // By record number: its place among the stamps, taken once from its own spelling.
    std::vector<std::size_t> stampOf(records.size(), Folder::NotStamped);
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
        read->listingAt[i] = {companions, *base};
        if (m_stamps && folderFd >= 0 && companions->cdr == entries[i].name) {
            stampOf[static_cast<std::size_t>(companions - records.data())] = read->toStamp.size();
            read->toStamp.push_back(companions);
        }
    }
    // Another spelling of a listing waits for the stamps of its record.
    for (auto& listing : read->listingAt) {
        if (listing.files != nullptr) {
            listing.stamp = stampOf[static_cast<std::size_t>(listing.files - records.data())];
        }
    }
    read->stamped = std::make_unique<std::atomic<bool>[]>(read->toStamp.size());
    if (m_stamps) {
        m_stamps->add(read);
    }
    return read;
}

bool RecordWalk::isBoxToWalk(const catalog::DirEntry& entry) const
{
    static const std::string resultsName = catalog::ResultsFolderName();
    // A linked box leads out of the library: never searched.
    return entry.isFolder && !entry.isLink && m_intoBoxes &&
           !catalog::equalsNoCase(entry.name, resultsName);
}

void RecordWalk::walkBox(const std::string& folder, const std::string& relativeBox)
{
    // However the walk ends, the folders read ahead are not stamped any more.
    struct ClearAtEnd
    {
        StampQueue* stamps;
        ~ClearAtEnd()
        {
            if (stamps != nullptr) {
                stamps->clear();
            }
        }
    } clearAtEnd{m_stamps.get()};
    walkRead(readFolder(folder, relativeBox, 0));
}

void RecordWalk::walkRead(const std::shared_ptr<Folder>& read)
{
    static const std::string resultsName = catalog::ResultsFolderName();
    if (!m_guard.enter(read->path)) {
        return;
    }
    const std::vector<catalog::DirEntry>& entries = read->entries;
    // While the stamps are taken, the boxes inside are read a few ahead of their walks, so
    // that their stamps are taken while this folder's records are visited.
    const std::size_t boxesAhead = m_stamps ? 4 : 0;
    std::vector<std::shared_ptr<Folder>> boxes(entries.size());
    std::size_t boxesRead = 0; // and not walked yet
    std::size_t readUpTo = 0;  // the entries before it were looked at for boxes to read
    const auto boxAt = [&](std::size_t i) {
        return readFolder(read->path + entries[i].name + "/",
                          read->relativeBox + entries[i].name + "\\", read->depth + 1);
    };
    const auto readAhead = [&] {
        for (; readUpTo < entries.size() && boxesRead < boxesAhead; ++readUpTo) {
            if (isBoxToWalk(entries[readUpTo])) {
                boxes[readUpTo] = boxAt(readUpTo);
                ++boxesRead;
            }
        }
    };
    readAhead();
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
            if (isBoxToWalk(entry)) {
                std::shared_ptr<Folder> box = std::move(boxes[i]);
                boxesRead -= box != nullptr;
                readUpTo = std::max(readUpTo, i + 1);
                readAhead();
                walkRead(box != nullptr ? box : boxAt(i));
            }
            continue;
        }
        const Folder::Listing& listing = read->listingAt[i];
        if (listing.files == nullptr) {
            continue;
        }
        // Two spellings of one listing are two records, each read from its own file.
        RecordFiles& files = *listing.files;
        if (listing.stamp != Folder::NotStamped) {
            m_stamps->await(read, listing.stamp);
        }
        const std::string cdr = read->fd.get() >= 0 ? entry.name : read->path + entry.name;
        if (files.cdr != cdr) {
            files.cdr = cdr;
            files.stamped[0] = false; // another spelling of the listing: stamped when read
        }
        if (!entry.isRegular) {
            files.special.push_back(files.cdr);
        }
        relative.assign(read->relativeBox).append(listing.base);
        visit(relative, files, read->fd.get() >= 0 ? read->path : std::string());
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
