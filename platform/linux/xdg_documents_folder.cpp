#include "platform/linux/xdg_documents_folder.h"

#include <cstdlib>
#include <glib.h>
#include <pwd.h>
#include <unistd.h>

namespace platform::linux_edition {
namespace {

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

} // namespace

std::string XdgDocumentsFolder::path() const
{
    // NULL when xdg-user-dirs names no documents folder.
    const gchar* documents = g_get_user_special_dir(G_USER_DIRECTORY_DOCUMENTS);
    std::string folder = documents != nullptr && *documents != '\0' ? documents : homeFolder();
    if (folder.empty() || folder.back() != '/') {
        folder += '/';
    }
    return folder;
}

} // namespace platform::linux_edition
