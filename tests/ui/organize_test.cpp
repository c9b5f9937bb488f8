// Moving, copying, renaming, deleting and clearing from the main window, driven by the
// control names, against libraries written byte by byte.

#include "catalog/record_set.h"
#include "app/cd_list_view.h"
#include "app/mainunit.h"
#include "app/panel_bar.h"
#include "catalog/disk.h"
#include "catalog/library.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fake_drives.h"
#include "tests/support/fake_settings_store.h"
#include "tests/support/fake_shell.h"
#include "tests/support/fake_user_dialogs.h"
#include "tests/support/temp_library.h"
#include "tests/support/ui_helpers.h"
#include "ui/gbk_text.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>

#include <functional>
#include <memory>
#include <optional>

using testing_support::exists;
using testing_support::gbk;
using testing_support::walk;
using testing_support::readFile;

namespace {

const std::string Results = "\xFF" + gbk("查找结果");

QString u(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

QStringList sorted(QStringList texts)
{
    texts.sort();
    return texts;
}

QStringList childTexts(const QTreeWidgetItem* item)
{
    QStringList texts;
    for (int i = 0; item != nullptr && i < item->childCount(); ++i) {
        texts << item->child(i)->text(0);
    }
    return sorted(texts);
}

// What the move dialog showed when it came up.
struct DialogSeen
{
    bool opened = false;
    QStringList boxes; // under the root node
    QString selected;
    bool copyChecked = false;
    bool copyEnabled = false;
};

} // namespace

class OrganizeTest : public QObject
{
    Q_OBJECT

private:
    // The desktop's trash lands in a folder of the test, on the library's file system.
    testing_support::TempDir m_dataHome;
    std::unique_ptr<testing_support::TempDir> m_dir;
    testing_support::FakeSettingsStore m_settings;
    testing_support::FakeDrives m_drives;
    testing_support::FakeUserDialogs m_dialogs;
    testing_support::FakeClock m_clock{{2024, 5, 6, 7, 8, 9, 0}};
    testing_support::FakeShell m_shell;
    std::unique_ptr<app::Tmainform> m_form;

    std::string root() const { return m_dir->path() + "Orlendy/"; }
    std::string at(const char* relativeUtf8) const { return root() + gbk(relativeUtf8); }
    void put(const char* relativeUtf8, std::string_view bytes)
    {
        testing_support::writeFile(at(relativeUtf8), bytes);
    }
    // Whether the file or folder below the root exists; a record file in any spelling of
    // its extension.
    bool has(const QString& relativeUtf8) const
    {
        const std::string path = root() + ui::toGbk(relativeUtf8);
        const auto slash = path.rfind('/');
        const auto dot = path.rfind('.');
        if (exists(path) || dot == std::string::npos || dot < slash) {
            return exists(path);
        }
        return !catalog::FindRecordFile(path.substr(0, slash + 1),
                                        path.substr(slash + 1, dot - slash - 1), path.substr(dot))
                    .empty();
    }
    void makeForm(bool quiet = true)
    {
        m_settings.writeInteger(catalog::SoftwareKey, "对光盘镜象操作时警示", quiet ? 1 : 0);
        m_form = std::make_unique<app::Tmainform>(app::MainServices{
            m_settings, m_drives, m_dialogs, m_clock, m_shell, root(), m_dir->path()});
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
        boxTree()->expandAll();
    }
    QTreeWidget* boxTree() const { return m_form->findChild<QTreeWidget*>("TVstyle"); }
    app::CdListView* list() const { return m_form->findChild<app::CdListView*>("LVcd"); }
    QAbstractItemView* listView() const
    {
        return qobject_cast<QAbstractItemView*>(list()->currentView());
    }
    QTreeView* content() const { return m_form->findChild<QTreeView*>("tvcd"); }
    QAction* action(const char* name) const { return m_form->findChild<QAction*>(name); }
    void trigger(const char* name) { action(name)->trigger(); }
    QString panel(const char* bar, int index = 0) const
    {
        return m_form->findChild<app::PanelBar*>(bar)->panelText(index);
    }
    QString said() const { return QString::fromStdString(m_dialogs.lastText()); }
    QTreeWidgetItem* node(const QString& path) const
    {
        return walk(boxTree()->topLevelItem(0), path);
    }
    QString selectedPath() const { return testing_support::currentPath(*boxTree()); }
    QStringList captions(bool selectedOnly = false) const
    {
        QStringList shown;
        const auto selected = list()->selectedRows();
        for (int row = 0; row < list()->count(); ++row) {
            if (!selectedOnly ||
                std::find(selected.begin(), selected.end(), row) != selected.end()) {
                shown << ui::fromGbk(list()->caption(row));
            }
        }
        return shown;
    }
    // The box or category of that path shown, and those items selected in its list; by a
    // click, or else as the press that starts a drag selects them.
    void show(const QString& path, const QStringList& items = {}, bool click = true)
    {
        boxTree()->setCurrentItem(node(path));
        list()->clearSelection();
        for (const QString& item : items) {
            QVERIFY(captions().contains(item));
            list()->selectRow(static_cast<int>(captions().indexOf(item)));
        }
        if (click) {
            m_form->LVcdClick();
        }
    }

