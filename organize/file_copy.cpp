#include "organize/file_copy.h"

#include "catalog/disk.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <set>

namespace organize {
namespace {

std::string folderOf(const std::string& path)
{
    return path.substr(0, path.rfind('/') + 1);
}

} // namespace

off_t CopyRegularFile(const std::string& from, const std::string& targetFolder,
                      const std::string& to, CopyTarget target)
{
    // A FIFO or a device that carries a record's name must neither hang nor feed the copy.
    struct stat info = {};
    catalog::FileDescriptor in(catalog::OpenRegularFile(AT_FDCWD, from.c_str(), &info));
    if (in.get() < 0) {
        return -1;
    }
    try {
        catalog::TemporaryFile temporary(targetFolder, to);
        struct stat existing = {};
        const bool replacing =
            target == CopyTarget::MayExist && ::lstat(to.c_str(), &existing) == 0;
        bool done = catalog::CopyFileContent(in.get(), temporary.fd(), info.st_size) &&
                    ::fchmod(temporary.fd(), info.st_mode & 07777) == 0;
        // A file replaced by the rename must not be lost to a crash before the data is down.
        done = done && (!replacing || ::fsync(temporary.fd()) == 0);
        if (!done) {
            return -1;
        }
        temporary.renameTo(to);
    } catch (const catalog::FileError&) {
        return -1;
    }
    return info.st_size;
}

bool ArrivedWhole(const std::string& from, const std::string& to, off_t copiedSize)
{
    struct stat source = {};
    struct stat target = {};
    return ::stat(from.c_str(), &source) == 0 && ::lstat(to.c_str(), &target) == 0 &&
           S_ISREG(target.st_mode) && target.st_size == copiedSize &&
           source.st_size == copiedSize &&
           (source.st_dev != target.st_dev || source.st_ino != target.st_ino);
}

void FlushFileSystemOf(const std::string& folder)
{
    catalog::FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() < 0 || ::syncfs(fd.get()) != 0) {
        ::sync();
    }
}

void SourceRemovals::add(std::string source, std::string copy, off_t size)
{
    m_pending.push_back({std::move(source), std::move(copy), size});
}

int SourceRemovals::finish()
{
    std::set<std::string> flushed;
    for (const auto& pending : m_pending) {
        if (flushed.insert(folderOf(pending.copy)).second) {
            FlushFileSystemOf(folderOf(pending.copy));
        }
    }
    int staying = 0;
    for (const auto& pending : m_pending) {
        if (!ArrivedWhole(pending.source, pending.copy, pending.size) ||
            ::unlink(pending.source.c_str()) != 0) {
            ++staying;
        }
    }
    m_pending.clear();
    return staying;
}

} // namespace organize
