#include "platform/qt/qt_user_dialogs.h"

#include "ui/folder_chooser.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QInputDialog>
#include <QMessageBox>

namespace platform::qt_edition {

namespace {

// Set here rather than as the application's display name, which Qt would append to the
// title of every window.
QString applicationTitle()
{
    return QStringLiteral("Vellumark 1.32");
}

QMessageBox::Icon boxIcon(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::Warning:
        return QMessageBox::Warning;
    case MessageIcon::Error:
        return QMessageBox::Critical;
    case MessageIcon::Question:
        return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

QString screenText(const std::string& textUtf8)
{
    QString text = QString::fromUtf8(textUtf8.data(), static_cast<qsizetype>(textUtf8.size()));
    // CR LF is one break, a lone CR is one too.
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

// A box with a short text is narrower than its title bar needs; the window manager
// would cut the title. The box's own layout sets its size, so a spacer widens it.
void keepTitleWhole(QMessageBox& box)
{
    auto* layout = qobject_cast<QGridLayout*>(box.layout());
    if (layout == nullptr) {
        return;
    }
    // Room for the title, the window icon and the title bar's buttons.
    const int width = box.fontMetrics().horizontalAdvance(box.windowTitle()) + 160;
    layout->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                    layout->rowCount(), 0, 1, layout->columnCount());
}

int show(QWidget* parent, const QString& caption, const std::string& text, MessageIcon icon,
         QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton)
{
    QMessageBox box(boxIcon(icon), caption, screenText(text), buttons, parent);
    box.setTextFormat(Qt::PlainText);
    keepTitleWhole(box);
    box.setDefaultButton(defaultButton);
    return box.exec();
}

} // namespace

void QtUserDialogs::message(const std::string& text, MessageIcon icon)
{
    show(m_parent, applicationTitle(), text, icon, QMessageBox::Ok, QMessageBox::Ok);
}

bool QtUserDialogs::ask(const std::string& text, MessageIcon icon, Default preferred)
{
    return show(m_parent, applicationTitle(), text, icon, QMessageBox::Yes | QMessageBox::No,
                preferred == Default::Yes ? QMessageBox::Yes : QMessageBox::No) == QMessageBox::Yes;
}

std::optional<std::string> QtUserDialogs::inputText(const std::string& caption,
                                                    const std::string& prompt,
                                                    const std::string& initial)
{
    bool accepted = false;
    const QString text =
        QInputDialog::getText(m_parent, QString::fromStdString(caption), screenText(prompt),
                              QLineEdit::Normal, QString::fromStdString(initial), &accepted);
    if (!accepted) {
        return std::nullopt;
    }
    return text.toStdString();
}

void QtUserDialogs::messageWithCaption(const std::string& caption, const std::string& text,
                                       MessageIcon icon)
{
    show(m_parent, QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size())), text,
         icon, QMessageBox::Ok, QMessageBox::Ok);
}

std::optional<std::string> QtUserDialogs::saveFileName(const std::string& folder,
                                                       const std::string& fileName,
                                                       const std::string& filter)
{
    QFileDialog dialog(m_parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDirectory(QFile::decodeName(QByteArray::fromStdString(folder)));
    dialog.setNameFilter(QString::fromStdString(filter));
    dialog.selectFile(QString::fromStdString(fileName));
    // Asking before an existing file is overwritten is the dialog's default.
    while (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        const QString chosen = dialog.selectedFiles().front();
        if (QFileInfo(QFileInfo(chosen).absolutePath()).isDir()) {
            return QFile::encodeName(chosen).toStdString();
        }
        QMessageBox::warning(
            &dialog, applicationTitle(),
            QStringLiteral("%1\n路径不存在。").arg(QFileInfo(chosen).absolutePath()));
    }
    return std::nullopt;
}

std::optional<std::string> QtUserDialogs::openFileName(const std::string& folder,
                                                       const std::string& filter)
{
    QFileDialog dialog(m_parent);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDirectory(QFile::decodeName(QByteArray::fromStdString(folder)));
    dialog.setNameFilters(QString::fromStdString(filter).split(QStringLiteral(";;")));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return QFile::encodeName(dialog.selectedFiles().front()).toStdString();
}

std::optional<std::string> QtUserDialogs::chooseFolder(const std::string& prompt,
                                                       const std::string& startFolder)
{
    // Not QFileDialog: it never lists a folder whose name is not UTF-8, the library's
    // boxes among them.
    return ui::FolderChooser::choose(m_parent, prompt, startFolder);
}

} // namespace platform::qt_edition
