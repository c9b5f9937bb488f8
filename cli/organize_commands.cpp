// Reorganizing the library from the command line: move, copy, rename and delete boxes,
// CDs and search entries, edit the nodes of a record, clear empty boxes. Through the same
// core as the window; its refusals go to standard error and make the exit status 1, while
// the other items of the command are still done.

#include "catalog/record_set.h"
#include "catalog/library.h"
#include "catalog/record_files.h"
#include "catalog/text.h"
#include "cli/commands.h"
#include "organize/organize.h"

#include <algorithm>
#include <ostream>

namespace cli {
namespace {

using organize::ListItemRef;

bool endsInSeparator(const std::string& pathUtf8)
{
    return !pathUtf8.empty() && (pathUtf8.back() == '/' || pathUtf8.back() == '\\');
}

// The path typed for the box that holds the last name of pathUtf8.
std::string parentPathUtf8(std::string pathUtf8)
{
    if (endsInSeparator(pathUtf8)) {
        pathUtf8.pop_back();
    }
    const auto separator = pathUtf8.find_last_of("/\\");
    return separator == std::string::npos ? std::string() : pathUtf8.substr(0, separator);
}

std::string boxPathGbk(const std::vector<std::string>& namesGbk)
{
    std::string path;
    for (const auto& name : namesGbk) {
        path += name;
        path += '\\';
    }
    return path;
}

// A path of the command line as an item of the list of the box that holds it: a box
// when it ends in a separator, else a CD record or a search entry, told by its files.
struct PathItem
{
    std::vector<std::string> boxNamesGbk; // the box that lists it
    bool inResults = false;               // it is, or lies in, the search results folder
    ListItemRef item;
};

PathItem locateItem(const Context& context, const std::string& pathUtf8)
{
    PathItem located;
    if (endsInSeparator(pathUtf8)) {
        BoxLocation box = locateBox(context, pathUtf8);
        if (box.namesGbk.empty()) {
            throw CommandError{"光盘库本身不能移动、复制、重命名或删除"};
        }
        located.item = {box.namesGbk.back(), catalog::ListItem::Box};
        box.namesGbk.pop_back();
        located.boxNamesGbk = std::move(box.namesGbk);
        located.inResults = box.inResults;
        return located;
    }
    const std::vector<std::string> names = splitLibraryPath(pathUtf8);
    const BoxLocation box = locateBox(context, parentPathUtf8(pathUtf8));
    if (names.empty()) {
        throw CommandError{"找不到光盘: " + pathUtf8};
    }
    located.boxNamesGbk = box.namesGbk;
    located.inResults = box.inResults;
    located.item.captionGbk = names.back();
    const auto has = [&](std::string_view ext) {
        return !catalog::FindRecordFile(box.folder, names.back(), ext).empty();
    };
    if (box.inResults && has(".Fid")) {
        located.item.kind = catalog::ListItem::FoundFolder;
    } else if (box.inResults && has(".Tgt")) {
        located.item.kind = catalog::ListItem::FoundCd;
    } else if (!box.inResults && has(".Cdr")) {
        located.item.kind = catalog::ListItem::CdRecord;
    } else {
        throw CommandError{"找不到光盘: " + pathUtf8};
    }
    return located;
}

// Items of one box, in the order given: what the window's list selection would be.
struct Selection
{
    std::vector<std::string> boxNamesGbk;
    bool inResults = false;
    std::vector<ListItemRef> items;
};

std::vector<Selection> selectionsOf(const std::vector<PathItem>& located)
{
    std::vector<Selection> selections;
    for (const auto& path : located) {
        auto selection = selections.begin();
        while (selection != selections.end() && selection->boxNamesGbk != path.boxNamesGbk) {
            ++selection;
        }
        if (selection == selections.end()) {
            selections.push_back({path.boxNamesGbk, path.inResults, {}});
            selection = selections.end() - 1;
        }
        selection->items.push_back(path.item);
    }
    return selections;
}

// Every path located before anything is changed: a mistyped one changes nothing.
std::vector<PathItem> locateAll(const Context& context, const std::vector<std::string>& paths,
                                bool (*accepted)(const PathItem&))
{
    std::vector<PathItem> located;
    for (const auto& path : paths) {
        located.push_back(locateItem(context, path));
        if (!accepted(located.back())) {
            throw CommandError{(endsInSeparator(path) ? "找不到光盘盒: " : "找不到光盘: ") + path};
        }
    }
    return located;
}

int reportFiles(const Context& context, int notCopied, int notDeleted)
{
    if (notCopied > 0) {
        *context.err << "有 " << notCopied << " 个文件未能复制\n";
    }
    if (notDeleted > 0) {
        *context.err << "有 " << notDeleted << " 个文件未能删除\n";
    }
    return notCopied > 0 || notDeleted > 0 ? 1 : 0;
}

int report(const Context& context, const organize::MoveOutcome& outcome)
{
    for (const auto& refusal : outcome.refusalsUtf8) {
        *context.err << lineFeeds(refusal) << '\n';
    }
    const int files = reportFiles(context, outcome.filesNotCopied, outcome.filesNotDeleted);
    return outcome.refusalsUtf8.empty() ? files : 1;
}

struct MoveArguments
{
    std::vector<std::string> paths;
    std::string targetUtf8;
    bool yes = false;
};

MoveArguments parseMoveArguments(const std::vector<std::string>& args, const char* usage)
{
    MoveArguments parsed;
    bool haveTarget = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--yes") {
            parsed.yes = true;
        } else if (args[i] == "--to" && i + 1 < args.size() && !haveTarget) {
            parsed.targetUtf8 = args[++i];
            haveTarget = true;
        } else {
            parsed.paths.push_back(args[i]);
        }
    }
    if (parsed.paths.empty() || !haveTarget) {
        throw CommandError{std::string("用法: vellumark-cli ") + usage};
    }
    return parsed;
}

