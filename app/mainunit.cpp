#include "app/mainunit.h"

#include "app/AboutUnit.h"
#include "app/cd_list_view.h"
#include "app/gbk_text.h"
#include "app/icons.h"
#include "app/info_panel.h"
#include "app/panel_bar.h"
#include "app/record_tree_model.h"
#include "catalog/box_tree.h"
#include "catalog/collation.h"
#include "catalog/identify.h"
#include "catalog/library.h"
#include "catalog/text.h"
#include "platform/drives.h"
#include "platform/settings_store.h"
#include "platform/shell.h"
#include "platform/user_dialogs.h"
#include "scan/CDMxUnit.h"
#include "scan/NewCDUnit.h"
#include "scan/NewCDsUnit.h"
#include "search/FindUnit.h"
#include "search/LocUnit.h"
#include "search/engine.h"
#include "search/results.h"

#include <QAbstractButton>
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <unistd.h>

#include <algorithm>

namespace app {
namespace {

constexpr int GbkRole = Qt::UserRole;
constexpr int KindRole = Qt::UserRole + 1;
constexpr int SortKeyRole = Qt::UserRole + 2;

constexpr std::string_view StateKey = "software\\Vellumark\\state";
constexpr std::string_view ViewStyleValue = "排列方式";

using platform::MessageIcon;

// Box tree items sort by the collation key of their GBK text, so 0xFF names come last.
class BoxTreeItem : public QTreeWidgetItem
{
public:
    BoxTreeItem(const std::string& textGbk, int kind)
    {
        setText(0, fromGbk(textGbk));
        setData(0, GbkRole, QByteArray::fromStdString(textGbk));
        setData(0, KindRole, kind);
        setData(0, SortKeyRole, QByteArray::fromStdString(catalog::captionSortKey(textGbk)));
        setIcon(0, boxTreeIcon(kind));
    }
    bool operator<(const QTreeWidgetItem& other) const override
    {
        return data(0, SortKeyRole).toByteArray() < other.data(0, SortKeyRole).toByteArray();
    }
};

std::string gbkOf(const QTreeWidgetItem* item)
{
    return item->data(0, GbkRole).toByteArray().toStdString();
}

// The child whose text is exactly these bytes, or null.
QTreeWidgetItem* childNamed(const QTreeWidgetItem* parent, const std::string& nameGbk)
{
    for (int i = 0; i < parent->childCount(); ++i) {
        if (gbkOf(parent->child(i)) == nameGbk) {
            return parent->child(i);
        }
    }
    return nullptr;
}

QString utf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string withoutLastBackslash(std::string path)
{
    if (!path.empty() && path.back() == '\\') {
        path.pop_back();
    }
    return path;
}

// A pane of the window: a named widget whose children stand in one column.
QWidget* makePane(const QString& name, QVBoxLayout*& layout)
{
    auto* pane = new QWidget;
    pane->setObjectName(name);
    layout = new QVBoxLayout(pane);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    return pane;
}

// A memo's text as its file holds it: each line in GBK followed by CR LF (a final line
// break ends the last line rather than adding an empty one).
std::string memoFileText(const QString& text)
{
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.back().isEmpty()) {
        lines.removeLast();
    }
    std::vector<std::string> gbkLines;
    for (const QString& line : lines) {
        gbkLines.push_back(toGbk(line));
    }
    return catalog::JoinLines(gbkLines);
}

// A command button of a pane's toolbar, off until the pane's state turns it on.
QAction* addTool(QToolBar* toolBar, const char* name, Command icon, const QString& hint)
{
    QAction* action = toolBar->addAction(commandIcon(icon), hint);
    action->setObjectName(QString::fromLatin1(name));
    action->setToolTip(hint);
    action->setEnabled(false);
    return action;
}

QAction* addMenuAction(QMenu* menu, const QString& text)
{
    return menu->addAction(text);
}

} // namespace

// ---------------------------------------------------------------- commands

void Tmainform::runCommand(const std::function<void()>& work)
{
    try {
        work();
    } catch (const std::exception& error) {
        reportFailure(error);
    }
}

void Tmainform::reportFailure(const std::exception& error)
{
    while (QApplication::overrideCursor() != nullptr) {
        QApplication::restoreOverrideCursor();
    }
    m_services.dialogs.message(error.what(), MessageIcon::Error);
}

template <typename Sender, typename Signal, typename... Args>
void Tmainform::connectCommand(Sender* sender, Signal signal, void (Tmainform::*handler)(Args...))
{
    connect(sender, signal, this,
            [this, handler](Args... args) { runCommand([&] { (this->*handler)(args...); }); });
}

