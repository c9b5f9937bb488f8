#include "organize/organize.h"

#include "catalog/library.h"
#include "catalog/record_set.h"
#include "catalog/text.h"
#include "organize/box_paths.h"
#include "organize/records.h"
#include "organize/tree_copy.h"

#include <cerrno>
#include <cstdlib>

#include <unistd.h>

namespace organize {
namespace {

std::string quoted(const std::string& nameGbk)
{
    return "\"" + catalog::gbkToUtf8(nameGbk) + " \"";
}

// Judged on the folders themselves, not on their names, which links and a stale tree can
// make lie: the target is the box, lies inside it, or already holds it.
bool targetIsInsideOrParent(const std::string& box, const std::string& parent,
                            const std::string& target)
{
    return catalog::LiesInside(box, target) || SameFolder(target, parent);
}

void add(MoveOutcome& outcome, const TreeTransfer& counts)
{
    outcome.filesNotCopied += counts.filesNotCopied;
    outcome.filesNotDeleted += counts.filesNotDeleted;
}

void add(MoveOutcome& outcome, const RecordCounts& counts)
{
    outcome.filesNotCopied += counts.filesNotCopied;
    outcome.filesNotDeleted += counts.filesNotDeleted;
}

void moveCopyBox(const std::string& root, const std::string& sourceBoxPathGbk, bool copy,
                 const std::string& targetBoxPathGbk, MoveOutcome& outcome)
{
    const std::string target = BoxFolder(root, targetBoxPathGbk);
    const std::vector<std::string> names = BoxNames(sourceBoxPathGbk);
    // The library root has no parent to leave and holds every target.
    if (names.empty() ||
        targetIsInsideOrParent(BoxFolder(root, sourceBoxPathGbk),
                               BoxFolder(root, ParentBoxPath(sourceBoxPathGbk)), target)) {
        outcome.refusalsUtf8.push_back(InsideOrParentMessage());
        return;
    }
    const std::string& name = names.back();
    const catalog::FolderLock lock(target);
    if (catalog::NameTaken(target, name)) {
        outcome.refusalsUtf8.push_back(BoxNameTakenMessage(BoxText(targetBoxPathGbk), name));
        return;
    }
    const std::string source = BoxFolder(root, sourceBoxPathGbk);
    const std::string destination = catalog::ChildPath(target, name);
    const TreeTransfer carried =
        copy ? CopyRecordTree(source, destination) : MoveRecordTree(source, destination);
    add(outcome, carried);
    if (carried.sourceMissing) {
        // Moved or deleted since it was chosen: the folder made for it would pass for a copy.
        ::rmdir(destination.c_str());
        outcome.refusalsUtf8.push_back(BoxGoneMessage(sourceBoxPathGbk));
        return;
    }
    outcome.done = true;
    outcome.boxPathsGbk.push_back(sourceBoxPathGbk);
    outcome.namesGbk.push_back(name);
}

} // namespace

std::string InsideOrParentMessage()
{
    return "不能移动/复制给 父项目或自己或自己的子项目!";
}

std::string BoxNameTakenMessage(const std::string& targetTextGbk, const std::string& boxNameGbk)
{
    return "目标类别 " + quoted(targetTextGbk) + "下\r\r已含有与源类别 " + quoted(boxNameGbk) +
           " 同名的类别！";
}

std::string OverwriteCdQuestion(const std::string& targetTextGbk, const std::string& cdNameGbk)
{
    return "目标光盘盒 " + quoted(targetTextGbk) + "下\r已含有与源光盘 " + quoted(cdNameGbk) +
           " 同名的光盘！\r\r是否要覆盖？";
}

std::string OverwriteFoundCdQuestion(const std::string& targetTextGbk, const std::string& cdNameGbk)
{
    return "目标光盘下 " + quoted(targetTextGbk) + "下\r已含有与源光盘 " + quoted(cdNameGbk) +
           " 同名的光盘！\r\r是否要覆盖？";
}

std::string BoxGoneMessage(const std::string& boxPathGbk)
{
    std::string shown = boxPathGbk;
    if (!shown.empty() && shown.back() == '\\') {
        shown.pop_back();
    }
    return "光盘盒 " + catalog::gbkToUtf8(shown) + " 不存在！";
}

MoveOutcome MoveCopyBox(const std::string& root, const std::string& sourceBoxPathGbk, bool copy,
                        const std::string& targetBoxPathGbk)
{
    MoveOutcome outcome;
    moveCopyBox(root, sourceBoxPathGbk, copy, targetBoxPathGbk, outcome);
    return outcome;
}

MoveOutcome MoveCopyItems(const std::string& root, const std::string& sourceBoxPathGbk,
                          const std::vector<ListItemRef>& items, bool copy,
                          const std::string& targetBoxPathGbk, const OverwriteQuestion& ask)
{
    MoveOutcome outcome;
    const std::string source = BoxFolder(root, sourceBoxPathGbk);
    const std::string target = BoxFolder(root, targetBoxPathGbk);
    RecordCarrier carrier(target, copy ? Carry::Copy : Carry::Move);
    for (auto item = items.rbegin(); item != items.rend(); ++item) {
        const std::string& caption = item->captionGbk;
        if (!IsItemName(caption)) {
            continue;
        }
        if (item->kind == catalog::ListItem::Box) {
            moveCopyBox(root, sourceBoxPathGbk + caption + "\\", copy, targetBoxPathGbk, outcome);
            continue;
        }
        // Search entries never travel as CDs.
        if (item->kind != catalog::ListItem::CdRecord) {
            continue;
        }
        outcome.namesGbk.push_back(caption);
        if (SameFolder(source, target)) {
            continue;
        }
        const auto carried = carrier.carry(source, caption, caption, [&] {
            return ask(OverwriteCdQuestion(BoxText(targetBoxPathGbk), caption));
        });
        outcome.done = outcome.done || carried == RecordCarrier::Outcome::Carried;
    }
    add(outcome, carrier.finish());
    return outcome;
}

MoveOutcome CopyFoundCDs(const std::string& root, const std::string& categoryBoxPathGbk,
                         const std::vector<std::string>& captionsGbk,
                         const std::string& targetBoxPathGbk, const OverwriteQuestion& ask)
{
    MoveOutcome outcome;
    const std::string category = BoxFolder(root, categoryBoxPathGbk);
    const std::string target = BoxFolder(root, targetBoxPathGbk);
    RecordCarrier carrier(target, Carry::Copy);
    for (auto caption = captionsGbk.rbegin(); caption != captionsGbk.rend(); ++caption) {
        if (!IsItemName(*caption)) {
            continue;
        }
        const std::string pointer = catalog::FindRecordFile(category, *caption, catalog::RecordKind::Tgt);
        if (pointer.empty()) {
            catalog::throwFileError(category + *caption + ".Tgt", ENOENT);
        }
        const auto record = catalog::PointerTarget(root, catalog::ReadWholeFile(pointer));
        const std::string goneUtf8 =
            catalog::PointerTargetGoneMessage(catalog::gbkToUtf8(*caption));
        if (!record) {
            outcome.refusalsUtf8.push_back(goneUtf8);
            continue;
        }
        // The copy takes the entry's caption: two entries may stand for two CDs of one name.
        outcome.namesGbk.push_back(*caption);
        if (SameFolder(record->folder, target) && catalog::equalsNoCase(*caption, record->name)) {
            break; // this CD and every one visited after it are left alone
        }
        const auto carried = carrier.carry(record->folder, record->name, *caption, [&] {
            return ask(OverwriteFoundCdQuestion(BoxText(targetBoxPathGbk), *caption));
        });
        if (carried == RecordCarrier::Outcome::NoListing) {
            outcome.refusalsUtf8.push_back(goneUtf8); // moved away since the pointer was read
        }
        outcome.done = outcome.done || carried == RecordCarrier::Outcome::Carried;
    }
    add(outcome, carrier.finish());
    return outcome;
}

} // namespace organize
