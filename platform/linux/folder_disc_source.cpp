#include "platform/linux/folder_disc_source.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace platform::linux_edition {
namespace {

constexpr int FolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

// Folders kept open on the way down; deeper ones are closed and found again through "..",
// so a deep disc cannot use up the process's file descriptors.
constexpr std::size_t MaxOpenLevels = 96;

struct Closer
{
    int fd;
    ~Closer()
    {
        if (fd >= 0) {
            ::close(fd);
        }
    }
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

bool leadsTo(std::string_view path, std::string_view relative)
{
    return path.empty() || relative == path ||
           (relative.starts_with(path) && relative[path.size()] == '/');
}

// "A/B/c" -> "A/B" and "c".
std::pair<std::string_view, std::string> splitLast(std::string_view relative)
{
    const auto slash = relative.rfind('/');
    if (slash == std::string_view::npos) {
        return {std::string_view(), std::string(relative)};
    }
    return {relative.substr(0, slash), std::string(relative.substr(slash + 1))};
}

bool validName(std::string_view name)
{
    return !name.empty() && name != "." && name != "..";
}

// Calls visit(name, d_type) for every record of the open folder but "." and "..", reading
// with getdents64 into one reused buffer (opendir would cost a stat and an allocation per
// folder). False when the folder cannot be read.
template <typename Visit> bool forEachRecord(int fd, std::vector<char>& buffer, Visit visit)
{
    if (::lseek(fd, 0, SEEK_SET) != 0) {
        return false;
    }
    buffer.resize(1 << 16);
    for (;;) {
        const ssize_t got = ::getdents64(fd, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return got == 0;
        }
        for (ssize_t offset = 0; offset < got;) {
            const auto* record = reinterpret_cast<const dirent64*>(buffer.data() + offset);
            offset += record->d_reclen;
            const char* name = record->d_name;
            if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) {
                continue;
            }
            visit(name, record->d_type);
        }
    }
}

} // namespace

FolderDiscSource::FolderDiscSource(std::string root) : m_root(std::move(root)) {}

FolderDiscSource::~FolderDiscSource()
{
    for (const Level& level : m_levels) {
        if (level.fd >= 0) {
            ::close(level.fd);
        }
    }
}

bool FolderDiscSource::openRoot()
{
    const int fd = ::open(m_root.c_str(), FolderFlags);
    struct stat info = {};
    if (fd < 0 || ::fstat(fd, &info) != 0) {
        Closer closer{fd};
        return false;
    }
    m_path.clear();
    m_levels.push_back({0, fd, info.st_dev, info.st_ino});
    m_firstOpen = 1;
    return true;
}

bool FolderDiscSource::push(std::string_view name, int fd)
{
    struct stat info = {};
    if (::fstat(fd, &info) != 0) {
        ::close(fd);
        return false;
    }
    if (m_levels.size() - m_firstOpen >= MaxOpenLevels) {
        ::close(m_levels[m_firstOpen].fd);
        m_levels[m_firstOpen].fd = -1;
        ++m_firstOpen;
    }
    if (!m_path.empty()) {
        m_path += '/';
    }
    m_path += name;
    m_levels.push_back({m_path.size(), fd, info.st_dev, info.st_ino});
    return true;
}

void FolderDiscSource::pop()
{
    const Level child = m_levels.back();
    m_levels.pop_back();
    const std::size_t top = m_levels.size() - 1;
    if (top >= 1 && top < m_firstOpen) {
        reopen(top, child.fd);
        m_firstOpen = top;
    }
    Closer closer{child.fd};
    m_path.resize(m_levels.back().end);
}

std::string_view FolderDiscSource::levelName(std::size_t index) const
{
    const std::size_t start = index == 1 ? 0 : m_levels[index - 1].end + 1;
    return std::string_view(m_path).substr(start, m_levels[index].end - start);
}

void FolderDiscSource::reopen(std::size_t index, int childFd)
{
    Level& level = m_levels[index];
    struct stat info = {};
    int fd = childFd >= 0 ? ::openat(childFd, "..", FolderFlags) : -1;
    if (fd >= 0 && ::fstat(fd, &info) == 0 && info.st_dev == level.device &&
        info.st_ino == level.inode) {
        level.fd = fd;
        return;
    }
    Closer wrong{fd};
    // The child was reached through a link, so its ".." is elsewhere: walk down by name.
    fd = ::dup(m_levels[0].fd);
    for (std::size_t i = 1; fd >= 0 && i <= index; ++i) {
        const int next = ::openat(fd, std::string(levelName(i)).c_str(), FolderFlags);
        ::close(fd);
        fd = next;
    }
    level.fd = fd; // -1 when the folder is gone: it cannot be listed any more
}