    // Runs the command, answering the move dialog: the target box (display names, "" the
    // root), the copy choice when given, then OK or Cancel.
    DialogSeen throughMoveDialog(const std::function<void()>& command, const QString& target,
                                 std::optional<bool> copy, bool confirm = true)
    {
        DialogSeen seen;
        QTimer driver;
        connect(&driver, &QTimer::timeout, [&] {
            auto* dialog = m_form->findChild<QDialog*>("TMoveForm");
            if (seen.opened || dialog == nullptr || !dialog->isVisible()) {
                return;
            }
            QCOMPARE(dialog->windowTitle(), u("移动/复制 到..."));
            auto* tree = dialog->findChild<QTreeWidget*>("TreeView1");
            auto* copyBox = dialog->findChild<QCheckBox*>("CheckBox1");
            seen = {true, childTexts(tree->topLevelItem(0)), tree->currentItem()->text(0),
                    copyBox->isChecked(), copyBox->isEnabled()};
            tree->setCurrentItem(walk(tree->topLevelItem(0), target));
            if (copy) {
                copyBox->setChecked(*copy);
            }
            dialog->findChild<QPushButton*>(confirm ? "BitBtn1" : "BitBtn2")->click();
        });
        driver.start(10);
        command();
        return seen;
    }

    // With the box shown and the item selected, a drag from pane (a pane's name, "" another
    // program) onto a box tree path (ending in a backslash, "\\" the root) or a list item:
    // whether it is accepted on entering, and with drop set whether the drop is (its work
    // done then). Entering passes through the window's routing; Qt delivers the moves and
    // drops of no real drag to nobody, so the drop goes to its handler.
    bool drag(const QString& shown, const QString& item, const char* pane, const QString& onto,
              bool control, bool drop, bool clicked = true)
    {
        show(shown, item.isEmpty() ? QStringList() : QStringList{item}, clicked);
        const bool ontoTree = onto.endsWith(QLatin1Char('\\'));
        QPoint point;
        if (ontoTree) {
            boxTree()->scrollToItem(node(onto));
            point = boxTree()->visualItemRect(node(onto)).center();
        } else {
            const int row = static_cast<int>(captions().indexOf(onto));
            point = listView()->visualRect(listView()->model()->index(row, 0)).center();
        }
        QMimeData data;
        if (*pane != '\0') {
            data.setData(QString::fromLatin1(app::PaneDragFormat), pane);
        } else {
            data.setText(QStringLiteral("another program"));
        }
        const auto keys = control ? Qt::ControlModifier : Qt::NoModifier;
        const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
        QDragEnterEvent enter(point, actions, &data, Qt::LeftButton, keys);
        enter.ignore();
        QApplication::sendEvent(ontoTree ? boxTree()->viewport() : listView()->viewport(), &enter);
        if (!drop || !enter.isAccepted()) {
            return enter.isAccepted();
        }
        QDropEvent dropped(QPointF(point), actions, &data, Qt::LeftButton, keys);
        dropped.ignore();
        ontoTree ? m_form->TVstyleDragDrop(&dropped) : m_form->LVcdDragDrop(&dropped);
        QCoreApplication::processEvents();
        return dropped.isAccepted();
    }

    // The right button on a view as the platform delivers it: press, release and the
    // request for a context menu; the menu that comes up is closed again.
    void rightClick(QWidget* viewport, QPoint point, const char* menuName)
    {
        QTest::mousePress(viewport, Qt::RightButton, {}, point);
        QTest::mouseRelease(viewport, Qt::RightButton, {}, point);
        QContextMenuEvent request(QContextMenuEvent::Mouse, point, viewport->mapToGlobal(point));
        QApplication::sendEvent(viewport, &request);
        auto* menu = m_form->findChild<QMenu*>(menuName);
        QTRY_VERIFY(menu->isVisible());
        menu->hide();
    }
    void rightClickNode(const QString& path)
    {
        rightClick(boxTree()->viewport(), boxTree()->visualItemRect(node(path)).center(),
                   "PopupMenu1");
    }
    // The menu item after a right click on the node; false when it was off.
    bool fromBoxTreeMenu(const QString& path, const char* itemName)
    {
        rightClickNode(path);
        const bool enabled = action(itemName)->isEnabled();
        trigger(itemName);
        return enabled;
    }

private slots:
    void initTestCase() { qputenv("XDG_DATA_HOME", QByteArray::fromStdString(m_dataHome.path())); }