Tmainform::Tmainform(MainServices services, QWidget* parent)
    : QMainWindow(parent), m_services(std::move(services))
{
    setObjectName(QStringLiteral("Tmainform"));
    setWindowTitle(QStringLiteral("Vellumark 1.32"));
    setWindowIcon(applicationIcon());

    buildActions();
    buildMainToolBar();

    m_mainSplitter = new QSplitter(Qt::Horizontal, this);
    m_mainSplitter->setObjectName(QStringLiteral("mainSplitter"));
    m_mainSplitter->addWidget(buildBoxTreePane());

    m_panels[2] = new QWidget(m_mainSplitter);
    m_panels[2]->setObjectName(QStringLiteral("Panel2"));
    auto* rightLayout = new QVBoxLayout(m_panels[2]);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    m_rightSplitter = new QSplitter(Qt::Vertical, m_panels[2]);
    rightLayout->addWidget(m_rightSplitter);

    m_panels[3] = new QWidget(m_rightSplitter);
    m_panels[3]->setObjectName(QStringLiteral("Panel3"));
    m_panels[3]->setMinimumHeight(200);
    auto* upperLayout = new QVBoxLayout(m_panels[3]);
    upperLayout->setContentsMargins(0, 0, 0, 0);
    m_upperSplitter = new QSplitter(Qt::Horizontal, m_panels[3]);
    upperLayout->addWidget(m_upperSplitter);
    m_upperSplitter->addWidget(buildListPane());
    m_upperSplitter->addWidget(buildContentPane());
    m_rightSplitter->addWidget(m_panels[3]);
    m_rightSplitter->addWidget(buildPagesPane());
    m_mainSplitter->addWidget(m_panels[2]);
    m_mainSplitter->setStretchFactor(1, 1);
    m_rightSplitter->setStretchFactor(0, 1);
    m_upperSplitter->setStretchFactor(1, 1);
    setCentralWidget(m_mainSplitter);
    resize(1200, 800);

    m_newCdForm =
        new scan::TNewCDForm(m_services.drives, m_services.settings, m_services.dialogs, this);
    m_cdMxForm = new scan::TCDMxForm(this);
    m_newBoxForm = new scan::TNewCDsForm(this);
    m_findForm = new search::TFindForm(m_services.dialogs, m_services.clock, this);
    m_locForm = new search::TLocForm(this);
    m_locForm->setDialogs(&m_services.dialogs);

    buildDriveMenus();
    buildBoxTreeMenu();
    buildListMenu();
    buildContentMenu();

    m_pages->setTabVisible(0, false);
    m_pages->setTabVisible(1, false);
    m_pages->setTabVisible(2, false);
    m_infoPanel->ClearInfoPanel();

    readSettings();
    if (m_saveLayoutOnExit) {
        restoreLayout();
    }
    m_libraryRoot = catalog::ResolveLibraryRoot(m_services.settings, m_services.defaultLibraryRoot);
    loadBoxTree();
    m_boxTree->setCurrentItem(m_boxTree->topLevelItem(0));
    setWindowState(windowState() | Qt::WindowMaximized);
    // One filter for the whole application: the keys and focus changes of the panes and
    // Enter for the information page all pass through it.
    qApp->installEventFilter(this);
}

// ---------------------------------------------------------------- construction

void Tmainform::buildActions()
{
    const auto make = [this](const char* objectName, Command icon, const QString& text,
                             const QString& hint, const QKeySequence& key = {}) {
        auto* action = new QAction(commandIcon(icon), text, this);
        action->setObjectName(QString::fromLatin1(objectName));
        action->setToolTip(hint);
        action->setStatusTip(hint);
        if (!key.isEmpty()) {
            action->setShortcut(key);
            action->setShortcutContext(Qt::ApplicationShortcut);
        }
        action->setEnabled(false);
        return action;
    };
    m_findAction = make("TopFind", Command::Find, QStringLiteral("查找F3"),
                        QStringLiteral("查找(F3)"), Qt::Key_F3);
    m_refreshAction = make("TopRefresh", Command::Refresh, QStringLiteral("刷新F5"),
                           QStringLiteral("刷新(F5)"), Qt::Key_F5);
    m_clearAction = make("TopClear", Command::ClearEmptyBoxes, QStringLiteral("清扫F4"),
                         QStringLiteral("清除空的光盘盒"), Qt::Key_F4);
    m_newCdAction =
        make("TopNewCD", Command::NewCd, QStringLiteral("新增"),
             QStringLiteral("新增一张光盘(Ctrl+N)"), QKeySequence(Qt::CTRL | Qt::Key_N));
    m_newBoxAction =
        make("TopNewBox", Command::NewBox, QStringLiteral("新增"),
             QStringLiteral("新增一个光盘盒(Ctrl+B)"), QKeySequence(Qt::CTRL | Qt::Key_B));
    m_importAction = make("TopImport", Command::Import, QStringLiteral("导入F6"),
                          QStringLiteral("导入光盘"), Qt::Key_F6);
    m_backupAction =
        make("TopBackup", Command::Backup, QStringLiteral("备份"), QStringLiteral("备份光盘"));
    m_outputAction =
        make("TopOutput", Command::Output, QStringLiteral("输出"), QStringLiteral("批量输出光盘"));
    m_reIconAction = make("TopReIcon", Command::RebuildIcons, QStringLiteral("校验"),
                          QStringLiteral("重建图标索引"));
    m_setupAction = make("TopSetup", Command::Settings, QStringLiteral("设置F9"),
                         QStringLiteral("设置 Orlendy(F9)..."), Qt::Key_F9);
    m_aboutAction = make("TopAbout", Command::About, QStringLiteral("关于F1"),
                         QStringLiteral("关于 Orlendy(F1)..."), Qt::Key_F1);
    m_exitAction = make("TopExit", Command::Exit, QStringLiteral("退出F10"),
                        QStringLiteral("退出系统(F10)"), Qt::Key_F10);
    for (QAction* built : {m_refreshAction, m_aboutAction, m_exitAction, m_newCdAction,
                           m_newBoxAction, m_findAction}) {
        m_available.insert(built);
        built->setEnabled(true);
    }
    connectCommand(m_refreshAction, &QAction::triggered, &Tmainform::refreshLibrary);
    connect(m_exitAction, &QAction::triggered, this, &QWidget::close);
    connectCommand(m_newCdAction, &QAction::triggered, &Tmainform::TopNewCDClick);
    connectCommand(m_newBoxAction, &QAction::triggered, &Tmainform::TopNewCDSClick);
    connectCommand(m_findAction, &QAction::triggered, &Tmainform::topfindClick);
    connect(m_aboutAction, &QAction::triggered, this, [this] {
        TAboutForm about(this);
        about.exec();
    });
}

