#pragma once

#include "platform/documents_folder.h"

namespace platform::linux_edition {

// The XDG documents folder (xdg-user-dirs), else the home folder.
class XdgDocumentsFolder : public platform::DocumentsFolder
{
public:
    std::string path() const override;
};

} // namespace platform::linux_edition