    void init()
    {
        m_dir = std::make_unique<testing_support::TempDir>();
        m_settings = {};
        m_dialogs = {};
        put("软件光盘/工具盘.Cdr", gbk("E:\\\r\n\tSETUP\r\n\t\t说明.TXT\r\n\tGAME.EXE\r\n"));
        put("软件光盘/工具盘.tag", "0\r\n1\r\n4\r\n3\r\n");
        put("软件光盘/工具盘.Mx", gbk("好用的工具\r\n"));
        put("软件光盘/工具盘.FMx", gbk("SETUP\\\r\n安装\r\n"));
        put("软件光盘/办公盘.cdr", "F:\\\r\n");
        put("软件光盘/说明.txt", "not a record");
        put("软件光盘/子盒/深盒/x.Cdr", "E:\\\r\n");
        put("游戏光盘/星际.cdr", "F:\\\r\n\tSTAR.EXE\r\n");
        put("游戏光盘/星际.TAG", "0\r\n3\r\n");
        testing_support::makeFolders(at("音乐光盘"));
        testing_support::writeFile(root() + Results + "/" + gbk("星际/工具盘.tgt"),
                                   gbk("软件光盘\\工具盘.Cdr\r\n"));
        testing_support::writeFile(root() + Results + "/" + gbk("星际/SETUP.fid"),
                                   "E:\\\r\n\tSETUP\r\n");
    }

    void cleanup()
    {
        m_form.reset();
        m_dir.reset();
    }

    void theMoveDialogOffersTheBoxesAndKeepsTheCopyChoice()
    {
        makeForm();
        show(u("游戏光盘\\"));
        const DialogSeen first =
            throughMoveDialog([this] { trigger("tvtbmove"); }, u("软件光盘\\"), false, false);
        QCOMPARE(first.boxes, sorted({u("软件光盘"), u("音乐光盘"), u("游戏光盘")}));
        QCOMPARE(first.selected, u("游戏光盘"));
        QVERIFY(first.copyChecked && first.copyEnabled);
        QVERIFY(has(u("游戏光盘/星际.cdr")) && !has(u("软件光盘/游戏光盘")));
        // Unticked and cancelled: the next opening keeps the user's choice.
        const DialogSeen second = throughMoveDialog(
            [this] { fromBoxTreeMenu(u("游戏光盘\\"), "tvmove"); }, u(""), {}, false);
        QVERIFY(second.opened && !second.copyChecked);
    }

    void boxesMoveOrCopyOrAreRefused_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("copy");
        QTest::addColumn<QString>("message"); // "" when the box goes
        const QString inside = u("不能移动/复制给 父项目或自己或自己的子项目!");
        QTest::newRow("move") << u("软件光盘\\") << u("游戏光盘\\") << false << u("");
        QTest::newRow("copy") << u("软件光盘\\") << u("游戏光盘\\") << true << u("");
        QTest::newRow("into its own sub-box")
            << u("软件光盘\\") << u("软件光盘\\子盒\\") << false << inside;
        QTest::newRow("copy to its parent")
            << u("软件光盘\\子盒\\") << u("软件光盘\\") << true << inside;
        QTest::newRow("a box of that name at the target")
            << u("软件光盘\\子盒\\") << u("游戏光盘\\") << false
            << u("目标类别 \"游戏光盘 \"下\r\r已含有与源类别 \"子盒 \" 同名的类别！");
    }
    void boxesMoveOrCopyOrAreRefused()
    {
        QFETCH(QString, source);
        QFETCH(QString, target);
        QFETCH(bool, copy);
        QFETCH(QString, message);
        testing_support::makeFolders(at("游戏光盘/子盒"));
        makeForm();
        show(source);
        QVERIFY(throughMoveDialog([this] { trigger("tvtbmove"); }, target, copy).opened);
        if (!message.isEmpty()) {
            QCOMPARE(said(), message);
            QCOMPARE(m_dialogs.shown().back().icon, platform::MessageIcon::Error);
            QVERIFY(has(u("软件光盘/子盒/深盒/x.Cdr")));
            QCOMPARE(selectedPath() + u("\\"), source);
            return;
        }
        QVERIFY(has(u("游戏光盘/软件光盘/子盒/深盒/x.Cdr")));
        QCOMPARE(has(u("软件光盘/工具盘.Cdr")), copy);
        QCOMPARE(node(u("软件光盘\\")) != nullptr, copy);
        QCOMPARE(childTexts(node(u("游戏光盘\\软件光盘\\"))), QStringList{u("子盒")});
        QCOMPARE(selectedPath(), u("游戏光盘\\软件光盘"));
        QVERIFY(boxTree()->currentItem()->isExpanded());
        QCOMPARE(captions(), (QStringList{u("子盒"), u("办公盘"), u("工具盘")}));
    }

    void listItemsMoveThroughTheDialogAndAreSelectedAtTheTarget()
    {
        makeForm();
        show(u("软件光盘\\"), {u("子盒"), u("工具盘"), u("办公盘")});
        QVERIFY(throughMoveDialog([this] { trigger("lvtbmove"); }, u("游戏光盘\\"), false).opened);
        for (const char* file : {"工具盘.Cdr", "工具盘.tag", "工具盘.Mx", "工具盘.FMx",
                                 "办公盘.cdr", "子盒/深盒/x.Cdr"}) {
            QVERIFY2(has(u("游戏光盘/") + u(file)) && !has(u("软件光盘/") + u(file)), file);
        }
        // A CD without a .tag arrives without one; a file that is no record stays.
        QVERIFY(!has(u("游戏光盘/办公盘.tag")) && has(u("软件光盘/说明.txt")));
        QCOMPARE(childTexts(node(u("游戏光盘\\"))), QStringList{u("子盒")});
        QCOMPARE(childTexts(node(u("软件光盘\\"))), QStringList());
        QCOMPARE(selectedPath(), u("游戏光盘"));
        QCOMPARE(captions(true), (QStringList{u("子盒"), u("办公盘"), u("工具盘")}));
    }