int FolderDiscSource::folderFd(std::string_view relative)
{
    if (!safeRelative(relative) || (m_levels.empty() && !openRoot())) {
        return -1;
    }
    while (m_levels.size() > 1 && !leadsTo(m_path, relative)) {
        pop();
    }
    std::size_t start = m_path.size();
    while (start < relative.size()) {
        auto slash = relative.find('/', start);
        if (slash == std::string_view::npos) {
            slash = relative.size();
        }
        const std::string_view name = relative.substr(start, slash - start);
        start = slash + 1;
        if (name.empty() || name == ".") {
            continue;
        }
        const int top = m_levels.back().fd;
        const int fd = top < 0 ? -1 : ::openat(top, std::string(name).c_str(), FolderFlags);
        if (fd < 0 || !push(name, fd)) {
            return -1;
        }
    }
    return m_levels.back().fd;
}

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
    const int fd = folderFd(relativeUtf8);
    if (fd < 0 || !readEntries(fd, entries, withModes)) {
        entries.clear();
        return false;
    }
    std::sort(entries.begin(), entries.end(),
              [](const DiscEntry& a, const DiscEntry& b) { return a.nameUtf8 < b.nameUtf8; });
    return true;
}

// Reuses the entries already in the vector, so that a walk that keeps one vector per depth
// allocates nothing for names it has seen the like of.
bool FolderDiscSource::readEntries(int fd, std::vector<DiscEntry>& entries, bool withModes)
{
    std::size_t count = 0;
    const bool read = forEachRecord(fd, m_buffer, [&](const char* name, unsigned char type) {
        if (count == entries.size()) {
            entries.emplace_back();
        }
        DiscEntry& item = entries[count++];
        item.nameUtf8.assign(name);
        describe(fd, name, type, withModes, item);
    });
    entries.resize(count);
    return read;
}

