#pragma once

#include "platform/disc_source.h"

namespace platform::linux_edition {

// A mounted disc or a folder, read with POSIX directory calls.
class FolderDiscSource : public DiscSource
{
public:
    // root: native path ending in "/".
    explicit FolderDiscSource(std::string root) : m_root(std::move(root)) {}

    bool list(const std::string& relativeUtf8, std::vector<DiscEntry>& entries) override;
    bool readFile(const std::string& relativeUtf8, std::string& content) override;

private:
    std::string m_root;
};

} // namespace platform::linux_edition
