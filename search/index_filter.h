#pragma once

#include "search/index_build.h"
#include "search/index_segment.h"
#include "search/index_store.h"
#include "search/record_walk.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace search {

struct TextCriteria;

// Whether the index's entry of a record holds the text's file as the file is now.
bool HoldsAsNow(const SearchIndex& index, const SearchIndex::Entry& entry, const RecordFiles& files,
                IndexedText text);

// Finds the index's entries of the records a walk visits. Each segment holds its records
// in the order a walk meets them, so the next record's entry is mostly the one after the
// last found in one of the segments: those are tried before the table of keys, which
// costs a cache miss a look-up and most of the opening of an index to make.
class EntryFinder
{
public:
    explicit EntryFinder(const SearchIndex& index);

    // The newest entry of the record (RecordKey(relative, cdrFile)); nullopt when the index
    // does not hold it.
    std::optional<SearchIndex::Entry> find(const std::string& relative, const std::string& cdrFile);

private:
    std::optional<SearchIndex::Entry> found(SearchIndex::Entry entry);
    // Sets the segment's next entry to the first from number on that no newer one replaces.
    void advance(std::uint32_t segment, RecordNumber number);

    const SearchIndex& m_index;
    std::string m_key;
    std::optional<SearchIndex::Entry> m_last;
    // Per segment: the first entry after the last one found there that is its record's newest.
    std::vector<RecordNumber> m_next;
};

// Which records may hold a text search's terms, by the index: a record is passed over
// only when the index holds its file as the file is now and the file's grams rule every
// term out. Everything else is read as without an index, and noted for a refresh.
class IndexFilter
{
public:
    // A null index filters nothing.
    IndexFilter(const SearchIndex* index, const TextCriteria& criteria);

    // folder: where the files' names lie ("" when they are full paths).
    bool mayHold(IndexedText text, const std::string& relative, const RecordFiles& files,
                 const std::string& folder);

    std::vector<StaleRecord> takeStale() { return std::move(m_stale); }
    // How many times a file was passed over unread.
    int passedOver() const { return m_passedOver; }

private:
    void noteStale(const std::string& relative, const RecordFiles& files,
                   const std::string& folder);

    const SearchIndex* m_index;
    std::optional<EntryFinder> m_entries;
    // Per text, per segment: the records that may hold a term; empty when the text is
    // not filtered (a term too short, or the text not searched).
    std::array<std::vector<std::vector<bool>>, IndexedTexts> m_candidates;
    std::vector<StaleRecord> m_stale;
    std::string m_lastStale; // a record is noted once, whichever of its texts was stale
    int m_passedOver = 0;
};

} // namespace search
