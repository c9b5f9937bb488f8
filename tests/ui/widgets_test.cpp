// The main window's building blocks: the CD list, the record tree model, the icons, the
// status bar panels and the about box.

#include "app/AboutUnit.h"
#include "app/cd_list_view.h"
#include "app/panel_bar.h"
#include "app/record_tree_model.h"
#include "catalog/library.h"
#include "tests/support/fake_shell.h"
#include "tests/support/fake_user_dialogs.h"
#include "tests/support/temp_library.h"
#include "ui/icons.h"
#include "ui/throttled_update.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QLabel>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include <QtTest>

using app::CdListView;
using Style = app::CdListView::ViewStyle;
using testing_support::gbk;

Q_DECLARE_METATYPE(app::CdListView::ViewStyle)

namespace {

std::vector<catalog::ListEntry> numberedItems(int count)
{
    std::vector<catalog::ListEntry> items;
    items.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        items.push_back({gbk("光盘") + std::to_string(i),
                         i % 3 == 0 ? catalog::ListItem::Box : catalog::ListItem::CdRecord});
    }
    return items;
}

QAbstractItemView* shownView(const CdListView& list)
{
    return qobject_cast<QAbstractItemView*>(list.currentView());
}

// Centre of a row's cell in the viewport of the view that shows it.
QPoint rowCentre(CdListView& list, int row)
{
    QAbstractItemView* view = shownView(list);
    const QModelIndex index = view->model()->index(row, 0);
    view->scrollTo(index);
    return view->visualRect(index).center();
}

void addStyleRows()
{
    QTest::addColumn<Style>("style");
    QTest::newRow("large icons") << Style::LargeIcons;
    QTest::newRow("small icons") << Style::SmallIcons;
    QTest::newRow("list") << Style::List;
    QTest::newRow("details") << Style::Details;
}

QImage rendered(const QIcon& icon, int size, QIcon::Mode mode = QIcon::Normal)
{
    return icon.pixmap(QSize(size, size), mode).toImage().convertToFormat(QImage::Format_ARGB32);
}

int opaquePixels(const QImage& image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            count += qAlpha(image.pixel(x, y)) > 128 ? 1 : 0;
        }
    }
    return count;
}

} // namespace

class WidgetsTest : public QObject
{
    Q_OBJECT

private slots:
    void styleKeepsSelection_data() { addStyleRows(); }
    void styleKeepsSelection()
    {
        QFETCH(Style, style);
        CdListView list;
        list.resize(500, 300);
        list.show();
        list.setItems(numberedItems(12));
        list.selectOnly(7);
        QItemSelectionModel* selection = shownView(list)->selectionModel();
        selection->select(selection->model()->index(2, 0), QItemSelectionModel::Select);

        list.setViewStyle(style);
        QAbstractItemView* view = shownView(list);
        QVERIFY(view->isVisible());
        QCOMPARE(view->selectionModel(), selection);
        QCOMPARE(list.viewStyle(), style);
        QCOMPARE(qobject_cast<QTreeView*>(view) != nullptr, style == Style::Details);
        if (auto* listView = qobject_cast<QListView*>(view)) {
            QCOMPARE(listView->viewMode() == QListView::IconMode, style == Style::LargeIcons);
            QCOMPARE(listView->flow() == QListView::TopToBottom, style == Style::List);
            QCOMPARE(listView->iconSize().width(), style == Style::LargeIcons ? 32 : 16);
        }
        QCOMPARE(list.selectedRows(), (std::vector<int>{2, 7}));
        QCOMPARE(list.selectedRow(), 2);
        // The shown view lays the items out where it finds them again.
        QCOMPARE(list.rowAt(view->viewport()->mapTo(&list, rowCentre(list, 9))), 9);
    }

    void selection()
    {
        CdListView list;
        list.setItems(numberedItems(10));
        QCOMPARE(list.selectedRow(), -1);
        QVERIFY(list.selectedRows().empty());
        QItemSelectionModel* selection = shownView(list)->selectionModel();
        for (int row : {8, 1, 5}) {
            selection->select(selection->model()->index(row, 0), QItemSelectionModel::Select);
        }
        QCOMPARE(list.selectedRows(), (std::vector<int>{1, 5, 8}));
        QCOMPARE(list.selectedRow(), 1);

        list.selectOnly(4);
        QCOMPARE(list.selectedRows(), std::vector<int>{4});
        list.selectAll();
        QCOMPARE(list.selectedRows().size(), std::size_t{10});
        list.clearSelection();
        QCOMPARE(list.selectedRow(), -1);
        list.selectOnly(99);
        QVERIFY(list.selectedRows().empty());

        auto items = numberedItems(6);
        items[3].selected = true;
        items[5].selected = true;
        list.setItems(items);
        QCOMPARE(list.selectedRows(), (std::vector<int>{3, 5}));
        list.removeItem(3);
        QCOMPARE(list.selectedRows(), std::vector<int>{4});
        QCOMPARE(list.caption(4), gbk("光盘5"));
    }

