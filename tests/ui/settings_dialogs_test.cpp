// The start-up password dialog and the settings dialog, driven by their control names.

#include "settings/PWDUnit.h"
#include "settings/password.h"
#include "tests/support/fake_settings_store.h"
#include "tests/support/ui_helpers.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using testing_support::child;
using testing_support::FakeSettingsStore;
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
};

QTEST_MAIN(SettingsDialogsTest)
#include "settings_dialogs_test.moc"
