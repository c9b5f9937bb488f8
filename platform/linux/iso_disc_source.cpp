#include "platform/linux/iso_disc_source.h"

#include "catalog/loaded_library.h"
#include "platform/linux/iso_volume.h"

#include <archive.h>
#include <archive_entry.h>
#include <locale.h>
#include <sys/stat.h>

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace platform::linux_edition {
namespace {

struct ArchiveApi
{
    catalog::LoadedLibrary library{"libarchive.so.13"};
    VELLUMARK_LOADED_FUNCTION(archive_read_new);
    VELLUMARK_LOADED_FUNCTION(archive_read_free);
    VELLUMARK_LOADED_FUNCTION(archive_read_support_format_iso9660);
    VELLUMARK_LOADED_FUNCTION(archive_read_open_filename);
    VELLUMARK_LOADED_FUNCTION(archive_read_next_header);
    VELLUMARK_LOADED_FUNCTION(archive_read_data);
    VELLUMARK_LOADED_FUNCTION(archive_entry_pathname);
    VELLUMARK_LOADED_FUNCTION(archive_entry_pathname_utf8);
    VELLUMARK_LOADED_FUNCTION(archive_entry_filetype);
};

// Only called once CheckIsoImage has found the library complete, or through openImage.
ArchiveApi& archiveLibrary()
{
    static ArchiveApi api;
    return api;
}

struct ArchiveFree
{
    void operator()(archive* reader) const { archiveLibrary().archive_read_free(reader); }
};
using Reader = std::unique_ptr<archive, ArchiveFree>;

// libarchive converts Joliet names through the locale's character set; in the C locale it
// gives no name at all for Chinese. A UTF-8 locale for this thread while the image is read
// makes the names come out alike whatever the process runs in.
class Utf8Locale
{
public:
    Utf8Locale()
    {
        for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"}) {
            m_locale = ::newlocale(LC_CTYPE_MASK, name, locale_t{});
            if (m_locale != locale_t{}) {
                m_previous = ::uselocale(m_locale);
                return;
            }
        }
    }
    ~Utf8Locale()
    {
        if (m_locale != locale_t{}) {
            ::uselocale(m_previous);
            ::freelocale(m_locale);
        }
    }
    Utf8Locale(const Utf8Locale&) = delete;
    Utf8Locale& operator=(const Utf8Locale&) = delete;

private:
    locale_t m_locale{};
    locale_t m_previous{};
};

Reader openImage(const std::string& imagePath)
{
    if (!archiveLibrary().library.problem().empty()) {
        return nullptr;
    }
    Reader reader(archiveLibrary().archive_read_new());
    if (!reader || archiveLibrary().archive_read_support_format_iso9660(reader.get()) != ARCHIVE_OK ||
        archiveLibrary().archive_read_open_filename(reader.get(), imagePath.c_str(), 1 << 16) != ARCHIVE_OK) {
        return nullptr;
    }
    return reader;
}

// "./A/B/", "/A/B" and "A/B" are all A/B; "." and "" are the root.
std::string normalPath(const char* raw)
{
    std::string_view path(raw);
    while (path.starts_with("./") || path.starts_with("/")) {
        path.remove_prefix(path.front() == '.' ? 2 : 1);
    }
    while (path.ends_with('/')) {
        path.remove_suffix(1);
    }
    return path == "." ? std::string() : std::string(path);
}

const char* entryPath(archive_entry* entry)
{
    const char* path = archiveLibrary().archive_entry_pathname_utf8(entry);
    return path != nullptr ? path : archiveLibrary().archive_entry_pathname(entry);
}

bool headerRead(int status)
{
    return status == ARCHIVE_OK || status == ARCHIVE_WARN;
}

} // namespace

struct IsoDiscSource::Tree
{
    // Every folder by its path ("" the root) with its entries.
    std::unordered_map<std::string, std::vector<DiscEntry>> folders;
    std::string lastFolderPath;
    std::vector<DiscEntry>* lastFolder = nullptr; // map values stay where they are

    static DiscEntry entryNamed(std::string_view name, bool isFolder, bool special = false)
    {
        DiscEntry entry;
        entry.nameUtf8 = name;
        entry.isFolder = isFolder;
        entry.special = special;
        entry.hidden = name.starts_with('.');
        entry.readOnly = true;
        return entry;
    }

    static std::pair<std::string_view, std::string_view> split(std::string_view path)
    {
        const auto slash = path.rfind('/');
        if (slash == std::string_view::npos) {
            return {std::string_view(), path};
        }
        return {path.substr(0, slash), path.substr(slash + 1)};
    }

    // Folders implied by a deeper path exist even when the image has no record of them.
    void addFolder(std::string_view path)
    {
        if (path.empty() || folders.count(std::string(path)) != 0) {
            return;
        }
        folders.emplace(std::string(path), std::vector<DiscEntry>());
        const auto [parent, name] = split(path);
        addFolder(parent);
        folders[std::string(parent)].push_back(entryNamed(name, true));
    }

    void addFile(std::string_view path, bool special)
    {
        const auto [parent, name] = split(path);
        // Files come folder by folder: the last folder saves two look-ups per file.
        if (lastFolder == nullptr || parent != lastFolderPath) {
            addFolder(parent);
            lastFolderPath = parent;
            lastFolder = &folders[lastFolderPath];
        }
        lastFolder->push_back(entryNamed(name, false, special));
    }

