// The search and locate dialogs, driven by their control names; the library is a
// temporary folder and searches run through the real engine.

#include "catalog/cdinfo.h"
#include "catalog/library.h"
#include "catalog/record_files.h"
#include "catalog/tree.h"
#include "catalog/tree_text.h"
#include "search/FindUnit.h"
#include "search/LocUnit.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fake_user_dialogs.h"
#include "tests/support/temp_library.h"
#include "tests/support/ui_helpers.h"
#include "ui/throttled_update.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <filesystem>
#include <memory>

using testing_support::gbk;
using testing_support::writeFile;
using Icon = platform::MessageIcon;
using testing_support::child;
using testing_support::type;
using search::ScopeEntry;
using search::ScopeKind;

namespace {

QStringList texts(const QTreeWidget* list, int column = 0)
{
    QStringList result;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        result << list->topLevelItem(i)->text(column);
    }
    return result;
}

// The node at a path of captions below the root, e.g. {"光盘", "游戏"}.
QTreeWidgetItem* node(QTreeWidget* tree, const QStringList& path)
{
    QTreeWidgetItem* item = tree->topLevelItem(0);
    for (const QString& caption : path) {
        QTreeWidgetItem* next = nullptr;
        for (int i = 0; item && i < item->childCount(); ++i) {
            if (item->child(i)->text(0) == caption) {
                next = item->child(i);
            }
        }
        item = next;
    }
    return item;
}

// A CD record with a two-level content tree whose only file is fileName.
void writeRecord(const std::string& root, const std::string& relativeUtf8,
                 const std::string& fileName)
{
    catalog::Tree tree;
    const catalog::NodeId drive = tree.addChild(catalog::NoNode, "E:\\");
    const catalog::NodeId folder = tree.addChild(drive, "DATA", 1, 1);
    tree.addChild(folder, fileName, 2, 2);
    const std::string base = root + gbk(relativeUtf8);
    writeFile(base + ".cdr", catalog::WriteTreeText(tree));
    writeFile(base + ".tag", catalog::TagText(tree));
}

std::string scopeText(const std::vector<ScopeEntry>& scope)
{
    std::string text;
    for (const ScopeEntry& entry : scope) {
        text += entry.captionGbk + "/" + std::to_string(static_cast<int>(entry.kind)) + ";";
    }
    return text;
}

} // namespace

class SearchDialogsTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<testing_support::TempDir> m_library;
    std::unique_ptr<testing_support::FakeUserDialogs> m_dialogs;
    std::unique_ptr<testing_support::FakeClock> m_clock;
    std::unique_ptr<search::TFindForm> m_form;

    // Boxes abc, 光盘 (with 游戏 below), 光盘2; one record 光盘\工具盘 holding SETUP.EXE.
    void openForm()
    {
        m_library = std::make_unique<testing_support::TempDir>();
        const std::string& root = m_library->path();
        for (const char* box : {"光盘2", "abc", "光盘/游戏"}) {
            testing_support::makeFolders(root + gbk(box) + "/");
        }
        writeRecord(root, "光盘/工具盘", "SETUP.EXE");
        m_dialogs = std::make_unique<testing_support::FakeUserDialogs>();
        m_clock = std::make_unique<testing_support::FakeClock>(
            platform::LocalDateTime{2024, 3, 15, 10, 30, 5, 0});
        m_form = std::make_unique<search::TFindForm>(*m_dialogs, *m_clock);
        m_form->setLibraryRoot(root);
    }

    template <typename T> T* find(const char* name) { return child<T>(m_form.get(), name); }

    void setScope(const std::vector<ScopeEntry>& entries)
    {
        m_form->clearScope();
        for (const ScopeEntry& entry : entries) {
            m_form->addScopeEntry(entry);
        }
    }

    std::string resultsFolder() const { return m_library->path() + catalog::ResultsFolderName(); }

