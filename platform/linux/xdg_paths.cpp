#include "platform/linux/xdg_paths.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace platform::linux_edition {
namespace {

// The XDG base folder from the variable, or home + fallback; the XDG rules ignore a
// relative value.
std::string baseFolder(const char* variable, const char* fallbackBelowHome)
{
    std::string folder;
    if (const char* value = std::getenv(variable); value != nullptr && value[0] == '/') {
        folder = value;
    } else {
        folder = homeFolder();
        while (folder.size() > 1 && folder.back() == '/') {
            folder.pop_back();
        }
        folder += '/';
        folder += fallbackBelowHome;
    }
    while (!folder.empty() && folder.back() == '/') {
        folder.pop_back();
    }
    return folder + '/';
}

} // namespace

// Read from the environment on every call (not GLib's cached copy): tests and the
// command-line tool may point XDG_* elsewhere after start-up.
std::string homeFolder()
{
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return home;
    }
    if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_dir) {
        return entry->pw_dir;
    }
    return "/";
}

std::string configFolder()
{
    return baseFolder("XDG_CONFIG_HOME", ".config") + "Vellumark/";
}

std::string defaultLibraryRoot()
{
    return baseFolder("XDG_DATA_HOME", ".local/share") + "Vellumark/Orlendy/";
}

std::string cacheFolder()
{
    return baseFolder("XDG_CACHE_HOME", ".cache") + "vellumark/";
}

std::string settingsFile()
{
    return configFolder() + "registry.ini";
}

} // namespace platform::linux_edition
