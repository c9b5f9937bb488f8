#pragma once

#include "platform/shell.h"

namespace platform::qt_edition {

// Opens paths with the desktop's associated application (QDesktopServices).
class QtShell : public Shell
{
public:
    OpenResult open(const std::string& nativePath) override;
};

} // namespace platform::qt_edition
