#include "platform/linux/folder_disc_source.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <string_view>

namespace platform::linux_edition {
namespace {

struct Closer
{
    int fd;
    ~Closer() { ::close(fd); }
};

struct FreeChars
{
    void operator()(char* text) const { std::free(text); }
};

// A path below the root never climbs out of it.
bool safeRelative(std::string_view relative)
{
    std::size_t start = 0;
    while (start <= relative.size()) {
        auto slash = relative.find('/', start);
        if (slash == std::string_view::npos) {
            slash = relative.size();
        }
        if (relative.substr(start, slash - start) == "..") {
            return false;
        }
        start = slash + 1;
    }
    return relative.empty() || relative.front() != '/';
}

std::string realPath(const std::string& path)
{
    const std::unique_ptr<char, FreeChars> resolved(::realpath(path.c_str(), nullptr));
    return resolved ? std::string(resolved.get()) : std::string();
}

} // namespace

bool FolderDiscSource::list(const std::string& relativeUtf8, std::vector<DiscEntry>& entries)
{
    return listFolder(relativeUtf8, entries, true);
}

bool FolderDiscSource::listKinds(const std::string& relativeUtf8, std::vector<DiscEntry>& entries)
{
    return listFolder(relativeUtf8, entries, false);
}

bool FolderDiscSource::listFolder(const std::string& relativeUtf8, std::vector<DiscEntry>& entries,
                                  bool withModes)
{
    entries.clear();
    if (!safeRelative(relativeUtf8)) {
        return false;
    }
    const std::string path = m_root + relativeUtf8;
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const Closer closer{fd};
    // getdents64 into one reused buffer: opendir would add a stat and an allocation per
    // folder, which is a tenth of a scan.
    m_buffer.resize(1 << 16);
    for (;;) {
        const ssize_t got = ::getdents64(fd, m_buffer.data(), m_buffer.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            entries.clear();
            return false;
        }
        if (got == 0) {
            break;
        }
        // Records take about 32 bytes: one allocation for the usual folder.
        entries.reserve(entries.size() + static_cast<std::size_t>(got) / 24);
        for (ssize_t offset = 0; offset < got;) {
            const auto* entry = reinterpret_cast<const dirent64*>(m_buffer.data() + offset);
            offset += entry->d_reclen;
            addEntry(relativeUtf8, fd, entry->d_name, entry->d_type, withModes, entries);
        }
    }
    std::sort(entries.begin(), entries.end(),
              [](const DiscEntry& a, const DiscEntry& b) { return a.nameUtf8 < b.nameUtf8; });
    return true;
}

void FolderDiscSource::addEntry(const std::string& relativeUtf8, int fd, const char* rawName,
                                unsigned char type, bool withModes, std::vector<DiscEntry>& entries)
{
    const std::string_view name(rawName);
    if (name == "." || name == "..") {
        return;
    }
    DiscEntry& item = entries.emplace_back();
    item.nameUtf8 = name;
    item.hidden = name.front() == '.';
    if (!withModes && type != DT_UNKNOWN && type != DT_LNK) {
        // d_type is enough for names and kinds: no call per entry.
        item.isFolder = type == DT_DIR;
        return;
    }
    struct stat info = {};
    if (::fstatat(fd, rawName, &info, 0) != 0 &&
        ::fstatat(fd, rawName, &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return; // vanished meanwhile: a file without attributes
    }
    item.isFolder = S_ISDIR(info.st_mode);
    // Mode bits, not access(): root may write everything, yet the disc's file is still
    // read-only.
    item.readOnly = (info.st_mode & S_IWUSR) == 0;
    if (item.isFolder && type != DT_DIR && !linkMayBeEntered(relativeUtf8, fd, rawName)) {
        item.isFolder = false;
    }
}

bool FolderDiscSource::linkMayBeEntered(const std::string& relativeUtf8, int folderFd,
                                        const char* name)
{
    struct stat link = {};
    if (::fstatat(folderFd, name, &link, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISLNK(link.st_mode)) {
        return true; // a real folder seen through DT_UNKNOWN
    }
    const std::string root = realPath(m_root);
    std::string linkPath = m_root + relativeUtf8;
    if (!relativeUtf8.empty()) {
        linkPath += '/';
    }
    const std::string target = realPath(linkPath + name);
    const bool inside =
        target == root || root == "/" || (target.starts_with(root) && target[root.size()] == '/');
    if (root.empty() || target.empty() || !inside) {
        return false;
    }
    struct stat targetInfo = {};
    if (::stat(target.c_str(), &targetInfo) != 0) {
        return false;
    }
    // The folders on the way down, by device and inode: a link back to one of them loops.
    std::string way = m_root;
    std::size_t start = 0;
    for (;;) {
        struct stat step = {};
        if (::stat(way.c_str(), &step) == 0 && step.st_dev == targetInfo.st_dev &&
            step.st_ino == targetInfo.st_ino) {
            return false;
        }
        if (start >= relativeUtf8.size()) {
            break;
        }
        auto slash = relativeUtf8.find('/', start);
        if (slash == std::string::npos) {
            slash = relativeUtf8.size();
        }
        if (way.back() != '/') {
            way += '/';
        }
        way.append(relativeUtf8, start, slash - start);
        start = slash + 1;
    }
    return true;
}

bool FolderDiscSource::readFile(const std::string& relativeUtf8, std::string& content)
{
    content.clear();
    if (relativeUtf8.empty() || !safeRelative(relativeUtf8)) {
        return false;
    }
    const int fd = ::open((m_root + relativeUtf8).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat info = {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return false;
    }
    content.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            ::close(fd);
            content.clear();
            return false;
        }
        if (got == 0) {
            break;
        }
        content.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return true;
}

} // namespace platform::linux_edition
