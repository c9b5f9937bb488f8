#include "search/index_store.h"

#include "catalog/disk.h"
#include "catalog/library.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <sstream>

namespace search {
namespace {

constexpr std::string_view ManifestHeader = "vellumark search index 4";
constexpr std::string_view SegmentPrefix = "seg-";
constexpr std::string_view SegmentSuffix = ".vmx";

std::string realPathOf(const std::string& libraryRoot)
{
    const std::string resolved = catalog::ResolvedPath(libraryRoot);
    return resolved.empty() ? libraryRoot : resolved;
}

std::string manifestPath(const std::string& folder)
{
    return folder + "manifest";
}

std::string listingsPath(const std::string& folder)
{
    return folder + "listings";
}

// The folder entries kept in the index folder; none when the file is missing or damaged.
FolderListings readListings(const std::string& folder)
{
    try {
        return FolderListings::readFile(listingsPath(folder)).value_or(FolderListings{});
    } catch (const catalog::FileError&) {
        return {};
    }
}

// The segments a manifest names, oldest first: those of the last rebuild ("segment"
// lines), then those updates added since ("update" lines).
struct Manifest
{
    std::vector<std::string> rebuilt;
    std::vector<std::string> updates;
};

// The manifest written for this library; nullopt when there is none, it is damaged, or it
// belongs to another library.
std::optional<Manifest> readManifest(const std::string& folder, const std::string& realRoot)
{
    std::string text;
    try {
        text = catalog::ReadWholeFile(manifestPath(folder));
    } catch (const catalog::FileError&) {
        return std::nullopt;
    }
    std::istringstream lines(text);
    std::string line;
    if (!std::getline(lines, line) || line != ManifestHeader || !std::getline(lines, line) ||
        line != "library " + realRoot) {
        return std::nullopt;
    }
    Manifest manifest;
    while (std::getline(lines, line)) {
        if (line == "end") {
            return manifest;
        }
        if (line.find('/') != std::string::npos) {
            return std::nullopt;
        }
        if (line.starts_with("segment ") && manifest.updates.empty()) {
            manifest.rebuilt.push_back(line.substr(8));
        } else if (line.starts_with("update ")) {
            manifest.updates.push_back(line.substr(7));
        } else {
            return std::nullopt;
        }
    }
    return std::nullopt; // cut short
}

bool isSegmentName(std::string_view name)
{
    return name.starts_with(SegmentPrefix) && name.ends_with(SegmentSuffix);
}

void makeFolders(const std::string& folder)
{
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        catalog::throwFileError(folder, error.value());
    }
}

} // namespace

std::string IndexFolderOf(const std::string& cacheFolder, const std::string& libraryRoot)
{
    // FNV-1a: a name that stays the same from one build to the next.
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (const char c : realPathOf(libraryRoot)) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
    }
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
    return cacheFolder + "index-" + hex + "/";
}

bool SearchIndex::exists(const std::string& indexFolder, const std::string& libraryRoot)
{
    return readManifest(indexFolder, realPathOf(libraryRoot)).has_value();
}

std::unique_ptr<SearchIndex> SearchIndex::open(const std::string& indexFolder,
                                               const std::string& libraryRoot)
{
    const auto manifest = readManifest(indexFolder, realPathOf(libraryRoot));
    if (!manifest) {
        return nullptr;
    }
    std::vector<std::string> names = manifest->rebuilt;
    names.insert(names.end(), manifest->updates.begin(), manifest->updates.end());
    auto index = std::make_unique<SearchIndex>();
    struct stat written = {};
    if (::stat(manifestPath(indexFolder).c_str(), &written) == 0) {
        index->m_writtenAt = written.st_mtim.tv_sec;
    }
    for (const auto& name : names) {
        std::optional<Segment> segment;
        try {
            segment = Segment::readFile(indexFolder + name);
        } catch (const catalog::FileError&) {
            return nullptr;
        }
        if (!segment) {
            return nullptr;
        }
        index->m_bytes += segment->bytes();
        index->m_segments.push_back(std::move(*segment));
    }
    index->m_listings = readListings(indexFolder);
    index->m_rebuilt = static_cast<std::uint32_t>(manifest->rebuilt.size());
    index->m_updated = index->newestEntries(index->m_rebuilt, &index->m_replaced);
    return index;
}