    void aCdOfTheSameNameIsReplacedOnlyWhenTheUserSaysSo_data()
    {
        QTest::addColumn<bool>("replace");
        QTest::newRow("yes") << true;
        QTest::newRow("no") << false;
    }
    void aCdOfTheSameNameIsReplacedOnlyWhenTheUserSaysSo()
    {
        QFETCH(bool, replace);
        put("游戏光盘/工具盘.cdr", "old\r\n");
        makeForm();
        show(u("软件光盘\\"), {u("工具盘")});
        m_dialogs.answerNext(replace);
        QVERIFY(throughMoveDialog([this] { trigger("lvtbmove"); }, u("游戏光盘\\"), true).opened);
        QCOMPARE(m_dialogs.shown().size(), std::size_t{1});
        QCOMPARE(said(), u("目标光盘盒 \"游戏光盘 \"下\r已含有与源光盘 \"工具盘 \" "
                           "同名的光盘！\r\r是否要覆盖？"));
        const std::string target = catalog::FindRecordFile(at("游戏光盘/"), gbk("工具盘"), ".cdr");
        QCOMPARE(readFile(target) == "old\r\n", !replace);
        QCOMPARE(has(u("游戏光盘/工具盘.Mx")), replace);
        QVERIFY(has(u("软件光盘/工具盘.Cdr")));
    }

    void foundCdsAreCopiedWhateverTheCopyChoice()
    {
        makeForm();
        show(u("游戏光盘\\"));
        throughMoveDialog([this] { trigger("tvtbmove"); }, u(""), false, false);
        show(u("查找结果\\星际\\"), {u("工具盘")});
        const DialogSeen seen =
            throughMoveDialog([this] { trigger("lvtbmove"); }, u("游戏光盘\\"), std::nullopt);
        QVERIFY(seen.opened && !seen.copyEnabled && !seen.copyChecked);
        QCOMPARE(seen.selected, u("Orlendy"));
        QVERIFY(has(u("游戏光盘/工具盘.Cdr")) && has(u("游戏光盘/工具盘.Mx")));
        QVERIFY(has(u("软件光盘/工具盘.Cdr")));
        QVERIFY(exists(root() + Results + "/" + gbk("星际/工具盘.tgt")));
        QCOMPARE(selectedPath(), u("游戏光盘"));
        QCOMPARE(captions(true), QStringList{u("工具盘")});
        QVERIFY(throughMoveDialog([this] { trigger("tvtbmove"); }, u(""), {}, false).copyEnabled);
    }

    void dropsMoveOrCopy_data()
    {
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("pane");
        QTest::addColumn<QString>("onto");
        QTest::addColumn<bool>("control");
        QTest::addColumn<QString>("arrived"); // a file below the library root
        QTest::addColumn<QString>("source");  // the file it came from
        QTest::addColumn<bool>("sourceStays");
        const QString deep = u("软件光盘/子盒/深盒/x.Cdr");
        const QString tool = u("软件光盘/工具盘.Cdr");
        QTest::newRow("box onto a box")
            << u("软件光盘\\子盒\\") << u("") << u("TVstyle") << u("游戏光盘\\") << false
            << u("游戏光盘/子盒/深盒/x.Cdr") << deep << false;
        QTest::newRow("box onto the root, control")
            << u("软件光盘\\子盒\\") << u("") << u("TVstyle") << u("\\") << true
            << u("子盒/深盒/x.Cdr") << deep << true;
        QTest::newRow("CD onto the tree")
            << u("软件光盘\\") << u("工具盘") << u("LVcd") << u("音乐光盘\\") << false
            << u("音乐光盘/工具盘.Cdr") << tool << false;
        QTest::newRow("CD onto a box of the list, control")
            << u("软件光盘\\") << u("工具盘") << u("LVcd") << u("子盒") << true
            << u("软件光盘/子盒/工具盘.Cdr") << tool << true;
        QTest::newRow("found CD, always a copy")
            << u("查找结果\\星际\\") << u("工具盘") << u("LVcd") << u("音乐光盘\\") << false
            << u("音乐光盘/工具盘.Cdr") << tool << true;
        QTest::newRow("CD onto its own box") << u("软件光盘\\") << u("工具盘") << u("LVcd")
                                             << u("软件光盘\\") << false << tool << tool << true;
    }
    void dropsMoveOrCopy()
    {
        QFETCH(QString, shown);
        QFETCH(QString, item);
        QFETCH(QString, pane);
        QFETCH(QString, onto);
        QFETCH(bool, control);
        QFETCH(QString, arrived);
        QFETCH(QString, source);
        QFETCH(bool, sourceStays);
        makeForm();
        QVERIFY(drag(shown, item, pane.toLatin1().constData(), onto, control, true));
        QVERIFY(has(arrived));
        QCOMPARE(has(source), sourceStays);
        QCOMPARE(m_dialogs.shown().size(), std::size_t{0});
    }

