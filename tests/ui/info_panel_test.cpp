#include "app/info_panel.h"
#include "catalog/cdinfo.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fake_drives.h"
#include "tests/support/fake_user_dialogs.h"
#include "tests/support/temp_library.h"

#include <QClipboard>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QGuiApplication>
#include <QLineEdit>
#include <QTest>
#include <QValidator>

#include <memory>

using namespace testing_support;
using platform::MessageIcon;

namespace {

struct Fixture
{
    TempDir dir;
    FakeDrives drives;
    FakeUserDialogs dialogs;
    FakeClock clock{{2024, 5, 6, 13, 45, 30, 0}};
    catalog::RecordRef record{dir.path(), gbk("软件光盘")};
    std::unique_ptr<app::InfoPanel> panel;

    Fixture()
    {
        writeFile(dir / (gbk("软件光盘") + ".Cdr"), "E:\\\r\n");
        drives.addDrive('E');
        panel = std::make_unique<app::InfoPanel>(drives, dialogs, clock);
        panel->setRecord(record, 'E', gbk("软件光盘"));
    }
    template <class T> T* child(const char* name) { return panel->findChild<T*>(name); }
    // The line a text field or a choice list is typed into.
    QLineEdit* lineEdit(const QString& field)
    {
        QWidget* widget = child<QWidget>(field.toLatin1().constData());
        auto* box = qobject_cast<QComboBox*>(widget);
        return box ? box->lineEdit() : qobject_cast<QLineEdit*>(widget);
    }
    std::string ifnPath() const { return dir / (gbk("软件光盘") + ".Ifn"); }
    void storeInfo(const catalog::TCDInfo& info)
    {
        const auto bytes = catalog::EncodeCDInfo(info);
        writeFile(ifnPath(), std::string(bytes.data(), bytes.size()));
    }
};

catalog::TCDInfo sampleInfo()
{
    catalog::TCDInfo info = catalog::DefaultCDInfo(36925.0 + 8.0 / 24.0);
    info.cdno = gbk("A-017");
    info.cdowner = gbk("张三");
    info.cdbuyaddr = gbk("中关村");
    info.cdstyle = gbk("刻录盘");
    info.cdother = gbk("备份用");
    return info;
}

} // namespace

