#include "platform/linux/folder_disc_source.h"

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

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
// folder). Starts over when rewind is set. False when the folder cannot be read.
template <typename Visit>
bool forEachRecord(int fd, bool rewind, std::vector<char>& buffer, Visit visit)
{
    if (rewind && ::lseek(fd, 0, SEEK_SET) != 0) {
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

// Only the size and the kind: the file system need not fill in the rest.
std::uint64_t regularSize(int folder, const char* name)
{
    struct statx info = {};
    if (::statx(folder, name, AT_SYMLINK_NOFOLLOW | AT_STATX_DONT_SYNC, STATX_TYPE | STATX_SIZE,
                &info) != 0 ||
        !S_ISREG(info.stx_mode)) {
        return 0;
    }
    return info.stx_size;
}

// The sizes of the regular files of an open folder, named each followed by a NUL.
std::uint64_t sizeAll(int folder, const std::string& names)
{
    std::uint64_t total = 0;
    for (std::size_t start = 0; start < names.size();) {
        const char* name = names.c_str() + start;
        start += std::char_traits<char>::length(name) + 1;
        total += regularSize(folder, name);
    }
    return total;
}

// Whether a processor this process may run on (taskset, cgroups) is idle. A thread that
// has to share a busy core costs more in hand-overs than it saves.
bool idleCore()
{
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    double load = 0;
    if (::sched_getaffinity(0, sizeof allowed, &allowed) != 0 || ::getloadavg(&load, 1) != 1) {
        return false;
    }
    return load < CPU_COUNT(&allowed) - 0.5;
}

} // namespace

// Reads the sizes of the files a walk hands over on a thread of its own, where a core is
// idle: the calls for sizes cost as much as the rest of a folder's scan.
class FolderDiscSource::SizeCounter
{
public:
    explicit SizeCounter(SizingThread thread)
    {
        if (thread == SizingThread::Never ||
            (thread == SizingThread::WhenACoreIsIdle && !idleCore())) {
            return;
        }
        try {
            m_thread = std::thread([this] { run(); });
        } catch (const std::system_error&) {
            // No thread to be had: the walk reads the sizes itself.
        }
    }
    ~SizeCounter() { total(); }
    SizeCounter(const SizeCounter&) = delete;
    SizeCounter& operator=(const SizeCounter&) = delete;

    // The folder stays open until closeLater(folderFd): jobs are done in order. While the
    // thread has enough to do, the walk sizes the folder itself, so both stay busy.
    void add(int folderFd, std::string names)
    {
        if (!m_thread.joinable() || m_waitingSizes.load() >= MaxWaitingSizes) {
            m_total += sizeAll(folderFd, names);
            return;
        }
        ++m_waitingSizes;
        queue({folderFd, std::move(names), false});
    }

    void closeLater(int folderFd)
    {
        if (!m_thread.joinable()) {
            ::close(folderFd);
            return;
        }
        // Each folder waiting to be closed holds a descriptor: rather than run out of them,
        // the walk waits for the thread to catch up.
        if (m_waitingCloses.load() >= MaxWaitingCloses) {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_caughtUp.wait(lock, [this] { return m_waitingCloses.load() < MaxWaitingCloses; });
        }
        ++m_waitingCloses;
        queue({folderFd, std::string(), true});
    }

    std::uint64_t total()
    {
        if (m_thread.joinable()) {
            {
                const std::lock_guard<std::mutex> lock(m_mutex);
                m_finished = true;
            }
            m_ready.notify_one();
            m_thread.join();
        }
        return m_total + m_threadTotal;
    }

private:
    static constexpr int MaxWaitingCloses = 64;
    static constexpr int MaxWaitingSizes = 8;

    struct Job
    {
        int fd;
        std::string names;
        bool close;
    };

    void queue(Job job)
    {
        bool wasIdle = false;
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            wasIdle = m_jobs.empty();
            m_jobs.push_back(std::move(job));
        }
        if (wasIdle) {
            m_ready.notify_one();
        }
    }

    void run()
    {
        std::deque<Job> jobs;
        for (;;) {
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_ready.wait(lock, [this] { return m_finished || !m_jobs.empty(); });
                if (m_jobs.empty()) {
                    return;
                }
                jobs.swap(m_jobs); // takes every waiting job at once
            }
            for (const Job& job : jobs) {
                if (job.close) {
                    ::close(job.fd);
                    if (m_waitingCloses.fetch_sub(1) == MaxWaitingCloses) {
                        const std::lock_guard<std::mutex> lock(m_mutex);
                        m_caughtUp.notify_one();
                    }
                } else {
                    m_threadTotal += sizeAll(job.fd, job.names);
                    --m_waitingSizes;
                }
            }
            jobs.clear();
        }
    }

    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::condition_variable m_caughtUp;
    std::atomic<int> m_waitingCloses{0};
    std::atomic<int> m_waitingSizes{0};
    std::deque<Job> m_jobs;
    bool m_finished = false;
    std::uint64_t m_total = 0;       // sized on the walk's own thread
    std::uint64_t m_threadTotal = 0; // read once the thread has ended
};

FolderDiscSource::FolderDiscSource(std::string root) : m_root(std::move(root)) {}

FolderDiscSource::~FolderDiscSource()
{
    m_sizes.reset(); // waits for the folders it still reads
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
    m_levels.push_back({0, fd, info.st_dev, info.st_ino, false, false, false});
    m_firstOpen = 1;
    return true;
}

