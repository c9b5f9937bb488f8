#include "platform/qt/qt_shell.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace platform::qt_edition {

OpenResult QtShell::open(const std::string& nativePath)
{
    const QString path = QString::fromStdString(nativePath);
    // A path that is not there means the disc is not in its drive.
    if (!QFileInfo::exists(path)) {
        return OpenResult::NotFound;
    }
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path)) ? OpenResult::Opened
                                                                : OpenResult::NoApplication;
}

} // namespace platform::qt_edition