void Tmainform::buildMainToolBar()
{
    QToolBar* toolBar = addToolBar(QStringLiteral("ToolBar1"));
    toolBar->setObjectName(QStringLiteral("ToolBar1"));
    toolBar->setMovable(false);
    toolBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    for (QAction* action : {m_findAction, m_refreshAction, m_clearAction, m_newCdAction,
                            m_newBoxAction, m_importAction, m_backupAction, m_outputAction,
                            m_reIconAction, m_setupAction, m_aboutAction, m_exitAction}) {
        toolBar->addAction(action);
    }
}

QWidget* Tmainform::buildBoxTreePane()
{
    QVBoxLayout* layout = nullptr;
    m_panels[1] = makePane(QStringLiteral("Panel1"), layout);
    m_panels[1]->setMinimumWidth(150);

    auto* toolBar = new QToolBar(QStringLiteral("ToolBar3"), m_panels[1]);
    toolBar->setObjectName(QStringLiteral("ToolBar3"));
    m_tvDelete = addTool(toolBar, "tvtbdel", Command::Delete, QStringLiteral("删除光盘盒(Del)"));
    m_tvMove = addTool(toolBar, "tvtbmove", Command::Move, QStringLiteral("移动/复制 光盘盒..."));
    m_tvRename = addTool(toolBar, "tvtbren", Command::Rename, QStringLiteral("重命名光盘盒(F2)"));
    toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    const auto doorButton = [toolBar](const char* name, Command icon, const QString& text,
                                      const QString& hint) {
        auto* button = new QToolButton(toolBar);
        button->setObjectName(QString::fromLatin1(name));
        button->setIcon(commandIcon(icon));
        button->setText(text);
        button->setToolTip(hint);
        button->setPopupMode(QToolButton::MenuButtonPopup);
        toolBar->addWidget(button);
        return button;
    };
    m_ejectButton = doorButton("ejectcd", Command::OpenDoors, QStringLiteral("弹出"),
                               QStringLiteral("弹出所有光驱"));
    m_closeButton = doorButton("closecd", Command::CloseDoors, QStringLiteral("合上"),
                               QStringLiteral("合上所有光驱"));
    layout->addWidget(toolBar);

    m_boxTree = new QTreeWidget(m_panels[1]);
    m_boxTree->setObjectName(QStringLiteral("TVstyle"));
    m_boxTree->setHeaderHidden(true);
    m_boxTree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_boxTree->setSelectionMode(QAbstractItemView::SingleSelection);
    m_boxTree->setContextMenuPolicy(Qt::CustomContextMenu);
    connectCommand(m_boxTree, &QTreeWidget::itemSelectionChanged, &Tmainform::TVstyleChange);
    connectCommand(m_boxTree, &QWidget::customContextMenuRequested, &Tmainform::boxTreeContextMenu);
    layout->addWidget(m_boxTree, 1);

    m_statusBar1 = new PanelBar(QStringLiteral("StatusBar1"), {}, m_panels[1]);
    layout->addWidget(m_statusBar1);
    return m_panels[1];
}

QWidget* Tmainform::buildListPane()
{
    QVBoxLayout* layout = nullptr;
    m_panels[5] = makePane(QStringLiteral("Panel5"), layout);
    m_panels[5]->setMinimumWidth(150);

    auto* toolBar = new QToolBar(QStringLiteral("ToolBar2"), m_panels[5]);
    toolBar->setObjectName(QStringLiteral("ToolBar2"));
    m_lvUp = addTool(toolBar, "lvtbup", Command::Up, QStringLiteral("向上一层"));
    m_available.insert(m_lvUp);
    m_lvDelete = addTool(toolBar, "lvtbdel", Command::Delete, QStringLiteral("删除选定项(Del)"));
    m_lvMove = addTool(toolBar, "lvtbmove", Command::Move, QStringLiteral("移动/复制选定项 到..."));
    m_lvRename = addTool(toolBar, "lvtbren", Command::Rename, QStringLiteral("重命名(F2)"));
    toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    toolBar->addSeparator();
    m_viewStyles = new QActionGroup(this);
    m_viewStyles->setExclusive(true);
    const char* styleNames[4] = {"icon", "sicon", "list", "report"};
    const QString styleTexts[4] = {QStringLiteral("大图标"), QStringLiteral("小图标"),
                                   QStringLiteral("列表"), QStringLiteral("详细资料")};
    const Command styleIcons[4] = {Command::LargeIcons, Command::SmallIcons, Command::List,
                                   Command::Details};
    for (int i = 0; i < 4; ++i) {
        QAction* action = toolBar->addAction(commandIcon(styleIcons[i]), styleTexts[i]);
        action->setObjectName(QString::fromLatin1(styleNames[i]));
        action->setCheckable(true);
        m_viewStyles->addAction(action);
        m_styleActions[i] = action;
        connect(action, &QAction::triggered, this,
                [this, i] { m_list->setViewStyle(static_cast<CdListView::ViewStyle>(i + 1)); });
    }
    m_styleActions[3]->setChecked(true);
    connectCommand(m_lvUp, &QAction::triggered, &Tmainform::goUp);
    layout->addWidget(toolBar);

    m_list = new CdListView(m_panels[5]);
    m_list->setObjectName(QStringLiteral("LVcd"));
    connectCommand(m_list, &CdListView::itemClicked, &Tmainform::LVcdClick);
    connectCommand(m_list, &CdListView::rightButtonPressed, &Tmainform::listRightButton);
    connectCommand(m_list, &CdListView::itemDoubleClicked, &Tmainform::listDoubleClick);
    connectCommand(m_list, &CdListView::keyReleased, &Tmainform::listKeyReleased);
    layout->addWidget(m_list, 1);

    m_statusBar4 = new PanelBar(QStringLiteral("StatusBar4"), {}, m_panels[5]);
    layout->addWidget(m_statusBar4);
    return m_panels[5];
}

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

