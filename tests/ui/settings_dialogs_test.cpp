// The start-up password dialog and the settings dialog, driven by their control names.

#include "catalog/library.h"
#include "settings/PWDUnit.h"
#include "settings/SetupUnit.h"
#include "settings/password.h"
#include "tests/support/fake_settings_store.h"
#include "tests/support/fake_user_dialogs.h"
#include "tests/support/temp_library.h"
#include "tests/support/ui_helpers.h"
#include "ui/gbk_text.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

using platform::MessageIcon;
using testing_support::child;
using testing_support::exists;
using testing_support::FakeSettingsStore;
using testing_support::FakeUserDialogs;
using testing_support::gbk;
using testing_support::readFile;
using testing_support::type;

namespace {

QString u(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

// Runs work on the modal dialog once it is open.
void whenModal(const std::function<void(QWidget*)>& work)
{
    QTimer::singleShot(0, [work] {
        QTRY_VERIFY(QApplication::activeModalWidget() != nullptr);
        work(QApplication::activeModalWidget());
    });
}

constexpr std::string_view QuietValue = "对光盘镜象操作时警示";
constexpr std::string_view LayoutValue = "退出时保存窗口布局";

// The settings dialog on a library of one record, with the services it talks to.
struct SetupBench
{
    testing_support::TempDir dir;
    FakeSettingsStore store;
    FakeUserDialogs dialogs;
    settings::TSetupForm form{store, dialogs};

    SetupBench()
    {
        testing_support::writeFile(oldRoot() + gbk("软件光盘/工具盘.Cdr"), "E:\\\r\n");
        testing_support::writeFile(oldRoot() + gbk("软件光盘/说明.txt"), "not a record");
        form.setValues({oldRoot(), true, false});
    }
    std::string oldRoot() const { return dir.path() + "Orlendy/"; }
    template <typename T> T* control(const char* name) { return child<T>(&form, name); }
    QLineEdit* edit(const char* name) { return control<QLineEdit>(name); }
    QCheckBox* box(const char* name) { return control<QCheckBox>(name); }
    void ok() { control<QPushButton>("BitBtn1")->click(); }
    std::optional<std::int32_t> integer(std::string_view key, std::string_view name) const
    {
        return store.readInteger(key, name);
    }
    std::optional<std::string> string(std::string_view key, std::string_view name) const
    {
        return store.readString(key, name);
    }
};

} // namespace

class SettingsDialogsTest : public QObject
{
    Q_OBJECT
private slots:
    void passwordDialogLooksAsDescribed()
    {
        settings::TPWDForm form(settings::HashPassword("x"));
        QCOMPARE(form.windowTitle(), QStringLiteral("Password Dialog"));
        QCOMPARE(child<QLabel>(&form, "Label1")->text(), u("输入密码"));
        QCOMPARE(child<QLineEdit>(&form, "passwd")->echoMode(), QLineEdit::Password);
        QVERIFY(child<QPushButton>(&form, "OKBtn")->isDefault());
        QCOMPARE(child<QPushButton>(&form, "CancelBtn")->text(), QStringLiteral("Cancel"));
        const Qt::WindowFlags flags = form.windowFlags();
        QVERIFY(!(flags & Qt::WindowCloseButtonHint));
        QVERIFY(!(flags & Qt::WindowSystemMenuHint));
    }

    void wrongPasswordKeepsAskingRightOneInAnyCaseOpens()
    {
        settings::TPWDForm form(settings::HashPassword("Mixed密码"));
        form.show();
        auto* passwd = child<QLineEdit>(&form, "passwd");
        for (const char* wrong : {"mixed", "MIXED密", "mixed密码 "}) {
            passwd->clear();
            type(passwd, u(wrong));
            QTest::keyClick(passwd, Qt::Key_Return);
            QVERIFY2(form.isVisible(), wrong);
            QCOMPARE(passwd->text(), u(wrong)); // the typed text stays
        }
        passwd->clear();
        type(passwd, u("MIXED密码"));
        QTest::keyClick(passwd, Qt::Key_Return);
        QVERIFY(!form.isVisible());
        QCOMPARE(form.result(), int(QDialog::Accepted));
    }