    // libarchive does not report the hidden flag of a directory record.
    void markHidden(const std::unordered_set<std::string>& hiddenPaths)
    {
        if (hiddenPaths.empty()) {
            return;
        }
        for (auto& [path, entries] : folders) {
            for (DiscEntry& entry : entries) {
                const std::string child =
                    path.empty() ? entry.nameUtf8 : path + "/" + entry.nameUtf8;
                entry.hidden = entry.hidden || hiddenPaths.count(child) != 0;
            }
        }
    }

    void sortAll()
    {
        for (auto& [path, entries] : folders) {
            // A name recorded twice is one entry; the folder wins over a file.
            std::sort(entries.begin(), entries.end(), [](const DiscEntry& a, const DiscEntry& b) {
                return a.nameUtf8 != b.nameUtf8 ? a.nameUtf8 < b.nameUtf8
                                                : a.isFolder && !b.isFolder;
            });
            entries.erase(std::unique(entries.begin(), entries.end(),
                                      [](const DiscEntry& a, const DiscEntry& b) {
                                          return a.nameUtf8 == b.nameUtf8;
                                      }),
                          entries.end());
        }
    }
};

IsoDiscSource::IsoDiscSource(std::string imagePath, std::unique_ptr<Tree> tree)
    : m_imagePath(std::move(imagePath)), m_tree(std::move(tree))
{}

IsoDiscSource::~IsoDiscSource() = default;

std::unique_ptr<IsoDiscSource> IsoDiscSource::open(const std::string& imagePath)
{
    const Utf8Locale utf8;
    const Reader reader = openImage(imagePath);
    if (!reader) {
        return nullptr;
    }
    auto tree = std::make_unique<Tree>();
    tree->folders[""];
    archive_entry* entry = nullptr;
    int status = ARCHIVE_OK;
    while (headerRead(status = archiveLibrary().archive_read_next_header(reader.get(), &entry))) {
        const char* raw = entryPath(entry);
        if (raw == nullptr) {
            return nullptr; // a name that cannot be read: the tree would be incomplete
        }
        const std::string path = normalPath(raw);
        if (path.empty()) {
            continue;
        }
        if (archiveLibrary().archive_entry_filetype(entry) == AE_IFDIR) {
            tree->addFolder(path);
        } else {
            // Rock Ridge links and devices are listed, never read.
            tree->addFile(path, archiveLibrary().archive_entry_filetype(entry) != AE_IFREG);
        }
    }
    // A damaged directory would give a partial tree taken for the whole disc.
    if (status != ARCHIVE_EOF) {
        return nullptr;
    }
    tree->markHidden(ReadHiddenPaths(imagePath));
    tree->sortAll();
    return std::unique_ptr<IsoDiscSource>(new IsoDiscSource(imagePath, std::move(tree)));
}

namespace {

bool rootFolderReadable(const std::string& imagePath)
{
    const Utf8Locale utf8;
    const Reader reader = openImage(imagePath);
    archive_entry* entry = nullptr;
    // The first header needs the root folder's records.
    const int status = reader ? archiveLibrary().archive_read_next_header(reader.get(), &entry) : ARCHIVE_FATAL;
    return headerRead(status) || status == ARCHIVE_EOF;
}

} // namespace

IsoImageCheck CheckIsoImage(const std::string& imagePath)
{
    IsoImageCheck check;
    struct stat info = {};
    if (::stat(imagePath.c_str(), &info) != 0) {
        return check;
    }
    for (const std::string& problem : {archiveLibrary().library.problem(), IsoLibraryProblem()}) {
        if (!problem.empty()) {
            check.problemUtf8 = "无法载入读取映像的程序库: " + problem;
            return check;
        }
    }
    auto volume = S_ISREG(info.st_mode) ? ReadIsoVolume(imagePath) : std::nullopt;
    if (!volume) {
        check.problemUtf8 = "不是 ISO 9660 光盘映像";
    } else if (volume->totalBytes > static_cast<std::uint64_t>(info.st_size)) {
        check.problemUtf8 = "映像文件不完整: 卷大小为 " + std::to_string(volume->totalBytes) +
                            " 字节, 文件只有 " + std::to_string(info.st_size) + " 字节";
    } else if (!rootFolderReadable(imagePath)) {
        check.problemUtf8 = "根目录无法读取";
    } else {
        check.volume = std::move(volume);
    }
    return check;
}

bool IsoDiscSource::list(const std::string& relativeUtf8, std::vector<DiscEntry>& entries)
{
    const auto folder = m_tree->folders.find(relativeUtf8);
    if (folder == m_tree->folders.end()) {
        entries.clear();
        return false;
    }
    entries = folder->second;
    return true;
}

bool IsoDiscSource::readFile(const std::string& relativeUtf8, std::string& content)
{
    content.clear();
    const Utf8Locale utf8;
    const Reader reader = openImage(m_imagePath);
    if (!reader) {
        return false;
    }
    archive_entry* entry = nullptr;
    while (headerRead(archiveLibrary().archive_read_next_header(reader.get(), &entry))) {
        const char* raw = entryPath(entry);
        if (raw == nullptr || archiveLibrary().archive_entry_filetype(entry) == AE_IFDIR ||
            normalPath(raw) != relativeUtf8) {
            continue;
        }
        char buffer[65536];
        for (;;) {
            const la_ssize_t got = archiveLibrary().archive_read_data(reader.get(), buffer, sizeof buffer);
            if (got < 0) {
                content.clear();
                return false;
            }
            if (got == 0) {
                return true;
            }
            content.append(buffer, static_cast<std::size_t>(got));
        }
    }
    return false;
}

} // namespace platform::linux_edition
