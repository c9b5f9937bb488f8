#pragma once

#include "catalog/disk.h"
#include "search/index_bytes.h"
#include "search/index_segment.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The entries the walk of a search found in each folder of a library, kept beside its
// search index. Adding, removing or renaming an entry changes a folder's times, so a
// folder whose stamp is the one kept holds the entries kept, and a walk takes them from
// here instead of listing the folder again. A folder changed too recently to tell, or one
// holding links (what they lead to changes without the folder), is never kept.
namespace search {

class FolderListings
{
public:
    // Fills entries with those kept for folder (native, ending in "/") when its stamp is
    // now the one kept; false otherwise.
    bool fresh(const std::string& folder, const FileStamp& now,
               std::vector<catalog::DirEntry>& entries) const;
    // Keeps the entries listed after stamp was taken, or drops what was kept of the folder
    // when they cannot be trusted.
    void keep(const std::string& folder, const FileStamp& stamp,
              const std::vector<catalog::DirEntry>& entries);
    // Takes what newer keeps (and drops) over what this keeps; false when that changes
    // nothing (newer only drops folders this does not keep).
    bool merge(FolderListings newer);

    std::size_t size() const { return m_folders.size(); }
    // Whether any folder's entries are kept (not only dropped).
    bool keepsAny() const;
    std::string bytes() const;
    // nullopt for bytes that are not a whole, undamaged file of listings.
    static std::optional<FolderListings> read(std::string bytes);
    // The same from a file of listings, mapped rather than read. Throws catalog::FileError
    // when the file cannot be read.
    static std::optional<FolderListings> readFile(const std::string& path);

private:
    // A folder's entries stay as they are stored until a walk asks for them.
    struct Kept
    {
        FileStamp stamp; // stamp.changedNs -1: dropped
        std::uint32_t count = 0;
        std::string_view entries; // in one of m_owners
    };
    static std::optional<FolderListings> parse(index_bytes::HeldBytes held);

    std::unordered_map<std::string, Kept> m_folders;
    std::vector<std::shared_ptr<const void>> m_owners; // whatever holds the entries' bytes
};

// The stamp of an open folder (changedNs -1 while it is too recent to trust).
FileStamp StampFolder(int folderFd);

} // namespace search
