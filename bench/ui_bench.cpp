// The main window on large data, offscreen: a box of 5,000 CDs listed and sorted, a
// 200,000-node record shown in the content tree, the memory a 1,000,000-node record
// takes, and how soon the batch output dialog answers events while it writes 2,000 CDs of
// 3,000 nodes. Prints one line per figure.

#include "bench/synthetic_library.h"

#include "app/cd_list_view.h"
#include "app/mainunit.h"
#include "catalog/library.h"
#include "catalog/text.h"
#include "output/ExpUnit.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fake_drives.h"
#include "tests/support/fake_settings_store.h"
#include "tests/support/fake_shell.h"
#include "tests/support/fake_user_dialogs.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

long residentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::atol(line.c_str() + 6);
        }
    }
    return 0;
}

void show(app::Tmainform& form, const std::string& captionGbk)
{
    auto* list = form.findChild<app::CdListView*>("LVcd");
    for (int row = 0; row < list->count(); ++row) {
        if (list->caption(row) == captionGbk) {
            list->selectOnly(row);
            form.LVcdClick();
            QApplication::processEvents();
            return;
        }
    }
    std::fprintf(stderr, "no item to show\n");
    std::exit(1);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const char* base = std::getenv("TMPDIR");
    const std::string scratch = std::string(base && *base ? base : "/tmp") + "/vellumark-ui-bench/";
    std::filesystem::remove_all(scratch);
    std::filesystem::create_directories(scratch);
    const std::string root = scratch + "Orlendy/";
    catalog::CreateLibrary(root);
    const std::string bigBox = catalog::ChildPath(root, catalog::utf8ToGbk("大盒"));
    const std::string largeRecords = catalog::ChildPath(root, catalog::utf8ToGbk("大光盘"));
    std::filesystem::create_directories(bigBox);
    std::filesystem::create_directories(largeRecords);
    for (std::uint32_t cd = 0; cd < 5000; ++cd) {
        bench::writeRecord(bigBox, catalog::utf8ToGbk("光盘" + std::to_string(cd)),
                           bench::makeDiscTree(5, cd), cd);
    }
    const std::string record200k = catalog::utf8ToGbk("二十万");
    const std::string record1m = catalog::utf8ToGbk("一百万");
    bench::writeRecord(largeRecords, record200k, bench::makeDiscTree(200000, 1), 1);
    bench::writeRecord(largeRecords, record1m, bench::makeDiscTree(1000000, 2), 2);

    testing_support::FakeSettingsStore settings;
    testing_support::FakeDrives drives;
    testing_support::FakeUserDialogs dialogs;
    testing_support::FakeClock clock;
    testing_support::FakeShell shell;
    app::Tmainform form({settings, drives, dialogs, clock, shell, root, scratch});
    form.resize(1200, 800);
    form.show();
    QApplication::processEvents();

    QElapsedTimer timer;
    timer.start();
    form.selectBoxPath(catalog::utf8ToGbk("大盒\\"));
    QApplication::processEvents();
    std::printf("box of 5,000 CDs listed and sorted: %lld ms\n",
                static_cast<long long>(timer.elapsed()));

    form.selectBoxPath(catalog::utf8ToGbk("大光盘\\"));
    QApplication::processEvents();
    timer.restart();
    show(form, record200k);
    std::printf("200,000-node record shown: %lld ms\n", static_cast<long long>(timer.elapsed()));

    form.selectBoxPath(catalog::utf8ToGbk("大光盘\\"));
    QApplication::processEvents();
    const long before = residentKiB();
    timer.restart();
    show(form, record1m);
    std::printf("1,000,000-node record shown: %lld ms, %ld MB more memory\n",
                static_cast<long long>(timer.elapsed()), (residentKiB() - before) / 1024);

    // Batch output: a timer asks for an event every 5 ms while the walk runs; the longest
    // wait beyond that is how long the window left an event unanswered.
    const std::string batchBox = catalog::ChildPath(root, catalog::utf8ToGbk("批量"));
    std::filesystem::create_directories(batchBox);
    for (std::uint32_t cd = 0; cd < 2000; ++cd) {
        bench::writeRecord(batchBox, catalog::utf8ToGbk("光盘" + std::to_string(cd)),
                           bench::makeDiscTree(3000, cd), cd);
    }
    const std::string out = scratch + "out/";
    std::filesystem::create_directories(out);
    output::TExpForm expForm({settings, dialogs, shell, nullptr, out});
    expForm.setLibraryRoot(root);
    expForm.setExpStartPath(catalog::utf8ToGbk("批量\\"));
    dialogs.answerNext(true);
    QElapsedTimer sinceTick;
    qint64 longestWait = 0;
    long long ticks = 0;
    long long late = 0;
    QTimer probe;
    probe.setInterval(5);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 wait = sinceTick.restart() - 5;
        longestWait = std::max(longestWait, wait);
        late += wait > 50 ? 1 : 0;
        ++ticks;
    });
    QTimer::singleShot(0, &expForm, [&] {
        sinceTick.start();
        probe.start();
        timer.restart();
        expForm.findChild<QPushButton*>("BitBtn1")->click();
        probe.stop();
    });
    expForm.exec();
    std::printf("batch output of 2,000 CDs (3,000 nodes each) as text: %lld ms; events answered "
                "within %lld ms at the latest (%lld of %lld probes later than 50 ms)\n",
                static_cast<long long>(timer.elapsed()), static_cast<long long>(longestWait),
                late, ticks);
    const bool allWritten = std::distance(std::filesystem::directory_iterator(out),
                                          std::filesystem::directory_iterator()) == 2000;

    std::filesystem::remove_all(scratch);
    // Two questions and the completion message, nothing else.
    return dialogs.shown().size() == 2 && allWritten ? 0 : 1;
}
