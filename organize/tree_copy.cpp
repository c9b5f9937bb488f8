#include "organize/tree_copy.h"

#include "catalog/disk.h"
#include "catalog/library.h"
#include "catalog/record_set.h"
#include "catalog/text.h"
#include "organize/parallel.h"
#include "organize/system_calls.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <map>
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

void refuseTargetInsideSource(const std::string& source, const std::string& target)
{
    if (catalog::LiesInside(source, target)) {
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

bool PathExistsNoFollow(const std::string& path)
{
    struct stat info = {};
    return ::lstat(path.c_str(), &info) == 0;
}

int makeOneFolder(const std::string& folder)
{
    return ::mkdir(withoutSlash(folder).c_str(), 0777) == 0 ? 0 : errno;
}

// Files staged before one flush and one note put them in place: enough to make the flush
// pay, few enough for the descriptors each holds until then.
constexpr std::size_t BatchFiles = 512;

struct CopyWalk
{
    const TreeCopyOptions* options = nullptr;
    TreeTransfer counts;
    FolderWalkGuard guard;
};

void leaveOut(CopyWalk& walk, const std::string& path, const std::string& reason)
{
    walk.counts.skippedUtf8.push_back(catalog::DisplayPath(path) + ": " + reason);
}

void advance(CopyWalk& walk, std::size_t files)
{
    for (std::size_t i = 0; i < files && walk.options->advanced; ++i) {
        walk.options->advanced();
    }
}

void createFolder(const std::string& folder, CopyWalk& walk)
{
    const auto& make = walk.options->makeFolder;
    const int error = make ? make(folder) : makeOneFolder(folder);
    if (error == 0 || (error == EEXIST && catalog::IsFolder(withoutSlash(folder)))) {
        return;
    }
    catalog::throwFileError(withoutSlash(folder), error == EEXIST ? ENOTDIR : error);
}

std::optional<std::string> mappedName(const std::string& name, bool topLevel, CopyWalk& walk)
{
    return walk.options->mapName ? walk.options->mapName(name, topLevel)
                                 : std::optional<std::string>(name);
}

std::string baseOf(const std::string& name)
{
    return name.substr(0, name.rfind('.'));
}

// Puts the staged records in place; what could not be is counted. cds: the CDs staged
// whole since the last batch.
void commitBatch(catalog::RecordTransfer& transfer, CopyWalk& walk, long long& cds)
{
    const int failures = transfer.commit();
    walk.counts.filesCopied -= failures;
    walk.counts.filesNotCopied += failures;
    if (failures == 0) {
        walk.counts.cdsCopied += cds;
    }
    cds = 0;
}

// The record files of one source folder copied into target, whose lock the caller holds:
// each base name a record, its files of each kind in the spelling a reader takes.
void copyRecords(const std::string& source, const std::vector<DirEntry>& entries,
                 const std::string& target, bool topLevel, CopyWalk& walk)
{
    static const std::vector<catalog::RecordKind> allKinds{
        catalog::RecordKind::Cdr, catalog::RecordKind::Tag, catalog::RecordKind::Mx,
        catalog::RecordKind::Fmx, catalog::RecordKind::Ifn, catalog::RecordKind::Fid,
        catalog::RecordKind::Tgt, catalog::RecordKind::Fin};
    const bool oneRecordPerName = walk.options->oneRecordPerName;
    // Bases in byte order; case twins of a name fall to the first when names are one.
    std::map<std::string, std::vector<std::string>> bases;
    for (const auto& entry : entries) {
        if (entry.isFolder || !catalog::IsRecordFileName(entry.name)) {
            continue;
        }
        if (!entry.isRegular) {
            // A FIFO or a device named like a record file is never read.
            leaveOut(walk, source + entry.name, "不是普通文件");
            ++walk.counts.filesNotCopied;
            advance(walk, 1);
            continue;
        }
        bases[baseOf(entry.name)].push_back(entry.name);
    }
    catalog::RecordFolder from(source, catalog::RecordFolder::Watch::Once);
    catalog::RecordTransfer transfer(target, catalog::Carry::Copy, walk.options->copyFile);
    std::map<std::string, std::string> takenBy; // upper-cased target name -> source base
    long long stagedCds = 0;
    for (const auto& [base, names] : bases) {
        const auto name = mappedName(base, topLevel, walk);
        if (!name) {
            leaveOut(walk, source + base, "名称无法写成 GBK");
            walk.counts.filesNotCopied += static_cast<long long>(names.size());
            advance(walk, names.size());
            continue;
        }
        const std::string key = oneRecordPerName ? catalog::upperAscii(*name) : *name;
        if (const auto twin = takenBy.find(key); twin != takenBy.end()) {
            leaveOut(walk, source + base, "与 " + catalog::gbkToUtf8(twin->second) + " 是同一张光盘");
            walk.counts.filesNotCopied += static_cast<long long>(names.size());
            advance(walk, names.size());
            continue;
        }
        takenBy.emplace(key, base);
        std::vector<catalog::RecordTransfer::File> files;
        bool listed = false; // a CD, not a search result
        for (const auto kind : allKinds) {
            const auto found = from.files(base, kind, false);
            if (!found.empty()) {
                files.push_back({found.front(), *name + found.front().substr(base.size())});
                listed = listed || kind == catalog::RecordKind::Cdr;
            }
        }
        std::vector<std::string> replaced = catalog::RecordFilesOf(transfer.target(), *name, allKinds);
        if (oneRecordPerName) {
            const auto other = transfer.target().recordNamed(*name);
            if (other && *other != *name) {
                for (auto& file : catalog::RecordFilesOf(transfer.target(), *other, allKinds)) {
                    replaced.push_back(std::move(file));
                }
            }
        }
        const int before = transfer.filesNotCopied();
        if (transfer.add(source, files, *name, replaced)) {
            const int failed = transfer.filesNotCopied() - before;
            walk.counts.filesCopied += static_cast<long long>(files.size()) - failed;
            walk.counts.filesNotCopied += failed;
            stagedCds += listed && failed == 0 ? 1 : 0;
        } else {
            walk.counts.filesNotCopied += static_cast<long long>(files.size());
        }
        advance(walk, names.size());
        if (transfer.stagedFiles() >= BatchFiles) {
            commitBatch(transfer, walk, stagedCds);
        }
    }
    commitBatch(transfer, walk, stagedCds);
}


long long countRecordFiles(const std::string& folder, FolderWalkGuard& guard)
{
    std::vector<DirEntry> entries;
    if (catalog::ListFolder(folder, entries) == catalog::Listing::Unreadable || !guard.enter(folder)) {
        return 0;
    }
    long long count = 0;
    for (const auto& entry : entries) {
        if (entry.isFolder && !entry.isLink) {
            count += countRecordFiles(catalog::ChildPath(folder, entry.name), guard);
        } else if (!entry.isFolder && catalog::IsRecordFileName(entry.name)) {
            ++count;
        }
    }
    guard.leave();
    return count;
}

void copyTree(const std::string& source, const std::string& target, bool topLevel, CopyWalk& walk)
{
    // Held while the folder is filled and while its sub-folders are made and filled, so a
    // clearing of empty boxes never takes a folder this copy is about to fill.
    const catalog::FolderLock lock(target);
    std::vector<DirEntry> entries;
    if (catalog::ListFolder(source, entries) == catalog::Listing::Unreadable) {
        const int error = listingError(source);
        if (topLevel && error == ENOENT) {
            walk.counts.sourceMissing = true;
        } else {
            leaveOut(walk, source, std::strerror(error));
        }
        return;
    }
    if (!walk.guard.enter(source)) {
        leaveOut(walk, source, "文件夹循环");
        return;
    }
    copyRecords(source, entries, target, topLevel, walk);
    for (const auto& entry : entries) {
        if (!entry.isFolder) {
            continue;
        }
        const std::string from = catalog::ChildPath(source, entry.name);
        if (entry.isLink) {
            leaveOut(walk, withoutSlash(from), "符号链接，未跟随");
            continue;
        }
        const auto name = mappedName(entry.name, topLevel, walk);
        if (!name) {
            leaveOut(walk, withoutSlash(from), "名称无法写成 GBK");
            FolderWalkGuard guard;
            const long long files = countRecordFiles(from, guard);
            walk.counts.filesNotCopied += files;
            advance(walk, static_cast<std::size_t>(files));
            continue;
        }
        const std::string into = catalog::ChildPath(target, *name);
        createFolder(into, walk);
        copyTree(from, into, false, walk);
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

// True when `to` is a regular file of copiedSize bytes and `from`, still that size, is
// another file: a link can make a source and its copy one file.
bool ArrivedWhole(const std::string& from, const std::string& to, off_t copiedSize)
{
    struct stat source = {};
    struct stat target = {};
    return ::stat(from.c_str(), &source) == 0 && ::lstat(to.c_str(), &target) == 0 &&
           S_ISREG(target.st_mode) && target.st_size == copiedSize &&
           source.st_size == copiedSize &&
           (source.st_dev != target.st_dev || source.st_ino != target.st_ino);
}

// Deletes from source what was copied to target and the folders that become empty.
void removeCopied(const std::string& source, const std::string& target, TreeTransfer& counts)
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
                         catalog::ChildPath(target, entry.name), counts);
            continue;
        }
        if (entry.isFolder) {
            continue; // a link to a folder: its content stays where it is
        }
        if (!catalog::IsRecordFileName(entry.name) || !PathExistsNoFollow(target + entry.name)) {
            continue; // not a record file, or its copy failed: it stays
        }
        if (!ArrivedWhole(path, target + entry.name, info.st_size) ||
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

TreeTransfer CopyRecordTree(const std::string& source, const std::string& target,
                            const TreeCopyOptions& options)
{
    refuseTargetInsideSource(source, target);
    CopyWalk walk;
    walk.options = &options;
    createFolder(target, walk);
    copyTree(source, target, true, walk);
    return walk.counts;
}

long long RecordFilesBelow(const std::string& folder)
{
    FolderWalkGuard guard;
    return countRecordFiles(catalog::WithSlash(folder), guard);
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
    TreeTransfer counts = CopyRecordTree(source, target);
    if (::lstat(from.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        // The tree behind a linked source is not ours to empty; the link itself goes.
        ::unlink(from.c_str());
        return counts;
    }
    removeCopied(source, target, counts);
    return counts;
}

} // namespace organize
