#pragma once

#include <string>

// Where this program keeps its files on Linux. Native paths ending in "/".
namespace platform::linux_edition {

// $HOME, else the password database's home folder (no trailing "/").
std::string homeFolder();
// $XDG_CONFIG_HOME/Vellumark/ (normally ~/.config/Vellumark/).
std::string configFolder();
// $XDG_DATA_HOME/Vellumark/Orlendy/ (normally ~/.local/share/Vellumark/Orlendy/).
std::string defaultLibraryRoot();
// $XDG_CACHE_HOME/vellumark/ (normally ~/.cache/vellumark/): what can be made again, such as
// the search index.
std::string cacheFolder();
// The settings file: configFolder() + "registry.ini".
std::string settingsFile();

} // namespace platform::linux_edition
