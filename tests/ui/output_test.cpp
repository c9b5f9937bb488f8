// Output from the main window, driven by the control names: a shown CD as a text file, an
// HTML document or a printout, and the batch output dialog; the page layout of printouts.

#include "app/cd_list_view.h"
#include "app/mainunit.h"
#include "app/panel_bar.h"
#include "catalog/disk.h"
#include "catalog/library.h"
#include "output/ExpUnit.h"
#include "output/output.h"
#include "platform/qt/qt_printing.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fake_drives.h"
#include "tests/support/fake_printing.h"
#include "tests/support/fake_settings_store.h"
#include "tests/support/fake_shell.h"
#include "tests/support/fake_user_dialogs.h"
#include "tests/support/temp_library.h"
#include "tests/support/ui_helpers.h"
#include "ui/gbk_text.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>

#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

using platform::MessageIcon;
using testing_support::exists;
using testing_support::gbk;
using testing_support::readFile;
using testing_support::walk;

namespace {

const std::string Results = "\xFF" + gbk("查找结果");
const std::string ToolDisc = "E:\\\r\n\tSETUP\r\n\t\t" + gbk("说明.TXT") + "\r\n\tGAME.EXE\r\n";

QString u(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

// The names in a folder, sorted. Documents are named in the file system's UTF-8, whether
// made from a CD's name or chosen in a save dialog.
QStringList filesIn(const std::string& folder)
{
    QStringList names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        names << QString::fromStdString(entry.path().filename().string());
    }
    names.sort();
    return names;
}

std::vector<std::string> utf8Lines(const std::vector<std::string>& gbkLines)
{
    std::vector<std::string> lines;
    for (const std::string& line : gbkLines) {
        lines.push_back(ui::fromGbk(line).toStdString());
    }
    return lines;
}

} // namespace

class OutputTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<testing_support::TempDir> m_dir;
    testing_support::FakeSettingsStore m_settings;
    testing_support::FakeDrives m_drives;
    testing_support::FakeUserDialogs m_dialogs;
    testing_support::FakeClock m_clock{{2024, 5, 6, 7, 8, 9, 0}};
    testing_support::FakeShell m_shell;
    testing_support::FakePrinting m_printing;
    std::unique_ptr<app::Tmainform> m_form;

    std::string root() const { return m_dir->path() + "Orlendy/"; }
    // Native, so UTF-8.
    std::string documents() const { return m_dir->path() + "文档/"; }
    std::string at(const char* relativeUtf8) const { return root() + gbk(relativeUtf8); }
    void put(const char* relativeUtf8, std::string_view bytes)
    {
        testing_support::writeFile(at(relativeUtf8), bytes);
    }
    void makeForm(bool withPrinter = true)
    {
        m_form = std::make_unique<app::Tmainform>(
            app::MainServices{m_settings, m_drives, m_dialogs, m_clock, m_shell, root(),
                              documents(), withPrinter ? &m_printing : nullptr});
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
        boxTree()->expandAll();
    }
    QTreeWidget* boxTree() const { return m_form->findChild<QTreeWidget*>("TVstyle"); }
    app::CdListView* list() const { return m_form->findChild<app::CdListView*>("LVcd"); }
    QTreeView* content() const { return m_form->findChild<QTreeView*>("tvcd"); }
    QAction* action(const char* name) const { return m_form->findChild<QAction*>(name); }
    output::TExpForm* expForm() const { return m_form->findChild<output::TExpForm*>(); }
    template <typename T> T* expChild(const char* name) const
    {
        return expForm()->findChild<T*>(QString::fromLatin1(name));
    }
    QString status() const { return m_form->findChild<app::PanelBar*>("StatusBar4")->panelText(0); }
    QString said() const { return QString::fromStdString(m_dialogs.lastText()); }
    QTreeWidgetItem* node(const QString& path) const
    {
        return walk(boxTree()->topLevelItem(0), path);
    }
    QString selectedPath() const { return testing_support::currentPath(*boxTree()); }
    // The box shown and the item of that caption selected and shown.
    void showCd(const QString& box, const QString& caption)
    {
        boxTree()->setCurrentItem(node(box));
        list()->clearSelection();
        for (int row = 0; row < list()->count(); ++row) {
            if (ui::fromGbk(list()->caption(row)) == caption) {
                list()->selectRow(row);
            }
        }
        QVERIFY(!list()->selectedRows().empty());
        m_form->LVcdClick();
        QVERIFY(content()->model()->rowCount() > 0);
    }

    // Runs the batch output dialog from the main bar; act gets the dialog once it is up
    // (and may press its buttons), then the dialog is closed if it is still open.
    void throughExpForm(const std::function<void(output::TExpForm*)>& act)
    {
        bool acted = false;
        QTimer driver;
        connect(&driver, &QTimer::timeout, [&] {
            output::TExpForm* dialog = expForm();
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
        action("ToolButton5")->trigger();
        QVERIFY(acted);
    }
    void chooseBox(output::TExpForm* dialog, const QString& path)
    {
        auto* tree = dialog->findChild<QTreeWidget*>("TreeView1");
        tree->setCurrentItem(path.isEmpty() ? tree->topLevelItem(0)
                                            : walk(tree->topLevelItem(0), path));
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<testing_support::TempDir>();
        m_settings = {};
        m_dialogs = {};
        m_shell = {};
        m_printing = {};
        testing_support::makeFolders(documents());
        put("软件光盘/工具盘.Cdr", ToolDisc);
        put("软件光盘/工具盘.tag", "0\r\n1\r\n4\r\n3\r\n");
        put("游戏光盘/星际.CDR", gbk("F:\\\r\n\t星际 & <争霸>.EXE\r\n"));
        put("游戏光盘/星际.TAG", "0\r\n3\r\n");
        testing_support::writeFile(root() + Results + "/" + gbk("星际/星际.tgt"),
                                   gbk("游戏光盘\\星际.cdr\r\n"));
        testing_support::writeFile(root() + Results + "/" + gbk("星际/SETUP.fid"),
                                   "E:\\\r\n\tSETUP\r\n");
        testing_support::writeFile(root() + Results + "/" + gbk("星际/SETUP.tag"), "0\r\n1\r\n");
    }

    void cleanup()
    {
        m_form.reset();
        m_dir.reset();
    }

    void aShownCdIsWrittenUnderTheChosenName_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("written");
        QTest::addColumn<QString>("listing"); // below the root
        QTest::newRow("text, extension added")
            << "N19" << u("软件光盘\\") << u("工具盘") << u("list.doc") << u("list.doc.txt")
            << u("软件光盘/工具盘.Cdr");
        QTest::newRow("text, extension kept")
            << "N19" << u("软件光盘\\") << u("工具盘") << u("LIST.TXT") << u("LIST.TXT")
            << u("软件光盘/工具盘.Cdr");
        QTest::newRow("HTML, extension added")
            << "HTML1" << u("软件光盘\\") << u("工具盘") << u("清单.html") << u("清单.html.Htm")
            << u("软件光盘/工具盘.Cdr");
        QTest::newRow("HTML, extension kept")
            << "HTML1" << u("软件光盘\\") << u("工具盘") << u("a.hTm") << u("a.hTm")
            << u("软件光盘/工具盘.Cdr");
        QTest::newRow("found CD: the record it points to")
            << "HTML1" << u("查找结果\\星际\\") << u("星际") << u("x") << u("x.Htm")
            << u("游戏光盘/星际.CDR");
        QTest::newRow("found folder: its own listing")
            << "N19" << u("查找结果\\星际\\") << u("SETUP") << u("y") << u("y.txt")
            << u("查找结果/星际/SETUP.fid");
    }
    void aShownCdIsWrittenUnderTheChosenName()
    {
        QFETCH(QString, command);
        QFETCH(QString, box);
        QFETCH(QString, item);
        QFETCH(QString, chosen);
        QFETCH(QString, written);
        QFETCH(QString, listing);
        makeForm();
        showCd(box, item);
        const QString statusBefore = status();
        m_dialogs.chooseNext(documents() + chosen.toStdString());
        action(command.toLatin1().constData())->trigger();

        const bool text = command == u("N19");
        QCOMPARE(m_dialogs.choices().size(), std::size_t{1});
        const auto& request = m_dialogs.choices().front();
        QCOMPARE(request.folder, documents());
        QCOMPARE(u(request.name.c_str()), item);
        QCOMPARE(request.filter,
                 std::string(text ? "文本文件(*.TXT) (*.txt)" : "HTML文档(*.HTM) (*.htm)"));
        QCOMPARE(filesIn(documents()), QStringList{written});
        std::string listingPath = root() + ui::toGbk(listing);
        if (listing.startsWith(u("查找结果"))) {
            listingPath = root() + Results + ui::toGbk(listing.mid(4));
        }
        const std::string source = readFile(listingPath);
        const std::string expected =
            text ? output::TreeTextDocument(source)
                 : output::TreeHtmlDocument(source, output::CdNameOfListing(listingPath));
        QCOMPARE(readFile(documents() + written.toStdString()), expected);
        QCOMPARE(said(), text ? u("输出完成！") : u("输出完毕！"));
        QCOMPARE(m_dialogs.shown().back().icon, MessageIcon::Information);
        QCOMPARE(status(), statusBefore);
        QVERIFY(QApplication::overrideCursor() == nullptr);
        // The option is on when the settings hold nothing.
        QCOMPARE(m_shell.opened(), std::vector<std::string>{documents() + written.toStdString()});
    }

    // The save dialog asks about the name typed; the name written may have the extension
    // added, and a file of that name is replaced only when the user says so.
    void anExistingFileIsReplacedOnlyWhenTheUserSaysSo_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("existing");
        QTest::addColumn<int>("answer"); // -1: no question of ours
        QTest::addColumn<bool>("replaced");
        QTest::newRow("text, kept") << "N19" << u("list") << u("list.txt") << 0 << false;
        QTest::newRow("text, replaced") << "N19" << u("list") << u("list.txt") << 1 << true;
        QTest::newRow("HTML, kept") << "HTML1" << u("清单") << u("清单.Htm") << 0 << false;
        QTest::newRow("the dialog asked already")
            << "N19" << u("list.txt") << u("list.txt") << -1 << true;
        QTest::newRow("only the typed name exists")
            << "N19" << u("list") << u("list") << -1 << false;
    }
    void anExistingFileIsReplacedOnlyWhenTheUserSaysSo()
    {
        QFETCH(QString, command);
        QFETCH(QString, chosen);
        QFETCH(QString, existing);
        QFETCH(int, answer);
        QFETCH(bool, replaced);
        makeForm();
        showCd(u("软件光盘\\"), u("工具盘"));
        const std::string existingPath = documents() + existing.toStdString();
        testing_support::writeFile(existingPath, "the user's own file");
        m_dialogs.chooseNext(documents() + chosen.toStdString());
        if (answer >= 0) {
            m_dialogs.answerNext(answer == 1);
        }
        action(command.toLatin1().constData())->trigger();

        const auto& shown = m_dialogs.shown();
        QVERIFY(!shown.empty());
        QCOMPARE(shown.front().question, answer >= 0);
        if (answer >= 0) {
            QCOMPARE(u(shown.front().text.c_str()), existing + u(" 已存在。\r要替换它吗？"));
            QCOMPARE(m_dialogs.lastDefault(), platform::UserDialogs::Default::No);
        }
        QCOMPARE(readFile(existingPath) != "the user's own file", replaced);
        // Declined: nothing written, said or opened.
        QCOMPARE(shown.size(), std::size_t{answer == 0 ? 1u : answer == 1 ? 2u : 1u});
        QCOMPARE(m_shell.opened().empty(), answer == 0);
    }

    // An output that no program can open is said as the about box says it of the readme.
    void anOutputThatNoProgramOpensIsSaid_data()
    {
        QTest::addColumn<bool>("batch");
        QTest::newRow("the shown CD") << false;
        QTest::newRow("a box") << true;
    }
    void anOutputThatNoProgramOpensIsSaid()
    {
        QFETCH(bool, batch);
        makeForm();
        m_shell.answer(platform::OpenResult::NoApplication);
        std::string written;
        if (batch) {
            written = m_dir->path() + "out/";
            testing_support::makeFolders(written);
            m_dialogs.chooseNext(m_dir->path() + "out");
            m_dialogs.answerNext(true);
            throughExpForm([&](output::TExpForm* dialog) {
                dialog->findChild<QToolButton*>("SpeedButton1")->click();
                chooseBox(dialog, u("软件光盘\\"));
                dialog->findChild<QPushButton*>("BitBtn1")->click();
            });
        } else {
            written = documents() + "a.txt";
            showCd(u("软件光盘\\"), u("工具盘"));
            m_dialogs.chooseNext(documents() + "a");
            action("N19")->trigger();
        }
        QCOMPARE(m_shell.opened(), std::vector<std::string>{written});
        QCOMPARE(said(), (batch ? u("没有可以打开输出文件夹的程序：\r")
                                : u("没有可以打开输出文件的程序：\r")) +
                             QString::fromStdString(written));
        QCOMPARE(m_dialogs.shown().back().icon, MessageIcon::Warning);
    }

    void theWrittenFileIsOpenedOnlyWithTheOption()
    {
        m_settings.writeInteger(catalog::SoftwareKey, "输出后打开文件夹或文件", 0);
        makeForm();
        showCd(u("软件光盘\\"), u("工具盘"));
        m_dialogs.chooseNext(documents() + "a");
        action("N19")->trigger();
        QVERIFY(exists(documents() + "a.txt"));
        QVERIFY(m_shell.opened().empty());
        // Cancelling the save dialog writes and says nothing.
        m_dialogs.clear();
        action("HTML1")->trigger();
        QVERIFY(m_dialogs.shown().empty());
        QCOMPARE(filesIn(documents()), QStringList{u("a.txt")});
    }

    void aFailedWriteShowsTheErrorAndRestoresTheWindow_data()
    {
        QTest::addColumn<QString>("command");
        QTest::newRow("text") << "N19";
        QTest::newRow("HTML") << "HTML1";
    }
    void aFailedWriteShowsTheErrorAndRestoresTheWindow()
    {
        QFETCH(QString, command);
        makeForm();
        showCd(u("软件光盘\\"), u("工具盘"));
        const QString statusBefore = status();
        // A folder that went away after the dialog closed.
        m_dialogs.chooseNext(documents() + "gone/list");
        action(command.toLatin1().constData())->trigger();
        QCOMPARE(m_dialogs.shown().size(), std::size_t{1});
        QCOMPARE(m_dialogs.shown().back().icon, MessageIcon::Error);
        QVERIFY2(said().contains(u("gone")), qPrintable(said()));
        QCOMPARE(status(), statusBefore);
        QVERIFY(QApplication::overrideCursor() == nullptr);
        QVERIFY(m_shell.opened().empty());

        // The record's listing gone since it was shown: its error, nothing written.
        ::unlink(at("软件光盘/工具盘.Cdr").c_str());
        m_dialogs.clear();
        m_dialogs.chooseNext(documents() + "list");
        action(command.toLatin1().constData())->trigger();
        QCOMPARE(m_dialogs.shown().back().icon, MessageIcon::Error);
        QVERIFY(filesIn(documents()).isEmpty());
        QCOMPARE(status(), statusBefore);
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }

    void printingAsksFirstAndPrintsTheDrawnLinesAsOneJob()
    {
        makeForm();
        showCd(u("软件光盘\\"), u("工具盘"));
        const QString statusBefore = status();
        action("N17")->trigger();
        QCOMPARE(said(),
                 u("Vellumark 不推荐 您直接在系统里打印！\r\r而是推荐您输出为文本或HTML后打印！"
                   "\r\r确认要在Vellumark里打印？"));
        QCOMPARE(m_dialogs.shown().back().icon, MessageIcon::Warning);
        QVERIFY(m_printing.jobs().empty());

        // Ctrl+P in the content tree, answered Yes.
        m_dialogs.answerNext(true);
        content()->setFocus();
        QTest::keyClick(content(), Qt::Key_P, Qt::ControlModifier);
        QCOMPARE(m_printing.jobs().size(), std::size_t{1});
        QCOMPARE(m_printing.jobs()[0].name, std::string("光盘 工具盘 的结构"));
        QCOMPARE(m_printing.jobs()[0].lines,
                 utf8Lines(output::DrawTreeLines(ToolDisc, output::Style::Text)));
        QCOMPARE(m_printing.jobs()[0].lines[2], std::string("|        |-------说明.TXT"));
        QCOMPARE(status(), statusBefore);

        // A printer that fails: its error, and the window as it was.
        m_printing.failWith("打印机出错");
        m_dialogs.answerNext(true);
        action("N17")->trigger();
        QCOMPARE(said(), u("打印机出错"));
        QCOMPARE(m_dialogs.shown().back().icon, MessageIcon::Error);
        QCOMPARE(status(), statusBefore);
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }

    void withoutAPrinterNothingIsPrinted()
    {
        m_printing.setHasPrinter(false);
        makeForm();
        showCd(u("软件光盘\\"), u("工具盘"));
        action("N17")->trigger();
        QCOMPARE(m_dialogs.shown().size(), std::size_t{1});
        QCOMPARE(said(), u("您没有打印机!无法打印！"));
        QCOMPARE(m_dialogs.shown().back().icon, MessageIcon::Error);
        QVERIFY(m_printing.jobs().empty());
        // No printing service at all says the same.
        m_form.reset();
        m_dialogs.clear();
        makeForm(false);
        showCd(u("软件光盘\\"), u("工具盘"));
        action("N17")->trigger();
        QCOMPARE(said(), u("您没有打印机!无法打印！"));
    }

    void theDialogShowsItsControlsAndStartsAtTheSelectedBox()
    {
        makeForm();
        boxTree()->setCurrentItem(node(u("游戏光盘\\")));
        QStringList types;
        QString selected;
        QString folder;
        bool optionTicked = false;
        throughExpForm([&](output::TExpForm* dialog) {
            QCOMPARE(dialog->windowTitle(), u("批量输出"));
            QCOMPARE(dialog->findChild<QToolButton*>("SpeedButton1")->text(), u("存放在"));
            QCOMPARE(dialog->findChild<QPushButton*>("BitBtn1")->text(), u("输出"));
            QCOMPARE(dialog->findChild<QPushButton*>("BitBtn2")->text(), u("取消"));
            auto* box = dialog->findChild<QComboBox*>("ComboBox1");
            for (int i = 0; i < box->count(); ++i) {
                types << box->itemText(i);
            }
            QCOMPARE(box->currentIndex(), 0);
            auto* tree = dialog->findChild<QTreeWidget*>("TreeView1");
            QCOMPARE(tree->topLevelItem(0)->text(0), u("Orlendy"));
            selected = tree->currentItem()->text(0);
            folder = dialog->findChild<QLineEdit*>("Edit1")->text();
            optionTicked = dialog->findChild<QCheckBox*>("OverExpOpenFile")->isChecked();
        });
        QCOMPARE(types, (QStringList{u("TXT文档"), u("HTML文档"), u("打印机")}));
        QCOMPARE(selected, u("游戏光盘"));
        QCOMPARE(folder, QString::fromStdString(documents()));
        QVERIFY(optionTicked);
        QVERIFY(!expForm()->done());
        // A search category is no box: the dialog starts at the root.
        boxTree()->setCurrentItem(node(u("查找结果\\星际\\")));
        throughExpForm([&](output::TExpForm* dialog) {
            selected = dialog->findChild<QTreeWidget*>("TreeView1")->currentItem()->text(0);
        });
        QCOMPARE(selected, u("Orlendy"));
    }

    void aBoxIsWrittenWithItsSubBoxesUnderUniqueNames_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QStringList>("files");
        QTest::newRow("text") << 0
                              << QStringList{u("Backup(2).Txt"), u("Backup.Txt"), u("工具盘.Txt")};
        QTest::newRow("HTML") << 1
                              << QStringList{u("Backup(2).Htm"), u("Backup.Htm"), u("工具盘.Htm")};
    }
    void aBoxIsWrittenWithItsSubBoxesUnderUniqueNames()
    {
        QFETCH(int, type);
        QFETCH(QStringList, files);
        put("软件光盘/甲/Backup.cdr", "F:\\\r\n\tA\r\n");
        put("软件光盘/乙/Backup.CDR", "G:\\\r\n\tB\r\n");
        makeForm();
        const std::string out = m_dir->path() + "out/";
        testing_support::makeFolders(out);
        m_dialogs.chooseNext(m_dir->path() + "out");
        m_dialogs.answerNext(true);
        int maximum = -1;
        const QString extension = type == 0 ? u(".Txt") : u(".Htm");
        throughExpForm([&](output::TExpForm* dialog) {
            dialog->findChild<QToolButton*>("SpeedButton1")->click();
            QCOMPARE(dialog->findChild<QLineEdit*>("Edit1")->text(), QString::fromStdString(out));
            dialog->findChild<QComboBox*>("ComboBox1")->setCurrentIndex(type);
            chooseBox(dialog, u("软件光盘\\"));
            dialog->findChild<QPushButton*>("BitBtn1")->click();
            maximum = dialog->findChild<QProgressBar*>("ProgressBar1")->maximum();
            QVERIFY(!dialog->isVisible());
        });
        QCOMPARE(m_dialogs.choices().front().name, std::string("请选择一个文件夹供输出的文件存放"));
        const auto& shown = m_dialogs.shown();
        QCOMPARE(shown.size(), std::size_t{2});
        QCOMPARE(u(shown[0].text.c_str()),
                 u("选定光盘输出到　") + QString::fromStdString(out) + u(" ?"));
        QCOMPARE(shown[0].icon, MessageIcon::Question);
        QCOMPARE(u(shown[1].text.c_str()), u("输出完成！"));
        QCOMPARE(shown[1].icon, MessageIcon::Information);
        QCOMPARE(filesIn(out), files);
        QCOMPARE(maximum, 3);
        // Sub-boxes in name order: 甲 before 乙.
        QVERIFY(readFile(out + "Backup(2)" + ui::toGbk(extension)).find("G:\\") !=
                std::string::npos);
        // The output folder is opened, and the box output is selected and expanded.
        QCOMPARE(m_shell.opened(), std::vector<std::string>{out});
        QVERIFY(expForm()->done());
        QCOMPARE(expForm()->expStartPath(), gbk("软件光盘\\"));
        QCOMPARE(selectedPath(), u("软件光盘"));
        QVERIFY(boxTree()->currentItem()->isExpanded());
    }

    // The CDs under the chosen box as one table, under the name given with ".csv" added,
    // which is then opened; the dialog closes with the box kept.
    void theCsvButtonWritesTheChosenBoxAsOneTable()
    {
        makeForm();
        m_dialogs.chooseNext(documents() + "软件");
        throughExpForm([&](output::TExpForm* dialog) {
            chooseBox(dialog, u("软件光盘\\"));
            dialog->findChild<QPushButton*>("CsvButton")->click();
            QVERIFY(!dialog->isVisible());
        });
        QCOMPARE(m_dialogs.choices().size(), std::size_t{1});
        QCOMPARE(m_dialogs.choices()[0].folder, documents());
        QCOMPARE(m_dialogs.choices()[0].name, std::string("软件光盘.csv"));
        const std::string table = documents() + "软件.csv";
        QCOMPARE(readFile(table),
                 std::string("Volume,Path,Name,Size,Ext,Last modified,Description\r\n"
                             "\"软件光盘\\工具盘\",\"/SETUP\",\"说明.TXT\",,\"TXT\",,\"\"\r\n"
                             "\"软件光盘\\工具盘\",\"/\",\"GAME.EXE\",,\"EXE\",,\"\"\r\n"));
        QCOMPARE(said(), u("输出完成！共 1 张光盘, 2 行。"));
        QCOMPARE(m_shell.opened(), std::vector<std::string>{table});
        QCOMPARE(expForm()->expStartPath(), gbk("软件光盘\\"));
    }

    void anAbortKeepsTheFilesWrittenAndTheDialogOpen()
    {
        for (int i = 0; i < 10; ++i) {
            put(("大盒/光盘" + std::to_string(i) + ".cdr").c_str(), "E:\\\r\n\tA\r\n");
        }
        m_settings.writeInteger(catalog::SoftwareKey, "输出后打开文件夹或文件", 1);
        makeForm();
        const std::string out = documents();
        const auto written = [&] { return filesIn(out).filter(u(".Txt")).size(); };
        // The walk waits after the third CD until the abort has been answered, so that it
        // meets the flag at its next entry.
        std::atomic<bool> answered{false};
        expForm()->setBeforeEntry([&] {
            while (written() >= 3 && !answered) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
        bool stayedOpen = false;
        bool idle = false;
        QTimer aborter;
        connect(&aborter, &QTimer::timeout, [&] {
            if (written() < 3 || answered || !expForm()->running()) {
                return;
            }
            m_dialogs.answerNext(true);
            expChild<QPushButton>("BitBtn2")->click();
            answered = true;
        });
        m_dialogs.answerNext(true);
        throughExpForm([&](output::TExpForm* dialog) {
            chooseBox(dialog, u("大盒\\"));
            aborter.start(5);
            dialog->findChild<QPushButton*>("BitBtn1")->click();
            stayedOpen = dialog->isVisible();
            idle = dialog->findChild<QPushButton*>("BitBtn2")->text() == u("取消") &&
                   dialog->findChild<QPushButton*>("BitBtn1")->isEnabled() &&
                   dialog->findChild<QTreeWidget*>("TreeView1")->isEnabled() &&
                   dialog->windowTitle() == u("批量输出") &&
                   dialog->findChild<QProgressBar*>("ProgressBar1")->value() == 0;
        });
        QVERIFY(answered);
        QVERIFY(stayedOpen);
        QVERIFY(idle);
        QCOMPARE(written(), qsizetype{3});
        const auto& shown = m_dialogs.shown();
        QCOMPARE(shown.size(), std::size_t{2});
        QCOMPARE(u(shown[1].text.c_str()), u("中止输出过程？"));
        QCOMPARE(shown[1].icon, MessageIcon::Question);
        QVERIFY(m_shell.opened().empty());
        QVERIFY(!expForm()->done());
    }

    void theWalkWaitsWhileTheAbortQuestionIsOpen()
    {
        for (int i = 0; i < 10; ++i) {
            put(("大盒/光盘" + std::to_string(i) + ".cdr").c_str(), "E:\\\r\n\tA\r\n");
        }
        m_settings.writeInteger(catalog::SoftwareKey, "输出后打开文件夹或文件", 0);
        makeForm();
        const std::string out = documents();
        const auto written = [&] { return filesIn(out).filter(u(".Txt")).size(); };
        // Slow enough that the walk would write several CDs while the question is open.
        expForm()->setBeforeEntry(
            [] { std::this_thread::sleep_for(std::chrono::milliseconds(20)); });
        qsizetype whenAsked = -1;
        qsizetype whenAnswered = -1;
        m_dialogs.whileAsking([&] {
            // A CD already under way when the question opened may still land.
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            whenAsked = written();
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            whenAnswered = written();
        });
        bool clicked = false;
        QTimer aborter;
        connect(&aborter, &QTimer::timeout, [&] {
            if (!clicked && expForm()->running() && written() >= 2) {
                clicked = true;
                m_dialogs.answerNext(false); // go on
                expChild<QPushButton>("BitBtn2")->click();
            }
        });
        m_dialogs.answerNext(true);
        throughExpForm([&](output::TExpForm* dialog) {
            chooseBox(dialog, u("大盒\\"));
            aborter.start(5);
            dialog->findChild<QPushButton*>("BitBtn1")->click();
        });
        QVERIFY(clicked);
        QVERIFY(whenAsked >= 2);
        QCOMPARE(whenAnswered, whenAsked);
        // Answered No: the walk goes on to the end.
        QCOMPARE(written(), qsizetype{10});
        QVERIFY(expForm()->done());
    }

    void theDialogRefusesWhatCannotBeDone()
    {
        m_printing.setHasPrinter(false);
        makeForm();
        // A documents folder that is gone.
        std::filesystem::remove_all(documents());
        throughExpForm([&](output::TExpForm* dialog) {
            dialog->findChild<QPushButton*>("BitBtn1")->click();
            QCOMPARE(said(), u("指定的目标文件夹不存在！"));
            QCOMPARE(m_dialogs.shown().back().icon, MessageIcon::Warning);
            dialog->findChild<QComboBox*>("ComboBox1")->setCurrentIndex(2);
            dialog->findChild<QPushButton*>("BitBtn1")->click();
            QCOMPARE(said(), u("您没有打印机!无法打印！"));
            QCOMPARE(m_dialogs.shown().back().icon, MessageIcon::Error);
            // A folder whose free space cannot be had is refused, and the browser opens
            // again.
            m_dialogs.chooseNext(m_dir->path() + "nowhere");
            m_dialogs.chooseNext(std::nullopt);
            dialog->findChild<QToolButton*>("SpeedButton1")->click();
            QCOMPARE(said(), u("指定目标没有足够空间!"));
            QCOMPARE(m_dialogs.choices().size(), std::size_t{2});
            QCOMPARE(dialog->findChild<QLineEdit*>("Edit1")->text(),
                     QString::fromStdString(documents()));
        });
        QCOMPARE(m_dialogs.shown().size(), std::size_t{3});
        QVERIFY(!expForm()->done());
    }

    void thePrinterTypeAsksAboutPrintingAndPrintsEachCd()
    {
        makeForm();
        throughExpForm([&](output::TExpForm* dialog) {
            dialog->findChild<QComboBox*>("ComboBox1")->setCurrentIndex(2);
            chooseBox(dialog, u("软件光盘\\"));
            dialog->findChild<QPushButton*>("BitBtn1")->click();
            QCOMPARE(said(),
                     u("Vellumark 不推荐 您直接在系统里打印！\r\r而是推荐您输出为文本或HTML后"
                       "打印！\r\r确认要在 Vellumark 里打印？"));
            QCOMPARE(m_dialogs.shown().back().icon, MessageIcon::Warning);
            QVERIFY(m_printing.jobs().empty());
            m_dialogs.answerNext(true);
            chooseBox(dialog, u(""));
            dialog->findChild<QPushButton*>("BitBtn1")->click();
        });
        QCOMPARE(said(), u("输出完成！"));
        QCOMPARE(m_printing.jobs().size(), std::size_t{2});
        QStringList names;
        for (const auto& job : m_printing.jobs()) {
            names << u(job.name.c_str());
        }
        names.sort();
        QCOMPARE(names, (QStringList{u("光盘 工具盘 的结构"), u("光盘 星际 的结构")}));
        // Nothing to open after printing, also with the option on.
        QVERIFY(m_shell.opened().empty());
        QVERIFY(filesIn(documents()).isEmpty());
    }

    void cdsThatCannotBeWrittenAreNamedAtTheEnd()
    {
        put("坏盒/好.cdr", "E:\\\r\n");
        testing_support::makeFolders(at("坏盒"));
        QVERIFY(::mkfifo(at("坏盒/管道.cdr").c_str(), 0600) == 0);
        makeForm();
        m_dialogs.answerNext(true);
        throughExpForm([&](output::TExpForm* dialog) {
            chooseBox(dialog, u("坏盒\\"));
            dialog->findChild<QPushButton*>("BitBtn1")->click();
        });
        QCOMPARE(said(), u("输出完成！\r\r有 1 张光盘无法输出：\r\r管道"));
        QCOMPARE(m_dialogs.shown().back().icon, MessageIcon::Warning);
        QCOMPARE(filesIn(documents()), QStringList{u("好.Txt")});
        QVERIFY(expForm()->done());
    }

    void theOptionIsStoredWhenTicked()
    {
        makeForm();
        throughExpForm([&](output::TExpForm* dialog) {
            auto* option = dialog->findChild<QCheckBox*>("OverExpOpenFile");
            option->click();
            QCOMPARE(m_settings.readInteger(catalog::SoftwareKey, "输出后打开文件夹或文件"),
                     std::optional<std::int32_t>(0));
            option->click();
            QCOMPARE(m_settings.readInteger(catalog::SoftwareKey, "输出后打开文件夹或文件"),
                     std::optional<std::int32_t>(1));
            option->click();
        });
        // The single-CD commands follow the dialog's option.
        showCd(u("软件光盘\\"), u("工具盘"));
        m_dialogs.chooseNext(documents() + "a");
        action("N19")->trigger();
        QVERIFY(exists(documents() + "a.txt"));
        QVERIFY(m_shell.opened().empty());
    }

    // The page layout of printouts, measured on an image of printer resolution.
    void longLinesWrapWithTheirIndentAndPagesHoldWholeLines()
    {
        QImage page(100, 100, QImage::Format_RGB32);
        page.setDotsPerMeterX(23622); // 600 dpi
        page.setDotsPerMeterY(23622);
        const QFont font = platform::qt_edition::PrintFont();
        const QFontMetricsF metrics(font, &page);
        const QString prefix = u("|        |-------");
        const QString name = u("很长的文件名").repeated(20) + u(".TXT");
        const qreal width = metrics.horizontalAdvance(prefix + u("很长的文件名").repeated(5));
        const qreal line = metrics.lineSpacing();
        const QStringList lines{u("E:\\"), u("|-------SETUP"), prefix + name,
                                u("|-------GAME.EXE")};
        const auto placed =
            platform::qt_edition::LayoutPrintLines(lines, font, &page, QSizeF(width, line * 3.5));

        QString nodeText;
        for (const auto& piece : placed) {
            QVERIFY2(piece.at.x() + metrics.horizontalAdvance(piece.text.trimmed()) <= width + 0.5,
                     qPrintable(piece.text));
            if (piece.text.startsWith(prefix)) {
                nodeText += piece.text.mid(prefix.size());
            } else if (piece.at.x() > 0) {
                // A continuation: as far in as the node text, after the indent strings.
                QCOMPARE(piece.at.x(), metrics.horizontalAdvance(prefix));
                nodeText += piece.text;
            } else if (piece.text == u("|        ")) {
                continue;
            }
        }
        QCOMPARE(nodeText, name);
        QVERIFY(placed.size() > static_cast<std::size_t>(lines.size()) + 3);
        // Three lines to a page, from the top, in order; the last line on the last page.
        for (std::size_t i = 0; i < placed.size(); ++i) {
            QVERIFY(placed[i].at.y() < line * 3);
            if (i > 0) {
                QVERIFY(placed[i].page > placed[i - 1].page ||
                        (placed[i].page == placed[i - 1].page &&
                         placed[i].at.y() >= placed[i - 1].at.y()));
            }
        }
        QCOMPARE(placed.back().text, u("|-------GAME.EXE"));
        QVERIFY(placed.back().page >= 2);
    }
};

QTEST_MAIN(OutputTest)
#include "output_test.moc"
