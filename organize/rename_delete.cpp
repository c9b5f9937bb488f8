#include "organize/organize.h"

#include "catalog/record_set.h"
#include "catalog/library.h"
#include "catalog/record_files.h"
#include "catalog/text.h"
#include "catalog/tree_text.h"
#include "organize/box_paths.h"
#include "organize/records.h"
#include "organize/system_calls.h"
#include "organize/tree_copy.h"

#include <algorithm>
#include <cerrno>
#include <optional>

namespace organize {
namespace {

// A name typed for a box, a CD or a node: the rules of a new box or CD, and no control
// character, which would break the line-based files that name it (pointers, listings).
catalog::NameCheck checkNewName(std::string_view nameGbk)
{
    const catalog::NameCheck check = catalog::CheckName(nameGbk);
    const bool control = std::any_of(nameGbk.begin(), nameGbk.end(),
                                     [](char c) { return static_cast<unsigned char>(c) < 0x20; });
    return check == catalog::NameCheck::Accepted && control ? catalog::NameCheck::Refused : check;
}

// How a rename ends when the name check stops it, or nothing when the name may be used.
template <typename Result>
std::optional<Result> endedByNameCheck(std::string_view nameGbk)
{
    switch (checkNewName(nameGbk)) {
    case catalog::NameCheck::Dropped:
        return Result::Unchanged;
    case catalog::NameCheck::Refused:
        return Result::Refused;
    case catalog::NameCheck::Accepted:
        break;
    }
    return std::nullopt;
}

std::string withoutSlash(const std::string& folder)
{
    return folder.substr(0, folder.size() - 1);
}

bool inResults(const std::vector<std::string>& boxNames)
{
    return !boxNames.empty() && boxNames.front() == catalog::ResultsFolderName();
}

DeleteOutcome deleteFolder(const std::string& folder, Removal how)
{
    if (how == Removal::Trash) {
        const Trashing trashing = MoveToTrash(withoutSlash(folder));
        if (trashing.result == TrashResult::Trashed) {
            return {0, true};
        }
        if (trashing.result == TrashResult::Failed) {
            throw catalog::FileError(trashing.errorUtf8);
        }
    }
    DeleteFolderTree(folder);
    return {};
}

// ---- Node edits ----

bool isRoot(const catalog::Tree& tree, catalog::NodeId node)
{
    return node == tree.first();
}

// Another child of parent named like text (ASCII case ignored) shares the descriptions.
bool siblingNamed(const catalog::Tree& tree, catalog::NodeId parent, catalog::NodeId except,
                  std::string_view text)
{
    const auto& siblings = tree.children(parent);
    return std::any_of(siblings.begin(), siblings.end(), [&](catalog::NodeId sibling) {
        return sibling != except && catalog::equalsNoCase(tree.text(sibling), text);
    });
}

// The caller holds the box's lock from the read of the tree to this write.
void writeTree(const catalog::RecordRef& record, const catalog::Tree& tree, bool withIcons)
{
    catalog::WriteRecordFile(record.folder, record.name, catalog::RecordExt::Cdr,
                             catalog::WriteTreeText(tree));
    if (withIcons) {
        catalog::WriteRecordFile(record.folder, record.name, catalog::RecordExt::Tag,
                                 catalog::TagText(tree));
    }
}

bool keyInBranch(std::string_view key, const std::string& branchUpper)
{
    return key.size() >= branchUpper.size() &&
           catalog::upperAscii(key.substr(0, branchUpper.size())) == branchUpper;
}

// Rewrites the pairs of the .fmx whose key line (every other line from the first) lies in
// the branch at branchPath: each such pair is written once for every key that keysFor
// gives, none dropping it. A record without descriptions keeps having none.
void editBranchKeys(const catalog::RecordRef& record, const std::string& branchPath,
                    const std::function<std::vector<std::string>(const std::string&)>& keysFor)
{
    if (catalog::FindRecordFile(record.folder, record.name, catalog::RecordExt::Fmx).empty()) {
        return;
    }
    const std::string branchUpper = catalog::upperAscii(branchPath);
    catalog::UpdateNodeNotes(record, [&](catalog::NodeNotes& notes) {
        const std::vector<std::string>& lines = notes.lines();
        std::vector<std::string> kept;
        for (std::size_t i = 0; i < lines.size(); i += 2) {
            if (i + 1 == lines.size() || !keyInBranch(lines[i], branchUpper)) {
                kept.insert(kept.end(), lines.begin() + static_cast<long>(i),
                            lines.begin() + static_cast<long>(std::min(i + 2, lines.size())));
                continue;
            }
            for (const auto& key : keysFor(lines[i])) {
                kept.push_back(key);
                kept.push_back(lines[i + 1]);
            }
        }
        notes = catalog::NodeNotes::parse(catalog::JoinLines(kept));
    });
}

bool isDriveLetter(char c)
{
    return (c >= 'C' && c <= 'Z') || (c >= 'c' && c <= 'z');
}

char upper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// The record's tree as its files hold it now, read whole (icons too) under the lock the
// caller holds: an edit is made on what is there, not on what was shown before.
catalog::Tree treeOnDisk(const catalog::RecordRef& record)
{
    catalog::RequireRecord(record.folder, record.name);
    catalog::Tree tree;
    const catalog::RecordLoad load = catalog::LoadRecordTree(record, catalog::RecordExt::Cdr, tree);
    if (!load.tree.ok || !load.tags.ok) {
        throw catalog::FileError(load.tree.ok ? load.tags.errorUtf8 : load.tree.errorUtf8);
    }
    return tree;
}

bool sameListing(const catalog::Tree& a, const catalog::Tree& b)
{
    if (a.size() != b.size()) {
        return false;
    }
    const auto orderA = a.indexOrder();
    const auto orderB = b.indexOrder();
    for (std::size_t i = 0; i < orderA.size(); ++i) {
        if (a.text(orderA[i]) != b.text(orderB[i]) || a.depth(orderA[i]) != b.depth(orderB[i]) ||
            a.image(orderA[i]) != b.image(orderB[i])) {
            return false;
        }
    }
    return true;
}

// Runs edit on the tree the files hold now, under the box's lock: on the caller's tree when
// it still shows them, else on the fresh one, found by the node's path (Reloaded: the
// caller's tree is replaced by it). Unchanged when the node is no longer there.
NodeEditResult editOnDisk(const catalog::RecordRef& record, catalog::Tree& tree, catalog::NodeId node,
                          const std::function<NodeEditResult(catalog::Tree&, catalog::NodeId)>& edit)
{
    const catalog::FolderLock lock(record.folder);
    catalog::Tree disk = treeOnDisk(record);
    if (sameListing(tree, disk)) {
        return edit(tree, node);
    }
    const catalog::NodeId found = catalog::FindNodeByPath(disk, catalog::NodePath(tree, node));
    if (found == catalog::NoNode || (node == tree.first()) != (found == disk.first())) {
        return NodeEditResult::Unchanged;
    }
    const NodeEditResult result = edit(disk, found);
    tree = std::move(disk);
    return result == NodeEditResult::Done ? NodeEditResult::Reloaded : result;
}

NodeEditResult renameRoot(const catalog::RecordRef& record, catalog::Tree& tree,
                          catalog::NodeId root, const std::string& newTextGbk)
{
    const std::string& old = tree.text(root);
    if (newTextGbk.empty() || !isDriveLetter(newTextGbk[0]) ||
        (!old.empty() && upper(old[0]) == upper(newTextGbk[0]))) {
        return NodeEditResult::Unchanged;
    }
    tree.setText(root, std::string(1, upper(newTextGbk[0])) + ":\\");
    writeTree(record, tree, false);
    return NodeEditResult::Done;
}

} // namespace

// ---- Boxes and CDs ----

std::string BoxExistsInTreeMessage(const std::string& nameGbk)
{
    return "光盘盒 \"" + catalog::gbkToUtf8(nameGbk) + "\" 已存在！";
}

std::string BoxExistsInListMessage(const std::string& nameGbk)
{
    return "光盘盒 " + catalog::gbkToUtf8(nameGbk) + " 已存在！";
}

std::string CdExistsMessage(const std::string& nameGbk)
{
    return "光盘 \"" + catalog::gbkToUtf8(nameGbk) + " \"已存在！";
}

RenameResult RenameBox(const std::string& root, const std::string& boxPathGbk,
                       const std::string& newNameGbk)
{
    const std::vector<std::string> names = BoxNames(boxPathGbk);
    if (const auto ended = endedByNameCheck<RenameResult>(newNameGbk)) {
        return *ended;
    }
    // Neither the library root nor the search results folder is a box, and no box may
    // become the results folder.
    if (names.empty() || (names.size() == 1 && inResults(names)) ||
        catalog::equalsNoCase(newNameGbk, catalog::ResultsFolderName())) {
        return RenameResult::Refused;
    }
    if (catalog::equalsNoCase(names.back(), newNameGbk)) {
        return RenameResult::Unchanged;
    }
    const std::string box = BoxFolder(root, boxPathGbk);
    const std::string parent = BoxFolder(root, ParentBoxPath(boxPathGbk));
    const catalog::FolderLock lock(parent);
    if (catalog::NameTaken(parent, newNameGbk)) {
        return RenameResult::Exists;
    }
    const std::string renamed = withoutSlash(catalog::ChildPath(parent, newNameGbk));
    if (RenamePath(withoutSlash(box), renamed) != 0) {
        catalog::throwFileError(renamed, errno);
    }
    return RenameResult::Renamed;
}

RenameResult RenameCd(const std::string& root, const std::string& boxPathGbk,
                      const std::string& oldNameGbk, const std::string& newNameGbk)
{
    if (const auto ended = endedByNameCheck<RenameResult>(newNameGbk)) {
        return *ended;
    }
    if (catalog::equalsNoCase(oldNameGbk, newNameGbk)) {
        return RenameResult::Unchanged;
    }
    const std::string folder = BoxFolder(root, boxPathGbk);
    if (!IsItemName(oldNameGbk)) {
        catalog::throwFileError(folder + oldNameGbk, EINVAL);
    }
    RecordCarrier carrier(folder, Carry::Move);
    switch (carrier.carry(folder, oldNameGbk, newNameGbk, [] { return false; })) {
    case RecordCarrier::Outcome::Carried:
        carrier.finish();
        return RenameResult::Renamed;
    case RecordCarrier::Outcome::Declined:
        return RenameResult::Exists;
    case RecordCarrier::Outcome::NoListing:
        catalog::throwFileError(folder + oldNameGbk + std::string(catalog::RecordExt::Cdr), ENOENT);
    case RecordCarrier::Outcome::Failed:
        break;
    }
    catalog::throwFileError(folder + oldNameGbk + std::string(catalog::RecordExt::Cdr),
                            carrier.lastError());
}

DeleteOutcome DeleteBox(const std::string& root, const std::string& boxPathGbk)
{
    const std::vector<std::string> names = BoxNames(boxPathGbk);
    if (names.empty()) {
        catalog::throwFileError(root, EPERM); // the library itself is never deleted
    }
    // Search results are made again by a search: they are deleted, not kept in the trash.
    return deleteFolder(BoxFolder(root, boxPathGbk),
                        inResults(names) ? Removal::Delete : Removal::Trash);
}

DeleteOutcome DeleteItems(const std::string& root, const std::string& boxPathGbk,
                          const std::vector<ListItemRef>& items)
{
    DeleteOutcome outcome;
    std::vector<std::string> cds;
    std::vector<std::string> foundFolders;
    std::vector<std::string> foundCds;
    for (auto item = items.rbegin(); item != items.rend(); ++item) {
        if (!IsItemName(item->captionGbk)) {
            continue;
        }
        switch (item->kind) {
        case catalog::ListItem::Box: {
            const DeleteOutcome box = DeleteBox(root, boxPathGbk + item->captionGbk + "\\");
            outcome.filesNotDeleted += box.filesNotDeleted;
            outcome.trashed = outcome.trashed || box.trashed;
            break;
        }
        case catalog::ListItem::CdRecord:
            cds.push_back(item->captionGbk);
            break;
        case catalog::ListItem::FoundFolder:
            foundFolders.push_back(item->captionGbk);
            break;
        case catalog::ListItem::FoundCd:
            foundCds.push_back(item->captionGbk);
            break;
        default:
            break;
        }
    }
    const std::string folder = BoxFolder(root, boxPathGbk);
    RemovalCounts counts;
    // Search results are made again by a search: they are deleted, not kept in the trash.
    RemoveRecords(folder, cds, catalog::CdRecordKinds(), Removal::Trash, counts);
    RemoveRecords(folder, foundFolders, catalog::FoundFolderKinds(), Removal::Delete, counts);
    RemoveRecords(folder, foundCds, catalog::FoundCdKinds(), Removal::Delete, counts);
    outcome.filesNotDeleted += counts.filesNotDeleted;
    outcome.trashed = outcome.trashed || counts.trashed;
    return outcome;
}

// ---- Nodes of a record ----

NodeEditResult DeleteNode(const catalog::RecordRef& record, catalog::Tree& tree,
                          catalog::NodeId node)
{
    if (!tree.isValid(node) || isRoot(tree, node)) {
        return NodeEditResult::Refused;
    }
    std::string branch;
    catalog::NodeId parent = catalog::NoNode;
    std::string text;
    const NodeEditResult result =
        editOnDisk(record, tree, node, [&](catalog::Tree& edited, catalog::NodeId target) {
            branch = catalog::NodePath(edited, target);
            parent = edited.parent(target);
            text = edited.text(target);
            edited.remove(target);
            writeTree(record, edited, true);
            return NodeEditResult::Done;
        });
    if (result != NodeEditResult::Done && result != NodeEditResult::Reloaded) {
        return result;
    }
    // A second top-level line has the root's empty path: its keys cannot be told apart.
    if (parent != catalog::NoNode && !siblingNamed(tree, parent, catalog::NoNode, text)) {
        editBranchKeys(record, branch,
                       [](const std::string&) { return std::vector<std::string>(); });
    }
    return result;
}

NodeNameCheck CheckNodeName(std::string_view newTextGbk)
{
    switch (catalog::CheckName(newTextGbk)) {
    case catalog::NameCheck::Dropped:
        return {catalog::NameCheck::Dropped, {}};
    case catalog::NameCheck::Refused:
        return {catalog::NameCheck::Refused,
                catalog::NameRefusalMessage(catalog::NameUse::TreeNode)};
    case catalog::NameCheck::Accepted:
        break;
    }
    if (std::any_of(newTextGbk.begin(), newTextGbk.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20; })) {
        return {catalog::NameCheck::Refused, "文件或文件夹名称不能包含控制字符(如换行、制表符)"};
    }
    // The listing counts leading blanks as depth.
    if (newTextGbk.front() == ' ') {
        return {catalog::NameCheck::Refused, "文件或文件夹名称不能以空格开头"};
    }
    return {};
}

