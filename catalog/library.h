#pragma once

#include "catalog/disk.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {
class SettingsStore;
}

// Where the catalogue library lives and how its folders and names map to what is shown.
// Library root and other file system paths are native (UTF-8) and end in "/"; box paths
// and record paths are GBK, relative to the root, each name followed by a backslash.
namespace catalog {

// Node kinds, carried as image index by box tree nodes and CD list items.
namespace BoxNode {
inline constexpr int LibraryRoot = 0;
inline constexpr int Box = 1;
inline constexpr int BoxSelected = 2;
inline constexpr int ResultsFolder = 3;
inline constexpr int Category = 4;
inline constexpr int LocalDrives = 5;
} // namespace BoxNode

namespace ListItem {
inline constexpr int Box = 0;
inline constexpr int CdRecord = 2;
inline constexpr int FoundFolder = 3;
inline constexpr int FoundCd = 4;
inline constexpr int FirstDrive = 5;
} // namespace ListItem

// Caption of the library root node.
inline constexpr std::string_view LibraryRootCaption = "Orlendy";

// 0xFF + GBK "查找结果": the search results folder directly under the library root.
const std::string& ResultsFolderName();
// 0xFF + GBK "本地光驱": caption of the local drives node.
const std::string& LocalDrivesName();
// The six boxes of a new library, in the order they are created.
const std::vector<std::string>& DefaultBoxNames();

// Caption as shown: the two special names lose their 0xFF byte.
std::string_view DisplayCaption(std::string_view gbk);

// Registry key and value that may hold the library root.
inline constexpr std::string_view SoftwareKey = "\\software\\Vellumark";
inline constexpr std::string_view LibraryRootValue = "光盘存放在";

// The stored root when it names an existing folder and ends in "/", else defaultRoot;
// a missing root is created with the six default boxes. Throws FileError when the root
// cannot be created.
std::string ResolveLibraryRoot(const platform::SettingsStore& settings,
                               const std::string& defaultRoot);

// Creates a library root (one level) and the six default boxes under it.
void CreateLibrary(const std::string& root);

// path ends in "/": true when the entry without the last character exists and is not
// hidden (a name starting with "."). A plain file counts.
bool FolderExists(const std::string& path);
// path ends in "/": true when the folder has no entry, also when it cannot be listed.
bool FolderIsEmpty(const std::string& path);

// True when folder (ending in "/") holds an entry, hidden or not, named like nameGbk,
// ignoring ASCII case: a library must stay usable on the case-insensitive file systems
// such libraries come from.
bool NameTaken(const std::string& folder, std::string_view nameGbk);

enum class NewBox { Created, Dropped, Refused, Exists };
// Creates the box nameGbk (as typed, blanks kept) in the folder of a box (native, ending
// in "/"), holding the folder's lock across the check and the creation. Dropped: blank
// name; Refused: a forbidden character, "." or ".."; Exists: the name is taken.
// Throws FileError when the folder cannot be created.
NewBox CreateBox(const std::string& parentFolder, const std::string& nameGbk);
// "已存在光盘盒: " and the name (UTF-8).
std::string BoxExistsMessage(const std::string& nameGbk);

// Library-relative GBK path (names joined by backslashes) -> native path under root.
// The path must be trusted: a path read from a file or typed goes through
// SplitRelativePath first.
std::string LibraryPath(const std::string& root, std::string_view relativeGbk);

// True when nameGbk can stand as one path component inside its parent: not empty, not
// "." or "..", and holding neither "/" nor NUL.
bool IsSafeName(std::string_view nameGbk);
// The names of a library-relative GBK path (joined by backslashes, one trailing
// backslash allowed), or nullopt when a name is not safe (empty, ".", "..", "/", NUL).
std::optional<std::vector<std::string>> SplitRelativePath(std::string_view relativeGbk);
// The path with symbolic links resolved as far as it exists, normalised, without a
// closing "/"; "" when it cannot be resolved.
std::string ResolvedPath(const std::string& path);

// The one test of a path lying inside a folder: true when path (native; a folder or a
// file, existing or not) is root or lies inside it, once symbolic links are resolved as
// far as the path exists. False when either cannot be resolved.
bool LiesInside(const std::string& root, const std::string& path);

// The record a pointer file (.Tgt) names: its first line, a library-relative record name
// followed by a four-character extension, found whatever the spelling of its extension.
// nullopt when the line is not a safe path inside the library or the record has no .cdr.
std::optional<RecordRef> PointerTarget(const std::string& libraryRoot,
                                       std::string_view pointerTextGbk);
// "查找结果指向的文件 entry 不存在！": the record a found-CD entry points to is gone.
std::string PointerTargetGoneMessage(const std::string& entryUtf8);

// Joins a folder (ending in "/") and one GBK name into a native path.
std::string ChildPath(const std::string& folder, std::string_view nameGbk);

// User-given names for boxes, CDs and nodes of a CD tree.
enum class NameUse { BoxInTree, BoxInList, Cd, TreeNode };
enum class NameCheck { Accepted, Dropped, Refused };

// Dropped: blank after trimming (no message). Refused: holds one of \ / * ? : " > < |,
// a NUL, or is "." or "..".
NameCheck CheckName(std::string_view nameGbk);
// The refusal text for the operation (UTF-8; the break before the list is a CR).
const std::string& NameRefusalMessage(NameUse use);

// A name read from a disc or a folder tree as the library holds it: "?" for what would
// break a record or a path naming it (TAB, CR and LF end or indent a line, a backslash
// joins the names of a path, leading blanks read back as depth). True when it changed.
bool ReplaceNameBreakers(std::string& nameGbk);

} // namespace catalog
