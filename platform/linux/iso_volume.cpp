#include "platform/linux/iso_volume.h"

#include <cdio/iso9660.h>
#include <cdio/logging.h>
#include <glib.h>
#include <sys/stat.h>

#include <cstdlib>
#include <memory>
#include <mutex>

namespace platform::linux_edition {
namespace {

struct IsoClose
{
    void operator()(iso9660_t* iso) const { iso9660_close(iso); }
};

// The volume descriptors start at sector 16; anything shorter cannot be an image.
constexpr off_t kSmallestImage = 17 * ISO_BLOCKSIZE;

void quietLibraryWarnings()
{
    // Probing a file that is not an image is expected here; the library would print a
    // warning on standard error for each one.
    static std::once_flag once;
    std::call_once(once, [] { cdio_loglevel_default = CDIO_LOG_ERROR; });
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

std::optional<IsoVolume> ReadIsoVolume(const std::string& imageOrDevice)
{
    struct stat info = {};
    if (::stat(imageOrDevice.c_str(), &info) != 0) {
        return std::nullopt;
    }
    if (!S_ISBLK(info.st_mode) && !(S_ISREG(info.st_mode) && info.st_size >= kSmallestImage)) {
        return std::nullopt;
    }
    quietLibraryWarnings();
    const std::unique_ptr<iso9660_t, IsoClose> iso(
        iso9660_open_ext(imageOrDevice.c_str(), ISO_EXTENSION_ALL));
    if (!iso) {
        return std::nullopt;
    }
    iso9660_pvd_t pvd = {};
    if (!iso9660_ifs_read_pvd(iso.get(), &pvd)) {
        return std::nullopt;
    }
    const int blocks = iso9660_get_pvd_space_size(&pvd);
    int blockSize = iso9660_get_pvd_block_size(&pvd);
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
    if (iso9660_ifs_get_volume_id(iso.get(), &id) && id != nullptr) {
        volume.volumeId = CleanVolumeLabel(id);
    }
    std::free(id);
    return volume;
}

} // namespace platform::linux_edition
