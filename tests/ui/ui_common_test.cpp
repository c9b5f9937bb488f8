// The window parts shared by the dialogs, on their own: this executable links ui_common and
// nothing of the main window or of a subsystem's dialogs.

#include "catalog/library.h"
#include "tests/support/temp_library.h"
#include "ui/box_tree_picker.h"
#include "ui/name_validator.h"

#include <QTreeWidget>
#include <QValidator>
#include <QtTest>

#include <memory>

using testing_support::gbk;

namespace {

QStringList currentPath(const QTreeWidget& tree)
{
    QStringList path;
    for (const QTreeWidgetItem* item = tree.currentItem(); item; item = item->parent()) {
        path.prepend(item->text(0));
    }
    return path;
}

QStringList childTexts(const QTreeWidgetItem* item)
{
    QStringList texts;
    for (int i = 0; i < item->childCount(); ++i) {
        texts << item->child(i)->text(0);
    }
    return texts;
}

} // namespace

class UiCommonTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<testing_support::TempDir> m_library;

private slots:
    void init()
    {
        m_library = std::make_unique<testing_support::TempDir>();
        testing_support::makeFolders(m_library->path() + gbk("软件/工具/旧版"));
        testing_support::makeFolders(m_library->path() + gbk("游戏"));
        testing_support::makeFolders(m_library->path() + "abc");
        // The search results are no box: the picker never offers them.
        testing_support::makeFolders(m_library->path() + catalog::ResultsFolderName() + "/" +
                                     gbk("类别"));
    }
    void cleanup() { m_library.reset(); }

    void pickerSelectsThePresetBox_data()
    {
        QTest::addColumn<std::string>("preset");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<std::string>("picked");
        QTest::newRow("root") << std::string() << QStringList{"Orlendy"} << std::string();
        QTest::newRow("top box") << gbk("游戏\\") << QStringList{"Orlendy", "游戏"}
                                 << gbk("游戏\\");
        QTest::newRow("nested box")
            << gbk("软件\\工具\\旧版\\") << QStringList{"Orlendy", "软件", "工具", "旧版"}
            << gbk("软件\\工具\\旧版\\");
        QTest::newRow("box gone") << gbk("软件\\没有\\") << QStringList{"Orlendy"} << std::string();
        QTest::newRow("no trailing backslash")
            << gbk("游戏") << QStringList{"Orlendy"} << std::string();
    }
    void pickerSelectsThePresetBox()
    {
        QFETCH(std::string, preset);
        QFETCH(QStringList, shown);
        QFETCH(std::string, picked);
        QTreeWidget view;
        ui::fillBoxTree(view, m_library->path(), preset);
        QCOMPARE(currentPath(view), shown);
        QVERIFY(view.currentItem()->isSelected());
        QCOMPARE(ui::selectedBoxPath(view), picked);
    }

    // Filling again replaces the tree; sorted by collation, the root expanded.
    void pickerListsTheBoxesSorted()
    {
        QTreeWidget view;
        ui::fillBoxTree(view, m_library->path(), gbk("游戏\\"));
        ui::fillBoxTree(view, m_library->path(), {});
        QCOMPARE(view.topLevelItemCount(), 1);
        const QTreeWidgetItem* root = view.topLevelItem(0);
        QCOMPARE(root->text(0), QStringLiteral("Orlendy"));
        QVERIFY(root->isExpanded());
        QCOMPARE(childTexts(root), (QStringList{"abc", "软件", "游戏"}));
        QCOMPARE(childTexts(root->child(1)), QStringList{"工具"});

        view.clearSelection();
        QCOMPARE(ui::selectedBoxPath(view), std::string());
    }

    // Without a library only the root stands.
    void pickerWithoutLibrary()
    {
        QTreeWidget view;
        ui::fillBoxTree(view, {}, gbk("游戏\\"));
        QCOMPARE(view.topLevelItemCount(), 1);
        QCOMPARE(view.topLevelItem(0)->childCount(), 0);
        QCOMPARE(currentPath(view), QStringList{"Orlendy"});
    }

    void nameValidator_data()
    {
        QTest::addColumn<QString>("forbidden");
        QTest::addColumn<bool>("upperCase");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("kept");
        const QString boxForbidden = QStringLiteral("\"\\/*?:><|");
        QTest::newRow("plain") << boxForbidden << false << QStringLiteral("新盒子 1") << true
                               << QStringLiteral("新盒子 1");
        QTest::newRow("empty") << boxForbidden << false << QString() << true << QString();
        QTest::newRow("forbidden")
            << boxForbidden << false << QStringLiteral("a|b") << false << QStringLiteral("a|b");
        QTest::newRow("other set allows it")
            << QStringLiteral("*") << false << QStringLiteral("a|b") << true
            << QStringLiteral("a|b");
        QTest::newRow("not in GBK")
            << boxForbidden << false << QStringLiteral("a😀") << false << QStringLiteral("a😀");
        QTest::newRow("upper-cased") << QStringLiteral("/") << true << QStringLiteral("abc.txt")
                                     << true << QStringLiteral("ABC.TXT");
        QTest::newRow("kept as typed") << QStringLiteral("/") << false << QStringLiteral("abc.txt")
                                       << true << QStringLiteral("abc.txt");
    }
    void nameValidator()
    {
        QFETCH(QString, forbidden);
        QFETCH(bool, upperCase);
        QFETCH(QString, typed);
        QFETCH(bool, accepted);
        QFETCH(QString, kept);
        QObject owner;
        QValidator* validator = ui::makeNameValidator(forbidden, upperCase, &owner);
        QCOMPARE(validator->parent(), &owner);
        int position = 0;
        QCOMPARE(validator->validate(typed, position) == QValidator::Acceptable, accepted);
        QCOMPARE(typed, kept);
    }
};

QTEST_MAIN(UiCommonTest)
#include "ui_common_test.moc"
