// The drive table from the command line: listing drives, mapping virtual drives and
// recognising the disc in a drive.

#include "catalog/disk.h"
#include "catalog/identify.h"
#include "catalog/library.h"
#include "catalog/text.h"
#include "cli/commands.h"
#include "platform/linux/keyfile_settings_store.h"
#include "platform/linux/linux_drives.h"
#include "platform/linux/xdg_paths.h"

#include <filesystem>
#include <ostream>

namespace cli {
namespace {

namespace linux_edition = platform::linux_edition;

void expectArguments(const std::vector<std::string>& args, std::size_t count, const char* usage)
{
    if (args.size() != count) {
        throw CommandError{std::string("用法: vellumark-cli ") + usage};
    }
}

const char* kindWord(platform::DriveKind kind)
{
    switch (kind) {
    case platform::DriveKind::Folder:
        return "folder";
    case platform::DriveKind::Image:
        return "image";
    case platform::DriveKind::Optical:
        break;
    }
    return "optical";
}

// A label is free text; TABs and line breaks in it would break the columns.
std::string oneField(std::string text)
{
    for (char& c : text) {
        if (c == '\t' || c == '\n' || c == '\r') {
            c = ' ';
        }
    }
    return text;
}

// Native path below the root -> names joined by backslashes, as shown (UTF-8).
std::string libraryRelative(const std::string& root, const std::string& path)
{
    std::string shown;
    std::string_view rest = std::string_view(path).substr(root.size());
    while (!rest.empty()) {
        const auto slash = rest.find('/');
        if (!shown.empty()) {
            shown += '\\';
        }
        shown += catalog::gbkToUtf8(catalog::DisplayCaption(rest.substr(0, slash)));
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    }
    return shown;
}

} // namespace

int runDrives(const Context& context, const std::vector<std::string>& args)
{
    expectArguments(args, 0, "drives");
    const linux_edition::KeyFileSettingsStore settings(linux_edition::settingsFile());
    const linux_edition::LinuxDrives drives(settings);
    for (const auto& drive : drives.cdromDrives()) {
        const bool present = drives.discPresent(drive.letter);
        const auto size = present ? drives.discTotalSize(drive.letter) : std::nullopt;
        *context.out << drive.letter << '\t' << kindWord(drive.kind) << '\t'
                     << (present ? "yes" : "no") << '\t'
                     << (present ? oneField(drives.volumeLabel(drive.letter)) : std::string())
                     << '\t' << (size ? std::to_string(*size) : std::string()) << '\n';
    }
    return 0;
}

int runMap(const Context&, const std::vector<std::string>& args)
{
    expectArguments(args, 2, "map 盘符 路径");
    const char letter = parseLetter(args[0]);
    std::error_code error;
    if (args[1].empty() || !std::filesystem::exists(args[1], error)) {
        throw CommandError{"找不到: " + args[1]};
    }
    linux_edition::KeyFileSettingsStore settings(linux_edition::settingsFile());
    linux_edition::MapVirtualDrive(settings, letter,
                                   std::filesystem::absolute(args[1]).lexically_normal().string());
    return 0;
}

int runUnmap(const Context&, const std::vector<std::string>& args)
{
    expectArguments(args, 1, "unmap 盘符");
    linux_edition::KeyFileSettingsStore settings(linux_edition::settingsFile());
    linux_edition::UnmapVirtualDrive(settings, parseLetter(args[0]));
    return 0;
}

int runIdentify(const Context& context, const std::vector<std::string>& args)
{
    expectArguments(args, 1, "identify 盘符");
    const char letter = parseLetter(args[0]);
    const linux_edition::KeyFileSettingsStore settings(linux_edition::settingsFile());
    const linux_edition::LinuxDrives drives(settings);
    const std::string found = catalog::IdentifyDiscInDrive(drives, letter, context.libraryRoot);
    if (found == "-1" || found.empty()) {
        *context.out << found << '\n';
    } else {
        *context.out << libraryRelative(context.libraryRoot, found) << '\n';
    }
    return 0;
}

} // namespace cli