    void escapeAndCancelEndTheQuestion()
    {
        FakeSettingsStore store;
        store.writeInteger(settings::PasswordKey, "NeedPWD", 1);
        store.writeString(settings::PasswordKey, "PWD", "plain");

        whenModal([](QWidget* dialog) {
            QCOMPARE(dialog->objectName(), QStringLiteral("TPWDForm"));
            QTest::keyClick(dialog, Qt::Key_Escape);
        });
        QVERIFY(!settings::AskStartupPassword(store));

        whenModal([](QWidget* dialog) { child<QPushButton>(dialog, "CancelBtn")->click(); });
        QVERIFY(!settings::AskStartupPassword(store));

        // An old plain value still opens, Latin letters in any case.
        whenModal([](QWidget* dialog) {
            type(child<QLineEdit>(dialog, "passwd"), QStringLiteral("PLAIN"));
            child<QPushButton>(dialog, "OKBtn")->click();
        });
        QVERIFY(settings::AskStartupPassword(store));
    }

    void noQuestionUnlessRequired()
    {
        FakeSettingsStore store;
        QVERIFY(settings::AskStartupPassword(store));
        store.writeString(settings::PasswordKey, "PWD", "anything");
        store.writeInteger(settings::PasswordKey, "NeedPWD", 0);
        QVERIFY(settings::AskStartupPassword(store));
        QVERIFY(QApplication::activeModalWidget() == nullptr);
    }

    // Unchanged fields keep the stored hash and show no password; the two options are
    // written the inverse way round for the warnings and applied to the values in force.
    void setupShowsTheSettingsAndOkWritesThemBack()
    {
        SetupBench bench;
        const std::string hash = settings::HashPassword("secret");
        bench.store.writeInteger(settings::PasswordKey, "NeedPWD", 1);
        bench.store.writeString(settings::PasswordKey, "PWD", hash);
        bench.form.show();

        QCOMPARE(bench.form.windowTitle(), u("设置"));
        QCOMPARE(bench.edit("Edit1")->text(), QString::fromStdString(bench.oldRoot()));
        QVERIFY(bench.edit("Edit1")->isReadOnly());
        QVERIFY(bench.box("CheckBox1")->isChecked());
        for (const char* name : {"Edit2", "Edit3"}) {
            QVERIFY(bench.edit(name)->isEnabled());
            QCOMPARE(bench.edit(name)->text(), QString());
            QCOMPARE(bench.edit(name)->placeholderText(), QStringLiteral("********"));
            QCOMPARE(bench.edit(name)->echoMode(), QLineEdit::Password);
        }
        QVERIFY(!bench.box("CheckBox2")->isChecked()); // QuietMode is on
        QVERIFY(!bench.box("CheckBox3")->isChecked());
        QVERIFY(bench.control<QPushButton>("BitBtn1")->isDefault());

        bench.box("CheckBox2")->click();
        bench.box("CheckBox3")->click();
        const std::size_t rewritesBefore = bench.store.rewrites();
        bench.ok();

        QVERIFY(!bench.form.isVisible());
        QVERIFY(bench.dialogs.shown().empty());
        // All values in one replace of the file: a crash cannot leave half of them.
        QCOMPARE(bench.store.rewrites() - rewritesBefore, std::size_t{1});
        QCOMPARE(bench.string(settings::PasswordKey, "PWD"), hash);
        QCOMPARE(bench.integer(settings::PasswordKey, "NeedPWD"), 1);
        QCOMPARE(bench.integer(catalog::SoftwareKey, QuietValue), 0);
        QCOMPARE(bench.integer(catalog::SoftwareKey, LayoutValue), 1);
        QCOMPARE(bench.string(catalog::SoftwareKey, catalog::LibraryRootValue), bench.oldRoot());
        QVERIFY(!bench.form.values().quietMode);
        QVERIFY(bench.form.values().saveLayoutOnExit);
        QVERIFY(!bench.form.libraryMoved());
    }

