#include "organize/system_calls.h"

#include <gio/gio.h>

#include <cstdio>
#include <utility>

namespace organize {
namespace {

ScopedSystemCalls::Rename& renameStandIn()
{
    static ScopedSystemCalls::Rename standIn;
    return standIn;
}

ScopedSystemCalls::Trash& trashStandIn()
{
    static ScopedSystemCalls::Trash standIn;
    return standIn;
}

Trashing trashWithGio(const std::string& path)
{
    GFile* file = g_file_new_for_path(path.c_str());
    GError* error = nullptr;
    Trashing outcome;
    if (g_file_trash(file, nullptr, &error)) {
        outcome.result = TrashResult::Trashed;
    } else {
        outcome.result = g_error_matches(error, G_IO_ERROR, G_IO_ERROR_NOT_SUPPORTED)
                             ? TrashResult::NotSupported
                             : TrashResult::Failed;
        outcome.errorUtf8 = error->message;
        g_error_free(error);
    }
    g_object_unref(file);
    return outcome;
}

} // namespace

int RenamePath(const std::string& from, const std::string& to)
{
    if (renameStandIn()) {
        return renameStandIn()(from, to);
    }
    return std::rename(from.c_str(), to.c_str());
}

Trashing MoveToTrash(const std::string& path)
{
    if (trashStandIn()) {
        return trashStandIn()(path);
    }
    return trashWithGio(path);
}

ScopedSystemCalls::ScopedSystemCalls(Rename rename, Trash trash)
    : m_previousRename(std::exchange(renameStandIn(), std::move(rename))),
      m_previousTrash(std::exchange(trashStandIn(), std::move(trash)))
{}

ScopedSystemCalls::~ScopedSystemCalls()
{
    renameStandIn() = std::move(m_previousRename);
    trashStandIn() = std::move(m_previousTrash);
}

} // namespace organize
