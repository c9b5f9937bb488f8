// The add-a-CD, description and new-box dialogs, driven by their control names; discs
// are temporary folders behind fake drives.

#include "catalog/disk.h"
#include "catalog/library.h"
#include "scan/CDMxUnit.h"
#include "scan/NewCDUnit.h"
#include "scan/NewCDsUnit.h"
#include "tests/support/fake_drives.h"
#include "tests/support/fake_settings_store.h"
#include "tests/support/fake_user_dialogs.h"
#include "tests/support/temp_library.h"
#include "tests/support/ui_helpers.h"
#include "ui/icons.h"
#include "ui/throttled_update.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include <filesystem>
#include <functional>
#include <memory>

using testing_support::exists;
using testing_support::gbk;
using testing_support::readFile;
using testing_support::writeFile;
using Icon = platform::MessageIcon;
using testing_support::child;
using testing_support::type;

namespace {

const std::string DoorKey = "\\software\\Vellumark";
const std::string DoorValue = "新增完成后打开光驱门";

// Questions can change the world before they are answered (a disc put in meanwhile).
class Dialogs : public testing_support::FakeUserDialogs
{
public:
    std::function<void()> onAsk;
    using FakeUserDialogs::ask;
    bool ask(const std::string& text, Icon icon, Default preferred) override
    {
        if (onAsk) {
            onAsk();
        }
        return FakeUserDialogs::ask(text, icon, preferred);
    }
};

// On the box itself: a check box reacts to clicks on its indicator and its text only.
void tick(QCheckBox* box)
{
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
}

QStringList texts(const QListWidget* list)
{
    QStringList result;
    for (int row = 0; row < list->count(); ++row) {
        result << list->item(row)->text();
    }
    return result;
}

QStringList currentPath(const QTreeWidget* tree)
{
    QStringList path;
    for (const QTreeWidgetItem* item = tree->currentItem(); item; item = item->parent()) {
        path.prepend(item->text(0));
    }
    return path;
}

} // namespace

class ScanDialogsTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<testing_support::TempDir> m_library;
    std::unique_ptr<testing_support::TempDir> m_disc;
    std::unique_ptr<testing_support::FakeDrives> m_drives;
    std::unique_ptr<testing_support::FakeSettingsStore> m_settings;
    std::unique_ptr<Dialogs> m_dialogs;
    std::unique_ptr<scan::TNewCDForm> m_form;

    // Drive E holds the temporary disc, drive G is empty; the library has two boxes.
    void openForm(const std::string& presetBox = gbk("软件\\"))
    {
        m_form = std::make_unique<scan::TNewCDForm>(*m_drives, *m_settings, *m_dialogs);
        m_form->setLibraryRoot(m_library->path());
        m_form->setPresetBox(presetBox);
        m_form->setDriveLetters({'E', 'G'});
        m_form->selectDrive(0);
        m_form->setCdName("Disc");
        m_form->show();
    }
    template <typename T> T* control(const char* name) { return child<T>(m_form.get(), name); }
    // A file in a box directly under the library root.
    std::string record(const std::string& boxGbk, const std::string& file)
    {
        return m_library->path() + boxGbk + "/" + file;
    }