QWidget* Tmainform::buildPagesPane()
{
    QVBoxLayout* layout = nullptr;
    m_panels[4] = makePane(QStringLiteral("Panel4"), layout);

    m_pages = new QTabWidget(m_panels[4]);
    m_pages->setObjectName(QStringLiteral("PageControl1"));
    m_tabSheet1 = new QWidget(m_pages);
    m_tabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    auto* descriptionLayout = new QVBoxLayout(m_tabSheet1);
    m_description = new QPlainTextEdit(m_tabSheet1);
    m_description->setObjectName(QStringLiteral("MX"));
    m_description->setReadOnly(true);
    descriptionLayout->addWidget(m_description);
    m_pages->addTab(m_tabSheet1, QStringLiteral("光盘说明"));

    m_infoPanel = new InfoPanel(m_services.drives, m_services.dialogs, m_services.clock, m_pages);
    m_infoPanel->setObjectName(QStringLiteral("TabSheet2"));
    m_pages->addTab(m_infoPanel, QStringLiteral("光盘信息"));

    m_tabSheet3 = new QWidget(m_pages);
    m_tabSheet3->setObjectName(QStringLiteral("TabSheet3"));
    auto* findLayout = new QVBoxLayout(m_tabSheet3);
    m_findMemo = new QPlainTextEdit(m_tabSheet3);
    m_findMemo->setObjectName(QStringLiteral("findmemo"));
    m_findMemo->setReadOnly(true);
    findLayout->addWidget(m_findMemo);
    m_pages->addTab(m_tabSheet3, QStringLiteral("查找结果说明"));
    layout->addWidget(m_pages, 1);

    m_statusBar3 = new PanelBar(QStringLiteral("StatusBar3"), {420}, m_panels[4]);
    layout->addWidget(m_statusBar3);
    return m_panels[4];
}

