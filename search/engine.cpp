#include "search/engine.h"

#include "catalog/cdinfo.h"
#include "catalog/disk.h"
#include "catalog/library.h"
#include "catalog/record_files.h"
#include "catalog/record_set.h"
#include "catalog/text.h"
#include "catalog/tree.h"
#include "catalog/tree_text.h"
#include "organize/tree_copy.h"
#include "search/index_filter.h"
#include "search/pinyin.h"
#include "search/record_walk.h"
#include "search/results.h"
#include "search/term_match.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace search {

// ---- Term matching ---------------------------------------------------------------------

TermMatcher::TermMatcher(std::string_view termGbk) : m_term(termGbk)
{
    m_lower.resize(m_term.size());
    m_fold.assign(m_term.size(), '\0');
    for (std::size_t i = 0; i < m_term.size();) {
        const std::size_t length = catalog::gbkCharLength(m_term, i);
        char c = m_term[i];
        if (length == 1 && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) {
            c = static_cast<char>(c | 0x20);
            m_fold[i] = 0x20;
            m_anyFold = true;
        }
        m_lower[i] = c;
        if (length == 2) {
            m_lower[i + 1] = m_term[i + 1];
        }
        i += length;
    }
}

bool TermMatcher::restMatches(const char* at) const
{
    for (std::size_t i = 1; i + 1 < m_lower.size(); ++i) {
        if (static_cast<char>(at[i] | m_fold[i]) != m_lower[i]) {
            return false;
        }
    }
    return true;
}

// known is a character boundary at or before pos; it moves forward with every call, so
// the walks of one text add up to one pass.
bool TermMatcher::boundaryAt(std::string_view text, std::size_t pos, std::size_t& known) const
{
    if (pos > known) {
        const void* lf = ::memrchr(text.data() + known, '\n', pos - known);
        if (lf != nullptr) {
            known = static_cast<std::size_t>(static_cast<const char*>(lf) - text.data()) + 1;
        }
    }
    while (known < pos) {
        known += catalog::gbkCharLength(text, known);
    }
    return known == pos;
}

#if defined(__x86_64__)
namespace {

// The candidate filter 32 positions at a time, where the processor has AVX2. Returns
// the first position not yet filtered; found is set on a verified hit.
__attribute__((target("avx2"))) std::size_t
filterAvx2(const char* data, std::size_t candidates, std::size_t n, const std::string& lower,
           const std::string& fold, const std::function<bool(std::size_t)>& verify, bool& found)
{
    const __m256i firstV = _mm256_set1_epi8(lower.front());
    const __m256i firstFoldV = _mm256_set1_epi8(fold.front());
    const __m256i lastV = _mm256_set1_epi8(lower.back());
    const __m256i lastFoldV = _mm256_set1_epi8(fold.back());
    std::size_t pos = 0;
    for (; pos + 32 <= candidates; pos += 32) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + pos));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + pos + n - 1));
        const __m256i hits =
            _mm256_and_si256(_mm256_cmpeq_epi8(_mm256_or_si256(a, firstFoldV), firstV),
                             _mm256_cmpeq_epi8(_mm256_or_si256(b, lastFoldV), lastV));
        auto mask = static_cast<unsigned>(_mm256_movemask_epi8(hits));
        while (mask != 0) {
            const std::size_t at = pos + static_cast<std::size_t>(__builtin_ctz(mask));
            mask &= mask - 1;
            if (verify(at)) {
                found = true;
                return pos;
            }
        }
    }
    return pos;
}

const bool HasAvx2 = __builtin_cpu_supports("avx2");

} // namespace
#endif

