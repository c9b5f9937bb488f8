#include "catalog/disk.h"

#include "catalog/record_journal.h"
#include "catalog/text.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace catalog {
namespace {

constexpr std::string_view TemporaryPrefix = ".vellumark-tmp-";

std::string folderOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

mode_t umaskNow()
{
    // Read, not set and set back: a thread creating a file meanwhile would get mode 0666.
    std::string status;
    try {
        status = ReadWholeFile("/proc/self/status");
    } catch (const FileError&) {
    }
    const auto at = status.find("\nUmask:");
    if (at != std::string::npos) {
        return static_cast<mode_t>(std::strtoul(status.c_str() + at + 7, nullptr, 8) & 0777);
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

mode_t modeForNewFile()
{
    static const mode_t mode = 0666 & ~umaskNow();
    return mode;
}

void writeAll(int fd, std::string_view content, const std::string& path)
{
    const char* data = content.data();
    std::size_t left = content.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, left);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            throwFileError(path, errno);
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
}

} // namespace

FileDescriptor::~FileDescriptor()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

int FileDescriptor::release()
{
    return std::exchange(m_fd, -1);
}

void FileDescriptor::reset(int fd)
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
    m_fd = fd;
}

bool FolderWalkGuard::enter(const std::string& folder)
{
    struct stat info = {};
    if (::stat(folder.c_str(), &info) != 0) {
        return false;
    }
    const std::pair<unsigned long, unsigned long> id{info.st_dev, info.st_ino};
    if (std::find(m_chain.begin(), m_chain.end(), id) != m_chain.end()) {
        return false;
    }
    m_chain.push_back(id);
    return true;
}

std::string DisplayPath(std::string_view path)
{
    // The root is UTF-8 and the names below it GBK: each segment is shown in its own way.
    std::string shown;
    std::size_t start = 0;
    while (start <= path.size()) {
        auto slash = path.find('/', start);
        if (slash == std::string_view::npos) {
            slash = path.size();
        }
        std::string_view segment = path.substr(start, slash - start);
        // The two special names are shown without their 0xFF byte, as everywhere.
        if (!segment.empty() && static_cast<unsigned char>(segment.front()) == 0xFF) {
            segment.remove_prefix(1);
        }
        shown += isValidUtf8(segment) ? std::string(segment) : gbkToUtf8(segment);
        if (slash < path.size()) {
            shown += '/';
        }
        start = slash + 1;
    }
    return shown;
}

void throwFileError(const std::string& path, int errorNumber)
{
    throw FileError(DisplayPath(path) + ": " + std::strerror(errorNumber), errorNumber);
}

void throwOpenError(const std::string& path, int errorNumber)
{
    if (errorNumber == EINVAL) {
        throw FileError(DisplayPath(path) + ": 不是普通文件", errorNumber);
    }
    throwFileError(path, errorNumber);
}

