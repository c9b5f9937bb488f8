#pragma once

#include "organize/tree_copy.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// Moving the library to a new place: the new root is chosen, then the record files are
// copied there; the old library stays as it was.
namespace settings {

// Bytes free for the user on the file system of folder; nullopt when it cannot be asked.
std::optional<std::uint64_t> FreeBytes(const std::string& folder);
using FreeSpaceQuery = std::function<std::optional<std::uint64_t>(const std::string&)>;

enum class LocationChoice {
    Unchanged,     // the folder is the one already shown: nothing happens
    Accepted,      // root holds the new library root
    NoSpace,       // no free space on the folder's file system
    InsideLibrary, // the new root is the library itself or lies inside it
};
struct NewLocation
{
    LocationChoice choice = LocationChoice::Unchanged;
    std::string root; // native, ends in "/"
};

// The library root for a folder chosen in the folder browser: the folder + "Orlendy/".
// shownRoot is the root the dialog shows, currentRoot the library's.
NewLocation ChooseLibraryLocation(const std::string& chosenFolder, const std::string& shownRoot,
                                  const std::string& currentRoot,
                                  const FreeSpaceQuery& freeBytes = FreeBytes);

// True when root already holds a library (a box or a record file): a move there merges
// the two libraries.
bool HoldsLibrary(const std::string& root);

// Copies every box and record file of the library at currentRoot to newRoot (created one
// level deep when missing). Throws organize::TargetInsideSource before anything is copied
// when newRoot lies inside the library, catalog::FileError when a folder cannot be made.
organize::TreeTransfer RelocateLibrary(const std::string& currentRoot, const std::string& newRoot);

} // namespace settings
