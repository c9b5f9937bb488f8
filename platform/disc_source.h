#pragma once

#include <string>
#include <vector>

// The folder tree of the disc in a drive, as the scanner reads it: a mounted disc or a
// folder, or an ISO 9660 image read without mounting. Paths below the disc root are
// UTF-8 names joined by "/"; "" is the root.
namespace platform {

struct DiscEntry
{
    std::string nameUtf8; // as the file system or the image holds it (long names)
    bool isFolder = false;
    bool hidden = false;   // name begins with "." or the image marks it hidden
    bool readOnly = false; // no write permission; every entry of an image
    bool system = false;   // never set on Linux
    bool archive = false;  // never set on Linux
    // Neither a folder nor a regular file (a FIFO, socket, device or link to a file):
    // listed as a file, never read.
    bool special = false;
};

class DiscSource
{
public:
    virtual ~DiscSource() = default;

    // Every entry of one folder, sorted by name bytes; false (and no entries) when the
    // folder cannot be listed.
    virtual bool list(const std::string& relativeUtf8, std::vector<DiscEntry>& entries) = 0;
    // As list, but readOnly may stay false: for walks that need only names and kinds,
    // where reading every entry's permissions would cost a call per entry.
    virtual bool listKinds(const std::string& relativeUtf8, std::vector<DiscEntry>& entries)
    {
        return list(relativeUtf8, entries);
    }
    // Called by a walk before it goes into a folder entry it listed;
    // false when the entry is a link that the walk lists as a file instead (its folder
    // lies outside the disc or was entered before). A walk enters the root ("") first,
    // which starts it anew.
    virtual bool enterFolder(const std::string& relativeUtf8)
    {
        (void)relativeUtf8;
        return true;
    }
    // The whole content of a regular file; false when it cannot be read.
    virtual bool readFile(const std::string& relativeUtf8, std::string& content) = 0;
};

} // namespace platform
