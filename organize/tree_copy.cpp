#include "organize/tree_copy.h"

#include "catalog/disk.h"
#include "catalog/library.h"
#include "catalog/text.h"
#include "organize/file_copy.h"
#include "organize/parallel.h"
#include "organize/system_calls.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <exception>
#include <filesystem>
#include <string_view>
#include <thread>
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

// Source path -> size of the copy, for a move to delete only what arrived.
using CopiedFiles = std::unordered_map<std::string, off_t>;

// What one walk of copyTree needs besides its folders.
struct CopyWalk
{
    CopiedFiles* copied = nullptr; // a move notes what arrived, to delete only that
    TreeTransfer counts;
    FolderWalkGuard guard;
};

void copyRecordFile(const std::string& source, const std::string& target, const std::string& name,
                    RecordSpellings& spellings, CopyWalk& walk)
{
    const std::string from = source + name;
    const std::string to = target + name;
    const off_t size = CopyRegularFile(from, target, to,
                                       spellings.has(name) ? CopyTarget::MayExist : CopyTarget::New);
    if (size < 0) {
        ++walk.counts.filesNotCopied;
        return;
    }
    if (walk.copied != nullptr) {
        (*walk.copied)[from] = size;
    }
    spellings.written(name);
}

void copyTree(const std::string& source, const std::string& target, CopyWalk& walk)
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
    if (!walk.guard.enter(source)) {
        return;
    }
    RecordSpellings spellings(target);
    for (const auto& entry : entries) {
        if (entry.isFolder) {
            copyTree(catalog::ChildPath(source, entry.name), catalog::ChildPath(target, entry.name),
                     walk);
        } else if (IsRecordFileName(entry.name)) {
            copyRecordFile(source, target, entry.name, spellings, walk);
        }
    }
    walk.guard.leave();
}

