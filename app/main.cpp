// Vellumark's entry: one running instance, the main window, the message loop.

#include "app/application.h"
#include "app/mainunit.h"
#include "platform/linux/keyfile_settings_store.h"
#include "platform/linux/linux_drives.h"
#include "platform/linux/process_memory.h"
#include "platform/linux/system_clock.h"
#include "platform/linux/xdg_documents_folder.h"
#include "platform/linux/xdg_paths.h"
#include "platform/qt/media_watcher.h"
#include "platform/qt/qt_printing.h"
#include "platform/qt/qt_shell.h"
#include "platform/qt/qt_user_dialogs.h"
#include "platform/qt/single_instance.h"
#include "settings/PWDUnit.h"

int main(int argc, char** argv)
{
    platform::linux_edition::KeepFreedMemory();
    app::Application application(argc, argv);
    namespace linux_edition = platform::linux_edition;
    namespace qt_edition = platform::qt_edition;

    qt_edition::QtUserDialogs dialogs;
    qt_edition::SingleInstance instance;
    if (!instance.acquire()) {
        dialogs.messageWithCaption("错误", "Vellumark 已经运行!", platform::MessageIcon::Error);
        return 0;
    }
    application.setErrorReport([&dialogs](const std::string& text) {
        dialogs.message(text, platform::MessageIcon::Error);
    });

    try {
        linux_edition::KeyFileSettingsStore settings(linux_edition::settingsFile());
        linux_edition::LinuxDrives drives(settings);
        const linux_edition::SystemClock clock;
        const linux_edition::XdgDocumentsFolder documents;
        qt_edition::QtShell shell;
        qt_edition::QtPrinting printing;
        app::Tmainform mainForm({settings, drives, dialogs, clock, shell,
                                 linux_edition::defaultLibraryRoot(), documents.path(), &printing,
                                 linux_edition::cacheFolder()});
        dialogs.setParent(&mainForm);
        qt_edition::MediaWatcher mediaWatcher;
        QObject::connect(&mediaWatcher, &qt_edition::MediaWatcher::mediaChanged, &mainForm,
                         &app::Tmainform::mediaChanged);
        // The window is built but stays hidden until the start-up password is given.
        if (!settings::AskStartupPassword(settings)) {
            return 0;
        }
        mainForm.show();
        return QApplication::exec();
    } catch (const std::exception& error) {
        // Without a library the program cannot go on.
        dialogs.message(error.what(), platform::MessageIcon::Error);
        return 1;
    }
}