bool movable(const PathItem& path)
{
    return path.inResults ? path.item.kind == catalog::ListItem::FoundCd
                          : path.item.kind != catalog::ListItem::FoundFolder;
}

int runMoveCopy(const Context& context, const std::vector<std::string>& args, bool copy)
{
    const MoveArguments parsed =
        parseMoveArguments(args, copy ? "copy 路径... --to 光盘盒路径 [--yes]"
                                      : "move 路径... --to 光盘盒路径 [--yes]");
    const std::vector<std::string> targetNames = splitLibraryPath(parsed.targetUtf8);
    boxForNewEntries(context, targetNames, targetNames.size(), parsed.targetUtf8);
    const std::string target = boxPathGbk(targetNames);
    const std::vector<PathItem> located = locateAll(context, parsed.paths, movable);

    // Nobody is there to answer: --yes overwrites, and the question says what was done.
    const organize::OverwriteQuestion answer = [&](const std::string& questionUtf8) {
        *context.err << lineFeeds(questionUtf8) << ' ' << (parsed.yes ? "是" : "否") << '\n';
        return parsed.yes;
    };
    int status = 0;
    for (const auto& selection : selectionsOf(located)) {
        const std::string source = boxPathGbk(selection.boxNamesGbk);
        organize::MoveOutcome outcome;
        if (selection.inResults) {
            std::vector<std::string> captions;
            for (const auto& item : selection.items) {
                captions.push_back(item.captionGbk);
            }
            outcome = organize::CopyFoundCDs(context.libraryRoot, source, captions, target, answer);
        } else {
            outcome = organize::MoveCopyItems(context.libraryRoot, source, selection.items, copy,
                                              target, answer);
        }
        status = std::max(status, report(context, outcome));
    }
    return status;
}

// ---- Nodes of a record ----

struct NodeEdit
{
    catalog::RecordRef record;
    catalog::Tree tree;
    catalog::NodeId node = catalog::NoNode;
};

// Loads the record whole: a tree that stopped at a broken line, or icons that stopped at a
// broken .tag, written back would lose the rest of the record.
NodeEdit locateNode(const Context& context, const std::string& recordUtf8,
                    const std::string& nodePathUtf8, const char* foundFolderRefusal,
                    bool needsIcons)
{
    const RecordLocation record = locateRecord(context, recordUtf8);
    if (record.foundFolder) {
        throw CommandError{foundFolderRefusal};
    }
    NodeEdit edit{record.ref, {}, catalog::NoNode};
    const catalog::RecordLoad load =
        catalog::LoadRecordTree(edit.record, record.listingExt, edit.tree);
    if (!load.tree.ok || (needsIcons && !load.tags.ok)) {
        throw CommandError{load.tree.ok ? load.tags.errorUtf8 : load.tree.errorUtf8};
    }
    edit.node = catalog::FindNodeByPath(edit.tree, nodePathGbk(nodePathUtf8));
    if (edit.node == catalog::NoNode) {
        throw CommandError{"光盘中找不到: " + nodePathUtf8};
    }
    return edit;
}

} // namespace

