#include "search/folder_listings.h"

#include "search/index_build.h"
#include "search/index_bytes.h"

#include <algorithm>

namespace search {
namespace {

using namespace index_bytes;

constexpr std::string_view Magic = "VLMKDIR2";

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

bool FolderListings::fresh(const std::string& folder, const FileStamp& now,
                           std::vector<catalog::DirEntry>& entries) const
{
    const auto found = m_folders.find(folder);
    if (found == m_folders.end() || !trusted(found->second.stamp) ||
        !found->second.stamp.matches(now)) {
        return false;
    }
    // Checked whole when it was read.
    Reader reader(found->second.entries);
    entries.resize(found->second.count);
    for (auto& entry : entries) {
        entry.name = reader.view();
        const auto flags = reader.get<std::uint8_t>();
        entry.isFolder = (flags & IsFolder) != 0;
        entry.isRegular = (flags & IsRegular) != 0;
        entry.isLink = (flags & IsLink) != 0;
    }
    return true;
}

void FolderListings::keep(const std::string& folder, const FileStamp& stamp,
                          const std::vector<catalog::DirEntry>& entries)
{
    const bool linked = std::any_of(entries.begin(), entries.end(),
                                    [](const catalog::DirEntry& entry) { return entry.isLink; });
    Kept& kept = m_folders[folder];
    kept.stamp = stamp;
    kept.count = 0;
    kept.entries = {};
    if (linked || !trusted(stamp)) {
        kept.stamp.changedNs = -1;
        return;
    }
    auto encoded = std::make_shared<std::string>();
    for (const auto& entry : entries) {
        putText(*encoded, entry.name);
        put<std::uint8_t>(*encoded, (entry.isFolder ? IsFolder : 0) |
                                        (entry.isRegular ? IsRegular : 0) |
                                        (entry.isLink ? IsLink : 0));
    }
    kept.count = static_cast<std::uint32_t>(entries.size());
    kept.entries = *encoded;
    m_owners.push_back(std::move(encoded));
}

bool FolderListings::merge(FolderListings newer)
{
    bool changed = false;
    for (auto& [folder, kept] : newer.m_folders) {
        if (trusted(kept.stamp)) {
            m_folders.insert_or_assign(folder, kept);
            changed = true;
        } else {
            changed = m_folders.erase(folder) > 0 || changed;
        }
    }
    m_owners.insert(m_owners.end(), newer.m_owners.begin(), newer.m_owners.end());
    return changed;
}

bool FolderListings::keepsAny() const
{
    return std::any_of(m_folders.begin(), m_folders.end(),
                       [](const auto& folder) { return trusted(folder.second.stamp); });
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
        put<std::uint32_t>(body, kept.count);
        body += kept.entries;
    }
    std::string file(Magic);
    put(file, count);
    put(file, checksum(body));
    return file + body;
}

std::optional<FolderListings> FolderListings::read(std::string bytes)
{
    return parse(holdString(std::move(bytes)));
}

std::optional<FolderListings> FolderListings::readFile(const std::string& path)
{
    return parse(mapFile(path));
}

std::optional<FolderListings> FolderListings::parse(index_bytes::HeldBytes held)
{
    const std::string_view bytes = held.bytes;
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
    const std::string_view bodyBytes = bytes.substr(bodyAt);
    Reader body(bodyBytes);
    FolderListings listings;
    for (std::uint32_t f = 0; f < count && body.ok(); ++f) {
        const std::string folder(body.view());
        Kept kept;
        kept.stamp.name = ".";
        kept.stamp.size = body.get<std::uint64_t>();
        kept.stamp.inode = body.get<std::uint64_t>();
        kept.stamp.modifiedNs = body.get<std::int64_t>();
        kept.stamp.changedNs = body.get<std::int64_t>();
        kept.count = body.get<std::uint32_t>();
        const std::size_t entriesAt = body.at();
        for (std::uint32_t e = 0; e < kept.count && body.ok(); ++e) {
            body.view();
            body.skip(1);
        }
        kept.entries = bodyBytes.substr(entriesAt, body.at() - entriesAt);
        listings.m_folders.insert_or_assign(folder, kept);
    }
    if (!body.ok() || !body.atEnd()) {
        return std::nullopt;
    }
    listings.m_owners.push_back(std::move(held.owner));
    return listings;
}

} // namespace search
