#include "search/index_segment.h"

#include "search/index_bytes.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace search {
namespace {

using namespace index_bytes;

constexpr std::string_view Magic = "VLMKIDX3";
constexpr std::size_t HeaderSize = 8 + 4 + 4 + 8 + 4;
// A stamp's size, inode and two times.
constexpr std::size_t StampNumbersSize = 4 * 8;
constexpr std::size_t GramCount = std::size_t{1} << 16;
constexpr std::size_t BlockGrams = 64;

std::size_t spaceOf(IndexedText text, bool pinyin)
{
    return static_cast<std::size_t>(text) * 2 + (pinyin ? 1 : 0);
}

} // namespace

SegmentWriter::SegmentWriter()
{
    m_seen.assign(GramCount, 0);
    m_seenBlocks.assign(GramCount / BlockGrams, 0);
}

void SegmentWriter::post(GramLists& space, RecordNumber number)
{
    // Eight bytes at a time: a set byte is 1, so each set bit of a word is one gram.
    const auto load = [](const std::uint8_t* bytes) {
        std::uint64_t word = 0;
        std::memcpy(&word, bytes, sizeof word);
        return word;
    };
    for (std::size_t b = 0; b < m_seenBlocks.size(); b += 8) {
        std::uint64_t blocks = load(&m_seenBlocks[b]);
        if (blocks == 0) {
            continue;
        }
        std::memset(&m_seenBlocks[b], 0, 8);
        for (; blocks != 0; blocks &= blocks - 1) {
            const std::size_t first = (b + __builtin_ctzll(blocks) / 8) * BlockGrams;
            for (std::size_t w = first; w < first + BlockGrams; w += 8) {
                for (std::uint64_t grams = load(&m_seen[w]); grams != 0; grams &= grams - 1) {
                    space.of(static_cast<Gram>(w + __builtin_ctzll(grams) / 8)).push_back(number);
                }
            }
            std::memset(&m_seen[first], 0, BlockGrams);
        }
    }
}

RecordNumber SegmentWriter::add(IndexedRecord record, const RecordTexts& texts)
{
    const auto number = static_cast<RecordNumber>(m_records.size());
    m_records.push_back(std::move(record));
    // Called for every byte of every text, so inlined into both loops; set whether or not
    // it is set already, which costs less than asking.
    std::uint8_t* const seen = m_seen.data();
    std::uint8_t* const blocks = m_seenBlocks.data();
    const auto gather = [ seen, blocks ](Gram gram) __attribute__((always_inline))
    {
        seen[gram] = 1;
        blocks[gram / BlockGrams] = 1;
    };
    for (std::size_t t = 0; t < IndexedTexts; ++t) {
        if (texts[t].empty()) {
            continue;
        }
        for (const std::string_view text : texts[t]) {
            ForEachGram(text, gather);
        }
        post(m_postings[spaceOf(IndexedText(t), false)], number);
        for (const std::string_view text : texts[t]) {
            ForEachPinyinGram(text, gather);
        }
        post(m_postings[spaceOf(IndexedText(t), true)], number);
    }
    return number;
}

std::string SegmentWriter::bytes() const
{
    const auto count = static_cast<RecordNumber>(m_records.size());
    std::string middle;
    for (const auto& record : m_records) {
        putText(middle, record.key);
        for (const auto& stamp : record.stamps) {
            putText(middle, stamp.name);
            put(middle, stamp.size);
            put(middle, stamp.inode);
            put(middle, stamp.modifiedNs);
            put(middle, stamp.changedNs);
        }
    }
    std::string postings;
    std::string table;
    std::uint32_t grams = 0;
    std::string list;
    for (std::size_t space = 0; space < m_postings.size(); ++space) {
        for (std::size_t gram = 0; gram < GramCount; ++gram) {
            const auto* numbers = m_postings[space].find(static_cast<Gram>(gram));
            if (numbers == nullptr) {
                continue;
            }
            list.clear();
            EncodePostings(*numbers, count, list);
            put<std::uint32_t>(table, static_cast<std::uint32_t>(space << 16 | gram));
            put<std::uint64_t>(table, postings.size());
            put<std::uint32_t>(table, static_cast<std::uint32_t>(list.size()));
            put<std::uint32_t>(table, checksum(list));
            postings += list;
            ++grams;
        }
    }
    middle += table;
    std::string file(Magic);
    put<std::uint32_t>(file, count);
    put<std::uint32_t>(file, grams);
    put<std::uint64_t>(file, postings.size());
    put<std::uint32_t>(file, checksum(middle));
    file += middle;
    file += postings;
    return file;
}

std::optional<Segment> Segment::read(std::string bytes)
{
    return parse(holdString(std::move(bytes)));
}

std::optional<Segment> Segment::readFile(const std::string& path)
{
    return parse(mapFile(path));
}