    void mouseAndKeySignals_data() { addStyleRows(); }
    void mouseAndKeySignals()
    {
        QFETCH(Style, style);
        CdListView list;
        list.resize(600, 400);
        list.setViewStyle(style);
        list.setItems(numberedItems(5));
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        QWidget* viewport = shownView(list)->viewport();
        const QPoint empty(viewport->width() - 5, viewport->height() - 5);
        QCOMPARE(list.rowAt(viewport->mapTo(&list, empty)), -1);

        // Handlers read the selection: it must already hold the clicked item.
        int selectedAtClick = -2;
        connect(&list, &CdListView::itemClicked, this,
                [&] { selectedAtClick = list.selectedRow(); });
        QSignalSpy clicked(&list, &CdListView::itemClicked);
        QTest::mouseClick(viewport, Qt::LeftButton, {}, rowCentre(list, 2));
        QCOMPARE(clicked.count(), 1);
        QCOMPARE(selectedAtClick, 2);
        QTest::mouseClick(viewport, Qt::LeftButton, {}, empty);
        QCOMPARE(clicked.count(), 2);
        QCOMPARE(selectedAtClick, -1);
        QTest::mouseClick(viewport, Qt::RightButton, {}, rowCentre(list, 1));
        QCOMPARE(clicked.count(), 2); // right clicks are not clicks

        int selectedAtRightPress = -2;
        connect(&list, &CdListView::rightButtonPressed, this,
                [&] { selectedAtRightPress = list.selectedRow(); });
        QSignalSpy right(&list, &CdListView::rightButtonPressed);
        QTest::mousePress(viewport, Qt::RightButton, {}, rowCentre(list, 4));
        QCOMPARE(selectedAtRightPress, 4); // the menu acts on the item under the pointer
        QTest::mouseRelease(viewport, Qt::RightButton, {}, rowCentre(list, 4));
        QTest::mousePress(viewport, Qt::RightButton, {}, empty);
        QTest::mouseRelease(viewport, Qt::RightButton, {}, empty);
        QCOMPARE(right.count(), 2);
        QCOMPARE(right.at(0).at(1).toInt(), 4);
        QCOMPARE(right.at(0).at(0).toPoint(), viewport->mapToGlobal(rowCentre(list, 4)));
        QCOMPARE(right.at(1).at(1).toInt(), -1);

        QSignalSpy doubled(&list, &CdListView::itemDoubleClicked);
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, rowCentre(list, 3));
        QCOMPARE(doubled.count(), 1);
        QCOMPARE(list.selectedRow(), 3);

