// Vellumark's entry. The main window is not built yet: until it is, the program finds or
// creates the library and says where it is.

#include "app/gbk_text.h"
#include "catalog/library.h"
#include "platform/linux/keyfile_settings_store.h"
#include "platform/linux/xdg_paths.h"

#include <QApplication>
#include <QMessageBox>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vellumark 1.32"));
    namespace linux_edition = platform::linux_edition;
    try {
        const linux_edition::KeyFileSettingsStore settings(linux_edition::settingsFile());
        const std::string root =
            catalog::ResolveLibraryRoot(settings, linux_edition::defaultLibraryRoot());
        QMessageBox::information(nullptr, QStringLiteral("Vellumark 1.32"),
                                 QStringLiteral("光盘库: ") + QString::fromStdString(root));
    } catch (const std::exception& error) {
        QMessageBox::critical(nullptr, QStringLiteral("Vellumark 1.32"),
                              QString::fromUtf8(error.what()));
        return 1;
    }
    return 0;
}
