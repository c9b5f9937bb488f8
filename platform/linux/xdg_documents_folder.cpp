#include "platform/linux/xdg_documents_folder.h"

#include "catalog/disk.h"
#include "platform/linux/xdg_paths.h"

#include <cstdlib>
#include <glib.h>

namespace platform::linux_edition {

std::string XdgDocumentsFolder::path() const
{
    // NULL when xdg-user-dirs names no documents folder.
    const gchar* documents = g_get_user_special_dir(G_USER_DIRECTORY_DOCUMENTS);
    return catalog::WithSlash(documents != nullptr && *documents != '\0' ? documents : homeFolder());
}

} // namespace platform::linux_edition
