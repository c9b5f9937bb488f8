#include "maintenance/maintenance.h"

#include "catalog/disk.h"
#include "catalog/library.h"
#include "catalog/record_files.h"
#include "catalog/text.h"
#include "catalog/tree.h"
#include "catalog/tree_text.h"

#include <string_view>

namespace maintenance {
namespace {

using catalog::NodeId;

std::vector<NodeId> nodesInIndexOrder(const catalog::Tree& tree)
{
    if (!tree.idsInIndexOrder()) {
        return tree.indexOrder();
    }
    std::vector<NodeId> nodes(tree.size());
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        nodes[i] = static_cast<NodeId>(i);
    }
    return nodes;
}

struct Listing
{
    std::string folder; // ends in "/"
    std::string baseGbk;
};

Listing splitListingPath(const std::string& listingPath)
{
    const auto slash = listingPath.rfind('/');
    const std::string name = listingPath.substr(slash + 1);
    return {listingPath.substr(0, slash + 1), name.substr(0, name.size() - 4)};
}

void writeTag(const Listing& record, const std::vector<std::string>& icons)
{
    catalog::WriteRecordFile(record.folder, record.baseGbk, catalog::RecordExt::Tag,
                             catalog::JoinLines(icons));
}

RebuildStatus rebuildFromOldTag(const Listing& record, const std::string& listingPath,
                                const std::string& tagPath)
{
    catalog::Tree tree;
    if (!catalog::ReadTreeFile(listingPath, tree).ok) {
        return RebuildStatus::BrokenListing;
    }
    if (!catalog::ApplyTagText(catalog::ReadWholeFile(tagPath), tree).ok) {
        return RebuildStatus::ShortTag;
    }
    std::vector<std::string> icons;
    icons.reserve(tree.size());
    for (const NodeId node : nodesInIndexOrder(tree)) {
        if (icons.empty()) {
            icons.emplace_back("0");
        } else if (tree.image(node) == catalog::IconClass::Folder) {
            icons.emplace_back("1");
        } else {
            icons.push_back(catalog::decimal(catalog::IconClassOf(tree.text(node))));
        }
    }
    writeTag(record, icons);
    return RebuildStatus::Rebuilt;
}

RebuildStatus rebuildFromTree(const Listing& record, const std::string& listingPath)
{
    catalog::Tree tree;
    if (!catalog::ReadTreeFile(listingPath, tree).ok) {
        return RebuildStatus::BrokenListing;
    }
    writeTag(record, catalog::IconListFromTree(tree));
    return RebuildStatus::Rebuilt;
}

// A record whose .cdr is at listingPath: rebuilt under the lock of its box folder.
RebuildStatus rebuildRecord(const std::string& listingPath)
{
    const Listing record = splitListingPath(listingPath);
    const catalog::FolderLock lock(record.folder);
    const std::string tagPath =
        catalog::FindRecordFile(record.folder, record.baseGbk, catalog::RecordExt::Tag);
    return tagPath.empty() ? rebuildFromTree(record, listingPath)
                           : rebuildFromOldTag(record, listingPath, tagPath);
}

void walk(const std::string& folder, const RebuildHooks& hooks, RebuildCounts& counts,
          catalog::FolderWalkGuard& guard)
{
    std::vector<catalog::DirEntry> entries;
    if (catalog::ListFolder(folder, entries) == catalog::Listing::Unreadable) {
        counts.skippedUtf8.push_back(catalog::DisplayPath(folder) + ": 无法读取文件夹");
        return;
    }
    if (!guard.enter(folder)) {
        return;
    }
    for (const auto& entry : entries) {
        if (hooks.aborted && hooks.aborted()) {
            counts.aborted = true;
            break;
        }
        if (entry.isFolder) {
            walk(catalog::ChildPath(folder, entry.name), hooks, counts, guard);
            if (counts.aborted) {
                break;
            }
            continue;
        }
        if (catalog::UpperExtension(entry.name) != ".CDR" || entry.name.size() < 4) {
            continue;
        }
        const std::string path = folder + entry.name;
        if (hooks.starting) {
            hooks.starting(entry.name.substr(0, entry.name.size() - 4));
        }
        try {
            switch (rebuildRecord(path)) {
            case RebuildStatus::Rebuilt:
                ++counts.rebuilt;
                break;
            case RebuildStatus::BrokenListing:
                counts.skippedUtf8.push_back(catalog::DisplayPath(path) + ": 光盘镜象无法读取");
                break;
            case RebuildStatus::ShortTag:
                counts.skippedUtf8.push_back(catalog::DisplayPath(path) +
                                             ": 光盘标志文件不完整");
                break;
            }
        } catch (const catalog::FileError& error) {
            counts.skippedUtf8.push_back(error.what());
        }
        if (hooks.advanced) {
            hooks.advanced();
        }
    }
    guard.leave();
}

} // namespace

RebuildStatus RebuildTagFromOldTag(const std::string& listingPath)
{
    const Listing record = splitListingPath(listingPath);
    const catalog::FolderLock lock(record.folder);
    const std::string tagPath =
        catalog::FindRecordFile(record.folder, record.baseGbk, catalog::RecordExt::Tag);
    if (tagPath.empty()) {
        return RebuildStatus::ShortTag;
    }
    return rebuildFromOldTag(record, listingPath, tagPath);
}

RebuildCounts RebuildIconsUnder(const std::string& folder, const RebuildHooks& hooks)
{
    RebuildCounts counts;
    catalog::FolderWalkGuard guard;
    walk(folder, hooks, counts, guard);
    return counts;
}

std::string RebuildDoneMessage(const RebuildCounts& counts)
{
    std::string text = "重建图标索引完成！";
    if (!counts.skippedUtf8.empty()) {
        text += "\r" + catalog::decimal(static_cast<long long>(counts.skippedUtf8.size())) +
                "张光盘无法重建，已跳过。";
    }
    return text;
}

} // namespace maintenance
