// The box tree pane: boxes, the search results and the local drives, their commands.

#include "app/mainunit_shared.h"

namespace app {

namespace {

// The box tree starts its drags itself; what a drag carries is up to the window.
class BoxTreeWidget : public QTreeWidget
{
public:
    using QTreeWidget::QTreeWidget;
    std::function<void()> dragStarted;

protected:
    void startDrag(Qt::DropActions /*supportedActions*/) override
    {
        if (dragStarted) {
            dragStarted();
        }
    }
};

} // namespace

bool TreeHasSelection(const QTreeWidget& tree)
{
    return !tree.selectedItems().isEmpty();
}

QWidget* Tmainform::buildBoxTreePane()
{
    QVBoxLayout* layout = nullptr;
    m_panels[1] = makePane(QStringLiteral("Panel1"), layout);
    m_panels[1]->setMinimumWidth(150);

    auto* toolBar = new QToolBar(QStringLiteral("ToolBar3"), m_panels[1]);
    toolBar->setObjectName(QStringLiteral("ToolBar3"));
    m_tvDelete =
        addTool(toolBar, "tvtbdel", ui::Command::Delete, QStringLiteral("删除光盘盒(Del)"));
    m_tvMove =
        addTool(toolBar, "tvtbmove", ui::Command::Move, QStringLiteral("移动/复制 光盘盒..."));
    m_tvRename =
        addTool(toolBar, "tvtbren", ui::Command::Rename, QStringLiteral("重命名光盘盒(F2)"));
    toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    const auto doorButton = [toolBar](const char* name, ui::Command icon, const QString& text,
                                      const QString& hint) {
        auto* button = new QToolButton(toolBar);
        button->setObjectName(QString::fromLatin1(name));
        button->setIcon(ui::commandIcon(icon));
        button->setText(text);
        button->setToolTip(hint);
        button->setPopupMode(QToolButton::MenuButtonPopup);
        toolBar->addWidget(button);
        return button;
    };
    m_ejectButton = doorButton("ejectcd", ui::Command::OpenDoors, QStringLiteral("弹出"),
                               QStringLiteral("弹出所有光驱"));
    m_closeButton = doorButton("closecd", ui::Command::CloseDoors, QStringLiteral("合上"),
                               QStringLiteral("合上所有光驱"));
    layout->addWidget(toolBar);

    auto* boxTree = new BoxTreeWidget(m_panels[1]);
    boxTree->dragStarted = [this] {
        startPaneDrag(m_boxTree, ui::boxTreeIcon(catalog::BoxNode::Box));
    };
    m_boxTree = boxTree;
    m_boxTree->setObjectName(QStringLiteral("TVstyle"));
    m_boxTree->setHeaderHidden(true);
    m_boxTree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_boxTree->setSelectionMode(QAbstractItemView::SingleSelection);
    m_boxTree->setContextMenuPolicy(Qt::CustomContextMenu);
    m_boxTree->setDragEnabled(true);
    m_boxTree->viewport()->setAcceptDrops(true);
    for (QAction* built : {m_tvDelete, m_tvMove, m_tvRename}) {
        m_available.insert(built);
    }
    connectCommand(m_tvDelete, &QAction::triggered, &Tmainform::tvdelClick);
    connectCommand(m_tvMove, &QAction::triggered, &Tmainform::tvtbmoveClick);
    connectCommand(m_tvRename, &QAction::triggered, &Tmainform::tvtbrenClick);
    connectCommand(m_boxTree, &QTreeWidget::itemSelectionChanged, &Tmainform::TVstyleChange);
    connectCommand(m_boxTree, &QWidget::customContextMenuRequested, &Tmainform::boxTreeContextMenu);
    layout->addWidget(m_boxTree, 1);

    m_statusBar1 = new PanelBar(QStringLiteral("StatusBar1"), {}, m_panels[1]);
    layout->addWidget(m_statusBar1);
    return m_panels[1];
}

void Tmainform::buildBoxTreeMenu()
{
    m_boxTreeMenu = new QMenu(this);
    m_boxTreeMenu->setObjectName(QStringLiteral("PopupMenu1"));
    const QString texts[] = {
        QStringLiteral("查找(F3)..."),
        QStringLiteral("新增一张光盘..."),
        QStringLiteral("新增一个光盘盒(Ins)"),
        QStringLiteral("删除光盘盒(Del)"),
        QStringLiteral("重命名光盘盒(F2)"),
        QStringLiteral("光盘盒移动/复制到..."),
        QStringLiteral("全部展开"),
        QStringLiteral("全部折叠"),
        QStringLiteral("清除空的光盘盒(F4)"),
        QStringLiteral("刷新(F5)"),
        QStringLiteral("详细信息(Alt+Enter)..."),
    };
    for (const QString& text : texts) {
        addMenuAction(m_boxTreeMenu, text)->setEnabled(false);
    }
    const auto items = m_boxTreeMenu->actions();
    items[3]->setObjectName(QStringLiteral("tvdel"));
    items[4]->setObjectName(QStringLiteral("tvren"));
    items[5]->setObjectName(QStringLiteral("tvmove"));
    items[8]->setObjectName(QStringLiteral("N15"));
    const std::pair<int, void (Tmainform::*)()> built[] = {
        {0, &Tmainform::tvfindClick},   {1, &Tmainform::TopNewCDClick},
        {2, &Tmainform::tvnewcdsClick}, {3, &Tmainform::tvdelClick},
        {4, &Tmainform::tvtbrenClick},  {5, &Tmainform::tvtbmoveClick},
        {6, &Tmainform::expandAll},     {7, &Tmainform::collapseAll},
        {8, &Tmainform::N15Click},      {9, &Tmainform::refreshLibrary},
        {10, &Tmainform::showDetails},
    };
    for (const auto& [index, handler] : built) {
        m_available.insert(items[index]);
        items[index]->setEnabled(true);
        connectCommand(items[index], &QAction::triggered, handler);
    }
    // Beside the command that adds one CD: it adds the CDs of another program's catalogue.
    m_importCatalogue = new QAction(QStringLiteral("导入其他软件的光盘目录..."), m_boxTreeMenu);
    m_importCatalogue->setObjectName(QStringLiteral("ImportCatalogue"));
    m_boxTreeMenu->insertAction(items[2], m_importCatalogue);
    m_available.insert(m_importCatalogue);
    connectCommand(m_importCatalogue, &QAction::triggered, &Tmainform::importCatalogueClick);
}

void Tmainform::loadBoxTree()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QSignalBlocker blocker(m_boxTree);
    m_boxTree->clear();
    const catalog::Tree tree = catalog::LoadLibraryTree(m_libraryRoot);
    auto* root =
        new BoxTreeItem(std::string(catalog::LibraryRootCaption), catalog::BoxNode::LibraryRoot);
    m_boxTree->addTopLevelItem(root);
    addBoxTreeItems(root, tree, tree.first());
    QApplication::restoreOverrideCursor();
    root->setExpanded(true);
    m_boxTree->addTopLevelItem(
        new BoxTreeItem(catalog::LocalDrivesName(), catalog::BoxNode::LocalDrives));
}

