// The CD content pane: the shown CD's folder tree and the descriptions of its nodes.

#include "app/mainunit_shared.h"

namespace app {

QWidget* Tmainform::buildContentPane()
{
    QVBoxLayout* layout = nullptr;
    m_panels[6] = makePane(QStringLiteral("Panel6"), layout);

    m_pathLine = new QLabel(m_panels[6]);
    m_pathLine->setObjectName(QStringLiteral("Panel7"));
    m_pathLine->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_pathLine->setFrameShape(QFrame::StyledPanel);
    m_panels[7] = m_pathLine;
    layout->addWidget(m_pathLine);

    m_contentModel = new RecordTreeModel(this);
    m_contentTree = new QTreeView(m_panels[6]);
    m_contentTree->setObjectName(QStringLiteral("tvcd"));
    m_contentTree->setModel(m_contentModel);
    m_contentTree->setHeaderHidden(true);
    m_contentTree->setUniformRowHeights(true);
    m_contentTree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_contentTree->setSelectionMode(QAbstractItemView::SingleSelection);
    m_contentTree->setContextMenuPolicy(Qt::CustomContextMenu);
    m_contentTree->setExpandsOnDoubleClick(true);
    connectCommand(m_contentTree->selectionModel(), &QItemSelectionModel::currentChanged,
                   &Tmainform::contentNodeChanged);
    connect(m_contentTree, &QTreeView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid() &&
            m_contentModel->data(index, RecordTreeModel::ImageRole).toInt() > 2) {
            runCommand([this] { openNode(); });
        }
    });
    connectCommand(m_contentTree, &QWidget::customContextMenuRequested,
                   &Tmainform::contentTreeContextMenu);
    layout->addWidget(m_contentTree, 1);

    m_statusBar5 = new PanelBar(QStringLiteral("StatusBar5"), {}, m_panels[6]);
    layout->addWidget(m_statusBar5);
    m_statusBar2 = new PanelBar(QStringLiteral("StatusBar2"), {220}, m_panels[6]);
    layout->addWidget(m_statusBar2);
    return m_panels[6];
}

void Tmainform::buildContentMenu()
{
    m_contentMenu = new QMenu(this);
    m_contentMenu->setObjectName(QStringLiteral("PopupMenu3"));
    const QString texts[] = {
        QStringLiteral("打开文件夹或执行程序"),
        QStringLiteral("查找(Ctrl+F)"),
        QStringLiteral("查找下一个(Ctrl+Z)"),
        QStringLiteral("定位到有描述的节点(Ctrl+L)"),
        QStringLiteral("描述该文件夹或文件(Ctrl+Enter)"),
        QStringLiteral("删除节点(Del)"),
        QStringLiteral("重命名节点(F2)"),
        QStringLiteral("打印全部节点(Ctrl+P)..."),
        QStringLiteral("输出为文本文件..."),
        QStringLiteral("输出为HTML文档..."),
        QStringLiteral("全部展开"),
        QStringLiteral("全部折叠"),
        QStringLiteral("复制完整路径到剪贴板(Ctrl+C)"),
    };
    for (const QString& text : texts) {
        addMenuAction(m_contentMenu, text)->setEnabled(false);
    }
    m_contentMenu->setDefaultAction(m_contentMenu->actions().front());
    const auto items = m_contentMenu->actions();
    items[5]->setObjectName(QStringLiteral("tvcddel"));
    items[6]->setObjectName(QStringLiteral("tvcdren"));
    items[7]->setObjectName(QStringLiteral("N17"));
    items[8]->setObjectName(QStringLiteral("N19"));
    items[9]->setObjectName(QStringLiteral("HTML1"));
    connectCommand(items[0], &QAction::triggered, &Tmainform::openNode);
    connectCommand(items[1], &QAction::triggered, &Tmainform::tvcdfindClick);
    connectCommand(items[2], &QAction::triggered, &Tmainform::tvcdfindnextClick);
    connectCommand(items[3], &QAction::triggered, &Tmainform::tvcdLocMXClick);
    connectCommand(items[4], &QAction::triggered, &Tmainform::describeNode);
    connectCommand(items[5], &QAction::triggered, &Tmainform::tvcddelClick);
    connectCommand(items[6], &QAction::triggered, &Tmainform::tvcdrenClick);
    connectCommand(items[7], &QAction::triggered, &Tmainform::N17Click);
    connectCommand(items[8], &QAction::triggered, &Tmainform::N19Click);
    connectCommand(items[9], &QAction::triggered, &Tmainform::HTML1Click);
    connectCommand(items[12], &QAction::triggered, &Tmainform::copyPath);
    for (const int index : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}) {
        m_available.insert(items[index]);
        items[index]->setEnabled(true);
    }
    connect(items[10], &QAction::triggered, this,
            [this] { m_contentTree->expandRecursively(m_contentTree->currentIndex()); });
    connect(items[11], &QAction::triggered, this, [this] {
        const QModelIndex node = m_contentTree->currentIndex();
        // Collapsing a node hides its branch; the nodes below keep their state otherwise.
        std::vector<QModelIndex> pending{node};
        while (!pending.empty()) {
            const QModelIndex index = pending.back();
            pending.pop_back();
            if (!m_contentTree->isExpanded(index)) {
                continue;
            }
            m_contentTree->collapse(index);
            for (int row = 0; row < m_contentModel->rowCount(index); ++row) {
                pending.push_back(m_contentModel->index(row, 0, index));
            }
        }
    });
}

