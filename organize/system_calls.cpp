#include "organize/system_calls.h"

#include "catalog/loaded_library.h"

#include <gio/gio.h>

#include <cstdio>
#include <stdexcept>
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

struct GioApi
{
    catalog::LoadedLibrary library{"libgio-2.0.so.0"};
    VELLUMARK_LOADED_FUNCTION(g_file_new_for_path);
    VELLUMARK_LOADED_FUNCTION(g_file_trash);
    VELLUMARK_LOADED_FUNCTION(g_io_error_quark);
    VELLUMARK_LOADED_FUNCTION(g_object_unref);
};

const GioApi& gio()
{
    static GioApi api;
    api.library.requireComplete();
    return api;
}

Trashing trashWithGio(const std::string& path)
{
    Trashing outcome;
    const GioApi* api = nullptr;
    try {
        api = &gio();
    } catch (const std::exception& error) {
        outcome.result = TrashResult::Failed;
        outcome.errorUtf8 = error.what();
        return outcome;
    }
    GFile* file = api->g_file_new_for_path(path.c_str());
    GError* error = nullptr;
    if (api->g_file_trash(file, nullptr, &error)) {
        outcome.result = TrashResult::Trashed;
    } else {
        outcome.result = g_error_matches(error, api->g_io_error_quark(), G_IO_ERROR_NOT_SUPPORTED)
                             ? TrashResult::NotSupported
                             : TrashResult::Failed;
        outcome.errorUtf8 = error->message;
        g_error_free(error);
    }
    api->g_object_unref(file);
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
