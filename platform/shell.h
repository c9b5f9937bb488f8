#pragma once

#include <string>

// Opening a file or folder with its associated application.
namespace platform {

enum class OpenResult { Opened, NotFound, NoApplication };

class Shell
{
public:
    virtual ~Shell() = default;
    // nativePath: a path on a disc in a drive (UTF-8).
    virtual OpenResult open(const std::string& nativePath) = 0;
};

} // namespace platform
