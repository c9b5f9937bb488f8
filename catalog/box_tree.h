#pragma once

#include "catalog/tree.h"

#include <string>
#include <vector>

// The library on disk as the window shows it: the box tree, the content of one box and
// the counts of the status bars. Every call reads the disk; nothing is cached.
namespace catalog {

struct DirEntry;

// True for a folder of a listing that is a box: not the search results folder, and no
// backslash in its name (a box path could not address it).
bool IsBoxFolder(const DirEntry& entry);

// Adds the boxes under folder (native, ending in "/") as children of parent, recursively.
// The search results name is skipped at every depth; hidden folders are boxes too.
void LoadBoxTree(const std::string& folder, Tree& tree, NodeId parent);

// Adds the search results node and its categories under the tree's first node, unless
// the results folder is missing or empty.
void LoadResultsNode(const std::string& libraryRoot, Tree& tree);

// The library tree as the box tree shows it: the root node "Orlendy", its boxes, the
// search results node with its categories; sorted at every level.
Tree LoadLibraryTree(const std::string& libraryRoot);
// Sorts every level by caption in display order.
void SortBoxTree(Tree& tree);

struct ListEntry
{
    std::string caption; // GBK
    int kind = 0;        // ListItem::Box, CdRecord, FoundFolder, FoundCd
    bool selected = false;

    bool operator==(const ListEntry&) const = default;
};

// The boxes and record files of one folder, in listing order.
std::vector<ListEntry> FillCDList(const std::string& folder);
// Sorted by caption, the boxes moved in front in their sorted order.
void SortBoxesFirst(std::vector<ListEntry>& items);

enum class CountMode { Records, Results };
struct BoxCounts
{
    long long folders = 0;
    long long records = 0;
};
// Sub-folders (not the results folder) and, in Records mode, .cdr files; in Results
// mode .tgt and .fid files.
BoxCounts CountBoxEntries(const std::string& folder, CountMode mode, bool recursive);

// The count texts of the status bars and the details message (UTF-8).
enum class CountText {
    BoxTreeBox,     // "该类下有N个子光盘盒，M张光盘"
    BoxTreeResults, // "有N个子查找类别，M个查找结果"
    ListBox,        // "该光盘盒下有N个光盘盒，M张光盘"
    ListResults,    // "该查找类别下有N个查找类别，M个查找结果"
    DetailsBox,     // "该光盘盒下共有N个光盘盒，M张光盘"
    DetailsResults, // "该查找类别下共有N个查找类别，M个查找结果"
};
std::string CountsText(CountText where, const BoxCounts& counts);
// "共有 D 个光驱"
std::string DriveCountText(int drives);

} // namespace catalog
