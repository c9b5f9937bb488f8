#pragma once

#include "platform/disc_source.h"

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace platform::linux_edition {

// A mounted disc or a folder, read with POSIX directory calls. Every folder is opened
// relative to its parent, so the length of a path on the disc is no limit.
class FolderDiscSource : public DiscSource
{
public:
    // root: native path ending in "/".
    explicit FolderDiscSource(std::string root);
    ~FolderDiscSource() override;
    FolderDiscSource(const FolderDiscSource&) = delete;
    FolderDiscSource& operator=(const FolderDiscSource&) = delete;

    // A symbolic link to a folder is listed as a folder; entering it is refused when its
    // folder lies outside the disc or was entered before on this walk, and the walk then
    // lists it as a file. Real folders are always entered. FIFOs, sockets, devices and
    // links to files are special: listed, never read.
    bool list(const std::string& relativeUtf8, std::vector<DiscEntry>& entries) override;
    bool listKinds(const std::string& relativeUtf8, std::vector<DiscEntry>& entries) override;
    bool enterFolder(const std::string& relativeUtf8) override;
    // Regular files only, never through a link as the last step, never waiting on a FIFO.
    bool readFile(const std::string& relativeUtf8, std::string& content) override;

    // The bytes of every regular file below the root. Links are not followed and each
    // folder counts once, so bind mounts cannot make the walk endless.
    std::uint64_t regularFileBytes();

    // From now on every listing of a folder reached without links adds the sizes of its
    // regular files, each folder once: a walk that lists every folder, as the standard
    // scan does, then gathers regularFileBytes() on its way at the cost of a call per file.
    // The sizes are read on a second thread only where a core is idle, unless told.
    enum class SizingThread { WhenACoreIsIdle, Never, Always };
    void countRegularBytes(SizingThread thread = SizingThread::WhenACoreIsIdle);
    // The sum so far; waits for the sizes still being read.
    std::uint64_t regularBytesCounted();

private:
    struct Level
    {
        std::size_t end = 0; // m_path.size() at this level
        int fd = -1;         // -1 while closed to spare descriptors on very deep walks
        dev_t device = 0;
        ino_t inode = 0;
        bool viaLink = false;   // reached through a symbolic link on the way down
        bool listed = false;    // read before: the next listing starts over
        bool countable = false; // its regular files are still to be counted
    };
    struct FolderId
    {
        dev_t device;
        ino_t inode;
        bool operator==(const FolderId&) const = default;
    };
    struct FolderIdHash
    {
        std::size_t operator()(const FolderId& id) const
        {
            return std::hash<ino_t>()(id.inode) ^ (std::hash<dev_t>()(id.device) << 1);
        }
    };

    bool listFolder(const std::string& relativeUtf8, std::vector<DiscEntry>& entries,
                    bool withModes);
    bool readEntries(Level& folder, std::vector<DiscEntry>& entries, bool withModes);
    void describe(int fd, const char* name, unsigned char type, bool withModes, DiscEntry& item);
    bool insideDisc(int folderFd) const;
    std::uint64_t sumTop(std::unordered_set<FolderId, FolderIdHash>& seen, std::size_t depth);

    // The open folder of a path below the root, walking down from the deepest open level
    // that leads to it; -1 when it cannot be opened.
    int folderFd(std::string_view relativeUtf8);
    bool openRoot();
    int openChild(const char* name, bool& link) const;
    bool push(std::string_view name, int fd, bool link);
    void pop();
    void closeLevel(int fd);
    void reopen(std::size_t index, int childFd);
    std::string_view levelName(std::size_t index) const;

    std::string m_root;
    std::string m_path;          // relative path of the deepest level
    std::vector<Level> m_levels; // [0] is the root
    std::size_t m_firstOpen = 1; // levels 1 .. m_firstOpen - 1 are closed
    // Folders entered on this walk; true once their files were counted.
    std::unordered_map<FolderId, bool, FolderIdHash> m_entered;
    std::vector<char> m_buffer;            // directory records, reused for every folder
    std::vector<std::string> m_subFolders; // names per depth, for regularFileBytes
    class SizeCounter;
    std::unique_ptr<SizeCounter> m_sizes; // set while counting
};

} // namespace platform::linux_edition
