// The CD list pane: the content of the selected box, showing what is clicked in it.

#include "app/mainunit_shared.h"

namespace app {

QWidget* Tmainform::buildListPane()
{
    QVBoxLayout* layout = nullptr;
    m_panels[5] = makePane(QStringLiteral("Panel5"), layout);
    m_panels[5]->setMinimumWidth(150);

    auto* toolBar = new QToolBar(QStringLiteral("ToolBar2"), m_panels[5]);
    toolBar->setObjectName(QStringLiteral("ToolBar2"));
    m_lvUp = addTool(toolBar, "lvtbup", ui::Command::Up, QStringLiteral("向上一层"));
    m_available.insert(m_lvUp);
    m_lvDelete =
        addTool(toolBar, "lvtbdel", ui::Command::Delete, QStringLiteral("删除选定项(Del)"));
    m_lvMove =
        addTool(toolBar, "lvtbmove", ui::Command::Move, QStringLiteral("移动/复制选定项 到..."));
    m_lvRename = addTool(toolBar, "lvtbren", ui::Command::Rename, QStringLiteral("重命名(F2)"));
    toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    toolBar->addSeparator();
    m_viewStyles = new QActionGroup(this);
    m_viewStyles->setExclusive(true);
    const char* styleNames[4] = {"icon", "sicon", "list", "report"};
    const QString styleTexts[4] = {QStringLiteral("大图标"), QStringLiteral("小图标"),
                                   QStringLiteral("列表"), QStringLiteral("详细资料")};
    const ui::Command styleIcons[4] = {ui::Command::LargeIcons, ui::Command::SmallIcons,
                                       ui::Command::List, ui::Command::Details};
    for (int i = 0; i < 4; ++i) {
        QAction* action = toolBar->addAction(ui::commandIcon(styleIcons[i]), styleTexts[i]);
        action->setObjectName(QString::fromLatin1(styleNames[i]));
        action->setCheckable(true);
        m_viewStyles->addAction(action);
        m_styleActions[i] = action;
        connect(action, &QAction::triggered, this,
                [this, i] { m_list->setViewStyle(static_cast<CdListView::ViewStyle>(i + 1)); });
    }
    m_styleActions[3]->setChecked(true);
    connectCommand(m_lvUp, &QAction::triggered, &Tmainform::goUp);
    for (QAction* built : {m_lvDelete, m_lvMove, m_lvRename}) {
        m_available.insert(built);
    }
    connectCommand(m_lvDelete, &QAction::triggered, &Tmainform::lvtbdelClick);
    connectCommand(m_lvMove, &QAction::triggered, &Tmainform::lvtbmoveClick);
    connectCommand(m_lvRename, &QAction::triggered, &Tmainform::lvtbrenClick);
    layout->addWidget(toolBar);

    m_list = new CdListView(m_panels[5]);
    m_list->setObjectName(QStringLiteral("LVcd"));
    connectCommand(m_list, &CdListView::itemClicked, &Tmainform::LVcdClick);
    connectCommand(m_list, &CdListView::rightButtonPressed, &Tmainform::listRightButton);
    connectCommand(m_list, &CdListView::itemDoubleClicked, &Tmainform::listDoubleClick);
    connectCommand(m_list, &CdListView::keyReleased, &Tmainform::listKeyReleased);
    connect(m_list, &CdListView::dragRequested, this,
            [this] { startPaneDrag(m_list, ui::cdListIcon(m_list->kind(m_list->selectedRow()))); });
    layout->addWidget(m_list, 1);

    m_statusBar4 = new PanelBar(QStringLiteral("StatusBar4"), {}, m_panels[5]);
    layout->addWidget(m_statusBar4);
    return m_panels[5];
}

void Tmainform::buildListMenu()
{
    m_listMenu = new QMenu(this);
    m_listMenu->setObjectName(QStringLiteral("PopupMenu2"));
    const QString texts[] = {
        QStringLiteral("查找(F3)..."),
        QStringLiteral("全部选定(Ctrl+A)"),
        QStringLiteral("新增一张光盘(Ins)..."),
        QStringLiteral("删除(Del)"),
        QStringLiteral("重命名(F2)"),
        QStringLiteral("移动/复制到..."),
        QStringLiteral("新增一个光盘盒"),
        QStringLiteral("刷新"),
        QStringLiteral("查看这张光盘原来的位置"),
    };
    for (const QString& text : texts) {
        addMenuAction(m_listMenu, text)->setEnabled(false);
    }
    const auto items = m_listMenu->actions();
    items[3]->setObjectName(QStringLiteral("lvdel"));
    items[4]->setObjectName(QStringLiteral("lvren"));
    items[5]->setObjectName(QStringLiteral("lvmove"));
    for (const int index : {0, 1, 2, 3, 4, 5, 6, 7, 8}) {
        m_available.insert(items[index]);
        items[index]->setEnabled(true);
    }
    connectCommand(items[3], &QAction::triggered, &Tmainform::lvtbdelClick);
    connectCommand(items[4], &QAction::triggered, &Tmainform::lvtbrenClick);
    connectCommand(items[5], &QAction::triggered, &Tmainform::lvtbmoveClick);
    connectCommand(items[0], &QAction::triggered, &Tmainform::lvfindClick);
    connectCommand(items[8], &QAction::triggered, &Tmainform::lvoldplClick);
    connectCommand(items[1], &QAction::triggered, &Tmainform::selectAllItems);
    connectCommand(items[2], &QAction::triggered, &Tmainform::TopNewCDClick);
    connectCommand(items[6], &QAction::triggered, &Tmainform::tvnewcdsClick);
    connect(items[7], &QAction::triggered, this, [this] { m_list->relayout(); });
}

void Tmainform::enableCommand(QAction* action, bool on)
{
    action->setEnabled(on && m_available.count(action) != 0);
}

void Tmainform::setLocation(const QString& text)
{
    m_statusBar3->setPanelText(0, text);
}

void Tmainform::setTabShown(QWidget* page, bool shown)
{
    m_pages->setTabVisible(m_pages->indexOf(page), shown);
}

void Tmainform::setShownRecord(const std::string& captionGbk)
{
    m_shownRecordGbk = captionGbk;
    m_hasShownRecord = true;
    m_statusBar3->setPanelText(1, ui::fromGbk(captionGbk));
}

void Tmainform::clearContent()
{
    m_shownFiles = {};
    m_contentModel->clear();
    m_nodeNotes = catalog::NodeNotes();
    m_statusBar2->setPanelText(0, {});
    m_statusBar2->setPanelText(1, {});
    m_pathLine->clear();
    m_statusBar5->setPanelText(0, {});
}

void Tmainform::resetShow()
{
    clearContent();
    m_statusBar4->setPanelText(0, {});
    m_description->clear();
    m_description->setReadOnly(true);
    m_savedDescription.clear();
    if (nodeKind(selectedNode()) == catalog::BoxNode::LocalDrives) {
        setLocation(QStringLiteral(" 当前位置: 本地光驱"));
    } else {
        setLocation(ui::fromGbk(
            withoutLastBackslash(catalog::utf8ToGbk(" 当前位置：Orlendy\\") + boxPath())));
    }
}

void Tmainform::applySelectionState()
{
    const auto selected = m_list->selectedRows();
    if (selected.empty()) {
        enableCommand(m_lvDelete, false);
        enableCommand(m_lvMove, false);
        enableCommand(m_lvRename, false);
        m_hasShownRecord = false;
        m_statusBar3->setPanelText(1, {});
        return;
    }
    const int treeKind = nodeKind(selectedNode());
    const int itemKind = m_list->kind(selected.front());
    using namespace catalog;
    enableCommand(m_lvDelete, itemKind < ListItem::FirstDrive);
    enableCommand(m_lvMove, selectionMovable());
    enableCommand(m_lvRename, selected.size() == 1 &&
                                  (treeKind == BoxNode::LibraryRoot || treeKind == BoxNode::Box));
    const QString caption = ui::fromGbk(m_list->caption(selected.front()));
    if (treeKind == BoxNode::LocalDrives) {
        setLocation(QStringLiteral(" 当前位置: 本地光驱\\") + caption);
    } else {
        setLocation(QStringLiteral(" 当前位置：Orlendy\\") + ui::fromGbk(boxPath()) + caption);
    }
    if (selected.size() > 1) {
        m_hasShownRecord = false;
        m_statusBar3->setPanelText(1, {});
    }
}

// Steps that every click and the right button run first: the pane is reset unless one
// item is selected, and the buttons and the location follow the selection.
void Tmainform::followSelection()
{
    if (m_list->selectedRows().size() != 1) {
        resetShow();
    }
    applySelectionState();
}

void Tmainform::LVcdClick()
{
    followSelection();
    const auto selected = m_list->selectedRows();
    if (selected.size() != 1) {
        setTabShown(m_infoPanel, false);
        setTabShown(m_tabSheet1, false);
        setTabShown(m_tabSheet3, nodeKind(selectedNode()) == catalog::BoxNode::Category);
        return;
    }
    const int row = selected.front();
    if (m_hasShownRecord && m_list->caption(row) == m_shownRecordGbk) {
        return;
    }
    const int kind = m_list->kind(row);
    using namespace catalog::ListItem;
    try {
        if (kind >= FirstDrive) {
            showDriveItem(row);
        } else if (kind == CdRecord) {
            showRecord(row);
        } else if (kind == FoundFolder) {
            showFoundFolder(row);
        } else if (kind == FoundCd) {
            showFoundCd(row);
        } else {
            showBoxItem(row);
        }
    } catch (const std::exception& error) {
        reportFailure(error);
    }
}

void Tmainform::showDriveItem(int row)
{
    const std::string caption = m_list->caption(row);
    const char letter = caption.size() > 1 ? caption[1] : '?';
    std::string found;
    try {
        found = catalog::IdentifyDiscInDrive(m_services.drives, letter, m_libraryRoot);
    } catch (const std::exception& error) {
        m_services.dialogs.message(error.what(), MessageIcon::Error);
        return;
    }
    if (found == "-1") {
        m_statusBar4->setPanelText(0, ui::fromGbk(caption.substr(0, 4)) +
                                          QStringLiteral(" 驱中没有光盘"));
        return;
    }
    if (found.empty()) {
        const std::string question =
            std::string(1, letter) + ": 驱中的光盘在光盘库中找不到！是否要新增这张光盘？";
        if (m_services.dialogs.ask(question, MessageIcon::Warning)) {
            TopNewCDClick();
        }
        return;
    }
    // The record path below the root, with backslashes as in every library path.
    std::string relative = found.substr(m_libraryRoot.size());
    for (char& c : relative) {
        c = c == '/' ? '\\' : c;
    }
    const auto lastBackslash = catalog::findLastSingleByte(relative, '\\');
    const std::string fileName =
        lastBackslash == std::string::npos ? relative : relative.substr(lastBackslash + 1);
    const std::string cdName = fileName.substr(0, fileName.size() - 4);
    const std::string box =
        lastBackslash == std::string::npos ? std::string() : relative.substr(0, lastBackslash + 1);
    if (!selectBoxPath(box)) {
        return;
    }
    const std::string wanted = catalog::upperAscii(cdName);
    for (int i = 0; i < m_list->count(); ++i) {
        if (m_list->kind(i) == catalog::ListItem::CdRecord &&
            catalog::upperAscii(m_list->caption(i)) == wanted) {
            m_list->selectOnly(i);
            m_list->scrollTo(i);
            for (QAction* action : {m_lvMove, m_lvDelete, m_lvRename}) {
                enableCommand(action, true);
            }
            m_lvUp->setEnabled(selectedNode()->parent() != nullptr);
            LVcdClick();
            return;
        }
    }
}

void Tmainform::removeListItem(int row)
{
    m_list->removeItem(row);
}

bool Tmainform::loadIntoContentTree(const catalog::RecordRef& record, std::string_view listingExt)
{
    catalog::Tree tree;
    const catalog::RecordLoad load = catalog::LoadRecordTree(record, listingExt, tree);
    if (!load.tree.ok || !load.tags.ok) {
        // A tree read in part would show wrong icons and totals: nothing of it is shown.
        clearShownRecord();
        m_services.dialogs.message(load.tree.ok ? load.tags.errorUtf8 : load.tree.errorUtf8,
                                   MessageIcon::Error);
        return false;
    }
    m_contentModel->setTree(std::move(tree));
    if (const QModelIndex first = m_contentModel->index(0, 0); first.isValid()) {
        m_contentTree->expand(first);
    }
    m_contentTree->scrollToTop();
    m_statusBar2->setPanelText(0, utf8(catalog::TotalsText(load.totals)));
    return true;
}

void Tmainform::clearShownRecord()
{
    clearContent();
    m_statusBar4->setPanelText(0, {});
    m_description->clear();
    m_description->setReadOnly(true);
    m_savedDescription.clear();
    setTabShown(m_tabSheet1, false);
    setTabShown(m_infoPanel, false);
    m_hasShownRecord = false;
    m_statusBar3->setPanelText(1, {});
}

void Tmainform::loadDescription(const catalog::RecordRef& record, bool editable)
{
    const std::string text = catalog::ReadDescription(record);
    m_description->setPlainText(ui::fromGbk(text));
    m_savedDescription = m_description->toPlainText();
    m_description->setReadOnly(!editable);
}

void Tmainform::loadNodeNotes(const catalog::RecordRef& record, const char* noNotes,
                              const char* hasNotes)
{
    m_nodeNotes = catalog::NodeNotes::read(record);
    m_statusBar4->setPanelText(0,
                               QString::fromUtf8(m_nodeNotes.lines().empty() ? noNotes : hasNotes));
}

void Tmainform::loadFindMemo(const std::string& finFolder, const std::string& nameGbk)
{
    const std::string fin = catalog::FindRecordFile(finFolder, nameGbk, catalog::RecordKind::Fin);
    m_findMemo->setPlainText(fin.empty() ? QString() : ui::fromGbk(catalog::ReadWholeFile(fin)));
}

// Steps shared by a CD record and the target of a found-CD entry: the icon file, the
// tree, the description, the information and the node descriptions.
bool Tmainform::showRecordFiles(const catalog::RecordRef& record, const char* noNotes,
                                const char* hasNotes, int row)
{
    if (catalog::FindRecordFile(record.folder, record.name, catalog::RecordKind::Tag).empty()) {
        const bool rebuild = m_services.dialogs.ask(
            "光盘标志文件丢失！\r\r镜象光盘仍然可用，但需要重新生成图标信息！\r\r\"是\"-重新生成   "
            "\"否\"-删除这张光盘",
            MessageIcon::Error);
        if (!rebuild) {
            removeListItem(row);
            for (const char* ext : {".Cdr", ".FMx", ".Mx", ".Ifn"}) {
                const std::string path = catalog::FindRecordFile(record.folder, record.name, ext);
                if (!path.empty()) {
                    ::unlink(path.c_str());
                }
            }
            return false;
        }
        m_statusBar4->setPanelText(0, QStringLiteral("正在重新生成图标信息...."));
        QApplication::setOverrideCursor(Qt::WaitCursor);
        catalog::RebuildTagFromTree(record);
        QApplication::restoreOverrideCursor();
        m_statusBar4->setPanelText(0, {});
    }
    m_statusBar4->setPanelText(0, QStringLiteral("光盘读取中...请稍候"));
    m_statusBar4->repaint();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool loaded = loadIntoContentTree(record, ".Cdr");
    QApplication::restoreOverrideCursor();
    if (!loaded) {
        return false;
    }
    if (catalog::FindRecordFile(record.folder, record.name, catalog::RecordKind::Mx).empty()) {
        catalog::WriteDescription(record, "");
    }
    m_shownFiles = record;
    loadDescription(record, true);
    const auto& tree = m_contentModel->tree();
    const std::string& rootLine = tree.empty() ? std::string() : tree.text(tree.first());
    m_infoPanel->setRecord(record, rootLine.empty() ? '?' : rootLine.front(), m_list->caption(row));
    m_infoPanel->loadOrClear(record);
    loadNodeNotes(record, noNotes, hasNotes);
    return true;
}

void Tmainform::showRecord(int row)
{
    m_pathLine->clear();
    m_statusBar2->setPanelText(1, {});
    const std::string caption = m_list->caption(row);
    const catalog::RecordRef record{boxFolder(), caption};
    if (catalog::FindRecordFile(record.folder, record.name, catalog::RecordKind::Cdr).empty()) {
        m_services.dialogs.message("光盘 " + catalog::gbkToUtf8(caption) + " 不存在！",
                                   MessageIcon::Error);
        removeListItem(row);
        return;
    }
    if (!showRecordFiles(record, "这张光盘的子文件夹中无描述", "这张光盘的子文件夹中有描述", row)) {
        return;
    }
    setTabShown(m_infoPanel, true);
    setTabShown(m_tabSheet1, true);
    setTabShown(m_tabSheet3, false);
    setShownRecord(caption);
}

void Tmainform::showFoundFolder(int row)
{
    m_hasShownRecord = false;
    m_statusBar3->setPanelText(1, {});
    m_pathLine->clear();
    m_statusBar2->setPanelText(0, {});
    m_lvMove->setEnabled(false);
    m_lvRename->setEnabled(false);
    const std::string caption = m_list->caption(row);
    const catalog::RecordRef record{boxFolder(), caption};
    if (catalog::FindRecordFile(record.folder, record.name, catalog::RecordKind::Fid).empty()) {
        m_services.dialogs.message("查找结果文件 " + catalog::gbkToUtf8(caption) + " 不存在！",
                                   MessageIcon::Error);
        removeListItem(row);
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool loaded = loadIntoContentTree(record, ".FID");
    QApplication::restoreOverrideCursor();
    if (!loaded) {
        return;
    }
    m_shownFiles = record;
    loadDescription(record, false);
    loadNodeNotes(record, "这个查找结果的子文件夹中无描述", "这个查找结果的子文件夹中有描述");
    for (QWidget* page :
         {static_cast<QWidget*>(m_tabSheet1), static_cast<QWidget*>(m_infoPanel), m_tabSheet3}) {
        setTabShown(page, true);
    }
    const auto& tree = m_contentModel->tree();
    const std::string& rootLine = tree.empty() ? std::string() : tree.text(tree.first());
    m_infoPanel->setRecord(record, rootLine.empty() ? '?' : rootLine.front(), caption);
    m_infoPanel->loadOrClear(record);
    setShownRecord(caption);
}

void Tmainform::showFoundCd(int row)
{
    m_pathLine->clear();
    m_statusBar2->setPanelText(0, {});
    const std::string caption = m_list->caption(row);
    const std::string pointer = catalog::FindRecordFile(boxFolder(), caption, catalog::RecordKind::Tgt);
    if (pointer.empty()) {
        m_services.dialogs.message("查找结果文件 " + catalog::gbkToUtf8(caption) + " 不存在！",
                                   MessageIcon::Error);
        removeListItem(row);
        return;
    }
    // The record is looked for whatever the spelling of its extension; the pointer goes
    // only when the record is gone in every spelling.
    const auto target = search::PointerTarget(m_libraryRoot, catalog::ReadWholeFile(pointer));
    if (!target) {
        m_services.dialogs.message(catalog::PointerTargetGoneMessage(catalog::gbkToUtf8(caption)),
                                   MessageIcon::Error);
        removeListItem(row);
        ::unlink(pointer.c_str());
        return;
    }
    if (!showRecordFiles(*target, "这张光盘的子文件中无描述", "这张光盘的子文件中有描述", row)) {
        return;
    }
    for (QWidget* page :
         {static_cast<QWidget*>(m_tabSheet1), static_cast<QWidget*>(m_infoPanel), m_tabSheet3}) {
        setTabShown(page, true);
    }
    setShownRecord(caption);
}

void Tmainform::showBoxItem(int row)
{
    m_hasShownRecord = false;
    m_statusBar3->setPanelText(1, {});
    m_contentModel->clear();
    setTabShown(m_infoPanel, false);
    setTabShown(m_tabSheet1, false);
    const std::string caption = m_list->caption(row);
    const int treeKind = nodeKind(selectedNode());
    using namespace catalog::BoxNode;
    const std::string itemFolder = catalog::ChildPath(boxFolder(), caption);
    if (treeKind == ResultsFolder) {
        loadFindMemo(itemFolder, caption);
        const bool described = !catalog::FindRecordFile(itemFolder, caption, catalog::RecordKind::Fin).empty();
        setTabShown(m_tabSheet3, described);
        if (described) {
            m_pages->setCurrentWidget(m_tabSheet3);
        }
    } else {
        setTabShown(m_tabSheet3, false);
    }
    m_pathLine->clear();
    m_statusBar2->setPanelText(0, {});
    m_statusBar2->setPanelText(1, {});
    m_description->clear();
    m_description->setReadOnly(true);
    const bool results = treeKind == ResultsFolder || treeKind == Category;
    const auto counts = catalog::CountBoxEntries(
        itemFolder, results ? catalog::CountMode::Results : catalog::CountMode::Records, false);
    m_statusBar4->setPanelText(
        0, utf8(catalog::CountsText(
               results ? catalog::CountText::ListResults : catalog::CountText::ListBox, counts)));
}

void Tmainform::RefreshDriveItems()
{
    if (nodeKind(selectedNode()) != catalog::BoxNode::LocalDrives) {
        return;
    }
    for (int row = 0; row < m_list->count(); ++row) {
        const std::string caption = m_list->caption(row);
        if (m_list->kind(row) < catalog::ListItem::FirstDrive || caption.size() < 4) {
            continue;
        }
        const char letter = caption[1];
        const std::string head = caption.substr(0, 4);
        const bool present = m_services.drives.discPresent(letter);
        m_list->setCaption(
            row, present ? head + " " + catalog::utf8ToGbk(m_services.drives.volumeLabel(letter))
                         : head);
        m_list->setItemIcon(row, ui::driveIcon(present));
    }
}

void Tmainform::goUp()
{
    QTreeWidgetItem* node = selectedNode();
    if (node != nullptr && node->parent() != nullptr) {
        m_boxTree->setCurrentItem(node->parent());
    }
}

void Tmainform::selectAllItems()
{
    m_list->selectAll();
    LVcdClick();
}

void Tmainform::listRightButton(const QPoint& globalPos, int row)
{
    const auto before = m_list->selectedRows();
    if (row >= 0 && std::find(before.begin(), before.end(), row) == before.end()) {
        m_list->selectOnly(row);
    }
    followSelection();
    const auto selected = m_list->selectedRows();
    const int treeKind = nodeKind(selectedNode());
    const auto items = m_listMenu->actions();
    using namespace catalog;
    // 0 find, 3 delete, 4 rename, 5 move, 6 new box, 8 original place
    if (treeKind == BoxNode::LibraryRoot || treeKind == BoxNode::Box) {
        const bool onItem = row >= 0;
        enableCommand(items[0], onItem);
        enableCommand(items[6], true);
        enableCommand(items[3], onItem);
        enableCommand(items[5], onItem && selectionMovable());
        enableCommand(items[4], onItem && selected.size() == 1);
        enableCommand(items[8], false);
    } else {
        for (const int index : {0, 4, 5, 6}) {
            enableCommand(items[index], false);
        }
        if (selected.empty()) {
            enableCommand(items[3], false);
            enableCommand(items[8], false);
        } else {
            const int itemKind = m_list->kind(selected.front());
            enableCommand(items[3], treeKind != BoxNode::LocalDrives);
            enableCommand(items[8], selected.size() == 1 && (itemKind == ListItem::FoundFolder ||
                                                             itemKind == ListItem::FoundCd));
            enableCommand(items[5], selectionMovable());
        }
    }
    m_listMenu->popup(globalPos);
}

void Tmainform::listDoubleClick()
{
    const int row = m_list->selectedRow();
    QTreeWidgetItem* node = selectedNode();
    if (row < 0 || node == nullptr || m_list->kind(row) != catalog::ListItem::Box) {
        return;
    }
    if (QTreeWidgetItem* child = childNamed(node, m_list->caption(row))) {
        m_boxTree->setCurrentItem(child);
        fillList(boxFolder());
    }
}

void Tmainform::listKeyReleased(int key, Qt::KeyboardModifiers modifiers)
{
    if (key == Qt::Key_A && modifiers == Qt::ControlModifier) {
        selectAllItems();
        return;
    }
    // Keys of commands that run only while their button is on.
    const std::tuple<int, const QAction*, void (Tmainform::*)()> commands[] = {
        {Qt::Key_Backspace, m_lvUp, &Tmainform::goUp},
        {Qt::Key_Insert, m_newCdAction, &Tmainform::TopNewCDClick},
        {Qt::Key_Delete, m_lvDelete, &Tmainform::lvtbdelClick},
        {Qt::Key_F2, m_lvRename, &Tmainform::lvtbrenClick},
    };
    for (const auto& [commandKey, button, handler] : commands) {
        if (key == commandKey) {
            if (button->isEnabled()) {
                (this->*handler)();
            }
            return;
        }
    }
    const bool navigation = key == Qt::Key_PageUp || key == Qt::Key_PageDown ||
                            key == Qt::Key_End || key == Qt::Key_Home || key == Qt::Key_Left ||
                            key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down;
    const bool letter = key >= Qt::Key_A && key <= Qt::Key_Z;
    if (navigation || letter) {
        LVcdClick();
    }
}

void Tmainform::lvfindClick()
{
    const auto selected = m_list->selectedRows();
    if (selected.empty()) {
        tvfindClick();
        return;
    }
    const std::string path = boxPath();
    m_findForm->setInitialBoxPath(path);
    m_findForm->clearScope();
    for (const int row : selected) {
        m_findForm->addScopeEntry(
            {std::string(catalog::LibraryRootCaption) + "\\" + path + m_list->caption(row),
             m_list->kind(row) == catalog::ListItem::Box ? search::ScopeKind::Box
                                                         : search::ScopeKind::Cd});
    }
    showFindForm();
}

void Tmainform::lvoldplClick()
{
    const int row = m_list->selectedRow();
    if (row < 0) {
        return;
    }
    const std::string caption = m_list->caption(row);
    const std::string category = boxFolder();
    std::string target; // the catalogued CD's relative name with a four-character extension
    if (m_list->kind(row) == catalog::ListItem::FoundCd) {
        const std::string pointer = catalog::FindRecordFile(category, caption, catalog::RecordKind::Tgt);
        const std::string text = pointer.empty() ? std::string() : catalog::ReadWholeFile(pointer);
        const auto lines = catalog::SplitLines(text);
        target = lines.empty() ? std::string() : std::string(lines.front());
    } else if (m_list->kind(row) == catalog::ListItem::FoundFolder) {
        const std::string mx = catalog::FindRecordFile(category, caption, catalog::RecordKind::Mx);
        const std::string text = mx.empty() ? std::string() : catalog::ReadWholeFile(mx);
        const auto lines = catalog::SplitLines(text);
        if (lines.size() >= 2) {
            const std::string_view place = lines[1];
            const auto slash = catalog::findSingleByte(place, '\\');
            target =
                std::string(slash == std::string_view::npos ? place : place.substr(slash + 1)) +
                ".cdr";
        }
    } else {
        return;
    }
    const auto lastBackslash = catalog::findLastSingleByte(target, '\\');
    const std::string box =
        lastBackslash == std::string::npos ? std::string() : target.substr(0, lastBackslash + 1);
    const std::string placeCaption =
        withoutLastBackslash(std::string(catalog::LibraryRootCaption) + "\\" + box);
    if (!m_services.dialogs.ask("这张被查找出来的光盘原来的位置是:\r\r" +
                                    catalog::gbkToUtf8(placeCaption) + "\r\r转到该位置?",
                                MessageIcon::Information)) {
        return;
    }
    const std::string fileName =
        lastBackslash == std::string::npos ? target : target.substr(lastBackslash + 1);
    const std::string cdName = fileName.size() >= 4 ? fileName.substr(0, fileName.size() - 4) : "";
    if (!selectBoxPath(box)) {
        m_services.dialogs.message("无法转到该位置，可能原光盘位置变了或被删除了！",
                                   MessageIcon::Error);
        return;
    }
    const std::string wanted = catalog::upperAscii(cdName);
    for (int i = 0; i < m_list->count(); ++i) {
        if (m_list->kind(i) == catalog::ListItem::CdRecord &&
            catalog::upperAscii(m_list->caption(i)) == wanted) {
            m_list->scrollTo(i);
            m_list->selectOnly(i);
            m_statusBar4->setPanelText(0, {});
            LVcdClick();
            return;
        }
    }
}

} // namespace app
