// The program's application object and its message boxes, with the application object
// the program itself runs on.

#include "app/application.h"
#include "catalog/disk.h"
#include "platform/qt/qt_user_dialogs.h"
#include "tests/support/temp_library.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <stdexcept>

namespace {

// Runs `look` on the modal window that the next call opens, then closes that window.
void whenModalOpens(std::function<void(QWidget*)> look)
{
    QTimer::singleShot(0, [look] {
        QWidget* modal = QApplication::activeModalWidget();
        QVERIFY(modal != nullptr);
        look(modal);
        modal->close();
    });
}

} // namespace

class ApplicationTest : public QObject
{
    Q_OBJECT

private:
    app::Application& application() { return *static_cast<app::Application*>(qApp); }

private slots:
    void escapedErrorsAreShownAndTheLoopGoesOn_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("shown");
        QTest::newRow("file error") << 0 << QString("坏类.Fin: No such file or directory");
        QTest::newRow("standard error") << 1 << QString("vector::at");
        QTest::newRow("anything else") << 2 << QString("未知错误");
    }
    void escapedErrorsAreShownAndTheLoopGoesOn()
    {
        QFETCH(int, kind);
        QFETCH(QString, shown);
        QStringList reported;
        application().setErrorReport(
            [&reported](const std::string& text) { reported << QString::fromStdString(text); });
        QTimer::singleShot(0, [kind] {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            if (kind == 0) {
                throw catalog::FileError("坏类.Fin: No such file or directory");
            }
            if (kind == 1) {
                throw std::out_of_range("vector::at");
            }
            throw 42;
        });
        bool later = false;
        QTimer::singleShot(20, [&later] { later = true; });
        QTRY_VERIFY(later);
        QCOMPARE(reported, QStringList{shown});
        QCOMPARE(QApplication::overrideCursor(), nullptr);
        application().setErrorReport({});
    }

    // Titles are their captions: no display name for Qt to append, the application's
    // title given to message boxes by the program itself.
    void titles()
    {
        QCOMPARE(QApplication::applicationDisplayName(), QApplication::applicationName());
        platform::qt_edition::QtUserDialogs dialogs;
        QString title;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        int roomForTitle = 0;
        whenModalOpens([&](QWidget* box) {
            title = box->windowTitle();
            icon = qobject_cast<QMessageBox*>(box)->icon();
            roomForTitle = box->width() - box->fontMetrics().horizontalAdvance(title);
        });
        dialogs.message("已存在光盘盒: abc", platform::MessageIcon::Error);
        QCOMPARE(title, QString("Vellumark 1.32"));
        QCOMPARE(icon, QMessageBox::Critical);
        // A short text does not make the title bar too narrow for the title.
        QVERIFY2(roomForTitle >= 120, qPrintable(QString::number(roomForTitle)));

        whenModalOpens([&](QWidget* box) { title = box->windowTitle(); });
        dialogs.ask("中止查找进程？", platform::MessageIcon::Question);
        QCOMPARE(title, QString("Vellumark 1.32"));

        whenModalOpens([&](QWidget* box) { title = box->windowTitle(); });
        dialogs.inputText("新增一个光盘盒", "请输入新增的光盘盒名称", "");
        QCOMPARE(title, QString("新增一个光盘盒"));
    }

    // The folder browser shows the prompt and gives back a GBK-named folder as its bytes.
    void folderBrowserGivesExactBytes()
    {
        testing_support::TempDir dir;
        const std::string box = dir.path() + testing_support::gbk("文档盘");
        testing_support::makeFolders(box);
        platform::qt_edition::QtUserDialogs dialogs;
        QString prompt;
        QTimer::singleShot(0, [&prompt] {
            QWidget* modal = QApplication::activeModalWidget();
            QVERIFY(modal != nullptr);
            QCOMPARE(modal->objectName(), QString("FolderChooser"));
            prompt = modal->findChild<QLabel*>("prompt")->text();
            modal->findChild<QPushButton*>("ok")->click();
        });
        QCOMPARE(dialogs.chooseFolder("请选择要导入的源文件夹", box),
                 std::optional<std::string>(box));
        QCOMPARE(prompt, QString("请选择要导入的源文件夹"));

        whenModalOpens([](QWidget*) {});
        QCOMPARE(dialogs.chooseFolder("请选择要导入的源文件夹", box), std::nullopt);
    }
};

int main(int argc, char** argv)
{
    app::Application application(argc, argv);
    ApplicationTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "application_test.moc"
