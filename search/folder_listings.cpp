#include "search/folder_listings.h"

#include "search/index_build.h"
#include "search/index_bytes.h"

#include <algorithm>

namespace search {
namespace {

using namespace index_bytes;

constexpr std::string_view Magic = "VLMKDIR1";

enum EntryFlags : std::uint8_t { IsFolder = 1, IsRegular = 2, IsLink = 4 };

bool trusted(const FileStamp& stamp)
{
    return stamp.changedNs != -1 && !stamp.name.empty();
}

} // namespace

FileStamp StampFolder(int folderFd)
{
    return StampFile(folderFd, ".");
}

const std::vector<catalog::DirEntry>* FolderListings::fresh(const std::string& folder,
                                                            const FileStamp& now) const
{
    const auto found = m_folders.find(folder);
    return found != m_folders.end() && trusted(found->second.stamp) &&
                   found->second.stamp.matches(now)
               ? &found->second.entries
               : nullptr;
}

void FolderListings::keep(const std::string& folder, const FileStamp& stamp,
                          std::vector<catalog::DirEntry> entries)
{
    const bool linked = std::any_of(entries.begin(), entries.end(),
                                    [](const catalog::DirEntry& entry) { return entry.isLink; });
    Kept& kept = m_folders[folder];
    kept.stamp = stamp;
    if (linked || !trusted(stamp)) {
        kept.stamp.changedNs = -1;
        kept.entries.clear();
        return;
    }
    kept.entries = std::move(entries);
}

void FolderListings::merge(FolderListings newer)
{
    for (auto& [folder, kept] : newer.m_folders) {
        if (trusted(kept.stamp)) {
            m_folders.insert_or_assign(folder, std::move(kept));
        } else {
            m_folders.erase(folder);
        }
    }
}

std::string FolderListings::bytes() const
{
    std::string body;
    std::uint32_t count = 0;
    for (const auto& [folder, kept] : m_folders) {
        if (!trusted(kept.stamp)) {
            continue;
        }
        ++count;
        putText(body, folder);
        put(body, kept.stamp.size);
        put(body, kept.stamp.inode);
        put(body, kept.stamp.modifiedNs);
        put(body, kept.stamp.changedNs);
        put<std::uint32_t>(body, static_cast<std::uint32_t>(kept.entries.size()));
        for (const auto& entry : kept.entries) {
            putText(body, entry.name);
            put<std::uint8_t>(body, (entry.isFolder ? IsFolder : 0) |
                                        (entry.isRegular ? IsRegular : 0) |
                                        (entry.isLink ? IsLink : 0));
        }
    }
    std::string file(Magic);
    put(file, count);
    put(file, checksum(body));
    return file + body;
}

std::optional<FolderListings> FolderListings::read(std::string_view bytes)
{
    if (!bytes.starts_with(Magic)) {
        return std::nullopt;
    }
    Reader header(bytes.substr(Magic.size()));
    const auto count = header.get<std::uint32_t>();
    const auto sum = header.get<std::uint32_t>();
    const std::size_t bodyAt = Magic.size() + 8;
    if (!header.ok() || bytes.size() < bodyAt || checksum(bytes.substr(bodyAt)) != sum) {
        return std::nullopt;
    }
    Reader body(bytes.substr(bodyAt));
    FolderListings listings;
    for (std::uint32_t f = 0; f < count && body.ok(); ++f) {
        const std::string folder = body.text();
        Kept kept;
        kept.stamp.name = ".";
        kept.stamp.size = body.get<std::uint64_t>();
        kept.stamp.inode = body.get<std::uint64_t>();
        kept.stamp.modifiedNs = body.get<std::int64_t>();
        kept.stamp.changedNs = body.get<std::int64_t>();
        const auto entries = body.get<std::uint32_t>();
        // Each entry takes at least five bytes: a count beyond what is left is damage.
        if (!body.ok() || entries > bytes.size() / 5) {
            return std::nullopt;
        }
        kept.entries.reserve(entries);
        for (std::uint32_t e = 0; e < entries && body.ok(); ++e) {
            catalog::DirEntry entry;
            entry.name = body.text();
            const auto flags = body.get<std::uint8_t>();
            entry.isFolder = (flags & IsFolder) != 0;
            entry.isRegular = (flags & IsRegular) != 0;
            entry.isLink = (flags & IsLink) != 0;
            kept.entries.push_back(std::move(entry));
        }
        listings.m_folders.insert_or_assign(folder, std::move(kept));
    }
    if (!body.ok() || !body.atEnd()) {
        return std::nullopt;
    }
    return listings;
}

} // namespace search