    // Each refusal keeps the dialog open and writes nothing; a new password typed twice
    // is shown once, stored as a hash and opens in any case of its Latin letters.
    void setupRefusesBadPasswordsThenStoresTheNewOne()
    {
        SetupBench bench;
        bench.form.show();
        QVERIFY(!bench.box("CheckBox1")->isChecked());
        QVERIFY(!bench.edit("Edit2")->isEnabled());
        QCOMPARE(bench.edit("Edit2")->placeholderText(), QString());
        bench.box("CheckBox1")->click();
        QVERIFY(bench.edit("Edit2")->isEnabled() && bench.control<QLabel>("Label3")->isEnabled());

        const struct
        {
            const char* typed;
            const char* confirm;
            const char* refusal;
        } refused[] = {{"", "", "密码不能为空!"},
                       {"  ", "  ", "密码不能为空!"},
                       {"abc", "", "密码不能为空!"},
                       {"abc", "abC", "两次输入的密码不一样!"},
                       {"abc", "abc ", "两次输入的密码不一样!"}};
        for (const auto& entry : refused) {
            bench.edit("Edit2")->setText(u(entry.typed));
            bench.edit("Edit3")->setText(u(entry.confirm));
            bench.dialogs.clear();
            bench.ok();
            QVERIFY2(bench.form.isVisible(), entry.typed);
            QCOMPARE(bench.dialogs.lastText(), std::string(entry.refusal));
            QCOMPARE(bench.dialogs.shown().back().icon, MessageIcon::Warning);
        }
        QVERIFY(!bench.integer(settings::PasswordKey, "NeedPWD"));
        QVERIFY(!bench.string(catalog::SoftwareKey, catalog::LibraryRootValue));

        bench.edit("Edit2")->setText(u("Abc密码"));
        bench.edit("Edit3")->setText(u("Abc密码"));
        bench.dialogs.clear();
        bench.ok();
        QVERIFY(!bench.form.isVisible());
        QCOMPARE(bench.dialogs.lastText(), std::string("请牢记密码: Abc密码"));
        QCOMPARE(bench.integer(settings::PasswordKey, "NeedPWD"), 1);
        const std::string stored = *bench.string(settings::PasswordKey, "PWD");
        QVERIFY(settings::IsPasswordHash(stored));
        QVERIFY(settings::PasswordMatches(stored, "aBC密码"));
        QVERIFY(!settings::PasswordMatches(stored, "Abc"));

        // Shown again, then switched off: no password is asked for at the next start.
        bench.form.show();
        QCOMPARE(bench.edit("Edit2")->placeholderText(), QStringLiteral("********"));
        bench.box("CheckBox1")->click();
        QVERIFY(!bench.edit("Edit2")->isEnabled());
        bench.dialogs.clear();
        bench.ok();
        QVERIFY(bench.dialogs.shown().empty());
        QCOMPARE(bench.integer(settings::PasswordKey, "NeedPWD"), 0);
        QVERIFY(settings::AskStartupPassword(bench.store));
    }

    // The chosen folder + "Orlendy/" becomes the root on OK: the record files are copied
    // there, the old library stays, and the new root is written.
    void setupMovesTheLibraryToTheChosenFolder()
    {
        SetupBench bench;
        // Folders outside the library are named in UTF-8, or in any bytes at all.
        const std::string chosen = bench.dir.path() + "新家" + gbk("旧");
        testing_support::makeFolders(chosen);
        bench.form.show();
        bench.dialogs.chooseNext(chosen);
        bench.control<QToolButton>("SpeedButton1")->click();
        QCOMPARE(bench.dialogs.choices().back().name, std::string("请选择光盘要存放的新位置"));
        const std::string newRoot = chosen + "/Orlendy/";
        QCOMPARE(bench.edit("Edit1")->text(), ui::fromNative(newRoot));
        QVERIFY(!exists(newRoot)); // nothing happens before OK

        bench.ok();
        QVERIFY(!bench.form.isVisible());
        QVERIFY(bench.form.libraryMoved());
        QCOMPARE(bench.form.values().libraryRoot, newRoot);
        // The new place is said, as the field shows it.
        QCOMPARE(u(bench.dialogs.lastText().c_str()),
                 u("光盘库已移到新位置：\r") + bench.edit("Edit1")->text() +
                     u("\r\r原位置的光盘仍然保留。"));
        QCOMPARE(bench.dialogs.shown().back().icon, MessageIcon::Information);
        QCOMPARE(readFile(newRoot + gbk("软件光盘/工具盘.Cdr")), std::string("E:\\\r\n"));
        QVERIFY(!exists(newRoot + gbk("软件光盘/说明.txt")));
        QVERIFY(exists(bench.oldRoot() + gbk("软件光盘/工具盘.Cdr")));
        QCOMPARE(bench.string(catalog::SoftwareKey, catalog::LibraryRootValue), newRoot);
        QCOMPARE(bench.form.windowTitle(), u("设置"));
        QVERIFY(QApplication::overrideCursor() == nullptr);

        // Shown again: the moved flag is cleared, the new root shown.
        bench.form.show();
        QVERIFY(!bench.form.libraryMoved());
        QCOMPARE(bench.edit("Edit1")->text(), ui::fromNative(newRoot));
    }