Listing ListFolder(const std::string& folder, std::vector<DirEntry>& entries)
{
    entries.clear();
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return Listing::Unreadable;
    }
    const int dirFd = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name(entry->d_name);
        if (name == "." || name == "..") {
            continue;
        }
        bool isFolder = entry->d_type == DT_DIR;
        bool isRegular = entry->d_type == DT_REG;
        bool isLink = entry->d_type == DT_LNK;
        if (entry->d_type == DT_UNKNOWN) {
            struct stat info = {};
            isLink = ::fstatat(dirFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
                     S_ISLNK(info.st_mode);
        }
        if (entry->d_type == DT_UNKNOWN || isLink) {
            struct stat info = {};
            const bool known = ::fstatat(dirFd, entry->d_name, &info, 0) == 0;
            isFolder = known && S_ISDIR(info.st_mode);
            isRegular = known && S_ISREG(info.st_mode);
        }
        entries.push_back({std::string(name), isFolder, isRegular, isLink});
    }
    ::closedir(dir);
    std::sort(entries.begin(), entries.end(),
              [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
    return Listing::Ok;
}

int OpenRegularFile(int dirFd, const char* path, struct stat* info)
{
    // O_NONBLOCK: opening a FIFO must not wait for a writer.
    const int fd = ::openat(dirFd, path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return -1;
    }
    struct stat status = {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        const int error = S_ISREG(status.st_mode)   ? errno
                          : S_ISDIR(status.st_mode) ? EISDIR
                                                    : EINVAL;
        ::close(fd);
        errno = error;
        return -1;
    }
    if (info != nullptr) {
        *info = status;
    }
    return fd;
}

MappedFile::MappedFile(const std::string& path)
{
    struct stat info = {};
    const FileDescriptor fd(OpenRegularFile(AT_FDCWD, path.c_str(), &info));
    if (fd.get() < 0) {
        throwOpenError(path, errno);
    }
    if (info.st_size <= 0) {
        return;
    }
    // Populated in one call: a page fault per page costs more than the whole map.
    void* data = ::mmap(nullptr, static_cast<std::size_t>(info.st_size), PROT_READ,
                        MAP_PRIVATE | MAP_POPULATE, fd.get(), 0);
    if (data == MAP_FAILED) {
        throwFileError(path, errno);
    }
    m_data = static_cast<const char*>(data);
    m_size = static_cast<std::size_t>(info.st_size);
}

MappedFile::~MappedFile()
{
    if (m_data != nullptr) {
        ::munmap(const_cast<char*>(m_data), m_size);
    }
}

std::string ReadWholeFile(const std::string& path)
{
    std::string content;
    ReadWholeFileInto(path, content);
    return content;
}

void ReadWholeFileInto(const std::string& path, std::string& content)
{
    struct stat opened = {};
    ReadWholeFileInto(path, content, opened);
}

void ReadWholeFileInto(const std::string& path, std::string& content, struct stat& info)
{
    content.clear();
    FileDescriptor fd(OpenRegularFile(AT_FDCWD, path.c_str(), &info));
    if (fd.get() < 0) {
        throwOpenError(path, errno);
    }
    // One byte more than the file holds, so that the read that finds its end has room and
    // the whole content is not moved into a larger buffer to find that it ends there.
    content.resize(static_cast<std::size_t>(std::max<off_t>(info.st_size, 0)) + 1);
    std::size_t filled = 0;
    for (;;) {
        if (filled == content.size()) {
            content.resize(content.size() + 4096);
        }
        const ssize_t got = ::read(fd.get(), content.data() + filled, content.size() - filled);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            const int error = errno;
            content.clear();
            throwFileError(path, error);
        }
        if (got == 0) {
            break;
        }
        filled += static_cast<std::size_t>(got);
    }
    content.resize(filled);
}

TemporaryFile::TemporaryFile(const std::string& folder, const std::string& reportPath)
    : m_path(folder + std::string(TemporaryPrefix) + std::to_string(::getpid()) + "-XXXXXX"),
      m_reportPath(reportPath), m_fd(::mkostemp(m_path.data(), O_CLOEXEC))
{
    if (m_fd.get() < 0) {
        throwFileError(reportPath, errno);
    }
    // Held until the descriptor closes: a sweep never takes a file still being written.
    ::flock(m_fd.get(), LOCK_EX | LOCK_NB);
}

TemporaryFile::~TemporaryFile()
{
    if (!m_renamed) {
        ::unlink(m_path.c_str());
    }
}

void TemporaryFile::write(std::string_view content)
{
    writeAll(m_fd.get(), content, m_reportPath);
}

void TemporaryFile::renameTo(const std::string& target)
{
    if (RenameFile(m_path, target) != 0) {
        throwFileError(m_reportPath, errno);
    }
    m_renamed = true;
}

bool IsTemporaryFileName(std::string_view name)
{
    return name.starts_with(TemporaryPrefix);
}

namespace {

// The writer a temporary file names has ended (names without one never tell).
bool writerGone(std::string_view name)
{
    name.remove_prefix(TemporaryPrefix.size());
    const auto dash = name.find('-');
    if (dash == std::string_view::npos || dash == 0 || dash > 9) {
        return false;
    }
    pid_t pid = 0;
    for (const char c : name.substr(0, dash)) {
        if (c < '0' || c > '9') {
            return false;
        }
        pid = pid * 10 + (c - '0');
    }
    return pid != ::getpid() && ::kill(pid, 0) != 0 && errno == ESRCH;
}

} // namespace

void RemoveStaleTemporaryFiles(const std::string& folder)
{
    FileDescriptor dirFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirFd.get() < 0) {
        return;
    }
    std::vector<DirEntry> entries;
    ListFolder(folder, entries);
    const time_t now = ::time(nullptr);
    for (const auto& entry : entries) {
        if (entry.isFolder || !IsTemporaryFileName(entry.name)) {
            continue;
        }
        FileDescriptor fd(::openat(dirFd.get(), entry.name.c_str(),
                                   O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
        struct stat info = {};
        // A writer locks its file right after creating it: the process named in it, or a
        // minute's grace, covers that moment, and the lock covers any longer write.
        if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
            (now - info.st_mtime < 60 && !writerGone(entry.name)) ||
            ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
            continue;
        }
        ::unlinkat(dirFd.get(), entry.name.c_str(), 0);
    }
}

