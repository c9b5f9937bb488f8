#include "tests/core/disc_trees.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <stdexcept>
#include <string_view>
#include <vector>

namespace disc_trees {
namespace {

int openFolder(int parent, const char* name)
{
    const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        throw std::runtime_error(std::string("cannot open folder ") + name);
    }
    return fd;
}

void fillLevel(int folder)
{
    if (::mkdirat(folder, "z", 0755) != 0) {
        throw std::runtime_error("cannot make z");
    }
    const int file = ::openat(folder, "f.txt", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (file < 0 || ::write(file, "xyz", 3) != 3) {
        throw std::runtime_error("cannot write f.txt");
    }
    ::close(file);
}

// Empties an open folder, however deep, and closes it.
void removeContents(int folder)
{
    std::vector<std::pair<std::string, bool>> names;
    if (DIR* dir = ::fdopendir(::dup(folder))) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string_view name(entry->d_name);
            if (name != "." && name != "..") {
                names.emplace_back(name, entry->d_type == DT_DIR);
            }
        }
        ::closedir(dir);
    }
    for (const auto& [name, isFolder] : names) {
        if (isFolder) {
            removeContents(openFolder(folder, name.c_str()));
        }
        ::unlinkat(folder, name.c_str(), isFolder ? AT_REMOVEDIR : 0);
    }
    ::close(folder);
}

} // namespace

DeepChain::DeepChain(std::string root, int levels, const std::string& name)
    : m_root(std::move(root)), m_name(name)
{
    int folder = openFolder(AT_FDCWD, m_root.c_str());
    for (int level = 0;; ++level) {
        fillLevel(folder);
        if (level == levels) {
            break;
        }
        if (::mkdirat(folder, name.c_str(), 0755) != 0) {
            throw std::runtime_error("cannot make a level");
        }
        const int next = openFolder(folder, name.c_str());
        ::close(folder);
        folder = next;
    }
    ::close(folder);
}

DeepChain::~DeepChain()
{
    try {
        removeContents(openFolder(AT_FDCWD, m_root.c_str()));
    } catch (const std::exception&) {
        // Left for the temporary folder's own clean-up.
    }
}

std::string DeepChain::relative(int level) const
{
    std::string path;
    for (int i = 0; i < level; ++i) {
        path += (i == 0 ? "" : "/") + m_name;
    }
    return path;
}

} // namespace disc_trees