class InfoPanelTest : public QObject
{
    Q_OBJECT
private slots:
    void choiceLists_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("items");
        QTest::newRow("cdstyle") << "cdstyle" << QStringList{"一般光盘", "蓝盘", "金盘", "刻录盘"};
        QTest::newRow("cdzl") << "cdzl" << QStringList{"一般", "差", "烂盘", "好", "很好"};
        QTest::newRow("cdstat") << "cdstat" << QStringList{"保存中", "借出", "遗失"};
        QTest::newRow("cdxz") << "cdxz" << QStringList{"一般", "非常重要", "重要", "无所谓"};
    }
    void choiceLists()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, items);
        Fixture f;
        auto* box = f.child<QComboBox>(name.toLatin1().constData());
        QVERIFY(box && box->isEditable());
        QStringList shown;
        for (int i = 0; i < box->count(); ++i) {
            shown << box->itemText(i);
        }
        QCOMPARE(shown, items);
        QCOMPARE(box->currentText(), items.first());
    }

    void roundTrip()
    {
        Fixture f;
        f.child<QLineEdit>("cdno")->setText("No.12");
        f.child<QLineEdit>("cdowner")->setText("李四");
        f.child<QLineEdit>("cdbuyaddr")->setText("上海书城");
        f.child<QComboBox>("cdzl")->setEditText("还行");
        f.child<QLineEdit>("cdother")->setText("游戏 Disc 2");
        // A new date keeps the clock's time of day, 13:45:30.
        f.child<QDateTimeEdit>("cdtime")->setDate(QDate(2024, 5, 10));
        QCOMPARE(f.child<QDateTimeEdit>("cdtime")->text(), QString("2024年5月10日"));
        f.panel->save();
        QVERIFY(f.dialogs.shown().empty());
        QVERIFY(qAbs(f.panel->values().cdtime - 45422.57326388889) < 1e-6);
        const auto expected = catalog::EncodeCDInfo(f.panel->values());
        QCOMPARE(readFile(f.ifnPath()), std::string(expected.data(), expected.size()));

        Fixture other;
        other.panel->LoadInfoPanel(f.record);
        QVERIFY(other.panel->values() == f.panel->values());
        QCOMPARE(other.child<QComboBox>("cdzl")->currentText(), QString("还行"));
    }

    void capacityText_data()
    {
        QTest::addColumn<QString>("cdmoney");
        QTest::addColumn<QString>("shown");
        const auto row = [](const char* name, const char* cdmoney, const char* shown) {
            QTest::newRow(name) << QString(cdmoney) << QString(shown);
        };
        row("empty", "", "0MB");
        row("leading blanks", " 123", "0.0MB");
        row("trailing blank", "123 ", "0MB");
        row("letters", "abc", "0MB");
        row("above int32", "2147483648", "0MB");
        row("int32 max", "2147483647", "2048.0MB");
        row("650 MB", "681574400", "650.0MB");
        row("negative", "-1048576", "-1.0MB");
    }
    void capacityText()
    {
        QFETCH(QString, cdmoney);
        QFETCH(QString, shown);
        QCOMPARE(app::InfoPanel::capacityText(cdmoney.toStdString()), shown);
    }

    void capacityClick_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("discIn");
        QTest::addColumn<bool>("yes");
        QTest::addColumn<bool>("folderGone");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QString>("cdmoney2");
        const QString ask =
            "(!)是否要获取光盘 软件光盘 的容量?\r请确认 E: 驱中的光盘是不是光盘 软件光盘";
        QTest::newRow("recorded") << "681574400" << true << true << false << QStringList{}
                                  << "650.0MB";
        QTest::newRow("no disc") << "" << false << true << false
                                 << QStringList{"(!)获取光盘容量!\r光盘 软件光盘没有在 E: 驱中!"}
                                 << "0MB";
        QTest::newRow("no") << "" << true << false << false << QStringList{ask} << "0MB";
        QTest::newRow("yes, 4.7 GB") << "" << true << true << false
                                     << QStringList{ask, "(i)获取光盘容量完成！"} << "4482.6MB";
        QTest::newRow("save fails")
            << "" << true << true << true << QStringList{ask, "<error>"} << "4482.6MB";
    }
    void capacityClick()
    {
        QFETCH(QString, stored);
        QFETCH(bool, discIn);
        QFETCH(bool, yes);
        QFETCH(bool, folderGone);
        QFETCH(QStringList, texts);
        QFETCH(QString, cdmoney2);
        const std::uint64_t size = 4700372992;
        Fixture f;
        catalog::TCDInfo info = sampleInfo();
        info.cdmoney = stored.toStdString();
        f.storeInfo(info);
        f.panel->refill();
        if (discIn) {
            f.drives.insert('E', {"SOFT", size, ""});
        }
        if (folderGone) {
            f.panel->setRecord({f.dir / "missing/", f.record.name}, 'E', gbk("软件光盘"));
        }
        f.dialogs.answerNext(yes);
        QTest::mouseClick(f.child<QLineEdit>("cdmoney2"), Qt::LeftButton);

        QStringList shown;
        for (const auto& s : f.dialogs.shown()) {
            const QString text = QString::fromStdString(s.text);
            shown << (s.icon == MessageIcon::Error         ? QString("<error>")
                      : s.icon == MessageIcon::Information ? "(i)" + text
                      : s.icon == MessageIcon::Warning     ? "(!)" + text
                                                           : "(?)" + text);
        }
        QCOMPARE(shown, texts);
        QCOMPARE(f.child<QLineEdit>("cdmoney2")->text(), cdmoney2);
        const bool written = texts.size() == 2 && !folderGone;
        info.cdmoney = written ? std::to_string(size) : info.cdmoney;
        const auto expected = catalog::EncodeCDInfo(info);
        QCOMPARE(readFile(f.ifnPath()), std::string(expected.data(), expected.size()));
    }

    void refill_data()
    {
        QTest::addColumn<int>("ifnBytes"); // -1: no .ifn
        QTest::newRow("stored values") << 192;
        QTest::newRow("defaults without .ifn") << -1;
        QTest::newRow("short .ifn keeps the controls") << 191;
    }
    void refill()
    {
        QFETCH(int, ifnBytes);
        Fixture f;
        if (ifnBytes == 192) {
            f.storeInfo(sampleInfo());
        } else if (ifnBytes > 0) {
            writeFile(f.ifnPath(), std::string(ifnBytes, '\0'));
        }
        f.child<QLineEdit>("cdno")->setText("edited");
        f.child<QComboBox>("cdstat")->setCurrentIndex(2);
        f.child<QLineEdit>("cdmoney2")->setText("1.0MB");
        const catalog::TCDInfo edited = f.panel->values();
        f.panel->refill();
        const catalog::TCDInfo expected = ifnBytes == 192 ? sampleInfo()
                                          : ifnBytes < 0 ? catalog::DefaultCDInfo(45418.57326388889)
                                                         : edited;
        QVERIFY(f.panel->values() == expected);
        QCOMPARE(f.child<QLineEdit>("cdmoney2")->text(), ifnBytes == 192 ? "0MB"
                                                         : ifnBytes < 0  ? ""
                                                                         : "1.0MB");
        QCOMPARE(exists(f.ifnPath()), ifnBytes > 0);
        QCOMPARE(f.dialogs.shown().size(), std::size_t(ifnBytes == 191 ? 1 : 0));
        if (ifnBytes == 191) {
            QCOMPARE(f.dialogs.shown()[0].icon, MessageIcon::Error);
            QVERIFY(f.dialogs.lastText().find(".Ifn") != std::string::npos);
            QVERIFY_THROWS_EXCEPTION(catalog::FileError, f.panel->LoadInfoPanel(f.record));
        }
    }

    // What a field keeps of a text given whole (null: refused).
    void byteLimits_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("kept");
        const auto row = [](const char* name, const char* field, const char* text,
                            const QString& kept) {
            QTest::newRow(name) << QString(field) << QString(text) << kept;
        };
        row("20 bytes", "cdno", "一二三四五六七八九十", "一二三四五六七八九十");
        row("21 bytes", "cdowner", "一二三四五六七八九十a", "一二三四五六七八九十");
        row("12 bytes in a list", "cdstat", "一二三四五六", "一二三四五六");
        row("13 bytes in a list", "cdxz", "一二三四五六7", "一二三四五六");
        row("41 bytes, cut before a whole character", "cdother",
            "a一二三四五六七八九十一二三四五六七八九十", "a一二三四五六七八九十一二三四五六七八九");
        row("not GBK", "cdother", "好😀", QString());
    }
    void byteLimits()
    {
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(QString, kept);
        Fixture f;
        QLineEdit* edit = f.lineEdit(field);
        QVERIFY(edit && edit->validator());
        int pos = static_cast<int>(text.size());
        const QValidator::State state = edit->validator()->validate(text, pos);
        QCOMPARE(state == QValidator::Acceptable, !kept.isNull());
        if (!kept.isNull()) {
            QCOMPARE(text, kept);
            QCOMPARE(pos, static_cast<int>(kept.size()));
        }
    }

    // Ctrl+V with the clipboard's text: kept, cut to the field at a character boundary.
    void pasteIsCutToTheField_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("before");
        QTest::addColumn<int>("cursor");
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<QString>("after");
        QTest::newRow("other notes, 41 bytes")
            << "cdother"
            << "" << 0 << "a" + QString("汉").repeated(20) << "a" + QString("汉").repeated(19);
        QTest::newRow("number, into the middle")
            << "cdno"
            << "AB" << 1 << QString("汉").repeated(10) << "A" + QString("汉").repeated(9) + "B";
        QTest::newRow("choice list") << "cdstyle"
                                     << "" << 0 << "刻录盘刻录盘刻"
                                     << "刻录盘刻录盘";
        QTest::newRow("fits") << "cdowner"
                              << "张" << 1 << "三"
                              << "张三";
        QTest::newRow("full field") << "cdbuyaddr"
                                    << "一二三四五六七八九十" << 10 << "x"
                                    << "一二三四五六七八九十";
    }
    void pasteIsCutToTheField()
    {
        QFETCH(QString, field);
        QFETCH(QString, before);
        QFETCH(int, cursor);
        QFETCH(QString, pasted);
        QFETCH(QString, after);
        Fixture f;
        QLineEdit* edit = f.lineEdit(field);
        edit->setText(before);
        edit->setCursorPosition(cursor);
        QGuiApplication::clipboard()->setText(pasted);
        QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(edit->text(), after);
        // The cursor stands after what was kept of the paste.
        QCOMPARE(edit->cursorPosition(), static_cast<int>(after.size() - before.size() + cursor));
    }

    void longPasteCutAtCharacter()
    {
        Fixture f;
        // 41 bytes: a cut at 40 would split the last character.
        f.child<QLineEdit>("cdother")->setText("a" + QString("汉").repeated(20));
        f.panel->save();
        const std::string bytes = readFile(f.ifnPath());
        QCOMPARE(int(static_cast<unsigned char>(bytes[150])), 39);
        QCOMPARE(bytes.substr(151, 39), gbk("a") + gbk(QString("汉").repeated(19).toStdString()));
    }
};

QTEST_MAIN(InfoPanelTest)
#include "info_panel_test.moc"
