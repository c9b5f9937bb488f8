#pragma once

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

// Files a copy or move could not carry: copies that failed (their sources stay) and
// sources of a move that stayed although copied.
struct TreeTransfer
{
    int filesNotCopied = 0;
    int filesNotDeleted = 0;
};

// The eight extensions that make up records and search results (ASCII case ignored).
bool IsRecordFileName(const std::string& name);

// The record files of a folder that copies go into, by base name and upper-cased
// extension: a file written there replaces the other spellings of its name, so no record
// keeps two spellings of one file side by side. Leftovers of a killed writer go.
class RecordSpellings
{
public:
    explicit RecordSpellings(const std::string& folder);
    // True when some spelling of name is there.
    bool has(const std::string& name) const;
    // name was just written: its other spellings are removed.
    void written(const std::string& name);

private:
    std::string m_folder;
    std::unordered_map<std::string, std::vector<std::string>> m_names;
};

// Creates target (one level) when missing, then copies every sub-folder and every record
// file of source into it, replacing files of the same name whatever the case of their
// extension. Refused (throws TargetInsideSource) when target lies inside source. A missing
// source gives an empty target; a source folder that cannot be listed throws FileError.
TreeTransfer CopyRecordTree(const std::string& source, const std::string& target);

// Deletes every file and folder below folder, then folder itself. Nothing happens when
// it does not exist. Symbolic links are removed, never followed.
void DeleteFolderTree(const std::string& folder);

// Moves a tree: a rename when both lie on one file system and target does not exist, else
// a copy of the record files, flushed to the disk, followed by the deletion of only what
// arrived whole. Files that are not record files are left in the source, which then stays.
TreeTransfer MoveRecordTree(const std::string& source, const std::string& target);

} // namespace organize
