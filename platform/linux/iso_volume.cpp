#include "platform/linux/iso_volume.h"

#include "catalog/loaded_library.h"

#include <cdio/bytesex.h>
#include <cdio/iso9660.h>
#include <cdio/logging.h>
#include <glib.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

namespace platform::linux_edition {
namespace {

struct IsoApi
{
    catalog::LoadedLibrary library{"libiso9660.so.11"};
    VELLUMARK_LOADED_FUNCTION(iso9660_open);
    VELLUMARK_LOADED_FUNCTION(iso9660_open_ext);
    VELLUMARK_LOADED_FUNCTION(iso9660_close);
    VELLUMARK_LOADED_FUNCTION(iso9660_ifs_read_pvd);
    VELLUMARK_LOADED_FUNCTION(iso9660_ifs_get_volume_id);
    VELLUMARK_LOADED_FUNCTION(iso9660_get_pvd_space_size);
    VELLUMARK_LOADED_FUNCTION(iso9660_get_pvd_block_size);
    VELLUMARK_LOADED_FUNCTION(iso9660_iso_seek_read);
    // libcdio's, found through libiso9660's own dependency.
    cdio_log_level_t* cdio_loglevel_default = library.symbol<cdio_log_level_t>("cdio_loglevel_default");
};

IsoApi& isoLibrary()
{
    static IsoApi api;
    return api;
}

struct IsoClose
{
    void operator()(iso9660_t* iso) const { isoLibrary().iso9660_close(iso); }
};

// The volume descriptors start at sector 16; anything shorter cannot be an image.
constexpr off_t kSmallestImage = 17 * ISO_BLOCKSIZE;

void quietLibraryWarnings()
{
    // Probing a file that is not an image is expected here; the library would print a
    // warning on standard error for each one.
    static std::once_flag once;
    std::call_once(once, [] { *isoLibrary().cdio_loglevel_default = CDIO_LOG_ERROR; });
}

// ISO 9660 allows eight levels, Rock Ridge deeper ones; this only stops a looping image.
constexpr int kDeepestFolder = 256;
// A directory larger than this is damaged, not read.
constexpr std::uint32_t kLargestDirectory = 64U << 20;

// A Joliet name is UCS-2, big-endian; ISO names may end in ";1" and a lone ".".
std::string recordName(const char* raw, std::size_t length, bool joliet)
{
    std::string name;
    if (joliet) {
        gsize written = 0;
        if (gchar* converted = g_convert(raw, static_cast<gssize>(length), "UTF-8", "UTF-16BE",
                                         nullptr, &written, nullptr)) {
            name.assign(converted, written);
            g_free(converted);
        }
    } else {
        name.assign(raw, length);
    }
    if (name.size() > 2 && name.ends_with(";1")) {
        name.resize(name.size() - 2);
    }
    if (name.size() > 1 && name.back() == '.') {
        name.pop_back();
    }
    return name;
}

class HiddenWalk
{
public:
    HiddenWalk(iso9660_t* iso, bool joliet) : m_iso(iso), m_joliet(joliet) {}

    void folder(const iso9660_dir_t& self, const std::string& path, int depth)
    {
        const lsn_t extent = static_cast<lsn_t>(from_733(self.extent));
        const std::uint32_t size = from_733(self.size);
        if (depth > kDeepestFolder || size > kLargestDirectory || !m_seen.insert(extent).second) {
            return;
        }
        const std::uint32_t blocks = (size + ISO_BLOCKSIZE - 1) / ISO_BLOCKSIZE;
        std::vector<char> records(static_cast<std::size_t>(blocks) * ISO_BLOCKSIZE);
        if (blocks == 0 || isoLibrary().iso9660_iso_seek_read(m_iso, records.data(), extent, blocks) !=
                               static_cast<long>(records.size())) {
            return;
        }
        for (std::size_t offset = 0; offset < size;) {
            const auto length = static_cast<unsigned char>(records[offset]);
            if (length == 0) { // records never cross a block: the rest of this one is empty
                offset = (offset / ISO_BLOCKSIZE + 1) * ISO_BLOCKSIZE;
                continue;
            }
            iso9660_dir_t record;
            const std::size_t fixed = offsetof(iso9660_dir_t, filename) + 1;
            if (length < fixed || offset + length > records.size()) {
                return;
            }
            std::memcpy(&record, &records[offset], fixed);
            const char* rawName = &records[offset + fixed];
            const std::size_t nameLength = record.filename.len;
            offset += length;
            if (fixed + nameLength > length ||
                (nameLength == 1 && (rawName[0] == 0 || rawName[0] == 1))) {
                continue; // "." and ".."
            }
            const bool hidden = (record.file_flags & ISO_EXISTENCE) != 0;
            const bool isFolder = (record.file_flags & ISO_DIRECTORY) != 0;
            if (!hidden && !isFolder) {
                continue; // most records: no name needed
            }
            const std::string name = recordName(rawName, nameLength, m_joliet);
            const std::string child = path.empty() ? name : path + "/" + name;
            if (hidden) {
                m_hidden.insert(child);
            }
            if (isFolder) {
                folder(record, child, depth + 1);
            }
        }
    }