// The entries of an open folder, each with whether it is a folder itself (a link is not).
std::vector<std::pair<std::string, bool>> entriesOf(int folderFd)
{
    std::vector<std::pair<std::string, bool>> entries;
    DIR* dir = ::fdopendir(::dup(folderFd));
    if (dir == nullptr) {
        return entries;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name(entry->d_name);
        if (name == "." || name == "..") {
            continue;
        }
        bool isFolder = entry->d_type == DT_DIR;
        struct stat info = {};
        if (entry->d_type == DT_UNKNOWN &&
            ::fstatat(folderFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0) {
            isFolder = S_ISDIR(info.st_mode);
        }
        entries.emplace_back(name, isFolder);
    }
    ::closedir(dir);
    return entries;
}

void emptyFolder(int folderFd, const std::string& folder);

void removeSubFolder(int folderFd, const std::string& folder, const std::string& name)
{
    const std::string path = folder + name;
    {
        const catalog::FileDescriptor sub(
            ::openat(folderFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (sub.get() >= 0) {
            emptyFolder(sub.get(), path + "/");
        }
    }
    if (::unlinkat(folderFd, name.c_str(), AT_REMOVEDIR) != 0) {
        catalog::throwFileError(path, errno);
    }
}

// Deletes what an open folder holds, relative to it so that no path is walked again per
// file. A file that cannot be deleted stays; a folder that cannot be removed throws.
void emptyFolder(int folderFd, const std::string& folder)
{
    for (const auto& [name, isFolder] : entriesOf(folderFd)) {
        if (isFolder) {
            removeSubFolder(folderFd, folder, name);
        } else {
            ::unlinkat(folderFd, name.c_str(), 0);
        }
    }
}

// As emptyFolder, with its sub-folders shared out among threads.
void emptyFolderInParallel(int folderFd, const std::string& folder)
{
    std::vector<std::string> subFolders;
    for (auto& [name, isFolder] : entriesOf(folderFd)) {
        if (isFolder) {
            subFolders.push_back(std::move(name));
        } else {
            ::unlinkat(folderFd, name.c_str(), 0);
        }
    }
    ForEachInParallel(subFolders.size(), [&](std::size_t item) {
        removeSubFolder(folderFd, folder, subFolders[item]);
    });
}

// Deletes from source what was copied to target and the folders that become empty.
void removeCopied(const std::string& source, const std::string& target, const CopiedFiles& copied,
                  TreeTransfer& counts)
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
                         catalog::ChildPath(target, entry.name), copied, counts);
            continue;
        }
        if (entry.isFolder) {
            continue; // a link to a folder: its content stays where it is
        }
        const auto found = copied.find(path);
        if (found == copied.end()) {
            continue; // not a record file, or its copy failed: it stays
        }
        if (!ArrivedWhole(path, target + entry.name, found->second) ||
            ::unlink(path.c_str()) != 0) {
            ++counts.filesNotDeleted;
        }
    }
    // A folder that still holds something that was not copied stays.
    const std::string path = withoutSlash(source);
    if (::rmdir(path.c_str()) != 0 && errno != ENOTEMPTY && errno != EEXIST && errno != ENOENT) {
        catalog::throwFileError(path, errno);
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

namespace {

std::string spellingKey(std::string_view name)
{
    const auto dot = name.rfind('.');
    std::string key(name.substr(0, dot));
    key += catalog::upperAscii(name.substr(dot));
    return key;
}

} // namespace

RecordSpellings::RecordSpellings(const std::string& folder) : m_folder(folder)
{
    std::vector<DirEntry> entries;
    catalog::ListFolder(folder, entries);
    bool leftovers = false;
    for (auto& entry : entries) {
        leftovers = leftovers || catalog::IsTemporaryFileName(entry.name);
        if (!entry.isFolder && IsRecordFileName(entry.name)) {
            m_names[spellingKey(entry.name)].push_back(std::move(entry.name));
        }
    }
    if (leftovers) {
        catalog::RemoveStaleTemporaryFiles(folder);
    }
}

bool RecordSpellings::has(const std::string& name) const
{
    const auto found = m_names.find(spellingKey(name));
    return found != m_names.end() && !found->second.empty();
}

void RecordSpellings::written(const std::string& name)
{
    auto& names = m_names[spellingKey(name)];
    // Where names ignore case, the other spelling is the file just written.
    for (const auto& other : names) {
        if (other != name && !catalog::SameFile(m_folder + name, m_folder + other)) {
            ::unlink((m_folder + other).c_str());
        }
    }
    names.assign(1, name);
}

TreeTransfer CopyRecordTree(const std::string& source, const std::string& target)
{
    refuseTargetInsideSource(source, target);
    CopyWalk walk;
    copyTree(source, target, walk);
    return walk.counts;
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
    {
        const catalog::FileDescriptor fd(
            ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (fd.get() >= 0) {
            emptyFolderInParallel(fd.get(), path + "/");
        }
    }
    if (::rmdir(path.c_str()) != 0) {
        catalog::throwFileError(path, errno);
    }
}

TreeTransfer MoveRecordTree(const std::string& source, const std::string& target)
{
    refuseTargetInsideSource(source, target);
    const std::string from = withoutSlash(source);
    const std::string to = withoutSlash(target);
    struct stat info = {};
    // A rename keeps every file; it cannot cross file systems or merge into a folder
    // that is already there.
    if (::lstat(to.c_str(), &info) != 0 && errno == ENOENT && RenamePath(from, to) == 0) {
        return {};
    }
    CopiedFiles copied;
    CopyWalk walk;
    walk.copied = &copied;
    copyTree(source, target, walk);
    if (!copied.empty()) {
        FlushFileSystemOf(to);
    }
    if (::lstat(from.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        // The tree behind a linked source is not ours to empty; the link itself goes.
        ::unlink(from.c_str());
        return walk.counts;
    }
    removeCopied(source, target, copied, walk.counts);
    return walk.counts;
}

} // namespace organize
