// Organizing the library from the main window: moving, copying, renaming and deleting
// boxes and CDs from the box tree and the CD list, by command and by drag and drop;
// clearing empty boxes; deleting and renaming nodes of the shown CD.

#include "app/mainunit_shared.h"

namespace app {

namespace {

// The last name of a box path ("A\B\" gives "B").
std::string lastName(const std::string& boxPathGbk)
{
    const std::string path = withoutLastBackslash(boxPathGbk);
    const auto slash = catalog::findLastSingleByte(path, '\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

void CopyTreeBranch(const QTreeWidgetItem* node, QTreeWidgetItem* newParent)
{
    auto* copy = new BoxTreeItem(gbkOf(node), catalog::BoxNode::Box);
    newParent->addChild(copy);
    for (int i = 0; i < node->childCount(); ++i) {
        CopyTreeBranch(node->child(i), copy);
    }
}

// ---------------------------------------------------------------- box tree

void Tmainform::tvtbmoveClick()
{
    if (nodeKind(selectedNode()) != catalog::BoxNode::Box) {
        return;
    }
    m_moveForm->setLibraryRoot(m_libraryRoot);
    m_moveForm->setMoveSourcePath(boxPath());
    if (m_moveForm->exec() != QDialog::Accepted) {
        return;
    }
    moveBox(m_moveForm->moveSourcePath(), m_moveForm->copyChecked(), m_moveForm->moveTargetPath());
}

void Tmainform::moveBox(const std::string& sourcePathGbk, bool copy,
                        const std::string& targetPathGbk)
{
    changeBoxes([&] {
        organize::MoveOutcome outcome;
        {
            const WaitCursor wait;
            outcome = organize::MoveCopyBox(m_libraryRoot, sourcePathGbk, copy, targetPathGbk);
        }
        mirrorMove(outcome, outcome.boxPathsGbk, targetPathGbk, copy);
        // The box is shown in its new place.
        QTreeWidgetItem* box = findNodeByPath(targetPathGbk + lastName(sourcePathGbk) + "\\");
        if (outcome.done && box != nullptr) {
            showBoxNode(box);
            box->setExpanded(true);
        }
        showBoxCounts();
        reportLosses(outcome.filesNotCopied, outcome.filesNotDeleted);
    });
}

void Tmainform::changeBoxes(const std::function<void()>& work)
{
    try {
        work();
    } catch (...) {
        const std::string shown = boxPath();
        loadBoxTree();
        if (!selectBoxPath(shown)) {
            showBoxNode(m_boxTree->topLevelItem(0));
        }
        throw;
    }
}

QTreeWidgetItem* Tmainform::mirrorMove(const organize::MoveOutcome& outcome,
                                       const std::vector<std::string>& movedBoxPathsGbk,
                                       const std::string& targetPathGbk, bool copy)
{
    for (const std::string& refusal : outcome.refusalsUtf8) {
        m_services.dialogs.message(refusal, MessageIcon::Error);
    }
    QTreeWidgetItem* target = findNodeByPath(targetPathGbk);
    const bool known =
        target != nullptr &&
        std::all_of(movedBoxPathsGbk.begin(), movedBoxPathsGbk.end(),
                    [this](const std::string& path) { return findNodeByPath(path) != nullptr; });
    if (!known) {
        // Boxes made beside the program since the tree was read: read it again.
        loadBoxTree();
        return findNodeByPath(targetPathGbk);
    }
    const QSignalBlocker blocker(m_boxTree);
    for (auto path = movedBoxPathsGbk.rbegin(); path != movedBoxPathsGbk.rend(); ++path) {
        QTreeWidgetItem* node = findNodeByPath(*path);
        CopyTreeBranch(node, target);
        if (!copy) {
            delete node;
        }
    }
    return target;
}

void Tmainform::reportLosses(int filesNotCopied, int filesNotDeleted)
{
    std::string text;
    if (filesNotCopied > 0) {
        text = "有 " + catalog::decimal(filesNotCopied) + " 个文件未能复制，原文件仍在原处。";
    }
    if (filesNotDeleted > 0) {
        text += text.empty() ? "" : "\r";
        text += "有 " + catalog::decimal(filesNotDeleted) + " 个文件未能删除，仍在原处。";
    }
    if (!text.empty()) {
        m_services.dialogs.message(text, MessageIcon::Warning);
    }
}

bool Tmainform::askOverwrite(const std::string& questionUtf8)
{
    // The question is answered with the normal cursor, whatever the work around it shows.
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    const auto restore = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
    return m_services.dialogs.ask(questionUtf8, MessageIcon::Question,
                                  platform::UserDialogs::Default::No);
}

void Tmainform::tvdelClick()
{
    QTreeWidgetItem* node = selectedNode();
    const std::string path = boxPath();
    // The root and the local drives node have the empty path: they are never deleted.
    if (!TreeHasSelection(*m_boxTree) || path.empty()) {
        return;
    }
    const std::string question = "是否要删除光盘盒 \"Orlendy\\" +
                                 shownUtf8(withoutLastBackslash(path)) + "\" 连同它的所有子项目？";
    if (!m_services.dialogs.ask(question, MessageIcon::Question,
                                platform::UserDialogs::Default::No)) {
        return;
    }
    m_list->clear();
    m_statusBar4->setPanelText(0, QStringLiteral("正在删除...请稍候"));
    m_statusBar4->repaint();
    // The tree follows the disk, also when the deletion stopped halfway.
    const auto mirror = [&] {
        m_statusBar4->setPanelText(0, {});
        if (pathExists(catalog::LibraryPath(m_libraryRoot, path))) {
            TVstyleChange();
            return;
        }
        QTreeWidgetItem* parentNode = node->parent();
        {
            const QSignalBlocker blocker(m_boxTree);
            delete node;
        }
        showBoxNode(parentNode);
    };
    deleteThenMirror([&] { return organize::DeleteBox(m_libraryRoot, path); }, mirror);
}

void Tmainform::deleteThenMirror(const std::function<organize::DeleteOutcome()>& remove,
                                 const std::function<void()>& mirror)
{
    organize::DeleteOutcome outcome;
    try {
        const WaitCursor wait;
        outcome = remove();
    } catch (...) {
        mirror();
        throw;
    }
    mirror();
    reportLosses(0, outcome.filesNotDeleted);
}

void Tmainform::tvtbrenClick()
{
    QTreeWidgetItem* node = selectedNode();
    if (!TreeHasSelection(*m_boxTree) || nodeKind(node) != catalog::BoxNode::Box) {
        return;
    }
    const auto typed = askNewName("重命名光盘盒", "请输入新的光盘盒名称", gbkOf(node));
    if (!typed) {
        return;
    }
    const std::string& newNameGbk = *typed;
    const QString status = m_statusBar4->panelText(0);
    m_statusBar4->setPanelText(0, QStringLiteral("正在重命名...请稍候"));
    m_statusBar4->repaint();
    const bool renamed = renameBox(boxPath(), newNameGbk, catalog::NameUse::BoxInTree);
    m_statusBar4->setPanelText(0, status);
    if (renamed) {
        setNodeName(node, newNameGbk);
        // The location and the list's caption name the box by its new name.
        TVstyleChange();
    }
}

std::optional<std::string> Tmainform::askNewName(const char* caption, const char* prompt,
                                                 const std::string& oldNameGbk)
{
    const auto typed = m_services.dialogs.inputText(caption, prompt, shownUtf8(oldNameGbk));
    return typed ? std::optional(catalog::utf8ToGbk(*typed)) : std::nullopt;
}

bool Tmainform::renameBox(const std::string& boxPathGbk, const std::string& newNameGbk,
                          catalog::NameUse use)
{
    organize::RenameResult result = organize::RenameResult::Unchanged;
    changeBoxes([&] {
        const WaitCursor wait;
        result = organize::RenameBox(m_libraryRoot, boxPathGbk, newNameGbk);
    });
    return reportRename(result, use,
                        use == catalog::NameUse::BoxInTree
                            ? organize::BoxExistsInTreeMessage(newNameGbk)
                            : organize::BoxExistsInListMessage(newNameGbk));
}

bool Tmainform::reportRename(organize::RenameResult result, catalog::NameUse use,
                             const std::string& existsMessageUtf8)
{
    if (result == organize::RenameResult::Refused) {
        m_services.dialogs.message(catalog::NameRefusalMessage(use), MessageIcon::Error);
    } else if (result == organize::RenameResult::Exists) {
        m_services.dialogs.message(existsMessageUtf8, MessageIcon::Error);
    }
    return result == organize::RenameResult::Renamed;
}

QTreeWidgetItem* Tmainform::boxTreeDropTarget(const QDropEvent* event) const
{
    using namespace catalog::BoxNode;
    const QString pane = dragPane(event->mimeData());
    const bool fromList = pane == QLatin1String("LVcd");
    const int selectedKind = nodeKind(selectedNode());
    if (selectedKind == ResultsFolder || selectedKind == LibraryRoot ||
        (pane != QLatin1String("TVstyle") && !fromList)) {
        return nullptr;
    }
    QTreeWidgetItem* under = m_boxTree->itemAt(event->position().toPoint());
    const int underKind = nodeKind(under);
    if (underKind != LibraryRoot && underKind != Box) {
        return nullptr;
    }
    const bool foundCds =
        fromList && m_list->kind(m_list->selectedRow()) == catalog::ListItem::FoundCd;
    return selectedKind == Box || foundCds ? under : nullptr;
}

void Tmainform::TVstyleDragOver(QDragMoveEvent* event)
{
    if (boxTreeDropTarget(event) == nullptr) {
        event->ignore();
        return;
    }
    acceptDrop(event);
}

void Tmainform::TVstyleDragDrop(QDropEvent* event)
{
    QTreeWidgetItem* target = boxTreeDropTarget(event);
    if (target == nullptr) {
        event->ignore();
        return;
    }
    const bool copy = acceptDrop(event);
    const std::string targetPath = nodePath(target);
    const std::string sourcePath = boxPath();
    if (dragPane(event->mimeData()) == QLatin1String("TVstyle")) {
        afterDrop([=, this] { moveBox(sourcePath, copy, targetPath); });
    } else if (m_list->kind(m_list->selectedRow()) == catalog::ListItem::FoundCd) {
        afterDrop([=, this] { copyFoundCds(sourcePath, targetPath); });
    } else {
        afterDrop([=, this] { moveItems(sourcePath, copy, targetPath); });
    }
}

// ---------------------------------------------------------------- CD list

bool Tmainform::selectionMovable() const
{
    const int first = m_list->selectedRow();
    if (first < 0) {
        return false;
    }
    using namespace catalog;
    const int treeKind = nodeKind(selectedNode());
    const int itemKind = m_list->kind(first);
    if (treeKind == BoxNode::LibraryRoot || treeKind == BoxNode::Box) {
        return itemKind == ListItem::Box || itemKind == ListItem::CdRecord;
    }
    return treeKind == BoxNode::Category && itemKind == ListItem::FoundCd;
}

void Tmainform::lvtbmoveClick()
{
    if (!selectionMovable()) {
        return;
    }
    // Found CDs are copied from their category, and the dialog starts on the root.
    const bool foundCds = m_list->kind(m_list->selectedRow()) == catalog::ListItem::FoundCd;
    const std::string shownBox = boxPath();
    m_moveForm->setLibraryRoot(m_libraryRoot);
    m_moveForm->setMoveSourcePath(foundCds ? std::string() : shownBox);
    m_moveForm->setCopyChoiceEnabled(!foundCds);
    const auto enableAgain = qScopeGuard([this] { m_moveForm->setCopyChoiceEnabled(true); });
    if (m_moveForm->exec() != QDialog::Accepted) {
        return;
    }
    if (foundCds) {
        copyFoundCds(shownBox, m_moveForm->moveTargetPath());
    } else {
        moveItems(m_moveForm->moveSourcePath(), m_moveForm->copyChecked(),
                  m_moveForm->moveTargetPath());
    }
}

void Tmainform::moveItems(const std::string& sourcePathGbk, bool copy,
                          const std::string& targetPathGbk)
{
    std::vector<organize::ListItemRef> items;
    for (const int row : m_list->selectedRows()) {
        items.push_back({m_list->caption(row), m_list->kind(row)});
    }
    changeBoxes([&] {
        organize::MoveOutcome outcome;
        {
            const WaitCursor wait;
            outcome = organize::MoveCopyItems(
                m_libraryRoot, sourcePathGbk, items, copy, targetPathGbk,
                [this](const std::string& question) { return askOverwrite(question); });
        }
        QTreeWidgetItem* target = mirrorMove(outcome, outcome.boxPathsGbk, targetPathGbk, copy);
        if (outcome.done) {
            showTargetWith(target, outcome.namesGbk);
        } else if (selectedNode() != nullptr) {
            // Nothing moved (a drop on the items' own box): they stay selected and shown.
            LVcdClick();
        }
        showBoxCounts();
        reportLosses(outcome.filesNotCopied, outcome.filesNotDeleted);
    });
}

void Tmainform::copyFoundCds(const std::string& categoryPathGbk, const std::string& targetPathGbk)
{
    std::vector<std::string> captions;
    for (const int row : m_list->selectedRows()) {
        if (m_list->kind(row) == catalog::ListItem::FoundCd) {
            captions.push_back(m_list->caption(row));
        }
    }
    organize::MoveOutcome outcome;
    {
        const WaitCursor wait;
        outcome = organize::CopyFoundCDs(
            m_libraryRoot, categoryPathGbk, captions, targetPathGbk,
            [this](const std::string& question) { return askOverwrite(question); });
    }
    showTargetWith(mirrorMove(outcome, {}, targetPathGbk, true), outcome.namesGbk);
    showBoxCounts();
    reportLosses(outcome.filesNotCopied, outcome.filesNotDeleted);
}

void Tmainform::showTargetWith(QTreeWidgetItem* target, const std::vector<std::string>& captionsGbk)
{
    if (target == nullptr) {
        return;
    }
    showBoxNode(target);
    target->setExpanded(true);
    m_list->clearSelection();
    for (int row = 0; row < m_list->count(); ++row) {
        const std::string caption = m_list->caption(row);
        if (std::find(captionsGbk.begin(), captionsGbk.end(), caption) != captionsGbk.end()) {
            m_list->selectRow(row);
            m_list->scrollTo(row);
        }
    }
    LVcdClick();
}

// Whether a list item is still on disk: a deletion that stopped halfway leaves the rest
// listed.
bool Tmainform::listItemOnDisk(int row) const
{
    const std::string folder = boxFolder();
    const std::string caption = m_list->caption(row);
    using namespace catalog::ListItem;
    switch (m_list->kind(row)) {
    case Box:
        return pathExists(catalog::ChildPath(folder, caption));
    case CdRecord:
        return !catalog::FindRecordFile(folder, caption, catalog::RecordKind::Cdr).empty();
    case FoundFolder:
        return !catalog::FindRecordFile(folder, caption, catalog::RecordKind::Fid).empty();
    case FoundCd:
        return !catalog::FindRecordFile(folder, caption, catalog::RecordKind::Tgt).empty();
    default:
        return true;
    }
}

void Tmainform::lvtbdelClick()
{
    const std::vector<int> rows = m_list->selectedRows();
    if (rows.empty() || m_list->kind(rows.front()) >= catalog::ListItem::FirstDrive) {
        return;
    }
    if (!m_services.dialogs.ask("是否要删除选定项目？", MessageIcon::Question,
                                platform::UserDialogs::Default::No)) {
        return;
    }
    m_statusBar4->setPanelText(0, QStringLiteral("正在删除...请稍候"));
    m_statusBar4->repaint();
    std::vector<organize::ListItemRef> items;
    for (const int row : rows) {
        items.push_back({m_list->caption(row), m_list->kind(row)});
    }
    // The list and the tree follow the disk, also when the deletion stopped halfway.
    const auto mirror = [&] {
        QTreeWidgetItem* node = selectedNode();
        for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
            if (listItemOnDisk(*row)) {
                continue;
            }
            if (m_list->kind(*row) == catalog::ListItem::Box && node != nullptr) {
                delete childNamed(node, m_list->caption(*row));
            }
            m_list->removeItem(*row);
        }
        showBoxCounts();
        LVcdClick();
        m_statusBar4->setPanelText(0, {});
    };
    deleteThenMirror([&] { return organize::DeleteItems(m_libraryRoot, boxPath(), items); },
                     mirror);
}

void Tmainform::lvtbrenClick()
{
    const int row = m_list->selectedRow();
    if (row < 0) {
        return;
    }
    if (m_list->kind(row) == catalog::ListItem::CdRecord) {
        renameCd(row);
    } else if (m_list->kind(row) == catalog::ListItem::Box) {
        renameListBox(row);
    }
}

void Tmainform::renameCd(int row)
{
    const std::string oldName = m_list->caption(row);
    const auto typed = askNewName("重命名光盘", "请输入新的光盘名称", oldName);
    if (!typed) {
        return;
    }
    const std::string& newNameGbk = *typed;
    organize::RenameResult result = organize::RenameResult::Unchanged;
    {
        const WaitCursor wait;
        result = organize::RenameCd(m_libraryRoot, boxPath(), oldName, newNameGbk);
    }
    if (!reportRename(result, catalog::NameUse::Cd, organize::CdExistsMessage(newNameGbk))) {
        return;
    }
    m_list->setCaption(row, newNameGbk);
    // The record is shown again under its new name: edits go to the renamed files.
    if (m_hasShownRecord && m_shownRecordGbk == oldName) {
        m_hasShownRecord = false;
        LVcdClick();
    }
}

void Tmainform::renameListBox(int row)
{
    const std::string oldName = m_list->caption(row);
    const auto typed = askNewName("重命名光盘盒", "请输入新的光盘盒名称", oldName);
    if (!typed) {
        return;
    }
    const std::string& newNameGbk = *typed;
    if (!renameBox(boxPath() + oldName + "\\", newNameGbk, catalog::NameUse::BoxInList)) {
        return;
    }
    if (QTreeWidgetItem* node = selectedNode()) {
        if (QTreeWidgetItem* child = childNamed(node, oldName)) {
            setNodeName(child, newNameGbk);
        }
    }
    m_list->setCaption(row, newNameGbk);
    resortList();
}

void Tmainform::resortList()
{
    std::vector<catalog::ListEntry> entries = m_list->entries();
    catalog::SortBoxesFirst(entries);
    m_list->setItems(entries);
    m_list->relayout();
}

int Tmainform::listDropTarget(const QDropEvent* event) const
{
    const auto* view = qobject_cast<QAbstractItemView*>(m_list->currentView());
    if (view == nullptr || dragPane(event->mimeData()) != QLatin1String("LVcd")) {
        return -1;
    }
    const int row = view->indexAt(event->position().toPoint()).row();
    return m_list->kind(row) == catalog::ListItem::Box ? row : -1;
}

void Tmainform::LVcdDragOver(QDragMoveEvent* event)
{
    if (listDropTarget(event) < 0) {
        event->ignore();
        return;
    }
    acceptDrop(event);
}

void Tmainform::LVcdDragDrop(QDropEvent* event)
{
    const int row = listDropTarget(event);
    if (row < 0) {
        event->ignore();
        return;
    }
    const bool copy = acceptDrop(event);
    const std::string sourcePath = boxPath();
    const std::string targetPath = sourcePath + m_list->caption(row) + "\\";
    afterDrop([=, this] { moveItems(sourcePath, copy, targetPath); });
}

// ---------------------------------------------------------------- clearing empty boxes

void Tmainform::topclsnullClick()
{
    m_statusBar4->setPanelText(0, QStringLiteral("正在清除没有光盘的垃圾光盘库......请稍候"));
    repaint();
    int removed = 0;
    {
        const auto clearStatus = qScopeGuard([this] {
            m_statusBar4->setPanelText(0, {});
            repaint();
        });
        const WaitCursor wait;
        const std::string root = m_libraryRoot;
        try {
            // The root stays whatever the passes find: resolving the library again here
            // would turn to the default library whenever it went, while the settings name
            // this one.
            removed = organize::ClearEmptyBoxes(root);
        } catch (...) {
            refreshLibrary();
            throw;
        }
        refreshLibrary();
    }
    m_services.dialogs.message(removed == 0 ? std::string("没有空的光盘盒。")
                                            : "已清除 " + catalog::decimal(removed) +
                                                  " 个空的光盘盒。",
                               MessageIcon::Information);
}

void Tmainform::N15Click()
{
    topclsnullClick();
}

// ---------------------------------------------------------------- the shown CD's tree

void Tmainform::reportRefusal(const char* textUtf8)
{
    if (m_quietMode) {
        m_statusBar2->setPanelText(1, QString::fromUtf8(textUtf8));
    } else {
        m_services.dialogs.message(textUtf8, MessageIcon::Warning);
    }
}

bool Tmainform::editConfirmed(const std::string& questionUtf8)
{
    return m_quietMode || m_services.dialogs.ask(questionUtf8, MessageIcon::Warning,
                                                 platform::UserDialogs::Default::No);
}

// The tree of a found folder is a search result: its nodes are neither deleted nor renamed.
bool Tmainform::refuseFoundFolderEdit(bool deleting)
{
    const int row = m_list->selectedRow();
    if (row < 0 || m_list->kind(row) != catalog::ListItem::FoundFolder) {
        return false;
    }
    reportRefusal(deleting ? "查找结果的内容不允许删除!" : "查找结果的内容不允许重命名!");
    return true;
}

organize::NodeEditResult
Tmainform::saveContentEdit(const std::function<organize::NodeEditResult(catalog::Tree&)>& edit)
{
    const QString status = m_statusBar2->panelText(1);
    m_statusBar2->setPanelText(1, QStringLiteral("正在保存修改..."));
    m_statusBar2->repaint();
    const auto restore = qScopeGuard([&] { m_statusBar2->setPanelText(1, status); });
    const WaitCursor wait;
    organize::NodeEditResult result = organize::NodeEditResult::Unchanged;
    try {
        m_contentModel->editTree([&](catalog::Tree& tree) { result = edit(tree); });
    } catch (...) {
        // The tree shows what the files hold, not an edit that could not be saved.
        loadIntoContentTree(m_shownFiles, ".Cdr");
        throw;
    }
    if (result == organize::NodeEditResult::Reloaded) {
        // Another writer had changed the record: the edit went into what the files held,
        // so show them as they are now.
        loadIntoContentTree(m_shownFiles, ".Cdr");
        result = organize::NodeEditResult::Unchanged;
    }
    // The core moves the descriptions of a renamed branch and drops those of a deleted one.
    m_nodeNotes = catalog::NodeNotes::read(m_shownFiles);
    return result;
}

catalog::NodeId Tmainform::editableContentNode(bool deleting)
{
    if (m_contentModel->tree().empty() || refuseFoundFolderEdit(deleting) ||
        m_shownFiles.folder.empty()) {
        return catalog::NoNode;
    }
    return selectedContentNode();
}

void Tmainform::tvcddelClick()
{
    const catalog::Tree& tree = m_contentModel->tree();
    const catalog::NodeId node = editableContentNode(true);
    if (node == catalog::NoNode) {
        return;
    }
    if (node == tree.first()) {
        reportRefusal("根不能删除!");
        return;
    }
    if (!editConfirmed("删除 将导致内容和光盘不一致! \r\r是否要删除: " +
                       shownUtf8(tree.text(node)))) {
        return;
    }
    const catalog::NodeId parentNode = tree.parent(node);
    const int row = tree.row(node);
    if (saveContentEdit([&](catalog::Tree& edited) {
            return organize::DeleteNode(m_shownFiles, edited, node);
        }) != organize::NodeEditResult::Done) {
        return;
    }
    m_statusBar2->setPanelText(0, utf8(catalog::TotalsText(catalog::CountTreeEntries(tree))));
    // The node that takes the deleted one's place is selected, else the one before it,
    // else the parent.
    const auto& siblings = tree.children(parentNode);
    const int next = std::min(row, static_cast<int>(siblings.size()) - 1);
    selectContentNode(next >= 0 ? siblings[static_cast<std::size_t>(next)] : parentNode);
}

void Tmainform::tvcdrenClick()
{
    const catalog::Tree& tree = m_contentModel->tree();
    const catalog::NodeId node = editableContentNode(false);
    if (node == catalog::NoNode) {
        return;
    }
    const bool root = node == tree.first();
    const std::string oldText = tree.text(node);
    // The root is a drive: only its letter is edited.
    const auto typed = m_services.dialogs.inputText(
        "重命名", "注意：根节点只能是一位字母", shownUtf8(root ? oldText.substr(0, 1) : oldText));
    if (!typed || typed->empty()) {
        return;
    }
    const std::string typedGbk = catalog::utf8ToGbk(*typed);
    std::string newText = typedGbk;
    if (root) {
        const std::string letter = catalog::upperAscii(typedGbk.substr(0, 1));
        if (letter == catalog::upperAscii(oldText.substr(0, 1)) || letter < "C" || letter > "Z") {
            return;
        }
        newText = letter + ":\\";
    } else if (catalog::equalsNoCase(typedGbk, oldText)) {
        return;
    } else if (const auto check = organize::CheckNodeName(typedGbk);
               check.check != catalog::NameCheck::Accepted) {
        if (check.check == catalog::NameCheck::Refused) {
            m_services.dialogs.message(check.refusal, MessageIcon::Error);
        }
        return;
    }
    if (!editConfirmed("重命名 将导致内容和光盘不一致! \r\r是否要重命名: " + shownUtf8(oldText) +
                       "\r          为: " + shownUtf8(newText))) {
        return;
    }
    const organize::NodeEditResult result = saveContentEdit([&](catalog::Tree& edited) {
        return organize::RenameNode(m_shownFiles, edited, node, typedGbk);
    });
    if (result == organize::NodeEditResult::Refused) {
        m_services.dialogs.message(catalog::NameRefusalMessage(catalog::NameUse::TreeNode),
                                   MessageIcon::Error);
        return;
    }
    if (root) {
        m_infoPanel->setRecord(m_shownFiles, newText.front(), m_shownRecordGbk);
    }
    // The path line and the description line follow the new name.
    contentNodeChanged();
}

// ---------------------------------------------------------------- drag and drop

// The drags and drops of the box tree and the CD list go to the window's handlers, never
// to the views' own item moving.
bool Tmainform::dragEventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop) {
        return false;
    }
    const auto* listView = qobject_cast<QAbstractItemView*>(m_list->currentView());
    const bool onTree = watched == m_boxTree->viewport();
    const bool onList = listView != nullptr && watched == listView->viewport();
    if (!onTree && !onList) {
        return false;
    }
    runCommand([&] {
        if (type == QEvent::Drop) {
            auto* drop = static_cast<QDropEvent*>(event);
            onTree ? TVstyleDragDrop(drop) : LVcdDragDrop(drop);
        } else {
            auto* move = static_cast<QDragMoveEvent*>(event);
            onTree ? TVstyleDragOver(move) : LVcdDragOver(move);
        }
    });
    return true;
}

void Tmainform::startPaneDrag(QWidget* source, const QIcon& icon)
{
    auto* drag = new QDrag(source);
    auto* data = new QMimeData;
    data->setData(QString::fromLatin1(PaneDragFormat), source->objectName().toLatin1());
    drag->setMimeData(data);
    drag->setPixmap(icon.pixmap(32, 32));
    const Qt::DropAction dropped = drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::MoveAction);
    // The press that began the drag selected the items, and the drag took the release that
    // would show them: a refused drop shows them with their commands on.
    if (dropped == Qt::IgnoreAction && source == m_list) {
        afterDrop([this] { LVcdClick(); });
    }
}

// A drop only says what to do: its questions and messages come once the drag is over and
// no longer holds the mouse.
void Tmainform::afterDrop(const std::function<void()>& work)
{
    QTimer::singleShot(0, this, [this, work] { runCommand(work); });
}

} // namespace app