void FolderDiscSource::describe(int fd, const char* name, unsigned char type, bool withModes,
                                DiscEntry& item)
{
    item.hidden = name[0] == '.';
    item.isFolder = type == DT_DIR;
    item.special = type != DT_DIR && type != DT_REG;
    item.readOnly = false;
    item.system = false;
    item.archive = false;
    if (!withModes && type != DT_UNKNOWN && type != DT_LNK) {
        return; // d_type is enough for names and kinds: no call per entry
    }
    struct stat info = {};
    if (::fstatat(fd, name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return; // vanished meanwhile: a file without attributes
    }
    const bool link = S_ISLNK(info.st_mode);
    if (link && ::fstatat(fd, name, &info, 0) != 0) {
        item.isFolder = false;
        item.special = true; // a dangling link
        return;
    }
    item.isFolder = S_ISDIR(info.st_mode);
    item.special = !item.isFolder && (link || !S_ISREG(info.st_mode));
    // Mode bits, not access(): root may write everything, yet the disc's file is still
    // read-only.
    item.readOnly = (info.st_mode & S_IWUSR) == 0;
    if (link && item.isFolder && m_entered.count({info.st_dev, info.st_ino}) != 0) {
        item.isFolder = false;
        item.special = true;
    }
}

bool FolderDiscSource::enterFolder(const std::string& relativeUtf8)
{
    if (relativeUtf8.empty()) {
        m_entered.clear();
        if (folderFd("") >= 0) {
            m_entered.insert({m_levels[0].device, m_levels[0].inode});
        }
        return true;
    }
    const auto [parent, name] = splitLast(relativeUtf8);
    const int parentFd = folderFd(parent);
    if (parentFd < 0 || !validName(name)) {
        return true; // cannot be listed: stays an empty folder
    }
    int fd = ::openat(parentFd, name.c_str(), FolderFlags | O_NOFOLLOW);
    if (fd >= 0) {
        if (push(name, fd)) {
            m_entered.insert({m_levels.back().device, m_levels.back().inode});
        }
        return true; // a real folder cannot loop: always entered
    }
    if (errno != ELOOP && errno != ENOTDIR) {
        return true;
    }
    fd = ::openat(parentFd, name.c_str(), FolderFlags);
    struct stat info = {};
    if (fd < 0 || ::fstat(fd, &info) != 0 || m_entered.count({info.st_dev, info.st_ino}) != 0 ||
        !insideDisc(fd)) {
        Closer closer{fd};
        return false;
    }
    if (!push(name, fd)) {
        return false;
    }
    m_entered.insert({info.st_dev, info.st_ino});
    return true;
}

// Climbs from a link's folder until a folder of the disc: the root, or any folder entered on
// this walk (they all lie inside). Reaching "/" means the link leaves the disc.
bool FolderDiscSource::insideDisc(int folderFd) const
{
    const FolderId root{m_levels[0].device, m_levels[0].inode};
    int fd = ::openat(folderFd, "..", O_PATH | O_DIRECTORY | O_CLOEXEC);
    FolderId below{0, 0};
    bool inside = false;
    while (fd >= 0) {
        struct stat info = {};
        if (::fstat(fd, &info) != 0) {
            break;
        }
        const FolderId id{info.st_dev, info.st_ino};
        if (id == root || m_entered.count(id) != 0) {
            inside = true;
            break;
        }
        if (id == below) {
            break; // "/" is its own parent
        }
        below = id;
        const int up = ::openat(fd, "..", O_PATH | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = up;
    }
    Closer closer{fd};
    return inside;
}

bool FolderDiscSource::readFile(const std::string& relativeUtf8, std::string& content)
{
    content.clear();
    const auto [parent, name] = splitLast(relativeUtf8);
    const int folder = validName(name) ? folderFd(parent) : -1;
    if (folder < 0) {
        return false;
    }
    // A link on a disc may point into the host's own files; a FIFO would block the open
    // without O_NONBLOCK and the read without the S_ISREG test.
    const int fd =
        ::openat(folder, name.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const Closer closer{fd};
    struct stat info = {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
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
            content.clear();
            return false;
        }
        if (got == 0) {
            return true;
        }
        content.append(buffer, static_cast<std::size_t>(got));
    }
}

std::uint64_t FolderDiscSource::regularFileBytes()
{
    if (folderFd("") < 0) {
        return 0;
    }
    std::unordered_set<FolderId, FolderIdHash> seen{{m_levels[0].device, m_levels[0].inode}};
    return sumTop(seen, 0);
}

// The deepest open level's regular files, then its real sub-folders each as deep as it goes.
std::uint64_t FolderDiscSource::sumTop(std::unordered_set<FolderId, FolderIdHash>& seen,
                                       std::size_t depth)
{
    if (m_subFolders.size() <= depth) {
        m_subFolders.resize(depth + 1);
    }
    std::uint64_t total = 0;
    std::string names; // sub-folders, each followed by a NUL
    names.swap(m_subFolders[depth]);
    names.clear();
    const int fd = m_levels.back().fd;
    forEachRecord(fd, m_buffer, [&](const char* name, unsigned char type) {
        if (type == DT_DIR) {
            names.append(name).push_back('\0');
            return;
        }
        if (type != DT_REG && type != DT_UNKNOWN) {
            return;
        }
        // Only the size and the kind: the file system need not fill in the rest.
        struct statx info = {};
        if (::statx(fd, name, AT_SYMLINK_NOFOLLOW | AT_STATX_DONT_SYNC, STATX_TYPE | STATX_SIZE,
                    &info) != 0) {
            return;
        }
        if (S_ISREG(info.stx_mode)) {
            total += info.stx_size;
        } else if (S_ISDIR(info.stx_mode)) {
            names.append(name).push_back('\0');
        }
    });
    for (std::size_t start = 0; start < names.size();) {
        const char* name = names.c_str() + start;
        start += std::char_traits<char>::length(name) + 1;
        const int top = m_levels.back().fd; // may have been opened anew on the way back up
        const int child = top < 0 ? -1 : ::openat(top, name, FolderFlags | O_NOFOLLOW);
        if (child < 0 || !push(name, child)) {
            continue;
        }
        if (seen.insert({m_levels.back().device, m_levels.back().inode}).second) {
            total += sumTop(seen, depth + 1);
        }
        pop();
    }
    names.swap(m_subFolders[depth]); // keeps its room for the next folder at this depth
    return total;
}

} // namespace platform::linux_edition