void Tmainform::addBoxTreeItems(QTreeWidgetItem* parentItem, const catalog::Tree& tree,
                                catalog::NodeId node)
{
    for (const catalog::NodeId child : tree.children(node)) {
        auto* item = new BoxTreeItem(tree.text(child), tree.image(child));
        parentItem->addChild(item);
        addBoxTreeItems(item, tree, child);
    }
}

QTreeWidgetItem* Tmainform::selectedNode() const
{
    const auto selected = m_boxTree->selectedItems();
    return selected.isEmpty() ? nullptr : selected.front();
}

int Tmainform::nodeKind(const QTreeWidgetItem* item) const
{
    return item == nullptr ? -1 : item->data(0, KindRole).toInt();
}

std::string Tmainform::nodePath(const QTreeWidgetItem* item) const
{
    std::vector<const QTreeWidgetItem*> chain;
    for (const QTreeWidgetItem* current = item; current != nullptr && current->parent() != nullptr;
         current = current->parent()) {
        chain.push_back(current);
    }
    std::string path;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        path += gbkOf(*it);
        path += '\\';
    }
    return path;
}

QTreeWidgetItem* Tmainform::findNodeByPath(const std::string& pathGbk) const
{
    for (QTreeWidgetItemIterator it(m_boxTree); *it != nullptr; ++it) {
        if (nodePath(*it) == pathGbk) {
            return *it;
        }
    }
    return nullptr;
}

