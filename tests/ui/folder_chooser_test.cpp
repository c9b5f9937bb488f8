// The folder browser on its own, on folders named in GBK and in UTF-8 side by side.

#include "tests/support/temp_library.h"
#include "tests/support/ui_helpers.h"
#include "ui/folder_chooser.h"
#include "ui/gbk_text.h"

#include <QElapsedTimer>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <memory>

using testing_support::child;
using testing_support::gbk;

namespace {

const std::string Utf8Name = "照片";
const std::string Undecodable = "\xFF\x81"; // neither UTF-8 nor GBK

// The folders below parent as shown, listed as the view lists them when opened.
QStringList childTexts(QAbstractItemModel& model, const QModelIndex& parent)
{
    if (model.canFetchMore(parent)) {
        model.fetchMore(parent);
    }
    QStringList texts;
    for (int row = 0; row < model.rowCount(parent); ++row) {
        texts << model.index(row, 0, parent).data().toString();
    }
    return texts;
}

QModelIndex childNamed(QAbstractItemModel& model, const QModelIndex& parent, const QString& shown)
{
    return model.index(static_cast<int>(childTexts(model, parent).indexOf(shown)), 0, parent);
}

// Runs answer on the next modal box of type Box once it shows; gives up after 5 s.
template <typename Box> void whenShown(std::function<void(Box*)> answer, int tries = 500)
{
    QTimer::singleShot(10, [answer, tries] {
        if (auto* box = qobject_cast<Box*>(QApplication::activeModalWidget())) {
            answer(box);
        } else if (tries > 0) {
            whenShown<Box>(answer, tries - 1);
        }
    });
}

} // namespace

class FolderChooserTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<testing_support::TempDir> m_dir;
    std::string m_folder; // the temporary folder without its trailing "/"

