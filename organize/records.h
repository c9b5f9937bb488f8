#pragma once

#include "catalog/disk.h"
#include "organize/file_copy.h"

#include <ctime>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// Records and search entries of the library as sets of files, for the organizing
// routines: carried from box to box, renamed and deleted whatever the spelling of their
// extensions. Folders are native and end in "/"; names are GBK.
namespace organize {

// One file of a record: its extension upper-cased and as it is spelled when written.
struct RecordFileKind
{
    std::string_view upperExt;
    std::string_view written;
};

// A CD record's files in the order they travel: .Cdr (the listing), .Tag, .Mx, .FMx, .Ifn.
const std::vector<RecordFileKind>& CdRecordFiles();
// A found-folder entry's files: .Fid, .Tag, .mx, .fmx, .ifn.
const std::vector<RecordFileKind>& FoundFolderFiles();
// A found-CD entry's file: .Tgt.
const std::vector<RecordFileKind>& FoundCdFiles();

// The regular files of one folder, listed once for an operation on many records and
// listed anew only when something else changed the folder.
class FolderIndex
{
public:
    explicit FolderIndex(std::string folder);
    const std::string& folder() const { return m_folder; }

    // Names of the regular files baseGbk + an extension equal to kind's ignoring case; with
    // anyCaseBase the base too is compared ignoring ASCII case. The spelling as written
    // comes first, then the upper-case and the lower-case one, then the rest by bytes.
    std::vector<std::string> files(std::string_view baseGbk, const RecordFileKind& kind,
                                   bool anyCaseBase);
    // Whether a CD named like nameGbk (ASCII case ignored) has a .cdr, .mx, .fmx or .ifn:
    // a lone .tag is what a killed scan leaves.
    bool recordTaken(std::string_view nameGbk);

    // What this process changed in the folder.
    void added(const std::string& name);
    void removed(const std::string& name);

private:
    void listIfChanged();
    void noteOwnChange();

    std::string m_folder;
    timespec m_listedAt = {-1, 0};
    std::unordered_map<std::string, std::vector<std::string>> m_byUpperName;
};

// Files an operation on records could not carry or remove.
struct RecordCounts
{
    int filesNotCopied = 0;
    int filesNotDeleted = 0;
};

enum class Carry { Copy, Move };

// Carries CD records into one box for one command: a move renames each file where it
// can; across file systems it copies, and the sources go at finish(), once the copies
// are on the disk whole.
class RecordCarrier
{
public:
    RecordCarrier(const std::string& targetFolder, Carry how);

    enum class Outcome {
        Carried,
        Declined,  // the user kept the record at the target
        NoListing, // the source has no .cdr
        Failed,    // the .cdr could not be carried: nothing was
    };
    // The record nameGbk of sourceFolder, carried as targetNameGbk. A record of that name
    // at the target (ASCII case ignored) is replaced, whole, only when replace() says so;
    // it is asked without holding the box's lock.
    Outcome carry(const std::string& sourceFolder, const std::string& nameGbk,
                  const std::string& targetNameGbk, const std::function<bool()>& replace);
    // Deletes the sources of copies made by a move. Returns the counts of the whole command.
    RecordCounts finish();

    FolderIndex& index(const std::string& folder);
    // errno of the last file that could not be carried.
    int lastError() const { return m_lastError; }

private:
    bool transfer(FolderIndex& source, const std::string& nameGbk,
                  const std::string& targetNameGbk);
    bool deliver(FolderIndex& source, const std::string& from, const std::string& to);

    std::string m_targetFolder;
    Carry m_how;
    std::map<std::string, FolderIndex> m_indexes;
    SourceRemovals m_removals;
    RecordCounts m_counts;
    int m_lastError = 0;
};

// How files leave the library.
enum class Removal { Delete, Trash };

struct RemovalCounts
{
    int filesNotDeleted = 0;
    bool trashed = false;
};

// Removes every spelling of each of the kinds of files of nameGbk in the folder: deleted,
// or moved to the trash where the file system has one.
void RemoveRecordFiles(FolderIndex& folder, const std::string& nameGbk,
                       const std::vector<RecordFileKind>& kinds, Removal how,
                       RemovalCounts& counts);

// True when both paths lead to one folder.
bool SameFolder(const std::string& a, const std::string& b);

} // namespace organize
