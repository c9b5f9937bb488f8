#include "platform/linux/linux_drives.h"

#include "catalog/disk.h"
#include "catalog/loaded_library.h"
#include "platform/linux/folder_disc_source.h"
#include "platform/linux/iso_disc_source.h"
#include "platform/linux/iso_volume.h"
#include "platform/settings_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <libudev.h>
#include <linux/cdrom.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <stdexcept>
#include <utility>

namespace platform::linux_edition {
namespace {

struct UdevApi
{
    catalog::LoadedLibrary library{"libudev.so.1"};
    VELLUMARK_LOADED_FUNCTION(udev_new);
    VELLUMARK_LOADED_FUNCTION(udev_unref);
    VELLUMARK_LOADED_FUNCTION(udev_enumerate_new);
    VELLUMARK_LOADED_FUNCTION(udev_enumerate_unref);
    VELLUMARK_LOADED_FUNCTION(udev_enumerate_add_match_subsystem);
    VELLUMARK_LOADED_FUNCTION(udev_enumerate_add_match_property);
    VELLUMARK_LOADED_FUNCTION(udev_enumerate_scan_devices);
    VELLUMARK_LOADED_FUNCTION(udev_enumerate_get_list_entry);
    VELLUMARK_LOADED_FUNCTION(udev_list_entry_get_next);
    VELLUMARK_LOADED_FUNCTION(udev_list_entry_get_name);
    VELLUMARK_LOADED_FUNCTION(udev_device_new_from_syspath);
    VELLUMARK_LOADED_FUNCTION(udev_device_new_from_devnum);
    VELLUMARK_LOADED_FUNCTION(udev_device_get_devnode);
    VELLUMARK_LOADED_FUNCTION(udev_device_get_property_value);
    VELLUMARK_LOADED_FUNCTION(udev_device_unref);
};

UdevApi& udevLibrary()
{
    static UdevApi api;
    return api;
}

// Without udev (a container without its database, or the library missing) no drive is
// found by it; folders and images mapped to letters still work.
bool udevAvailable()
{
    return udevLibrary().library.problem().empty();
}

struct UdevUnref
{
    void operator()(udev* context) const { udevLibrary().udev_unref(context); }
    void operator()(udev_enumerate* list) const { udevLibrary().udev_enumerate_unref(list); }
    void operator()(udev_device* device) const { udevLibrary().udev_device_unref(device); }
};
using Udev = std::unique_ptr<udev, UdevUnref>;
using UdevEnumerate = std::unique_ptr<udev_enumerate, UdevUnref>;
using UdevDevice = std::unique_ptr<udev_device, UdevUnref>;

struct DirClose
{
    void operator()(DIR* dir) const { ::closedir(dir); }
};

std::optional<char> normalLetter(char letter)
{
    if (letter >= 'a' && letter <= 'z') {
        letter = static_cast<char>(letter - 'a' + 'A');
    }
    if (letter < 'A' || letter > 'Z') {
        return std::nullopt;
    }
    return letter;
}

char checkedLetter(char letter)
{
    const auto normal = normalLetter(letter);
    if (!normal) {
        throw std::invalid_argument("驱动器盘符必须是 A 到 Z 的字母");
    }
    return *normal;
}

bool endsWithNoCase(std::string_view text, std::string_view tail)
{
    if (text.size() < tail.size()) {
        return false;
    }
    return std::equal(tail.begin(), tail.end(), text.end() - static_cast<long>(tail.size()),
                      [](char a, char b) {
                          const auto lower = [](char c) {
                              return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
                          };
                          return lower(a) == lower(b);
                      });
}

// The kind of a mapping, decided by what its path names now. A missing path still
// needs a kind: its spelling is the best hint of what will be there.
DriveKind kindOf(const std::string& path)
{
    struct stat info = {};
    if (::stat(path.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode)) {
            return DriveKind::Folder;
        }
        if (S_ISBLK(info.st_mode)) {
            return DriveKind::Optical;
        }
        return DriveKind::Image;
    }
    if (path.starts_with("/dev/")) {
        return DriveKind::Optical;
    }
    if (endsWithNoCase(path, ".iso") || endsWithNoCase(path, ".img")) {
        return DriveKind::Image;
    }
    return DriveKind::Folder;
}

std::optional<dev_t> blockDevice(const std::string& path)
{
    struct stat info = {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISBLK(info.st_mode)) {
        return std::nullopt;
    }
    return info.st_rdev;
}

// Device nodes of the optical drives, sorted. Empty where udev has no database
// (containers) or cannot be reached.
std::vector<std::string> opticalDeviceNodes()
{
    std::vector<std::string> nodes;
    if (!udevAvailable()) {
        return nodes;
    }
    const Udev context(udevLibrary().udev_new());
    if (!context) {
        return nodes;
    }
    const UdevEnumerate list(udevLibrary().udev_enumerate_new(context.get()));
    if (!list || udevLibrary().udev_enumerate_add_match_subsystem(list.get(), "block") < 0 ||
        udevLibrary().udev_enumerate_add_match_property(list.get(), "ID_CDROM", "1") < 0 ||
        udevLibrary().udev_enumerate_scan_devices(list.get()) < 0) {
        return nodes;
    }
    for (udev_list_entry* entry = udevLibrary().udev_enumerate_get_list_entry(list.get());
         entry != nullptr; entry = udevLibrary().udev_list_entry_get_next(entry)) {
        const UdevDevice device(
            udevLibrary().udev_device_new_from_syspath(context.get(), udevLibrary().udev_list_entry_get_name(entry)));
        const char* node = device ? udevLibrary().udev_device_get_devnode(device.get()) : nullptr;
        if (node != nullptr) {
            nodes.emplace_back(node);
        }
    }
    std::sort(nodes.begin(), nodes.end());
    nodes.erase(std::unique(nodes.begin(), nodes.end()), nodes.end());
    return nodes;
}

std::vector<DriveInfo> buildTable(const SettingsStore& settings)
{
    std::vector<DriveInfo> table;
    std::array<bool, 26> taken = {};
    std::set<dev_t> mappedDevices;
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        const auto path = settings.readString(DrivesKey, std::string(1, letter));
        if (!path || path->empty()) {
            continue;
        }
        const DriveKind kind = kindOf(*path);
        if (kind == DriveKind::Optical) {
            if (const auto device = blockDevice(*path)) {
                mappedDevices.insert(*device);
            }
        }
        table.push_back({letter, kind, *path});
        taken[static_cast<std::size_t>(letter - 'A')] = true;
    }
    std::size_t next = 'D' - 'A';
    for (const auto& node : opticalDeviceNodes()) {
        const auto device = blockDevice(node);
        if (device && mappedDevices.count(*device) != 0) {
            continue;
        }
        while (next < taken.size() && taken[next]) {
            ++next;
        }
        if (next >= taken.size()) {
            break;
        }
        table.push_back({static_cast<char>('A' + next), DriveKind::Optical, node});
        taken[next] = true;
    }
    std::sort(table.begin(), table.end(),
              [](const DriveInfo& a, const DriveInfo& b) { return a.letter < b.letter; });
    return table;
}