catalog::KeyTable<SearchIndex::Entry>
SearchIndex::newestEntries(std::uint32_t from, std::vector<std::vector<bool>>* replaced) const
{
    std::size_t entries = 0;
    for (std::size_t s = from; s < m_segments.size(); ++s) {
        entries += m_segments[s].size();
    }
    // Oldest first: a record in a newer segment replaces its older entry.
    catalog::KeyTable<Entry> newest(entries);
    for (std::uint32_t s = from; s < m_segments.size(); ++s) {
        const Segment& segment = m_segments[s];
        if (replaced != nullptr) {
            replaced->resize(s + 1);
            replaced->back().assign(segment.size(), false);
        }
        for (RecordNumber n = 0; n < segment.size(); ++n) {
            const auto [entry, added] = newest.tryEmplace(segment.key(n), Entry{s, n});
            if (!added) {
                if (replaced != nullptr) {
                    (*replaced)[entry->segment][entry->number] = true;
                }
                *entry = Entry{s, n};
            }
        }
    }
    return newest;
}

const catalog::KeyTable<SearchIndex::Entry>& SearchIndex::entries() const
{
    std::call_once(m_entriesMade, [this] { m_entries = newestEntries(0, nullptr); });
    return m_entries;
}

const SearchIndex::Entry* SearchIndex::find(std::string_view key) const
{
    return entries().find(key);
}

bool SearchIndex::isNewest(const Entry& entry) const
{
    if (entry.segment >= m_rebuilt) {
        return !m_replaced[entry.segment][entry.number];
    }
    // A rebuild's segments hold each record once; only an update can hold it anew.
    return m_updated.size() == 0 || m_updated.find(key(entry)) == nullptr;
}

struct IndexUpdate::Lock
{
    explicit Lock(const std::string& folder) : lock(folder) {}
    catalog::FolderLock lock;
};

IndexUpdate::IndexUpdate(const std::string& indexFolder, const std::string& libraryRoot)
    : m_folder(indexFolder), m_libraryRoot(realPathOf(libraryRoot))
{
    makeFolders(m_folder);
    m_lock = std::make_unique<Lock>(m_folder);
}

IndexUpdate::~IndexUpdate()
{
    for (const auto& name : m_added) {
        ::unlink((m_folder + name).c_str());
    }
}

void IndexUpdate::add(const SegmentWriter& segment)
{
    static int counter = 0;
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const std::string name =
        std::string(SegmentPrefix) +
        std::to_string(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()) + "-" +
        std::to_string(::getpid()) + "-" + std::to_string(counter++) + std::string(SegmentSuffix);
    catalog::WriteFileAtomically(m_folder + name, segment.bytes());
    m_added.push_back(name);
}

void IndexUpdate::commit(bool replaceAll)
{
    Manifest kept;
    if (replaceAll) {
        kept.rebuilt = m_added;
    } else {
        kept = readManifest(m_folder, m_libraryRoot).value_or(Manifest{});
        kept.updates.insert(kept.updates.end(), m_added.begin(), m_added.end());
    }
    std::string manifest(ManifestHeader);
    manifest += "\nlibrary " + m_libraryRoot + "\n";
    for (const auto& name : kept.rebuilt) {
        manifest += "segment " + name + "\n";
    }
    for (const auto& name : kept.updates) {
        manifest += "update " + name + "\n";
    }
    manifest += "end\n";
    catalog::WriteFileAtomically(manifestPath(m_folder), manifest);
    std::vector<std::string> names = kept.rebuilt;
    names.insert(names.end(), kept.updates.begin(), kept.updates.end());
    m_added.clear();
    if (m_listings) {
        FolderListings listings = replaceAll ? FolderListings{} : readListings(m_folder);
        // A search that found a folder changed too recently to keep writes nothing here.
        if (listings.merge(std::move(*m_listings)) || replaceAll) {
            catalog::WriteFileAtomically(listingsPath(m_folder), listings.bytes());
        }
        m_listings.reset();
    }

    std::vector<catalog::DirEntry> entries;
    catalog::ListFolder(m_folder, entries);
    for (const auto& entry : entries) {
        if (isSegmentName(entry.name) &&
            std::find(names.begin(), names.end(), entry.name) == names.end()) {
            ::unlink((m_folder + entry.name).c_str());
        }
    }
    catalog::RemoveStaleTemporaryFiles(m_folder);
}

} // namespace search