        QSignalSpy keys(&list, &CdListView::keyReleased);
        QTest::keyRelease(shownView(list), Qt::Key_Delete);
        QTest::keyRelease(shownView(list), Qt::Key_A, Qt::ControlModifier);
        // The Control key's own release comes last.
        QCOMPARE(keys.count(), 3);
        QCOMPARE(keys.at(0).at(0).toInt(), int(Qt::Key_Delete));
        QCOMPARE(keys.at(2).at(0).toInt(), int(Qt::Key_Control));
        QCOMPARE(keys.at(1).at(0).toInt(), int(Qt::Key_A));
        QCOMPARE(keys.at(1).at(1).value<Qt::KeyboardModifiers>(),
                 Qt::KeyboardModifiers(Qt::ControlModifier));
    }

    void captionsFromGbk()
    {
        CdListView list;
        const std::string results = catalog::ResultsFolderName();
        const std::string plain = gbk("软件光盘");
        list.setItems({{plain, catalog::ListItem::Box}, {results, catalog::ListItem::Box}});
        const int drive = list.addItem(gbk("光驱") + " (E:)", catalog::ListItem::FirstDrive + 4);
        const QAbstractItemModel* model = shownView(list)->model();

        QCOMPARE(model->index(0, 0).data().toString(), QStringLiteral("软件光盘"));
        QCOMPARE(model->index(1, 0).data().toString(), QStringLiteral("查找结果"));
        QCOMPARE(list.caption(1), results);
        QCOMPARE(model->index(1, 0).data(Qt::UserRole).toByteArray().toStdString(), results);
        QCOMPARE(list.kind(drive), catalog::ListItem::FirstDrive + 4);
        QCOMPARE(model->index(drive, 0).data(Qt::UserRole + 1).toInt(), list.kind(drive));
        QVERIFY(!model->index(drive, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
        QVERIFY(!(model->flags(model->index(0, 0)) & Qt::ItemIsEditable));

        list.setCaption(0, gbk("游戏"));
        QCOMPARE(model->index(0, 0).data().toString(), QStringLiteral("游戏"));
        QCOMPARE(list.caption(0), gbk("游戏"));
        QCOMPARE(list.caption(42), std::string());
        QCOMPARE(list.kind(-1), -1);

        list.setColumnCaption(QStringLiteral("[软件光盘]"));
        QCOMPARE(list.columnCaption(), QStringLiteral("[软件光盘]"));
        list.setColumnWidth(321);
        QCOMPARE(list.columnWidth(), 321);
    }

    void fiveThousandItems_data() { addStyleRows(); }
    void fiveThousandItems()
    {
        QFETCH(Style, style);
        CdListView list;
        list.resize(640, 480);
        list.setViewStyle(style);
        list.show();
        list.setItems(numberedItems(100));
        list.setItems(numberedItems(5000));
        QCOMPARE(list.count(), 5000);
        QCOMPARE(list.caption(4999), gbk("光盘4999"));
        list.relayout();
        list.scrollTo(4999);
        QAbstractItemView* view = shownView(list);
        const QRect last = view->visualRect(view->model()->index(4999, 0));
        QVERIFY(view->viewport()->rect().intersects(last));
        QCOMPARE(view->indexAt(last.center()).row(), 4999);
        list.selectAll();
        QCOMPARE(list.selectedRows().size(), std::size_t{5000});
        list.clear();
        QCOMPARE(list.count(), 0);
        QVERIFY(list.selectedRows().empty());
    }

    void treeModelStructure()
    {
        catalog::Tree tree;
        const auto root = tree.addChild(catalog::NoNode, "E:\\", 0);
        const auto docs = tree.addChild(root, gbk("文档"), 1);
        tree.addChild(docs, "a.txt", 4);
        const auto deep = tree.addChild(docs, "sub", 1);
        tree.addChild(deep, "x.mp3", 7);
        tree.addChild(root, "setup.exe", 3);
        tree.addChild(root, "empty", 1);
        // Removing leaves an id gap: ids beyond the live count must still work.
        tree.remove(tree.addChild(root, "gone", 8));
        const auto late = tree.addChild(deep, gbk("最后"), 14);

        app::RecordTreeModel model;
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setTree(std::move(tree));
        const catalog::Tree& shown = model.tree();
        for (catalog::NodeId node : shown.indexOrder()) {
            const QModelIndex index = model.indexOf(node);
            QCOMPARE(model.nodeOf(index), node);
            QCOMPARE(model.parent(index), model.indexOf(shown.parent(node)));
            QCOMPARE(model.index(shown.row(node), 0, model.parent(index)), index);
            QCOMPARE(model.rowCount(index), int(shown.children(node).size()));
            QCOMPARE(model.hasChildren(index), !shown.children(node).empty());
            QCOMPARE(index.data(app::RecordTreeModel::GbkRole).toByteArray().toStdString(),
                     shown.text(node));
            QCOMPARE(index.data(app::RecordTreeModel::ImageRole).toInt(), shown.image(node));
            QVERIFY(!index.data(Qt::DecorationRole).value<QIcon>().isNull());
        }
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(model.indexOf(late).data().toString(), QStringLiteral("最后"));
        QVERIFY(model.isConverted(late));
        QVERIFY(!model.indexOf(catalog::NoNode).isValid());
        QVERIFY(!model.index(5, 0).isValid());
        model.clear();
        QCOMPARE(model.rowCount(), 0);
    }

    void treeModelConvertsOnDemand()
    {
        catalog::Tree tree;
        const auto root = tree.addChild(catalog::NoNode, "E:\\", 0);
        const auto a = tree.addChild(root, gbk("甲"), 1);
        const auto b = tree.addChild(root, catalog::ResultsFolderName(), 8);
        app::RecordTreeModel model;
        model.setTree(std::move(tree));
        for (auto node : {root, a, b}) {
            QVERIFY(!model.isConverted(node));
        }
        QCOMPARE(model.indexOf(b).data().toString(), QStringLiteral("查找结果"));
        QVERIFY(model.isConverted(b));
        QVERIFY(!model.isConverted(a));
        QVERIFY(!model.isConverted(root));

        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        model.setNodeText(b, gbk("乙"));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).toModelIndex(), model.indexOf(b));
        QCOMPARE(model.indexOf(b).data().toString(), QStringLiteral("乙"));
        model.setNodeImage(a, 5);
        QCOMPARE(changed.count(), 2);
        QVERIFY(changed.at(1).at(2).value<QList<int>>().contains(app::RecordTreeModel::ImageRole));
        QCOMPARE(model.indexOf(a).data(app::RecordTreeModel::ImageRole).toInt(), 5);
        QCOMPARE(model.indexOf(a).data(Qt::DecorationRole).value<QIcon>().cacheKey(),
                 ui::contentIcon(5).cacheKey());

        model.setIconSource(app::RecordTreeModel::IconSource::BoxTree);
        QCOMPARE(model.indexOf(root).data(Qt::DecorationRole).value<QIcon>().cacheKey(),
                 ui::boxTreeIcon(0).cacheKey());
    }

    void treeModelMillionNodes()
    {
        catalog::Tree tree;
        tree.reserve(1'000'000);
        const auto root = tree.addChild(catalog::NoNode, "E:\\", 0);
        catalog::NodeId last = root;
        for (int folder = 0; folder < 1000; ++folder) {
            const auto f = tree.addChild(root, "folder" + std::to_string(folder), 1);
            for (int file = 0; file < 999; ++file) {
                last = tree.addChild(f, "file" + std::to_string(file) + ".txt", 4);
            }
        }
        QCOMPARE(tree.size(), std::size_t{1'000'001});
        app::RecordTreeModel model;
        model.setTree(std::move(tree));
        QCOMPARE(model.rowCount(model.index(0, 0)), 1000);
        const QModelIndex lastIndex = model.indexOf(last);
        QCOMPARE(lastIndex.data().toString(), QStringLiteral("file998.txt"));
        QCOMPARE(model.parent(lastIndex).data().toString(), QStringLiteral("folder999"));
        QVERIFY(!model.isConverted(last - 1));
    }

    void icons_data()
    {
        QTest::addColumn<QIcon>("icon");
        for (int i = 0; i <= 14; ++i) {
            QTest::addRow("content %d", i) << ui::contentIcon(i);
        }
        for (int kind = 0; kind <= 5; ++kind) {
            QTest::addRow("box tree %d", kind) << ui::boxTreeIcon(kind);
        }
        for (int kind : {0, 2, 3, 4, 5, 12}) {
            QTest::addRow("cd list %d", kind) << ui::cdListIcon(kind);
        }
        QTest::newRow("drive with disc") << ui::driveIcon(true);
        QTest::newRow("drive empty") << ui::driveIcon(false);
        QTest::newRow("application") << ui::applicationIcon();
    }
    void icons()
    {
        QFETCH(QIcon, icon);
        QVERIFY(!icon.isNull());
        for (int size : {16, 32}) {
            const QImage image = rendered(icon, size);
            QCOMPARE(image.size(), QSize(size, size));
            // Something is drawn, and it is a shape, not a filled square.
            const int opaque = opaquePixels(image);
            QVERIFY2(opaque > size * size / 8, qPrintable(QString::number(opaque)));
            QVERIFY(opaque < size * size);
        }
    }

    void iconsAreDistinctAndMapped()
    {
        std::vector<QImage> seen;
        for (int i = 0; i <= 14; ++i) {
            const QImage image = rendered(ui::contentIcon(i), 32);
            for (std::size_t j = 0; j < seen.size(); ++j) {
                QVERIFY2(image != seen[j], qPrintable(QStringLiteral("%1 = %2").arg(i).arg(j)));
            }
            seen.push_back(image);
        }
        for (int outside : {-1, 15, 255}) {
            QCOMPARE(rendered(ui::contentIcon(outside), 32), rendered(ui::contentIcon(8), 32));
        }
        // A selected folder shows open; other icons keep their picture.
        QCOMPARE(rendered(ui::contentIcon(1), 16, QIcon::Selected),
                 rendered(ui::contentIcon(2), 16));
        QCOMPARE(rendered(ui::boxTreeIcon(1), 16, QIcon::Selected),
                 rendered(ui::boxTreeIcon(2), 16));
        QCOMPARE(rendered(ui::contentIcon(4), 16, QIcon::Selected),
                 rendered(ui::contentIcon(4), 16));
        QVERIFY(rendered(ui::driveIcon(true), 32) != rendered(ui::driveIcon(false), 32));
        QCOMPARE(rendered(ui::cdListIcon(7), 16), rendered(ui::driveIcon(false), 16));
    }

    // A burst of changes reaches the screen once at first, then its latest value once
    // the interval is over; flush and cancel settle what is still waiting.
    void throttledUpdateShowsTheLatestValue()
    {
        int value = 0;
        QList<int> shown;
        ui::ThrottledUpdate update([&] { shown << value; });
        for (value = 1; value <= 1000; ++value) {
            update.request();
        }
        QCOMPARE(shown, QList<int>{1});
        value = 1000;
        QTRY_COMPARE_WITH_TIMEOUT(shown, (QList<int>{1, 1000}), 500);
        QTest::qWait(2 * ui::ThrottledUpdate::IntervalMs);
        QCOMPARE(shown.size(), 2);

        update.request(); // an interval has passed: at once
        value = 7;
        update.request();
        update.flush();
        QCOMPARE(shown, (QList<int>{1, 1000, 1000, 7}));
        value = 8;
        update.request();
        update.cancel();
        QTest::qWait(2 * ui::ThrottledUpdate::IntervalMs);
        QCOMPARE(shown.size(), 4);
    }

    void panelBar()
    {
        app::PanelBar bar(QStringLiteral("StatusBar2"), {120, 80});
        bar.resize(600, 24);
        bar.show();
        QCOMPARE(bar.objectName(), QStringLiteral("StatusBar2"));
        QCOMPARE(bar.panelCount(), 3);
        QVERIFY(!bar.isSizeGripEnabled());
        bar.setPanelText(0, QStringLiteral(" 共有 2 个光驱"));
        bar.setPanelText(2, QStringLiteral("该光盘盒下有1个光盘盒，3张光盘"));
        bar.setPanelText(3, QStringLiteral("nowhere"));
        QCOMPARE(bar.panelText(0), QStringLiteral(" 共有 2 个光驱"));
        QCOMPARE(bar.panelText(1), QString());
        QCOMPARE(bar.panelText(2), QStringLiteral("该光盘盒下有1个光盘盒，3张光盘"));
        QCOMPARE(bar.panelText(-1), QString());
        const auto labels = bar.findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly);
        QCOMPARE(labels.size(), 3);
        QCOMPARE(labels[0]->width(), 120);
        QCOMPARE(labels[1]->width(), 80);
        QVERIFY(labels[2]->width() > 200);
    }

    void aboutOpensReadme_data()
    {
        QTest::addColumn<bool>("present");
        QTest::addColumn<int>("answer"); // the shell's platform::OpenResult
        QTest::addColumn<QString>("message");
        const int opened = static_cast<int>(platform::OpenResult::Opened);
        QTest::newRow("opened") << true << opened << QString();
        QTest::newRow("missing") << false << static_cast<int>(platform::OpenResult::NotFound)
                                 << QStringLiteral("找不到说明文件：\r");
        QTest::newRow("no application")
            << true << static_cast<int>(platform::OpenResult::NoApplication)
            << QStringLiteral("没有可以打开说明文件的程序：\r");
    }
    void aboutOpensReadme()
    {
        QFETCH(bool, present);
        QFETCH(int, answer);
        QFETCH(QString, message);
        testing_support::TempDir folder;
        const std::string readme = folder / "readme.txt";
        if (present) {
            testing_support::writeFile(readme, "Vellumark");
        }
        testing_support::FakeShell shell;
        testing_support::FakeUserDialogs dialogs;
        shell.answer(static_cast<platform::OpenResult>(answer));
        TAboutForm about(shell, dialogs);
        QCOMPARE(about.objectName(), QStringLiteral("TAboutForm"));
        QVERIFY(about.readmePath().endsWith(QStringLiteral("/readme.txt")));
        about.setReadmePath(QString::fromStdString(readme));
        about.findChild<QPushButton*>(QStringLiteral("BitBtn1"))->click();
        QCOMPARE(shell.opened(), std::vector<std::string>{readme});
        if (message.isEmpty()) {
            QVERIFY(dialogs.shown().empty());
        } else {
            QCOMPARE(dialogs.shown().size(), std::size_t{1});
            QCOMPARE(dialogs.shown().front().icon, platform::MessageIcon::Warning);
            QCOMPARE(QString::fromStdString(dialogs.lastText()),
                     message + QString::fromStdString(readme));
        }
        about.show();
        about.findChild<QPushButton*>(QStringLiteral("BitBtn2"))->click();
        QVERIFY(!about.isVisible());
    }
};

QTEST_MAIN(WidgetsTest)
#include "widgets_test.moc"
