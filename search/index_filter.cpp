#include "search/index_filter.h"

#include "search/engine.h"
#include "search/index_store.h"
#include "search/pinyin.h"

namespace search {
namespace {

// The records of one segment whose text may hold any of the terms; false when a term
// cannot be filtered or the segment is damaged.
bool candidatesOf(const Segment& segment, IndexedText text, const TextCriteria& criteria,
                  std::vector<bool>& candidates)
{
    candidates.assign(segment.size(), false);
    std::vector<RecordNumber> numbers;
    for (const auto& term : criteria.termsGbk) {
        const auto grams = TermGrams(term);
        if (!grams || !segment.recordsWithAll(text, false, *grams, numbers)) {
            return false;
        }
        for (const RecordNumber n : numbers) {
            candidates[n] = true;
        }
        if (criteria.pinyin) {
            if (const auto initials = PinyinTermGrams(term)) {
                if (!segment.recordsWithAll(text, true, *initials, numbers)) {
                    return false;
                }
                for (const RecordNumber n : numbers) {
                    candidates[n] = true;
                }
            }
        }
    }
    return true;
}

} // namespace

bool HoldsAsNow(const SearchIndex& index, const SearchIndex::Entry& entry, const RecordFiles& files,
                IndexedText text)
{
    const std::string* names[IndexedTexts] = {&files.cdr, &files.mx, &files.fmx};
    const auto t = static_cast<std::size_t>(text);
    return index.stamp(entry, text)
        .matches(files.stamped[t] ? files.stamps[t] : StampFile(files.folderFd, *names[t]));
}

EntryFinder::EntryFinder(const SearchIndex& index) : m_index(index), m_next(index.segments().size())
{
    for (std::uint32_t s = 0; s < m_next.size(); ++s) {
        advance(s, 0);
    }
}

std::optional<SearchIndex::Entry> EntryFinder::find(const std::string& relative,
                                                    const std::string& cdrFile)
{
    RecordKeyInto(m_key, relative, cdrFile);
    if (m_last && m_index.key(*m_last) == m_key) {
        return m_last; // another text of the same record
    }
    // The segment of the last entry first: the walk goes on in it to the end of a run.
    const auto segments = static_cast<std::uint32_t>(m_next.size());
    const std::uint32_t first = m_last ? m_last->segment : 0;
    for (std::uint32_t i = 0; i < segments; ++i) {
        const SearchIndex::Entry next{(first + i) % segments, m_next[(first + i) % segments]};
        if (next.number < m_index.segments()[next.segment].size() && m_index.key(next) == m_key) {
            return found(next);
        }
    }
    const SearchIndex::Entry* entry = m_index.find(m_key);
    return entry != nullptr ? found(*entry) : std::nullopt;
}

std::optional<SearchIndex::Entry> EntryFinder::found(SearchIndex::Entry entry)
{
    m_last = entry;
    advance(entry.segment, entry.number + 1);
    return entry;
}

void EntryFinder::advance(std::uint32_t segment, RecordNumber number)
{
    const std::size_t size = m_index.segments()[segment].size();
    while (number < size && !m_index.isNewest({segment, number})) {
        ++number;
    }
    m_next[segment] = number;
}

IndexFilter::IndexFilter(const SearchIndex* index, const TextCriteria& criteria) : m_index(index)
{
    if (m_index == nullptr) {
        return;
    }
    m_entries.emplace(*m_index);
    const bool searched[IndexedTexts] = {criteria.content, criteria.description, criteria.internal};
    for (std::size_t t = 0; t < IndexedTexts; ++t) {
        if (!searched[t]) {
            continue;
        }
        auto& perSegment = m_candidates[t];
        perSegment.resize(m_index->segments().size());
        for (std::size_t s = 0; s < perSegment.size(); ++s) {
            if (!candidatesOf(m_index->segments()[s], IndexedText(t), criteria, perSegment[s])) {
                perSegment.clear();
                break;
            }
        }
    }
}

bool IndexFilter::mayHold(IndexedText text, const std::string& relative, const RecordFiles& files,
                          const std::string& folder)
{
    const auto& perSegment = m_candidates[static_cast<std::size_t>(text)];
    if (m_index == nullptr || perSegment.empty()) {
        return true;
    }
    const auto entry = m_entries->find(relative, files.cdr);
    if (!entry || !HoldsAsNow(*m_index, *entry, files, text)) {
        noteStale(relative, files, folder);
        return true;
    }
    const bool may = perSegment[entry->segment][entry->number];
    m_passedOver += may ? 0 : 1;
    return may;
}

void IndexFilter::noteStale(const std::string& relative, const RecordFiles& files,
                            const std::string& folder)
{
    if (relative == m_lastStale) {
        return;
    }
    m_lastStale = relative;
    // Full paths (folder ""): the folder is the part before the last slash.
    const auto split = [&](const std::string& name) {
        return folder.empty() ? name.substr(name.rfind('/') + 1) : name;
    };
    const std::string at = folder.empty() ? files.cdr.substr(0, files.cdr.rfind('/') + 1) : folder;
    m_stale.push_back({relative, at, split(files.cdr), split(files.mx), split(files.fmx)});
}

} // namespace search