NodeEditResult RenameNode(const catalog::RecordRef& record, catalog::Tree& tree,
                          catalog::NodeId node, const std::string& newTextGbk)
{
    if (!tree.isValid(node)) {
        return NodeEditResult::Refused;
    }
    if (isRoot(tree, node)) {
        return editOnDisk(record, tree, node, [&](catalog::Tree& edited, catalog::NodeId target) {
            return renameRoot(record, edited, target, newTextGbk);
        });
    }
    switch (CheckNodeName(newTextGbk).check) {
    case catalog::NameCheck::Dropped:
        return NodeEditResult::Unchanged;
    case catalog::NameCheck::Refused:
        return NodeEditResult::Refused;
    case catalog::NameCheck::Accepted:
        break;
    }
    std::string old;
    std::string oldPath;
    std::string newPath;
    bool shared = false;
    bool topLevel = false;
    const NodeEditResult result =
        editOnDisk(record, tree, node, [&](catalog::Tree& edited, catalog::NodeId target) {
            old = edited.text(target);
            if (catalog::equalsNoCase(old, newTextGbk)) {
                return NodeEditResult::Unchanged;
            }
            oldPath = catalog::NodePath(edited, target);
            edited.setText(target, newTextGbk);
            newPath = catalog::NodePath(edited, target);
            writeTree(record, edited, false);
            const catalog::NodeId parent = edited.parent(target);
            topLevel = parent == catalog::NoNode;
            // A sibling still named so keeps the descriptions too.
            shared = !topLevel && siblingNamed(edited, parent, target, old);
            return NodeEditResult::Done;
        });
    if ((result != NodeEditResult::Done && result != NodeEditResult::Reloaded) || topLevel) {
        return result;
    }
    // Descriptions follow the branch.
    editBranchKeys(record, oldPath, [&](const std::string& key) {
        std::vector<std::string> keys{newPath + key.substr(oldPath.size())};
        if (shared) {
            keys.push_back(key);
        }
        return keys;
    });
    return result;
}

} // namespace organize