// /proc/self/mounts writes blanks, TABs, newlines and backslashes as octal escapes.
std::string unescapeMountField(std::string_view field)
{
    std::string text;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' &&
            field[i + 1] <= '3' && field[i + 2] >= '0' && field[i + 2] <= '7' &&
            field[i + 3] >= '0' && field[i + 3] <= '7') {
            text += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                      (field[i + 3] - '0'));
            i += 3;
        } else {
            text += field[i];
        }
    }
    return text;
}

struct Mount
{
    std::string folder;
    struct statvfs fs = {};
};

// Where the device's medium is mounted and readable; nullopt for no medium.
std::optional<Mount> mountOf(const std::string& deviceNode)
{
    const auto device = blockDevice(deviceNode);
    if (!device) {
        return std::nullopt;
    }
    std::ifstream mounts("/proc/self/mounts");
    std::string line;
    while (std::getline(mounts, line)) {
        const auto space = line.find(' ');
        if (space == std::string::npos || line[0] != '/') {
            continue;
        }
        const auto end = line.find(' ', space + 1);
        const std::string source = unescapeMountField(std::string_view(line).substr(0, space));
        // Compared by device number, so /dev/cdrom, /dev/disk/by-label/... and the node
        // itself are one drive.
        if (blockDevice(source) != device) {
            continue;
        }
        Mount mount;
        mount.folder = unescapeMountField(std::string_view(line).substr(
            space + 1, end == std::string::npos ? end : end - space - 1));
        if (::statvfs(mount.folder.c_str(), &mount.fs) == 0) {
            return mount;
        }
    }
    return std::nullopt;
}

