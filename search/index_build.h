#pragma once

#include "search/folder_listings.h"
#include "search/index_segment.h"

#include <functional>
#include <string>
#include <vector>

// Reading record files into the search index.
namespace search {

// How the index names a record: its box path and CD name (GBK, as a search shows them)
// and the extension of its .cdr file as spelled on disk ("软件\工具盘.Cdr").
std::string RecordKey(const std::string& relative, const std::string& cdrFile);
// The same into key, whose memory is kept.
void RecordKeyInto(std::string& key, const std::string& relative, const std::string& cdrFile);

// What the file name (in the folder open as folderFd, or a full path with AT_FDCWD) is
// now, through a link as a read sees it; the stamp of no file when name is "" or the file
// is gone. A file changed within the last racyNs (two seconds) gets a stamp that matches
// nothing: the file system's clock may not tell a change made right after this look, so
// it is read again next time.
constexpr std::int64_t DefaultRacyNs = 2'000'000'000;
FileStamp StampFile(int folderFd, const std::string& name, std::int64_t racyNs = DefaultRacyNs);

// The texts of one record that the index keeps, from the files a search reads.
struct RecordContent
{
    std::string listing, description, notes;
    // Views into the strings above: the listing, the description, the description lines
    // of the notes.
    RecordTexts texts() const;
};

// Where a record's files lie: one the index did not hold as it is on disk, met by a search
// and read again into the index after it; and each record an index build reads.
struct StaleRecord
{
    std::string relative;     // box path and CD name, GBK
    std::string folder;       // native, ending in "/"
    std::string cdr, mx, fmx; // file names in folder; "" for none
};

// Reads the records again into a new segment of the index, and keeps the entries of the
// folders a search listed itself (those kept were missing or out of date). Without an
// index nothing is written (the window or "index rebuild" makes one). When old entries
// outnumber the records, the index is rebuilt whole. Throws catalog::FileError.
void RefreshIndex(const std::string& indexFolder, const std::string& libraryRoot,
                  const std::vector<StaleRecord>& records, FolderListings listed = {});

// Reads the records of those folders of the library again into the index, after this
// program changed them (the record store's observer names the folders). Folders outside
// the library are passed over; without an index nothing is written. Throws
// catalog::FileError.
void RefreshFolders(const std::string& indexFolder, const std::string& libraryRoot,
                    const std::vector<std::string>& folders);

// Reads the whole library into a new index that replaces the old one. progress is told
// the number of records read so far and may stop the build by returning false (the old
// index stays). Returns the number of records indexed. Throws catalog::FileError when the
// index cannot be written.
std::size_t RebuildIndex(const std::string& indexFolder, const std::string& libraryRoot,
                         const std::function<bool(std::size_t)>& progress = {});

} // namespace search
