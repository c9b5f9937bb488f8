#pragma once

#include "platform/disc_source.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The machine's CD-ROM drives behind drive letters: optical drives, and virtual drives
// that the settings map to a folder or to an ISO 9660 image. Letters are 'A'..'Z'.
namespace platform {

enum class DriveKind { Optical, Folder, Image };

struct DriveInfo {
    char letter = 'D';
    DriveKind kind = DriveKind::Optical;
    std::string source; // device node (/dev/sr0), folder or image path; native
};

class Drives
{
public:
    virtual ~Drives() = default;

    // Every CD-ROM drive, in letter order.
    virtual std::vector<DriveInfo> cdromDrives() const = 0;

    // True when the letter names a CD-ROM drive (optical or virtual).
    virtual bool isCdromDrive(char letter) const = 0;
    // True when a readable disc is in the drive.
    virtual bool discPresent(char letter) const = 0;
    // Total size of the disc in bytes; nullopt when there is no disc.
    virtual std::optional<std::uint64_t> discTotalSize(char letter) const = 0;
    // The volume label without leading and trailing blanks (UTF-8); "" without a disc.
    virtual std::string volumeLabel(char letter) const = 0;
    // Where the disc's files can be read: the mount point or the folder (native path
    // ending in "/"); nullopt for an image or an optical drive without a mounted disc.
    virtual std::optional<std::string> mountPoint(char letter) const = 0;
    // The disc's folder tree for the scanner; nullptr when there is no disc.
    virtual std::unique_ptr<DiscSource> openDisc(char letter) const = 0;
    // Opens or closes the door of an optical drive; silent on failure and for virtual
    // drives.
    virtual void setDriveDoor(char letter, bool open) = 0;
};

} // namespace platform