void Tmainform::contentTreeContextMenu(const QPoint& pos)
{
    const QModelIndex node = m_contentTree->indexAt(pos);
    if (!node.isValid()) {
        return;
    }
    m_contentTree->setCurrentIndex(node);
    const auto items = m_contentMenu->actions();
    const bool foundFolder = m_list->kind(m_list->selectedRow()) == catalog::ListItem::FoundFolder;
    enableCommand(items[2], !m_findTextGbk.empty());
    enableCommand(items[5], !foundFolder);
    enableCommand(items[6], !foundFolder);
    m_contentMenu->popup(m_contentTree->viewport()->mapToGlobal(pos));
}

catalog::NodeId Tmainform::selectedContentNode() const
{
    return m_contentModel->nodeOf(m_contentTree->currentIndex());
}

std::string Tmainform::contentRootLine() const
{
    const auto& tree = m_contentModel->tree();
    return tree.empty() ? std::string() : tree.text(tree.first());
}

void Tmainform::contentNodeChanged()
{
    const catalog::NodeId node = selectedContentNode();
    if (m_list->selectedRow() < 0 || node == catalog::NoNode) {
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const auto& tree = m_contentModel->tree();
    const std::string path = catalog::NodePath(tree, node);
    if (const std::string* note = m_nodeNotes.lookUp(path)) {
        m_statusBar5->setPanelText(0, QStringLiteral("描述: ") + ui::fromGbk(*note));
    } else {
        m_statusBar5->setPanelText(0, QStringLiteral("该文件夹或文件无描述"));
    }
    std::string shown = contentRootLine().substr(0, 3) + path;
    if (tree.image(node) > catalog::IconClass::OpenFolder) {
        shown = withoutLastBackslash(shown);
    }
    m_pathLine->setText(ui::fromGbk(shown));

    const auto& children = tree.children(node);
    QString counts;
    if (children.size() > 196) {
        counts = QStringLiteral("该目录下有%1个子项目").arg(children.size());
    } else if (!children.empty()) {
        const auto folders =
            std::count_if(children.begin(), children.end(), [&](catalog::NodeId child) {
                return tree.image(child) == catalog::IconClass::Folder;
            });
        counts = QStringLiteral("该目录下有%1个子文件夹,%2个文件")
                     .arg(folders)
                     .arg(static_cast<long long>(children.size()) - folders);
    }
    m_statusBar2->setPanelText(1, counts);
    QApplication::restoreOverrideCursor();
}

void Tmainform::describeNode()
{
    const catalog::NodeId node = selectedContentNode();
    if (node == catalog::NoNode || m_shownFiles.folder.empty()) {
        return;
    }
    const std::string current = ui::toGbk(m_statusBar5->panelText(0));
    const std::string marker = catalog::utf8ToGbk("描述: ");
    const std::string proposed = current.compare(0, marker.size(), marker) == 0
                                     ? current.substr(marker.size())
                                     : std::string();
    const auto& tree = m_contentModel->tree();
    const auto typed = m_services.dialogs.inputText(
        "描述", "请输入 \"" + catalog::gbkToUtf8(tree.text(node)) + "\" 的描述",
        catalog::gbkToUtf8(proposed));
    if (!typed || catalog::trimBlanks(*typed).empty()) {
        return;
    }
    const std::string textGbk = catalog::utf8ToGbk(*typed);
    const std::string pathGbk = catalog::NodePath(tree, node);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        // Read again under the lock: a description written meanwhile elsewhere stays.
        m_nodeNotes = catalog::UpdateNodeNotes(
            m_shownFiles, [&](catalog::NodeNotes& notes) { notes.set(pathGbk, textGbk); });
    } catch (const std::exception& error) {
        QApplication::restoreOverrideCursor();
        m_services.dialogs.message(error.what(), MessageIcon::Error);
        return;
    }
    QApplication::restoreOverrideCursor();
    m_statusBar5->setPanelText(0, QStringLiteral("描述: ") + ui::fromGbk(textGbk));
    m_statusBar4->setPanelText(0, QStringLiteral("这张光盘的子文件夹中有描述"));
}

