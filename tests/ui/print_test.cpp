// Printing for real: the pages as Qt draws them are read back from Qt's own PDF, and the
// window prints a record on the CUPS queue "Vellumark-PDF" (cups-pdf, set up by
// tools/print-queue), whose PDF is read back with pdftotext. That one is skipped only when
// no CUPS scheduler can be reached.

#include "app/cd_list_view.h"
#include "app/mainunit.h"
#include "catalog/library.h"
#include "output/output.h"
#include "platform/qt/qt_printing.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fake_drives.h"
#include "tests/support/fake_settings_store.h"
#include "tests/support/fake_shell.h"
#include "tests/support/fake_user_dialogs.h"
#include "tests/support/temp_library.h"
#include "ui/gbk_text.h"

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <QTreeWidget>

#include <pwd.h>
#include <unistd.h>

#include <memory>

using testing_support::gbk;

namespace {

const QString Queue = QStringLiteral("Vellumark-PDF");

QString run(const QString& program, const QStringList& arguments, int* exitCode = nullptr)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000)) {
        if (exitCode != nullptr) {
            *exitCode = -1;
        }
        return {};
    }
    if (exitCode != nullptr) {
        *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

// Where cups-pdf puts the PDFs of this user: its "Out" setting, and the folder of jobs
// whose user it does not know.
QStringList pdfFolders()
{
    const passwd* user = ::getpwuid(::getuid());
    const QString home = user != nullptr ? QString::fromLocal8Bit(user->pw_dir) : QDir::homePath();
    const QString name = user != nullptr ? QString::fromLocal8Bit(user->pw_name) : QString();
    QString out = QStringLiteral("/var/spool/cups-pdf/${USER}");
    QString anonymous = QStringLiteral("/var/spool/cups-pdf/ANONYMOUS");
    QFile config(QStringLiteral("/etc/cups/cups-pdf.conf"));
    if (config.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : config.readAll().split('\n')) {
            const QString text = QString::fromUtf8(line).trimmed();
            if (text.startsWith(QStringLiteral("Out "))) {
                out = text.mid(4).trimmed();
            } else if (text.startsWith(QStringLiteral("AnonDirName "))) {
                anonymous = text.mid(12).trimmed();
            }
        }
    }
    out.replace(QStringLiteral("${HOME}"), home).replace(QStringLiteral("${USER}"), name);
    return {out, anonymous};
}

QSet<QString> pdfsIn(const QStringList& folders)
{
    QSet<QString> found;
    for (const QString& folder : folders) {
        for (const QFileInfo& file :
             QDir(folder).entryInfoList({QStringLiteral("*.pdf")}, QDir::Files)) {
            found.insert(file.absoluteFilePath());
        }
    }
    return found;
}

// The document's title as cups-pdf writes it: the job name's UTF-8 bytes in a PDF
// literal string, with octal escapes.
QString pdfTitle(const QByteArray& pdf)
{
    const qsizetype start = pdf.indexOf("/Title(");
    if (start < 0) {
        return {};
    }
    QByteArray bytes;
    for (qsizetype i = start + 7; i < pdf.size() && pdf[i] != ')'; ++i) {
        if (pdf[i] != '\\') {
            bytes += pdf[i];
        } else if (i + 3 < pdf.size() && pdf[i + 1] >= '0' && pdf[i + 1] <= '7') {
            bytes += static_cast<char>(pdf.mid(i + 1, 3).toInt(nullptr, 8));
            i += 3;
        } else if (i + 1 < pdf.size()) {
            bytes += pdf[++i];
        }
    }
    return QString::fromUtf8(bytes);
}

QString withoutBlanks(QString text)
{
    return text.remove(QRegularExpression(QStringLiteral("\\s")));
}

} // namespace

class PrintTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        int status = 0;
        QVERIFY2(run(QStringLiteral("pdftotext"), {QStringLiteral("-v")}, &status).isEmpty() &&
                     status == 0,
                 "pdftotext is missing (poppler-utils)");
        // This process's default printer, whatever the machine's default is.
        qputenv("PRINTER", Queue.toUtf8());
    }

    // The pages as Qt draws them, made into a PDF by Qt itself: every drawn line is there
    // as text, Chinese included, in order.
    void thePagesHoldEveryDrawnLineAsText()
    {
        testing_support::TempDir dir;
        const std::string listing = "E:\\\r\n\t" + gbk("中文目录名称") + "\r\n\t\t" +
                                    gbk("说明.TXT") + "\r\n\t\t\t" + gbk("安装程序") +
                                    "\r\n\tGAME.EXE\r\n";
        std::vector<std::string> lines;
        QStringList drawn;
        for (const std::string& line : output::DrawTreeLines(listing, output::Style::Text)) {
            lines.push_back(ui::fromGbk(line).toStdString());
            drawn << withoutBlanks(ui::fromGbk(line));
        }
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        const QString pdf = QString::fromStdString(dir.path()) + QStringLiteral("pages.pdf");
        printer.setOutputFileName(pdf);
        QVERIFY(platform::qt_edition::PrintLinesOn(printer, lines));
        int status = 0;
        const QString text =
            run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")},
                &status);
        QCOMPARE(status, 0);
        QStringList printed;
        for (const QString& line : text.split(QLatin1Char('\n'))) {
            if (!withoutBlanks(line).isEmpty()) {
                printed << withoutBlanks(line);
            }
        }
        QCOMPARE(printed, drawn);
    }

    void theWindowPrintsEveryDrawnLineOnThePrinter()
    {
        int status = 0;
        const QString scheduler = run(QStringLiteral("lpstat"), {QStringLiteral("-r")}, &status);
        if (!scheduler.contains(QStringLiteral("is running"))) {
            QSKIP("No CUPS scheduler can be reached (lpstat -r); tools/setup test starts one");
        }
        run(QStringLiteral("lpstat"), {QStringLiteral("-v"), Queue}, &status);
        QVERIFY2(status == 0, "CUPS runs but has no queue Vellumark-PDF: run tools/print-queue");
        testing_support::TempDir dir;
        const std::string root = dir.path() + "Orlendy/";
        const std::string listing = "E:\\\r\n\tSETUP\r\n\t\t" + gbk("说明.TXT") + "\r\n\t\t" +
                                    gbk("安装程序") + "\r\n\t\t\tDATA.CAB\r\n\t" +
                                    gbk("中文目录名称") + "\r\n\tGAME.EXE\r\n";
        testing_support::writeFile(root + gbk("软件光盘/工具盘.Cdr"), listing);
        testing_support::writeFile(root + gbk("软件光盘/工具盘.tag"),
                                   "0\r\n1\r\n4\r\n1\r\n8\r\n1\r\n3\r\n");

        testing_support::FakeSettingsStore settings;
        testing_support::FakeDrives drives;
        testing_support::FakeUserDialogs dialogs;
        testing_support::FakeClock clock;
        testing_support::FakeShell shell;
        platform::qt_edition::QtPrinting printing;
        QVERIFY(printing.hasPrinter());
        app::Tmainform form(
            {settings, drives, dialogs, clock, shell, root, dir.path(), &printing});
        form.show();
        auto* boxes = form.findChild<QTreeWidget*>("TVstyle");
        form.selectBoxPath(gbk("软件光盘\\"));
        auto* list = form.findChild<app::CdListView*>("LVcd");
        QCOMPARE(list->count(), 1);
        list->selectOnly(0);
        form.LVcdClick();
        QVERIFY(boxes->currentItem() != nullptr);

        const QStringList folders = pdfFolders();
        const QSet<QString> before = pdfsIn(folders);
        dialogs.answerNext(true);
        form.findChild<QAction*>("N17")->trigger();
        QCOMPARE(dialogs.shown().size(), std::size_t{1});

        // cups-pdf writes the PDF once the job has gone through the filters.
        QString pdf;
        QElapsedTimer waited;
        waited.start();
        while (pdf.isEmpty() && waited.elapsed() < 90000) {
            QTest::qWait(250);
            const QSet<QString> added = pdfsIn(folders) - before;
            if (!added.isEmpty()) {
                pdf = *added.begin();
            }
        }
        QVERIFY2(!pdf.isEmpty(), qPrintable(QStringLiteral("no new PDF in ") + folders.join(u' ')));
        QByteArray bytes;
        for (qint64 size = -1; size != QFileInfo(pdf).size() || bytes.isEmpty();) {
            size = QFileInfo(pdf).size();
            QTest::qWait(300);
            QFile file(pdf);
            QVERIFY(file.open(QIODevice::ReadOnly));
            bytes = file.readAll();
        }
        // cups-pdf puts the job name in parentheses.
        QCOMPARE(pdfTitle(bytes), QStringLiteral("(光盘 工具盘 的结构)"));

        status = 0;
        const QString text =
            run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")},
                &status);
        QCOMPARE(status, 0);
        const QString fonts = run(QStringLiteral("pdffonts"), {pdf});
        QFile::remove(pdf);
        // pdftotext may space the connectors its own way.
        QStringList printed;
        for (const QString& line : text.split(QLatin1Char('\n'))) {
            if (!withoutBlanks(line).isEmpty()) {
                printed << withoutBlanks(line);
            }
        }
        QStringList drawn;
        for (const std::string& line : output::DrawTreeLines(listing, output::Style::Text)) {
            drawn << withoutBlanks(ui::fromGbk(line));
        }
        // The lines without Chinese come through every queue: all there, in order.
        qsizetype from = 0;
        for (const QString& line : drawn) {
            if (line.toLatin1() == line.toUtf8()) {
                from = printed.indexOf(line, from);
                QVERIFY2(from >= 0, qPrintable(line + QStringLiteral(" not printed in order:\n") + text));
            }
        }
        // Every line with its Chinese where the queue keeps the text: the PostScript step
        // of cups-pdf queues (poppler's cairo renderer) may turn Chinese glyphs into Type 3
        // pictures, which hold no text to read back. thePagesHoldEveryDrawnLineAsText reads
        // the same pages from Qt's own PDF.
        if (fonts.contains(QStringLiteral("Type 3"))) {
            qInfo("The queue drew some glyphs as Type 3 pictures: only the lines without "
                  "Chinese could be read back");
        } else {
            QCOMPARE(printed, drawn);
        }
    }
};

QTEST_MAIN(PrintTest)
#include "print_test.moc"