mode_t ModeForReplacing(const std::string& path)
{
    struct stat existing = {};
    return ::stat(path.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : modeForNewFile();
}

std::unique_ptr<TemporaryFile> WriteReplacement(const std::string& path, std::string_view content)
{
    auto temporary = std::make_unique<TemporaryFile>(folderOf(path), path);
    const mode_t mode = ModeForReplacing(path);
    temporary->write(content);
    if (::fchmod(temporary->fd(), mode) != 0) {
        throwFileError(path, errno);
    }
    return temporary;
}

void WriteFileAtomically(const std::string& path, std::string_view content, AtomicWrite how)
{
    if (how.sweepStale) {
        RemoveStaleTemporaryFiles(folderOf(path));
    }
    const auto temporary = WriteReplacement(path, content);
    if (how.flush && FlushFile(temporary->fd()) != 0) {
        throwFileError(path, errno);
    }
    temporary->renameTo(path);
}

void BatchWrite::add(std::size_t slot, std::string path, std::string_view content)
{
    auto temporary = WriteReplacement(path, content);
    const std::lock_guard lock(m_lock);
    m_pending.push_back({slot, std::move(path), std::move(temporary)});
}

std::vector<BatchWrite::Failure> BatchWrite::commit()
{
    const std::lock_guard lock(m_lock);
    std::vector<Failure> failures;
    if (!m_pending.empty() && FlushFileSystem(m_pending.front().temporary->fd()) != 0) {
        const int error = errno;
        for (const auto& file : m_pending) {
            failures.push_back({file.slot, DisplayPath(file.path) + ": " + std::strerror(error)});
        }
        m_pending.clear();
        return failures;
    }
    for (auto& file : m_pending) {
        try {
            file.temporary->renameTo(file.path);
        } catch (const FileError& error) {
            failures.push_back({file.slot, error.what()});
        }
    }
    m_pending.clear();
    return failures;
}

namespace {

struct DiskStandIns
{
    ScopedDiskCalls::Flush flushFile;
    ScopedDiskCalls::Flush flushFileSystem;
    ScopedDiskCalls::Rename rename;
};

DiskStandIns& standIns()
{
    static DiskStandIns standIns;
    return standIns;
}

} // namespace

int FlushFile(int fd)
{
    return standIns().flushFile ? standIns().flushFile(fd) : ::fsync(fd);
}

int FlushFileSystem(int fd)
{
    return standIns().flushFileSystem ? standIns().flushFileSystem(fd) : ::syncfs(fd);
}

int RenameFile(const std::string& from, const std::string& to)
{
    return standIns().rename ? standIns().rename(from, to) : ::rename(from.c_str(), to.c_str());
}

ScopedDiskCalls::ScopedDiskCalls(Flush flushFile, Flush flushFileSystem, Rename rename)
    : m_previousFlushFile(std::exchange(standIns().flushFile, std::move(flushFile))),
      m_previousFlushFileSystem(
          std::exchange(standIns().flushFileSystem, std::move(flushFileSystem))),
      m_previousRename(std::exchange(standIns().rename, std::move(rename)))
{}

ScopedDiskCalls::~ScopedDiskCalls()
{
    standIns().flushFile = std::move(m_previousFlushFile);
    standIns().flushFileSystem = std::move(m_previousFlushFileSystem);
    standIns().rename = std::move(m_previousRename);
}

bool SameFile(const std::string& a, const std::string& b)
{
    struct stat first = {};
    struct stat second = {};
    return ::lstat(a.c_str(), &first) == 0 && ::lstat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

std::string WithSlash(std::string folder)
{
    if (folder.empty() || folder.back() != '/') {
        folder += '/';
    }
    return folder;
}

FolderLock::FolderLock(const std::string& folder)
    : m_fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
{
    if (m_fd.get() < 0) {
        throwFileError(folder, errno);
    }
    // Advisory and best effort: some network file systems refuse flock.
    while (::flock(m_fd.get(), LOCK_EX) != 0 && errno == EINTR) {
    }
    RecoverFolder(WithSlash(folder));
}

bool PathExists(const std::string& path)
{
    struct stat info = {};
    return ::stat(path.c_str(), &info) == 0;
}

bool IsFolder(const std::string& path)
{
    struct stat info = {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::vector<std::string_view> SplitLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    LineScanner scanner(text);
    std::string_view line;
    while (scanner.next(line)) {
        lines.push_back(line);
    }
    return lines;
}

bool LineScanner::next(std::string_view& line)
{
    if (m_pos >= m_text.size()) {
        return false;
    }
    const std::size_t stop = findLineEnd();
    line = m_text.substr(m_pos, stop - m_pos);
    m_pos = stop + 1;
    if (stop < m_text.size() && m_text[stop] == '\r' && m_pos < m_text.size() &&
        m_text[m_pos] == '\n') {
        ++m_pos;
    }
    return true;
}

std::size_t LineScanner::findLineEnd() const
{
    std::size_t at = m_pos;
#if defined(__SSE2__)
    // Sixteen bytes at a time: the lines of a listing are short, and a call to find each
    // end, once for CR and once for LF, cost more than the search.
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    for (; at + 16 <= m_text.size(); at += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(m_text.data() + at));
        const int ends =
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(bytes, cr), _mm_cmpeq_epi8(bytes, lf)));
        if (ends != 0) {
            return at + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(ends)));
        }
    }