    void dragsThatCannotDropAreRefused_data()
    {
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("pane");
        QTest::addColumn<QString>("onto");
        QTest::newRow("the root selected") << u("") << u("") << u("TVstyle") << u("游戏光盘\\");
        QTest::newRow("onto the results")
            << u("软件光盘\\") << u("") << u("TVstyle") << u("查找结果\\");
        QTest::newRow("the tree onto the list")
            << u("软件光盘\\") << u("") << u("TVstyle") << u("子盒");
        QTest::newRow("a found folder")
            << u("查找结果\\星际\\") << u("SETUP") << u("LVcd") << u("游戏光盘\\");
        QTest::newRow("another program") << u("软件光盘\\") << u("") << u("") << u("游戏光盘\\");
        QTest::newRow("onto a CD of the list")
            << u("软件光盘\\") << u("子盒") << u("LVcd") << u("工具盘");
    }
    void dragsThatCannotDropAreRefused()
    {
        QFETCH(QString, shown);
        QFETCH(QString, item);
        QFETCH(QString, pane);
        QFETCH(QString, onto);
        makeForm();
        for (const bool control : {false, true}) {
            QVERIFY(!drag(shown, item, pane.toLatin1().constData(), onto, control, false));
        }
    }

    // The press that starts a drag selects the item and the drag takes the release that
    // would show it; offscreen, every drag ends at once without a drop, as a refused one.
    void aRefusedDragLeavesTheItemShownWithItsCommands()
    {
        makeForm();
        show(u("软件光盘\\"));
        QVERIFY(!action("lvtbdel")->isEnabled());
        const int row = static_cast<int>(captions().indexOf(u("工具盘")));
        const QPoint from = listView()->visualRect(listView()->model()->index(row, 0)).center();
        const QPoint away(0, 3 * QApplication::startDragDistance());
        QTest::mousePress(listView()->viewport(), Qt::LeftButton, {}, from);
        QTest::mouseMove(listView()->viewport(), from + away / 3);
        QTest::mouseMove(listView()->viewport(), from + away);
        QTRY_COMPARE(panel("StatusBar3", 1), u("工具盘"));
        QCOMPARE(captions(true), QStringList{u("工具盘")});
        QVERIFY(action("lvtbdel")->isEnabled() && action("lvtbmove")->isEnabled() &&
                action("lvtbren")->isEnabled());
        QCOMPARE(content()->model()->rowCount(content()->model()->index(0, 0)), 2);
        QTest::mouseRelease(listView()->viewport(), Qt::LeftButton, {}, from + away);
    }

    // A drop on the items' own box moves nothing and leaves them shown.
    void aDropOnItsOwnBoxLeavesTheItemShown()
    {
        makeForm();
        QVERIFY(drag(u("软件光盘\\"), u("工具盘"), "LVcd", u("软件光盘\\"), false, true, false));
        QCOMPARE(captions(true), QStringList{u("工具盘")});
        QCOMPARE(panel("StatusBar3", 1), u("工具盘"));
        QVERIFY(action("lvtbdel")->isEnabled() && action("lvtbren")->isEnabled());
    }

    // The counts under the box tree follow the deletions from the list.
    void theBoxCountsFollowTheCommands_data()
    {
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("counts");
        QTest::newRow("the only CD deleted")
            << u("游戏光盘\\") << u("星际") << u("该类下有0个子光盘盒，0张光盘");
        QTest::newRow("a box deleted from the list")
            << u("软件光盘\\") << u("子盒") << u("该类下有0个子光盘盒，2张光盘");
        QTest::newRow("a found CD deleted")
            << u("查找结果\\星际\\") << u("工具盘") << u("有0个子查找类别，1个查找结果");
    }
    void theBoxCountsFollowTheCommands()
    {
        QFETCH(QString, shown);
        QFETCH(QString, item);
        QFETCH(QString, counts);
        makeForm();
        show(shown, {item});
        m_dialogs.answerNext(true);
        trigger("lvtbdel");
        QCOMPARE(selectedPath() + u("\\"), shown);
        QCOMPARE(panel("StatusBar1"), counts);
    }

    void deletingABoxAsksAndGoesToTheTrash()
    {
        makeForm();
        show(u("软件光盘\\子盒\\"));
        QTest::keyClick(boxTree(), Qt::Key_Delete);
        QCOMPARE(said(), u("是否要删除光盘盒 \"Orlendy\\软件光盘\\子盒\" 连同它的所有子项目？"));
        QVERIFY(has(u("软件光盘/子盒/深盒/x.Cdr")));

        m_dialogs.answerNext(true);
        QVERIFY(fromBoxTreeMenu(u("软件光盘\\子盒\\"), "tvdel"));
        QVERIFY(!has(u("软件光盘/子盒")));
        QVERIFY(exists(m_dataHome.path() + "Trash/files/" + gbk("子盒/深盒/x.Cdr")));
        QCOMPARE(node(u("软件光盘\\子盒\\")), nullptr);
        QCOMPARE(selectedPath(), u("软件光盘"));
        QCOMPARE(captions(), (QStringList{u("办公盘"), u("工具盘")}));
        // The root is never deleted.
        QVERIFY(!fromBoxTreeMenu(u(""), "tvdel"));
        QVERIFY(!action("tvtbdel")->isEnabled());
    }

