// The box tree's command that brings another program's catalogue into the selected box:
// the file chosen, what it holds read once and shown, then, if the user agrees, the
// import with a progress bar.

#include "app/mainunit_shared.h"
#include "migrate/input.h"
#include "migrate/pipeline.h"
#include "organize/box_paths.h"
#include "ui/message_lines.h"
#include "ui/run_aside.h"

#include <QProgressDialog>

#include <atomic>
#include <filesystem>

namespace app {

namespace {

constexpr char CatalogueFilter[] =
    "光盘目录文件 (*.xml *.csv *.txt *.hcf *.lst);;WhereIsIt XML 报告 (*.xml);;"
    "WhereIsIt CSV 报告 (*.csv *.txt);;VVV CSV 导出 (*.csv *.txt);;Cdcat 目录 (*.hcf);;"
    "路径列表 (*.txt *.lst);;所有文件 (*)";

std::string formatCaption(migrate::Format format)
{
    switch (format) {
    case migrate::Format::WhereIsItXml:
        return "WhereIsIt XML 报告";
    case migrate::Format::WhereIsItCsv:
        return "WhereIsIt CSV 报告";
    case migrate::Format::Vvv:
        return "VVV CSV 导出";
    case migrate::Format::Cdcat:
        return "Cdcat 目录";
    case migrate::Format::List:
        break;
    }
    return "路径列表";
}

// One reading of the file: the discs it gave and every problem met, in the order met.
struct Reading
{
    migrate::ImportRun run;
    catalog::EntryTotals totals;
    std::vector<std::string> problemsUtf8;
};

// Reads the whole file into the importer, on a thread of its own while the window
// repaints; discsDone counts the discs as they are done and stop ends the reading.
Reading readCatalogue(const std::string& path, migrate::Format format,
                      const std::string& listDiscUtf8, migrate::Importer& importer,
                      std::atomic<int>& discsDone, const std::atomic<bool>& stop,
                      ui::WhileRunning input)
{
    return ui::RunAside(
        [&] {
            Reading reading;
            try {
                migrate::Input file(path);
                reading.run = migrate::ImportCatalogue(
                    file, format, listDiscUtf8, importer,
                    [&](const migrate::DiscResult& result,
                        const std::vector<std::string>& problems) {
                        reading.problemsUtf8.insert(reading.problemsUtf8.end(), problems.begin(),
                                                    problems.end());
                        reading.totals.folders += result.totals.folders;
                        reading.totals.files += result.totals.files;
                        ++discsDone;
                    },
                    [&] { return stop.load(); });
            } catch (const migrate::ReadError& error) {
                // The file went or changed since it was chosen.
                reading.run.failureUtf8 = error.messageUtf8;
            }
            const auto& notes = reading.run.notes.problemsUtf8;
            reading.problemsUtf8.insert(reading.problemsUtf8.end(), notes.begin(), notes.end());
            return reading;
        },
        input);
}

// The problems of a reading as lines of a message.
std::string problemLines(const Reading& reading)
{
    const auto& problems = reading.problemsUtf8;
    std::string text = ui::MessageLines(problems);
    if (problems.size() > ui::MessageLinesShown) {
        text += " (共 " + std::to_string(problems.size()) + " 条)";
    }
    if (reading.run.failureUtf8) {
        text += "\r文件读取出错, 其后的部分不能导入: " + *reading.run.failureUtf8;
    }
    return text;
}

// What the file holds and the question whether to import it into the box.
std::string summaryQuestion(const std::string& fileUtf8, migrate::Format format,
                            const Reading& reading, const std::string& boxTextUtf8)
{
    std::string text = "文件 \"" + fileUtf8 + "\" (" + formatCaption(format) + ") 中有 " +
                       std::to_string(reading.run.discs) + " 张光盘, " +
                       catalog::TotalsText(reading.totals) + "。";
    if (!reading.problemsUtf8.empty() || reading.run.failureUtf8) {
        text += "\r\r发现以下问题:" + problemLines(reading);
    }
    if (reading.run.notes.sizesOrDates) {
        text += "\r\r文件中的大小和日期不在光盘记录中保存, 将略去。";
    }
    return text + "\r\r导入到光盘盒 \"" + boxTextUtf8 + "\" 吗?";
}

} // namespace

void Tmainform::importCatalogueClick()
{
    const int kind = nodeKind(selectedNode());
    if (kind != catalog::BoxNode::LibraryRoot && kind != catalog::BoxNode::Box) {
        return;
    }
    const auto chosen =
        m_services.dialogs.openFileName(m_services.documentsFolder, CatalogueFilter);
    if (!chosen) {
        return;
    }
    const std::string fileUtf8 = ui::fromNative(*chosen).toStdString();
    migrate::Format format = migrate::Format::List;
    try {
        const migrate::Input input(*chosen);
        format = migrate::DetectFormat(input, fileUtf8);
    } catch (const migrate::ReadError& error) {
        m_services.dialogs.message("无法读取 " + fileUtf8 + ": " + error.messageUtf8,
                                   MessageIcon::Error);
        return;
    }
    std::string listDiscUtf8 = std::filesystem::path(fileUtf8).stem().string();
    if (format == migrate::Format::List) {
        // A list of paths holds one disc and no name for it.
        const auto typed =
            m_services.dialogs.inputText("导入其他软件的光盘目录", "请输入光盘名称", listDiscUtf8);
        if (!typed) {
            return;
        }
        listDiscUtf8 = *typed;
    }

    const std::string boxPathGbk = boxPath();
    migrate::ImportTarget target;
    target.boxFolder = boxFolder();
    target.boxTextGbk = organize::BoxText(boxPathGbk);
    const platform::LocalDateTime now = m_services.clock.now();
    target.now =
        catalog::ToDayNumber({now.year, now.month, now.day, now.hour, now.minute, now.second});
    const std::string boxTextUtf8 = catalog::gbkToUtf8(
        withoutLastBackslash(std::string(catalog::LibraryRootCaption) + "\\" + boxPathGbk));

    std::atomic<int> discsDone{0};
    std::atomic<bool> stop{false};
    target.dryRun = true;
    Reading checked;
    {
        const WaitCursor wait;
        migrate::Importer dryRun(target);
        checked = readCatalogue(*chosen, format, listDiscUtf8, dryRun, discsDone, stop,
                                ui::WhileRunning::HoldUserInput);
    }
    if (checked.run.discs == 0) {
        m_services.dialogs.message("文件中没有可以导入的光盘。" + problemLines(checked),
                                   MessageIcon::Warning);
        return;
    }
    if (!m_services.dialogs.ask(summaryQuestion(fileUtf8, format, checked, boxTextUtf8),
                                MessageIcon::Question)) {
        return;
    }

    target.dryRun = false;
    // Asked on the import's thread; the window answers on its own.
    target.overwrite = [this](const std::string& questionUtf8) {
        bool yes = false;
        QMetaObject::invokeMethod(
            this, [&] { yes = askOverwrite(questionUtf8); }, Qt::BlockingQueuedConnection);
        return yes;
    };
    QProgressDialog progress(QStringLiteral("正在导入..."), QStringLiteral("中止"), 0,
                             checked.run.discs, this);
    progress.setObjectName(QStringLiteral("ImportProgress"));
    progress.setWindowTitle(QStringLiteral("导入其他软件的光盘目录"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.setValue(0);
    connect(&progress, &QProgressDialog::canceled, this, [&stop] { stop = true; });
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, this,
            [&] { progress.setValue(std::min(discsDone.load(), progress.maximum())); });
    ticker.start(100);
    discsDone = 0;
    Reading imported;
    try {
        migrate::Importer importer(target);
        imported = readCatalogue(*chosen, format, listDiscUtf8, importer, discsDone, stop,
                                 ui::WhileRunning::TakeUserInput);
    } catch (...) {
        // What was written before the failure stays, and the window shows it.
        progress.reset();
        refreshLibrary();
        throw;
    }
    ticker.stop();
    progress.reset();
    refreshLibrary();
    if (QTreeWidgetItem* box = findNodeByPath(boxPathGbk)) {
        m_boxTree->setCurrentItem(box);
    }
    const std::string count = "共导入 " + std::to_string(imported.run.discs) + " 张光盘。";
    if (imported.run.stopped) {
        m_services.dialogs.message("导入已中止！" + count, MessageIcon::Warning);
    } else if (imported.problemsUtf8.empty() && !imported.run.failureUtf8) {
        m_services.dialogs.message("导入完成！" + count, MessageIcon::Information);
    } else {
        m_services.dialogs.message("导入未能全部完成！" + count + "\r" + problemLines(imported),
                                   MessageIcon::Warning);
    }
}

} // namespace app
