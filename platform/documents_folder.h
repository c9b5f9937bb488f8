#pragma once

#include <string>

namespace platform {

// The user's documents folder (native path ending in "/").
class DocumentsFolder
{
public:
    virtual ~DocumentsFolder() = default;
    virtual std::string path() const = 0;
};

} // namespace platform