private slots:
    void init() { openForm(); }

    void initialState()
    {
        auto* pages = find<QTabWidget>("PageControl1");
        QCOMPARE(pages->count(), 3);
        QCOMPARE(pages->tabText(0), QString(" 内容/名称/描述 "));
        QCOMPARE(pages->tabText(1), QString(" 按日期查找 "));
        QCOMPARE(pages->tabText(2), QString("　高级查找　"));
        QCOMPARE(pages->currentWidget(), find<QWidget>("TabSheet1"));
        QVERIFY(m_form->textPageActive());

        QVERIFY(find<QCheckBox>("CheckBox2")->isChecked());
        for (const char* name : {"CheckBox3", "CheckBox4", "CheckBox5"}) {
            QVERIFY2(!find<QCheckBox>(name)->isChecked(), name);
        }
        QVERIFY(find<QCheckBox>("CheckBox1")->isChecked());
        QVERIFY(!find<QCheckBox>("CheckBox1")->isHidden());
        QVERIFY(!find<QCheckBox>("CheckBox6")->isChecked());
        QCOMPARE(find<QCheckBox>("CheckBox6")->text(), QString("拼音首字母"));

        QVERIFY(find<QRadioButton>("RadioButton2")->isChecked());
        QVERIFY(!find<QRadioButton>("RadioButton1")->isChecked());
        for (const char* name : {"DateTimePicker1", "DateTimePicker2"}) {
            auto* picker = find<QDateTimeEdit>(name);
            QVERIFY2(!picker->isEnabled(), name);
            QCOMPARE(picker->dateTime(), QDateTime(QDate(2024, 3, 15), QTime(10, 30, 5)));
            QCOMPARE(picker->text(), QString("2024年3月15日"));
        }
        QVERIFY(!find<QLabel>("Label12")->isEnabled());
        QVERIFY(find<QComboBox>("ComboBox1")->isEnabled());

        QCOMPARE(find<QPushButton>("BitBtn2")->text(), QString("取消"));
        QVERIFY(find<QPushButton>("BitBtn1")->isDefault());
        QVERIFY(find<QTreeWidget>("ListView2")->isHidden());
    }

    void listItems_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("items");
        QTest::newRow("age") << "ComboBox1"
                             << QStringList{"一年以上", "两年以上", "一年内", "半年内", "一个月内"};
        QTest::newRow("kind") << "cdstyle" << QStringList{"", "一般光盘", "蓝盘", "金盘", "刻录盘"};
        QTest::newRow("quality") << "cdzl" << QStringList{"", "一般", "差", "烂盘", "好", "很好"};
        QTest::newRow("state") << "cdstat" << QStringList{"", "保存中", "借出", "遗失"};
        QTest::newRow("importance")
            << "cdxz" << QStringList{"", "一般", "非常重要", "重要", "无所谓"};
    }
    void listItems()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, items);
        auto* list = find<QComboBox>(name.toLatin1().constData());
        QStringList shown;
        for (int i = 0; i < list->count(); ++i) {
            shown << list->itemText(i);
        }
        QCOMPARE(shown, items);
        QCOMPARE(list->currentIndex(), 0);
    }

    void switches_data()
    {
        QTest::addColumn<QStringList>("on");
        QTest::addColumn<bool>("onlyNodesShown");
        QTest::newRow("content alone") << QStringList{"CheckBox2"} << true;
        QTest::newRow("content and name") << QStringList{"CheckBox2", "CheckBox3"} << false;
        QTest::newRow("content and internal") << QStringList{"CheckBox2", "CheckBox5"} << false;
        QTest::newRow("description alone") << QStringList{"CheckBox4"} << false;
        QTest::newRow("none") << QStringList{} << false;
    }
    void switches()
    {
        QFETCH(QStringList, on);
        QFETCH(bool, onlyNodesShown);
        auto* onlyNodes = find<QCheckBox>("CheckBox1");
        // Start from "hidden and off" so that showing it must switch it on again.
        find<QCheckBox>("CheckBox3")->click();
        QVERIFY(onlyNodes->isHidden() && !onlyNodes->isChecked());
        for (const char* name : {"CheckBox2", "CheckBox3", "CheckBox4", "CheckBox5"}) {
            auto* box = find<QCheckBox>(name);
            if (box->isChecked() != on.contains(QString::fromLatin1(name))) {
                box->click();
            }
        }
        QCOMPARE(!onlyNodes->isHidden(), onlyNodesShown);
        QCOMPARE(!find<QLabel>("Label1")->isHidden(), onlyNodesShown);
        QCOMPARE(!find<QLabel>("Label2")->isHidden(), onlyNodesShown);
        QCOMPARE(onlyNodes->isChecked(), onlyNodesShown);
    }

    void searchTextFilter_data()
    {
        QTest::addColumn<bool>("paste");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("kept");
        QTest::newRow("typed") << false << "st?a:r\\c*o\"m"
                               << "star\\com";
        QTest::newRow("typed chinese") << false << "游<戏>|/"
                                       << "游戏";
        QTest::newRow("pasted") << true << "a|b<c>d?e"
                                << "abcde";
    }
    void searchTextFilter()
    {
        QFETCH(bool, paste);
        QFETCH(QString, input);
        QFETCH(QString, kept);
        auto* edit = find<QLineEdit>("Edit1");
        if (paste) {
            edit->insert(input);
        } else {
            type(edit, input);
        }
        QCOMPARE(edit->text(), kept);
        QCOMPARE(m_form->searchTextGbk(), gbk(kept.toStdString()));
        QCOMPARE(find<QCheckBox>("CheckBox2")->text(), "光盘内容 包含 " + kept);
        QCOMPARE(find<QCheckBox>("CheckBox5")->text(), "光盘内部描述 包含 " + kept);
    }

    void dateMode()
    {
        find<QRadioButton>("RadioButton1")->click();
        QVERIFY(find<QDateTimeEdit>("DateTimePicker1")->isEnabled());
        QVERIFY(find<QDateTimeEdit>("DateTimePicker2")->isEnabled());
        QVERIFY(find<QLabel>("Label12")->isEnabled());
        QVERIFY(!find<QComboBox>("ComboBox1")->isEnabled());
        find<QRadioButton>("RadioButton2")->click();
        QVERIFY(!find<QDateTimeEdit>("DateTimePicker1")->isEnabled());
        QVERIFY(find<QComboBox>("ComboBox1")->isEnabled());
    }

    void formShow_data()
    {
        QTest::addColumn<QString>("initialPath");
        QTest::addColumn<QString>("selected");
        QTest::newRow("box below a box") << "光盘\\游戏\\"
                                         << "游戏";
        QTest::newRow("root") << ""
                              << "Orlendy";
        QTest::newRow("gone") << "没有\\"
                              << "";
    }
    void formShow()
    {
        QFETCH(QString, initialPath);
        QFETCH(QString, selected);
        setScope({{gbk("Orlendy\\光盘"), ScopeKind::Box}});
        m_form->setInitialBoxPath(gbk(initialPath.toStdString()));
        m_form->show();
        auto* tree = find<QTreeWidget>("TreeView1");
        QCOMPARE(tree->topLevelItemCount(), 1);
        QTreeWidgetItem* root = tree->topLevelItem(0);
        QCOMPARE(root->text(0), QString("Orlendy"));
        QVERIFY(root->isExpanded());
        QStringList boxes;
        for (int i = 0; i < root->childCount(); ++i) {
            boxes << root->child(i)->text(0);
        }
        QCOMPARE(boxes, (QStringList{"abc", "光盘", "光盘2"}));
        const QList<QTreeWidgetItem*> chosen = tree->selectedItems();
        QCOMPARE(chosen.isEmpty() ? QString() : chosen.first()->text(0), selected);
        QCOMPARE(scopeText(m_form->scope()), gbk("Orlendy\\光盘/1;"));
        QVERIFY(!m_form->done());
    }

    // Adding a box with "<<" against what the scope list holds already.
    void covering_data()
    {
        QTest::addColumn<QString>("present");
        QTest::addColumn<int>("presentKind");
        QTest::addColumn<QStringList>("box");
        QTest::addColumn<QString>("refusedBy");
        QTest::newRow("longer name beside") << "Orlendy\\光盘" << 1 << QStringList{"光盘2"} << "";
        QTest::newRow("shorter name beside") << "Orlendy\\光盘2" << 1 << QStringList{"光盘"} << "";
        QTest::newRow("below") << "Orlendy\\光盘" << 1 << QStringList{"光盘", "游戏"}
                               << "Orlendy\\光盘";
        QTest::newRow("twice") << "Orlendy\\光盘" << 1 << QStringList{"光盘"} << "Orlendy\\光盘";
        QTest::newRow("library covers all") << "Orlendy" << 0 << QStringList{"abc"} << "Orlendy";
        QTest::newRow("a CD covers nothing") << "Orlendy\\光盘" << 2 << QStringList{"光盘"} << "";
        QTest::newRow("library itself") << "Orlendy\\abc" << 1 << QStringList{} << "";
    }
    void covering()
    {
        QFETCH(QString, present);
        QFETCH(int, presentKind);
        QFETCH(QStringList, box);
        QFETCH(QString, refusedBy);
        const std::string presentGbk = gbk(present.toStdString());
        setScope({{presentGbk, static_cast<ScopeKind>(presentKind)}});
        m_form->show();
        auto* tree = find<QTreeWidget>("TreeView1");
        tree->setCurrentItem(node(tree, box));
        find<QPushButton>("Button1")->click();

        const QString added = box.isEmpty() ? QString("Orlendy") : "Orlendy\\" + box.join('\\');
        if (refusedBy.isEmpty()) {
            QVERIFY(m_dialogs->shown().empty());
            const int kind = box.isEmpty() ? 0 : 1;
            QCOMPARE(scopeText(m_form->scope()), presentGbk + "/" + std::to_string(presentKind) +
                                                     ";" + gbk(added.toStdString()) + "/" +
                                                     std::to_string(kind) + ";");
        } else {
            QCOMPARE(m_dialogs->shown().size(), std::size_t(1));
            QCOMPARE(m_dialogs->lastText(),
                     refusedBy.toStdString() + "\r已包含\r" + added.toStdString());
            QCOMPARE(m_dialogs->shown().back().icon, Icon::Warning);
            QCOMPARE(m_form->scope().size(), std::size_t(1));
        }
    }

    void addWithoutSelection()
    {
        m_form->setInitialBoxPath(gbk("没有\\"));
        m_form->show();
        QVERIFY(find<QTreeWidget>("TreeView1")->selectedItems().isEmpty());
        find<QPushButton>("Button1")->click();
        QVERIFY(m_form->scope().empty());
        QVERIFY(m_dialogs->shown().empty());
    }

    void check_data()
    {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<bool>("yes");
        QTest::addColumn<QString>("said");
        QTest::addColumn<QStringList>("left");
        const QStringList nested{"Orlendy\\光盘", "Orlendy\\光盘\\游戏"};
        QTest::newRow("remove") << nested << true << "共查到 1 条重复范围! 删除？"
                                << QStringList{"Orlendy\\光盘"};
        QTest::newRow("keep") << nested << false << "共查到 1 条重复范围! 删除？" << nested;
        QTest::newRow("library and two")
            << QStringList{"Orlendy\\abc", "Orlendy", "Orlendy\\光盘"} << true
            << "共查到 2 条重复范围! 删除？" << QStringList{"Orlendy"};
        QTest::newRow("none") << QStringList{"Orlendy\\光盘", "Orlendy\\光盘2"} << true
                              << "没有重复的范围!"
                              << QStringList{"Orlendy\\光盘", "Orlendy\\光盘2"};
    }
    void check()
    {
        QFETCH(QStringList, entries);
        QFETCH(bool, yes);
        QFETCH(QString, said);
        QFETCH(QStringList, left);
        m_form->clearScope();
        for (const QString& entry : entries) {
            m_form->addScopeEntry({gbk(entry.toStdString()),
                                   entry == "Orlendy" ? ScopeKind::Library : ScopeKind::Box});
        }
        m_dialogs->answerNext(yes);
        find<QPushButton>("button4")->click();
        QCOMPARE(m_dialogs->lastText(), said.toStdString());
        QCOMPARE(texts(find<QTreeWidget>("ListView1")), left);
    }

    void removeEntries_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QStringList>("left");
        QTest::newRow(">>") << "Button2" << QStringList{"Orlendy\\abc"};
        QTest::newRow("delete key") << "" << QStringList{"Orlendy\\abc"};
        QTest::newRow("clear") << "Button3" << QStringList{};
    }
    void removeEntries()
    {
        QFETCH(QString, how);
        QFETCH(QStringList, left);
        setScope({{gbk("Orlendy\\光盘"), ScopeKind::Box},
                  {gbk("Orlendy\\abc"), ScopeKind::Box},
                  {gbk("Orlendy\\光盘2"), ScopeKind::Box}});
        auto* list = find<QTreeWidget>("ListView1");
        list->topLevelItem(0)->setSelected(true);
        list->topLevelItem(2)->setSelected(true);
        if (how.isEmpty()) {
            QTest::keyClick(list, Qt::Key_Delete);
        } else {
            find<QPushButton>(how.toLatin1().constData())->click();
        }
        QCOMPARE(texts(list), left);
    }

    // Each refusal stops before anything is searched or written.
    void refusals_data()
    {
        QTest::addColumn<bool>("withScope");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("switchesOff");
        QTest::addColumn<QString>("said");
        QTest::addColumn<bool>("editFocused");
        QTest::newRow("no scope, no text")
            << false << "" << true << "没有指定查找的范围！请添加！" << false;
        QTest::newRow("no text, no switch") << true << "" << true << "没有查找文字！" << true;
        QTest::newRow("no switch") << true << "abc" << true << "没有查找目标！" << false;
        QTest::newRow("only backslashes")
            << true << "\\\\\\" << false << "输入的查找条件不合法！" << true;
        QTest::newRow("only blanks") << true << "   " << false << "输入的查找条件不合法！" << true;
    }
    void refusals()
    {
        QFETCH(bool, withScope);
        QFETCH(QString, text);
        QFETCH(bool, switchesOff);
        QFETCH(QString, said);
        QFETCH(bool, editFocused);
        if (withScope) {
            setScope({{"Orlendy", ScopeKind::Library}});
        }
        find<QLineEdit>("Edit1")->setText(text);
        if (switchesOff) {
            find<QCheckBox>("CheckBox2")->click();
        }
        m_form->show();
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
        find<QPushButton>("button4")->setFocus();
        m_form->BitBtn1Click();
        QCOMPARE(m_dialogs->shown().size(), std::size_t(1));
        QCOMPARE(m_dialogs->lastText(), said.toStdString());
        QCOMPARE(m_dialogs->shown().back().icon, Icon::Warning);
        QCOMPARE(find<QLineEdit>("Edit1")->hasFocus(), editFocused);
        QVERIFY(m_form->isVisible());
        QVERIFY(!m_form->done());
        QVERIFY(!testing_support::exists(resultsFolder()));
    }

    void textSearch_data()
    {
        QTest::addColumn<bool>("onlyNodes");
        QTest::addColumn<QString>("resultFile");
        QTest::newRow("whole CDs") << false << "工具盘.Tgt";
        QTest::newRow("only nodes") << true << "工具盘.Fid";
    }
    void textSearch()
    {
        QFETCH(bool, onlyNodes);
        QFETCH(QString, resultFile);
        // The box entry lies in the library entry: it goes without a question.
        setScope({{"Orlendy", ScopeKind::Library}, {gbk("Orlendy\\光盘"), ScopeKind::Box}});
        find<QLineEdit>("Edit1")->setText("\\setup\\nothing\\");
        if (!onlyNodes) {
            find<QCheckBox>("CheckBox1")->click();
        }
        m_form->show();
        m_form->BitBtn1Click();

        QVERIFY(m_dialogs->shown().empty());
        QVERIFY(m_form->done());
        QCOMPARE(m_form->result(), int(QDialog::Accepted));
        QVERIFY(!m_form->isVisible());
        QCOMPARE(m_form->outcome().hits, 1);
        QCOMPARE(m_form->outcome().categoryGbk, gbk("包含 nothing或setup"));
        QCOMPARE(scopeText(m_form->scope()), std::string("Orlendy/0;"));
        QCOMPARE(texts(find<QTreeWidget>("ListView2")), QStringList{"光盘\\工具盘"});
        QVERIFY(testing_support::exists(resultsFolder() + "/" + gbk("包含 nothing或setup/") +
                                        gbk(resultFile.toStdString())));
        // Back in the idle state for the next showing.
        QCOMPARE(find<QPushButton>("BitBtn2")->text(), QString("取消"));
        QVERIFY(find<QTabWidget>("PageControl1")->isEnabled());
        QCOMPARE(m_form->windowTitle(), QString("查找"));
        QVERIFY(m_form->textPageActive());
        QCOMPARE(m_form->searchTextGbk(), std::string("\\setup\\nothing\\"));
    }

    // 工具盘 is gong ju pan: its name is found by its initials only with the option on.
    void pinyinSearch()
    {
        setScope({{"Orlendy", ScopeKind::Library}});
        find<QLineEdit>("Edit1")->setText("gjp");
        find<QCheckBox>("CheckBox3")->click();
        find<QCheckBox>("CheckBox6")->click();
        m_form->show();
        m_form->BitBtn1Click();

        QVERIFY(m_dialogs->shown().empty());
        QCOMPARE(m_form->outcome().hits, 1);
        QCOMPARE(m_form->outcome().categoryGbk, gbk("拼音 包含 gjp"));
        QCOMPARE(texts(find<QTreeWidget>("ListView2")), QStringList{"光盘\\工具盘"});
    }

    // The pickers keep the time of day of the dialog's creation (10:30:05).
    void dateSearch_data()
    {
        QTest::addColumn<bool>("between");
        QTest::addColumn<QDate>("first");
        QTest::addColumn<QDate>("second");
        QTest::addColumn<int>("age");
        QTest::addColumn<QDateTime>("bought");
        QTest::addColumn<int>("hits");
        const QDate from(2024, 3, 10);
        const QDate to(2024, 3, 12);
        QTest::newRow("inside") << true << from << to << 0
                                << QDateTime(QDate(2024, 3, 11), QTime(12, 0)) << 1;
        QTest::newRow("a day before, later hour")
            << true << from << to << 0 << QDateTime(QDate(2024, 3, 9), QTime(11, 0)) << 1;
        QTest::newRow("a day before, earlier hour")
            << true << from << to << 0 << QDateTime(QDate(2024, 3, 9), QTime(10, 0)) << 0;
        QTest::newRow("after") << true << from << to << 0
                               << QDateTime(QDate(2024, 3, 14), QTime(9, 0)) << 0;
        QTest::newRow("within half a year")
            << false << from << to << 3 << QDateTime(QDate(2023, 10, 1), QTime()) << 1;
        QTest::newRow("older than half a year")
            << false << from << to << 3 << QDateTime(QDate(2023, 9, 1), QTime()) << 0;
        QTest::newRow("over one year")
            << false << from << to << 0 << QDateTime(QDate(2023, 3, 1), QTime()) << 1;
    }
    void dateSearch()
    {
        QFETCH(bool, between);
        QFETCH(QDate, first);
        QFETCH(QDate, second);
        QFETCH(int, age);
        QFETCH(QDateTime, bought);
        QFETCH(int, hits);
        catalog::TCDInfo info;
        info.cdtime =
            catalog::ToDayNumber({bought.date().year(), bought.date().month(), bought.date().day(),
                                  bought.time().hour(), bought.time().minute(), 0});
        catalog::WriteCDInfo({m_library->path() + gbk("光盘/"), gbk("工具盘")}, info);

        setScope({{gbk("Orlendy\\光盘\\工具盘"), ScopeKind::Cd}});
        find<QTabWidget>("PageControl1")->setCurrentIndex(1);
        find<QRadioButton>(between ? "RadioButton1" : "RadioButton2")->click();
        find<QDateTimeEdit>("DateTimePicker1")->setDate(first);
        find<QDateTimeEdit>("DateTimePicker2")->setDate(second);
        find<QComboBox>("ComboBox1")->setCurrentIndex(age);
        // Backslashes alone are no refusal off the text page.
        find<QLineEdit>("Edit1")->setText("\\\\");
        m_form->show();
        m_form->BitBtn1Click();
        QVERIFY(m_dialogs->shown().empty());
        QVERIFY(m_form->done());
        QVERIFY(!m_form->textPageActive());
        QCOMPARE(m_form->outcome().hits, hits);
        QCOMPARE(m_form->outcome().categoryGbk, gbk("按日期查找"));
    }

    // The abort button is pressed while the engine pumps messages.
    void abortFromRun_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::newRow("confirmed") << true;
        QTest::newRow("declined") << false;
    }
    void abortFromRun()
    {
        QFETCH(bool, yes);
        setScope({{"Orlendy", ScopeKind::Library}});
        find<QLineEdit>("Edit1")->setText("SETUP");
        m_form->show();
        m_dialogs->answerNext(yes);
        QString captionWhileRunning;
        bool othersEnabled = true;
        bool foundListShown = false;
        QTimer::singleShot(0, this, [&] {
            auto* abort = find<QPushButton>("BitBtn2");
            captionWhileRunning = abort->text();
            othersEnabled = find<QPushButton>("BitBtn1")->isEnabled() ||
                            find<QTabWidget>("PageControl1")->isEnabled() ||
                            find<QTreeWidget>("ListView1")->isEnabled();
            foundListShown = find<QTreeWidget>("ListView2")->isVisible() &&
                             find<QTreeWidget>("ListView2")->isEnabled();
            abort->click();
        });
        m_form->BitBtn1Click();

        QCOMPARE(captionWhileRunning, QString("中止"));
        QVERIFY(!othersEnabled);
        QVERIFY(foundListShown);
        QCOMPARE(m_dialogs->lastText(), std::string("中止查找进程？"));
        QCOMPARE(m_dialogs->shown().back().icon, Icon::Question);
        QCOMPARE(m_dialogs->lastDefault(), platform::UserDialogs::Default::No);
        QCOMPARE(m_form->done(), !yes);
        QCOMPARE(m_form->isVisible(), yes);
        QCOMPARE(find<QPushButton>("BitBtn2")->text(), QString("取消"));
        QVERIFY(find<QTreeWidget>("ListView2")->isHidden());
        if (yes) {
            // The abort is forgotten: the next run goes through.
            m_form->BitBtn1Click();
            QVERIFY(m_form->done());
            QCOMPARE(m_form->outcome().hits, 1);
        }
    }

    // Tens of thousands of node hits: the screen gets a bounded number of updates, the
    // abort question comes at once, and the run's last state is what stays.
    void progressUpdatesAreBoundedByTime_data()
    {
        QTest::addColumn<bool>("abortOnFirstHit");
        QTest::newRow("to the end") << false;
        QTest::newRow("aborted") << true;
    }
    void progressUpdatesAreBoundedByTime()
    {
        QFETCH(bool, abortOnFirstHit);
        catalog::Tree tree;
        const catalog::NodeId drive = tree.addChild(catalog::NoNode, "E:\\");
        for (int i = 0; i < 40000; ++i) {
            tree.addChild(drive, "HIT" + std::to_string(i) + ".TXT", 4, 4);
        }
        const std::string base = m_library->path() + gbk("光盘/大盘");
        writeFile(base + ".cdr", catalog::WriteTreeText(tree));
        writeFile(base + ".tag", catalog::TagText(tree));
        setScope({{gbk("Orlendy\\光盘\\大盘"), ScopeKind::Cd}});
        find<QLineEdit>("Edit1")->setText("hit");
        m_form->show();

        int titles = 0;
        int statuses = 0;
        bool hitShown = false;
        connect(m_form.get(), &QWidget::windowTitleChanged, this, [&](const QString& title) {
            ++titles;
            hitShown = hitShown || title.startsWith("找到\"HIT");
        });
        connect(find<QStatusBar>("StatusBar1"), &QStatusBar::messageChanged, this,
                [&] { ++statuses; });
        QElapsedTimer asked;
        qint64 waitedMs = -1;
        if (abortOnFirstHit) {
            m_dialogs->answerNext(true);
            connect(m_form.get(), &QWidget::windowTitleChanged, this, [&] {
                if (asked.isValid()) {
                    return;
                }
                asked.start();
                QTimer::singleShot(0, this, [&] {
                    find<QPushButton>("BitBtn2")->click();
                    waitedMs = asked.elapsed();
                });
                // However fast the machine, the run's next abort check is due to handle
                // the window's events: the click lands before the run can end.
                QTest::qSleep(search::TFindForm::PumpIntervalMs + 1);
            });
        }
        QElapsedTimer run;
        run.start();
        m_form->BitBtn1Click();
        const qint64 elapsedMs = run.elapsed();

        // Two a frame at most: the throttled change and the idle state's own.
        const qint64 bound = elapsedMs / ui::ThrottledUpdate::IntervalMs + 3;
        QVERIFY2(titles <= bound,
                 qPrintable(QString("%1 titles in %2 ms").arg(titles).arg(elapsedMs)));
        QVERIFY2(statuses <= bound,
                 qPrintable(QString("%1 statuses in %2 ms").arg(statuses).arg(elapsedMs)));
        QCOMPARE(m_form->windowTitle(), QString("查找"));
        QCOMPARE(find<QStatusBar>("StatusBar1")->currentMessage(), QString());
        if (abortOnFirstHit) {
            QCOMPARE(m_dialogs->lastText(), std::string("中止查找进程？"));
            QVERIFY2(waitedMs >= 0 && waitedMs < 200, qPrintable(QString::number(waitedMs)));
            QVERIFY(!m_form->done());
        } else {
            QCOMPARE(m_form->outcome().hits, 1);
            QVERIFY(hitShown);
        }
    }

    void cancel()
    {
        m_form->show();
        find<QPushButton>("BitBtn2")->click();
        QVERIFY(!m_form->isVisible());
        QVERIFY(!m_form->done());
        QVERIFY(m_dialogs->shown().empty());
        QVERIFY(!testing_support::exists(resultsFolder()));
    }

    void fileErrorEndsRun()
    {
        // A library root below a plain file: the results folder cannot be made.
        writeFile(m_library->path() + "plain", "x");
        m_form->setLibraryRoot(m_library->path() + "plain/");
        setScope({{"Orlendy", ScopeKind::Library}});
        find<QLineEdit>("Edit1")->setText("SETUP");
        m_form->show();
        m_form->BitBtn1Click();
        QCOMPARE(m_dialogs->shown().size(), std::size_t(1));
        QCOMPARE(m_dialogs->shown().back().icon, Icon::Error);
        QVERIFY(!m_dialogs->lastText().empty());
        QVERIFY(m_form->isVisible());
        QVERIFY(!m_form->done());
        QCOMPARE(find<QPushButton>("BitBtn2")->text(), QString("取消"));
        QVERIFY(find<QPushButton>("BitBtn1")->isEnabled());
    }

    // ---- TLocForm

    void locateWithoutSelection()
    {
        search::TLocForm form;
        form.setDialogs(m_dialogs.get());
        form.setEntries({{gbk("SETUP\\"), gbk("安装程序")}});
        form.show();
        child<QTreeWidget>(&form, "ListView1")->clearSelection();
        child<QPushButton>(&form, "Button1")->click();
        QCOMPARE(m_dialogs->lastText(), std::string("请选择要定位的节点"));
        QCOMPARE(m_dialogs->shown().back().icon, Icon::Warning);
        QVERIFY(form.isVisible());
        QVERIFY(!form.locate());
        QCOMPARE(form.selectedIndex(), -1);
    }

    void locateOrClose_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("locate");
        QTest::newRow("button") << "Button1" << true;
        QTest::newRow("double click") << "" << true;
        QTest::newRow("close") << "Button2" << false;
    }
    void locateOrClose()
    {
        QFETCH(QString, how);
        QFETCH(bool, locate);
        search::TLocForm form;
        form.setEntries(
            {{gbk("SETUP\\"), gbk("安装程序")}, {gbk("SETUP\\DATA\\README.TXT\\"), gbk("说明")}});
        form.show();
        auto* list = child<QTreeWidget>(&form, "ListView1");
        list->setCurrentItem(list->topLevelItem(1));
        if (how.isEmpty()) {
            emit list->itemDoubleClicked(list->topLevelItem(1), 0);
        } else {
            child<QPushButton>(&form, how.toLatin1().constData())->click();
        }
        QVERIFY(!form.isVisible());
        QCOMPARE(form.locate(), locate);
        QCOMPARE(form.selectedIndex(), 1);
        QVERIFY(!form.modified());
    }

    void deleteAndClear_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("selection");
        QTest::addColumn<QStringList>("left");
        QTest::addColumn<bool>("modified");
        QTest::newRow("delete") << "Button3" << true << QStringList{"b"} << true;
        QTest::newRow("delete nothing") << "Button3" << false << QStringList{"a", "b"} << false;
        QTest::newRow("clear") << "Button5" << false << QStringList{} << true;
    }
    void deleteAndClear()
    {
        QFETCH(QString, button);
        QFETCH(bool, selection);
        QFETCH(QStringList, left);
        QFETCH(bool, modified);
        search::TLocForm form;
        form.setEntries({{"A\\", "a"}, {"B\\", "b"}});
        form.show();
        if (!selection) {
            child<QTreeWidget>(&form, "ListView1")->clearSelection();
        }
        child<QPushButton>(&form, button.toLatin1().constData())->click();
        QStringList captions;
        for (const auto& [path, text] : form.entries()) {
            captions << QString::fromStdString(text);
            QCOMPARE(path, text == "a" ? std::string("A\\") : std::string("B\\"));
        }
        QCOMPARE(captions, left);
        QCOMPARE(form.modified(), modified);
        QVERIFY(form.isVisible());
    }

    // The selected row is drawn in the style's own selection colours, focused or not,
    // and the rows keep their grid lines.
    void selectedRowInSelectionColours_data()
    {
        QTest::addColumn<bool>("focused");
        QTest::newRow("focused") << true;
        QTest::newRow("unfocused") << false;
    }
    void selectedRowInSelectionColours()
    {
        QFETCH(bool, focused);
        search::TLocForm form;
        form.setEntries({{"A\\", "a"}, {"B\\", "b"}, {"C\\", "c"}});
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        auto* list = child<QTreeWidget>(&form, "ListView1");
        if (focused) {
            QApplication::setActiveWindow(&form);
            list->setFocus();
        }
        list->setCurrentItem(list->topLevelItem(1));
        const QImage image = list->viewport()->grab().toImage();
        const QRect row = list->visualItemRect(list->topLevelItem(1));
        const QColor background = image.pixelColor(row.right() - 4, row.center().y());
        const QPalette::ColorGroup group = focused ? QPalette::Active : QPalette::Inactive;
        // The style may shade its selection a little.
        const auto near = [](const QColor& a, const QColor& b) {
            return std::abs(a.red() - b.red()) <= 8 && std::abs(a.green() - b.green()) <= 8 &&
                   std::abs(a.blue() - b.blue()) <= 8;
        };
        const QColor highlight = list->palette().color(group, QPalette::Highlight);
        QVERIFY2(near(background, highlight),
                 qPrintable(background.name() + " is not " + highlight.name()));
        const QRect other = list->visualItemRect(list->topLevelItem(0));
        const QColor line = image.pixelColor(other.right() - 4, other.bottom());
        QCOMPARE(line.rgb(), list->palette().color(group, QPalette::Mid).rgb());
    }

    void entriesRoundTrip()
    {
        search::TLocForm form;
        const search::TLocForm::Entries given{{gbk("SETUP\\"), gbk("安装程序")},
                                              {gbk("SETUP\\DATA\\README.TXT\\"), gbk("说明")}};
        form.setEntries(given);
        QCOMPARE(form.entries(), given);
        QCOMPARE(form.selectedIndex(), 0);
        QVERIFY(!form.modified());
        auto* list = child<QTreeWidget>(&form, "ListView1");
        QCOMPARE(texts(list), (QStringList{"安装程序", "说明"}));
    }

    void editInPlace_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("text");
        QTest::newRow("confirmed") << int(Qt::Key_Return) << "新说明";
        QTest::newRow("cancelled") << int(Qt::Key_Escape) << "说明";
    }
    void editInPlace()
    {
        QFETCH(int, key);
        QFETCH(QString, text);
        search::TLocForm form;
        form.setEntries(
            {{gbk("SETUP\\"), gbk("安装程序")}, {gbk("SETUP\\DATA\\README.TXT\\"), gbk("说明")}});
        form.show();
        auto* list = child<QTreeWidget>(&form, "ListView1");
        list->setCurrentItem(list->topLevelItem(1));
        child<QPushButton>(&form, "Button4")->click();
        auto* editor = list->viewport()->findChild<QLineEdit*>();
        QVERIFY(editor != nullptr);
        editor->setText("新说明");
        QTest::keyClick(editor, static_cast<Qt::Key>(key));
        QCoreApplication::processEvents(); // the delegate commits through a queued call
        QCOMPARE(form.modified(), key == Qt::Key_Return);
        QCOMPARE(form.entries().at(1).second, gbk(text.toStdString()));
        QCOMPARE(form.entries().at(1).first, gbk("SETUP\\DATA\\README.TXT\\"));
        QVERIFY(form.isVisible());
    }
};

QTEST_MAIN(SearchDialogsTest)
#include "search_dialogs_test.moc"
