// Maintenance commands of the main toolbar: importing records from another folder tree
// and backing the library up into a chosen folder.

#include "app/mainunit_shared.h"
#include "catalog/disk.h"
#include "maintenance/maintenance.h"
#include "ui/message_lines.h"
#include "ui/run_aside.h"

#include <QFile>
#include <QTimer>

#include <atomic>

namespace app {

namespace {

// How often the status panel shows the count of a copy.
constexpr int ProgressIntervalMs = 100;

// The counts of a copy running aside, written by the copy and read by the window.
class CopyProgress
{
public:
    maintenance::CopyHooks hooks()
    {
        return {[this](long long total) { m_total = total; }, [this] { ++m_done; }};
    }
    // "N/M 个文件" once the files are counted.
    QString text() const
    {
        const long long total = m_total;
        return total < 0 ? QString()
                         : QStringLiteral(" %1/%2 个文件").arg(m_done.load()).arg(total);
    }

private:
    std::atomic<long long> m_total{-1};
    std::atomic<long long> m_done{0};
};

// Runs work aside while the window repaints; tick shows its progress now and then.
template <typename Work> auto copyAside(Work work, const std::function<void()>& tick)
{
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, tick);
    ticker.start(ProgressIntervalMs);
    return ui::RunAside(std::move(work));
}

// The folder browser, shown again after each folder refused with refusal; the chosen
// folder ending in "/", or nothing when the browser was cancelled.
std::optional<std::string>
chooseUsableFolder(platform::UserDialogs& dialogs, const std::string& prompt,
                   const std::string& refusal,
                   const std::function<bool(const std::string&)>& refused)
{
    for (;;) {
        const auto chosen = dialogs.chooseFolder(prompt, {});
        if (!chosen) {
            return std::nullopt;
        }
        std::string folder = catalog::WithSlash(*chosen);
        if (!refused(folder)) {
            return folder;
        }
        dialogs.message(refusal, MessageIcon::Warning);
    }
}

// What a copy left out: the files that could not be copied and the items whose names
// GBK cannot hold. Empty when everything was copied.
std::string copyLosses(const maintenance::CopyCounts& counts)
{
    std::string text;
    if (counts.filesNotCopied > 0) {
        text += "有 " + std::to_string(counts.filesNotCopied) + " 个文件未能复制！";
    }
    if (!counts.skippedUtf8.empty()) {
        text +=
            (text.empty() ? "" : "\r\r") + std::string("以下项目的名称不能以 GBK 保存, 已跳过:");
        text += ui::MessageLines(counts.skippedUtf8);
    }
    return text;
}

} // namespace

void Tmainform::toploadClick()
{
    // Neither the library, nor a folder inside it, nor one that holds it: the copy must
    // never read what it writes.
    const auto chosen =
        chooseUsableFolder(m_services.dialogs, "请选择要导入的源文件夹",
                           maintenance::ImportRefusalMessage(), [this](const std::string& folder) {
                               return maintenance::ImportRefused(m_libraryRoot, folder);
                           });
    if (!chosen) {
        return;
    }
    const std::string& source = *chosen;
    if (!m_services.dialogs.ask("确定将 \"" + ui::fromNative(source).toStdString() +
                                    " \"子目录下所有的光盘\r导入到 \"Orlendy\"",
                                MessageIcon::Question)) {
        return;
    }
    const QString importing = QStringLiteral("正在导入...");
    m_statusBar4->setPanelText(0, importing);
    repaint();
    maintenance::CopyCounts counts;
    const std::string root = m_libraryRoot;
    CopyProgress progress;
    // What was copied before a failure stays, and the window shows it.
    try {
        const WaitCursor wait;
        counts =
            copyAside([&] { return maintenance::ImportRecords(root, source, progress.hooks()); },
                      [&] { m_statusBar4->setPanelText(0, importing + progress.text()); });
    } catch (...) {
        m_statusBar4->setPanelText(0, {});
        refreshLibrary();
        throw;
    }
    m_statusBar4->setPanelText(0, {});
    refreshLibrary();
    const std::string imported = "共导入 " + catalog::decimal(counts.cdsCopied) + " 张光盘。";
    const std::string losses = copyLosses(counts);
    if (losses.empty()) {
        m_services.dialogs.message("导入完成！" + imported, MessageIcon::Information);
    } else {
        m_services.dialogs.message("导入未能全部完成！" + imported + "\r\r" + losses,
                                   MessageIcon::Warning);
    }
}

void Tmainform::ToolButton20Click()
{
    const auto chosen =
        chooseUsableFolder(m_services.dialogs, "你要备份到哪里？",
                           maintenance::BackupRefusalMessage(), [this](const std::string& folder) {
                               return maintenance::BackupRefused(m_libraryRoot, folder);
                           });
    if (!chosen) {
        return;
    }
    const std::string& target = *chosen;
    if (!m_services.dialogs.ask("确定要将所有光盘备份到.. \"" +
                                    ui::fromNative(target).toStdString() + "\"",
                                MessageIcon::Question)) {
        return;
    }
    maintenance::BackupCounts counts;
    {
        const QString saved = m_statusBar4->panelText(0);
        const QString backingUp = QStringLiteral("正在备份...");
        m_statusBar4->setPanelText(0, backingUp);
        repaint();
        const auto restore = qScopeGuard([&] { m_statusBar4->setPanelText(0, saved); });
        const WaitCursor wait;
        const std::string root = m_libraryRoot;
        CopyProgress progress;
        counts =
            copyAside([&] { return maintenance::BackupLibrary(root, target, progress.hooks()); },
                      [&] { m_statusBar4->setPanelText(0, backingUp + progress.text()); });
    }
    const std::string utf8Note =
        counts.namesInUtf8 ? "\r\r目标不接受 GBK 文件名, 文件名以 UTF-8 保存" : "";
    const std::string losses = copyLosses(counts);
    if (losses.empty()) {
        m_services.dialogs.message("备份完成！请妥善保存！" + utf8Note, MessageIcon::Information);
    } else {
        // A backup that left files out must not read as a full one.
        m_services.dialogs.message("备份未能全部完成！\r\r" + losses + utf8Note,
                                   MessageIcon::Warning);
    }
}

void Tmainform::ToolButton1Click()
{
    const int kind = nodeKind(selectedNode());
    m_reIconForm->setReIconBoxPath(
        kind == catalog::BoxNode::LibraryRoot || kind == catalog::BoxNode::Box ? boxPath()
                                                                               : std::string());
    m_reIconForm->setLibraryRoot(m_libraryRoot);
    m_reIconForm->exec();
    if (!m_reIconForm->done()) {
        return;
    }
    if (QTreeWidgetItem* box = findNodeByPath(m_reIconForm->reIconBoxPath())) {
        box->setExpanded(true);
        m_boxTree->setCurrentItem(box);
    }
}

} // namespace app
