#include "tests/core/disc_trees.h"

#include "tests/support/cli_runner.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <stdexcept>

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
    // rm walks relative to open folders too; the temporary folder's own clean-up does not.
    testing_support::RunProgram("rm", {"-rf", m_root + m_name});
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