#endif
    while (at < m_text.size() && m_text[at] != '\r' && m_text[at] != '\n') {
        ++at;
    }
    return at;
}

std::string JoinLines(const std::vector<std::string>& lines)
{
    std::size_t total = 0;
    for (const auto& line : lines) {
        total += line.size() + 2;
    }
    std::string text;
    text.reserve(total);
    for (const auto& line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

std::string UpperExtension(std::string_view name)
{
    const auto dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string() : upperAscii(name.substr(dot));
}

namespace {

bool copyByReading(int in, int out)
{
    std::array<char, 64 * 1024> buffer{};
    for (;;) {
        const ssize_t got = ::read(in, buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (got == 0) {
            return true;
        }
        const char* data = buffer.data();
        auto left = static_cast<std::size_t>(got);
        while (left > 0) {
            const ssize_t written = ::write(out, data, left);
            if (written < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return false;
            }
            data += written;
            left -= static_cast<std::size_t>(written);
        }
    }
}

} // namespace

// The kernel copies without a round trip through this process where it can; a file
// system that cannot is copied by reading, from wherever the kernel stopped. Records are
// replaced by a rename, never written in place, so the size seen at opening is the size.
bool CopyFileContent(int in, int out, off_t size)
{
    while (size > 0) {
        const ssize_t copied =
            ::copy_file_range(in, nullptr, out, nullptr, static_cast<std::size_t>(size), 0);
        if (copied > 0) {
            size -= copied;
            continue;
        }
        if (copied < 0 && errno == EINTR) {
            continue;
        }
        // Shrunk under us, or a file system the kernel cannot copy on: read what is there.
        return copied == 0 || errno == EXDEV || errno == EINVAL || errno == ENOSYS ||
                       errno == EOPNOTSUPP || errno == EBADF
                   ? copyByReading(in, out)
                   : false;
    }
    return true;
}

off_t CopyRegularFile(const std::string& from, int toFd)
{
    struct stat info = {};
    const FileDescriptor in(OpenRegularFile(AT_FDCWD, from.c_str(), &info));
    if (in.get() < 0 || !CopyFileContent(in.get(), toFd, info.st_size)) {
        return -1;
    }
    struct stat made = {};
    const bool sameMode =
        ::fstat(toFd, &made) == 0 && (made.st_mode & 07777) == (info.st_mode & 07777);
    if (!sameMode && ::fchmod(toFd, info.st_mode & 07777) != 0) {
        return -1;
    }
    return info.st_size;
}

bool SameRegularFiles(const std::string& one, const std::string& other)
{
    struct stat infoOne = {};
    struct stat infoOther = {};
    const FileDescriptor first(OpenRegularFile(AT_FDCWD, one.c_str(), &infoOne));
    const FileDescriptor second(OpenRegularFile(AT_FDCWD, other.c_str(), &infoOther));
    if (first.get() < 0 || second.get() < 0 || infoOne.st_size != infoOther.st_size ||
        (infoOne.st_mode & 07777) != (infoOther.st_mode & 07777)) {
        return false;
    }
    constexpr std::size_t Chunk = 64 * 1024;
    std::string a(Chunk, '\0');
    std::string b(Chunk, '\0');
    for (;;) {
        const ssize_t gotA = ::read(first.get(), a.data(), Chunk);
        if (gotA < 0 && errno == EINTR) {
            continue;
        }
        if (gotA <= 0) {
            // The end of both, or an error: only the end means the same.
            return gotA == 0 && ::read(second.get(), b.data(), 1) == 0;
        }
        std::size_t filled = 0;
        while (filled < static_cast<std::size_t>(gotA)) {
            const ssize_t gotB =
                ::read(second.get(), b.data() + filled, static_cast<std::size_t>(gotA) - filled);
            if (gotB < 0 && errno == EINTR) {
                continue;
            }
            if (gotB <= 0) {
                return false;
            }
            filled += static_cast<std::size_t>(gotB);
        }
        if (std::memcmp(a.data(), b.data(), filled) != 0) {
            return false;
        }
    }
}

} // namespace catalog
