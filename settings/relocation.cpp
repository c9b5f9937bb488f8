#include "settings/relocation.h"

#include "catalog/disk.h"
#include "catalog/library.h"
#include "catalog/record_set.h"

#include <sys/statvfs.h>

#include <algorithm>
#include <filesystem>

namespace settings {

std::optional<std::uint64_t> FreeBytes(const std::string& folder)
{
    struct statvfs info {};
    if (statvfs(folder.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
}

NewLocation ChooseLibraryLocation(const std::string& chosenFolder, const std::string& shownRoot,
                                  const std::string& currentRoot, const FreeSpaceQuery& freeBytes)
{
    const std::string folder = catalog::WithSlash(chosenFolder);
    if (folder == catalog::WithSlash(shownRoot)) {
        return {};
    }
    const std::string root = folder + std::string(catalog::LibraryRootCaption) + "/";
    const bool inside = catalog::LiesInside(currentRoot, root);
    if (inside && catalog::LiesInside(root, currentRoot)) {
        return {LocationChoice::Accepted, currentRoot}; // the library's own parent folder
    }
    // A copy into the library's own tree would read what it writes.
    if (inside) {
        return {LocationChoice::InsideLibrary, {}};
    }
    const auto free = freeBytes(folder);
    if (!free || *free == 0) {
        return {LocationChoice::NoSpace, {}};
    }
    return {LocationChoice::Accepted, root};
}

bool HoldsLibrary(const std::string& root)
{
    std::vector<catalog::DirEntry> entries;
    if (catalog::ListFolder(root, entries) == catalog::Listing::Unreadable) {
        return false;
    }
    return std::any_of(entries.begin(), entries.end(), [](const catalog::DirEntry& entry) {
        return (entry.isFolder && !entry.isLink) || catalog::IsRecordFileName(entry.name);
    });
}

organize::TreeTransfer RelocateLibrary(const std::string& currentRoot, const std::string& newRoot)
{
    if (catalog::LiesInside(currentRoot, newRoot)) {
        throw organize::TargetInsideSource("the new library lies inside the library");
    }
    return organize::CopyRecordTree(currentRoot, newRoot);
}

} // namespace settings
