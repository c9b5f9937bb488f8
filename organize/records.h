#pragma once

#include "catalog/disk.h"
#include "catalog/record_set.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

// CD records carried from box to box and removed, each as a unit, for the organizing
// routines. Folders are native and end in "/"; names are GBK.
namespace organize {

// Files an operation on records could not carry or remove.
struct RecordCounts
{
    int filesNotCopied = 0;
    int filesNotDeleted = 0;
};

using catalog::Carry;

// Carries CD records into one box for one command, each under the locks of its source and
// target boxes and as one unit: a move renames each file where it can; across file
// systems it copies, and the sources go once the copies are in place.
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
    // The record nameGbk of sourceFolder, carried as targetNameGbk. The one record that the
    // name test finds at the target (the exact name, else one named like it) is replaced,
    // whole, only when replace() says so; it is asked without holding the box's lock.
    Outcome carry(const std::string& sourceFolder, const std::string& nameGbk,
                  const std::string& targetNameGbk, const std::function<bool()>& replace);
    // The counts of the whole command.
    RecordCounts finish() const { return m_counts; }

    // errno of the last file that could not be carried.
    int lastError() const { return m_lastError; }

private:
    catalog::RecordFolder& index(const std::string& folder);

    std::string m_targetFolder;
    Carry m_how;
    std::map<std::string, std::unique_ptr<catalog::RecordFolder>> m_indexes;
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

// Removes records of one folder, each whole (every spelling of each of the kinds) and as a
// unit, under the folder's lock: deleted, or moved to the trash where the file system has one.
void RemoveRecords(const std::string& folder, const std::vector<std::string>& namesGbk,
                   const std::vector<catalog::RecordKind>& kinds, Removal how,
                   RemovalCounts& counts);

// True when both paths lead to one folder.
bool SameFolder(const std::string& a, const std::string& b);

// The locks of two box folders, taken in one order by every command so that two commands
// never wait on each other; one lock when both are one folder.
class TwoFolderLock
{
public:
    TwoFolderLock(const std::string& a, const std::string& b);

private:
    std::optional<catalog::FolderLock> m_first;
    std::optional<catalog::FolderLock> m_second;
};

} // namespace organize
