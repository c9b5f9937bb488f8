#pragma once

#include <string>

// Copying, moving and deleting folder trees of the library. Folders are native paths
// ending in "/". Failures to create or remove a folder throw catalog::FileError; single
// file copies and deletions fail silently.
namespace organize {

// The eight extensions that make up records and search results (ASCII case ignored).
bool IsRecordFileName(const std::string& name);

// Creates target (one level) when missing, then copies every sub-folder and every record
// file of source into it, replacing files of the same name whatever the case of their
// extension. Refused (throws TargetInsideSource) when target lies inside source.
void CopyRecordTree(const std::string& source, const std::string& target);

// Deletes every file and folder below folder, then folder itself. Nothing happens when
// it does not exist.
void DeleteFolderTree(const std::string& folder);

// Moves a tree: a rename when both lie on one file system, else a copy of the record
// files followed by the deletion of only what was copied. Files that are not record
// files are left in the source, which then stays.
void MoveRecordTree(const std::string& source, const std::string& target);

} // namespace organize
