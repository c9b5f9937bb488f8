#include "catalog/box_tree.h"

#include "catalog/collation.h"
#include "catalog/disk.h"
#include "catalog/record_journal.h"
#include "catalog/record_set.h"
#include "catalog/library.h"
#include "catalog/text.h"

#include <sys/stat.h>

#include <algorithm>
#include <utility>

namespace catalog {
namespace {

// A backslash joins the names of a box path, so a folder whose own name holds one
// cannot be addressed as a box. Only a single-byte backslash counts: 0x5C may also be
// the trail byte of a double-byte character.
bool holdsBackslash(std::string_view nameGbk)
{
    for (std::size_t i = 0; i < nameGbk.size(); i += gbkCharLength(nameGbk, i)) {
        if (nameGbk[i] == '\\' && gbkCharLength(nameGbk, i) == 1) {
            return true;
        }
    }
    return false;
}

// What a killed writer left in a folder being listed is finished or goes now: the
// listing is there, so a library loaded at start-up costs nothing more for it. The
// folder is listed again when that changed it.
void sweepTemporaryFiles(const std::string& folder, std::vector<DirEntry>& entries)
{
    const bool unit = std::any_of(entries.begin(), entries.end(),
                                  [](const DirEntry& entry) { return entry.name == JournalName; });
    const bool temporary = std::any_of(entries.begin(), entries.end(), [](const DirEntry& entry) {
        return IsTemporaryFileName(entry.name);
    });
    if (unit) {
        TryRecoverFolder(folder);
    }
    if (unit || temporary) {
        RemoveStaleTemporaryFiles(folder);
        ListFolder(folder, entries);
    }
}

void loadBoxes(const std::string& folder, Tree& tree, NodeId parent, FolderWalkGuard& guard)
{
    if (!guard.enter(folder)) {
        return;
    }
    std::vector<DirEntry> entries;
    ListFolder(folder, entries);
    sweepTemporaryFiles(folder, entries);
    for (const auto& entry : entries) {
        if (!IsBoxFolder(entry)) {
            continue;
        }
        const NodeId node = tree.addChild(parent, entry.name, BoxNode::Box, BoxNode::BoxSelected);
        loadBoxes(ChildPath(folder, entry.name), tree, node, guard);
    }
    guard.leave();
}

void countEntries(const std::string& folder, CountMode mode, bool recursive, BoxCounts& counts,
                  FolderWalkGuard* guard)
{
    if (guard != nullptr && !guard->enter(folder)) {
        return;
    }
    std::vector<DirEntry> entries;
    ListFolder(folder, entries);
    for (const auto& entry : entries) {
        if (entry.isFolder) {
            if (!IsBoxFolder(entry)) {
                continue;
            }
            ++counts.folders;
            if (recursive) {
                countEntries(ChildPath(folder, entry.name), mode, true, counts, guard);
            }
            continue;
        }
        const auto kind = RecordKindOf(entry.name);
        if (mode == CountMode::Records ? kind == RecordKind::Cdr
                                       : (kind == RecordKind::Tgt || kind == RecordKind::Fid)) {
            ++counts.records;
        }
    }
    if (guard != nullptr) {
        guard->leave();
    }
}

int recordKind(std::string_view name)
{
    switch (RecordKindOf(name).value_or(RecordKind::Tag)) {
    case RecordKind::Cdr:
        return ListItem::CdRecord;
    case RecordKind::Fid:
        return ListItem::FoundFolder;
    case RecordKind::Tgt:
        return ListItem::FoundCd;
    default:
        return -1;
    }
}

} // namespace

bool IsBoxFolder(const DirEntry& entry)
{
    // A link to a folder leads out of the library, or back into it: never a box.
    return entry.isFolder && !entry.isLink && entry.name != ResultsFolderName() &&
           !holdsBackslash(entry.name);
}

void LoadBoxTree(const std::string& folder, Tree& tree, NodeId parent)
{
    FolderWalkGuard guard;
    loadBoxes(folder, tree, parent, guard);
}

void LoadResultsNode(const std::string& libraryRoot, Tree& tree)
{
    const std::string resultsFolder = ChildPath(libraryRoot, ResultsFolderName());
    if (FolderIsEmpty(resultsFolder) || tree.first() == NoNode) {
        return;
    }
    const NodeId resultsNode = tree.addChild(tree.first(), ResultsFolderName(),
                                             BoxNode::ResultsFolder, BoxNode::ResultsFolder);
    std::vector<DirEntry> entries;
    ListFolder(resultsFolder, entries);
    for (const auto& entry : entries) {
        if (IsBoxFolder(entry) && entry.name.front() != '.') {
            tree.addChild(resultsNode, entry.name, BoxNode::Category, BoxNode::Category);
        }
    }
}

Tree LoadLibraryTree(const std::string& libraryRoot)
{
    Tree tree;
    const NodeId root = tree.addChild(NoNode, std::string(LibraryRootCaption), BoxNode::LibraryRoot,
                                      BoxNode::LibraryRoot);
    LoadBoxTree(libraryRoot, tree, root);
    LoadResultsNode(libraryRoot, tree);
    SortBoxTree(tree);
    return tree;
}

void SortBoxTree(Tree& tree)
{
    // One collation key per node: comparing captions directly would convert and collate
    // both texts on every comparison.
    const std::vector<NodeId> nodes = tree.indexOrder();
    if (nodes.empty()) {
        return;
    }
    std::vector<std::string> keys(
        static_cast<std::size_t>(*std::max_element(nodes.begin(), nodes.end())) + 1);
    for (const NodeId node : nodes) {
        keys[static_cast<std::size_t>(node)] = captionSortKey(tree.text(node));
    }
    tree.sortAll([&keys](NodeId a, NodeId b) {
        return keys[static_cast<std::size_t>(a)] < keys[static_cast<std::size_t>(b)];
    });
}

std::vector<ListEntry> FillCDList(const std::string& folder)
{
    std::vector<DirEntry> entries;
    ListFolder(folder, entries);
    sweepTemporaryFiles(folder, entries);
    std::vector<ListEntry> items;
    items.reserve(entries.size());
    for (auto& entry : entries) {
        if (entry.isFolder) {
            if (IsBoxFolder(entry)) {
                items.push_back({std::move(entry.name), ListItem::Box, false});
            }
            continue;
        }
        const int kind = recordKind(entry.name);
        if (kind >= 0) {
            // Every record extension has a dot and three letters.
            entry.name.resize(entry.name.size() - 4);
            items.push_back({std::move(entry.name), kind, false});
        }
    }
    return items;
}

void SortBoxesFirst(std::vector<ListEntry>& items)
{
    std::vector<std::string_view> captions;
    captions.reserve(items.size());
    for (const auto& item : items) {
        captions.emplace_back(item.caption);
    }
    const std::vector<std::size_t> order = sortedOrder(captions);
    std::vector<ListEntry> sorted;
    sorted.reserve(items.size());
    // Boxes in front, records after, each group in caption order; a stable partition
    // keeps every box in front even when two captions collate equal.
    for (const bool boxes : {true, false}) {
        for (const std::size_t index : order) {
            if ((items[index].kind == ListItem::Box) == boxes) {
                sorted.push_back(std::move(items[index]));
            }
        }
    }
    items = std::move(sorted);
}

BoxCounts CountBoxEntries(const std::string& folder, CountMode mode, bool recursive)
{
    BoxCounts counts;
    FolderWalkGuard guard;
    countEntries(folder, mode, recursive, counts, recursive ? &guard : nullptr);
    return counts;
}

std::string CountsText(CountText where, const BoxCounts& counts)
{
    struct Pieces
    {
        const char* beforeFolders;
        const char* beforeRecords;
        const char* afterRecords;
    };
    Pieces pieces{};
    switch (where) {
    case CountText::BoxTreeBox:
        pieces = {"该类下有", "个子光盘盒，", "张光盘"};
        break;
    case CountText::BoxTreeResults:
        pieces = {"有", "个子查找类别，", "个查找结果"};
        break;
    case CountText::ListBox:
        pieces = {"该光盘盒下有", "个光盘盒，", "张光盘"};
        break;
    case CountText::ListResults:
        pieces = {"该查找类别下有", "个查找类别，", "个查找结果"};
        break;
    case CountText::DetailsBox:
        pieces = {"该光盘盒下共有", "个光盘盒，", "张光盘"};
        break;
    case CountText::DetailsResults:
        pieces = {"该查找类别下共有", "个查找类别，", "个查找结果"};
        break;
    }
    std::string text = pieces.beforeFolders;
    text += decimal(counts.folders);
    text += pieces.beforeRecords;
    text += decimal(counts.records);
    text += pieces.afterRecords;
    return text;
}

std::string DriveCountText(int drives)
{
    return "共有 " + decimal(drives) + " 个光驱";
}

} // namespace catalog