std::optional<Segment> Segment::parse(index_bytes::HeldBytes held)
{
    const std::string_view bytes = held.bytes;
    if (bytes.size() < HeaderSize || bytes.substr(0, Magic.size()) != Magic) {
        return std::nullopt;
    }
    Reader header(bytes.substr(Magic.size(), HeaderSize - Magic.size()));
    const auto count = header.get<std::uint32_t>();
    const auto grams = header.get<std::uint32_t>();
    const auto postingsLength = header.get<std::uint64_t>();
    const auto middleChecksum = header.get<std::uint32_t>();
    if (!header.ok() || postingsLength > bytes.size() - HeaderSize) {
        return std::nullopt;
    }
    const std::size_t middleLength = bytes.size() - HeaderSize - postingsLength;
    const std::string_view middle = bytes.substr(HeaderSize, middleLength);
    if (checksum(middle) != middleChecksum) {
        return std::nullopt;
    }
    Segment segment;
    // Every record takes at least its four lengths and three stamps' numbers, every gram
    // entry 20 bytes: a count beyond what the bytes can hold is damage, found below.
    segment.m_records.reserve(std::min<std::size_t>(count, middle.size() / 112));
    segment.m_grams.reserve(std::min<std::size_t>(grams, middle.size() / 20));
    Reader reader(middle);
    for (std::uint32_t i = 0; i < count && reader.ok(); ++i) {
        RecordAt record{reader.view(), HeaderSize + reader.at()};
        for (std::size_t t = 0; t < IndexedTexts; ++t) {
            reader.view();
            reader.skip(StampNumbersSize);
        }
        segment.m_records.push_back(record);
    }
    std::uint32_t previousKey = 0;
    for (std::uint32_t i = 0; i < grams && reader.ok(); ++i) {
        GramEntry entry{};
        entry.key = reader.get<std::uint32_t>();
        entry.offset = reader.get<std::uint64_t>();
        entry.length = reader.get<std::uint32_t>();
        entry.checksum = reader.get<std::uint32_t>();
        if ((i > 0 && entry.key <= previousKey) || entry.offset > postingsLength ||
            entry.length > postingsLength - entry.offset) {
            return std::nullopt;
        }
        previousKey = entry.key;
        segment.m_grams.push_back(entry);
    }
    if (!reader.ok() || !reader.atEnd()) {
        return std::nullopt;
    }
    segment.m_postingsStart = HeaderSize + middleLength;
    segment.m_owner = std::move(held.owner);
    segment.m_bytes = bytes;
    return segment;
}

FileStamp Segment::stamp(RecordNumber number, IndexedText text) const
{
    // Checked whole when the segment was read.
    Reader reader(m_bytes.substr(m_records[number].stampsAt));
    for (std::size_t t = 0; t < static_cast<std::size_t>(text); ++t) {
        reader.view();
        reader.skip(StampNumbersSize);
    }
    FileStamp stamp;
    stamp.name = reader.view();
    stamp.size = reader.get<std::uint64_t>();
    stamp.inode = reader.get<std::uint64_t>();
    stamp.modifiedNs = reader.get<std::int64_t>();
    stamp.changedNs = reader.get<std::int64_t>();
    return stamp;
}

IndexedRecord Segment::record(RecordNumber number) const
{
    IndexedRecord record;
    record.key = key(number);
    for (std::size_t t = 0; t < IndexedTexts; ++t) {
        record.stamps[t] = stamp(number, IndexedText(t));
    }
    return record;
}

bool Segment::recordsWithAll(IndexedText text, bool pinyin, const std::vector<Gram>& grams,
                             std::vector<RecordNumber>& numbers) const
{
    const auto count = static_cast<RecordNumber>(m_records.size());
    const std::uint32_t space = static_cast<std::uint32_t>(spaceOf(text, pinyin)) << 16;
    numbers.clear();
    std::vector<RecordNumber> list;
    for (std::size_t i = 0; i < grams.size(); ++i) {
        const std::uint32_t key = space | grams[i];
        const auto entry =
            std::lower_bound(m_grams.begin(), m_grams.end(), key,
                             [](const GramEntry& e, std::uint32_t k) { return e.key < k; });
        if (entry == m_grams.end() || entry->key != key) {
            numbers.clear();
            return true; // no record holds this gram
        }
        const std::string_view bytes =
            std::string_view(m_bytes).substr(m_postingsStart + entry->offset, entry->length);
        if (checksum(bytes) != entry->checksum || !DecodePostings(bytes, count, list)) {
            numbers.clear();
            return false;
        }
        if (i == 0) {
            numbers.swap(list);
        } else {
            IntersectInto(numbers, list);
        }
        if (numbers.empty()) {
            return true;
        }
    }
    if (grams.empty()) {
        numbers.resize(count);
        for (RecordNumber n = 0; n < count; ++n) {
            numbers[n] = n;
        }
    }
    return true;
}

} // namespace search
