#pragma once

#include "catalog/disk.h"
#include "search/folder_listings.h"

#include <fcntl.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

// The walk of a search over boxes: every entry in the order the file system lists it,
// depth first; the search results folder and linked boxes are left out, and a .cdr file
// with a .tag companion is a CD record (catalog::CdRecordBase). Searches and the search index
// walk alike.
namespace search {

// One record's files: names in folder ("" for a file that is not there), and the open
// folder when the walk has one.
struct RecordFiles
{
    std::string cdr, tag, mx, fmx, ifn;
    int folderFd = AT_FDCWD;
    std::vector<std::string> special; // FIFOs, devices...: an error when read
    // The stamps of the .cdr, .mx and .fmx files, taken by the walk when asked to.
    std::array<FileStamp, IndexedTexts> stamps;
    std::array<bool, IndexedTexts> stamped{};
};

class RecordWalk
{
public:
    virtual ~RecordWalk() = default;

    // folder is native and ends in "/"; relativeBox is the box path in GBK ending in a
    // backslash, "" for the library itself.
    void walkBox(const std::string& folder, const std::string& relativeBox);
    // The records of that folder alone, not of the boxes inside it.
    void walkFolder(const std::string& folder, const std::string& relativeBox);
    // A folder whose stamp is the one known kept is not listed again; what the walk lists
    // goes into seen. Either may be null.
    void useListings(const FolderListings* known, FolderListings* seen)
    {
        m_known = known;
        m_seen = seen;
    }
    // Stamps these files of every record before it is visited, on two threads: a few boxes
    // of each folder are read ahead of their walks, so that their records are stamped while
    // the records before them are visited.
    void stampFiles(const std::array<bool, IndexedTexts>& texts);

protected:
    // relative is the box path and the CD name; folder is where the files' names lie when
    // they are relative to files.folderFd, "" when they are full paths.
    virtual void visit(const std::string& relative, const RecordFiles& files,
                       const std::string& folder) = 0;
    // Asked before every entry of a folder: true stops this walk and every walk above it.
    virtual bool aborted() = 0;

private:
    const std::vector<catalog::DirEntry>& entriesOf(const std::string& folder, int folderFd,
                                                    std::vector<catalog::DirEntry>& listed);

    struct Folder;
    class StampQueue;
    std::shared_ptr<Folder> readFolder(const std::string& folder, const std::string& relativeBox,
                                       std::size_t depth);
    void walkRead(const std::shared_ptr<Folder>& read);
    bool isBoxToWalk(const catalog::DirEntry& entry) const;

    catalog::FolderWalkGuard m_guard;
    std::shared_ptr<StampQueue> m_stamps;
    const FolderListings* m_known = nullptr;
    FolderListings* m_seen = nullptr;
    bool m_intoBoxes = true;
};

} // namespace search
