#pragma once

#include "platform/clock.h"
#include "search/index_build.h"

#include <string>
#include <vector>

// One search over the library: the records named by a scope list are tested against the
// criteria of one search kind, and every hit is written into a search category.
namespace search {

class SearchIndex;

enum class SearchKind { Text = 0, Date = 1, Advanced = 2 };
enum class ScopeKind { Library = 0, Box = 1, Cd = 2 };

struct ScopeEntry
{
    std::string captionGbk; // "Orlendy", "Orlendy\软件光盘", "Orlendy\软件光盘\工具盘"
    ScopeKind kind = ScopeKind::Library;
};

struct TextCriteria
{
    std::vector<std::string> termsGbk; // in search order
    std::string searchTextGbk;         // as typed, for progress captions
    bool content = true;
    bool name = false;
    bool description = false;
    bool internal = false;
    bool onlyNodes = false;
    // A term of letters also finds a run of Chinese characters whose pinyin initials it
    // spells ("rjgp" finds 软件光盘).
    bool pinyin = false;
};

enum class AgeRange {
    OverOneYear = 0,
    OverTwoYears = 1,
    WithinOneYear = 2,
    WithinHalfYear = 3,
    WithinOneMonth = 4
};

struct DateCriteria
{
    bool between = false;
    double first = 0.0; // day numbers (days since 1899-12-30, fraction = time of day)
    double second = 0.0;
    AgeRange age = AgeRange::OverOneYear;
    platform::LocalDateTime today; // the reference of the age ranges
};

// Advanced search: a value takes part when it is not blank; compared as typed (GBK).
struct FieldCriteria
{
    std::string cdno, cdowner, cdbuyaddr, cdother, cdstyle, cdstat, cdzl, cdxz;
};

struct SearchRequest
{
    SearchKind kind = SearchKind::Text;
    TextCriteria text;
    DateCriteria date;
    FieldCriteria fields;
    std::vector<ScopeEntry> scope;
    // A text search reads only the records this index cannot rule out; the results are
    // the same with it or without it (nullptr).
    const SearchIndex* index = nullptr;
};

// What a run tells its dialog, and how the dialog stops it.
class SearchProgress
{
public:
    virtual ~SearchProgress() = default;
    virtual void status(const std::string& textGbk) = 0;        // the dialog's status line
    virtual void caption(const std::string& textGbk) = 0;       // the dialog's caption
    virtual void found(const std::string& relativeNameGbk) = 0; // a text-search hit
    // Called at every folder entry and every node of an only-nodes test: lets the window
    // handle its messages; true when the user confirmed the abort.
    virtual bool aborted() = 0;
};

struct SearchOutcome
{
    int hits = 0;
    std::string categoryGbk; // the category's folder name
    bool aborted = false;
    std::vector<StaleRecord> staleRecords; // read although indexed: for RefreshIndex
    FolderListings listedFolders;          // listed although indexed: for RefreshIndex
    int filesPassedOver = 0;               // files the index ruled out unread
};

// Runs one search, holding the lock of the search results folder (waiting for another
// run to end, and asking progress.aborted() meanwhile). A run that ends without a hit and
// without an abort removes its empty category, and the results folder when that is left
// empty. Throws catalog::FileError when a file cannot be written or a record named in the
// scope list cannot be read; what was written stays.
SearchOutcome RunSearch(const std::string& libraryRoot, const SearchRequest& request,
                        SearchProgress& progress);

// The terms of a search text: trimmed, backslashes removed from both ends, split at the
// backslashes, empty pieces dropped, in reverse order ("star\com" gives com, star).
std::vector<std::string> SplitTerms(const std::string& textGbk);

// True when an entry of kind Library or Box covers the caption (equal, or the caption
// lies below it).
bool Covers(const ScopeEntry& entry, const std::string& captionGbk);
// Indices of the entries that another entry covers (the redundant ones).
std::vector<std::size_t> RedundantEntries(const std::vector<ScopeEntry>& scope);

} // namespace search
