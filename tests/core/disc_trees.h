#pragma once

#include <string>

// Folder trees that code working with whole paths cannot handle, made and removed with
// calls relative to an open folder.
namespace disc_trees {

// Below root (a folder ending in "/"): a chain of `levels` folders called `name`. Every
// folder of the chain, root included, also holds an empty folder "z" and a file "f.txt" of
// three bytes, "xyz". The chain is removed again when the object goes.
class DeepChain
{
public:
    DeepChain(std::string root, int levels, const std::string& name);
    ~DeepChain();
    DeepChain(const DeepChain&) = delete;
    DeepChain& operator=(const DeepChain&) = delete;

    // Relative path of the folder at the level (0 is root itself).
    std::string relative(int level) const;

private:
    std::string m_root;
    std::string m_name;
};

} // namespace disc_trees