bool TermMatcher::foundIn(std::string_view text) const
{
    const std::size_t n = m_lower.size();
    if (n == 0) {
        return true;
    }
    if (text.size() < n) {
        return false;
    }
    std::size_t known = 0;
    if (!m_anyFold) {
        const char* base = text.data();
        std::size_t from = 0;
        while (from + n <= text.size()) {
            const void* hit = ::memmem(base + from, text.size() - from, m_lower.data(), n);
            if (hit == nullptr) {
                return false;
            }
            const auto pos = static_cast<std::size_t>(static_cast<const char*>(hit) - base);
            if (boundaryAt(text, pos, known)) {
                return true;
            }
            from = pos + 1;
        }
        return false;
    }

    // First and last byte of the term filter the candidates 16 positions at a time; the
    // bytes between are compared only for those.
    const char first = m_lower.front();
    const char firstFold = m_fold.front();
    const char last = m_lower.back();
    const char lastFold = m_fold.back();
    const std::size_t candidates = text.size() - n + 1;
    const char* data = text.data();
    std::size_t pos = 0;
#if defined(__x86_64__)
    if (HasAvx2) {
        bool found = false;
        pos = filterAvx2(
            data, candidates, n, m_lower, m_fold,
            [&](std::size_t at) { return restMatches(data + at) && boundaryAt(text, at, known); },
            found);
        if (found) {
            return true;
        }
    }
    const __m128i firstV = _mm_set1_epi8(first);
    const __m128i firstFoldV = _mm_set1_epi8(firstFold);
    const __m128i lastV = _mm_set1_epi8(last);
    const __m128i lastFoldV = _mm_set1_epi8(lastFold);
    for (; pos + 16 <= candidates; pos += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + pos));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + pos + n - 1));
        const __m128i hits = _mm_and_si128(_mm_cmpeq_epi8(_mm_or_si128(a, firstFoldV), firstV),
                                           _mm_cmpeq_epi8(_mm_or_si128(b, lastFoldV), lastV));
        auto mask = static_cast<unsigned>(_mm_movemask_epi8(hits));
        while (mask != 0) {
            const std::size_t at = pos + static_cast<std::size_t>(__builtin_ctz(mask));
            mask &= mask - 1;
            if (restMatches(data + at) && boundaryAt(text, at, known)) {
                return true;
            }
        }
    }
#endif
    for (; pos < candidates; ++pos) {
        if (static_cast<char>(data[pos] | firstFold) == first &&
            static_cast<char>(data[pos + n - 1] | lastFold) == last && restMatches(data + pos) &&
            boundaryAt(text, pos, known)) {
            return true;
        }
    }
    return false;
}

// ---- The run ---------------------------------------------------------------------------

