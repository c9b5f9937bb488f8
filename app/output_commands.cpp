// Output commands of the main window: the shown CD's tree as a text file, an HTML
// document or a printout, and the batch output dialog.

#include "app/mainunit_shared.h"
#include "ui/open_file.h"

#include <cerrno>

namespace app {

std::string Tmainform::shownListing() const
{
    const bool foundFolder = m_list->selectedRow() >= 0 &&
                             m_list->kind(m_list->selectedRow()) == catalog::ListItem::FoundFolder;
    const char* extension = foundFolder ? ".FID" : ".Cdr";
    const std::string listing =
        catalog::FindRecordFile(m_shownFiles.folder, m_shownFiles.name, extension);
    if (listing.empty()) {
        catalog::throwFileError(m_shownFiles.folder + m_shownFiles.name + extension, ENOENT);
    }
    return listing;
}

void Tmainform::outputShownCd(output::Style style)
{
    if (m_shownFiles.folder.empty()) {
        return;
    }
    const bool text = style == output::Style::Text;
    const auto selected = m_list->selectedRows();
    const std::string captionGbk =
        selected.empty() ? m_shownRecordGbk : m_list->caption(selected.front());
    const auto chosen = m_services.dialogs.saveFileName(
        m_services.documentsFolder, shownUtf8(captionGbk),
        text ? "文本文件(*.TXT) (*.txt)" : "HTML文档(*.HTM) (*.htm)");
    if (!chosen) {
        return;
    }
    const std::string target = output::WithOutputExtension(*chosen, style);
    // The save dialog asked about the name typed; with the extension added it is another
    // file, which may be the user's own.
    if (target != *chosen && catalog::PathExists(target) &&
        !m_services.dialogs.ask(target.substr(target.rfind('/') + 1) + " 已存在。\r要替换它吗？",
                                MessageIcon::Warning, platform::UserDialogs::Default::No)) {
        return;
    }
    {
        const QString saved = m_statusBar4->panelText(0);
        m_statusBar4->setPanelText(0, text ? QStringLiteral("正在输出文本...请稍候")
                                           : QStringLiteral("正在输出HTML文档...请稍候"));
        m_statusBar4->repaint();
        // The status text and the cursor come back however the writing ends.
        const auto restore = qScopeGuard([&] { m_statusBar4->setPanelText(0, saved); });
        const WaitCursor wait;
        const std::string listing = shownListing();
        if (text) {
            output::WriteTreeText(listing, target);
        } else {
            output::WriteTreeHtml(listing, target);
        }
    }
    m_services.dialogs.message(text ? "输出完成！" : "输出完毕！", MessageIcon::Information);
    if (m_expForm->openAfterOutput()) {
        ui::openWithApplication(m_services.shell, m_services.dialogs, target, "输出文件");
    }
}

void Tmainform::N19Click()
{
    outputShownCd(output::Style::Text);
}

void Tmainform::HTML1Click()
{
    outputShownCd(output::Style::Html);
}

void Tmainform::N17Click()
{
    if (m_shownFiles.folder.empty()) {
        return;
    }
    if (m_services.printing == nullptr || !m_services.printing->hasPrinter()) {
        m_services.dialogs.message("您没有打印机!无法打印！", MessageIcon::Error);
        return;
    }
    if (!m_services.dialogs.ask("Vellumark 不推荐 您直接在系统里打印！\r\r"
                                "而是推荐您输出为文本或HTML后打印！\r\r"
                                "确认要在Vellumark里打印？",
                                MessageIcon::Warning)) {
        return;
    }
    const QString saved = m_statusBar4->panelText(0);
    m_statusBar4->setPanelText(0, QStringLiteral("正在准备打印...请稍候"));
    m_statusBar4->repaint();
    const auto restore = qScopeGuard([&] { m_statusBar4->setPanelText(0, saved); });
    const WaitCursor wait;
    output::PrintListing(*m_services.printing, shownListing());
}

void Tmainform::ToolButton5Click()
{
    const int kind = nodeKind(selectedNode());
    m_expForm->setExpStartPath(
        kind == catalog::BoxNode::LibraryRoot || kind == catalog::BoxNode::Box ? boxPath()
                                                                               : std::string());
    m_expForm->setLibraryRoot(m_libraryRoot);
    m_expForm->exec();
    if (!m_expForm->done()) {
        return;
    }
    if (QTreeWidgetItem* box = findNodeByPath(m_expForm->expStartPath())) {
        box->setExpanded(true);
        m_boxTree->setCurrentItem(box);
    }
}

} // namespace app
