#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

// The volume descriptor of an ISO 9660 image or of a disc in a device, read without
// mounting anything.
namespace platform::linux_edition {

struct IsoVolume
{
    std::string volumeId;     // UTF-8 (the Joliet name when there is one), blanks trimmed
    std::uint64_t totalBytes; // volume space size x logical block size
};

// A volume name as shown: up to its first NUL, as UTF-8 (bytes that are not UTF-8 are read
// as GBK, as Chinese discs without Joliet carry them), without leading and trailing blanks.
std::string CleanVolumeLabel(std::string_view raw);

// "" when the ISO 9660 library (opened on first use) is there; else why it is not.
const std::string& IsoLibraryProblem();

// nullopt when the file or device cannot be read or holds no ISO 9660 volume.
std::optional<IsoVolume> ReadIsoVolume(const std::string& imageOrDevice);

// The entries whose directory record carries the hidden (existence) flag, as paths below
// the root ("A/B", UTF-8): from the Joliet tree when the image has one, whose names are the
// ones the folder tree shows, else from the primary tree.
std::unordered_set<std::string> ReadHiddenPaths(const std::string& image);

} // namespace platform::linux_edition