    std::unordered_set<std::string> hidden() { return std::move(m_hidden); }

private:
    iso9660_t* m_iso;
    bool m_joliet;
    std::unordered_set<lsn_t> m_seen;
    std::unordered_set<std::string> m_hidden;
};

// The root record of the Joliet volume descriptor, if the image has one.
std::optional<iso9660_dir_t> jolietRoot(iso9660_t* iso)
{
    for (lsn_t sector = ISO_PVD_SECTOR + 1; sector < ISO_PVD_SECTOR + 32; ++sector) {
        iso9660_svd_t svd;
        if (isoLibrary().iso9660_iso_seek_read(iso, &svd, sector, 1) != ISO_BLOCKSIZE ||
            std::memcmp(svd.id, ISO_STANDARD_ID, sizeof svd.id) != 0 || svd.type == ISO_VD_END) {
            return std::nullopt;
        }
        const std::string_view escape(svd.escape_sequences, 3);
        if (svd.type == ISO_VD_SUPPLEMENTARY &&
            (escape == "%/@" || escape == "%/C" || escape == "%/E")) {
            return svd.root_directory_record;
        }
    }
    return std::nullopt;
}

} // namespace

std::string CleanVolumeLabel(std::string_view raw)
{
    raw = raw.substr(0, raw.find('\0'));
    std::string text(raw);
    if (!g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) {
        gsize written = 0;
        if (gchar* converted = g_convert(text.data(), static_cast<gssize>(text.size()), "UTF-8",
                                         "GBK", nullptr, &written, nullptr)) {
            text.assign(converted, written);
            g_free(converted);
        } else {
            gchar* valid = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
            text = valid;
            g_free(valid);
        }
    }
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

const std::string& IsoLibraryProblem()
{
    return isoLibrary().library.problem();
}

std::optional<IsoVolume> ReadIsoVolume(const std::string& imageOrDevice)
{
    if (!IsoLibraryProblem().empty()) {
        return std::nullopt;
    }
    struct stat info = {};
    if (::stat(imageOrDevice.c_str(), &info) != 0) {
        return std::nullopt;
    }
    if (!S_ISBLK(info.st_mode) && !(S_ISREG(info.st_mode) && info.st_size >= kSmallestImage)) {
        return std::nullopt;
    }
    quietLibraryWarnings();
    const std::unique_ptr<iso9660_t, IsoClose> iso(
        isoLibrary().iso9660_open_ext(imageOrDevice.c_str(), ISO_EXTENSION_ALL));
    if (!iso) {
        return std::nullopt;
    }
    iso9660_pvd_t pvd = {};
    if (!isoLibrary().iso9660_ifs_read_pvd(iso.get(), &pvd)) {
        return std::nullopt;
    }
    const int blocks = isoLibrary().iso9660_get_pvd_space_size(&pvd);
    int blockSize = isoLibrary().iso9660_get_pvd_block_size(&pvd);
    if (blocks < 0) {
        return std::nullopt;
    }
    if (blockSize <= 0) {
        blockSize = ISO_BLOCKSIZE;
    }
    IsoVolume volume{{},
                     static_cast<std::uint64_t>(blocks) * static_cast<std::uint64_t>(blockSize)};
    // The Joliet name when the image has one, converted to UTF-8 by the library.
    cdio_utf8_t* id = nullptr;
    if (isoLibrary().iso9660_ifs_get_volume_id(iso.get(), &id) && id != nullptr) {
        volume.volumeId = CleanVolumeLabel(id);
    }
    std::free(id);
    return volume;
}

} // namespace platform::linux_edition

namespace platform::linux_edition {

std::unordered_set<std::string> ReadHiddenPaths(const std::string& image)
{
    if (!IsoLibraryProblem().empty()) {
        return {};
    }
    quietLibraryWarnings();
    const std::unique_ptr<iso9660_t, IsoClose> iso(isoLibrary().iso9660_open(image.c_str()));
    iso9660_pvd_t pvd = {};
    if (!iso || !isoLibrary().iso9660_ifs_read_pvd(iso.get(), &pvd)) {
        return {};
    }
    const std::optional<iso9660_dir_t> joliet = jolietRoot(iso.get());
    HiddenWalk walk(iso.get(), joliet.has_value());
    walk.folder(joliet ? *joliet : pvd.root_directory_record, "", 0);
    return walk.hidden();
}

} // namespace platform::linux_edition
