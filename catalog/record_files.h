#pragma once

#include "catalog/disk.h"
#include "catalog/record_set.h"
#include "catalog/tree.h"
#include "catalog/tree_text.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The icon list (.tag), the disc description (.mx) and the node descriptions (.fmx) of
// a CD record, and the load of a record into a content tree.
namespace catalog {

namespace IconClass {
inline constexpr int Root = 0;
inline constexpr int Folder = 1;
inline constexpr int OpenFolder = 2;
inline constexpr int OtherFile = 8;
} // namespace IconClass

// Icon class of a file name from its extension (ASCII case ignored).
int IconClassOf(std::string_view nameGbk);

struct TagApply
{
    bool ok = true;
    std::string errorUtf8;
    std::size_t classesRead = 0; // nodes, in index order, that got their line's class
};

// The classes of a .tag for the nodes in index order, one at a time, as ApplyTagText sets
// them: from a missing line or a line that is not a decimal number on, every class is 0.
class IconClassReader
{
public:
    explicit IconClassReader(std::string_view tagText) : m_lines(tagText) {}
    int next();
    enum class Stop { None, Short, NotNumber };
    Stop stop() const { return m_stop; }
    std::size_t classesRead() const { return m_read; }

private:
    LineScanner m_lines;
    Stop m_stop = Stop::None;
    std::size_t m_read = 0;
};

// Sets node i's image to line i's class for every node in index order. A short file or
// a line that is not a decimal number stops at that line: the nodes before it keep
// their classes, the rest get 0, and the error is returned.
TagApply ApplyTagText(std::string_view tagText, Tree& tree);
// The record's .tag; a missing file is reported like a short one.
TagApply ApplyTagIcons(const RecordRef& record, Tree& tree);

// The icon list a scan would have written, derived from the tree alone: "0" for the
// first node, then "1" for a node with children and IconClassOf(text) for the rest.
std::vector<std::string> IconListFromTree(const Tree& tree);
// Loads the record's .cdr into a hidden tree and writes a new .tag from it, under the
// lock of the record's box folder. Returns the
// load result (a broken listing still gets the icons of the nodes read).
TreeLoad RebuildTagFromTree(const RecordRef& record);

// Icon classes of every node in index order, one line each, CR LF ended.
std::string TagText(const Tree& tree);

struct EntryTotals
{
    long long folders = 0;
    long long files = 0;
};
// Nodes after the first in index order: image 1 is a folder, anything else a file.
EntryTotals CountTreeEntries(const Tree& tree);
// "总共有N个文件夹,M个文件" (UTF-8).
std::string TotalsText(const EntryTotals& totals);

struct RecordLoad
{
    TreeLoad tree;
    TagApply tags;
    EntryTotals totals;
};
// Reads the listing (.cdr, or .fid for a found folder) and its .tag into tree.
// Throws FileError when the listing cannot be read.
RecordLoad LoadRecordTree(const RecordRef& record, std::string_view listingExt, Tree& tree);

// .mx: the whole file is the description; a missing file is an empty one.
std::string ReadDescription(const RecordRef& record);
void WriteDescription(const RecordRef& record, std::string_view textGbk);

// .fmx: key line (node path) and value line pairs.
class NodeNotes
{
public:
    static NodeNotes parse(std::string_view fileText);
    static NodeNotes read(const RecordRef& record); // missing file: no notes

    // The line after the first line equal to nodePath ignoring ASCII case; the walk runs
    // over value lines too. nullptr when no line matches or the match is the last line.
    const std::string* lookUp(std::string_view nodePath) const;
    // Replaces the line after the first match, or appends the pair (a match on the last
    // line gets its value appended). Line breaks in the description become blanks.
    void set(std::string_view nodePath, std::string_view description);

    const std::vector<std::string>& lines() const { return m_lines; }
    std::string text() const;
    void write(const RecordRef& record) const;

    // The pairs of a list of (key, description) pairs, in their order.
    static NodeNotes fromPairs(const std::vector<std::pair<std::string, std::string>>& pairs);
    std::vector<std::pair<std::string, std::string>> pairs() const;

private:
    std::size_t findKey(std::string_view nodePath) const;
    std::vector<std::string> m_lines;
};

// Reads the record's .fmx, lets change edit the notes and writes them back, all under the
// lock of the record's box folder, so that two writers never drop each other's
// descriptions. Returns the notes as written. Throws FileError.
NodeNotes UpdateNodeNotes(const RecordRef& record, const std::function<void(NodeNotes&)>& change);

} // namespace catalog
