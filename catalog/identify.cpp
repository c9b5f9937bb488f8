#include "catalog/record_set.h"
#include "catalog/identify.h"

#include "catalog/cdinfo.h"
#include "catalog/disk.h"
#include "catalog/text.h"
#include "platform/drives.h"

namespace catalog {
namespace {

// A match ends the walk of its own folder only; the enclosing walks go on, so a later
// match replaces it.
void walkFolder(const std::string& folder, const std::string& sizeText, std::string& found,
                FolderWalkGuard& guard)
{
    if (!guard.enter(folder)) {
        return;
    }
    std::vector<DirEntry> entries;
    ListFolder(folder, entries);
    for (const auto& entry : entries) {
        if (entry.isFolder) {
            if (entry.isLink) {
                continue; // a linked box leads out of the library
            }
            walkFolder(folder + entry.name + "/", sizeText, found, guard);
            continue;
        }
        if (RecordKindOf(entry.name) != RecordKind::Cdr) {
            continue;
        }
        const RecordRef record{folder, entry.name.substr(0, entry.name.size() - 4)};
        const std::string ifn = FindRecordFile(folder, record.name, RecordExt::Ifn);
        if (ifn.empty()) {
            continue;
        }
        const CDInfoRead read = ReadCDInfo(record);
        if (read.status == CDInfoRead::Status::Short) {
            throw FileError(DisplayPath(ifn) + ": 文件不足 192 字节, 读取超出文件末尾");
        }
        if (read.status == CDInfoRead::Status::Ok && read.info.cdmoney == sizeText) {
            found = folder + entry.name;
            break;
        }
    }
    guard.leave();
}

} // namespace

std::string FindRecordBySize(const std::string& libraryRoot, const std::string& sizeText)
{
    std::string found;
    FolderWalkGuard guard;
    walkFolder(libraryRoot, sizeText, found, guard);
    return found;
}

std::string IdentifyDiscInDrive(const platform::Drives& drives, char letter,
                                const std::string& libraryRoot)
{
    if (!drives.discPresent(letter)) {
        return "-1";
    }
    const auto size = drives.discTotalSize(letter);
    if (!size) {
        return "-1";
    }
    return FindRecordBySize(libraryRoot, std::to_string(*size));
}

} // namespace catalog