void Tmainform::openNode()
{
    const catalog::NodeId node = selectedContentNode();
    const std::string root = contentRootLine();
    if (node == catalog::NoNode || root.empty()) {
        return;
    }
    const auto& tree = m_contentModel->tree();
    const std::string drive = root.substr(0, 2);
    // The disc's files are reached through its drive's mount point or folder.
    std::optional<std::string> mount = m_services.drives.mountPoint(root.front());
    platform::OpenResult result = platform::OpenResult::NotFound;
    if (mount) {
        std::string relative =
            catalog::gbkToUtf8(withoutLastBackslash(catalog::NodePath(tree, node)));
        std::replace(relative.begin(), relative.end(), '\\', '/');
        result = m_services.shell.open(*mount + relative);
    }
    const std::string caption = catalog::gbkToUtf8(
        m_list->selectedRow() >= 0 ? m_list->caption(m_list->selectedRow()) : std::string());
    std::string report;
    if (result == platform::OpenResult::NotFound) {
        report = m_quietMode
                     ? "光盘没有放到 " + catalog::gbkToUtf8(drive) + " 驱中!"
                     : "光盘 " + caption + " 没有放到 " + catalog::gbkToUtf8(drive) + " 驱中!";
    } else if (result == platform::OpenResult::NoApplication) {
        report = "没有应用程序关联于 " + catalog::gbkToUtf8(tree.text(node));
    } else {
        return;
    }
    if (m_quietMode) {
        m_statusBar2->setPanelText(1, utf8(report));
    } else {
        m_services.dialogs.message(report, MessageIcon::Warning);
    }
}

void Tmainform::copyPath()
{
    if (!m_pathLine->text().isEmpty()) {
        QGuiApplication::clipboard()->setText(m_pathLine->text());
    }
}

// Leaving the description memo with changes asks whether to keep them.
void Tmainform::leaveDescription()
{
    if (m_description->isReadOnly() || m_shownFiles.folder.empty()) {
        return;
    }
    const QString text = m_description->toPlainText();
    if (text == m_savedDescription) {
        return;
    }
    const std::string caption = m_list->selectedRow() >= 0
                                    ? catalog::gbkToUtf8(m_list->caption(m_list->selectedRow()))
                                    : "";
    if (!m_services.dialogs.ask(caption + " 已被修改!  是否要保存？", MessageIcon::Question)) {
        return;
    }
    try {
        catalog::WriteDescription(m_shownFiles, memoFileText(text));
        m_savedDescription = text;
    } catch (const std::exception& error) {
        m_services.dialogs.message(error.what(), MessageIcon::Error);
    }
}

