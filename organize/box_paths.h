#pragma once

#include <string>
#include <string_view>
#include <vector>

// Box paths given to the organizing routines, checked before they reach the file system.
namespace organize {

// The names of a box path (GBK names each followed by a backslash, "" the library root).
// Throws catalog::FileError (EINVAL) when a name is not one path component.
std::vector<std::string> BoxNames(std::string_view boxPathGbk);

// The native folder of a box path, ending in "/". Throws catalog::FileError when a name is
// not one path component (EINVAL) or when the folder does not exist inside the library
// once symbolic links are resolved (ENOENT).
std::string BoxFolder(const std::string& root, std::string_view boxPathGbk);

// The box path of the box that holds it ("" for a top-level box and for the root).
std::string ParentBoxPath(std::string_view boxPathGbk);

// The text of the box's node: its name, "Orlendy" for the root.
std::string BoxText(std::string_view boxPathGbk);

// True when the caption of a list item can be one name inside its box: one path component
// without a backslash.
bool IsItemName(std::string_view captionGbk);

} // namespace organize