bool folderReadable(const std::string& path)
{
    const std::unique_ptr<DIR, DirClose> dir(::opendir(path.c_str()));
    return dir != nullptr;
}

std::string folderName(std::string_view path)
{
    while (path.size() > 1 && path.back() == '/') {
        path.remove_suffix(1);
    }
    const auto slash = path.rfind('/');
    return CleanVolumeLabel(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// udev writes unsafe bytes of ID_FS_LABEL_ENC as \xHH.
std::string decodeUdevText(std::string_view encoded)
{
    std::string text;
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        if (encoded[i] == '\\' && i + 3 < encoded.size() && encoded[i + 1] == 'x' &&
            hexDigit(encoded[i + 2]) >= 0 && hexDigit(encoded[i + 3]) >= 0) {
            text += static_cast<char>(hexDigit(encoded[i + 2]) * 16 + hexDigit(encoded[i + 3]));
            i += 3;
        } else {
            text += encoded[i];
        }
    }
    return text;
}

std::optional<std::string> udevLabel(const std::string& deviceNode)
{
    const auto device = blockDevice(deviceNode);
    if (!device || !udevAvailable()) {
        return std::nullopt;
    }
    const Udev context(udevLibrary().udev_new());
    if (!device || !context) {
        return std::nullopt;
    }
    const UdevDevice info(udevLibrary().udev_device_new_from_devnum(context.get(), 'b', *device));
    if (!info) {
        return std::nullopt;
    }
    if (const char* encoded = udevLibrary().udev_device_get_property_value(info.get(), "ID_FS_LABEL_ENC")) {
        return CleanVolumeLabel(decodeUdevText(encoded));
    }
    if (const char* label = udevLibrary().udev_device_get_property_value(info.get(), "ID_FS_LABEL")) {
        return CleanVolumeLabel(label);
    }
    return std::nullopt;
}

} // namespace

LinuxDrives::LinuxDrives(const platform::SettingsStore& settings) : m_settings(settings) {}

std::vector<DriveInfo> LinuxDrives::cdromDrives() const
{
    return buildTable(m_settings);
}

std::optional<DriveInfo> LinuxDrives::drive(char letter) const
{
    const auto normal = normalLetter(letter);
    if (!normal) {
        return std::nullopt;
    }
    for (const auto& info : buildTable(m_settings)) {
        if (info.letter == *normal) {
            return info;
        }
    }
    return std::nullopt;
}

bool LinuxDrives::isCdromDrive(char letter) const
{
    return drive(letter).has_value();
}

bool LinuxDrives::discPresent(char letter) const
{
    const auto info = drive(letter);
    if (!info) {
        return false;
    }
    switch (info->kind) {
    case DriveKind::Optical:
        return mountOf(info->source).has_value();
    case DriveKind::Folder:
        return folderReadable(info->source);
    case DriveKind::Image:
        return CheckIsoImage(info->source).volume.has_value();
    }
    return false;
}

