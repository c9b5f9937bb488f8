// Import and backup from the main window, driven by the control names.

#include "app/mainunit.h"
#include "app/panel_bar.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fake_drives.h"
#include "tests/support/fake_settings_store.h"
#include "tests/support/fake_shell.h"
#include "tests/support/fake_user_dialogs.h"
#include "tests/support/temp_library.h"
#include "tests/support/ui_helpers.h"

#include "catalog/library.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>

#include <filesystem>
#include <functional>

#include <memory>

using platform::MessageIcon;
using testing_support::exists;
using testing_support::gbk;
using testing_support::readFile;
using testing_support::walk;

namespace {

const std::string ToolDisc = "E:\\\r\n\tSETUP\r\n";

class MaintenanceTest : public QObject
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
    std::string at(const char* relativeUtf8) const { return root() + gbk(relativeUtf8); }
    void makeForm()
    {
        m_form = std::make_unique<app::Tmainform>(app::MainServices{
            m_settings, m_drives, m_dialogs, m_clock, m_shell, root(), m_dir->path(), nullptr});
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    }
    QTreeWidget* boxTree() const { return m_form->findChild<QTreeWidget*>("TVstyle"); }
    QAction* action(const char* name) const { return m_form->findChild<QAction*>(name); }
    QString status() const { return m_form->findChild<app::PanelBar*>("StatusBar4")->panelText(0); }
    QTreeWidgetItem* node(const QString& path) const
    {
        return walk(boxTree()->topLevelItem(0), path);
    }
    // The prompts of the folder browsers shown so far.
    std::vector<std::string> browserPrompts() const
    {
        std::vector<std::string> prompts;
        for (const auto& choice : m_dialogs.choices()) {
            prompts.push_back(choice.name);
        }
        return prompts;
    }

