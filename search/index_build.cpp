#include "search/index_build.h"

#include "catalog/disk.h"
#include "catalog/library.h"
#include "search/index_store.h"
#include "search/record_walk.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <ctime>

namespace search {
namespace {

constexpr std::size_t RecordsPerSegment = 2000;

std::int64_t nanoseconds(const timespec& time)
{
    return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

// Reads one file of a record into text; false when it cannot be read whole.
bool readInto(int folderFd, const std::string& folder, const std::string& name, std::string& text)
{
    text.clear();
    if (name.empty()) {
        return true;
    }
    try {
        text = catalog::ReadWholeFile(folderFd == AT_FDCWD ? name : folder + name);
        return true;
    } catch (const catalog::FileError&) {
        return false;
    }
}

class Builder : public RecordWalk
{
public:
    Builder(IndexUpdate& update, const std::function<bool(std::size_t)>& progress)
        : m_update(update), m_progress(progress)
    {}

    std::size_t finish()
    {
        if (m_writer->size() > 0) {
            m_update.add(*m_writer);
        }
        return m_count;
    }
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
        IndexedRecord record;
        record.key = RecordKey(relative, files.cdr);
        const std::string* names[IndexedTexts] = {&files.cdr, &files.mx, &files.fmx};
        for (std::size_t t = 0; t < IndexedTexts; ++t) {
            record.stamps[t] = StampFile(files.folderFd, *names[t]);
        }
        if (!readInto(files.folderFd, folder, files.cdr, m_content.listing) ||
            !readInto(files.folderFd, folder, files.mx, m_content.description) ||
            !readInto(files.folderFd, folder, files.fmx, m_content.notes)) {
            return;
        }
        m_writer->add(std::move(record), m_content.texts());
        ++m_count;
        if (m_writer->size() >= RecordsPerSegment) {
            m_update.add(*m_writer);
            m_writer = std::make_unique<SegmentWriter>();
        }
    }

    bool aborted() override
    {
        if (!m_stopped && m_progress && !m_progress(m_count)) {
            m_stopped = true;
        }
        return m_stopped;
    }

    IndexUpdate& m_update;
    const std::function<bool(std::size_t)>& m_progress;
    std::unique_ptr<SegmentWriter> m_writer = std::make_unique<SegmentWriter>();
    RecordContent m_content;
    std::size_t m_count = 0;
    bool m_stopped = false;
};

} // namespace

std::string RecordKey(const std::string& relative, const std::string& cdrFile)
{
    return relative + cdrFile.substr(cdrFile.size() - 4);
}

FileStamp StampFile(int folderFd, const std::string& name, std::int64_t racyNs)
{
    FileStamp stamp;
    struct stat info = {};
    if (name.empty() || ::fstatat(folderFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return stamp;
    }
    stamp.name = name.substr(name.rfind('/') + 1);
    stamp.size = static_cast<std::uint64_t>(info.st_size);
    stamp.inode = info.st_ino;
    stamp.modifiedNs = nanoseconds(info.st_mtim);
    stamp.changedNs = nanoseconds(info.st_ctim);
    timespec now = {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    if (nanoseconds(now) - std::max(stamp.modifiedNs, stamp.changedNs) < racyNs) {
        stamp.changedNs = -1;
    }
    return stamp;
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
                  const std::vector<StaleRecord>& records)
{
    if (records.empty()) {
        return;
    }
    const auto index = SearchIndex::open(indexFolder, libraryRoot);
    if (!index) {
        return;
    }
    std::size_t entries = 0;
    for (const auto& segment : index->segments()) {
        entries += segment.records().size();
    }
    if (entries + records.size() > 2 * index->recordCount() + RecordsPerSegment) {
        RebuildIndex(indexFolder, libraryRoot);
        return;
    }
    IndexUpdate update(indexFolder, libraryRoot);
    SegmentWriter writer;
    RecordContent content;
    for (const auto& stale : records) {
        IndexedRecord record;
        record.key = RecordKey(stale.relative, stale.cdr);
        const std::string* names[IndexedTexts] = {&stale.cdr, &stale.mx, &stale.fmx};
        for (std::size_t t = 0; t < IndexedTexts; ++t) {
            record.stamps[t] =
                StampFile(AT_FDCWD, names[t]->empty() ? std::string() : stale.folder + *names[t]);
        }
        if (readInto(AT_FDCWD, "", stale.folder + stale.cdr, content.listing) &&
            readInto(AT_FDCWD, "", stale.mx.empty() ? "" : stale.folder + stale.mx,
                     content.description) &&
            readInto(AT_FDCWD, "", stale.fmx.empty() ? "" : stale.folder + stale.fmx,
                     content.notes)) {
            writer.add(std::move(record), content.texts());
        }
    }
    if (writer.size() > 0) {
        update.add(writer);
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
    IndexUpdate update(indexFolder, libraryRoot);
    const std::function<bool(std::size_t)> noProgress;
    Builder builder(update, noProgress);
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
    if (builder.finish() > 0) {
        update.commit(false);
    }
}

std::size_t RebuildIndex(const std::string& indexFolder, const std::string& libraryRoot,
                         const std::function<bool(std::size_t)>& progress)
{
    IndexUpdate update(indexFolder, libraryRoot);
    Builder builder(update, progress);
    builder.walkBox(catalog::WithSlash(libraryRoot), "");
    const std::size_t count = builder.finish();
    if (!builder.stopped()) {
        update.commit(true);
    }
    return count;
}

} // namespace search
