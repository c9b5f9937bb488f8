#pragma once

#include "platform/drives.h"

#include <string>
#include <string_view>

namespace platform {
class SettingsStore;
}

namespace platform::linux_edition {

// Settings key of the drive letters that are mapped to a folder, an ISO 9660 image or a
// device node; the value name is the letter.
inline constexpr std::string_view DrivesKey = "software\\Vellumark\\drives";

// The drive table: the optical drives that udev reports (ID_CDROM=1), in device node
// order, on the free letters from D: on, and the letters the settings map. A mapped
// letter is a CD-ROM drive even while its folder or image is missing (no disc then).
// The table is built anew on every call, so mappings and drives added meanwhile count.
class LinuxDrives : public platform::Drives
{
public:
    // The settings are read at every call and must outlive this object.
    explicit LinuxDrives(const platform::SettingsStore& settings);

    std::vector<DriveInfo> cdromDrives() const override;
    bool isCdromDrive(char letter) const override;
    bool discPresent(char letter) const override;
    std::optional<std::uint64_t> discTotalSize(char letter) const override;
    std::string volumeLabel(char letter) const override;
    std::optional<std::string> mountPoint(char letter) const override;
    std::unique_ptr<DiscSource> openDisc(char letter) const override;
    void setDriveDoor(char letter, bool open) override;

    // What is damaged in the image file of a drive without a readable disc; "" when the
    // disc reads, the file is missing or the drive is no image.
    std::string discProblem(char letter) const;

private:
    std::optional<DriveInfo> drive(char letter) const;

    const platform::SettingsStore& m_settings;
};

// Maps the letter (A-Z, either case) to a folder, image or device, stored as an absolute
// path. Throws std::invalid_argument for another letter or an empty path.
void MapVirtualDrive(platform::SettingsStore& settings, char letter,
                     const std::string& absolutePath);
// Removes the letter's mapping, if any. Throws std::invalid_argument for another letter.
void UnmapVirtualDrive(platform::SettingsStore& settings, char letter);

} // namespace platform::linux_edition
