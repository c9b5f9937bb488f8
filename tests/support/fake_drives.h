#pragma once

#include "platform/drives.h"
#include "platform/linux/folder_disc_source.h"

#include <map>
#include <string>
#include <vector>

namespace testing_support {

// Drives whose discs the test puts in and takes out; door commands are recorded.
class FakeDrives : public platform::Drives
{
public:
    struct Disc
    {
        std::string label;
        std::uint64_t size = 0;
        std::string mountPoint; // "" for none
        bool sizeUnknown = false; // the size query fails though the disc is there
    };

    void addDrive(char letter, platform::DriveKind kind = platform::DriveKind::Optical)
    {
        m_drives[letter] = {letter, kind, ""};
    }
    void insert(char letter, Disc disc) { m_discs[letter] = std::move(disc); }
    void eject(char letter) { m_discs.erase(letter); }
    // "open E", "close G", ... in the order the program moved the doors.
    const std::vector<std::string>& doorLog() const { return m_doorLog; }

    std::vector<platform::DriveInfo> cdromDrives() const override
    {
        std::vector<platform::DriveInfo> drives;
        for (const auto& [letter, info] : m_drives) {
            drives.push_back(info);
        }
        return drives;
    }
    bool isCdromDrive(char letter) const override { return m_drives.count(letter) != 0; }
    bool discPresent(char letter) const override
    {
        return isCdromDrive(letter) && m_discs.count(letter) != 0;
    }
    std::optional<std::uint64_t> discTotalSize(char letter) const override
    {
        if (!discPresent(letter) || m_discs.at(letter).sizeUnknown) {
            return std::nullopt;
        }
        return m_discs.at(letter).size;
    }
    std::string volumeLabel(char letter) const override
    {
        return discPresent(letter) ? m_discs.at(letter).label : std::string();
    }
    std::optional<std::string> mountPoint(char letter) const override
    {
        if (!discPresent(letter) || m_discs.at(letter).mountPoint.empty()) {
            return std::nullopt;
        }
        return m_discs.at(letter).mountPoint;
    }
    // A disc with a mount point is read from that folder.
    std::unique_ptr<platform::DiscSource> openDisc(char letter) const override
    {
        const auto folder = mountPoint(letter);
        if (!folder) {
            return nullptr;
        }
        return std::make_unique<platform::linux_edition::FolderDiscSource>(*folder);
    }
    void setDriveDoor(char letter, bool open) override
    {
        if (isCdromDrive(letter)) {
            m_doorLog.push_back(std::string(open ? "open " : "close ") + letter);
        }
    }

private:
    std::map<char, platform::DriveInfo> m_drives;
    std::map<char, Disc> m_discs;
    std::vector<std::string> m_doorLog;
};

} // namespace testing_support