std::optional<std::uint64_t> LinuxDrives::discTotalSize(char letter) const
{
    const auto info = drive(letter);
    if (!info) {
        return std::nullopt;
    }
    switch (info->kind) {
    case DriveKind::Optical:
        if (const auto mount = mountOf(info->source)) {
            return static_cast<std::uint64_t>(mount->fs.f_blocks) * mount->fs.f_frsize;
        }
        return std::nullopt;
    case DriveKind::Folder:
        if (!folderReadable(info->source)) {
            return std::nullopt;
        }
        return FolderDiscSource(catalog::WithSlash(info->source)).regularFileBytes();
    case DriveKind::Image:
        if (const auto volume = CheckIsoImage(info->source).volume) {
            return volume->totalBytes;
        }
        return std::nullopt;
    }
    return std::nullopt;
}

std::string LinuxDrives::volumeLabel(char letter) const
{
    const auto info = drive(letter);
    if (!info) {
        return {};
    }
    switch (info->kind) {
    case DriveKind::Optical:
        if (!mountOf(info->source)) {
            return {};
        }
        if (auto label = udevLabel(info->source)) {
            return *label;
        }
        if (const auto volume = ReadIsoVolume(info->source)) {
            return volume->volumeId;
        }
        return {};
    case DriveKind::Folder:
        return folderReadable(info->source) ? folderName(info->source) : std::string();
    case DriveKind::Image:
        if (const auto volume = CheckIsoImage(info->source).volume) {
            return volume->volumeId;
        }
        return {};
    }
    return {};
}

std::optional<std::string> LinuxDrives::mountPoint(char letter) const
{
    const auto info = drive(letter);
    if (!info) {
        return std::nullopt;
    }
    switch (info->kind) {
    case DriveKind::Optical:
        if (const auto mount = mountOf(info->source)) {
            return catalog::WithSlash(mount->folder);
        }
        return std::nullopt;
    case DriveKind::Folder:
        if (!folderReadable(info->source)) {
            return std::nullopt;
        }
        return catalog::WithSlash(info->source);
    case DriveKind::Image:
        return std::nullopt;
    }
    return std::nullopt;
}

std::unique_ptr<DiscSource> LinuxDrives::openDisc(char letter) const
{
    const auto info = drive(letter);
    if (!info) {
        return nullptr;
    }
    if (info->kind == DriveKind::Image) {
        return CheckIsoImage(info->source).volume ? IsoDiscSource::open(info->source) : nullptr;
    }
    const auto folder = mountPoint(letter);
    if (!folder) {
        return nullptr;
    }
    return std::make_unique<FolderDiscSource>(*folder);
}

std::string LinuxDrives::discProblem(char letter) const
{
    const auto info = drive(letter);
    if (!info || info->kind != DriveKind::Image) {
        return {};
    }
    const IsoImageCheck check = CheckIsoImage(info->source);
    if (check.volume && !IsoDiscSource::open(info->source)) {
        return "目录无法完整读取";
    }
    return check.problemUtf8;
}

void LinuxDrives::setDriveDoor(char letter, bool open)
{
    const auto info = drive(letter);
    if (!info || info->kind != DriveKind::Optical || !blockDevice(info->source)) {
        return;
    }
    const int fd = ::open(info->source.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    // The result is not reported: a drive that cannot move its door stays as it is.
    (void)::ioctl(fd, open ? CDROMEJECT : CDROMCLOSETRAY, 0);
    ::close(fd);
}

void MapVirtualDrive(platform::SettingsStore& settings, char letter,
                     const std::string& absolutePath)
{
    const char name = checkedLetter(letter);
    if (absolutePath.empty()) {
        throw std::invalid_argument("映射的路径不能为空");
    }
    const std::string path = std::filesystem::absolute(absolutePath).lexically_normal().string();
    settings.writeString(DrivesKey, std::string(1, name), path);
}

void UnmapVirtualDrive(platform::SettingsStore& settings, char letter)
{
    settings.deleteValue(DrivesKey, std::string(1, checkedLetter(letter)));
}

} // namespace platform::linux_edition
