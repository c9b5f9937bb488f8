#include "maintenance/maintenance.h"

#include "catalog/record_set.h"
#include "catalog/disk.h"
#include "catalog/library.h"
#include "catalog/record_files.h"
#include "catalog/text.h"
#include "catalog/tree.h"
#include "catalog/tree_text.h"

#include "organize/parallel.h"

#include <algorithm>
#include <cstddef>
#include <mutex>
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

// A record's new icon file, or why it cannot be made.
struct RebuiltTag
{
    RebuildStatus status = RebuildStatus::Rebuilt;
    std::string content;
    std::string reasonUtf8; // why it was not rebuilt
};

RebuiltTag brokenListing(const std::string& listingPath, const catalog::TreeLoad& load)
{
    return {RebuildStatus::BrokenListing,
            {},
            catalog::DisplayPath(listingPath) + ": " + load.errorUtf8};
}

// The old classes where the old file has a line for the node; past a short file or a line
// that is not a number (or with no old file at all) nothing is known, and the node is
// taken for what its tree says: a folder when it has children, a file otherwise.
RebuiltTag tagFromOldTag(const std::string& listingPath, const std::string& oldTagGbk)
{
    catalog::Tree tree;
    const catalog::TreeLoad load = catalog::ReadTreeFile(listingPath, tree);
    if (!load.ok) {
        return brokenListing(listingPath, load);
    }
    const std::vector<std::string> fromTree = catalog::IconListFromTree(tree);
    const std::size_t known = catalog::ApplyTagText(oldTagGbk, tree).classesRead;
    std::vector<std::string> icons;
    icons.reserve(tree.size());
    for (const NodeId node : nodesInIndexOrder(tree)) {
        const std::size_t i = icons.size();
        if (i == 0) {
            icons.emplace_back("0");
        } else if (i >= known) {
            icons.push_back(fromTree[i]);
        } else if (tree.image(node) == catalog::IconClass::Folder) {
            icons.emplace_back("1");
        } else {
            icons.push_back(catalog::decimal(catalog::IconClassOf(tree.text(node))));
        }
    }
    return {RebuildStatus::Rebuilt, catalog::JoinLines(icons), {}};
}

// Makes the new icon file of the record at listingPath and hands it to batch (written:
// where it goes); returns why the record was left alone, or nothing.
std::string stageRecord(const std::string& listingPath, std::size_t slot, catalog::BatchWrite& batch,
                        std::string& written)
{
    try {
        const Listing record = splitListingPath(listingPath);
        const std::string tagPath =
            catalog::FindRecordFile(record.folder, record.baseGbk, catalog::RecordExt::Tag);
        const RebuiltTag tag = tagFromOldTag(
            listingPath, tagPath.empty() ? std::string() : catalog::ReadWholeFile(tagPath));
        if (tag.status == RebuildStatus::Rebuilt) {
            written = catalog::RecordFileForWriting(record.folder, record.baseGbk,
                                                    catalog::RecordExt::Tag);
            batch.add(slot, written, tag.content);
        }
        return tag.reasonUtf8;
    } catch (const catalog::FileError& error) {
        return error.what();
    }
}

// The caller's hooks, called one at a time from whichever thread rebuilds; once the
// caller has said abort, every later question gets the same answer.
class SerialHooks
{
public:
    explicit SerialHooks(const RebuildHooks& hooks) : m_hooks(hooks) {}

    bool aborted()
    {
        const std::lock_guard lock(m_lock);
        if (!m_aborted && m_hooks.aborted) {
            m_aborted = m_hooks.aborted();
        }
        return m_aborted;
    }
    // Whether abort was said, without asking again.
    bool wasAborted()
    {
        const std::lock_guard lock(m_lock);
        return m_aborted;
    }
    void starting(const std::string& cdNameGbk)
    {
        const std::lock_guard lock(m_lock);
        if (m_hooks.starting) {
            m_hooks.starting(cdNameGbk);
        }
    }
    void advanced()
    {
        const std::lock_guard lock(m_lock);
        if (m_hooks.advanced) {
            m_hooks.advanced();
        }
    }

private:
    const RebuildHooks& m_hooks;
    std::mutex m_lock;
    bool m_aborted = false;
};

// Icon files put in place with one flush of the file system: flushing each on its own
// would wait for the disk at every record.
constexpr std::size_t RecordsPerFlush = 128;