// Keys with Control or Alt act on the press, which carries the modifiers held with the
// key: a quick stroke lets Control go before the key itself comes up.
bool Tmainform::contentKeyPressed(const QKeyEvent* key)
{
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    void (Tmainform::*command)() = nullptr;
    if (enter && (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        command = &Tmainform::describeNode;
    } else if (key->modifiers() != Qt::ControlModifier) {
        return false;
    } else if (key->key() == Qt::Key_C) {
        command = &Tmainform::copyPath;
    } else if (key->key() == Qt::Key_F) {
        command = &Tmainform::tvcdfindClick;
    } else if (key->key() == Qt::Key_L) {
        command = &Tmainform::tvcdLocMXClick;
    } else if (key->key() == Qt::Key_P) {
        command = &Tmainform::N17Click;
    } else if (key->key() == Qt::Key_Z) {
        command = m_findTextGbk.empty() ? nullptr : &Tmainform::tvcdfindnextClick;
    } else {
        return false;
    }
    // A held key repeats its press: the command runs once.
    const bool treeEmpty = m_contentModel->tree().empty();
    if (command != nullptr && !key->isAutoRepeat() &&
        (!treeEmpty || command == &Tmainform::copyPath)) {
        (this->*command)();
    }
    return true;
}

void Tmainform::contentKeyReleased(const QKeyEvent* key)
{
    if (m_contentModel->tree().empty() || key->modifiers() != Qt::NoModifier) {
        return;
    }
    if (key->key() == Qt::Key_Delete) {
        tvcddelClick();
    } else if (key->key() == Qt::Key_F2) {
        tvcdrenClick();
    }
}

void Tmainform::selectContentNode(catalog::NodeId node)
{
    const QModelIndex index = m_contentModel->indexOf(node);
    m_contentTree->setCurrentIndex(index);
    m_contentTree->scrollTo(index);
}

// Selects the first node from index `first` on whose name holds the find text.
bool Tmainform::findNodeFrom(int first)
{
    const auto order = m_contentModel->tree().indexOrder();
    for (int i = std::max(first, 1); i < static_cast<int>(order.size()); ++i) {
        if (catalog::containsNoCase(m_contentModel->tree().text(order[i]), m_findTextGbk)) {
            m_findPosition = i;
            selectContentNode(order[i]);
            return true;
        }
    }
    m_findPosition = 0;
    return false;
}

void Tmainform::tvcdfindClick()
{
    const auto typed = m_services.dialogs.inputText("查找", "请输入要查找的文字",
                                                    catalog::gbkToUtf8(m_findTextGbk));
    if (!typed) {
        return;
    }
    m_findTextGbk = catalog::utf8ToGbk(*typed);
    if (m_findTextGbk.empty()) {
        return;
    }
    if (!findNodeFrom(1)) {
        m_services.dialogs.message("没有找到字串　“" + *typed + "”", MessageIcon::Warning);
    }
}

void Tmainform::tvcdfindnextClick()
{
    if (m_findPosition >= static_cast<int>(m_contentModel->tree().size())) {
        m_findPosition = 0;
    }
    if (!findNodeFrom(m_findPosition + 1)) {
        m_services.dialogs.message("查找 \"" + catalog::gbkToUtf8(m_findTextGbk) +
                                       "\" 已到文件末了！",
                                   MessageIcon::Warning);
    }
}

void Tmainform::tvcdLocMXClick()
{
    const auto& lines = m_nodeNotes.lines();
    if (lines.empty()) {
        m_services.dialogs.message("该张光盘里没有 有描述的文件夹或文件!", MessageIcon::Warning);
        return;
    }
    search::TLocForm::Entries entries;
    for (std::size_t i = 1; i < lines.size(); i += 2) {
        entries.emplace_back(lines[i - 1], lines[i]);
    }
    m_locForm->setEntries(entries);
    m_locForm->exec();
    if (m_locForm->modified()) {
        const auto shown = m_nodeNotes.pairs();
        entries = m_locForm->entries();
        QApplication::setOverrideCursor(Qt::WaitCursor);
        try {
            // The dialog's list replaces what it showed; pairs written meanwhile elsewhere
            // are kept after it.
            m_nodeNotes = catalog::UpdateNodeNotes(m_shownFiles, [&](catalog::NodeNotes& notes) {
                auto merged = entries;
                for (const auto& pair : notes.pairs()) {
                    if (std::find(shown.begin(), shown.end(), pair) == shown.end()) {
                        merged.push_back(pair);
                    }
                }
                notes = catalog::NodeNotes::fromPairs(merged);
            });
        } catch (const std::exception& error) {
            QApplication::restoreOverrideCursor();
            m_services.dialogs.message(error.what(), MessageIcon::Error);
            return;
        }
        QApplication::restoreOverrideCursor();
        if (m_nodeNotes.lines().empty()) {
            m_statusBar4->setPanelText(0, QStringLiteral("这张光盘的子文件中无描述"));
        }
    }
    if (!m_locForm->locate()) {
        return;
    }
    const int index = m_locForm->selectedIndex();
    const auto& notes = m_nodeNotes.lines();
    const std::size_t pathLine = static_cast<std::size_t>(std::max(index, 0)) * 2;
    const catalog::NodeId node =
        index < 0 || pathLine >= notes.size()
            ? catalog::NoNode
            : catalog::FindNodeByPath(m_contentModel->tree(), notes[pathLine]);
    if (node == catalog::NoNode) {
        m_services.dialogs.message("定位不到该描述指向的节点！可能这个节点被删除了！",
                                   MessageIcon::Error);
        return;
    }
    selectContentNode(node);
}

} // namespace app
