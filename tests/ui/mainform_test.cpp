// The main window driven by its control names against libraries written byte by byte.

#include "app/cd_list_view.h"
#include "app/mainunit.h"
#include "app/panel_bar.h"
#include "catalog/cdinfo.h"
#include "scan/NewCDUnit.h"
#include "search/FindUnit.h"
#include "search/LocUnit.h"
#include "search/index_store.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fake_drives.h"
#include "tests/support/fake_settings_store.h"
#include "tests/support/fake_shell.h"
#include "tests/support/fake_user_dialogs.h"
#include "tests/support/temp_library.h"
#include "ui/gbk_text.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>

#include <memory>

using testing_support::gbk;
using testing_support::readFile;
using testing_support::writeFile;

namespace {

const std::string Results = "\xFF" + gbk("查找结果");

std::string ifnWithCapacity(const std::string& cdmoney)
{
    catalog::TCDInfo info;
    info.cdmoney = cdmoney;
    const auto bytes = catalog::EncodeCDInfo(info);
    return {bytes.begin(), bytes.end()};
}

QString u(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

} // namespace

class MainFormTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<testing_support::TempDir> m_dir;
    testing_support::FakeSettingsStore m_settings;
    testing_support::FakeDrives m_drives;
    testing_support::FakeUserDialogs m_dialogs;
    testing_support::FakeClock m_clock{{2024, 5, 6, 7, 8, 9, 0}};
    testing_support::FakeShell m_shell;
    std::unique_ptr<app::Tmainform> m_form;

    std::string root() const { return m_dir->path() + "Orlendy/"; }
    void put(const std::string& relativeUtf8, std::string_view bytes)
    {
        writeFile(root() + gbk(relativeUtf8), bytes);
    }
    void putResult(const std::string& relativeUtf8, std::string_view bytes)
    {
        writeFile(root() + Results + "/" + gbk(relativeUtf8), bytes);
    }
    void makeForm()
    {
        m_form = std::make_unique<app::Tmainform>(app::MainServices{
            m_settings, m_drives, m_dialogs, m_clock, m_shell, root(), m_dir->path()});
    }
    QTreeWidget* boxTree() const { return m_form->findChild<QTreeWidget*>("TVstyle"); }
    app::CdListView* list() const { return m_form->findChild<app::CdListView*>("LVcd"); }
    QString panel(const char* bar, int index = 0) const
    {
        return m_form->findChild<app::PanelBar*>(bar)->panelText(index);
    }
    bool tabShown(const char* page) const
    {
        auto* pages = m_form->findChild<QTabWidget*>("PageControl1");
        return pages->isTabVisible(pages->indexOf(m_form->findChild<QWidget*>(page)));
    }
    void selectBox(const char* pathUtf8) { QVERIFY(m_form->selectBoxPath(gbk(pathUtf8))); }
    void selectResults(const char* belowUtf8 = "")
    {
        QVERIFY(m_form->selectBoxPath(Results + "\\" + gbk(belowUtf8)));
    }
    void clickItem(const char* captionUtf8)
    {
        for (int row = 0; row < list()->count(); ++row) {
            if (list()->caption(row) == gbk(captionUtf8)) {
                list()->selectOnly(row);
                m_form->LVcdClick();
                return;
            }
        }
        QFAIL(qPrintable(u("no item ") + u(captionUtf8)));
    }
    // A text search through the dialog, opened by the toolbar command.
    void searchLibrary(const char* text)
    {
        QTimer::singleShot(0, [this, text] {
            auto* find = m_form->findChild<search::TFindForm*>("TFindForm");
            find->findChild<QLineEdit*>("Edit1")->setText(u(text));
            find->BitBtn1Click();
        });
        m_form->topfindClick();
    }
    // Presses a mouse button on the list item with that caption, as a person does.
    void mouseOnItem(const char* captionUtf8, Qt::MouseButton button)
    {
        auto* view = qobject_cast<QAbstractItemView*>(list()->currentView());
        const int row = static_cast<int>(listCaptions().indexOf(u(captionUtf8)));
        QVERIFY(view != nullptr && row >= 0);
        const QPoint centre = view->visualRect(view->model()->index(row, 0)).center();
        if (button == Qt::RightButton) {
            QTest::mousePress(view->viewport(), button, {}, centre);
            QTest::mouseRelease(view->viewport(), button, {}, centre);
            m_form->findChild<QMenu*>("PopupMenu2")->hide();
        } else {
            QTest::mouseClick(view->viewport(), button, {}, centre);
        }
    }
    int contentRows() const
    {
        auto* tvcd = m_form->findChild<QTreeView*>("tvcd");
        return tvcd->model()->rowCount(tvcd->model()->index(0, 0));
    }
    // A new box under the selected one, named through the dialog or the input box.
    void newBox(bool throughDialog, const QString& name)
    {
        if (!throughDialog) {
            m_dialogs.typeNext(name.toStdString());
            m_form->tvnewcdsClick();
            return;
        }
        QTimer::singleShot(0, [this, name] {
            auto* dialog = m_form->findChild<QDialog*>("TNewCDsForm");
            dialog->findChild<QLineEdit*>("Edit1")->setText(name);
            dialog->accept();
        });
        m_form->TopNewCDSClick();
    }
    struct AddRun
    {
        QString offeredName; // the name field as the add dialog came up
        bool described = false;
    };
    // The add command with both of its modal dialogs answered as they come up: start in
    // the add dialog, OK in the description dialog.
    AddRun addCd()
    {
        AddRun run;
        QTimer driver;
        connect(&driver, &QTimer::timeout, [&] {
            auto* add = m_form->findChild<scan::TNewCDForm*>("TNewCDForm");
            auto* describe = m_form->findChild<QDialog*>("TCDMxForm");
            if (add->isVisible()) {
                run.offeredName = add->findChild<QLineEdit*>("Edit1")->text();
                add->start();
            } else if (describe->isVisible()) {
                run.described = true;
                describe->accept();
            }
        });
        driver.start(10);
        m_form->TopNewCDClick();
        return run;
    }
    QStringList listCaptions() const
    {
        QStringList captions;
        for (int row = 0; row < list()->count(); ++row) {
            captions << ui::fromGbk(list()->caption(row));
        }
        return captions;
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<testing_support::TempDir>();
        m_settings = {};
        m_dialogs.clear();
        m_drives = {};
        put("软件光盘/子盒/深盒/x.Cdr", "E:\\\r\n");
        put("软件光盘/工具盘.Cdr", gbk("E:\\\r\n\tSETUP\r\n\t\t说明.TXT\r\n\tGAME.EXE\r\n"));
        put("软件光盘/工具盘.tag", "0\r\n1\r\n4\r\n3\r\n");
        put("软件光盘/工具盘.Mx", gbk("好用的工具\r\n"));
        put("软件光盘/工具盘.FMx", gbk("SETUP\\\r\n安装\r\n"));
        put("软件光盘/工具盘.Ifn", ifnWithCapacity("681574400"));
        put("软件光盘/说明.txt", "not a record");
        put("游戏光盘/星际.cdr", "F:\\\r\n\tSTAR.EXE\r\n");
        put("游戏光盘/星际.TAG", "0\r\n3\r\n");
        put("音乐光盘/.keep", "");
        putResult("星际/工具盘.tgt", gbk("软件光盘\\工具盘.Cdr\r\n"));
        putResult("星际/SETUP.fid", "E:\\\r\n\tSETUP\r\n\t\tA.TXT\r\n");
        putResult("星际/SETUP.Tag", "0\r\n1\r\n4\r\n");
        putResult("星际/星际.Fin", gbk("查找项目:星际\r\n"));
        putResult("旧类/坏指针.tgt", gbk("软件光盘\\没有.Cdr\r\n"));
        makeForm();
    }