    // Runs a dialog from the main bar; act gets the dialog once it is up, then the dialog
    // is closed with its cancel button if it is still open.
    void throughDialog(const char* actionName, const char* dialogName,
                       const std::function<void(QDialog*)>& act)
    {
        bool acted = false;
        QTimer driver;
        connect(&driver, &QTimer::timeout, [&] {
            auto* dialog = m_form->findChild<QDialog*>(dialogName);
            if (acted || dialog == nullptr || !dialog->isVisible()) {
                return;
            }
            acted = true;
            act(dialog);
            if (dialog->isVisible()) {
                dialog->findChild<QPushButton*>("BitBtn2")->click();
            }
        });
        driver.start(10);
        action(actionName)->trigger();
        QVERIFY(acted);
    }
    void throughReIconForm(const std::function<void(QDialog*)>& act)
    {
        throughDialog("ToolButton1", "TReIconForm", act);
    }
    int tagFilesIn(const std::string& folder) const
    {
        int tags = 0;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            tags += entry.path().extension() == ".tag";
        }
        return tags;
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<testing_support::TempDir>();
        m_settings = {};
        m_dialogs = {};
        testing_support::writeFile(at("软件光盘/工具盘.Cdr"), ToolDisc);
        testing_support::writeFile(at("软件光盘/工具盘.tag"), "0\r\n1\r\n");
    }
    void cleanup()
    {
        m_form.reset();
        m_dir.reset();
    }

    void commandsAreOnTheMainBar()
    {
        makeForm();
        QVERIFY(action("topload")->isEnabled());
        QCOMPARE(action("topload")->shortcut(), QKeySequence(Qt::Key_F6));
        QCOMPARE(action("topsetup")->shortcut(), QKeySequence(Qt::Key_F9));
        const auto commands = m_form->findChild<QToolBar*>("ToolBar1")->actions();
        QCOMPARE(commands.size(), 12);
        for (const QAction* command : commands) {
            QVERIFY2(command->isEnabled(), qPrintable(command->objectName()));
        }
    }

    // F9 moves the library and turns the warnings on: the window works on the new root
    // at once, and the dialog shows both the next time.
    void settingsMoveTheLibraryAndTheWindowFollows()
    {
        const std::string parent = m_dir->path() + "moved";
        testing_support::makeFolders(parent);
        const std::string newRoot = parent + "/Orlendy/";
        makeForm();
        throughDialog("topsetup", "TSetupForm", [&](QDialog* dialog) {
            auto* warnings = dialog->findChild<QCheckBox*>("CheckBox2");
            QVERIFY(!warnings->isChecked());
            warnings->click();
            m_dialogs.chooseNext(parent);
            dialog->findChild<QToolButton*>("SpeedButton1")->click();
            dialog->findChild<QPushButton*>("BitBtn1")->click();
            QVERIFY(!dialog->isVisible());
        });
        QCOMPARE(m_settings.readString(catalog::SoftwareKey, catalog::LibraryRootValue), newRoot);
        QCOMPARE(m_settings.readInteger(catalog::SoftwareKey, "对光盘镜象操作时警示"), 0);
        QCOMPARE(readFile(newRoot + gbk("软件光盘/工具盘.Cdr")), ToolDisc);
        QVERIFY(node(QString::fromUtf8("软件光盘\\")) != nullptr);
        QCOMPARE(m_dialogs.lastText(),
                 "光盘库已移到新位置：\r" + newRoot + "\r\r原位置的光盘仍然保留。");
        m_dialogs.clear();

        // The new root's parent is now the one a backup may not go to.
        m_dialogs.chooseNext(parent);
        action("ToolButton20")->trigger();
        QCOMPARE(m_dialogs.shown().front().text,
                 std::string("不能备份给自己的父文件夹、自己及自己的子文件夹!"));

        throughDialog("topsetup", "TSetupForm", [&](QDialog* dialog) {
            QCOMPARE(dialog->findChild<QLineEdit*>("Edit1")->text().toStdString(), newRoot);
            QVERIFY(dialog->findChild<QCheckBox*>("CheckBox2")->isChecked());
        });
    }

    // Abort asks first and the walk waits while the question is open; on Yes the walk
    // stops, what was rebuilt stays rebuilt, and the dialog stays open without a report.
    void reIconAbortPausesThenStopsTheWalk()
    {
        const int records = 3000;
        const std::string box = at("大盒/");
        testing_support::makeFolders(box);
        for (int i = 0; i < records; ++i) {
            testing_support::writeFile(box + "cd" + std::to_string(i) + ".cdr",
                                       "F:\\\r\n\tA.TXT\r\n");
        }
        makeForm();
        m_dialogs.answerNext(true); // rebuild
        m_dialogs.answerNext(true); // abort
        int tagsWhenAsked = -1;
        int tagsAfterThinking = -1;
        m_dialogs.whileAsking([&] {
            if (m_dialogs.lastText() != "中止重建图标过程？") {
                return;
            }
            QTest::qWait(50);
            tagsWhenAsked = tagFilesIn(box);
            QTest::qWait(100);
            tagsAfterThinking = tagFilesIn(box);
        });
        throughReIconForm([&](QDialog* dialog) {
            auto* tree = dialog->findChild<QTreeWidget*>("TreeView1");
            tree->setCurrentItem(walk(tree->topLevelItem(0), QString::fromUtf8("大盒\\")));
            auto* cancel = dialog->findChild<QPushButton*>("BitBtn2");
            QTimer aborter;
            connect(&aborter, &QTimer::timeout, [&] {
                if (cancel->text() == QString::fromUtf8("中止")) {
                    aborter.stop();
                    cancel->click();
                }
            });
            aborter.start(1);
            dialog->findChild<QPushButton*>("BitBtn1")->click();
            QVERIFY(dialog->isVisible());
            QCOMPARE(cancel->text(), QString::fromUtf8("取消"));
            QVERIFY(dialog->findChild<QPushButton*>("BitBtn1")->isEnabled());
        });
        QCOMPARE(m_dialogs.shown().size(), std::size_t{2});
        QVERIFY(tagsWhenAsked >= 0);
        QCOMPARE(tagsAfterThinking, tagsWhenAsked);
        const int rebuilt = tagFilesIn(box);
        QVERIFY2(rebuilt < records, std::to_string(rebuilt).c_str());
        // The records under way at the answer are finished, a batch at the most.
        QVERIFY(rebuilt >= tagsWhenAsked && rebuilt <= tagsWhenAsked + 128);
    }

    // A record whose listing cannot be read is left as it was, and the report names it with
    // the reader's reason; a short icon file is rebuilt from the listing.
    void reIconReportsWhatItSkipped()
    {
        testing_support::writeFile(at("软件光盘/坏盘.cdr"), "CD\r\n\t\t\tTOO DEEP\r\n");
        testing_support::writeFile(at("软件光盘/短.Cdr"), "F:\\\r\n\tDIR\r\n\t\tA.JPG\r\n");
        testing_support::writeFile(at("软件光盘/短.tag"), "0\r\n");
        makeForm();
        m_dialogs.answerNext(true);
        throughReIconForm(
            [&](QDialog* dialog) { dialog->findChild<QPushButton*>("BitBtn1")->click(); });
        QCOMPARE(m_dialogs.lastText(),
                 "重建图标索引完成！\r1张光盘无法重建，已跳过。\r\r" + m_dir->path() +
                     "Orlendy/软件光盘/坏盘.cdr: Invalid level (3) for item \"TOO DEEP\"");
        QCOMPARE(m_dialogs.shown().back().icon, MessageIcon::Warning);
        QVERIFY(!exists(at("软件光盘/坏盘.tag")));
        QCOMPARE(readFile(at("软件光盘/工具盘.tag")), std::string("0\r\n1\r\n"));
        QCOMPARE(readFile(at("软件光盘/短.tag")), std::string("0\r\n1\r\n6\r\n"));
    }

    // The library, a box of it and the folder that holds it are refused and the browser
    // opens again; the source chosen then is imported into the library and shown.
    void importRefusesTheLibraryThenCopiesTheChosenTree()
    {
        const std::string source = m_dir->path() + "old/";
        testing_support::writeFile(source + gbk("游戏光盘/星际.CDR"), "F:\\\r\n");
        testing_support::writeFile(source + gbk("游戏光盘/星际.TAG"), "0\r\n");
        testing_support::writeFile(source + gbk("游戏光盘/封面.jpg"), "picture");
        testing_support::writeFile(source + gbk("软件光盘/工具盘.Cdr"), "E:\\\r\n\tNEW\r\n");
        testing_support::writeFile(source + "LOOSE.cdr", "G:\\\r\n");
        makeForm();
        m_dialogs.chooseNext(root());
        m_dialogs.chooseNext(root() + gbk("软件光盘"));
        m_dialogs.chooseNext(m_dir->path());
        m_dialogs.chooseNext(source.substr(0, source.size() - 1)); // without its slash
        m_dialogs.answerNext(true);
        action("topload")->trigger();

        QCOMPARE(browserPrompts(), std::vector<std::string>(4, "请选择要导入的源文件夹"));
        const auto& shown = m_dialogs.shown();
        QCOMPARE(shown.size(), std::size_t{5});
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(shown[i].text,
                     std::string("不能从自己的父文件夹、自己及自己的子文件夹中导入!"));
            QCOMPARE(shown[i].icon, MessageIcon::Warning);
        }
        QCOMPARE(shown[3].text, "确定将 \"" + source + " \"子目录下所有的光盘\r导入到 \"Orlendy\"");
        QCOMPARE(shown[3].icon, MessageIcon::Question);
        // The end is said with the CDs that arrived: 星际, 工具盘 and LOOSE.
        QCOMPARE(shown[4].text, std::string("导入完成！共导入 3 张光盘。"));
        QCOMPARE(shown[4].icon, MessageIcon::Information);

        QCOMPARE(readFile(at("游戏光盘/星际.CDR")), std::string("F:\\\r\n"));
        QCOMPARE(readFile(at("软件光盘/工具盘.Cdr")), std::string("E:\\\r\n\tNEW\r\n"));
        QCOMPARE(readFile(root() + "LOOSE.cdr"), std::string("G:\\\r\n"));
        QVERIFY(!exists(at("游戏光盘/封面.jpg")));
        // Refreshed: the new box is in the tree, the status panel is clear again.
        QVERIFY(node(QString::fromUtf8("游戏光盘\\")) != nullptr);
        QCOMPARE(status(), QString());
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }

    // Another program's catalogue: what it holds is shown first, a CD of a taken name is
    // asked about, and the end says what arrived.
    void aCatalogueIsShownThenImportedIntoTheSelectedBox()
    {
        const std::string file = m_dir->path() + "光盘.csv";
        testing_support::writeFile(file, "Volume,Path,Name,Size,Ext,Last modified,Description\r\n"
                                         "\"新盘\",\"/DOCS\",\"README.TXT\",12,TXT,,\"说明\"\r\n"
                                         "\"新盘\",\"/\",\"SETUP.EXE\",1,EXE,,\r\n"
                                         "\"工具盘\",\"/\",\"A.EXE\",1,EXE,,\r\n");
        makeForm();
        boxTree()->setCurrentItem(node(QString::fromUtf8("软件光盘")));
        m_dialogs.chooseNext(file);
        m_dialogs.answerNext(true);  // import
        m_dialogs.answerNext(false); // keep the 工具盘 there is
        action("ImportCatalogue")->trigger();

        QCOMPARE(m_dialogs.choices().size(), std::size_t{1});
        QCOMPARE(m_dialogs.choices()[0].folder, m_dir->path());
        const auto& shown = m_dialogs.shown();
        QCOMPARE(shown.size(), std::size_t{3});
        QCOMPARE(shown[0].text, "文件 \"" + file +
                                    "\" (VVV CSV 导出) 中有 2 张光盘, 总共有1个文件夹,3个文件。"
                                    "\r\r发现以下问题:\r光盘盒中已有同名的光盘: 工具盘"
                                    "\r\r文件中的大小和日期不在光盘记录中保存, 将略去。"
                                    "\r\r导入到光盘盒 \"Orlendy\\软件光盘\" 吗?");
        QCOMPARE(shown[0].icon, MessageIcon::Question);
        QCOMPARE(shown[1].text, std::string("目标光盘盒 \"软件光盘 \"下\r已含有与源光盘 \"工具盘 "
                                            "\" 同名的光盘！\r\r是否要覆盖？"));
        QCOMPARE(m_dialogs.lastDefault(), platform::UserDialogs::Default::No);
        QCOMPARE(shown[2].text, std::string("导入完成！共导入 1 张光盘。"));
        QCOMPARE(shown[2].icon, MessageIcon::Information);

        QCOMPARE(readFile(at("软件光盘/新盘.Cdr")),
                 std::string("E:\\\r\n\tDOCS\r\n\t\tREADME.TXT\r\n\tSETUP.EXE\r\n"));
        QCOMPARE(readFile(at("软件光盘/新盘.FMx")), gbk("DOCS\\README.TXT\\\r\n说明\r\n"));
        QCOMPARE(readFile(at("软件光盘/工具盘.Cdr")), ToolDisc);
        // The box is shown again with the new CD in it.
        QCOMPARE(testing_support::currentPath(*boxTree()), QString::fromUtf8("软件光盘"));
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }

    // A file no reader knows is said to be so; a file the user does not confirm leaves the
    // box as it was.
    void nothingIsImportedFromABadFileOrWithoutYes()
    {
        const std::string binary = m_dir->path() + "photo.bin";
        testing_support::writeFile(binary, std::string("BIN\0\0\0\0DATA\n", 12));
        const std::string list = m_dir->path() + "list.txt";
        testing_support::writeFile(list, "SETUP.EXE\nDOCS/README.TXT\n");
        makeForm();
        boxTree()->setCurrentItem(node(QString::fromUtf8("软件光盘")));
        m_dialogs.chooseNext(binary);
        action("ImportCatalogue")->trigger();
        QCOMPARE(m_dialogs.shown().size(), std::size_t{1});
        QVERIFY(m_dialogs.lastText().starts_with("无法读取 " + binary + ": "));
        QCOMPARE(m_dialogs.shown()[0].icon, MessageIcon::Error);

        m_dialogs.clear();
        m_dialogs.chooseNext(list);
        m_dialogs.typeNext(std::string("备份盘"));
        m_dialogs.answerNext(false);
        action("ImportCatalogue")->trigger();
        QCOMPARE(m_dialogs.shown().size(), std::size_t{2});
        QCOMPARE(m_dialogs.shown()[0].text,
                 std::string("导入其他软件的光盘目录|请输入光盘名称|list"));
        QVERIFY(!exists(at("软件光盘/备份盘.Cdr")));
        QVERIFY(!exists(at("软件光盘/list.Cdr")));
    }

    void importAnsweredNoCopiesNothing()
    {
        const std::string source = m_dir->path() + "old/";
        testing_support::writeFile(source + gbk("游戏光盘/星际.CDR"), "F:\\\r\n");
        makeForm();
        m_dialogs.chooseNext(source);
        m_dialogs.answerNext(false);
        action("topload")->trigger();
        QVERIFY(!exists(at("游戏光盘")));
        QCOMPARE(m_dialogs.shown().size(), std::size_t{1});
    }

    // A name GBK cannot hold is left out and said; the rest arrives.
    void importSaysWhatItSkipped()
    {
        const std::string source = m_dir->path() + "old/";
        testing_support::writeFile(source + "Box/" + gbk("好") + ".cdr", "F:\\\r\n");
        testing_support::writeFile(source + "Box/\x81.cdr", "G:\\\r\n");
        makeForm();
        m_dialogs.chooseNext(source);
        m_dialogs.answerNext(true);
        action("topload")->trigger();
        QCOMPARE(m_dialogs.shown().back().icon, MessageIcon::Warning);
        QVERIFY(m_dialogs.lastText().starts_with("导入未能全部完成！共导入 1 张光盘。\r\r"));
        QVERIFY(m_dialogs.lastText().find("以下项目的名称不能以 GBK 保存, 已跳过:") !=
                std::string::npos);
        QVERIFY(exists(root() + "Box/" + gbk("好") + ".cdr"));
        QVERIFY(!exists(root() + "Box/\x81.cdr"));
    }

    void backupRefusesTheLibraryThenWritesOrlendy()
    {
        const std::string target = m_dir->path() + "stick/";
        testing_support::makeFolders(target);
        makeForm();
        m_form->findChild<app::PanelBar*>("StatusBar4")->setPanelText(0, QStringLiteral("before"));
        m_dialogs.chooseNext(root() + gbk("软件光盘/"));
        m_dialogs.chooseNext(m_dir->path());
        m_dialogs.chooseNext(target);
        m_dialogs.answerNext(true);
        action("ToolButton20")->trigger();

        QCOMPARE(browserPrompts(), std::vector<std::string>(3, "你要备份到哪里？"));
        const auto& shown = m_dialogs.shown();
        QCOMPARE(shown.size(), std::size_t{4});
        QCOMPARE(shown[0].text, std::string("不能备份给自己的父文件夹、自己及自己的子文件夹!"));
        QCOMPARE(shown[1].text, shown[0].text);
        QCOMPARE(shown[2].text, "确定要将所有光盘备份到.. \"" + target + "\"");
        QCOMPARE(shown[3].text, std::string("备份完成！请妥善保存！"));
        QCOMPARE(shown[3].icon, MessageIcon::Information);
        QCOMPARE(readFile(target + "Orlendy/" + gbk("软件光盘/工具盘.Cdr")), ToolDisc);
        QCOMPARE(status(), QStringLiteral("before"));
    }

    // A long backup shows how far it got in the status panel, a few times a second.
    void backupShowsItsCountWhileItRuns()
    {
        const int records = 4000;
        for (int i = 0; i < records; ++i) {
            testing_support::writeFile(at("大盒/") + "cd" + std::to_string(i) + ".cdr", "F:\\\r\n");
        }
        const std::string target = m_dir->path() + "stick/";
        testing_support::makeFolders(target);
        makeForm();
        QStringList seen;
        QTimer watcher;
        connect(&watcher, &QTimer::timeout, [&] {
            if (!seen.contains(status())) {
                seen << status();
            }
        });
        watcher.start(5);
        m_dialogs.chooseNext(target);
        m_dialogs.answerNext(true);
        QElapsedTimer clock;
        clock.start();
        action("ToolButton20")->trigger();
        if (clock.elapsed() < 300) {
            QSKIP("the backup ended before its count could be shown");
        }
        const QRegularExpression counted(
            QString::fromUtf8("^正在备份\\.\\.\\. (\\d+)/4002 个文件$"));
        QVERIFY2(!seen.filter(counted).isEmpty(), qPrintable(seen.join('|')));
        QCOMPARE(m_dialogs.lastText(), std::string("备份完成！请妥善保存！"));
    }

    // A record that could not be copied makes the completion message say so; it travels
    // whole or not at all, so its icon file stays out with its listing.
    void backupThatLeftFilesOutIsNotReportedAsDone()
    {
        const std::string target = m_dir->path() + "stick/";
        // A folder in the way of a record file: that file cannot be written.
        testing_support::makeFolders(target + "Orlendy/" + gbk("软件光盘/工具盘.Cdr") + "/x");
        makeForm();
        m_dialogs.chooseNext(target);
        m_dialogs.answerNext(true);
        action("ToolButton20")->trigger();
        QCOMPARE(m_dialogs.shown().back().icon, MessageIcon::Warning);
        QVERIFY2(m_dialogs.lastText().find("有 2 个文件未能复制！") != std::string::npos,
                 m_dialogs.lastText().c_str());
        QVERIFY(!testing_support::exists(target + "Orlendy/" + gbk("软件光盘/工具盘.tag")));
    }

    // The box chosen in the dialog is rebuilt, the others are left alone, and the main
    // window then selects that box; the next opening presets it.
    void reIconRebuildsTheChosenBoxAndTheWindowFollows()
    {
        testing_support::writeFile(at("游戏光盘/星际.CDR"), "F:\\\r\n\tGAME.JPG\r\n");
        testing_support::writeFile(at("游戏光盘/星际.TAG"), "0\r\n8\r\n");
        testing_support::writeFile(at("游戏光盘/盘二.cdr"), "G:\\\r\n\tDISK1.ZIP\r\n");
        makeForm();
        boxTree()->setCurrentItem(boxTree()->topLevelItem(0));
        m_dialogs.answerNext(true);
        throughReIconForm([&](QDialog* dialog) {
            QCOMPARE(dialog->windowTitle(), QString::fromUtf8("重建光盘图标 "));
            const QStringList lines = {"这是专门针对1.20版升级到1.31版开发的功能",
                                       "原因是1.20版生成的光盘导入到1.31版后",
                                       "光盘镜象内的文件图标会乱套!",
                                       "这个功能将校正这些图标，使之基本正确!",
                                       "这是个比较耗时的过程，请您在考虑之后再使用!",
                                       "(平均重建一张光盘大约需要 6 秒)"};
            for (int i = 0; i < lines.size(); ++i) {
                auto* label = dialog->findChild<QLabel*>(QStringLiteral("Label%1").arg(i + 2));
                QCOMPARE(label->text(), lines[i]);
                QCOMPARE(label->palette().color(QPalette::WindowText) == QColor(Qt::red), i == 4);
            }
            auto* tree = dialog->findChild<QTreeWidget*>("TreeView1");
            QCOMPARE(tree->currentItem(), tree->topLevelItem(0));
            tree->setCurrentItem(walk(tree->topLevelItem(0), QString::fromUtf8("游戏光盘\\")));
            dialog->findChild<QPushButton*>("BitBtn1")->click();
        });
        const auto& shown = m_dialogs.shown();
        QCOMPARE(shown.size(), std::size_t{2});
        QCOMPARE(shown[0].text, std::string("将对　Orlendy游戏光盘 下的光盘镜象重新生成图标！\r\r"
                                            "这将是一个比较耗时的过程，是否继续？"));
        QCOMPARE(shown[0].icon, MessageIcon::Warning);
        QCOMPARE(shown[1].text, std::string("重建图标索引完成！"));
        QCOMPARE(readFile(at("游戏光盘/星际.TAG")), std::string("0\r\n6\r\n"));
        QVERIFY(readFile(at("游戏光盘/盘二.tag")) == "0\r\n5\r\n");
        QCOMPARE(readFile(at("软件光盘/工具盘.tag")), std::string("0\r\n1\r\n"));
        QCOMPARE(testing_support::currentPath(*boxTree()), QString::fromUtf8("游戏光盘"));

        // Opened again on the root: the dialog presets the root; answered No it stays open.
        boxTree()->setCurrentItem(boxTree()->topLevelItem(0));
        m_dialogs.clear();
        m_dialogs.answerNext(false);
        throughReIconForm([&](QDialog* dialog) {
            auto* tree = dialog->findChild<QTreeWidget*>("TreeView1");
            QCOMPARE(tree->currentItem(), tree->topLevelItem(0));
            dialog->findChild<QPushButton*>("BitBtn1")->click();
            QVERIFY(dialog->isVisible());
        });
        QCOMPARE(m_dialogs.shown().size(), std::size_t{1});
        QCOMPARE(m_dialogs.lastText().substr(0, 20), std::string("将对　Orlendy 下"));
    }
};

} // namespace

QTEST_MAIN(MaintenanceTest)
#include "maintenance_test.moc"
