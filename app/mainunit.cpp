#include "app/mainunit_shared.h"
#include "search/index_keeper.h"

namespace app {

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

Tmainform::Tmainform(MainServices services, QWidget* parent)
    : QMainWindow(parent), m_services(std::move(services))
{
    setObjectName(QStringLiteral("Tmainform"));
    setWindowTitle(QStringLiteral("Vellumark 1.32"));
    setWindowIcon(ui::applicationIcon());

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
    m_moveForm = new organize::TMoveForm(this);
    m_expForm = new output::TExpForm({m_services.settings, m_services.dialogs, m_services.shell,
                                      m_services.printing, m_services.documentsFolder},
                                     this);
    m_reIconForm = new maintenance::TReIconForm(m_services.dialogs, this);
    m_setupForm = new settings::TSetupForm(m_services.settings, m_services.dialogs, this);

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
    resolveLibrary();
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
    const auto make = [this](const char* objectName, ui::Command icon, const QString& text,
                             const QString& hint, const QKeySequence& key = {}) {
        auto* action = new QAction(ui::commandIcon(icon), text, this);
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
    m_findAction = make("TopFind", ui::Command::Find, QStringLiteral("查找F3"),
                        QStringLiteral("查找(F3)"), Qt::Key_F3);
    m_refreshAction = make("TopRefresh", ui::Command::Refresh, QStringLiteral("刷新F5"),
                           QStringLiteral("刷新(F5)"), Qt::Key_F5);
    m_clearAction = make("topclsnull", ui::Command::ClearEmptyBoxes, QStringLiteral("清扫F4"),
                         QStringLiteral("清除空的光盘盒"), Qt::Key_F4);
    m_newCdAction =
        make("TopNewCD", ui::Command::NewCd, QStringLiteral("新增"),
             QStringLiteral("新增一张光盘(Ctrl+N)"), QKeySequence(Qt::CTRL | Qt::Key_N));
    m_newBoxAction =
        make("TopNewBox", ui::Command::NewBox, QStringLiteral("新增"),
             QStringLiteral("新增一个光盘盒(Ctrl+B)"), QKeySequence(Qt::CTRL | Qt::Key_B));
    m_importAction = make("topload", ui::Command::Import, QStringLiteral("导入F6"),
                          QStringLiteral("导入光盘"), Qt::Key_F6);
    m_backupAction = make("ToolButton20", ui::Command::Backup, QStringLiteral("备份"),
                          QStringLiteral("备份光盘"));
    m_outputAction = make("ToolButton5", ui::Command::Output, QStringLiteral("输出"),
                          QStringLiteral("批量输出光盘"));
    m_reIconAction = make("ToolButton1", ui::Command::RebuildIcons, QStringLiteral("校验"),
                          QStringLiteral("重建图标索引"));
    m_setupAction = make("topsetup", ui::Command::Settings, QStringLiteral("设置F9"),
                         QStringLiteral("设置 Orlendy(F9)..."), Qt::Key_F9);
    m_aboutAction = make("TopAbout", ui::Command::About, QStringLiteral("关于F1"),
                         QStringLiteral("关于 Orlendy(F1)..."), Qt::Key_F1);
    m_exitAction = make("TopExit", ui::Command::Exit, QStringLiteral("退出F10"),
                        QStringLiteral("退出系统(F10)"), Qt::Key_F10);
    for (QAction* built : {m_refreshAction, m_clearAction, m_aboutAction, m_exitAction,
                           m_newCdAction, m_newBoxAction, m_findAction, m_outputAction,
                           m_importAction, m_backupAction, m_reIconAction, m_setupAction}) {
        m_available.insert(built);
        built->setEnabled(true);
    }
    connectCommand(m_refreshAction, &QAction::triggered, &Tmainform::refreshLibrary);
    connectCommand(m_clearAction, &QAction::triggered, &Tmainform::topclsnullClick);
    connect(m_exitAction, &QAction::triggered, this, &QWidget::close);
    connectCommand(m_newCdAction, &QAction::triggered, &Tmainform::TopNewCDClick);
    connectCommand(m_newBoxAction, &QAction::triggered, &Tmainform::TopNewCDSClick);
    connectCommand(m_findAction, &QAction::triggered, &Tmainform::topfindClick);
    connectCommand(m_outputAction, &QAction::triggered, &Tmainform::ToolButton5Click);
    connectCommand(m_importAction, &QAction::triggered, &Tmainform::toploadClick);
    connectCommand(m_backupAction, &QAction::triggered, &Tmainform::ToolButton20Click);
    connectCommand(m_reIconAction, &QAction::triggered, &Tmainform::ToolButton1Click);
    connectCommand(m_setupAction, &QAction::triggered, &Tmainform::topsetupClick);
    connect(m_aboutAction, &QAction::triggered, this, [this] {
        TAboutForm about(m_services.shell, m_services.dialogs, this);
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

Tmainform::~Tmainform() = default;

void Tmainform::resolveLibrary()
{
    m_libraryRoot = catalog::ResolveLibraryRoot(m_services.settings, m_services.defaultLibraryRoot);
    keepSearchIndex();
}

// The index of the library now in use, made in the background when it is missing.
void Tmainform::keepSearchIndex()
{
    if (m_services.cacheFolder.empty()) {
        return;
    }
    m_indexKeeper.reset();
    m_indexKeeper = std::make_unique<search::IndexKeeper>(
        search::IndexFolderOf(m_services.cacheFolder, m_libraryRoot), m_libraryRoot);
    m_indexKeeper->buildIfMissing();
}

void Tmainform::readSettings()
{
    constexpr std::string_view key = catalog::SoftwareKey;
    m_quietMode = m_services.settings.readInteger(key, "对光盘镜象操作时警示", 1) == 1;
    m_saveLayoutOnExit = m_services.settings.readInteger(key, "退出时保存窗口布局", 1) == 1;
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
    if (watched == m_contentTree && event->type() == QEvent::KeyPress) {
        bool handled = false;
        runCommand([&] { handled = contentKeyPressed(static_cast<QKeyEvent*>(event)); });
        if (handled) {
            return true;
        }
    }
    if (watched == m_contentTree && event->type() == QEvent::KeyRelease) {
        runCommand([&] { contentKeyReleased(static_cast<QKeyEvent*>(event)); });
    }
    if (watched == m_boxTree && event->type() == QEvent::KeyRelease) {
        bool handled = false;
        runCommand([&] { handled = boxTreeKeyReleased(static_cast<QKeyEvent*>(event)); });
        if (handled) {
            return true;
        }
    }
    if (dragEventFilter(watched, event)) {
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace app