    void cleanup()
    {
        m_form.reset();
        m_dir.reset();
    }

    // Given a cache folder, the window makes the missing search index in the background
    // and its searches go through it; the window is usable all the while.
    void buildsTheMissingSearchIndexInTheBackground()
    {
        const std::string cache = m_dir->path() + "cache/";
        m_form = std::make_unique<app::Tmainform>(app::MainServices{m_settings, m_drives, m_dialogs,
                                                                    m_clock, m_shell, root(),
                                                                    m_dir->path(), nullptr, cache});
        QVERIFY(boxTree()->topLevelItemCount() == 2);
        const std::string folder = search::IndexFolderOf(cache, root());
        QTRY_VERIFY_WITH_TIMEOUT(search::SearchIndex::exists(folder, root()), 10000);
        const auto index = search::SearchIndex::open(folder, root());
        QVERIFY(index != nullptr);
        QCOMPARE(index->recordCount(), std::size_t(2));
        QVERIFY(index->find(gbk("软件光盘\\工具盘.Cdr")) != nullptr);
    }

    void startsOnTheLibraryWithSortedBoxesAndBothTopNodes()
    {
        QCOMPARE(m_form->windowTitle(), u("Vellumark 1.32"));
        QTreeWidget* tree = boxTree();
        QCOMPARE(tree->topLevelItemCount(), 2);
        QCOMPARE(tree->topLevelItem(0)->text(0), u("Orlendy"));
        QCOMPARE(tree->topLevelItem(1)->text(0), u("本地光驱"));
        tree->setCurrentItem(tree->topLevelItem(0));
        QStringList boxes;
        for (int i = 0; i < tree->topLevelItem(0)->childCount(); ++i) {
            boxes << tree->topLevelItem(0)->child(i)->text(0);
        }
        QCOMPARE(boxes, (QStringList{u("软件光盘"), u("音乐光盘"), u("游戏光盘"), u("查找结果")}));
        QCOMPARE(panel("StatusBar1"), u("该类下有3个子光盘盒，0张光盘"));
        QCOMPARE(panel("StatusBar3"), u(" 当前位置：Orlendy"));
    }

    void selectingABoxFillsTheListAndTheStatusTexts()
    {
        selectBox("软件光盘\\");
        QCOMPARE(listCaptions(), (QStringList{u("子盒"), u("工具盘")}));
        QCOMPARE(panel("StatusBar1"), u("该类下有1个子光盘盒，1张光盘"));
        QCOMPARE(list()->columnCaption(), u("[软件光盘]"));
        QVERIFY(m_form->findChild<QAction*>("lvtbup")->isEnabled());

        clickItem("子盒");
        QCOMPARE(panel("StatusBar4"), u("该光盘盒下有1个光盘盒，0张光盘"));
        QCOMPARE(panel("StatusBar3"), u(" 当前位置：Orlendy\\软件光盘\\子盒"));

        m_form->goUp();
        QCOMPARE(boxTree()->currentItem(), boxTree()->topLevelItem(0));
        QVERIFY(!m_form->findChild<QAction*>("lvtbup")->isEnabled());
    }

    void showingARecordLoadsTreeDescriptionNotesAndInformation()
    {
        selectBox("软件光盘\\");
        clickItem("工具盘");
        auto* tvcd = m_form->findChild<QTreeView*>("tvcd");
        const QModelIndex rootIndex = tvcd->model()->index(0, 0);
        QCOMPARE(rootIndex.data().toString(), u("E:\\"));
        QVERIFY(tvcd->isExpanded(rootIndex));
        QCOMPARE(tvcd->model()->rowCount(rootIndex), 2);
        QCOMPARE(panel("StatusBar2"), u("总共有1个文件夹,2个文件"));
        QCOMPARE(m_form->findChild<QPlainTextEdit*>("MX")->toPlainText(), u("好用的工具\n"));
        QVERIFY(!m_form->findChild<QPlainTextEdit*>("MX")->isReadOnly());
        QCOMPARE(panel("StatusBar4"), u("这张光盘的子文件夹中有描述"));
        QCOMPARE(panel("StatusBar3", 1), u("工具盘"));
        QCOMPARE(m_form->findChild<QLineEdit*>("cdmoney2")->text(), u("650.0MB"));
        QVERIFY(tabShown("TabSheet1") && tabShown("TabSheet2") && !tabShown("TabSheet3"));

        // A record without notes right after one with them.
        selectBox("游戏光盘\\");
        clickItem("星际");
        QCOMPARE(panel("StatusBar4"), u("这张光盘的子文件夹中无描述"));
        QVERIFY(testing_support::exists(root() + gbk("游戏光盘/星际.Mx")));
        // No information yet: the capacity stays empty.
        QCOMPARE(m_form->findChild<QLineEdit*>("cdmoney2")->text(), QString());
    }

    // The right button resets the pane only when it leaves no single item selected.
    void rightClicksKeepTheShownCd()
    {
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
        selectBox("软件光盘\\");
        mouseOnItem("工具盘", Qt::LeftButton);
        QCOMPARE(contentRows(), 2);

        mouseOnItem("工具盘", Qt::RightButton);
        QCOMPARE(contentRows(), 2);
        QCOMPARE(m_form->findChild<QPlainTextEdit*>("MX")->toPlainText(), u("好用的工具\n"));
        QCOMPARE(panel("StatusBar2"), u("总共有1个文件夹,2个文件"));
        mouseOnItem("工具盘", Qt::LeftButton);
        QCOMPARE(contentRows(), 2);

        // Another item under the pointer: selected at once, shown by the next click.
        mouseOnItem("子盒", Qt::RightButton);
        QCOMPARE(ui::fromGbk(list()->caption(list()->selectedRow())), u("子盒"));
        QCOMPARE(contentRows(), 2);
        mouseOnItem("子盒", Qt::LeftButton);
        QCOMPARE(panel("StatusBar4"), u("该光盘盒下有1个光盘盒，0张光盘"));
        mouseOnItem("工具盘", Qt::LeftButton);
        QCOMPARE(contentRows(), 2);
    }

