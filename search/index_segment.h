#pragma once

#include "search/index_bytes.h"
#include "search/index_grams.h"
#include "search/index_postings.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One segment of the search index: a set of records, what their files were when they were
// read, and the grams of their texts. A segment is written once and never changed; the
// newest segment that holds a record speaks for it.
namespace search {

// The texts a text search tests that come from files. (The CD name is tested in memory.)
enum class IndexedText : std::uint8_t { Content = 0, Description = 1, Internal = 2 };
inline constexpr std::size_t IndexedTexts = 3;

// What a file was when it was read: any change to it, by anyone, changes one of these.
struct FileStamp
{
    std::string name; // in the record's folder; "" when the record had no such file
    std::uint64_t size = 0;
    std::uint64_t inode = 0;
    std::int64_t modifiedNs = 0;
    std::int64_t changedNs = 0;

    bool operator==(const FileStamp&) const = default;
    // True when the file is as this stamp saw it; never for a stamp taken too soon after
    // a change (changedNs -1).
    bool matches(const FileStamp& now) const { return changedNs != -1 && *this == now; }
};

struct IndexedRecord
{
    std::string key; // RecordKey: box path, CD name and the .cdr file's extension
    std::array<FileStamp, IndexedTexts> stamps;
};

// The texts of one record: the listing, the description, the description lines of its
// folders and files.
using RecordTexts = std::array<std::vector<std::string_view>, IndexedTexts>;

class SegmentWriter
{
public:
    SegmentWriter();
    RecordNumber add(IndexedRecord record, const RecordTexts& texts);
    std::size_t size() const { return m_records.size(); }
    // The segment file.
    std::string bytes() const;

private:
    static constexpr std::size_t Spaces = IndexedTexts * 2; // each text plain and in pinyin

    // The records of each gram of one space. A record brings a few thousand of the 65,536
    // grams, so a list is made when its gram is first met, found through a table of
    // indexes: a sixth of the memory of a list for every gram, which each thread's
    // writer would otherwise clear page by page before its first record.
    class GramLists
    {
    public:
        GramLists() : m_listOf(std::size_t{1} << 16, 0) {}
        std::vector<RecordNumber>& of(Gram gram)
        {
            std::uint32_t& at = m_listOf[gram];
            if (at == 0) {
                m_lists.emplace_back();
                at = static_cast<std::uint32_t>(m_lists.size());
            }
            return m_lists[at - 1];
        }
        // nullptr when no record has the gram.
        const std::vector<RecordNumber>* find(Gram gram) const
        {
            const std::uint32_t at = m_listOf[gram];
            return at == 0 ? nullptr : &m_lists[at - 1];
        }

    private:
        std::vector<std::uint32_t> m_listOf; // by gram: 1 + its list's place, 0 for none
        std::vector<std::vector<RecordNumber>> m_lists;
    };

    // Adds number to the lists of the grams gathered since the last call, once each, and
    // clears them.
    void post(GramLists& space, RecordNumber number);

    std::vector<IndexedRecord> m_records;
    std::array<GramLists, Spaces> m_postings;
    // The grams of the text being added: a byte per gram, and a byte per block of 64 grams
    // that holds any. Both are set by plain stores, which no later store has to wait for, as
    // it would to change a bit of a word that a gram just before changed.
    std::vector<std::uint8_t> m_seen;
    std::vector<std::uint8_t> m_seenBlocks;
};

class Segment
{
public:
    // nullopt when the bytes are not a whole, undamaged segment.
    static std::optional<Segment> read(std::string bytes);
    // The same from a segment file, mapped rather than read. Throws catalog::FileError
    // when the file cannot be read.
    static std::optional<Segment> readFile(const std::string& path);

    std::size_t size() const { return m_records.size(); }
    std::size_t bytes() const { return m_bytes.size(); }
    std::string_view key(RecordNumber number) const { return m_records[number].key; }
    FileStamp stamp(RecordNumber number, IndexedText text) const;
    IndexedRecord record(RecordNumber number) const;

    // The records whose text holds every gram (pinyin: of the initials); false when the
    // segment turns out damaged.
    bool recordsWithAll(IndexedText text, bool pinyin, const std::vector<Gram>& grams,
                        std::vector<RecordNumber>& numbers) const;

private:
    // Records are read where they lie, when asked for: opening a segment of many records
    // copies nothing but where their keys and stamps lie.
    struct RecordAt
    {
        std::string_view key;
        std::size_t stampsAt; // in m_bytes
    };
    struct GramEntry
    {
        std::uint32_t key; // space << 16 | gram
        std::uint64_t offset;
        std::uint32_t length;
        std::uint32_t checksum;
    };

    static std::optional<Segment> parse(index_bytes::HeldBytes held);

    std::shared_ptr<const void> m_owner; // whatever holds m_bytes
    std::string_view m_bytes;
    std::vector<RecordAt> m_records;
    std::vector<GramEntry> m_grams; // ascending keys
    std::size_t m_postingsStart = 0;
};

} // namespace search
