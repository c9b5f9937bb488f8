#pragma once

#include "platform/disc_source.h"

namespace platform::linux_edition {

// A mounted disc or a folder, read with POSIX directory calls.
class FolderDiscSource : public DiscSource
{
public:
    // root: native path ending in "/".
    explicit FolderDiscSource(std::string root) : m_root(std::move(root)) {}

    // A symbolic link counts as what it points to, except that a link to a folder outside
    // the disc, or to a folder on the way down to it, is listed as a file: following it
    // would walk the host's files or never end.
    bool list(const std::string& relativeUtf8, std::vector<DiscEntry>& entries) override;
    bool listKinds(const std::string& relativeUtf8, std::vector<DiscEntry>& entries) override;
    bool readFile(const std::string& relativeUtf8, std::string& content) override;

private:
    bool listFolder(const std::string& relativeUtf8, std::vector<DiscEntry>& entries,
                    bool withModes);
    void addEntry(const std::string& relativeUtf8, int fd, const char* rawName, unsigned char type,
                  bool withModes, std::vector<DiscEntry>& entries);
    bool linkMayBeEntered(const std::string& relativeUtf8, int folderFd, const char* name);

    std::string m_root;
    std::vector<char> m_buffer; // directory records, reused for every folder
};

} // namespace platform::linux_edition
