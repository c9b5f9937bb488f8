#pragma once

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// Import of CD records from another folder tree, backup of the library into a chosen
// folder, and the rebuild of the icon files. Files only: the window and the CLI ask the
// questions and report the outcome. Folders are native paths ending in "/"; texts meant
// for the user are UTF-8. Failing to create or list a folder throws catalog::FileError.
namespace maintenance {

// ---- Messages ----------------------------------------------------------------------------

// "不能从自己的父文件夹、自己及自己的子文件夹中导入!"
std::string ImportRefusalMessage();
// "不能备份给自己的父文件夹、自己及自己的子文件夹!"
std::string BackupRefusalMessage();

// ---- Import and backup -------------------------------------------------------------------

// Told once the files to copy are counted, and after every file (copied or not).
struct CopyHooks
{
    std::function<void(long long total)> counted;
    std::function<void()> advanced;
};

struct CopyCounts
{
    long long filesCopied = 0;
    long long filesNotCopied = 0;            // copies that failed, names skipped included
    long long cdsCopied = 0;                 // CDs (records with a listing) that arrived whole
    std::vector<std::string> skippedUtf8;    // items left out for their names, as paths
};

// True when source is the library itself, lies inside it, or contains it (its parent
// folder or any further ancestor): the copy would read what it writes.
bool ImportRefused(const std::string& libraryRoot, const std::string& source);

// Copies every record file below source into the same relative place under the library
// root, merging into boxes of the same name and replacing records of the same name; files
// that are not record files are left out. Each name is judged on its own (GBK bytes, or
// UTF-8 from a Windows copy); a name that GBK cannot hold is skipped and reported. Refused sources (ImportRefused) throw std::invalid_argument.
CopyCounts ImportRecords(const std::string& libraryRoot, const std::string& source,
                         const CopyHooks& hooks = {});

// The file system a backup writes to, so that a test can fake one. Each call returns 0
// or the errno of the failure; copyFile returns the size copied or -1.
class BackupTarget
{
public:
    virtual ~BackupTarget() = default;
    virtual int makeFolder(const std::string& folder);
    // Creates and removes a file of that name in folder.
    virtual int probe(const std::string& folder, const std::string& name);
    // Copies from into the open temporary file that becomes to.
    virtual off_t copyFile(const std::string& from, int toFd, const std::string& to);
};

// True when target is the library itself, lies inside it, or is its parent folder (the
// backup folder would be the library).
bool BackupRefused(const std::string& libraryRoot, const std::string& target);

// The folder a backup into target writes: target + "Orlendy/".
std::string BackupFolder(const std::string& target);

struct BackupCounts : CopyCounts
{
    bool namesInUtf8 = false; // the target refused GBK names
};

// Copies the library's boxes and record files into BackupFolder(target), replacing files
// of the same name and keeping the others. Names stay GBK where the target takes them and
// become UTF-8 where it refuses them (asked once, with a probe). Refused targets
// (BackupRefused) throw std::invalid_argument.
BackupCounts BackupLibrary(const std::string& libraryRoot, const std::string& target,
                           const CopyHooks& hooks = {});
BackupCounts BackupLibrary(const std::string& libraryRoot, const std::string& target,
                           BackupTarget& fileSystem, const CopyHooks& hooks = {});

// ---- Icon rebuild --------------------------------------------------------------------------

// The records of a box are rebuilt on every core; the hooks are called one at a time.
struct RebuildHooks
{
    // Asked before every record and every folder: true ends the walk.
    std::function<bool()> aborted;
    // A record is about to be rebuilt (its GBK name), and then it is done or skipped.
    std::function<void(const std::string& cdNameGbk)> starting;
    std::function<void()> advanced;
};

struct RebuildCounts
{
    long long rebuilt = 0;
    std::vector<std::string> skippedUtf8; // records left alone: path and reason
    bool aborted = false;
};

enum class RebuildStatus { Rebuilt, BrokenListing };

// The record's icon file made again from its old one: "0" for the first node, "1" for
// every node whose old class is 1, IconClassOf(text) for the rest. A node the old file has
// no number for (it is missing, short, or holds a line that is not a number from there on)
// gets what the tree says (IconListFromTree). Nothing is written when the listing does not
// load. Throws FileError when a file cannot be read.
RebuildStatus RebuildTagFromOldTag(const std::string& listingPath);

// Every record below folder (the search results folder too), with its old icon file when
// it has one and from its tree otherwise. Records whose listing cannot be read are
// skipped, each reported with its path and the reader's own reason.
RebuildCounts RebuildIconsUnder(const std::string& folder, const RebuildHooks& hooks = {});

// The "重建图标索引完成！" text, with the number of records skipped when there were any.
std::string RebuildDoneMessage(const RebuildCounts& counts);
// RebuildDoneMessage followed by the skipped records and their reasons, one a line (the
// first SkippedRecordsShown of them), for a message box.
std::string RebuildReport(const RebuildCounts& counts);
inline constexpr std::size_t SkippedRecordsShown = 20;

} // namespace maintenance