// Opens a sub-folder of the deepest level; link tells whether a symbolic link led there.
int FolderDiscSource::openChild(const char* name, bool& link) const
{
    const int top = m_levels.back().fd;
    int fd = top < 0 ? -1 : ::openat(top, name, FolderFlags | O_NOFOLLOW);
    link = fd < 0 && (errno == ELOOP || errno == ENOTDIR);
    if (link) {
        fd = ::openat(top, name, FolderFlags);
    }
    return fd;
}

bool FolderDiscSource::push(std::string_view name, int fd, bool link)
{
    struct stat info = {};
    if (::fstat(fd, &info) != 0) {
        ::close(fd);
        return false;
    }
    if (m_levels.size() - m_firstOpen >= MaxOpenLevels) {
        closeLevel(m_levels[m_firstOpen].fd);
        m_levels[m_firstOpen].fd = -1;
        ++m_firstOpen;
    }
    if (!m_path.empty()) {
        m_path += '/';
    }
    m_path += name;
    const bool viaLink = link || m_levels.back().viaLink;
    m_levels.push_back({m_path.size(), fd, info.st_dev, info.st_ino, viaLink, false, false});
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
    if (child.fd >= 0) {
        closeLevel(child.fd);
    }
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
        level.listed = false;
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
    level.listed = false;
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
        bool link = false;
        const int fd = openChild(std::string(name).c_str(), link);
        if (fd < 0 || !push(name, fd, link)) {
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
    if (fd < 0 || !readEntries(m_levels.back(), entries, withModes)) {
        entries.clear();
        return false;
    }
    std::sort(entries.begin(), entries.end(),
              [](const DiscEntry& a, const DiscEntry& b) { return a.nameUtf8 < b.nameUtf8; });
    return true;
}

// Reuses the entries already in the vector, so that a walk that keeps one vector per depth
// allocates nothing for names it has seen the like of.
bool FolderDiscSource::readEntries(Level& folder, std::vector<DiscEntry>& entries, bool withModes)
{
    const bool count = m_sizes && folder.countable;
    folder.countable = false;
    std::string regular; // names of the regular files, for the size counter
    const int fd = folder.fd;
    std::size_t used = 0;
    const bool read =
        forEachRecord(fd, folder.listed, m_buffer, [&](const char* name, unsigned char type) {
            if (used == entries.size()) {
                entries.emplace_back();
            }
            DiscEntry& item = entries[used++];
            item.nameUtf8.assign(name);
            describe(fd, name, type, withModes, item);
            if (count && !item.isFolder && !item.special) {
                regular.append(name).push_back('\0');
            }
        });
    folder.listed = true;
    entries.resize(used);
    if (!regular.empty()) {
        m_sizes->add(fd, std::move(regular));
    }
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
        m_entered.reserve(1 << 14);
        if (folderFd("") >= 0) {
            m_entered[{m_levels[0].device, m_levels[0].inode}] = true;
            m_levels[0].countable = true;
        }
        return true;
    }
    const auto [parent, name] = splitLast(relativeUtf8);
    if (folderFd(parent) < 0 || !validName(name)) {
        return true; // cannot be listed: stays an empty folder
    }
    bool link = false;
    const int fd = openChild(name.c_str(), link);
    if (!link) {
        if (fd >= 0 && push(name, fd, false)) {
            // Counted on the first way to it without links; bind mounts show it twice.
            Level& folder = m_levels.back();
            bool& counted =
                m_entered.try_emplace({folder.device, folder.inode}, false).first->second;
            folder.countable = !folder.viaLink && !counted;
            counted = counted || folder.countable;
        }
        return true; // a real folder cannot loop: always entered
    }
    struct stat info = {};
    if (fd < 0 || ::fstat(fd, &info) != 0 || m_entered.count({info.st_dev, info.st_ino}) != 0 ||
        !insideDisc(fd)) {
        Closer closer{fd};
        return false;
    }
    if (!push(name, fd, true)) {
        return false;
    }
    m_entered.try_emplace({info.st_dev, info.st_ino}, false);
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

void FolderDiscSource::countRegularBytes(SizingThread thread)
{
    m_sizes = std::make_unique<SizeCounter>(thread);
}

// While sizes are read on another thread, a folder stays open until its files are sized.
void FolderDiscSource::closeLevel(int fd)
{
    if (m_sizes) {
        m_sizes->closeLater(fd);
    } else {
        ::close(fd);
    }
}

std::uint64_t FolderDiscSource::regularBytesCounted()
{
    return m_sizes ? m_sizes->total() : 0;
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
    Level& folder = m_levels.back();
    const int fd = folder.fd;
    forEachRecord(fd, folder.listed, m_buffer, [&](const char* name, unsigned char type) {
        if (type == DT_UNKNOWN) {
            struct stat info = {};
            const bool known = ::fstatat(fd, name, &info, AT_SYMLINK_NOFOLLOW) == 0;
            type = known ? static_cast<unsigned char>(IFTODT(info.st_mode)) : type;
        }
        if (type == DT_DIR) {
            names.append(name).push_back('\0');
        } else if (type == DT_REG) {
            total += regularSize(fd, name);
        }
    });
    folder.listed = true;
    for (std::size_t start = 0; start < names.size();) {
        const char* name = names.c_str() + start;
        start += std::char_traits<char>::length(name) + 1;
        const int top = m_levels.back().fd; // may have been opened anew on the way back up
        const int child = top < 0 ? -1 : ::openat(top, name, FolderFlags | O_NOFOLLOW);
        if (child < 0 || !push(name, child, false)) {
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