void Tmainform::buildDriveMenus()
{
    m_ejectMenu = new QMenu(this);
    m_ejectMenu->setObjectName(QStringLiteral("menucdo"));
    m_closeMenu = new QMenu(this);
    m_closeMenu->setObjectName(QStringLiteral("menucdi"));
    const auto driveMenuItemClick = [this](QAction* item) {
        const QString caption = item->text();
        const char letter = caption.back().toLatin1();
        m_services.drives.setDriveDoor(letter, caption.startsWith(QStringLiteral("弹出")));
    };
    for (const auto& drive : m_services.drives.cdromDrives()) {
        const QChar letter = QLatin1Char(drive.letter);
        m_ejectMenu->addAction(QStringLiteral("弹出光驱 ") + letter);
        m_closeMenu->addAction(QStringLiteral("合上光驱 ") + letter);
    }
    connect(m_ejectMenu, &QMenu::triggered, this, driveMenuItemClick);
    connect(m_closeMenu, &QMenu::triggered, this, driveMenuItemClick);
    m_ejectButton->setMenu(m_ejectMenu);
    m_closeButton->setMenu(m_closeMenu);
    const bool anyDrive = !m_ejectMenu->actions().isEmpty();
    m_ejectButton->setEnabled(anyDrive);
    m_closeButton->setEnabled(anyDrive);
    // Both buttons walk the eject menu, the door command taken from their own kind.
    const auto allDoors = [this](bool open) {
        for (QAction* item : m_ejectMenu->actions()) {
            m_services.drives.setDriveDoor(item->text().back().toLatin1(), open);
        }
    };
    connect(m_ejectButton, &QToolButton::clicked, this, [allDoors] { allDoors(true); });
    connect(m_closeButton, &QToolButton::clicked, this, [allDoors] { allDoors(false); });
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
    const std::pair<int, void (Tmainform::*)()> built[] = {
        {0, &Tmainform::tvfindClick},   {1, &Tmainform::TopNewCDClick},
        {2, &Tmainform::tvnewcdsClick}, {6, &Tmainform::expandAll},
        {7, &Tmainform::collapseAll},   {9, &Tmainform::refreshLibrary},
        {10, &Tmainform::showDetails},
    };
    for (const auto& [index, handler] : built) {
        m_available.insert(items[index]);
        items[index]->setEnabled(true);
        connectCommand(items[index], &QAction::triggered, handler);
    }
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
    connectCommand(items[0], &QAction::triggered, &Tmainform::openNode);
    connectCommand(items[1], &QAction::triggered, &Tmainform::tvcdfindClick);
    connectCommand(items[2], &QAction::triggered, &Tmainform::tvcdfindnextClick);
    connectCommand(items[3], &QAction::triggered, &Tmainform::tvcdLocMXClick);
    connectCommand(items[4], &QAction::triggered, &Tmainform::describeNode);
    connectCommand(items[12], &QAction::triggered, &Tmainform::copyPath);
    for (const int index : {0, 1, 2, 3, 4, 10, 11, 12}) {
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
    enableCommand(m_contentMenu->actions()[2], !m_findTextGbk.empty());
    m_contentMenu->popup(m_contentTree->viewport()->mapToGlobal(pos));
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
    for (const int index : {0, 1, 2, 6, 7, 8}) {
        m_available.insert(items[index]);
        items[index]->setEnabled(true);
    }
    connectCommand(items[0], &QAction::triggered, &Tmainform::lvfindClick);
    connectCommand(items[8], &QAction::triggered, &Tmainform::lvoldplClick);
    connectCommand(items[1], &QAction::triggered, &Tmainform::selectAllItems);
    connectCommand(items[2], &QAction::triggered, &Tmainform::TopNewCDClick);
    connectCommand(items[6], &QAction::triggered, &Tmainform::tvnewcdsClick);
    connect(items[7], &QAction::triggered, this, [this] { m_list->relayout(); });
}

void Tmainform::readSettings()
{
    constexpr std::string_view key = catalog::SoftwareKey;
    m_quietMode = m_services.settings.readInteger(key, "对光盘镜象操作时警示", 1) == 1;
    m_saveLayoutOnExit = m_services.settings.readInteger(key, "退出时保存窗口布局", 1) == 1;
}

// ---------------------------------------------------------------- box tree

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
    m_boxTree->setCurrentItem(node);
    if (selectedNode() != node) {
        node->setSelected(true);
    }
    return true;
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
        setLocation(
            fromGbk(withoutLastBackslash(catalog::utf8ToGbk(" 当前位置:Orlendy\\") + boxPath())));
    }

    using namespace catalog::BoxNode;
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

    bool categoryShown = false;
    if (kind == Category) {
        // A category's description lies inside it, named after it.
        loadFindMemo(boxFolder(), gbkOf(node));
        categoryShown = !catalog::FindRecordFile(boxFolder(), gbkOf(node), ".Fin").empty();
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

void Tmainform::fillList(const std::string& folder)
{
    std::vector<catalog::ListEntry> items = catalog::FillCDList(folder);
    catalog::SortBoxesFirst(items);
    m_list->setItems(items);
}

void Tmainform::refreshLibrary()
{
    m_libraryRoot = catalog::ResolveLibraryRoot(m_services.settings, m_services.defaultLibraryRoot);
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
        const std::string fin = catalog::FindRecordFile(boxFolder(), gbkOf(node), ".fin");
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
    const auto items = m_boxTreeMenu->actions();
    const bool rootOrBox = kind == LibraryRoot || kind == Box;
    enableCommand(items[3], kind == Box || kind == ResultsFolder || kind == Category);
    enableCommand(items[4], kind == Box);
    enableCommand(items[5], kind == Box);
    for (const int index : {0, 1, 2}) {
        enableCommand(items[index], rootOrBox);
    }
    m_boxTreeMenu->popup(m_boxTree->viewport()->mapToGlobal(pos));
}

// ---------------------------------------------------------------- CD list

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
    m_statusBar3->setPanelText(1, fromGbk(captionGbk));
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
        setLocation(
            fromGbk(withoutLastBackslash(catalog::utf8ToGbk(" 当前位置：Orlendy\\") + boxPath())));
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
    enableCommand(m_lvMove, treeKind != BoxNode::ResultsFolder &&
                                treeKind != BoxNode::LocalDrives &&
                                itemKind != ListItem::FoundFolder);
    enableCommand(m_lvRename, selected.size() == 1 &&
                                  (treeKind == BoxNode::LibraryRoot || treeKind == BoxNode::Box));
    const QString caption = fromGbk(m_list->caption(selected.front()));
    if (treeKind == BoxNode::LocalDrives) {
        setLocation(QStringLiteral(" 当前位置: 本地光驱\\") + caption);
    } else {
        setLocation(QStringLiteral(" 当前位置：Orlendy\\") + fromGbk(boxPath()) + caption);
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
        m_statusBar4->setPanelText(0,
                                   fromGbk(caption.substr(0, 4)) + QStringLiteral(" 驱中没有光盘"));
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
    const auto lastBackslash = relative.rfind('\\');
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
    m_contentModel->setTree(std::move(tree));
    if (const QModelIndex first = m_contentModel->index(0, 0); first.isValid()) {
        m_contentTree->expand(first);
    }
    m_contentTree->scrollToTop();
    m_statusBar2->setPanelText(0, utf8(catalog::TotalsText(load.totals)));
    if (!load.tree.ok || !load.tags.ok) {
        m_services.dialogs.message(load.tree.ok ? load.tags.errorUtf8 : load.tree.errorUtf8,
                                   MessageIcon::Error);
        return false;
    }
    return true;
}

void Tmainform::loadDescription(const catalog::RecordRef& record, bool editable)
{
    const std::string text = catalog::ReadDescription(record);
    m_description->setPlainText(fromGbk(text));
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
    const std::string fin = catalog::FindRecordFile(finFolder, nameGbk, ".Fin");
    m_findMemo->setPlainText(fin.empty() ? QString() : fromGbk(catalog::ReadWholeFile(fin)));
}

// Steps shared by a CD record and the target of a found-CD entry: the icon file, the
// tree, the description, the information and the node descriptions.
bool Tmainform::showRecordFiles(const catalog::RecordRef& record, const char* noNotes,
                                const char* hasNotes, int row)
{
    if (catalog::FindRecordFile(record.folder, record.name, ".tag").empty()) {
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
    if (catalog::FindRecordFile(record.folder, record.name, ".Mx").empty()) {
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
    if (catalog::FindRecordFile(record.folder, record.name, ".Cdr").empty()) {
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
    if (catalog::FindRecordFile(record.folder, record.name, ".FID").empty()) {
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
    const std::string pointer = catalog::FindRecordFile(boxFolder(), caption, ".TGT");
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
        m_services.dialogs.message(
            "查找结果指向的文件 " + catalog::gbkToUtf8(caption) + " 不存在！", MessageIcon::Error);
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
        const bool described = !catalog::FindRecordFile(itemFolder, caption, ".Fin").empty();
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
        m_list->setItemIcon(row, driveIcon(present));
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
        enableCommand(items[5], onItem);
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
            enableCommand(items[5], itemKind == ListItem::FoundCd);
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
    if (key == Qt::Key_Backspace) {
        if (m_lvUp->isEnabled()) {
            goUp();
        }
        return;
    }
    if (key == Qt::Key_Insert) {
        if (m_newCdAction->isEnabled()) {
            TopNewCDClick();
        }
        return;
    }
    const bool navigation = key == Qt::Key_PageUp || key == Qt::Key_PageDown ||
                            key == Qt::Key_End || key == Qt::Key_Home || key == Qt::Key_Left ||
                            key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down;
    const bool letter = key >= Qt::Key_A && key <= Qt::Key_Z;
    if (navigation || letter) {
        LVcdClick();
    }
}

// ---------------------------------------------------------------- adding CDs and boxes

void Tmainform::TopNewCDClick()
{
    const int kind = nodeKind(selectedNode());
    const std::string presetBox =
        kind == catalog::BoxNode::LibraryRoot || kind == catalog::BoxNode::Box ? boxPath()
                                                                               : std::string();
    std::vector<char> letters;
    for (const auto& drive : m_services.drives.cdromDrives()) {
        letters.push_back(drive.letter);
    }
    if (letters.empty()) {
        m_services.dialogs.message("你没有光驱，无法加入光盘!", MessageIcon::Error);
        return;
    }
    m_newCdForm->setLibraryRoot(m_libraryRoot);
    m_newCdForm->setPresetBox(presetBox);
    m_newCdForm->setDriveLetters(letters);
    const auto withDisc = std::find_if(letters.begin(), letters.end(), [this](char letter) {
        return m_services.drives.discPresent(letter);
    });
    if (withDisc != letters.end()) {
        m_newCdForm->selectDrive(static_cast<int>(withDisc - letters.begin()));
        m_newCdForm->setCdName(m_services.drives.volumeLabel(*withDisc));
    } else {
        m_newCdForm->selectDrive(0);
    }
    m_newCdForm->exec();
    if (!m_newCdForm->cdAdded()) {
        return;
    }
    const char letter = m_newCdForm->selectedDrive();
    const std::optional<std::uint64_t> capacity = m_services.drives.discTotalSize(letter);
    const std::string targetBox = m_newCdForm->targetBox();
    const std::string nameGbk = m_newCdForm->cdNameGbk();

    QString description = QStringLiteral("光盘 ") + fromGbk(targetBox + nameGbk);
    for (const std::string& line : m_newCdForm->optionLines()) {
        description += QLatin1Char('\n') + utf8(line);
    }
    m_cdMxForm->prepare(description, m_newCdForm->readmeText());
    const bool described = m_cdMxForm->exec() == QDialog::Accepted;
    // The description is written even when the user gives none.
    const catalog::RecordRef record{catalog::LibraryPath(m_libraryRoot, targetBox), nameGbk};
    try {
        catalog::WriteDescription(record,
                                  memoFileText(described ? m_cdMxForm->description() : QString()));
    } catch (const std::exception& error) {
        m_services.dialogs.message(error.what(), MessageIcon::Error);
    }
    if (m_newCdForm->openDoorWhenAdded()) {
        m_services.drives.setDriveDoor(letter, true);
    }
    showNewCd(targetBox, nameGbk);
    // The record gets its information at once, with or without a capacity.
    if (m_hasShownRecord && m_shownFiles.folder == record.folder &&
        m_shownFiles.name == record.name) {
        m_infoPanel->setCapacity(capacity);
        m_infoPanel->save();
    }
}

// The target box listed afresh from disk, so its list and counts include the new CD,
// and the new CD selected and shown.
void Tmainform::showNewCd(const std::string& targetBox, const std::string& nameGbk)
{
    QTreeWidgetItem* box = findNodeByPath(targetBox);
    if (box == nullptr) {
        // A box made beside the program since the tree was loaded.
        refreshLibrary();
        box = findNodeByPath(targetBox);
    }
    if (box != nullptr && box == selectedNode()) {
        TVstyleChange();
    } else {
        selectBoxPath(targetBox);
    }
    m_list->clearSelection();
    for (int row = 0; row < m_list->count(); ++row) {
        if (m_list->caption(row) == nameGbk && m_list->kind(row) == catalog::ListItem::CdRecord) {
            m_list->scrollTo(row);
            m_list->selectOnly(row);
            m_infoPanel->ClearInfoPanel();
            break;
        }
    }
    LVcdClick();
}

void Tmainform::TopNewCDSClick()
{
    const int kind = nodeKind(selectedNode());
    m_newBoxForm->setLibraryRoot(m_libraryRoot);
    m_newBoxForm->setParentPath(
        kind == catalog::BoxNode::LibraryRoot || kind == catalog::BoxNode::Box ? boxPath()
                                                                               : std::string());
    if (m_newBoxForm->exec() != QDialog::Accepted) {
        return;
    }
    const std::string& parentPath = m_newBoxForm->parentPath();
    const std::string nameGbk = m_newBoxForm->nameGbk();
    if (!createBox(catalog::LibraryPath(m_libraryRoot, parentPath), nameGbk)) {
        return;
    }
    if (QTreeWidgetItem* parentNode = findNodeByPath(parentPath)) {
        addNewBox(parentNode, nameGbk);
    }
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

void Tmainform::mediaChanged()
{
    runCommand([this] {
        RefreshDriveItems();
        m_newCdForm->mediaChanged();
    });
}

// ---------------------------------------------------------------- content tree

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
        m_statusBar5->setPanelText(0, QStringLiteral("描述: ") + fromGbk(*note));
    } else {
        m_statusBar5->setPanelText(0, QStringLiteral("该文件夹或文件无描述"));
    }
    std::string shown = contentRootLine().substr(0, 3) + path;
    if (tree.image(node) > catalog::IconClass::OpenFolder) {
        shown = withoutLastBackslash(shown);
    }
    m_pathLine->setText(fromGbk(shown));

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
    const std::string current = toGbk(m_statusBar5->panelText(0));
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
    m_statusBar5->setPanelText(0, QStringLiteral("描述: ") + fromGbk(textGbk));
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

// The tree of a found folder is a search result: its nodes are neither deleted nor renamed.
void Tmainform::refuseFoundFolderEdit(bool deleting)
{
    const int row = m_list->selectedRow();
    if (row < 0 || m_list->kind(row) != catalog::ListItem::FoundFolder) {
        return;
    }
    const char* text = deleting ? "查找结果的内容不允许删除!" : "查找结果的内容不允许重命名!";
    if (m_quietMode) {
        m_statusBar2->setPanelText(1, QString::fromUtf8(text));
    } else {
        m_services.dialogs.message(text, MessageIcon::Warning);
    }
}

void Tmainform::contentKeyReleased(const QKeyEvent* key)
{
    const bool treeEmpty = m_contentModel->tree().empty();
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    if (enter && (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) && !treeEmpty) {
        describeNode();
    } else if ((key->key() == Qt::Key_Delete || key->key() == Qt::Key_F2) &&
               key->modifiers() == Qt::NoModifier && !treeEmpty) {
        refuseFoundFolderEdit(key->key() == Qt::Key_Delete);
    } else if (key->key() == Qt::Key_C && key->modifiers() == Qt::ControlModifier) {
        copyPath();
    } else if (key->modifiers() == Qt::ControlModifier && !treeEmpty) {
        if (key->key() == Qt::Key_F) {
            tvcdfindClick();
        } else if (key->key() == Qt::Key_L) {
            tvcdLocMXClick();
        } else if (key->key() == Qt::Key_Z && !m_findTextGbk.empty()) {
            tvcdfindnextClick();
        }
    }
}

// ---------------------------------------------------------------- searching

void Tmainform::topfindClick()
{
    m_findForm->setInitialBoxPath({});
    m_findForm->clearScope();
    const int kind = nodeKind(selectedNode());
    if (kind == catalog::BoxNode::LibraryRoot || kind == catalog::BoxNode::Box) {
        if (!m_list->selectedRows().empty()) {
            lvfindClick();
        } else {
            tvfindClick();
        }
        return;
    }
    m_findForm->addScopeEntry(
        {std::string(catalog::LibraryRootCaption), search::ScopeKind::Library});
    showFindForm();
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

// Shows the search dialog, then reports the run and shows its category.
void Tmainform::showFindForm()
{
    m_findForm->setLibraryRoot(m_libraryRoot);
    m_findForm->exec();
    if (!m_findForm->done()) {
        return;
    }
    if (m_findForm->textPageActive()) {
        m_findTextGbk = m_findForm->searchTextGbk();
    }
    const search::SearchOutcome& outcome = m_findForm->outcome();
    if (outcome.hits == 0) {
        // The run has removed its empty category already.
        m_services.dialogs.message("没有找到相关光盘！", MessageIcon::Warning);
        return;
    }
    m_services.dialogs.message("找到 " + catalog::decimal(outcome.hits) + " 个相关光盘！",
                               MessageIcon::Information);
    QTreeWidgetItem* root = m_boxTree->topLevelItem(0);
    const std::string resultsPath = catalog::ResultsFolderName() + "\\";
    QTreeWidgetItem* results = findNodeByPath(resultsPath);
    if (results == nullptr) {
        results = new BoxTreeItem(catalog::ResultsFolderName(), catalog::BoxNode::ResultsFolder);
        root->addChild(results);
    }
    for (int i = 0; i < results->childCount(); ++i) {
        if (catalog::equalsNoCase(gbkOf(results->child(i)), outcome.categoryGbk)) {
            delete results->takeChild(i);
            break;
        }
    }
    auto* category = new BoxTreeItem(outcome.categoryGbk, catalog::BoxNode::Category);
    results->addChild(category);
    results->setExpanded(true);
    m_boxTree->setCurrentItem(category);
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
        const std::string pointer = catalog::FindRecordFile(category, caption, ".tgt");
        const std::string text = pointer.empty() ? std::string() : catalog::ReadWholeFile(pointer);
        const auto lines = catalog::SplitLines(text);
        target = lines.empty() ? std::string() : std::string(lines.front());
    } else if (m_list->kind(row) == catalog::ListItem::FoundFolder) {
        const std::string mx = catalog::FindRecordFile(category, caption, ".mx");
        const std::string text = mx.empty() ? std::string() : catalog::ReadWholeFile(mx);
        const auto lines = catalog::SplitLines(text);
        if (lines.size() >= 2) {
            const std::string_view place = lines[1];
            const auto slash = place.find('\\');
            target =
                std::string(slash == std::string_view::npos ? place : place.substr(slash + 1)) +
                ".cdr";
        }
    } else {
        return;
    }
    const auto lastBackslash = target.rfind('\\');
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

// ---------------------------------------------------------------- layout

void Tmainform::restoreLayout()
{
    auto& settings = m_services.settings;
    const auto size = [&](const char* name, int& target) {
        if (const int value = settings.readInteger(StateKey, name, 0); value > 0) {
            target = value;
        }
    };
    size("panel1.width", m_paneSizes.panel1Width);
    size("panel3.height", m_paneSizes.panel3Height);
    size("panel4.height", m_paneSizes.panel4Height);
    size("panel5.width", m_paneSizes.panel5Width);
    if (const int width = settings.readInteger(StateKey, "column.width", 0); width > 0) {
        m_list->setColumnWidth(width);
    }
    const int style = settings.readInteger(StateKey, ViewStyleValue, 4);
    if (style >= 1 && style <= 4) {
        m_styleActions[style - 1]->setChecked(true);
        m_list->setViewStyle(static_cast<CdListView::ViewStyle>(style));
    }
    if (isVisible()) {
        applyPaneSizes();
    }
}

// The splitters give each pane its size once the window has its own.
void Tmainform::applyPaneSizes()
{
    const int wide = std::max(m_mainSplitter->width(), m_paneSizes.panel1Width + 150);
    m_mainSplitter->setSizes({m_paneSizes.panel1Width, wide - m_paneSizes.panel1Width});
    m_rightSplitter->setSizes({m_paneSizes.panel3Height, m_paneSizes.panel4Height});
    const int upper = std::max(m_upperSplitter->width(), m_paneSizes.panel5Width + 150);
    m_upperSplitter->setSizes({m_paneSizes.panel5Width, upper - m_paneSizes.panel5Width});
}

void Tmainform::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!m_paneSizesApplied) {
        m_paneSizesApplied = true;
        applyPaneSizes();
    }
}

void Tmainform::saveLayout()
{
    auto& settings = m_services.settings;
    int style = 4;
    for (int i = 0; i < 4; ++i) {
        if (m_styleActions[i]->isChecked()) {
            style = i + 1;
        }
    }
    settings.writeInteger(StateKey, ViewStyleValue, style);
    for (int i = 1; i <= 7; ++i) {
        const std::string panel = "Panel" + std::to_string(i);
        settings.writeInteger(StateKey, panel + ".Height", m_panels[i]->height());
        settings.writeInteger(StateKey, panel + ".width", m_panels[i]->width());
    }
    settings.writeInteger(StateKey, "Column.width", m_list->columnWidth());
}

// "保存" is the window's default button: Enter in a control that does not take Enter
// itself saves the information while its page is on screen.
bool Tmainform::saveOnEnter(QObject* watched, const QKeyEvent* key)
{
    if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) ||
        key->modifiers() != Qt::NoModifier || !m_infoPanel->isVisible()) {
        return false;
    }
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr || widget->window() != this || qobject_cast<QPlainTextEdit*>(widget) ||
        qobject_cast<QAbstractButton*>(widget)) {
        return false;
    }
    m_infoPanel->save();
    return true;
}

void Tmainform::closeEvent(QCloseEvent* event)
{
    if (m_saveLayoutOnExit) {
        try {
            saveLayout();
        } catch (const std::exception& error) {
            m_services.dialogs.message(error.what(), MessageIcon::Error);
        }
    }
    event->accept();
}

bool Tmainform::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && saveOnEnter(watched, static_cast<QKeyEvent*>(event))) {
        return true;
    }
    if (watched == m_description && event->type() == QEvent::FocusOut) {
        leaveDescription();
    }
    if (watched == m_contentTree && event->type() == QEvent::KeyRelease) {
        runCommand([&] { contentKeyReleased(static_cast<QKeyEvent*>(event)); });
    }
    if (watched == m_boxTree && event->type() == QEvent::KeyRelease) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const int kind = nodeKind(selectedNode());
        if (key->key() == Qt::Key_Insert && key->modifiers() == Qt::NoModifier &&
            (kind == catalog::BoxNode::LibraryRoot || kind == catalog::BoxNode::Box)) {
            runCommand([this] { tvnewcdsClick(); });
            return true;
        }
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            if (key->modifiers() & Qt::AltModifier) {
                runCommand([this] { showDetails(); });
                return true;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace app
