#pragma once

#include "catalog/record_set.h"

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

// Copying, moving and deleting folder trees of the library. Folders are native paths
// ending in "/". Failures to create or remove a folder throw catalog::FileError; single
// file copies and deletions fail silently.
namespace organize {

// A copy or move whose target is its source or lies inside it: it would descend into its
// own output. Thrown before anything is changed.
class TargetInsideSource : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// What a copy or move did: files copied, files it could not carry (their sources stay),
// sources of a move that stayed although copied, and each folder, link or name it left
// out, with the reason (UTF-8). A copy with anything left out is not complete.
struct TreeTransfer
{
    long long filesCopied = 0;
    long long filesNotCopied = 0;
    long long filesNotDeleted = 0;
    // CDs (records with a listing) that a copy put in place whole; a batch of records that
    // failed in part counts none of its CDs.
    long long cdsCopied = 0;
    std::vector<std::string> skippedUtf8;
    bool sourceMissing = false; // the source folder was not there: nothing was copied
};

// How CopyRecordTree writes its target; the defaults copy a library tree into a library.
struct TreeCopyOptions
{
    // The name an entry of the source gets at the target; nullopt leaves it out (reported).
    // topLevel: the entry lies directly in the source folder.
    std::function<std::optional<std::string>(const std::string& nameGbk, bool topLevel)> mapName;
    // Creates one folder: 0, or the errno of the failure.
    std::function<int(const std::string& folder)> makeFolder;
    // Copies a file into an open temporary file that becomes `to` (its size, or -1).
    catalog::RecordTransfer::CopyFile copyFile;
    // Told after every record file, copied or not.
    std::function<void()> advanced;
    // A record of a name that differs only in ASCII case from one at the target is that
    // record (a library's rule); a backup, a plain copy, keeps names apart.
    bool oneRecordPerName = true;
};

// Creates target (one level) when missing, then copies every sub-folder and every record
// file of source into it. Each record is a unit: the record of its name at the target is
// replaced whole, and a crash leaves it old or new. It goes on past a folder it cannot
// list, a link to a folder (never followed) and a file it cannot copy, counting and naming
// each. Refused (throws TargetInsideSource) when target lies inside source. A missing
// source gives an empty target and sourceMissing; a target folder that cannot be created
// throws FileError.
TreeTransfer CopyRecordTree(const std::string& source, const std::string& target,
                            const TreeCopyOptions& options = {});

// The record files below folder that CopyRecordTree would meet (links to folders not
// followed): what a progress bar counts up to.
long long RecordFilesBelow(const std::string& folder);

// Deletes every file and folder below folder, then folder itself. Nothing happens when
// it does not exist. Symbolic links are removed, never followed.
void DeleteFolderTree(const std::string& folder);

// Moves a tree: a rename when both lie on one file system and target does not exist, else
// a copy of the record files, flushed to the disk, followed by the deletion of only what
// arrived whole. Files that are not record files are left in the source, which then stays.
TreeTransfer MoveRecordTree(const std::string& source, const std::string& target);

} // namespace organize