namespace {

const std::string& gbkText(const char* utf8)
{
    thread_local std::unordered_map<const char*, std::string> cache;
    auto [it, added] = cache.try_emplace(utf8);
    if (added) {
        it->second = catalog::utf8ToGbk(utf8);
    }
    return it->second;
}

void makeFolder(const std::string& folder)
{
    const std::string path = folder.substr(0, folder.size() - 1);
    if (::mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) {
        catalog::throwFileError(path, errno);
    }
}

// The part of a scope caption after its first backslash.
std::string_view relativeOf(std::string_view captionGbk)
{
    const auto slash = catalog::findSingleByte(captionGbk, '\\');
    return slash == std::string_view::npos ? std::string_view() : captionGbk.substr(slash + 1);
}

// One read buffer for every record file of a run: no allocation per file.
class ReadBuffer
{
public:
    // The whole file; throws FileError. One read call for a file that fits the buffer:
    // a short read of a regular file is its end, so neither fstat nor a read that returns
    // nothing is needed.
    // name is opened relative to the folder descriptor (no path walk per record file);
    // folder only makes the error text.
    std::string_view read(int folderFd, const std::string& folder, const std::string& name)
    {
        // Only files the listing showed regular come here: O_NONBLOCK is enough to keep
        // one swapped for a FIFO meanwhile from making the run wait.
        catalog::FileDescriptor fd(
            ::openat(folderFd, name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
        if (fd.get() < 0) {
            catalog::throwFileError(folder + name, errno);
        }
        reserve(InitialSize);
        std::size_t filled = 0;
        for (;;) {
            const ssize_t n = ::read(fd.get(), m_data.get() + filled, m_capacity - filled);
            if (n < 0) {
                if (errno == EINTR) {
                    continue;
                }
                catalog::throwFileError(folder + name, errno);
            }
            filled += static_cast<std::size_t>(n);
            if (n == 0 || filled < m_capacity) {
                break;
            }
            reserve(m_capacity * 2);
        }
        return {m_data.get(), filled};
    }

private:
    void reserve(std::size_t size)
    {
        if (size <= m_capacity) {
            return;
        }
        auto bigger = std::make_unique_for_overwrite<char[]>(size);
        if (m_data) {
            std::memcpy(bigger.get(), m_data.get(), m_capacity);
        }
        m_data = std::move(bigger);
        m_capacity = size;
    }

    static constexpr std::size_t InitialSize = 256 * 1024;
    std::unique_ptr<char[]> m_data;
    std::size_t m_capacity = 0;
};

int daysInMonth(int year, int month)
{
    static const int Days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : Days[month - 1];
}

class Run : public RecordWalk
{
public:
    Run(const std::string& root, const SearchRequest& request, SearchProgress& progress,
        const std::string& categoryFolder)
        : m_root(root), m_request(request), m_progress(progress), m_writer(root, categoryFolder),
          m_filter(request.kind == SearchKind::Text ? request.index : nullptr, request.text)
    {
        if (request.index != nullptr) {
            useListings(&request.index->listings(), &m_listed);
        }
        if (request.index != nullptr && request.kind == SearchKind::Text) {
            stampFiles({request.text.content, request.text.description, request.text.internal});
        }
        for (const auto& term : request.text.termsGbk) {
            m_terms.emplace_back(term);
            if (request.text.pinyin && PinyinMatcher(term).applies()) {
                m_pinyinTerms.emplace_back(term);
            }
        }
    }

    void scopeEntry(const ScopeEntry& entry)
    {
        const std::string relative(relativeOf(entry.captionGbk));
        switch (entry.kind) {
        case ScopeKind::Cd: {
            const std::string_view name = CdNameOf(relative);
            const std::string folder =
                catalog::LibraryPath(m_root, relative.substr(0, relative.size() - name.size()));
            // Full paths: opened from the working folder.
            RecordFiles files;
            files.cdr = catalog::FindRecordFile(folder, name, catalog::RecordKind::Cdr);
            files.tag = catalog::FindRecordFile(folder, name, catalog::RecordKind::Tag);
            files.mx = catalog::FindRecordFile(folder, name, catalog::RecordKind::Mx);
            files.fmx = catalog::FindRecordFile(folder, name, catalog::RecordKind::Fmx);
            files.ifn = catalog::FindRecordFile(folder, name, catalog::RecordKind::Ifn);
            m_folder.clear();
            if (files.cdr.empty() && needsListing()) {
                catalog::throwFileError(catalog::ChildPath(folder, std::string(name) + ".Cdr"),
                                        ENOENT);
            }
            matchRecord(relative, files);
            break;
        }
        case ScopeKind::Box:
            walkBox(catalog::LibraryPath(m_root, relative) + "/", relative + "\\");
            break;
        case ScopeKind::Library:
            walkBox(m_root, "");
            break;
        }
    }

    bool wasAborted() const { return m_aborted; }
    std::vector<StaleRecord> takeStale() { return m_filter.takeStale(); }
    FolderListings takeListed() { return std::move(m_listed); }
    int passedOver() const { return m_filter.passedOver(); }
    int hits() const { return m_hits; }

    bool checkAbort()
    {
        if (!m_aborted && m_progress.aborted()) {
            m_aborted = true;
        }
        return m_aborted;
    }

private:
    void visit(const std::string& relative, const RecordFiles& files,
               const std::string& folder) override
    {
        m_folder = folder;
        matchRecord(relative, files);
    }

    bool aborted() override { return checkAbort(); }

    bool needsListing() const
    {
        return m_request.kind == SearchKind::Text && m_request.text.content;
    }

    void matchRecord(const std::string& relative, const RecordFiles& files)
    {
        switch (m_request.kind) {
        case SearchKind::Text:
            matchText(relative, files);
            break;
        case SearchKind::Date:
            status("查找中... ", relative);
            if (const auto info = readInfo(files); info && matchesDate(*info)) {
                record(relative, files);
            }
            break;
        case SearchKind::Advanced:
            if (const auto info = readInfo(files); info && matchesFields(*info)) {
                record(relative, files);
            }
            break;
        }
    }

    std::string_view readFile(const RecordFiles& files, const std::string& name)
    {
        if (!files.special.empty() &&
            std::find(files.special.begin(), files.special.end(), name) != files.special.end()) {
            catalog::throwOpenError(m_folder + name, EINVAL);
        }
        return m_buffer.read(files.folderFd, m_folder, name);
    }

    bool anyTermIn(std::string_view text) const
    {
        return std::any_of(m_terms.begin(), m_terms.end(),
                           [&](const TermMatcher& term) { return term.foundIn(text); }) ||
               std::any_of(m_pinyinTerms.begin(), m_pinyinTerms.end(),
                           [&](const PinyinMatcher& term) { return term.foundIn(text); });
    }

    void status(const char* prefixUtf8, const std::string& relative)
    {
        m_status.assign(gbkText(prefixUtf8)).append(relative);
        m_progress.status(m_status);
    }

    void matchText(const std::string& relative, const RecordFiles& files)
    {
        const TextCriteria& c = m_request.text;
        bool matched = false;
        if (c.name) {
            status("查找中... ", relative);
            matched = anyTermIn(CdNameOf(relative));
        }
        if (!matched && c.description) {
            status("查找中...", relative);
            matched = !files.mx.empty() && mayHold(IndexedText::Description, relative, files) &&
                      anyTermIn(readFile(files, files.mx));
        }
        if (!matched && c.internal) {
            status("查找中...", relative);
            if (!files.fmx.empty() && mayHold(IndexedText::Internal, relative, files)) {
                const auto lines = catalog::SplitLines(readFile(files, files.fmx));
                for (std::size_t i = 1; i < lines.size() && !matched; i += 2) {
                    matched = anyTermIn(lines[i]);
                }
            }
        }
        if (!matched && c.content) {
            status("查找中... ", relative);
            if (!mayHold(IndexedText::Content, relative, files)) {
                return;
            }
            if (c.onlyNodes) {
                matchNodes(relative, files);
                return;
            }
            matched = !files.cdr.empty() && anyTermIn(readFile(files, files.cdr));
        }
        if (matched) {
            record(relative, files);
            m_progress.found(relative);
        }
    }

    bool mayHold(IndexedText text, const std::string& relative, const RecordFiles& files)
    {
        return m_filter.mayHold(text, relative, files, m_folder);
    }

    void matchNodes(const std::string& relative, const RecordFiles& files)
    {
        if (files.cdr.empty()) {
            return;
        }
        const std::string_view text = readFile(files, files.cdr);
        // A node can only hold a term the whole text holds: without one, the tree is not
        // built, but every node is still offered to the abort check and the status line.
        if (!anyTermIn(text)) {
            walkLinesOnly(text, relative);
            return;
        }
        catalog::Tree tree;
        catalog::ReadTreeText(text, tree);
        if (tree.empty()) {
            return;
        }
        // A short or broken .tag leaves class 0 on the nodes it does not reach; those
        // are taken for files, so a match among them still shows as a file.
        if (!files.tag.empty()) {
            catalog::ApplyTagText(readFile(files, files.tag), tree);
        }
        const std::vector<catalog::NodeId> order = tree.indexOrder();
        PrunedTree pruned(tree);
        const std::string nodePrefix = gbkText("查找中... ") + relative + "  ";
        for (std::size_t i = 1; i < order.size(); ++i) {
            if (checkAbort()) {
                return;
            }
            const catalog::NodeId node = order[i];
            m_status.assign(nodePrefix).append(tree.text(node));
            m_progress.status(m_status);
            if (!anyTermIn(tree.text(node))) {
                continue;
            }
            m_progress.caption(gbkText("找到") + "\"" + tree.text(node) + "\"" + gbkText(" 包含 ") +
                               "\"" + m_request.text.searchTextGbk + "\"" +
                               gbkText(" ...正在加进目录树中..."));
            const int image = tree.image(node);
            pruned.add(node,
                       image == catalog::IconClass::Root ? catalog::IconClass::OtherFile : image);
            m_progress.caption(gbkText("查找"));
        }
        if (pruned.tree().size() > 1) {
            ++m_hits;
            m_writer.writeFoundFolder(relative, pruned.tree(),
                                      files.fmx.empty() ? "" : m_folder + files.fmx,
                                      files.ifn.empty() ? "" : m_folder + files.ifn);
            m_progress.found(relative);
        }
    }

    void walkLinesOnly(std::string_view text, const std::string& relative)
    {
        m_status.assign(gbkText("查找中... ")).append(relative).append("  ");
        const std::size_t prefix = m_status.size();
        const char* pos = text.data();
        const char* const end = pos + text.size();
        bool rootSeen = false;
        while (pos < end) {
            const auto* lf = static_cast<const char*>(std::memchr(pos, '\n', end - pos));
            const char* lineEnd = lf != nullptr ? lf : end;
            // A lone CR also ends a line; CR LF is the usual end.
            if (const auto* cr = static_cast<const char*>(std::memchr(pos, '\r', lineEnd - pos))) {
                lineEnd = cr;
                lf = cr + 1 < end && cr[1] == '\n' ? cr + 1 : cr;
            }
            const char* start = pos;
            while (start < lineEnd && (*start == '\t' || *start == ' ')) {
                ++start;
            }
            if (rootSeen) {
                if (checkAbort()) {
                    return;
                }
                m_status.resize(prefix);
                m_status.append(start, lineEnd);
                m_progress.status(m_status);
            }
            rootSeen = true;
            pos = lf != nullptr ? lf + 1 : end;
        }
    }

    std::optional<catalog::TCDInfo> readInfo(const RecordFiles& files)
    {
        if (files.ifn.empty()) {
            return std::nullopt;
        }
        // A short record holds no trustworthy date or fields: the CD is passed over.
        return catalog::DecodeCDInfo(readFile(files, files.ifn));
    }

    bool matchesDate(const catalog::TCDInfo& info)
    {
        const DateCriteria& d = m_request.date;
        const double p = info.cdtime;
        if (d.between) {
            return p > d.first - 1 && p < d.second + 1;
        }
        int year = d.today.year;
        int month = d.today.month;
        switch (d.age) {
        case AgeRange::OverOneYear:
        case AgeRange::WithinOneYear:
            year -= 1;
            break;
        case AgeRange::OverTwoYears:
            year -= 2;
            break;
        case AgeRange::WithinHalfYear:
            month -= 6;
            break;
        case AgeRange::WithinOneMonth:
            month -= 1;
            break;
        }
        if (month < 1) {
            month += 12;
            year -= 1;
        }
        // The 31st in a month of 30 days, or 29 February in a common year: the month's
        // last day.
        const int day = std::min(d.today.day, daysInMonth(year, month));
        const double r = catalog::ToDayNumber({year, month, day, 0, 0, 0});
        if (d.age == AgeRange::OverOneYear || d.age == AgeRange::OverTwoYears) {
            return p < r + 1;
        }
        return p > r - 1;
    }

    bool matchesFields(const catalog::TCDInfo& info) const
    {
        const FieldCriteria& f = m_request.fields;
        struct Test
        {
            const std::string& record;
            const std::string& value;
            bool contains;
        };
        const Test tests[] = {{info.cdno, f.cdno, false},          {info.cdowner, f.cdowner, true},
                              {info.cdbuyaddr, f.cdbuyaddr, true}, {info.cdother, f.cdother, true},
                              {info.cdstyle, f.cdstyle, false},    {info.cdstat, f.cdstat, false},
                              {info.cdzl, f.cdzl, false},          {info.cdxz, f.cdxz, false}};
        for (const Test& test : tests) {
            if (catalog::trimBlanks(test.value).empty()) {
                continue;
            }
            const bool pass = test.contains ? catalog::containsNoCase(test.record, test.value)
                                            : catalog::equalsNoCase(test.record, test.value);
            if (!pass) {
                return false;
            }
        }
        return true;
    }

    void record(const std::string& relative, const RecordFiles& files)
    {
        ++m_hits;
        // The pointer names the listing as it is spelled on disk.
        const std::string_view listing = files.cdr;
        m_writer.writeFoundCd(relative, listing.size() >= 4 ? listing.substr(listing.size() - 4)
                                                            : catalog::RecordExt::Cdr);
    }

    const std::string& m_root;
    const SearchRequest& m_request;
    SearchProgress& m_progress;
    ResultWriter m_writer;
    std::vector<TermMatcher> m_terms;
    std::vector<PinyinMatcher> m_pinyinTerms; // the terms of letters, when initials count
    IndexFilter m_filter;
    FolderListings m_listed;
    ReadBuffer m_buffer;
    std::string m_status;
    std::string m_folder; // of the record being tested, for error texts; "" for full paths
    int m_hits = 0;
    bool m_aborted = false;
};

// The caption of the run's category: for a text search its terms, for the others the
// first free numbered name.
std::string categoryCaptionOf(const std::string& root, const SearchRequest& request)
{
    switch (request.kind) {
    case SearchKind::Text: {
        std::string name = gbkText(request.text.pinyin ? "拼音 包含 " : "包含 ");
        for (std::size_t i = 0; i < request.text.termsGbk.size(); ++i) {
            if (i > 0) {
                name += gbkText("或");
            }
            name += request.text.termsGbk[i];
        }
        return name;
    }
    case SearchKind::Date:
        return UniqueCategoryName(ResultsFolder(root) + gbkText("按日期查找") + "/");
    case SearchKind::Advanced:
        return UniqueCategoryName(ResultsFolder(root) + gbkText("高级查找") + "/");
    }
    return {};
}

// Empties the category for a new run: a category is the same whatever the ASCII case of
// its name, so a folder spelled otherwise goes too.
void clearCategory(const std::string& root, const std::string& categoryGbk)
{
    std::vector<catalog::DirEntry> entries;
    catalog::ListFolder(ResultsFolder(root), entries);
    for (const auto& entry : entries) {
        if (entry.isFolder && catalog::equalsNoCase(entry.name, categoryGbk)) {
            DeleteCategory(root, entry.name);
        }
    }
}

} // namespace

SearchOutcome RunSearch(const std::string& libraryRoot, const SearchRequest& request,
                        SearchProgress& progress)
{
    SearchOutcome outcome;
    // Two runs into one category would empty it under each other's feet.
    const ResultsLock lock(libraryRoot, [&] { return !progress.aborted(); });
    if (!lock.acquired()) {
        outcome.aborted = true;
        return outcome;
    }
    const std::string caption = categoryCaptionOf(libraryRoot, request);
    outcome.categoryGbk = CategoryFolderName(caption);
    const std::string category = CategoryFolder(libraryRoot, outcome.categoryGbk);
    clearCategory(libraryRoot, outcome.categoryGbk);
    makeFolder(category);

    Run run(libraryRoot, request, progress, category);
    const std::size_t count = request.scope.size();
    for (std::size_t i = 0; i < count; ++i) {
        if (run.checkAbort()) {
            break;
        }
        run.scopeEntry(request.scope[i]);
    }
    outcome.hits = run.hits();
    outcome.aborted = run.wasAborted();
    outcome.staleRecords = run.takeStale();
    outcome.listedFolders = run.takeListed();
    outcome.filesPassedOver = run.passedOver();
    if (outcome.hits > 0) {
        catalog::WriteFileAtomically(category + outcome.categoryGbk + ".Fin",
                                     CategoryDescription(request, caption));
    } else if (!outcome.aborted) {
        // An empty category is no result; nor is an empty results folder.
        DeleteCategory(libraryRoot, outcome.categoryGbk);
        if (catalog::FolderIsEmpty(ResultsFolder(libraryRoot))) {
            organize::DeleteFolderTree(ResultsFolder(libraryRoot));
        }
    }
    return outcome;
}

std::vector<std::string> SplitTerms(const std::string& textGbk)
{
    // Split by characters: the trail byte of 乗 (81 5C) is no separator. Backslashes at
    // either end only make empty pieces, which are dropped.
    const std::string_view text = catalog::trimBlanks(textGbk);
    std::vector<std::string> pieces;
    for (std::size_t start = 0; start <= text.size();) {
        std::size_t end = catalog::findSingleByte(text, '\\', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        if (end > start) {
            pieces.emplace_back(text.substr(start, end - start));
        }
        start = end + 1;
    }
    std::reverse(pieces.begin(), pieces.end());
    return pieces;
}

bool Covers(const ScopeEntry& entry, const std::string& captionGbk)
{
    if (entry.kind == ScopeKind::Cd) {
        return false;
    }
    const std::string& own = entry.captionGbk;
    return captionGbk == own ||
           (captionGbk.size() > own.size() && captionGbk.compare(0, own.size(), own) == 0 &&
            captionGbk[own.size()] == '\\');
}

std::vector<std::size_t> RedundantEntries(const std::vector<ScopeEntry>& scope)
{
    std::vector<std::size_t> redundant;
    for (std::size_t j = 0; j < scope.size(); ++j) {
        for (std::size_t i = 0; i < scope.size(); ++i) {
            if (i == j || !Covers(scope[i], scope[j].captionGbk)) {
                continue;
            }
            // Two equal entries cover each other: the first one stays, or neither would be
            // searched. A box and a CD of the same caption are different places.
            if (scope[i].captionGbk == scope[j].captionGbk &&
                (i > j || scope[i].kind != scope[j].kind)) {
                continue;
            }
            redundant.push_back(j);
            break;
        }
    }
    return redundant;
}

} // namespace search