    void aStaleRecordIsReportedAndRemoved()
    {
        selectBox("软件光盘\\");
        ::unlink((root() + gbk("软件光盘/工具盘.Cdr")).c_str());
        clickItem("工具盘");
        QCOMPARE(QString::fromStdString(m_dialogs.lastText()), u("光盘 工具盘 不存在！"));
        QCOMPARE(listCaptions(), (QStringList{u("子盒")}));
    }

    void aMissingIconFileIsRebuiltOrTheRecordDeleted_data()
    {
        QTest::addColumn<bool>("rebuild");
        QTest::newRow("rebuild") << true;
        QTest::newRow("delete") << false;
    }

    void aMissingIconFileIsRebuiltOrTheRecordDeleted()
    {
        QFETCH(bool, rebuild);
        ::unlink((root() + gbk("软件光盘/工具盘.tag")).c_str());
        selectBox("软件光盘\\");
        m_dialogs.answerNext(rebuild);
        clickItem("工具盘");
        QVERIFY(m_dialogs.shown().front().question);
        QVERIFY(QString::fromStdString(m_dialogs.shown().front().text)
                    .startsWith(u("光盘标志文件丢失！")));
        if (rebuild) {
            QCOMPARE(readFile(root() + gbk("软件光盘/工具盘.tag")),
                     std::string("0\r\n1\r\n4\r\n3\r\n"));
            QCOMPARE(panel("StatusBar3", 1), u("工具盘"));
        } else {
            QCOMPARE(listCaptions(), (QStringList{u("子盒")}));
            for (const char* file : {"工具盘.Cdr", "工具盘.Mx", "工具盘.FMx", "工具盘.Ifn"}) {
                QVERIFY(!testing_support::exists(root() + gbk("软件光盘/") + gbk(file)));
            }
        }
    }

    // A listing or icon file that cannot be read whole shows nothing of its record: no
    // part of a tree drawn with the wrong icons, no totals, no reading status, nothing of
    // the CD shown before; the next click tries again.
    void aRecordThatCannotBeReadWholeShowsNothing()
    {
        put("软件光盘/短标.Cdr", "E:\\\r\n\tA\r\n\t\tB.TXT\r\n\tC\r\n");
        put("软件光盘/短标.tag", "0\r\n1\r\n");
        m_form->refreshLibrary();
        selectBox("软件光盘\\");
        clickItem("工具盘");
        QCOMPARE(contentRows(), 2);

        m_dialogs.clear();
        clickItem("短标");
        QCOMPARE(m_dialogs.shown().size(), std::size_t{1});
        QCOMPARE(m_dialogs.shown().front().icon, platform::MessageIcon::Error);
        QCOMPARE(m_form->findChild<QTreeView*>("tvcd")->model()->rowCount(), 0);
        for (const char* bar : {"StatusBar2", "StatusBar4", "StatusBar5"}) {
            QCOMPARE(panel(bar), QString());
        }
        QCOMPARE(panel("StatusBar3", 1), QString());
        QCOMPARE(m_form->findChild<QLabel*>("Panel7")->text(), QString());
        QCOMPARE(m_form->findChild<QPlainTextEdit*>("MX")->toPlainText(), QString());
        QVERIFY(!tabShown("TabSheet1") && !tabShown("TabSheet2"));

        clickItem("短标");
        QCOMPARE(m_dialogs.shown().size(), std::size_t{2});
    }

    void searchCategoriesShowTheirDescriptionAndFoundEntries()
    {
        selectResults();
        QCOMPARE(panel("StatusBar1"), u("有2个子查找类别，0个查找结果"));
        clickItem("星际");
        QCOMPARE(panel("StatusBar3"), u(" 当前位置：Orlendy\\查找结果\\星际"));
        QVERIFY(tabShown("TabSheet3"));
        QCOMPARE(m_form->findChild<QPlainTextEdit*>("findmemo")->toPlainText(),
                 u("查找项目:星际\n"));
        QCOMPARE(panel("StatusBar4"), u("该查找类别下有0个查找类别，2个查找结果"));

        selectResults("星际\\");
        QCOMPARE(listCaptions(), (QStringList{u("SETUP"), u("工具盘")}));
        clickItem("SETUP");
        QCOMPARE(panel("StatusBar2"), u("总共有1个文件夹,1个文件"));
        auto* tvcd = m_form->findChild<QTreeView*>("tvcd");
        tvcd->setCurrentIndex(tvcd->model()->index(0, 0));
        QTest::keyClick(tvcd, Qt::Key_Delete);
        QCOMPARE(panel("StatusBar2", 1), u("查找结果的内容不允许删除!"));
        QTest::keyClick(tvcd, Qt::Key_F2);
        QCOMPARE(panel("StatusBar2", 1), u("查找结果的内容不允许重命名!"));
        QCOMPARE(panel("StatusBar4"), u("这个查找结果的子文件夹中无描述"));
        QVERIFY(m_form->findChild<QPlainTextEdit*>("MX")->isReadOnly());

        clickItem("工具盘");
        QCOMPARE(panel("StatusBar4"), u("这张光盘的子文件中有描述"));
        QCOMPARE(m_form->findChild<QPlainTextEdit*>("MX")->toPlainText(), u("好用的工具\n"));
        // Information saved through a found CD goes to the catalogued CD.
        m_form->findChild<QLineEdit*>("cdno")->setText(u("A-7"));
        m_form->findChild<QPushButton*>("BitBtn1")->click();
        const auto saved = catalog::ReadCDInfo({root() + gbk("软件光盘/"), gbk("工具盘")});
        QCOMPARE(QString::fromStdString(saved.info.cdno), u("A-7"));
        QCOMPARE(QString::fromStdString(saved.info.cdmoney), u("681574400"));

        // Enter in a field of the page saves too.
        m_form->show();
        m_form->findChild<QTabWidget*>("PageControl1")
            ->setCurrentWidget(m_form->findChild<QWidget*>("TabSheet2"));
        auto* owner = m_form->findChild<QLineEdit*>("cdowner");
        owner->setText(u("张三"));
        QTest::keyClick(owner, Qt::Key_Return);
        QCOMPARE(catalog::ReadCDInfo({root() + gbk("软件光盘/"), gbk("工具盘")}).info.cdowner,
                 gbk("张三"));
    }

