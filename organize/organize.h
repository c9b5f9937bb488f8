#pragma once

#include "catalog/disk.h"
#include "catalog/library.h"
#include "catalog/tree.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Reorganizing the library: moving and copying boxes and CDs, renaming and deleting boxes,
// CDs, search entries and nodes of a record, and clearing empty boxes. Files only: the
// window and the CLI call these and mirror the outcome in what they show. Box paths are
// library-relative GBK paths, each name followed by a backslash ("" the library root);
// names are GBK. Texts meant for the user are UTF-8.
namespace organize {

// ---- Messages ----------------------------------------------------------------------------

// M1: "不能移动/复制给 父项目或自己或自己的子项目!"
std::string InsideOrParentMessage();
// M2: the target box (its node text: its name, "Orlendy" for the root) already holds a box
// named like the source.
std::string BoxNameTakenMessage(const std::string& targetTextGbk, const std::string& boxNameGbk);
// M3 (into a box) and M4 (found CDs): overwrite the CD of that name at the target?
std::string OverwriteCdQuestion(const std::string& targetTextGbk, const std::string& cdNameGbk);
std::string OverwriteFoundCdQuestion(const std::string& targetTextGbk,
                                     const std::string& cdNameGbk);
// The box to move or copy was gone when its folder was read (moved or deleted meanwhile).
std::string BoxGoneMessage(const std::string& boxPathGbk);

// ---- Move and copy -------------------------------------------------------------------------

// What a move or copy did, for the caller to mirror and report.
struct MoveOutcome
{
    bool done = false;                     // anything was moved or copied
    std::vector<std::string> namesGbk;     // captions to select in the target box's list
    std::vector<std::string> boxPathsGbk;  // boxes moved or copied, as they were recorded
    std::vector<std::string> refusalsUtf8; // M1 and M2 texts, in order
    int filesNotCopied = 0;                // copies that failed; their sources stay
    int filesNotDeleted = 0;               // sources of a move that could not be removed
};

// Asked before a CD replaces one of the same name at the target; true overwrites. The
// question text is OverwriteCdQuestion or OverwriteFoundCdQuestion.
using OverwriteQuestion = std::function<bool(const std::string& questionUtf8)>;

// One box (sourceBoxPath) moved or copied into the box at targetBoxPath. M1 when the
// target is the box, lies inside it or is its parent; M2 when the target holds a box of
// that name (ASCII case ignored); BoxGoneMessage, leaving nothing at the target, when the
// box was gone by the time it was read. A move on one file system is a rename. Throws
// catalog::FileError when a folder cannot be created or removed.
MoveOutcome MoveCopyBox(const std::string& root, const std::string& sourceBoxPathGbk, bool copy,
                        const std::string& targetBoxPathGbk);

// An item of the CD list: its caption and its kind (catalog::ListItem).
struct ListItemRef
{
    std::string captionGbk;
    int kind = 0;
};

// The selected items of the box at sourceBoxPath (CDs and boxes, in list order; visited
// last to first) moved or copied into targetBoxPath. A CD that lands on one of its own
// name asks first (M3); the replaced record is replaced whole.
MoveOutcome MoveCopyItems(const std::string& root, const std::string& sourceBoxPathGbk,
                          const std::vector<ListItemRef>& items, bool copy,
                          const std::string& targetBoxPathGbk, const OverwriteQuestion& ask);

// The catalogued CDs that the found-CD entries (captions, in list order; visited last to
// first) of the category at categoryBoxPath point to, copied into targetBoxPath (M4). An
// entry whose CD is gone gets catalog::PointerTargetGoneMessage. Throws catalog::FileError
// when a pointer cannot be read.
MoveOutcome CopyFoundCDs(const std::string& root, const std::string& categoryBoxPathGbk,
                         const std::vector<std::string>& captionsGbk,
                         const std::string& targetBoxPathGbk, const OverwriteQuestion& ask);

// ---- Rename and delete ---------------------------------------------------------------------

enum class RenameResult {
    Renamed,
    Unchanged, // blank, or the same name without regard to ASCII case
    Refused,   // a forbidden character, or not a name the library can hold
    Exists,    // the new name is taken beside it
};

// Refusals of a new name that is taken (UTF-8): a box renamed in the box tree
// ("光盘盒 "name" 已存在！"), a box renamed in the CD list ("光盘盒 name 已存在！"), a CD
// ("光盘 "name "已存在！").
std::string BoxExistsInTreeMessage(const std::string& nameGbk);
std::string BoxExistsInListMessage(const std::string& nameGbk);
std::string CdExistsMessage(const std::string& nameGbk);

// Renames a box (boxPath ends in its name and a backslash); a rename on one file system.
RenameResult RenameBox(const std::string& root, const std::string& boxPathGbk,
                       const std::string& newNameGbk);
// Renames the five record files of a CD in the box at boxPath.
RenameResult RenameCd(const std::string& root, const std::string& boxPathGbk,
                      const std::string& oldNameGbk, const std::string& newNameGbk);

// What a deletion did: files that could not be deleted are counted, not hidden.
struct DeleteOutcome
{
    int filesNotDeleted = 0;
    bool trashed = false; // moved to the desktop's trash rather than deleted
};

// A box (or the search results folder, or a category) with everything in it: to the
// desktop's trash where the library's file system has one, else deleted.
DeleteOutcome DeleteBox(const std::string& root, const std::string& boxPathGbk);
// The selected items of a box's list, each by its kind: a box, a CD's record files, a
// found-folder entry's files, a found-CD entry's pointer.
DeleteOutcome DeleteItems(const std::string& root, const std::string& boxPathGbk,
                          const std::vector<ListItemRef>& items);

// Edits of a record's tree (record: the files whose .cdr/.tag are rewritten, a found CD's
// target already followed). The tree is the loaded content tree; the edit changes it,
// writes .cdr (and .tag after a deletion) under the box's lock, and keeps the .fmx keys
// right: a renamed branch's keys follow it, a deleted branch's keys go.
// The tree is read again under the box's lock: when another writer changed the record since
// the caller loaded it, the edit is made on the node of the same path in the fresh tree, and
// the caller's tree is replaced by it (Reloaded).
enum class NodeEditResult { Done, Unchanged, Refused, Reloaded };
// The root is never deleted (Refused).
NodeEditResult DeleteNode(const catalog::RecordRef& record, catalog::Tree& tree,
                          catalog::NodeId node);
// A new text for a node below the root: Accepted, Dropped (blank: nothing changes), or
// Refused with the reason as the user is told it (UTF-8): a forbidden character, a
// control character, or a leading blank (it would read back as one more level).
struct NodeNameCheck
{
    catalog::NameCheck check = catalog::NameCheck::Accepted;
    std::string refusal;
};
NodeNameCheck CheckNodeName(std::string_view newTextGbk);

// Below the root: the new text, refused as CheckNodeName refuses it. The root: the first
// character of newText, a letter C to Z, becomes "X:\".
NodeEditResult RenameNode(const catalog::RecordRef& record, catalog::Tree& tree,
                          catalog::NodeId node, const std::string& newTextGbk);

// ---- Clearing empty boxes ------------------------------------------------------------------

// One pass: removes the empty folders below folder, walking into the others; a folder
// left empty by the pass is not looked at again. folder itself always stays. Returns the
// folders removed.
int RemoveEmptyFolders(const std::string& folder);

// Rounds of two passes, each followed by refresh (the window reloads its box tree), until
// both passes of a round leave the box tree alike. The library root is never removed, so
// the settings keep naming the library that is shown. Returns the folders removed in all.
int ClearEmptyBoxes(const std::string& root, const std::function<void()>& refresh = {});

} // namespace organize