    void deletingListItemsAsksOnceAndMirrorsTheTree()
    {
        makeForm();
        show(u("软件光盘\\"), {u("子盒"), u("办公盘"), u("工具盘")});
        QTest::keyClick(listView(), Qt::Key_Delete);
        QCOMPARE(said(), u("是否要删除选定项目？"));
        QCOMPARE(captions().size(), 3);

        m_dialogs = {};
        m_dialogs.answerNext(true);
        trigger("lvtbdel");
        QCOMPARE(m_dialogs.shown().size(), std::size_t{1});
        QCOMPARE(captions(), QStringList());
        QCOMPARE(childTexts(node(u("软件光盘\\"))), QStringList());
        for (const char* gone : {"子盒", "工具盘.Cdr", "工具盘.FMx", "办公盘.cdr"}) {
            QVERIFY2(!has(u("软件光盘/") + u(gone)), gone);
        }
        QVERIFY(has(u("软件光盘/说明.txt")));
        QCOMPARE(panel("StatusBar4"), QString());

        // A found CD goes alone; the CD it points to stays.
        put("软件光盘/工具盘.Cdr", "E:\\\r\n");
        put("软件光盘/工具盘.tag", "0\r\n");
        show(u("查找结果\\星际\\"), {u("工具盘")});
        m_dialogs.answerNext(true);
        trigger("lvtbdel");
        QCOMPARE(captions(), QStringList{u("SETUP")});
        QVERIFY(has(u("软件光盘/工具盘.Cdr")));
    }

    void renamingABoxOrACd_data()
    {
        QTest::addColumn<QString>("item"); // the list item renamed; "" the selected box
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message"); // "" when nothing is said
        QTest::addColumn<QString>("found");   // a file or folder there afterwards
        QTest::addColumn<QStringList>("listed");
        const QString tool = u("软件光盘/工具盘.Cdr");
        const QStringList before = {u("abc"), u("子盒"), u("办公盘"), u("工具盘")};
        QTest::newRow("box: a colon")
            << u("") << u("a:b") << u("光盘盒的名称不能含有下列字符\r\\/*?:\"><|") << tool
            << before;
        QTest::newRow("box: taken")
            << u("") << u("游戏光盘") << u("光盘盒 \"游戏光盘\" 已存在！") << tool << before;
        QTest::newRow("box: renamed")
            << u("") << u("工具光盘") << u("") << u("工具光盘/工具盘.Cdr") << before;
        QTest::newRow("listed box: taken") << u("子盒") << u("abc") << u("光盘盒 abc 已存在！")
                                           << u("软件光盘/子盒/深盒") << before;
        QTest::newRow("listed box: renamed, sorted again")
            << u("子盒") << u("工具盘") << u("") << u("软件光盘/工具盘/深盒")
            << QStringList{u("abc"), u("工具盘"), u("办公盘"), u("工具盘")};
        QTest::newRow("CD: taken")
            << u("工具盘") << u("办公盘") << u("光盘 \"办公盘 \"已存在！") << tool << before;
        QTest::newRow("CD: renamed in its place")
            << u("工具盘") << u("新工具盘") << u("") << u("软件光盘/新工具盘.FMx")
            << QStringList{u("abc"), u("子盒"), u("办公盘"), u("新工具盘")};
    }
    void renamingABoxOrACd()
    {
        QFETCH(QString, item);
        QFETCH(QString, typed);
        QFETCH(QString, message);
        QFETCH(QString, found);
        QFETCH(QStringList, listed);
        testing_support::makeFolders(at("软件光盘/abc"));
        makeForm();
        show(u("软件光盘\\"), item.isEmpty() ? QStringList() : QStringList{item});
        m_dialogs.typeNext(typed.toStdString());
        // F2 in the pane that holds the box or the CD.
        QTest::keyClick(item.isEmpty() ? static_cast<QWidget*>(boxTree()) : listView(), Qt::Key_F2);
        const QString asked = item == u("工具盘") ? u("重命名光盘|请输入新的光盘名称|")
                                                  : u("重命名光盘盒|请输入新的光盘盒名称|");
        QCOMPARE(QString::fromStdString(m_dialogs.shown().at(0).text),
                 asked + (item.isEmpty() ? u("软件光盘") : item));
        QCOMPARE(m_dialogs.shown().size(), std::size_t{message.isEmpty() ? 1u : 2u});
        if (!message.isEmpty()) {
            QCOMPARE(said(), message);
            QCOMPARE(m_dialogs.shown().back().icon, platform::MessageIcon::Error);
        }
        QVERIFY2(has(found), qPrintable(found));
        if (typed == u("工具光盘")) {
            QCOMPARE(selectedPath(), u("工具光盘"));
            QVERIFY(!has(u("软件光盘")));
            return;
        }
        QCOMPARE(captions(), listed);
        QCOMPARE(childTexts(node(u("软件光盘\\"))), sorted({listed.at(0), listed.at(1)}));
    }