private slots:
    void init()
    {
        m_dir = std::make_unique<testing_support::TempDir>();
        m_folder = m_dir->path().substr(0, m_dir->path().size() - 1);
        testing_support::makeFolders(m_dir->path() + gbk("文档盘") + "/" + gbk("软件"));
        testing_support::makeFolders(m_dir->path() + Utf8Name);
        testing_support::makeFolders(m_dir->path() + "abc");
        testing_support::makeFolders(m_dir->path() + Undecodable);
        testing_support::makeFolders(m_dir->path() + ".hidden/" + gbk("盒"));
        testing_support::writeFile(m_dir->path() + gbk("文件.txt"), "not a folder");
        QVERIFY(::symlink((m_dir->path() + gbk("文档盘")).c_str(),
                          (m_dir->path() + gbk("链接")).c_str()) == 0);
        QVERIFY(::symlink("/no-such-target", (m_dir->path() + "dangling").c_str()) == 0);
    }
    void cleanup() { m_dir.reset(); }

    // Every folder is listed, GBK names decoded, in the main window's order; files,
    // hidden folders and links to nothing are not.
    void listsFoldersOfEitherEncoding()
    {
        ui::FolderChooser dialog(QStringLiteral("请选择"), m_folder);
        auto* tree = child<QTreeView>(&dialog, "folders");
        QAbstractItemModel& model = *tree->model();
        QCOMPARE(tree->currentIndex().data(ui::FolderModel::PathRole).toByteArray().toStdString(),
                 m_folder);
        const QStringList shown = childTexts(model, tree->currentIndex());
        QCOMPARE(shown, (QStringList{QStringLiteral("abc"), QStringLiteral("链接"),
                                     QStringLiteral("文档盘"), QStringLiteral("照片"),
                                     QStringLiteral("\uFFFD")}));
        // Inside a GBK folder, a GBK name again.
        const QModelIndex box = childNamed(model, tree->currentIndex(), QStringLiteral("文档盘"));
        QCOMPARE(childTexts(model, box), QStringList{QStringLiteral("软件")});
        // The link lists its target's folders when opened.
        const QModelIndex link = childNamed(model, tree->currentIndex(), QStringLiteral("链接"));
        QCOMPARE(childTexts(model, link), QStringList{QStringLiteral("软件")});
    }

    // The chosen folder comes back as its exact bytes, however it was chosen.
    void choosingGivesTheExactBytes_data()
    {
        QTest::addColumn<QString>("how");      // start, click or type
        QTest::addColumn<QString>("what");     // the path below the folder, or the text typed
        QTest::addColumn<QByteArray>("bytes"); // the path below the folder on disk

        const auto bytes = [](const std::string& path) { return QByteArray::fromStdString(path); };
        QTest::newRow("start at GBK") << "start" << QString() << bytes(gbk("文档盘"));
        QTest::newRow("start at UTF-8") << "start" << QString() << bytes(Utf8Name);
        QTest::newRow("start at undecodable") << "start" << QString() << bytes(Undecodable);
        QTest::newRow("start below hidden")
            << "start" << QString() << bytes(".hidden/" + gbk("盒"));
        QTest::newRow("start at link, kept") << "start" << QString() << bytes(gbk("链接"));
        QTest::newRow("click GBK")
            << "click" << QStringLiteral("文档盘/软件") << bytes(gbk("文档盘") + "/" + gbk("软件"));
        QTest::newRow("click UTF-8") << "click" << QStringLiteral("照片") << bytes(Utf8Name);
        QTest::newRow("type GBK") << "type" << QStringLiteral("文档盘/软件")
                                  << bytes(gbk("文档盘") + "/" + gbk("软件"));
        QTest::newRow("type UTF-8") << "type" << QStringLiteral("照片") << bytes(Utf8Name);
        QTest::newRow("type with dots")
            << "type" << QStringLiteral("./文档盘/../照片/") << bytes(Utf8Name);
    }
    void choosingGivesTheExactBytes()
    {
        QFETCH(QString, how);
        QFETCH(QString, what);
        QFETCH(QByteArray, bytes);
        const std::string expected = m_dir->path() + bytes.toStdString();

        ui::FolderChooser dialog(QStringLiteral("请选择"), how == "start" ? expected : m_folder);
        auto* tree = child<QTreeView>(&dialog, "folders");
        auto* pathLine = child<QLineEdit>(&dialog, "path");
        if (how == "click") {
            QModelIndex index = tree->currentIndex();
            for (const QString& name : what.split(QLatin1Char('/'))) {
                index = childNamed(*tree->model(), index, name);
            }
            QVERIFY(index.isValid());
            tree->setCurrentIndex(index);
        } else if (how == "type") {
            pathLine->clear();
            testing_support::type(pathLine, ui::fromNative(m_dir->path()) + what);
        }
        if (how != "type") {
            QCOMPARE(
                tree->currentIndex().data(ui::FolderModel::PathRole).toByteArray().toStdString(),
                expected);
            QCOMPARE(pathLine->text(), ui::fromNative(expected));
        }
        child<QPushButton>(&dialog, "ok")->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.chosenFolder(), expected);
    }

    // A typed folder that does not exist is refused and the dialog stays open.
    void aMissingFolderIsRefused()
    {
        ui::FolderChooser dialog(QStringLiteral("请选择"), m_folder);
        dialog.show();
        auto* pathLine = child<QLineEdit>(&dialog, "path");
        pathLine->setText(ui::fromNative(m_dir->path()) + QStringLiteral("没有"));
        QString said;
        whenShown<QMessageBox>([&said](QMessageBox* box) { said = box->text(), box->accept(); });
        child<QPushButton>(&dialog, "ok")->click();
        QVERIFY(said.contains(QStringLiteral("文件夹不存在")));
        QVERIFY(dialog.isVisible());
        QVERIFY(dialog.chosenFolder().empty());
    }

    // 新建文件夹 makes the folder in the selected one and selects it; a name with a
    // slash makes nothing.
    void newFolderIsMadeAndSelected_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("made");
        QTest::newRow("Chinese") << QStringLiteral("新的") << true;
        QTest::newRow("hidden") << QStringLiteral(".新的") << true;
        QTest::newRow("slash") << QStringLiteral("软件/新") << false;
        QTest::newRow("dot dot") << QStringLiteral("..") << false;
    }
    void newFolderIsMadeAndSelected()
    {
        QFETCH(QString, typed);
        QFETCH(bool, made);
        const std::string parent = m_dir->path() + gbk("文档盘");
        ui::FolderChooser dialog(QStringLiteral("请选择"), parent);
        dialog.show();
        auto* tree = child<QTreeView>(&dialog, "folders");
        QString asked;
        whenShown<QInputDialog>([&](QInputDialog* box) {
            asked = box->labelText();
            box->setTextValue(typed);
            box->accept();
        });
        QString refusal;
        if (!made) {
            whenShown<QMessageBox>([&](QMessageBox* box) { refusal = box->text(), box->accept(); });
        }
        child<QPushButton>(&dialog, "newFolder")->click();
        QCOMPARE(asked, QStringLiteral("文件夹名称:"));
        const std::string expected = parent + "/" + typed.toStdString();
        const std::string selected =
            tree->currentIndex().data(ui::FolderModel::PathRole).toByteArray().toStdString();
        if (made) {
            QVERIFY(testing_support::exists(expected));
            QCOMPARE(selected, expected);
        } else {
            QVERIFY(refusal.startsWith(QStringLiteral("文件夹名称不能")));
            QCOMPARE(selected, parent);
            ui::FolderModel onDisk({parent});
            QCOMPARE(childTexts(onDisk, onDisk.index(0, 0)), QStringList{QStringLiteral("软件")});
            QVERIFY(!testing_support::exists(parent + "/" + gbk("软件") + "/新"));
        }
    }

    // A folder of thousands of folders lists at once (the time is printed, not judged).
    void aLargeFolderListsWhole()
    {
        const std::string big = m_dir->path() + "big/";
        testing_support::makeFolders(big);
        for (int i = 0; i < 5000; ++i) {
            QVERIFY(::mkdir((big + gbk("光盘") + std::to_string(i)).c_str(), 0755) == 0);
        }
        ui::FolderChooser dialog(QStringLiteral("请选择"), big);
        auto* tree = child<QTreeView>(&dialog, "folders");
        QElapsedTimer clock;
        clock.start();
        const QStringList shown = childTexts(*tree->model(), tree->currentIndex());
        qInfo("5000 folders listed in %lld ms", static_cast<long long>(clock.elapsed()));
        QCOMPARE(shown.size(), 5000);
        QCOMPARE(shown.count(QStringLiteral("光盘4999")), 1);
    }

    // Paths shown in the program's messages decode each name on its own.
    void nativePathsShowGbkNames_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QString>("shown");
        QTest::newRow("utf-8 root, GBK box")
            << QByteArray::fromStdString("/home/用户/" + gbk("文档盘") + "/")
            << QStringLiteral("/home/用户/文档盘/");
        QTest::newRow("GBK, UTF-8, GBK")
            << QByteArray::fromStdString("/" + gbk("甲") + "/乙/" + gbk("丙"))
            << QStringLiteral("/甲/乙/丙");
        QTest::newRow("results folder") << QByteArray::fromStdString("/lib/\xFF" + gbk("查找结果"))
                                        << QStringLiteral("/lib/查找结果");
    }
    void nativePathsShowGbkNames()
    {
        QFETCH(QByteArray, path);
        QFETCH(QString, shown);
        QCOMPARE(ui::fromNative(path.toStdString()), shown);
    }
};

QTEST_MAIN(FolderChooserTest)
#include "folder_chooser_test.moc"