// The records of one box, shared out among the cores under the box folder's lock, in
// batches of RecordsPerFlush. What was skipped is reported in the order of the listing.
// An abort lets the records already started finish and be put in place.
void rebuildRecords(const std::string& folder, const std::vector<std::string>& names,
                    SerialHooks& hooks, RebuildCounts& counts)
{
    std::vector<std::string> reasons(names.size());
    std::vector<std::string> written(names.size());
    std::vector<char> done(names.size(), 0);
    try {
        const catalog::FolderLock lock(folder);
        catalog::RemoveStaleTemporaryFiles(folder);
        for (std::size_t first = 0; first < names.size() && !hooks.wasAborted();
             first += RecordsPerFlush) {
            const std::size_t count = std::min(RecordsPerFlush, names.size() - first);
            catalog::BatchWrite batch;
            organize::ForEachInParallel(count, [&](std::size_t offset) {
                const std::size_t i = first + offset;
                if (hooks.aborted()) {
                    return;
                }
                hooks.starting(names[i].substr(0, names[i].size() - 4));
                reasons[i] = stageRecord(folder + names[i], i, batch, written[i]);
                done[i] = 1;
            });
            for (const auto& failure : batch.commit()) {
                reasons[failure.slot] = failure.message;
            }
            for (std::size_t i = first; i < first + count; ++i) {
                if (done[i] && reasons[i].empty() && !written[i].empty()) {
                    catalog::RecordFileWritten(folder, names[i].substr(0, names[i].size() - 4),
                                               catalog::RecordExt::Tag, written[i]);
                }
            }
            for (std::size_t i = first; i < first + count; ++i) {
                if (done[i]) {
                    hooks.advanced();
                }
            }
        }
    } catch (const catalog::FileError& error) {
        for (std::size_t i = 0; i < names.size(); ++i) {
            reasons[i] = error.what();
            done[i] = 1;
        }
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (!done[i]) {
            continue;
        }
        if (reasons[i].empty()) {
            ++counts.rebuilt;
        } else {
            counts.skippedUtf8.push_back(std::move(reasons[i]));
        }
    }
}

void walk(const std::string& folder, SerialHooks& hooks, RebuildCounts& counts,
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
    std::vector<std::string> records;
    std::vector<std::string> boxes;
    for (const auto& entry : entries) {
        if (entry.isFolder) {
            // A linked box leads out of the library: its records are not ours to rewrite.
            if (!entry.isLink) {
                boxes.push_back(catalog::ChildPath(folder, entry.name));
            }
        } else if (catalog::RecordKindOf(entry.name) == catalog::RecordKind::Cdr) {
            records.push_back(entry.name);
        }
    }
    rebuildRecords(folder, records, hooks, counts);
    for (const auto& box : boxes) {
        if (hooks.aborted()) {
            break;
        }
        walk(box, hooks, counts, guard);
    }
    counts.aborted = hooks.wasAborted();
    guard.leave();
}

} // namespace

RebuildStatus RebuildTagFromOldTag(const std::string& listingPath)
{
    const Listing record = splitListingPath(listingPath);
    const catalog::FolderLock lock(record.folder);
    const std::string tagPath =
        catalog::FindRecordFile(record.folder, record.baseGbk, catalog::RecordExt::Tag);
    const RebuiltTag tag = tagFromOldTag(
        listingPath, tagPath.empty() ? std::string() : catalog::ReadWholeFile(tagPath));
    if (tag.status == RebuildStatus::Rebuilt) {
        catalog::WriteRecordFile(record.folder, record.baseGbk, catalog::RecordExt::Tag,
                                 tag.content);
    }
    return tag.status;
}

RebuildCounts RebuildIconsUnder(const std::string& folder, const RebuildHooks& hooks)
{
    RebuildCounts counts;
    catalog::FolderWalkGuard guard;
    SerialHooks serial(hooks);
    walk(folder, serial, counts, guard);
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

std::string RebuildReport(const RebuildCounts& counts)
{
    std::string text = RebuildDoneMessage(counts);
    if (!counts.skippedUtf8.empty()) {
        text += "\r";
    }
    for (std::size_t i = 0; i < counts.skippedUtf8.size() && i < SkippedRecordsShown; ++i) {
        text += "\r" + counts.skippedUtf8[i];
    }
    if (counts.skippedUtf8.size() > SkippedRecordsShown) {
        text += "\r……";
    }
    return text;
}

} // namespace maintenance