private slots:
    void init()
    {
        m_library = std::make_unique<testing_support::TempDir>();
        m_disc = std::make_unique<testing_support::TempDir>();
        testing_support::makeFolders(m_library->path() + gbk("软件"));
        testing_support::makeFolders(m_library->path() + gbk("游戏"));
        m_drives = std::make_unique<testing_support::FakeDrives>();
        m_drives->addDrive('E');
        m_drives->addDrive('G');
        m_drives->insert('E', {"LABEL_E", 100, m_disc->path()});
        m_settings = std::make_unique<testing_support::FakeSettingsStore>();
        m_dialogs = std::make_unique<Dialogs>();
    }
    void cleanup() { m_form.reset(); }

    void driveChoiceSetsName()
    {
        openForm();
        auto* drives = control<QComboBox>("ComboBox1");
        drives->setCurrentIndex(1);
        QCOMPARE(control<QLineEdit>("Edit1")->text(), QString());
        QVERIFY(!control<QPushButton>("BitBtn1")->isEnabled());
        drives->setCurrentIndex(0);
        QCOMPARE(control<QLineEdit>("Edit1")->text(), QStringLiteral("LABEL_E"));
        QVERIFY(control<QPushButton>("BitBtn1")->isEnabled());
    }

    void mediaNotificationsFollowTheSelectedDrive()
    {
        openForm();
        auto* name = control<QLineEdit>("Edit1");
        name->setText(QStringLiteral("typed"));
        m_form->mediaChanged(); // another device: the typed name stays
        QCOMPARE(name->text(), QStringLiteral("typed"));
        m_drives->eject('E');
        m_form->mediaChanged();
        QCOMPARE(name->text(), QString());
        m_drives->insert('E', {"NEW", 1, m_disc->path()});
        m_form->mediaChanged();
        QCOMPARE(name->text(), QStringLiteral("NEW"));
    }

    void noDiscQuestionLoops()
    {
        writeFile(m_disc->path() + "a.txt", "a");
        openForm();
        m_form->selectDrive(1);
        m_dialogs->answerNext(false);
        m_form->start();
        QCOMPARE(m_dialogs->lastText(), std::string("没有光盘在 G: 驱 里! 请放入光盘按是开始!"));
        QCOMPARE(m_dialogs->shown().back().icon, Icon::Warning);
        QVERIFY(m_form->isVisible());

        // Yes without a disc asks again; the disc goes in before the second answer.
        m_dialogs->clear();
        int asked = 0;
        m_dialogs->onAsk = [&] {
            if (++asked == 2) {
                m_drives->insert('G', {"G", 1, m_disc->path()});
            }
        };
        m_dialogs->answerNext(true);
        m_dialogs->answerNext(true);
        m_form->start();
        QCOMPARE(asked, 2);
        QVERIFY(m_form->cdAdded());
        QVERIFY(exists(record(gbk("软件"), "Disc.Cdr")));
    }

    void duplicateNames_data()
    {
        QTest::addColumn<QString>("existing");
        QTest::addColumn<bool>("refused");
        QTest::newRow("same spelling") << "Disc.Cdr" << true;
        QTest::newRow("lower extension") << "Disc.cdr" << true;
        QTest::newRow("upper extension") << "Disc.CDR" << true;
        QTest::newRow("other case of name") << "DISC.cdr" << true;
        QTest::newRow("other name") << "Disc2.Cdr" << false;
    }
    void duplicateNames()
    {
        QFETCH(QString, existing);
        QFETCH(bool, refused);
        writeFile(m_disc->path() + "a.txt", "a");
        const std::string box = gbk("软件");
        writeFile(record(box, existing.toStdString()), "E:\\\r\n");
        openForm();
        m_form->start();
        QCOMPARE(m_form->cdAdded(), !refused);
        if (refused) {
            QCOMPARE(m_dialogs->lastText(), std::string("已有光盘:Disc!请另取一名称!"));
            QCOMPARE(readFile(record(box, existing.toStdString())), std::string("E:\\\r\n"));
            QCOMPARE(m_dialogs->shown().back().icon, Icon::Warning);
            QVERIFY(m_form->isVisible());
            // The same name in another box is accepted.
            auto* tree = control<QTreeWidget>("TreeView1");
            tree->setCurrentItem(tree->findItems(QStringLiteral("游戏"), Qt::MatchRecursive)[0]);
            m_form->start();
            QVERIFY(m_form->cdAdded());
            QCOMPARE(m_form->targetBox(), gbk("游戏\\"));
        }
    }

    void standardScanSavesRecord()
    {
        writeFile(m_disc->path() + "A/B/b.jpg", "");
        writeFile(m_disc->path() + "A/a.txt", "");
        writeFile(m_disc->path() + "setup.exe", "");
        writeFile(m_disc->path() + "说明.txt", gbk("光盘说明"));
        openForm();
        control<QLineEdit>("Edit1")->setText(QStringLiteral("我的光盘"));
        QTest::mouseClick(control<QPushButton>("BitBtn1"), Qt::LeftButton);

        QVERIFY(!m_form->isVisible());
        QCOMPARE(m_form->result(), int(QDialog::Accepted));
        QVERIFY(m_form->cdAdded());
        QCOMPARE(m_form->targetBox(), gbk("软件\\"));
        const std::string base = record(gbk("软件"), gbk("我的光盘"));
        QCOMPARE(readFile(base + ".Cdr"), "E:\\\r\n\tA\r\n\t\tB\r\n\t\t\tb.jpg\r\n\t\ta.txt\r\n"
                                          "\tsetup.exe\r\n\t" +
                                              gbk("说明.txt") + "\r\n");
        QCOMPARE(readFile(base + ".tag"), std::string("0\r\n1\r\n1\r\n6\r\n4\r\n3\r\n4\r\n"));
        QCOMPARE(m_form->readmeText(), QStringLiteral("光盘说明"));

        // Reopened and closed with the close box: nothing of the add is left.
        m_form->show();
        QVERIFY(m_form->readmeText().isEmpty());
        m_form->close();
        QVERIFY(!m_form->cdAdded());
        QVERIFY(m_form->targetBox().empty());
    }

    void refusedAndEmptyScansWriteNothing_data()
    {
        QTest::addColumn<QString>("label");
        QTest::addColumn<bool>("withFile");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty disc") << "Disc" << false << "这张光盘找不到匹配你要求的文件！！！";
        QTest::newRow("slash in label") << "A/B" << true << "光盘名称不能含有下列字符\r\\/*?:\"><|";
        QTest::newRow("no GBK form")
            << "Disc\U0001F600" << true << "光盘名称不能含有下列字符\r\\/*?:\"><|";
    }
    void refusedAndEmptyScansWriteNothing()
    {
        QFETCH(QString, label);
        QFETCH(bool, withFile);
        QFETCH(QString, message);
        if (withFile) {
            writeFile(m_disc->path() + "a.txt", "a");
        }
        openForm();
        m_form->setCdName(label.toStdString());
        m_form->start();
        QCOMPARE(QString::fromStdString(m_dialogs->lastText()), message);
        QVERIFY(m_form->isVisible());
        QVERIFY(!m_form->cdAdded());
        std::vector<catalog::DirEntry> entries;
        catalog::ListFolder(m_library->path() + gbk("软件") + "/", entries);
        QVERIFY(entries.empty());
    }

    void boxGoneWhileOpen()
    {
        writeFile(m_disc->path() + "a.txt", "a");
        openForm();
        std::filesystem::remove_all(m_library->path() + gbk("软件"));
        m_form->start();
        QCOMPARE(m_dialogs->shown().size(), std::size_t(1));
        QCOMPARE(m_dialogs->shown().back().icon, Icon::Error);
        QVERIFY(m_form->isVisible());
        QVERIFY(!m_form->cdAdded());
        QCOMPARE(control<QPushButton>("BitBtn2")->text(), QStringLiteral("取消"));
    }

    void abortQuestion_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::newRow("aborted") << true;
        QTest::newRow("carried on") << false;
    }
    void abortQuestion()
    {
        QFETCH(bool, yes);
        for (int i = 0; i < 40; ++i) {
            writeFile(m_disc->path() + "D" + std::to_string(i) + "/S/f.txt", "");
        }
        openForm();
        auto* cancel = control<QPushButton>("BitBtn2");
        QObject scope;
        int paths = 0;
        QString captionWhileScanning;
        bool nameEnabledWhileScanning = true;
        connect(control<QStatusBar>("StatusBar1"), &QStatusBar::messageChanged, &scope,
                [&](const QString& text) {
                    if (!text.isEmpty() && ++paths == 1) {
                        captionWhileScanning = cancel->text();
                        nameEnabledWhileScanning = control<QLineEdit>("Edit1")->isEnabled();
                        m_dialogs->answerNext(yes);
                        cancel->click();
                    }
                });
        m_form->start();

        QCOMPARE(captionWhileScanning, QStringLiteral("中止"));
        QVERIFY(!nameEnabledWhileScanning);
        QCOMPARE(m_dialogs->shown().front().text, std::string("中止新增一张光盘？"));
        QVERIFY(m_dialogs->lastDefault() == platform::UserDialogs::Default::No);
        QCOMPARE(m_dialogs->shown().front().icon, Icon::Question);
        QCOMPARE(m_form->cdAdded(), !yes);
        QCOMPARE(exists(record(gbk("软件"), "Disc.Cdr")), !yes);
        QCOMPARE(m_form->isVisible(), yes);
        QCOMPARE(cancel->text(), QStringLiteral("取消"));
        QVERIFY(control<QLineEdit>("Edit1")->isEnabled());
    }

    // A disc of many entries: the path on the status bar changes a bounded number of
    // times, and the bar is clear once the record is saved.
    void scanStatusIsBoundedByTime()
    {
        for (int i = 0; i < 200; ++i) {
            for (int j = 0; j < 20; ++j) {
                writeFile(m_disc->path() + "D" + std::to_string(i) + "/F" + std::to_string(j), "");
            }
        }
        openForm();
        auto* bar = control<QStatusBar>("StatusBar1");
        QObject scope;
        int changes = 0;
        connect(bar, &QStatusBar::messageChanged, &scope, [&] { ++changes; });
        QElapsedTimer run;
        run.start();
        m_form->start();
        const qint64 elapsedMs = run.elapsed();
        QVERIFY(m_form->cdAdded());
        QVERIFY2(changes <= elapsedMs / ui::ThrottledUpdate::IntervalMs + 3,
                 qPrintable(QString("%1 paths in %2 ms").arg(changes).arg(elapsedMs)));
        QCoreApplication::processEvents();
        QCOMPARE(bar->currentMessage(), QString());
    }

    void advancedPanelWidth()
    {
        openForm();
        auto* toggle = control<QToolButton>("SpeedButton1");
        QCOMPARE(m_form->width(), 350);
        QTest::mouseClick(toggle, Qt::LeftButton);
        QCOMPARE(m_form->width(), 600);
        QCOMPARE(toggle->text(), QStringLiteral("<< 标准"));
        QVERIFY(control<QGroupBox>("GroupBox1")->isVisible());
        QTest::mouseClick(toggle, Qt::LeftButton);
        QCOMPARE(m_form->width(), 350);
        QCOMPARE(toggle->text(), QStringLiteral("高级 >>"));
        QTest::mouseClick(toggle, Qt::LeftButton);
        m_form->hide();
        m_form->show();
        QCOMPARE(m_form->width(), 350);
        QVERIFY(m_form->optionLines().empty());
    }

    void optionLines_data()
    {
        QTest::addColumn<bool>("expanded");
        QTest::addColumn<bool>("maskTicked");
        QTest::addColumn<QStringList>("lines");
        const QStringList all{"提取层数: 三层", "文件类型: *.EXE;*.TXT;",
                              "文件属性：  存档文件 系统文件"};
        QTest::newRow("collapsed") << false << true << QStringList();
        QTest::newRow("expanded") << true << true << all;
        QTest::newRow("masks off") << true << false << QStringList{all[0], "文件类型: *.*", all[2]};
    }
    void optionLines()
    {
        QFETCH(bool, expanded);
        QFETCH(bool, maskTicked);
        QFETCH(QStringList, lines);
        openForm();
        QTest::mouseClick(control<QToolButton>("SpeedButton1"), Qt::LeftButton);
        auto* level = control<QComboBox>("ComboBox2");
        level->setFocus();
        QTest::keyClick(level, Qt::Key_Down);
        QTest::keyClick(level, Qt::Key_Down);
        QVERIFY(control<QCheckBox>("cs")->isChecked());
        auto* offered = control<QListWidget>("ListBox2");
        offered->item(1)->setSelected(true);
        offered->item(0)->setSelected(true);
        QTest::mouseClick(control<QToolButton>("SpeedButton6"), Qt::LeftButton);
        control<QCheckBox>("filemask")->setChecked(maskTicked);
        tick(control<QCheckBox>("CheckBox2"));
        tick(control<QCheckBox>("CheckBox4"));
        QVERIFY(control<QCheckBox>("filetype")->isChecked());
        if (!expanded) {
            QTest::mouseClick(control<QToolButton>("SpeedButton1"), Qt::LeftButton);
        }

        QStringList got;
        for (const auto& line : m_form->optionLines()) {
            got << QString::fromStdString(line);
        }
        QCOMPARE(got, lines);
    }

    void maskLists()
    {
        openForm();
        auto* chosen = control<QListWidget>("ListBox1");
        auto* offered = control<QListWidget>("ListBox2");
        auto* edit = control<QLineEdit>("Edit2");
        QCOMPARE(edit->text(), QStringLiteral("*."));
        edit->clear();
        QTest::keyClicks(edit, QStringLiteral(" *.t|x:t "));
        QCOMPARE(edit->text(), QStringLiteral(" *.TXT "));
        QTest::keyClick(edit, Qt::Key_Return);
        QVERIFY(m_dialogs->shown().empty()); // Enter added the mask, it did not start
        QVERIFY(control<QCheckBox>("filemask")->isChecked());
        QTest::mouseClick(control<QToolButton>("SpeedButton5"), Qt::LeftButton);
        QCOMPARE(texts(chosen), (QStringList{"*.TXT", "*.EXE", "*.ZIP", "*.BMP", "*.GIF", "*.JPG",
                                             "*.HTM", "*.MP3", "*.RM"}));

        chosen->clearSelection();
        chosen->item(0)->setSelected(true);
        chosen->item(2)->setSelected(true);
        QTest::mouseClick(control<QToolButton>("SpeedButton3"), Qt::LeftButton);
        chosen->item(0)->setSelected(true);
        chosen->setFocus();
        QTest::keyClick(chosen, Qt::Key_Delete);
        QCOMPARE(texts(chosen), (QStringList{"*.BMP", "*.GIF", "*.JPG", "*.HTM", "*.MP3", "*.RM"}));

        // Drops count only from the other list.
        offered->clearSelection();
        offered->item(0)->setSelected(true);
        QVERIFY(!m_form->dropOnList(offered, offered));
        QVERIFY(m_form->dropOnList(offered, chosen));
        QCOMPARE(chosen->count(), 7);
        chosen->clearSelection();
        chosen->item(0)->setSelected(true);
        QVERIFY(!m_form->dropOnList(chosen, chosen));
        QVERIFY(m_form->dropOnList(chosen, offered));
        QCOMPARE(chosen->count(), 6);

        QTest::mouseClick(control<QToolButton>("SpeedButton4"), Qt::LeftButton);
        QCOMPARE(chosen->count(), 0);
        QVERIFY(control<QCheckBox>("filemask")->isChecked());
    }

    void filteredScanOnlyWhenExpanded_data()
    {
        QTest::addColumn<bool>("expanded");
        QTest::addColumn<std::string>("listing");
        QTest::newRow("collapsed")
            << false << std::string("E:\\\r\n\tX\r\n\t\ta.txt\r\n\tb.exe\r\n");
        QTest::newRow("expanded") << true << std::string("E:\\\r\n\tb.exe\r\n");
    }
    void filteredScanOnlyWhenExpanded()
    {
        QFETCH(bool, expanded);
        QFETCH(std::string, listing);
        writeFile(m_disc->path() + "X/a.txt", "");
        writeFile(m_disc->path() + "b.exe", "");
        openForm();
        QTest::mouseClick(control<QToolButton>("SpeedButton1"), Qt::LeftButton);
        control<QListWidget>("ListBox2")->item(0)->setSelected(true);
        QTest::mouseClick(control<QToolButton>("SpeedButton6"), Qt::LeftButton);
        if (!expanded) {
            QTest::mouseClick(control<QToolButton>("SpeedButton1"), Qt::LeftButton);
        }
        m_form->start();
        QCOMPARE(readFile(record(gbk("软件"), "Disc.Cdr")), listing);
    }

    void closeDoorSetting_data()
    {
        QTest::addColumn<int>("stored"); // -1: missing
        QTest::addColumn<bool>("ticked");
        QTest::newRow("missing") << -1 << true;
        QTest::newRow("one") << 1 << true;
        QTest::newRow("zero") << 0 << false;
    }
    void closeDoorSetting()
    {
        QFETCH(int, stored);
        QFETCH(bool, ticked);
        if (stored >= 0) {
            m_settings->writeInteger(DoorKey, DoorValue, stored);
        }
        openForm();
        auto* door = control<QCheckBox>("closedoor");
        QCOMPARE(door->isChecked(), ticked);
        tick(door);
        QCOMPARE(m_settings->readInteger("software\\VELLUMARK", DoorValue).value_or(-1),
                 ticked ? 0 : 1);
        QCOMPARE(m_form->openDoorWhenAdded(), !ticked);
    }

    void nameField_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        QTest::newRow("forbidden") << "a*b/c:d<e>f?g\\h|i"
                                   << "abcdefghi";
        QTest::newRow("quote and blanks") << " \"x\" "
                                          << " \"x\" ";
        QTest::newRow("no GBK form") << "a\u0E01b"
                                     << "ab";
    }
    void nameField()
    {
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        openForm();
        auto* name = control<QLineEdit>("Edit1");
        name->clear();
        type(name, typed);
        QCOMPARE(name->text(), kept);
        QVERIFY(control<QPushButton>("BitBtn1")->isEnabled());
    }

    void descriptionDialog()
    {
        scan::TCDMxForm form;
        auto* memo = child<QPlainTextEdit>(&form, "Memo1");
        form.prepare(QStringLiteral("光盘 软件\\Disc"), QStringLiteral("read me"));
        form.show();
        QCOMPARE(form.height(), 375);
        QVERIFY(child<QPlainTextEdit>(&form, "Memo2")->isVisible());
        memo->moveCursor(QTextCursor::Start);
        QTest::mouseClick(child<QPushButton>(&form, "Button2"), Qt::LeftButton);
        QCOMPARE(form.description(), QStringLiteral("光盘 软件\\Discread me"));
        QTest::mouseClick(child<QPushButton>(&form, "Button1"), Qt::LeftButton);
        QCOMPARE(form.description(), QStringLiteral("read me"));

        form.prepare(QStringLiteral("x"), QString());
        QCOMPARE(form.height(), 200);
        QVERIFY(!child<QPlainTextEdit>(&form, "Memo2")->isVisible());
        QVERIFY(!child<QPushButton>(&form, "Button1")->isVisible());
        QVERIFY(child<QPushButton>(&form, "BitBtn1")->isVisible());
    }

    void newBoxPreset_data()
    {
        QTest::addColumn<std::string>("preset");
        QTest::addColumn<QStringList>("selected");
        QTest::newRow("nested box")
            << gbk("软件\\工具\\") << QStringList{"Orlendy", "软件", "工具"};
        QTest::newRow("gone") << gbk("旧盒\\") << QStringList{"Orlendy"};
        QTest::newRow("root") << std::string() << QStringList{"Orlendy"};
    }
    void newBoxPreset()
    {
        QFETCH(std::string, preset);
        QFETCH(QStringList, selected);
        testing_support::makeFolders(m_library->path() + gbk("软件/工具"));
        testing_support::makeFolders(m_library->path() + "abc");
        scan::TNewCDsForm form;
        form.setLibraryRoot(m_library->path());
        form.setParentPath(preset);
        form.show();
        auto* tree = child<QTreeWidget>(&form, "TreeView1");
        QCOMPARE(currentPath(tree), selected);
        const QTreeWidgetItem* root = tree->topLevelItem(0);
        QCOMPARE(root->childCount(), 3);
        QCOMPARE(root->child(0)->text(0), QStringLiteral("abc"));
        QCOMPARE(root->icon(0).cacheKey(),
                 ui::boxTreeIcon(catalog::BoxNode::LibraryRoot).cacheKey());
        QCOMPARE(root->child(0)->icon(0).cacheKey(),
                 ui::boxTreeIcon(catalog::BoxNode::Box).cacheKey());

        auto* name = child<QLineEdit>(&form, "Edit1");
        auto* ok = child<QPushButton>(&form, "BitBtn1");
        QVERIFY(!ok->isEnabled());
        type(name, QStringLiteral("新\"盒\\/*?:><|子"));
        QCOMPARE(name->text(), QStringLiteral("新盒子"));
        QVERIFY(ok->isEnabled());
        tree->setCurrentItem(root->child(2)); // 游戏 sorts after 软件
        QTest::mouseClick(ok, Qt::LeftButton);
        QCOMPARE(form.result(), int(QDialog::Accepted));
        QCOMPARE(form.parentPath(), gbk("游戏\\"));
        QCOMPARE(form.nameGbk(), gbk("新盒子"));
    }
};

QTEST_MAIN(ScanDialogsTest)
#include "scan_dialogs_test.moc"