    void nodeEditsAskOnlyOutsideQuietMode_data()
    {
        QTest::addColumn<bool>("quiet");
        QTest::addColumn<bool>("answer");
        QTest::newRow("quiet") << true << false;
        QTest::newRow("asked, yes") << false << true;
        QTest::newRow("asked, no") << false << false;
    }
    void nodeEditsAskOnlyOutsideQuietMode()
    {
        QFETCH(bool, quiet);
        QFETCH(bool, answer);
        makeForm(quiet);
        show(u("软件光盘\\"), {u("工具盘")});
        const QPersistentModelIndex rootIndex = content()->model()->index(0, 0);
        const QPersistentModelIndex setup = content()->model()->index(0, 0, rootIndex);
        const bool done = quiet || answer;
        const auto press = [&](Qt::Key key) {
            if (!quiet) {
                m_dialogs.answerNext(answer);
            }
            QTest::keyClick(content(), key);
        };
        content()->setCurrentIndex(setup);
        m_dialogs.typeNext(std::string("INSTALL"));
        press(Qt::Key_F2);
        QCOMPARE(m_dialogs.shown().size(), std::size_t{quiet ? 1u : 2u});
        if (!quiet) {
            QCOMPARE(
                said(),
                u("重命名 将导致内容和光盘不一致! \r\r是否要重命名: SETUP\r          为: INSTALL"));
        }
        QCOMPARE(readFile(at("软件光盘/工具盘.Cdr")).find("INSTALL") != std::string::npos, done);
        QCOMPARE(setup.data().toString(), done ? u("INSTALL") : u("SETUP"));
        QCOMPARE(m_form->findChild<QLabel*>("Panel7")->text(),
                 done ? u("E:\\INSTALL\\") : u("E:\\SETUP\\"));

        m_dialogs = {};
        press(Qt::Key_Delete);
        QCOMPARE(m_dialogs.shown().size(), std::size_t{quiet ? 0u : 1u});
        QCOMPARE(content()->model()->rowCount(rootIndex), done ? 1 : 2);
        QCOMPARE(readFile(at("软件光盘/工具盘.tag")),
                 std::string(done ? "0\r\n3\r\n" : "0\r\n1\r\n4\r\n3\r\n"));
        if (!done) {
            return;
        }
        QCOMPARE(content()->currentIndex().data().toString(), u("GAME.EXE"));
        QVERIFY(content()->isExpanded(rootIndex));
        QCOMPARE(panel("StatusBar2"), u("总共有0个文件夹,1个文件"));
        // Once more: the next node goes too, and the root is what is left selected.
        press(Qt::Key_Delete);
        QCOMPARE(content()->model()->rowCount(rootIndex), 0);
        QCOMPARE(content()->currentIndex(), QModelIndex(rootIndex));
    }

    void theRootNodeIsADriveLetter_data()
    {
        QTest::addColumn<bool>("quiet");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("root");
        QTest::newRow("b is no drive") << true << u("b") << u("E:\\");
        QTest::newRow("f") << true << u("f") << u("F:\\");
        QTest::newRow("z, asked") << false << u("zx") << u("Z:\\");
    }
    void theRootNodeIsADriveLetter()
    {
        QFETCH(bool, quiet);
        QFETCH(QString, typed);
        QFETCH(QString, root);
        makeForm(quiet);
        show(u("软件光盘\\"), {u("工具盘")});
        const QPersistentModelIndex rootIndex = content()->model()->index(0, 0);
        content()->setCurrentIndex(rootIndex);
        m_dialogs.typeNext(typed.toStdString());
        m_dialogs.answerNext(true);
        QTest::keyClick(content(), Qt::Key_F2);
        QCOMPARE(QString::fromStdString(m_dialogs.shown().at(0).text),
                 u("重命名|注意：根节点只能是一位字母|E"));
        if (!quiet) {
            QCOMPARE(
                said(),
                u("重命名 将导致内容和光盘不一致! \r\r是否要重命名: E:\\\r          为: Z:\\"));
        }
        QCOMPARE(rootIndex.data().toString(), root);
        QCOMPARE(QString::fromStdString(readFile(at("软件光盘/工具盘.Cdr"))).left(3), root);
        QCOMPARE(m_form->findChild<QLabel*>("Panel7")->text(), root);

        // The root is never deleted: said in the status bar, or in a message.
        m_dialogs = {};
        QTest::keyClick(content(), Qt::Key_Delete);
        QCOMPARE(quiet ? panel("StatusBar2", 1) : said(), u("根不能删除!"));
        QCOMPARE(m_dialogs.shown().size(), std::size_t{quiet ? 0u : 1u});
    }

