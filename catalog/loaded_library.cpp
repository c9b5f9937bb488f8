#include "catalog/loaded_library.h"

#include <dlfcn.h>

#include <stdexcept>

namespace catalog {

LoadedLibrary::LoadedLibrary(const char* soname)
    : m_soname(soname), m_handle(::dlopen(soname, RTLD_NOW | RTLD_LOCAL))
{
    if (!m_handle) {
        const char* error = ::dlerror();
        m_problem = error ? error : m_soname + ": cannot be loaded";
    }
}

void* LoadedLibrary::address(const char* name)
{
    if (!m_handle) {
        return nullptr;
    }
    void* found = ::dlsym(m_handle, name);
    if (!found && m_problem.empty()) {
        m_problem = m_soname + ": no symbol " + name;
    }
    return found;
}

void LoadedLibrary::requireComplete() const
{
    if (!m_problem.empty()) {
        throw std::runtime_error(m_problem);
    }
}

} // namespace catalog