bool Tmainform::selectBoxPath(const std::string& boxPathGbk)
{
    QTreeWidgetItem* node = findNodeByPath(boxPathGbk);
    if (node == nullptr) {
        return false;
    }
    if (node != selectedNode()) {
        showBoxNode(node);
    }
    return true;
}

void Tmainform::showBoxNode(QTreeWidgetItem* node)
{
    if (node == selectedNode()) {
        TVstyleChange();
        return;
    }
    m_boxTree->setCurrentItem(node);
    if (selectedNode() != node) {
        node->setSelected(true);
    }
}

std::string Tmainform::boxPath() const
{
    return nodePath(selectedNode());
}

std::string Tmainform::boxFolder() const
{
    return catalog::LibraryPath(m_libraryRoot, boxPath());
}

void Tmainform::sortBoxTree()
{
    m_boxTree->sortItems(0, Qt::AscendingOrder);
}

void Tmainform::setBoxTreeButtons(int kind)
{
    using namespace catalog::BoxNode;
    const bool box = kind == Box;
    const bool results = kind == ResultsFolder || kind == Category;
    enableCommand(m_tvMove, box);
    enableCommand(m_tvRename, box);
    enableCommand(m_tvDelete, box || results);
    if (results) {
        enableCommand(m_lvMove, false);
        enableCommand(m_lvRename, false);
    }
}

void Tmainform::TVstyleChange()
{
    QTreeWidgetItem* node = selectedNode();
    if (node == nullptr) {
        return;
    }
    const int kind = nodeKind(node);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_statusBar3->setPanelText(1, {});
    m_hasShownRecord = false;
    m_contentModel->clear();

    m_lvUp->setEnabled(node->parent() != nullptr);
    setBoxTreeButtons(kind);

    if (kind == catalog::BoxNode::LocalDrives) {
        setLocation(QStringLiteral(" 当前位置: 本地光驱"));
        m_list->clear();
        const auto drives = m_services.drives.cdromDrives();
        for (const auto& drive : drives) {
            m_list->addItem(std::string("(") + drive.letter + ":)", catalog::ListItem::FirstDrive);
        }
        m_statusBar1->setPanelText(0,
                                   utf8(catalog::DriveCountText(static_cast<int>(drives.size()))));
        m_list->setColumnCaption(QStringLiteral("[本地光驱]"));
        RefreshDriveItems();
    } else {
        fillList(boxFolder());
        m_list->relayout();
        m_list->setColumnCaption(QStringLiteral("[") + node->text(0) + QStringLiteral("]"));
        setLocation(ui::fromGbk(
            withoutLastBackslash(catalog::utf8ToGbk(" 当前位置:Orlendy\\") + boxPath())));
    }

    showBoxCounts();

    using namespace catalog::BoxNode;
    bool categoryShown = false;
    if (kind == Category) {
        // A category's description lies inside it, named after it.
        loadFindMemo(boxFolder(), gbkOf(node));
        categoryShown =
            !catalog::FindRecordFile(boxFolder(), gbkOf(node), catalog::RecordKind::Fin).empty();
    }
    setTabShown(m_tabSheet3, categoryShown);
    if (categoryShown) {
        m_pages->setCurrentWidget(m_tabSheet3);
    }
    setTabShown(m_tabSheet1, false);
    setTabShown(m_infoPanel, false);

    QApplication::restoreOverrideCursor();
    {
        const QSignalBlocker blocker(m_boxTree);
        sortBoxTree();
    }
    LVcdClick();
}