int runMove(const Context& context, const std::vector<std::string>& args)
{
    return runMoveCopy(context, args, false);
}

int runCopy(const Context& context, const std::vector<std::string>& args)
{
    return runMoveCopy(context, args, true);
}

int runRename(const Context& context, const std::vector<std::string>& args)
{
    if (args.size() != 2) {
        throw CommandError{"用法: vellumark-cli rename 路径 新名称"};
    }
    const PathItem path =
        locateAll(context, {args[0]}, [](const PathItem& located) {
            return !located.inResults && (located.item.kind == catalog::ListItem::Box ||
                                          located.item.kind == catalog::ListItem::CdRecord);
        }).front();
    const bool box = path.item.kind == catalog::ListItem::Box;
    const std::string nameGbk = gbkText(args[1]);
    const std::string boxPath = boxPathGbk(path.boxNamesGbk);
    const organize::RenameResult result =
        box ? organize::RenameBox(context.libraryRoot, boxPath + path.item.captionGbk + "\\",
                                  nameGbk)
            : organize::RenameCd(context.libraryRoot, boxPath, path.item.captionGbk, nameGbk);
    switch (result) {
    case organize::RenameResult::Renamed:
    case organize::RenameResult::Unchanged:
        return 0;
    case organize::RenameResult::Refused:
        throw CommandError{lineFeeds(
            catalog::NameRefusalMessage(box ? catalog::NameUse::BoxInTree : catalog::NameUse::Cd))};
    case organize::RenameResult::Exists:
        throw CommandError{box ? organize::BoxExistsInTreeMessage(nameGbk)
                               : organize::CdExistsMessage(nameGbk)};
    }
    return 1;
}

int runDelete(const Context& context, const std::vector<std::string>& args)
{
    if (args.empty()) {
        throw CommandError{"用法: vellumark-cli delete 路径..."};
    }
    const std::vector<PathItem> located =
        locateAll(context, args, [](const PathItem&) { return true; });
    int status = 0;
    for (const auto& selection : selectionsOf(located)) {
        const organize::DeleteOutcome outcome = organize::DeleteItems(
            context.libraryRoot, boxPathGbk(selection.boxNamesGbk), selection.items);
        status = std::max(status, reportFiles(context, 0, outcome.filesNotDeleted));
    }
    return status;
}

int runRenameNode(const Context& context, const std::vector<std::string>& args)
{
    if (args.size() != 3) {
        throw CommandError{"用法: vellumark-cli rename-node 光盘 节点路径 新名称"};
    }
    NodeEdit edit = locateNode(context, args[0], args[1], "查找结果的内容不允许重命名!", false);
    const std::string newTextGbk = gbkText(args[2]);
    switch (organize::RenameNode(edit.record, edit.tree, edit.node, newTextGbk)) {
    case organize::NodeEditResult::Done:
    case organize::NodeEditResult::Reloaded:
    case organize::NodeEditResult::Unchanged:
        return 0;
    case organize::NodeEditResult::Refused:
        break;
    }
    const organize::NodeNameCheck check = organize::CheckNodeName(newTextGbk);
    throw CommandError{lineFeeds(check.check == catalog::NameCheck::Refused
                                     ? check.refusal
                                     : catalog::NameRefusalMessage(catalog::NameUse::TreeNode))};
}

int runDeleteNode(const Context& context, const std::vector<std::string>& args)
{
    if (args.size() != 2) {
        throw CommandError{"用法: vellumark-cli delete-node 光盘 节点路径"};
    }
    NodeEdit edit = locateNode(context, args[0], args[1], "查找结果的内容不允许删除!", true);
    if (organize::DeleteNode(edit.record, edit.tree, edit.node) ==
        organize::NodeEditResult::Refused) {
        throw CommandError{"根不能删除!"};
    }
    return 0;
}

int runClean(const Context& context, const std::vector<std::string>& args)
{
    if (!args.empty()) {
        throw CommandError{"用法: vellumark-cli clean"};
    }
    const std::string& root = context.libraryRoot;
    // Only folders below the root go: the library stays where the settings say.
    const int removed = organize::ClearEmptyBoxes(root);
    *context.out << "删除了 " << removed << " 个空文件夹\n";
    return 0;
}

} // namespace cli
