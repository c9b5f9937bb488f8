#include "maintenance/maintenance.h"

#include "maintenance/import_names.h"

#include "catalog/disk.h"
#include "catalog/library.h"
#include "catalog/record_files.h"
#include "catalog/text.h"
#include "catalog/tree.h"
#include "catalog/tree_text.h"
#include "organize/tree_copy.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <unordered_map>

namespace maintenance {
namespace {

using catalog::DirEntry;

constexpr std::string_view ResultsWordsUtf8 = "查找结果";
// The results folder as a UTF-8 file system shows it: its 0xFF byte read as U+00FF (this
// program's backups) or as the private-use character Windows maps it to.
constexpr std::string_view ResultsLeadLatin = "\xC3\xBF";
constexpr std::string_view ResultsLeadPrivate = "\xEF\xA3\xB5";

bool isAscii(std::string_view name)
{
    for (const char c : name) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

bool isResultsFolderName(std::string_view name)
{
    if (name == catalog::ResultsFolderName()) {
        return true;
    }
    for (const std::string_view lead : {ResultsLeadLatin, ResultsLeadPrivate}) {
        if (name.size() == lead.size() + ResultsWordsUtf8.size() && name.starts_with(lead) &&
            name.ends_with(ResultsWordsUtf8)) {
            return true;
        }
    }
    return false;
}

// Well-formed GBK: decoding finds no byte it cannot place.
bool isWellFormedGbk(std::string_view name)
{
    return isAscii(name) || catalog::gbkToUtf8(name).find("\xEF\xBF\xBD") == std::string::npos;
}

CopyCounts runCopy(const std::string& source, const std::string& target, BackupTarget& fileSystem,
                   const CopyHooks& hooks, organize::TreeCopyOptions options)
{
    if (hooks.counted) {
        hooks.counted(organize::RecordFilesBelow(source));
    }
    options.advanced = hooks.advanced;
    options.makeFolder = [&](const std::string& folder) { return fileSystem.makeFolder(folder); };
    options.copyFile = [&](const std::string& from, int toFd, const std::string& to) {
        return fileSystem.copyFile(from, toFd, to);
    };
    const organize::TreeTransfer copied = organize::CopyRecordTree(source, target, options);
    CopyCounts counts;
    counts.filesCopied = copied.filesCopied;
    counts.filesNotCopied = copied.filesNotCopied;
    counts.cdsCopied = copied.cdsCopied;
    counts.skippedUtf8 = copied.skippedUtf8;
    return counts;
}

// Every name of the tree that the import writes (boxes and the bases of record files),
// for the judgement of each by the others.
void observeNames(const std::string& folder, ImportNames& names, catalog::FolderWalkGuard& guard)
{
    std::vector<DirEntry> entries;
    if (catalog::ListFolder(folder, entries) == catalog::Listing::Unreadable ||
        !guard.enter(folder)) {
        return;
    }
    for (const auto& entry : entries) {
        if (entry.isFolder && !entry.isLink) {
            names.observe(entry.name);
            observeNames(catalog::ChildPath(folder, entry.name), names, guard);
        } else if (!entry.isFolder && catalog::IsRecordFileName(entry.name)) {
            names.observe(std::string_view(entry.name).substr(0, entry.name.rfind('.')));
        }
    }
    guard.leave();
}

// A name that the probe uses: GBK bytes that are not UTF-8 ("测试").
// Named as a temporary file of this process, so that one left by a kill is swept.
std::string probeName()
{
    return ".vellumark-tmp-" + std::to_string(::getpid()) + "-probe\xB2\xE2\xCA\xD4";
}

} // namespace

std::string ImportRefusalMessage()
{
    return "不能从自己的父文件夹、自己及自己的子文件夹中导入!";
}

std::string BackupRefusalMessage()
{
    return "不能备份给自己的父文件夹、自己及自己的子文件夹!";
}

bool ImportRefused(const std::string& libraryRoot, const std::string& source)
{
    // The parent folder and every further ancestor contain the library: the copy would
    // descend into what it writes.
    return catalog::LiesInside(libraryRoot, source) || catalog::LiesInside(source, libraryRoot);
}

CopyCounts ImportRecords(const std::string& libraryRoot, const std::string& source,
                         const CopyHooks& hooks)
{
    if (ImportRefused(libraryRoot, source)) {
        throw std::invalid_argument(ImportRefusalMessage());
    }
    ImportNames names;
    catalog::FolderWalkGuard guard;
    observeNames(catalog::WithSlash(source), names, guard);
    BackupTarget fileSystem;
    organize::TreeCopyOptions options;
    options.mapName = [&names](const std::string& name, bool topLevel) {
        if (topLevel && isResultsFolderName(name)) {
            return std::optional<std::string>(catalog::ResultsFolderName());
        }
        // A name the scanner would not write (a line break, a backslash, a leading blank)
        // could be neither shown whole nor addressed: it gets the scanner's "?".
        std::optional<std::string> nameGbk = names.gbkName(name);
        if (nameGbk) {
            catalog::ReplaceNameBreakers(*nameGbk);
        }
        return nameGbk;
    };
    return runCopy(catalog::WithSlash(source), catalog::WithSlash(libraryRoot), fileSystem, hooks,
                   std::move(options));
}

int BackupTarget::makeFolder(const std::string& folder)
{
    std::string path = folder;
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return ::mkdir(path.c_str(), 0777) == 0 ? 0 : errno;
}

int BackupTarget::probe(const std::string& folder, const std::string& name)
{
    const std::string path = folder + name;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        return errno == EEXIST ? 0 : errno;
    }
    ::close(fd);
    ::unlink(path.c_str());
    return 0;
}

off_t BackupTarget::copyFile(const std::string& from, int toFd, const std::string&)
{
    return catalog::CopyRegularFile(from, toFd);
}

bool BackupRefused(const std::string& libraryRoot, const std::string& target)
{
    // The backup folder must neither be the library (its parent's "Orlendy", or a link into
    // it) nor lie inside it, nor hold it: the copy would read what it writes.
    const std::string folder = BackupFolder(target);
    return catalog::LiesInside(libraryRoot, target) || catalog::LiesInside(libraryRoot, folder) ||
           catalog::LiesInside(folder, libraryRoot);
}

std::string BackupFolder(const std::string& target)
{
    return catalog::WithSlash(target) + std::string(catalog::LibraryRootCaption) + "/";
}

BackupCounts BackupLibrary(const std::string& libraryRoot, const std::string& target,
                           const CopyHooks& hooks)
{
    BackupTarget fileSystem;
    return BackupLibrary(libraryRoot, target, fileSystem, hooks);
}

BackupCounts BackupLibrary(const std::string& libraryRoot, const std::string& target,
                           BackupTarget& fileSystem, const CopyHooks& hooks)
{
    if (BackupRefused(libraryRoot, target)) {
        throw std::invalid_argument(BackupRefusalMessage());
    }
    const std::string folder = BackupFolder(target);
    // Made here for the probe; the copy finds it there.
    const int made = fileSystem.makeFolder(folder);
    if (made != 0 && !(made == EEXIST && catalog::IsFolder(folder))) {
        catalog::throwFileError(folder, made == EEXIST ? ENOTDIR : made);
    }
    const int probed = fileSystem.probe(folder, probeName());
    const bool utf8 = probed == EINVAL || probed == EILSEQ;
    BackupCounts counts;
    counts.namesInUtf8 = utf8;
    organize::TreeCopyOptions options;
    // A backup is a copy of the library as it is, case twins and all.
    options.oneRecordPerName = false;
    options.mapName = [utf8](const std::string& name, bool topLevel) -> std::optional<std::string> {
        if (!utf8 || isAscii(name)) {
            return name;
        }
        if (topLevel && name == catalog::ResultsFolderName()) {
            return std::string(ResultsLeadLatin) + std::string(ResultsWordsUtf8);
        }
        if (!isWellFormedGbk(name)) {
            return std::nullopt;
        }
        return catalog::gbkToUtf8(name);
    };
    static_cast<CopyCounts&>(counts) =
        runCopy(catalog::WithSlash(libraryRoot), folder, fileSystem, hooks, std::move(options));
    return counts;
}

} // namespace maintenance