    // A folder that holds a library already is merged into only when the user says so;
    // No keeps the dialog open with nothing copied or written.
    void setupAsksBeforeMergingIntoALibrary_data()
    {
        QTest::addColumn<bool>("holdsBox"); // else only a file that is no record
        QTest::addColumn<bool>("answer");
        QTest::newRow("a library, No") << true << false;
        QTest::newRow("a library, Yes") << true << true;
        QTest::newRow("no library there") << false << false;
    }
    void setupAsksBeforeMergingIntoALibrary()
    {
        QFETCH(bool, holdsBox);
        QFETCH(bool, answer);
        SetupBench bench;
        const std::string newRoot = bench.dir.path() + "stick/Orlendy/";
        const std::string theirs = newRoot + (holdsBox ? gbk("旧盒/旧盘.Cdr") : "notes.txt");
        testing_support::writeFile(theirs, "F:\\\r\n");
        bench.form.show();
        bench.dialogs.chooseNext(bench.dir.path() + "stick");
        bench.control<QToolButton>("SpeedButton1")->click();
        bench.dialogs.answerNext(answer);
        bench.ok();

        const auto& shown = bench.dialogs.shown();
        QCOMPARE(shown.front().question, holdsBox);
        const bool moved = answer || !holdsBox;
        if (holdsBox) {
            QCOMPARE(u(shown.front().text.c_str()),
                     u("文件夹 ") + bench.edit("Edit1")->text() + u(" 中已有光盘库, 合并吗?"));
            QCOMPARE(bench.dialogs.lastDefault(), platform::UserDialogs::Default::No);
        }
        QCOMPARE(bench.form.isVisible(), !moved);
        QCOMPARE(bench.form.libraryMoved(), moved);
        QCOMPARE(exists(newRoot + gbk("软件光盘/工具盘.Cdr")), moved);
        QCOMPARE(readFile(theirs), std::string("F:\\\r\n"));
        QCOMPARE(bench.string(catalog::SoftwareKey, catalog::LibraryRootValue).has_value(), moved);
    }

    // The library itself, a box of it, a full disk and the folder already shown change
    // nothing; a copy that fails leaves every setting as it was, the password included.
    void setupRefusesPlacesItCannotUseAndAFailedMoveWritesNothing()
    {
        SetupBench bench;
        bench.form.show();
        const QString shown = bench.edit("Edit1")->text();
        // The root itself is the folder shown: nothing happens.
        bench.dialogs.chooseNext(bench.oldRoot());
        bench.control<QToolButton>("SpeedButton1")->click();
        QVERIFY(bench.dialogs.shown().empty());
        bench.dialogs.chooseNext(bench.oldRoot() + gbk("软件光盘"));
        bench.control<QToolButton>("SpeedButton1")->click();
        QCOMPARE(bench.dialogs.lastText(), std::string("不能将光盘存放到原存放点自身及其子文件夹中!"));
        QCOMPARE(bench.edit("Edit1")->text(), shown);
        bench.form.setFreeSpaceQuery([](const std::string&) { return std::uint64_t{0}; });
        bench.dialogs.chooseNext(bench.dir.path() + "elsewhere");
        bench.control<QToolButton>("SpeedButton1")->click();
        QCOMPARE(bench.dialogs.lastText(), std::string("目标磁盘没有足够空间，不能作为存放点!"));
        QCOMPARE(bench.dialogs.shown().back().icon, MessageIcon::Error);
        QCOMPARE(bench.edit("Edit1")->text(), shown);

        // A file where the new root's folder must be made.
        bench.form.setFreeSpaceQuery(settings::FreeBytes);
        testing_support::writeFile(bench.dir.path() + "blocked/Orlendy", "a file");
        bench.dialogs.chooseNext(bench.dir.path() + "blocked");
        bench.control<QToolButton>("SpeedButton1")->click();
        bench.box("CheckBox1")->click();
        bench.edit("Edit2")->setText("pw");
        bench.edit("Edit3")->setText("pw");
        bench.dialogs.clear();
        bench.ok();
        QVERIFY(bench.form.isVisible());
        QCOMPARE(bench.dialogs.shown().back().icon, MessageIcon::Error);
        QVERIFY(!bench.form.libraryMoved());
        QVERIFY(!bench.integer(settings::PasswordKey, "NeedPWD"));
        QVERIFY(!bench.string(settings::PasswordKey, "PWD"));
        QVERIFY(!bench.string(catalog::SoftwareKey, catalog::LibraryRootValue));
        QVERIFY(QApplication::overrideCursor() == nullptr);
        QVERIFY(bench.form.isEnabled());

        // Cancel discards the edits.
        bench.control<QPushButton>("BitBtn2")->click();
        QVERIFY(!bench.form.isVisible());
        QVERIFY(!bench.integer(settings::PasswordKey, "NeedPWD"));
    }
};

QTEST_MAIN(SettingsDialogsTest)
#include "settings_dialogs_test.moc"