    // A file that cannot be read ends its command with a message; the window goes on.
    void unreadableFilesEndTheirCommandWithAMessage_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("unreadable");
        QTest::newRow("category shown") << u("select") << u("坏类.Fin");
        QTest::newRow("category details") << u("details") << u("坏类.Fin");
        QTest::newRow("original place") << u("original place") << u("断指针.tgt");
        QTest::newRow("record shown") << u("show record") << u("坏盘.Mx");
    }
    void unreadableFilesEndTheirCommandWithAMessage()
    {
        QFETCH(QString, command);
        QFETCH(QString, unreadable);
        const auto dangle = [](const std::string& path) {
            QCOMPARE(::symlink("/nonexistent/vellumark", path.c_str()), 0);
        };
        putResult("坏类/工具盘.tgt", gbk("软件光盘\\工具盘.Cdr\r\n"));
        dangle(root() + Results + "/" + gbk("坏类/坏类.Fin"));
        dangle(root() + Results + "/" + gbk("旧类/断指针.tgt"));
        put("软件光盘/坏盘.Cdr", "E:\\\r\n");
        put("软件光盘/坏盘.tag", "0\r\n");
        dangle(root() + gbk("软件光盘/坏盘.Mx"));
        m_form->refreshLibrary();
        m_dialogs.clear();

        if (command == u("select")) {
            selectResults("坏类\\");
        } else if (command == u("details")) {
            selectResults("坏类\\");
            m_dialogs.clear();
            m_form->findChild<QMenu*>("PopupMenu1")->actions().back()->trigger();
        } else if (command == u("original place")) {
            selectResults("旧类\\");
            list()->selectOnly(static_cast<int>(listCaptions().indexOf(u("断指针"))));
            m_dialogs.clear();
            m_form->findChild<QMenu*>("PopupMenu2")->actions().back()->trigger();
        } else {
            selectBox("软件光盘\\");
            clickItem("坏盘");
        }
        QVERIFY(!m_dialogs.shown().empty());
        const auto& said = m_dialogs.shown().back();
        QCOMPARE(said.icon, platform::MessageIcon::Error);
        QVERIFY2(QString::fromStdString(said.text).contains(unreadable), said.text.c_str());
        QCOMPARE(QApplication::overrideCursor(), nullptr);

        selectBox("软件光盘\\");
        clickItem("工具盘");
        QCOMPARE(contentRows(), 2);
    }

    void aFoundCdWhoseTargetIsGoneIsRemovedWithItsPointer()
    {
        selectResults("旧类\\");
        clickItem("坏指针");
        QCOMPARE(QString::fromStdString(m_dialogs.lastText()),
                 u("查找结果指向的文件 坏指针 不存在！"));
        QVERIFY(listCaptions().isEmpty());
        QVERIFY(!testing_support::exists(root() + Results + "/" + gbk("旧类/坏指针.tgt")));
    }

    void drivesAreListedIdentifiedAndTheirDoorsMoved()
    {
        m_drives.addDrive('E');
        m_drives.addDrive('G', platform::DriveKind::Folder);
        m_drives.insert('G', {"TOOLS", 681574400, ""});
        put("其它光盘/副本.Cdr", "E:\\\r\n");
        put("其它光盘/副本.tag", "0\r\n");
        put("其它光盘/副本.Ifn", ifnWithCapacity("681574400"));
        makeForm();

        auto* eject = m_form->findChild<QMenu*>("menucdo");
        QCOMPARE(eject->actions().size(), 2);
        QCOMPARE(eject->actions()[0]->text(), u("弹出光驱 E"));
        QCOMPARE(m_form->findChild<QMenu*>("menucdi")->actions()[1]->text(), u("合上光驱 G"));
        m_form->findChild<QToolButton*>("ejectcd")->click();
        m_form->findChild<QMenu*>("menucdi")->actions()[0]->trigger();
        QCOMPARE(m_drives.doorLog(), (std::vector<std::string>{"open E", "open G", "close E"}));

        boxTree()->setCurrentItem(boxTree()->topLevelItem(1));
        QCOMPARE(listCaptions(), (QStringList{u("(E:)"), u("(G:) TOOLS")}));
        QCOMPARE(panel("StatusBar1"), u("共有 2 个光驱"));
        clickItem("(E:)");
        QCOMPARE(panel("StatusBar4"), u("(E:) 驱中没有光盘"));

        // Two records of the disc's capacity: the one found last in the walk wins.
        clickItem("(G:) TOOLS");
        QCOMPARE(boxTree()->currentItem()->text(0), u("软件光盘"));
        QCOMPARE(panel("StatusBar3", 1), u("工具盘"));
    }

    void aDiscFoundNowhereOffersToAddIt()
    {
        m_drives.addDrive('E');
        m_drives.insert('E', {"NEW", 123, ""});
        makeForm();
        boxTree()->setCurrentItem(boxTree()->topLevelItem(1));
        clickItem("(E:) NEW");
        QCOMPARE(QString::fromStdString(m_dialogs.lastText()),
                 u("E: 驱中的光盘在光盘库中找不到！是否要新增这张光盘？"));
    }

    void detailsCountTheWholeBranch()
    {
        boxTree()->setCurrentItem(boxTree()->topLevelItem(0));
        m_form->showDetails();
        QCOMPARE(QString::fromStdString(m_dialogs.lastText()),
                 u("该光盘盒下共有5个光盘盒，3张光盘"));
        selectResults("旧类\\");
        m_form->showDetails();
        QCOMPARE(QString::fromStdString(m_dialogs.lastText()), u("查不到属性!"));
    }

    void theLayoutIsSavedAndRestoredOnlyWhenAskedFor()
    {
        list()->setColumnWidth(177);
        m_form->findChild<QAction*>("sicon")->trigger();
        m_form->close();
        QCOMPARE(m_settings.readInteger("software\\Vellumark\\state", "排列方式", 0), 2);
        QCOMPARE(m_settings.readInteger("software\\Vellumark\\state", "column.width", 0), 177);
        QVERIFY(m_settings.readInteger("software\\Vellumark\\state", "Panel1.width", 0) > 0);

        makeForm();
        QCOMPARE(list()->viewStyle(), app::CdListView::ViewStyle::SmallIcons);
        QCOMPARE(list()->columnWidth(), 177);

        m_settings.writeInteger("\\software\\Vellumark", "退出时保存窗口布局", 0);
        m_settings.writeInteger("software\\Vellumark\\state", "排列方式", 5);
        makeForm();
        QCOMPARE(list()->viewStyle(), app::CdListView::ViewStyle::Details);
        m_settings.writeInteger("software\\Vellumark\\state", "排列方式", 1);
        m_form->close();
        QCOMPARE(m_settings.readInteger("software\\Vellumark\\state", "排列方式", 0), 1);
    }

    void selectingANodeShowsItsDescriptionPathAndCounts()
    {
        selectBox("软件光盘\\");
        clickItem("工具盘");
        auto* tvcd = m_form->findChild<QTreeView*>("tvcd");
        const QModelIndex rootIndex = tvcd->model()->index(0, 0);
        const QModelIndex setup = tvcd->model()->index(0, 0, rootIndex);
        tvcd->setCurrentIndex(setup);
        QCOMPARE(panel("StatusBar5"), u("描述: 安装"));
        QCOMPARE(m_form->findChild<QLabel*>("Panel7")->text(), u("E:\\SETUP\\"));
        QCOMPARE(panel("StatusBar2", 1), u("该目录下有0个子文件夹,1个文件"));
        tvcd->setCurrentIndex(tvcd->model()->index(0, 0, setup));
        QCOMPARE(panel("StatusBar5"), u("该文件夹或文件无描述"));
        QCOMPARE(m_form->findChild<QLabel*>("Panel7")->text(), u("E:\\SETUP\\说明.TXT"));
        QCOMPARE(panel("StatusBar2", 1), QString());
        m_form->copyPath();
        QCOMPARE(QGuiApplication::clipboard()->text(), u("E:\\SETUP\\说明.TXT"));

        // Describing: typed as is, blank refused, the key matched without regard to case.
        m_dialogs.typeNext(std::string(" 说明文件"));
        m_form->describeNode();
        m_dialogs.typeNext(std::string("   "));
        m_form->describeNode();
        tvcd->setCurrentIndex(setup);
        m_dialogs.typeNext(std::string("新的安装"));
        m_form->describeNode();
        QCOMPARE(readFile(root() + gbk("软件光盘/工具盘.FMx")),
                 gbk("SETUP\\\r\n新的安装\r\nSETUP\\说明.TXT\\\r\n 说明文件\r\n"));
        QCOMPARE(panel("StatusBar5"), u("描述: 新的安装"));
    }

    // The content tree's Control keys act once per stroke, however quickly Control is let
    // go: a quick stroke releases Control before the key comes up.
    void controlKeysOfTheContentTreeActOncePerStroke_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("said"); // what the command shows first
        QTest::newRow("Ctrl+F find") << int(Qt::Key_F) << u("查找|请输入要查找的文字|");
        QTest::newRow("Ctrl+P print") << int(Qt::Key_P) << u("您没有打印机!无法打印！");
        QTest::newRow("Ctrl+Enter describe")
            << int(Qt::Key_Return) << u("描述|请输入 \"GAME.EXE\" 的描述|");
    }
    void controlKeysOfTheContentTreeActOncePerStroke()
    {
        QFETCH(int, key);
        QFETCH(QString, said);
        selectBox("软件光盘\\");
        clickItem("工具盘");
        auto* tvcd = m_form->findChild<QTreeView*>("tvcd");
        tvcd->setCurrentIndex(tvcd->model()->index(1, 0, tvcd->model()->index(0, 0)));
        m_dialogs.clear();
        const auto k = static_cast<Qt::Key>(key);
        for (const bool quick : {true, false}) {
            QTest::keyPress(tvcd, Qt::Key_Control, Qt::ControlModifier);
            QTest::keyPress(tvcd, k, Qt::ControlModifier);
            if (quick) {
                QTest::keyRelease(tvcd, Qt::Key_Control, Qt::NoModifier);
                QTest::keyRelease(tvcd, k, Qt::NoModifier);
            } else {
                QTest::keyRelease(tvcd, k, Qt::ControlModifier);
                QTest::keyRelease(tvcd, Qt::Key_Control, Qt::NoModifier);
            }
            QCOMPARE(m_dialogs.shown().size(), std::size_t(quick ? 1 : 2));
            QCOMPARE(QString::fromStdString(m_dialogs.lastText()), said);
        }
    }

    void aFolderWithMoreThan196ChildrenShowsOneTotal()
    {
        std::string listing = "E:\\\r\n\tBIG\r\n";
        std::string icons = "0\r\n1\r\n";
        for (int i = 0; i < 197; ++i) {
            listing += "\t\tF" + std::to_string(i) + ".TXT\r\n";
            icons += "4\r\n";
        }
        put("其它光盘/大.Cdr", listing);
        put("其它光盘/大.tag", icons);
        m_form->refreshLibrary();
        selectBox("其它光盘\\");
        clickItem("大");
        auto* tvcd = m_form->findChild<QTreeView*>("tvcd");
        tvcd->setCurrentIndex(tvcd->model()->index(0, 0, tvcd->model()->index(0, 0)));
        QCOMPARE(panel("StatusBar2", 1), u("该目录下有197个子项目"));
    }

    void openingReportsAMissingDiscAndAFileWithoutApplication_data()
    {
        QTest::addColumn<bool>("quiet");
        QTest::newRow("quiet") << true;
        QTest::newRow("messages") << false;
    }

    void openingReportsAMissingDiscAndAFileWithoutApplication()
    {
        QFETCH(bool, quiet);
        m_settings.writeInteger("\\software\\Vellumark", "对光盘镜象操作时警示", quiet ? 1 : 0);
        m_drives.addDrive('E', platform::DriveKind::Folder);
        makeForm();
        selectBox("软件光盘\\");
        clickItem("工具盘");
        auto* tvcd = m_form->findChild<QTreeView*>("tvcd");
        tvcd->setCurrentIndex(tvcd->model()->index(1, 0, tvcd->model()->index(0, 0)));
        m_form->openNode();
        const QString absent =
            quiet ? u("光盘没有放到 E: 驱中!") : u("光盘 工具盘 没有放到 E: 驱中!");
        QCOMPARE(quiet ? panel("StatusBar2", 1) : QString::fromStdString(m_dialogs.lastText()),
                 absent);

        m_drives.insert('E', {"TOOLS", 1, m_dir->path()});
        m_shell.answer(platform::OpenResult::NoApplication);
        m_form->openNode();
        QCOMPARE(m_shell.opened().back(), m_dir->path() + "GAME.EXE");
        const QString noApp = u("没有应用程序关联于 GAME.EXE");
        QCOMPARE(quiet ? panel("StatusBar2", 1) : QString::fromStdString(m_dialogs.lastText()),
                 noApp);
    }

    void leavingAChangedDescriptionAsksToSaveIt_data()
    {
        QTest::addColumn<bool>("save");
        QTest::newRow("yes") << true;
        QTest::newRow("no") << false;
    }

    void leavingAChangedDescriptionAsksToSaveIt()
    {
        QFETCH(bool, save);
        m_form->show();
        QApplication::setActiveWindow(m_form.get());
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
        selectBox("软件光盘\\");
        clickItem("工具盘");
        auto* memo = m_form->findChild<QPlainTextEdit*>("MX");
        memo->setFocus();
        memo->setPlainText(u("第一行\n第二行\n"));
        m_dialogs.answerNext(save);
        boxTree()->setFocus();
        QCOMPARE(QString::fromStdString(m_dialogs.lastText()), u("工具盘 已被修改!  是否要保存？"));
        QCOMPARE(readFile(root() + gbk("软件光盘/工具盘.Mx")),
                 save ? gbk("第一行\r\n第二行\r\n") : gbk("好用的工具\r\n"));
        m_dialogs.clear();
        memo->setFocus();
        boxTree()->setFocus();
        QCOMPARE(m_dialogs.shown().size(), save ? size_t{0} : size_t{1});
    }

    void newBoxesComeFromTheDialogOrTheInputBox()
    {
        selectBox("软件光盘\\");
        m_dialogs.typeNext(std::string("工具"));
        m_form->tvnewcdsClick();
        QVERIFY(testing_support::exists(root() + gbk("软件光盘/工具/")));
        QCOMPARE(boxTree()->currentItem()->text(0), u("软件光盘"));
        QCOMPARE(ui::fromGbk(list()->caption(list()->selectedRow())), u("工具"));

        for (const char* refused : {"a\"b", "a:b"}) {
            m_dialogs.typeNext(std::string(refused));
            m_form->tvnewcdsClick();
            QCOMPARE(QString::fromStdString(m_dialogs.lastText()),
                     u("光盘盒的名称不能含有下列字符\r\\/*?:\"><|"));
        }
        m_dialogs.clear();
        m_dialogs.typeNext(std::string("   "));
        m_form->tvnewcdsClick();
        m_dialogs.typeNext(std::string("子盒"));
        m_form->tvnewcdsClick();
        QCOMPARE(m_dialogs.shown().size(), size_t{3});
        QCOMPARE(QString::fromStdString(m_dialogs.lastText()), u("已存在光盘盒: 子盒"));

        // The dialog route, with the parent chosen in the dialog.
        QTimer::singleShot(0, [this] {
            auto* dialog = m_form->findChild<QDialog*>("TNewCDsForm");
            dialog->findChild<QLineEdit*>("Edit1")->setText(u("新盒"));
            dialog->accept();
        });
        m_form->TopNewCDSClick();
        QVERIFY(testing_support::exists(root() + gbk("软件光盘/新盒/")));
        QCOMPARE(ui::fromGbk(list()->caption(list()->selectedRow())), u("新盒"));
    }

    // A name that makes no box leaves both trees as they were.
    void aNameThatMakesNoBoxAddsNothing_data()
    {
        QTest::addColumn<bool>("throughDialog");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("message");
        const QString refused = u("光盘盒的名称不能含有下列字符\r\\/*?:\"><|");
        QTest::newRow("dialog, blanks") << true << u("   ") << QString();
        QTest::newRow("dialog, refused") << true << u("a:b") << refused;
        QTest::newRow("dialog, taken") << true << u("子盒") << u("已存在光盘盒: 子盒");
        QTest::newRow("input box, blanks") << false << u("  ") << QString();
        QTest::newRow("input box, refused") << false << u("a|b") << refused;
        QTest::newRow("input box, taken") << false << u("子盒") << u("已存在光盘盒: 子盒");
    }
    void aNameThatMakesNoBoxAddsNothing()
    {
        QFETCH(bool, throughDialog);
        QFETCH(QString, name);
        QFETCH(QString, message);
        selectBox("软件光盘\\");
        QTreeWidgetItem* parent = boxTree()->currentItem();
        const int children = parent->childCount();
        const QStringList listed = listCaptions();
        newBox(throughDialog, name);
        QCOMPARE(parent->childCount(), children);
        QCOMPARE(listCaptions(), listed);
        const bool said = std::any_of(m_dialogs.shown().begin(), m_dialogs.shown().end(),
                                      [](const auto& shown) { return !shown.question; });
        QCOMPARE(said, !message.isEmpty());
        if (said) {
            QCOMPARE(QString::fromStdString(m_dialogs.lastText()), message);
        }
    }

    void aBoxAddedTwiceIsOneNode_data()
    {
        QTest::addColumn<bool>("throughDialog");
        QTest::newRow("dialog") << true;
        QTest::newRow("input box") << false;
    }
    void aBoxAddedTwiceIsOneNode()
    {
        QFETCH(bool, throughDialog);
        selectBox("软件光盘\\");
        QTreeWidgetItem* parent = boxTree()->currentItem();
        const int children = parent->childCount();
        newBox(throughDialog, u("新盒"));
        newBox(throughDialog, u("新盒"));
        QCOMPARE(parent->childCount(), children + 1);
        QCOMPARE(listCaptions().count(u("新盒")), 1);
        QCOMPARE(QString::fromStdString(m_dialogs.lastText()), u("已存在光盘盒: 新盒"));
        // Removed beside the program and made again: its node is still the only one.
        QCOMPARE(::rmdir((root() + gbk("软件光盘/新盒")).c_str()), 0);
        newBox(throughDialog, u("新盒"));
        QVERIFY(testing_support::exists(root() + gbk("软件光盘/新盒/")));
        QCOMPARE(parent->childCount(), children + 1);
    }

    void addingACdScansDescribesAndShowsIt()
    {
        const std::string disc = m_dir->path() + "disc/";
        writeFile(disc + "A/B/b.jpg", "x");
        writeFile(disc + "A/a.txt", "x");
        writeFile(disc + "setup.exe", "x");
        writeFile(disc + "readme.txt", "read me");
        m_drives.addDrive('E', platform::DriveKind::Folder);
        m_drives.insert('E', {"MYDISC", 681574400, disc});
        makeForm();
        selectBox("软件光盘\\");

        const AddRun run = addCd();
        QCOMPARE(run.offeredName, u("MYDISC"));
        const bool described = run.described;

        QVERIFY(described);
        const std::string base = root() + gbk("软件光盘/MYDISC");
        QCOMPARE(readFile(base + ".Cdr"),
                 std::string("E:\\\r\n\tA\r\n\t\tB\r\n\t\t\tb.jpg\r\n\t\ta.txt\r\n"
                             "\treadme.txt\r\n\tsetup.exe\r\n"));
        QCOMPARE(readFile(base + ".tag"), std::string("0\r\n1\r\n1\r\n6\r\n4\r\n4\r\n3\r\n"));
        QCOMPARE(readFile(base + ".Mx"), gbk("光盘 软件光盘\\MYDISC\r\n"));
        catalog::TCDInfo expected =
            catalog::DefaultCDInfo(catalog::ToDayNumber({2024, 5, 6, 7, 8, 9}));
        expected.cdmoney = "681574400";
        const auto bytes = catalog::EncodeCDInfo(expected);
        QCOMPARE(readFile(base + ".Ifn"), std::string(bytes.begin(), bytes.end()));
        QVERIFY(!testing_support::exists(base + ".FMx"));
        QCOMPARE(panel("StatusBar3", 1), u("MYDISC"));
        QCOMPARE(ui::fromGbk(list()->caption(list()->selectedRow())), u("MYDISC"));
        QCOMPARE(m_drives.doorLog(), (std::vector<std::string>{"open E"}));
    }

    void aNewCdWhoseCapacityIsUnknownGetsItsInformationAtOnce()
    {
        const std::string disc = m_dir->path() + "disc/";
        writeFile(disc + "setup.exe", "x");
        m_drives.addDrive('E', platform::DriveKind::Folder);
        m_drives.insert('E', {"NOSIZE", 0, disc, true});
        makeForm();
        selectBox("软件光盘\\");
        addCd();
        const auto stored = catalog::ReadCDInfo({root() + gbk("软件光盘/"), "NOSIZE"});
        QCOMPARE(stored.status, catalog::CDInfoRead::Status::Ok);
        QCOMPARE(stored.info.cdmoney, std::string());
        QCOMPARE(stored.info.cdstat, gbk("保存中"));
        // "0MB" offers the capacity query at once.
        QCOMPARE(m_form->findChild<QLineEdit*>("cdmoney2")->text(), u("0MB"));
    }

    // Each new CD opens at the top of its tree, sorted into its box, with the box's count.
    void newCdsOpenAtTheTopAndTheBoxCountFollows()
    {
        const std::string disc = m_dir->path() + "disc/";
        for (int i = 0; i < 300; ++i) {
            writeFile(disc + "F" + std::to_string(1000 + i) + ".TXT", "x");
        }
        m_drives.addDrive('E', platform::DriveKind::Folder);
        m_drives.insert('E', {"BIG", 681574400, disc});
        makeForm();
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
        selectBox("软件光盘\\");
        auto* tvcd = m_form->findChild<QTreeView*>("tvcd");
        const auto atTop = [tvcd] {
            const QRect root = tvcd->visualRect(tvcd->model()->index(0, 0));
            return tvcd->verticalScrollBar()->value() == 0 &&
                   tvcd->viewport()->rect().contains(root);
        };

        const QStringList names{u("BIG"), u("AAA")};
        for (int added = 0; added < names.size(); ++added) {
            if (added > 0) {
                m_drives.insert('E', {names[added].toStdString(), 681574400, disc});
            }
            QCoreApplication::processEvents();
            tvcd->scrollToBottom();
            QVERIFY(added == 0 || tvcd->verticalScrollBar()->value() > 0);
            addCd();
            QCoreApplication::processEvents();
            QCOMPARE(panel("StatusBar3", 1), names[added]);
            QVERIFY(tvcd->verticalScrollBar()->maximum() > 0);
            QVERIFY(atTop());
            QCOMPARE(panel("StatusBar1"), u("该类下有1个子光盘盒，%1张光盘").arg(added + 2));
            QCOMPARE(ui::fromGbk(list()->caption(list()->selectedRow())), names[added]);
            QCOMPARE(list()->selectedRows().size(), std::size_t{1});
        }
        QCOMPARE(listCaptions(), (QStringList{u("子盒"), u("AAA"), u("BIG"), u("工具盘")}));
    }

    void addingWithoutADriveSaysSo()
    {
        m_form->TopNewCDClick();
        QCOMPARE(QString::fromStdString(m_dialogs.lastText()), u("你没有光驱，无法加入光盘!"));
    }

    void findAndFindNextWalkTheTreeAndWrapAround()
    {
        put("其它光盘/查.Cdr", "E:\\\r\n\tREADME.TXT\r\n\tSETUP\r\n\treadme.doc\r\n");
        put("其它光盘/查.tag", "0\r\n4\r\n1\r\n14\r\n");
        m_form->refreshLibrary();
        selectBox("其它光盘\\");
        clickItem("查");
        auto* tvcd = m_form->findChild<QTreeView*>("tvcd");
        const auto current = [tvcd] { return tvcd->currentIndex().data().toString(); };
        m_dialogs.typeNext(std::string("readme"));
        m_form->tvcdfindClick();
        QCOMPARE(current(), u("README.TXT"));
        m_form->tvcdfindnextClick();
        QCOMPARE(current(), u("readme.doc"));
        m_form->tvcdfindnextClick();
        QCOMPARE(QString::fromStdString(m_dialogs.lastText()), u("查找 \"readme\" 已到文件末了！"));
        m_form->tvcdfindnextClick();
        QCOMPARE(current(), u("README.TXT"));

        m_dialogs.typeNext(std::string("nothing"));
        m_form->tvcdfindClick();
        QCOMPARE(QString::fromStdString(m_dialogs.lastText()), u("没有找到字串　“nothing”"));
    }

    void goingToTheOriginalPlaceOfAResult()
    {
        putResult("星际/SETUP.mx", gbk("这个查找结果原位置：\r\nOrlendy\\软件光盘\\工具盘\r\n"));
        selectResults("星际\\");
        for (const char* entry : {"工具盘", "SETUP"}) {
            clickItem(entry);
            m_dialogs.answerNext(true);
            m_form->lvoldplClick();
            QVERIFY(m_dialogs.shown().back().question);
            QCOMPARE(QString::fromStdString(m_dialogs.shown().back().text),
                     u("这张被查找出来的光盘原来的位置是:\r\rOrlendy\\软件光盘\r\r转到该位置?"));
            QCOMPARE(boxTree()->currentItem()->text(0), u("软件光盘"));
            QCOMPARE(panel("StatusBar3", 1), u("工具盘"));
            selectResults("星际\\");
        }
        // The box of the catalogued CD is gone.
        selectResults("旧类\\");
        putResult("旧类/远.tgt", gbk("没有的盒\\远.Cdr\r\n"));
        m_form->refreshLibrary();
        selectResults("旧类\\");
        // Selected without opening: opening would drop the stale entry.
        QVERIFY(listCaptions().contains(u("远")));
        list()->selectOnly(static_cast<int>(listCaptions().indexOf(u("远"))));
        m_dialogs.answerNext(true);
        m_form->lvoldplClick();
        QCOMPARE(QString::fromStdString(m_dialogs.lastText()),
                 u("无法转到该位置，可能原光盘位置变了或被删除了！"));
    }

    void aSearchShowsItsCategoryOrRemovesItWhenNothingIsFound()
    {
        selectBox("软件光盘\\");
        searchLibrary("game");
        QCOMPARE(QString::fromStdString(m_dialogs.lastText()), u("找到 1 个相关光盘！"));
        QCOMPARE(boxTree()->currentItem()->text(0), u("包含 game"));
        QCOMPARE(boxTree()->currentItem()->parent()->text(0), u("查找结果"));
        QCOMPARE(listCaptions(), (QStringList{u("工具盘")}));
        QVERIFY(tabShown("TabSheet3"));

        // The remembered text is what "find next" looks for in a shown CD.
        clickItem("工具盘");
        m_form->tvcdfindnextClick();
        auto* tvcd = m_form->findChild<QTreeView*>("tvcd");
        QCOMPARE(tvcd->currentIndex().data().toString(), u("GAME.EXE"));

        // Nothing found: the empty category and the emptied results folder go.
        ::unlink((root() + Results + "/" + gbk("星际/工具盘.tgt")).c_str());
        for (const char* category : {"星际", "旧类", "包含 game"}) {
            const std::string folder = root() + Results + "/" + gbk(category) + "/";
            std::vector<catalog::DirEntry> entries;
            catalog::ListFolder(folder, entries);
            for (const auto& entry : entries) {
                ::unlink((folder + entry.name).c_str());
            }
            ::rmdir(folder.c_str());
        }
        m_form->refreshLibrary();
        searchLibrary("nowhere");
        QCOMPARE(QString::fromStdString(m_dialogs.lastText()), u("没有找到相关光盘！"));
        QVERIFY(!testing_support::exists(root() + Results));
    }

    void locatingDescribedNodesJumpsAndSavesEdits()
    {
        put("软件光盘/工具盘.FMx", gbk("SETUP\\\r\n安装\r\nSETUP\\说明.TXT\\\r\n说明\r\n"));
        selectBox("软件光盘\\");
        clickItem("工具盘");
        QTimer::singleShot(0, [this] {
            auto* locate = m_form->findChild<search::TLocForm*>("TLocForm");
            auto* list = locate->findChild<QTreeWidget*>("ListView1");
            list->setCurrentItem(list->topLevelItem(0));
            locate->findChild<QPushButton*>("Button3")->click(); // delete the first
            list->setCurrentItem(list->topLevelItem(0));
            locate->findChild<QPushButton*>("Button1")->click(); // locate the other
        });
        m_form->tvcdLocMXClick();
        QCOMPARE(readFile(root() + gbk("软件光盘/工具盘.FMx")),
                 gbk("SETUP\\说明.TXT\\\r\n说明\r\n"));
        auto* tvcd = m_form->findChild<QTreeView*>("tvcd");
        QCOMPARE(tvcd->currentIndex().data().toString(), u("说明.TXT"));
        QCOMPARE(panel("StatusBar5"), u("描述: 说明"));

        selectBox("游戏光盘\\");
        clickItem("星际");
        m_form->tvcdLocMXClick();
        QCOMPARE(QString::fromStdString(m_dialogs.lastText()),
                 u("该张光盘里没有 有描述的文件夹或文件!"));
    }

    // Each button of a bar shows a picture, and no two buttons of one bar the same one,
    // with the program's own pictures and with a desktop theme's.
    void everyToolButtonHasAnIconOfItsOwn_data()
    {
        QTest::addColumn<QString>("theme");
        QTest::newRow("no theme") << QString();
        QTest::newRow("Adwaita") << u("Adwaita");
    }
    void everyToolButtonHasAnIconOfItsOwn()
    {
        QFETCH(QString, theme);
        const QString themeBefore = QIcon::themeName();
        const QStringList pathsBefore = QIcon::themeSearchPaths();
        const auto restoreTheme = qScopeGuard([&] {
            QIcon::setThemeName(themeBefore);
            QIcon::setThemeSearchPaths(pathsBefore);
        });
        QIcon::setThemeSearchPaths(pathsBefore + QStringList{u("/usr/share/icons")});
        QIcon::setThemeName(theme);
        if (!theme.isEmpty() && !QIcon::hasThemeIcon(u("edit-find"))) {
            QSKIP("the theme is not installed");
        }
        makeForm();
        for (const char* bar : {"ToolBar1", "ToolBar2", "ToolBar3"}) {
            std::vector<std::pair<QString, QImage>> seen;
            for (QToolButton* button :
                 m_form->findChild<QToolBar*>(bar)->findChildren<QToolButton*>()) {
                if (button->objectName().startsWith(u("qt_"))) {
                    continue; // the bar's own overflow button
                }
                const QString name = button->defaultAction() != nullptr
                                         ? button->defaultAction()->objectName()
                                         : button->objectName();
                const QImage image = button->icon().pixmap(24).toImage();
                QVERIFY2(!image.isNull(), qPrintable(name + u(" has no icon")));
                for (const auto& [other, picture] : seen) {
                    QVERIFY2(image != picture, qPrintable(name + u(" looks like ") + other));
                }
                seen.emplace_back(name, image);
            }
            QVERIFY(seen.size() >= 5);
        }
    }

    void refreshRereadsTheLibraryAndSelectsTheRoot()
    {
        selectBox("软件光盘\\");
        put("新盒/a.Cdr", "E:\\\r\n");
        m_form->refreshLibrary();
        QCOMPARE(boxTree()->currentItem(), boxTree()->topLevelItem(0));
        QVERIFY(listCaptions().contains(u("新盒")));
    }

    // A pointer names the listing as ".Cdr" or as the file is spelled; both lead to it.
    void aFoundCdOpensItsRecordWhateverTheSpellingOfItsListing()
    {
        ::rename((root() + gbk("软件光盘/工具盘.Cdr")).c_str(),
                 (root() + gbk("软件光盘/工具盘.cdr")).c_str());
        selectResults("星际\\");
        clickItem("工具盘");
        QCOMPARE(panel("StatusBar2"), u("总共有1个文件夹,2个文件"));
        QVERIFY(testing_support::exists(root() + Results + "/" + gbk("星际/工具盘.tgt")));
        QCOMPARE(listCaptions(), (QStringList{u("SETUP"), u("工具盘")}));
    }

    void aRepeatedSearchInAnotherCaseKeepsOneCategory()
    {
        selectBox("软件光盘\\");
        searchLibrary("GAME");
        searchLibrary("game");
        QStringList categories;
        QTreeWidgetItem* results = boxTree()->currentItem()->parent();
        for (int i = 0; i < results->childCount(); ++i) {
            categories << results->child(i)->text(0);
        }
        QCOMPARE(categories.filter(u("包含 game"), Qt::CaseInsensitive),
                 QStringList{u("包含 game")});
        m_form->refreshLibrary();
        selectResults();
        QCOMPARE(listCaptions().filter(u("包含 game"), Qt::CaseInsensitive),
                 QStringList{u("包含 game")});
    }

    // Another program may describe nodes of the CD being shown; what it wrote stays.
    void describingANodeKeepsDescriptionsWrittenMeanwhile()
    {
        selectBox("软件光盘\\");
        clickItem("工具盘");
        put("软件光盘/工具盘.FMx", gbk("SETUP\\\r\n安装\r\nGAME.EXE\\\r\n游戏\r\n"));
        auto* tvcd = m_form->findChild<QTreeView*>("tvcd");
        const QModelIndex setup = tvcd->model()->index(0, 0, tvcd->model()->index(0, 0));
        tvcd->setCurrentIndex(setup);
        m_dialogs.typeNext(std::string("新的安装"));
        m_form->describeNode();
        QCOMPARE(readFile(root() + gbk("软件光盘/工具盘.FMx")),
                 gbk("SETUP\\\r\n新的安装\r\nGAME.EXE\\\r\n游戏\r\n"));

        // The locate dialog's edits keep them too.
        put("软件光盘/工具盘.FMx", gbk("SETUP\\\r\n新的安装\r\nGAME.EXE\\\r\n游戏\r\n"
                                       "SETUP\\说明.TXT\\\r\n说明\r\n"));
        QTimer::singleShot(0, [this] {
            auto* locate = m_form->findChild<search::TLocForm*>("TLocForm");
            auto* list = locate->findChild<QTreeWidget*>("ListView1");
            list->setCurrentItem(list->topLevelItem(0));
            locate->findChild<QPushButton*>("Button3")->click(); // delete SETUP's
            locate->reject();
        });
        m_form->tvcdLocMXClick();
        QCOMPARE(readFile(root() + gbk("软件光盘/工具盘.FMx")),
                 gbk("GAME.EXE\\\r\n游戏\r\nSETUP\\说明.TXT\\\r\n说明\r\n"));
    }
};

QTEST_MAIN(MainFormTest)
#include "mainform_test.moc"