    void clearingEmptyBoxes_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QStringList>("boxes"); // the library's only boxes; none: the usual
        QTest::addColumn<QStringList>("left");
        QTest::addColumn<int>("removed"); // folders
        const QStringList usual = {u("查找结果"), u("软件光盘"), u("游戏光盘"), u("杂物")};
        // 音乐光盘, 空盒 with its two, and the empty category 空类.
        QTest::newRow("tool button") << u("topclsnull") << QStringList() << usual << 5;
        QTest::newRow("box tree menu") << u("N15") << QStringList() << usual << 5;
        QTest::newRow("F4 in the box tree") << u("F4") << QStringList() << usual << 5;
        QTest::newRow("empty boxes: an empty root")
            << u("topclsnull") << QStringList{u("甲"), u("乙")} << QStringList() << 2;
        QTest::newRow("nested two deep: an empty root")
            << u("topclsnull") << QStringList{u("甲/乙")} << QStringList() << 2;
    }
    void clearingEmptyBoxes()
    {
        QFETCH(QString, how);
        QFETCH(QStringList, boxes);
        QFETCH(QStringList, left);
        QFETCH(int, removed);
        if (boxes.isEmpty()) {
            testing_support::makeFolders(at("空盒/空子盒/更深"));
            testing_support::makeFolders(root() + Results + "/" + gbk("空类"));
            put("杂物/readme.txt", "kept");
        } else {
            m_dir = std::make_unique<testing_support::TempDir>();
            for (const QString& box : boxes) {
                testing_support::makeFolders(root() + ui::toGbk(box));
            }
        }
        makeForm();
        if (how == u("F4")) {
            QTest::keyClick(boxTree(), Qt::Key_F4);
        } else if (how == u("N15")) {
            QVERIFY(fromBoxTreeMenu(u("游戏光盘\\"), "N15"));
        } else {
            trigger("topclsnull");
        }
        QCOMPARE(childTexts(boxTree()->topLevelItem(0)), sorted(left));
        QVERIFY(exists(root()));
        QCOMPARE(selectedPath(), QString());
        QCOMPARE(panel("StatusBar4"), QString());
        if (boxes.isEmpty()) {
            QVERIFY(has(u("软件光盘/子盒/深盒/x.Cdr")));
        }
        // The end is said: how many went, or that there were none.
        QCOMPARE(m_dialogs.shown().size(), std::size_t{1});
        QCOMPARE(said(), u("已清除 %1 个空的光盘盒。").arg(removed));
        QCOMPARE(m_dialogs.shown().back().icon, platform::MessageIcon::Information);
        trigger("topclsnull");
        QCOMPARE(said(), u("没有空的光盘盒。"));
    }

    void commandsAreOfferedByWhatIsSelected_data()
    {
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("boxCommands");  // delete, move, rename: 1 on, 0 off
        QTest::addColumn<QString>("listCommands"); // delete, move, rename
        QTest::newRow("root") << u("") << u("软件光盘") << u("000") << u("111");
        QTest::newRow("box, a CD") << u("软件光盘\\") << u("工具盘") << u("111") << u("111");
        QTest::newRow("box, nothing") << u("软件光盘\\") << u("") << u("111") << u("000");
        QTest::newRow("results") << u("查找结果\\") << u("星际") << u("100") << u("100");
        QTest::newRow("category, found CD")
            << u("查找结果\\星际\\") << u("工具盘") << u("100") << u("110");
        QTest::newRow("category, found folder")
            << u("查找结果\\星际\\") << u("SETUP") << u("100") << u("100");
    }
    void commandsAreOfferedByWhatIsSelected()
    {
        QFETCH(QString, shown);
        QFETCH(QString, item);
        QFETCH(QString, boxCommands);
        QFETCH(QString, listCommands);
        makeForm();
        show(shown, item.isEmpty() ? QStringList() : QStringList{item});
        const auto states = [this](std::initializer_list<const char*> names) {
            QString bits;
            for (const char* name : names) {
                bits += action(name)->isEnabled() ? u("1") : u("0");
            }
            return bits;
        };
        QCOMPARE(states({"tvtbdel", "tvtbmove", "tvtbren"}), boxCommands);
        QCOMPARE(states({"lvtbdel", "lvtbmove", "lvtbren"}), listCommands);
        // The menus say the same; the content tree's offers its edits but for a found folder.
        if (!item.isEmpty()) {
            const int row = static_cast<int>(captions().indexOf(item));
            rightClick(listView()->viewport(),
                       listView()->visualRect(listView()->model()->index(row, 0)).center(),
                       "PopupMenu2");
            QCOMPARE(states({"lvdel", "lvmove"}), listCommands.left(2));
        }
        if (content()->model()->rowCount() > 0) {
            const QRect rootRow = content()->visualRect(content()->model()->index(0, 0));
            rightClick(content()->viewport(), rootRow.center(), "PopupMenu3");
            QCOMPARE(states({"tvcddel", "tvcdren"}), item == u("SETUP") ? u("00") : u("11"));
        }
        rightClickNode(shown);
        QCOMPARE(states({"tvdel", "tvmove", "tvren"}), boxCommands);
        QVERIFY(action("N15")->isEnabled() && action("topclsnull")->isEnabled());
    }
};

QTEST_MAIN(OrganizeTest)
#include "organize_test.moc"
