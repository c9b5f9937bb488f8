#include "organize/tree_copy.h"

#include "catalog/disk.h"
#include "catalog/library.h"
#include "catalog/text.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <filesystem>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace organize {
namespace {

using catalog::DirEntry;
using catalog::FolderWalkGuard;

// The folder as the system calls want it: without its closing "/".
std::string withoutSlash(const std::string& folder)
{
    std::string path = folder;
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

std::filesystem::path resolved(const std::string& folder)
{
    std::error_code error;
    std::filesystem::path path = std::filesystem::absolute(withoutSlash(folder), error);
    std::filesystem::path canonical = std::filesystem::weakly_canonical(path, error);
    return error ? path.lexically_normal() : canonical;
}

void refuseTargetInsideSource(const std::string& source, const std::string& target)
{
    const std::filesystem::path from = resolved(source);
    const std::filesystem::path to = resolved(target);
    const auto parts = [](const std::filesystem::path& path) {
        std::vector<std::filesystem::path> named;
        for (const auto& part : path) {
            if (!part.empty()) {
                named.push_back(part);
            }
        }
        return named;
    };
    const auto fromParts = parts(from);
    const auto toParts = parts(to);
    if (toParts.size() >= fromParts.size() &&
        std::equal(fromParts.begin(), fromParts.end(), toParts.begin())) {
        throw TargetInsideSource("目标文件夹 " + catalog::DisplayPath(target) + " 位于源文件夹 " +
                                 catalog::DisplayPath(source) + " 之内");
    }
}

// The system's reason why a folder that ListFolder could not read cannot be read.
int listingError(const std::string& folder)
{
    DIR* dir = ::opendir(folder.c_str());
    if (dir != nullptr) {
        ::closedir(dir);
        return EIO;
    }
    return errno;
}

bool copyBytes(int in, int out)
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

// Copies one regular file through a temporary file in the target folder, so a copy that
// fails half way never replaces a good file. Returns the size copied, or -1.
off_t copyOneFile(const std::string& from, const std::string& targetFolder, const std::string& to)
{
    // O_NONBLOCK: a FIFO that carries a record's name must not hang the copy.
    catalog::FileDescriptor in(::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat info = {};
    if (in.get() < 0 || ::fstat(in.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return -1;
    }
    ::fcntl(in.get(), F_SETFL, 0);
    std::string temporary = targetFolder + ".vellumark-XXXXXX";
    catalog::FileDescriptor out(::mkostemp(temporary.data(), O_CLOEXEC));
    if (out.get() < 0) {
        return -1;
    }
    struct stat existing = {};
    const bool replacing = ::lstat(to.c_str(), &existing) == 0;
    bool done = copyBytes(in.get(), out.get()) && ::fchmod(out.get(), info.st_mode & 07777) == 0;
    // A file replaced by the rename must not be lost to a crash before the data is down.
    done = done && (!replacing || ::fsync(out.get()) == 0);
    done = ::close(out.release()) == 0 && done;
    done = done && ::rename(temporary.c_str(), to.c_str()) == 0;
    if (!done) {
        ::unlink(temporary.c_str());
        return -1;
    }
    return info.st_size;
}

void createFolder(const std::string& folder)
{
    const std::string path = withoutSlash(folder);
    if (::mkdir(path.c_str(), 0777) == 0) {
        return;
    }
    const int error = errno;
    if (error == EEXIST) {
        if (catalog::IsFolder(path)) {
            return;
        }
        catalog::throwFileError(path, ENOTDIR);
    }
    catalog::throwFileError(path, error);
}

// Record file names of a folder grouped by base name and upper-cased extension, to find
// the other spellings of a file.
std::string spellingKey(std::string_view name)
{
    const auto dot = name.rfind('.');
    std::string key(name.substr(0, dot));
    key += catalog::upperAscii(name.substr(dot));
    return key;
}

// Source path -> size of the copy, for a move to delete only what arrived.
using CopiedFiles = std::unordered_map<std::string, off_t>;

void copyTree(const std::string& source, const std::string& target, CopiedFiles* copied,
              FolderWalkGuard& guard)
{
    createFolder(target);
    std::vector<DirEntry> entries;
    if (catalog::ListFolder(source, entries) == catalog::Listing::Unreadable) {
        const int error = listingError(source);
        if (error == ENOENT) {
            return;
        }
        catalog::throwFileError(source, error);
    }
    if (!guard.enter(source)) {
        return;
    }
    std::unordered_map<std::string, std::vector<std::string>> spellings;
    std::vector<DirEntry> targetEntries;
    catalog::ListFolder(target, targetEntries);
    for (auto& entry : targetEntries) {
        if (!entry.isFolder && IsRecordFileName(entry.name)) {
            spellings[spellingKey(entry.name)].push_back(std::move(entry.name));
        }
    }

    for (const auto& entry : entries) {
        if (entry.isFolder) {
            copyTree(catalog::ChildPath(source, entry.name), catalog::ChildPath(target, entry.name),
                     copied, guard);
            continue;
        }
        if (!IsRecordFileName(entry.name)) {
            continue;
        }
        const std::string from = source + entry.name;
        const off_t size = copyOneFile(from, target, target + entry.name);
        if (size < 0) {
            continue;
        }
        if (copied != nullptr) {
            (*copied)[from] = size;
        }
        // No record keeps two spellings of one file side by side.
        auto& names = spellings[spellingKey(entry.name)];
        for (const auto& other : names) {
            if (other != entry.name) {
                ::unlink((target + other).c_str());
            }
        }
        names.assign(1, entry.name);
    }
    guard.leave();
}

void deleteTree(const std::string& folder)
{
    std::vector<DirEntry> entries;
    catalog::ListFolder(folder, entries);
    for (const auto& entry : entries) {
        const std::string path = folder + entry.name;
        struct stat info = {};
        // A link to a folder goes as a file: the tree it points to is not ours.
        if (entry.isFolder && ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
            deleteTree(catalog::ChildPath(folder, entry.name));
        } else {
            ::unlink(path.c_str());
        }
    }
    const std::string path = withoutSlash(folder);
    if (::rmdir(path.c_str()) != 0) {
        catalog::throwFileError(path, errno);
    }
}

bool arrivedWhole(const std::string& from, const std::string& to, off_t copiedSize)
{
    struct stat source = {};
    struct stat target = {};
    return ::stat(from.c_str(), &source) == 0 && ::lstat(to.c_str(), &target) == 0 &&
           S_ISREG(target.st_mode) && target.st_size == copiedSize &&
           source.st_size == copiedSize &&
           // Reached through a link, source and target can be one file.
           (source.st_dev != target.st_dev || source.st_ino != target.st_ino);
}

// Deletes from source what was copied to target and the folders that become empty.
void removeCopied(const std::string& source, const std::string& target, const CopiedFiles& copied)
{
    std::vector<DirEntry> entries;
    catalog::ListFolder(source, entries);
    for (const auto& entry : entries) {
        const std::string path = source + entry.name;
        struct stat info = {};
        if (::lstat(path.c_str(), &info) != 0) {
            continue;
        }
        if (S_ISDIR(info.st_mode)) {
            removeCopied(catalog::ChildPath(source, entry.name),
                         catalog::ChildPath(target, entry.name), copied);
            continue;
        }
        if (entry.isFolder) {
            continue; // a link to a folder: its content stays where it is
        }
        const auto found = copied.find(path);
        if (found != copied.end() && arrivedWhole(path, target + entry.name, found->second)) {
            ::unlink(path.c_str());
        }
    }
    // A folder that still holds something that was not copied stays.
    const std::string path = withoutSlash(source);
    if (::rmdir(path.c_str()) != 0 && errno != ENOTEMPTY && errno != EEXIST && errno != ENOENT) {
        catalog::throwFileError(path, errno);
    }
}

// The copies must be on the disk before their sources go.
void flushFileSystemOf(const std::string& folder)
{
    catalog::FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() < 0 || ::syncfs(fd.get()) != 0) {
        ::sync();
    }
}

} // namespace

bool IsRecordFileName(const std::string& name)
{
    static constexpr std::array<std::string_view, 8> extensions{".CDR", ".MX",  ".TAG", ".TGT",
                                                                ".FID", ".FMX", ".FIN", ".IFN"};
    const std::string ext = catalog::UpperExtension(name);
    return std::find(extensions.begin(), extensions.end(), ext) != extensions.end();
}

void CopyRecordTree(const std::string& source, const std::string& target)
{
    refuseTargetInsideSource(source, target);
    FolderWalkGuard guard;
    copyTree(source, target, nullptr, guard);
}

void DeleteFolderTree(const std::string& folder)
{
    const std::string path = withoutSlash(folder);
    struct stat info = {};
    if (::lstat(path.c_str(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            return;
        }
        catalog::throwFileError(path, errno);
    }
    if (S_ISLNK(info.st_mode)) {
        if (::unlink(path.c_str()) != 0) {
            catalog::throwFileError(path, errno);
        }
        return;
    }
    if (!S_ISDIR(info.st_mode)) {
        catalog::throwFileError(path, ENOTDIR);
    }
    deleteTree(path + "/");
}

void MoveRecordTree(const std::string& source, const std::string& target)
{
    refuseTargetInsideSource(source, target);
    const std::string from = withoutSlash(source);
    const std::string to = withoutSlash(target);
    struct stat info = {};
    // A rename keeps every file; it cannot cross file systems or merge into a folder
    // that is already there.
    if (::lstat(to.c_str(), &info) != 0 && errno == ENOENT &&
        ::rename(from.c_str(), to.c_str()) == 0) {
        return;
    }
    CopiedFiles copied;
    FolderWalkGuard guard;
    copyTree(source, target, &copied, guard);
    if (!copied.empty()) {
        flushFileSystemOf(to);
    }
    if (::lstat(from.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        // The tree behind a linked source is not ours to empty; the link itself goes.
        ::unlink(from.c_str());
        return;
    }
    removeCopied(source, target, copied);
}

} // namespace organize