void Tmainform::showBoxCounts()
{
    using namespace catalog::BoxNode;
    const int kind = nodeKind(selectedNode());
    if (kind == LibraryRoot || kind == Box) {
        const auto counts =
            catalog::CountBoxEntries(boxFolder(), catalog::CountMode::Records, false);
        m_statusBar1->setPanelText(
            0, utf8(catalog::CountsText(catalog::CountText::BoxTreeBox, counts)));
    } else if (kind == ResultsFolder || kind == Category) {
        const auto counts =
            catalog::CountBoxEntries(boxFolder(), catalog::CountMode::Results, false);
        m_statusBar1->setPanelText(
            0, utf8(catalog::CountsText(catalog::CountText::BoxTreeResults, counts)));
    }
}

void Tmainform::fillList(const std::string& folder)
{
    std::vector<catalog::ListEntry> items = catalog::FillCDList(folder);
    catalog::SortBoxesFirst(items);
    m_list->setItems(items);
}

void Tmainform::refreshLibrary()
{
    resolveLibrary();
    loadBoxTree();
    m_boxTree->setCurrentItem(m_boxTree->topLevelItem(0));
    if (selectedNode() == m_boxTree->topLevelItem(0)) {
        TVstyleChange();
    }
}

void Tmainform::showDetails()
{
    QTreeWidgetItem* node = selectedNode();
    const int kind = nodeKind(node);
    using namespace catalog::BoxNode;
    std::string text;
    if (kind == LibraryRoot || kind == Box || kind == ResultsFolder) {
        const bool results = kind == ResultsFolder;
        const auto counts = catalog::CountBoxEntries(
            boxFolder(), results ? catalog::CountMode::Results : catalog::CountMode::Records, true);
        text = catalog::CountsText(
            results ? catalog::CountText::DetailsResults : catalog::CountText::DetailsBox, counts);
    } else if (kind == Category) {
        const std::string fin =
            catalog::FindRecordFile(boxFolder(), gbkOf(node), catalog::RecordKind::Fin);
        if (fin.empty()) {
            text = "查不到属性!";
        } else {
            const std::string finText = catalog::ReadWholeFile(fin);
            for (const auto line : catalog::SplitLines(finText)) {
                text += catalog::gbkToUtf8(line) + "\r";
            }
        }
    } else if (kind == LocalDrives) {
        text = "共有 " + catalog::decimal(m_list->count()) + " 个光驱!";
    } else {
        return;
    }
    m_services.dialogs.message(text, MessageIcon::Information);
}

void Tmainform::expandAll()
{
    if (QTreeWidgetItem* node = selectedNode()) {
        m_boxTree->expandRecursively(m_boxTree->indexFromItem(node));
    }
}

void Tmainform::collapseAll()
{
    QTreeWidgetItem* node = selectedNode();
    if (node == nullptr) {
        return;
    }
    std::vector<QTreeWidgetItem*> pending{node};
    while (!pending.empty()) {
        QTreeWidgetItem* item = pending.back();
        pending.pop_back();
        item->setExpanded(false);
        for (int i = 0; i < item->childCount(); ++i) {
            pending.push_back(item->child(i));
        }
    }
}

void Tmainform::boxTreeContextMenu(const QPoint& pos)
{
    QTreeWidgetItem* node = m_boxTree->itemAt(pos);
    if (node == nullptr) {
        return;
    }
    m_boxTree->setCurrentItem(node);
    const int kind = nodeKind(node);
    using namespace catalog::BoxNode;
    auto items = m_boxTreeMenu->actions();
    items.removeOne(m_importCatalogue);
    const bool rootOrBox = kind == LibraryRoot || kind == Box;
    enableCommand(items[3], kind == Box || kind == ResultsFolder || kind == Category);
    enableCommand(items[4], kind == Box);
    enableCommand(items[5], kind == Box);
    for (const int index : {0, 1, 2}) {
        enableCommand(items[index], rootOrBox);
    }
    enableCommand(m_importCatalogue, rootOrBox);
    m_boxTreeMenu->popup(m_boxTree->viewport()->mapToGlobal(pos));
}

