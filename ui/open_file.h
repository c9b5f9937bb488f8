#pragma once

#include "platform/shell.h"
#include "platform/user_dialogs.h"
#include "ui/gbk_text.h"

#include <string>

namespace ui {

// Opens a file or folder of the machine (the program's readme, an output) with the
// application the desktop gives it. When it is gone or nothing can open it, a warning
// names it: whatUtf8 says what it is ("说明文件"). True when it was opened.
inline bool openWithApplication(platform::Shell& shell, platform::UserDialogs& dialogs,
                                const std::string& nativePath, const std::string& whatUtf8)
{
    const platform::OpenResult result = shell.open(nativePath);
    if (result == platform::OpenResult::Opened) {
        return true;
    }
    const std::string shown = fromNative(nativePath).toStdString();
    dialogs.message(result == platform::OpenResult::NotFound
                        ? "找不到" + whatUtf8 + "：\r" + shown
                        : "没有可以打开" + whatUtf8 + "的程序：\r" + shown,
                    platform::MessageIcon::Warning);
    return false;
}

} // namespace ui
