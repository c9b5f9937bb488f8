#pragma once

#include <string>

// A shared library opened when a command first needs it instead of at start-up. The drive,
// image and trash libraries pull in some twenty others and cost every command a few
// milliseconds to load, while most commands never touch them.
namespace catalog {

class LoadedLibrary
{
public:
    // Opens the library by its SONAME. It stays open for the life of the process.
    explicit LoadedLibrary(const char* soname);
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;

    // The function or variable of that name; nullptr when the library or the name is
    // missing, and the first such miss is kept for problem().
    template <class Type> Type* symbol(const char* name)
    {
        return reinterpret_cast<Type*>(address(name));
    }

    // "" when the library opened and every function asked for was found.
    const std::string& problem() const { return m_problem; }

    // Throws std::runtime_error with problem() unless it is "".
    void requireComplete() const;

private:
    void* address(const char* name);

    std::string m_soname;
    void* m_handle = nullptr;
    std::string m_problem;
};

} // namespace catalog

// Inside a struct that has a LoadedLibrary member named `library`, declared before it: a
// member of the library function's own type, named like it, looked up in that library.
#define VELLUMARK_LOADED_FUNCTION(name)                                                            \
    decltype(&::name) name = library.symbol<decltype(::name)>(#name)