void Tmainform::tvnewcdsClick()
{
    QTreeWidgetItem* parentNode = selectedNode();
    if (parentNode == nullptr) {
        return;
    }
    const auto typed = m_services.dialogs.inputText("新增一个光盘盒", "请输入新增的光盘盒名称", "");
    if (!typed) {
        return;
    }
    const std::string nameGbk = catalog::utf8ToGbk(*typed);
    if (createBox(boxFolder(), nameGbk)) {
        addNewBox(parentNode, nameGbk);
    }
}

// Creates the box folder; false, after saying why where there is something to say, when
// the name is blank, refused or taken, or the folder cannot be made.
bool Tmainform::createBox(const std::string& parentFolder, const std::string& nameGbk)
{
    try {
        switch (catalog::CreateBox(parentFolder, nameGbk)) {
        case catalog::NewBox::Created:
            return true;
        case catalog::NewBox::Dropped:
            return false;
        case catalog::NewBox::Refused:
            m_services.dialogs.message(catalog::NameRefusalMessage(catalog::NameUse::BoxInTree),
                                       MessageIcon::Error);
            return false;
        case catalog::NewBox::Exists:
            m_services.dialogs.message(catalog::BoxExistsMessage(nameGbk), MessageIcon::Error);
            return false;
        }
    } catch (const std::exception& error) {
        m_services.dialogs.message(error.what(), MessageIcon::Error);
    }
    return false;
}

// The new box under its parent node, the parent listed, the box selected in the list.
void Tmainform::addNewBox(QTreeWidgetItem* parentNode, const std::string& nameGbk)
{
    // A box made beside the program is on disk before it is in the tree: one node each.
    if (childNamed(parentNode, nameGbk) == nullptr) {
        parentNode->addChild(new BoxTreeItem(nameGbk, catalog::BoxNode::Box));
    }
    parentNode->setExpanded(true);
    if (selectedNode() == parentNode) {
        TVstyleChange();
    } else {
        m_boxTree->setCurrentItem(parentNode);
    }
    for (int row = 0; row < m_list->count(); ++row) {
        if (m_list->caption(row) == nameGbk && m_list->kind(row) == catalog::ListItem::Box) {
            m_list->selectOnly(row);
            break;
        }
    }
    m_list->relayout();
    m_boxTree->setFocus();
}

void Tmainform::tvfindClick()
{
    const std::string path = boxPath();
    m_findForm->setInitialBoxPath(path);
    m_findForm->clearScope();
    const std::string caption =
        withoutLastBackslash(std::string(catalog::LibraryRootCaption) + "\\" + path);
    m_findForm->addScopeEntry({caption, caption == catalog::LibraryRootCaption
                                            ? search::ScopeKind::Library
                                            : search::ScopeKind::Box});
    showFindForm();
}

bool Tmainform::boxTreeKeyReleased(const QKeyEvent* key)
{
    if (key->isAutoRepeat()) {
        return false;
    }
    using namespace catalog::BoxNode;
    const int kind = nodeKind(selectedNode());
    const bool plain = key->modifiers() == Qt::NoModifier;
    if (key->key() == Qt::Key_Insert && plain && (kind == LibraryRoot || kind == Box)) {
        tvnewcdsClick();
    } else if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
               (key->modifiers() & Qt::AltModifier)) {
        showDetails();
    } else if (key->key() == Qt::Key_Delete && plain && m_tvDelete->isEnabled()) {
        tvdelClick();
    } else if (key->key() == Qt::Key_F2 && plain && m_tvRename->isEnabled()) {
        tvtbrenClick();
    } else {
        return false;
    }
    return true;
}

} // namespace app
