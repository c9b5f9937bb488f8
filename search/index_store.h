#pragma once

#include "catalog/key_table.h"
#include "search/folder_listings.h"
#include "search/index_segment.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Where a library's search index lives and how it is read and replaced. The index is
// made from the record files and never speaks for them: it can be deleted at any time,
// and a file of it that is missing or damaged makes the whole index unread (searches
// then read the record files, as without an index).
//
// On disk: a folder per library in the cache folder, holding segment files and a manifest
// that names them, oldest first: those of the last rebuild, then those updates added.
// Segments are written whole before the manifest that names them replaces the old one,
// under the folder's lock: a crash leaves the old index or the new one.
namespace search {

// cacheFolder + "index-" + a hash of the library's real path + "/".
std::string IndexFolderOf(const std::string& cacheFolder, const std::string& libraryRoot);

class SearchIndex
{
public:
    struct Entry
    {
        std::uint32_t segment;
        RecordNumber number;
    };

    SearchIndex() = default;
    SearchIndex(const SearchIndex&) = delete;
    SearchIndex& operator=(const SearchIndex&) = delete;

    // Whether the library has an index (without reading it).
    static bool exists(const std::string& indexFolder, const std::string& libraryRoot);

    // nullptr when there is no index for this library, or it cannot be read whole.
    static std::unique_ptr<SearchIndex> open(const std::string& indexFolder,
                                             const std::string& libraryRoot);

    // The newest entry of a record by its key (RecordKey); nullptr when the index does not
    // hold it.
    const Entry* find(std::string_view key) const;
    std::string_view key(const Entry& entry) const
    {
        return m_segments[entry.segment].key(entry.number);
    }
    // Whether the entry is its record's newest, the one find gives.
    bool isNewest(const Entry& entry) const;
    FileStamp stamp(const Entry& entry, IndexedText text) const
    {
        return m_segments[entry.segment].stamp(entry.number, text);
    }
    IndexedRecord record(const Entry& entry) const
    {
        return m_segments[entry.segment].record(entry.number);
    }
    const std::vector<Segment>& segments() const { return m_segments; }
    // The folders' entries kept with the index (none when its file is missing or damaged).
    const FolderListings& listings() const { return m_listings; }

    std::size_t recordCount() const { return entries().size(); }
    std::uint64_t bytes() const { return m_bytes; }
    std::int64_t writtenAtSeconds() const { return m_writtenAt; }

private:
    // The newest entry of each record of the segments from the one numbered from on, by
    // its key; the entries that a newer one replaces are marked in replaced when given.
    catalog::KeyTable<Entry> newestEntries(std::uint32_t from,
                                           std::vector<std::vector<bool>>* replaced) const;
    // Those of every segment, made when first asked for: a walk finds its records' entries
    // one after another (EntryFinder), and most searches never ask.
    const catalog::KeyTable<Entry>& entries() const;

    std::vector<Segment> m_segments;
    // The segments before this number were written by one rebuild, so each of their records
    // has a single entry among them; the others were added by updates since.
    std::uint32_t m_rebuilt = 0;
    // The newest entries of the updates' records, and which of the updates' entries a newer
    // one replaces (by segment and number). The keys are the records' own in m_segments,
    // which never move once read.
    catalog::KeyTable<Entry> m_updated;
    std::vector<std::vector<bool>> m_replaced;
    mutable catalog::KeyTable<Entry> m_entries;
    mutable std::once_flag m_entriesMade;
    FolderListings m_listings;
    std::uint64_t m_bytes = 0;
    std::int64_t m_writtenAt = 0;
};

// Adds segments to a library's index, or replaces it, holding the index folder's lock
// from the start to commit().
class IndexUpdate
{
public:
    IndexUpdate(const std::string& indexFolder, const std::string& libraryRoot);
    ~IndexUpdate();
    IndexUpdate(const IndexUpdate&) = delete;
    IndexUpdate& operator=(const IndexUpdate&) = delete;

    // Writes the segment's file; it counts only once committed.
    void add(const SegmentWriter& segment);
    // Folder entries to keep with the index at commit(): over those kept (or alone, when
    // replacing).
    void keepListings(FolderListings listings) { m_listings = std::move(listings); }
    // Names the added segments in the manifest after the ones there (or alone, when
    // replacing), and removes the segment files no manifest names. Throws FileError.
    void commit(bool replaceAll);

private:
    struct Lock;
    std::string m_folder;
    std::string m_libraryRoot;
    std::unique_ptr<Lock> m_lock;
    std::vector<std::string> m_added;
    std::optional<FolderListings> m_listings;
};

} // namespace search
