#include "organize/organize.h"

#include "catalog/disk.h"
#include "catalog/library.h"
#include "catalog/text.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <optional>

namespace organize {
namespace {

// A backslash joins the names of a box path: a folder whose own name holds one is no box.
bool isBoxName(std::string_view nameGbk)
{
    if (nameGbk == catalog::ResultsFolderName()) {
        return false;
    }
    for (std::size_t i = 0; i < nameGbk.size(); i += catalog::gbkCharLength(nameGbk, i)) {
        if (nameGbk[i] == '\\' && catalog::gbkCharLength(nameGbk, i) == 1) {
            return false;
        }
    }
    return true;
}

// The folders below a library folder, read once: the passes decide on it and remove on the
// disk, so that each pass costs no walk of its own. A pass removes only what it found
// empty; a folder can only become empty when a pass removes its last sub-folder, which the
// model follows.
class FolderModel
{
public:
    explicit FolderModel(const std::string& top)
    {
        addFolder(top, {}, -1);
        if (!catalog::FolderExists(top)) {
            m_folders[0].missingOrHidden = true;
            return;
        }
        read(0);
    }

    // One pass below the top folder, which itself always stays. Returns the folders removed.
    int pass() { return passFrom(0); }

    // Nodes of the box tree that a refresh would show: the root node, the local drives
    // node, every box, and the search results node with its categories when it holds
    // anything. Folders that the passes never enter (hidden ones, links) count as one
    // node each: they and what lies below them never change.
    int boxTreeNodes() const
    {
        const Folder& top = m_folders[0];
        if (top.missingOrHidden) {
            return 2;
        }
        return 2 + boxesBelow(top) + resultsNodes(top);
    }

private:
    struct Folder
    {
        std::string path; // native, ends in "/"
        std::string name; // GBK
        int parent = -1;
        std::vector<int> children;             // sub-folders the passes walk into
        std::vector<std::string> otherFolders; // hidden sub-folders, links to folders
        int entries = 0;                       // everything in it, sub-folders included
        bool readable = true;
        bool missingOrHidden = false;
        bool removed = false;
    };

    void addFolder(std::string path, std::string name, int parent)
    {
        Folder folder;
        folder.path = std::move(path);
        folder.name = std::move(name);
        folder.parent = parent;
        m_folders.push_back(std::move(folder));
    }

    void read(int index)
    {
        const std::string path = m_folders[static_cast<std::size_t>(index)].path;
        DIR* dir = ::opendir(path.c_str());
        if (dir == nullptr) {
            // A folder that cannot be read is never taken for empty.
            m_folders[static_cast<std::size_t>(index)].readable = false;
            return;
        }
        std::vector<std::string> subFolders;
        while (const dirent* entry = ::readdir(dir)) {
            const std::string_view name(entry->d_name);
            if (name == "." || name == "..") {
                continue;
            }
            ++m_folders[static_cast<std::size_t>(index)].entries;
            const Kind kind = kindOf(::dirfd(dir), *entry);
            if (kind == Kind::Folder && !name.starts_with('.')) {
                subFolders.emplace_back(name);
            } else if (kind != Kind::Other) {
                m_folders[static_cast<std::size_t>(index)].otherFolders.emplace_back(name);
            }
        }
        ::closedir(dir);
        for (auto& name : subFolders) {
            const int child = static_cast<int>(m_folders.size());
            std::string childPath = catalog::ChildPath(path, name);
            addFolder(std::move(childPath), std::move(name), index);
            m_folders[static_cast<std::size_t>(index)].children.push_back(child);
            read(child);
        }
    }

    enum class Kind { Folder, OtherFolder, Other };

    // A folder the passes walk into, a folder they leave alone (a link to one), or a file.
    static Kind kindOf(int dirFd, const dirent& entry)
    {
        unsigned char type = entry.d_type;
        struct stat info = {};
        if (type == DT_UNKNOWN && ::fstatat(dirFd, entry.d_name, &info, AT_SYMLINK_NOFOLLOW) == 0) {
            type = S_ISDIR(info.st_mode) ? DT_DIR : S_ISLNK(info.st_mode) ? DT_LNK : DT_REG;
        }
        if (type == DT_DIR) {
            return Kind::Folder;
        }
        if (type == DT_LNK && ::fstatat(dirFd, entry.d_name, &info, 0) == 0 &&
            S_ISDIR(info.st_mode)) {
            return Kind::OtherFolder;
        }
        return Kind::Other;
    }

    int passFrom(int index)
    {
        Folder& folder = m_folders[static_cast<std::size_t>(index)];
        if (folder.removed || folder.missingOrHidden || !folder.readable) {
            return 0;
        }
        if (folder.entries == 0) {
            return index != 0 && remove(index) ? 1 : 0;
        }
        int removed = 0;
        // The folder is not looked at again in this pass once its sub-folders are done.
        for (const int child : folder.children) {
            removed += passFrom(child);
        }
        return removed;
    }

    bool remove(int index)
    {
        Folder& folder = m_folders[static_cast<std::size_t>(index)];
        const std::string path = folder.path.substr(0, folder.path.size() - 1);
        // The locks that a box is made under (its parent's) and written under (its own):
        // a box made for filling, or a first record being written, is never found empty
        // in between.
        const catalog::FolderLock parentLock(
            m_folders[static_cast<std::size_t>(folder.parent)].path);
        std::optional<catalog::FolderLock> lock;
        try {
            lock.emplace(folder.path);
        } catch (const catalog::FileError& error) {
            if (error.errorNumber() != ENOENT) {
                throw;
            }
        }
        const bool removedHere = ::rmdir(path.c_str()) == 0;
        if (!removedHere) {
            if (errno == ENOTEMPTY || errno == EEXIST) {
                folder.entries = 1; // something arrived since it was read
                return false;
            }
            if (errno != ENOENT) {
                catalog::throwFileError(path, errno);
            }
        }
        folder.removed = true;
        if (folder.parent >= 0) {
            --m_folders[static_cast<std::size_t>(folder.parent)].entries;
        }
        return removedHere;
    }

    int boxesBelow(const Folder& folder) const
    {
        int boxes = static_cast<int>(
            std::count_if(folder.otherFolders.begin(), folder.otherFolders.end(), isBoxName));
        for (const int child : folder.children) {
            const Folder& sub = m_folders[static_cast<std::size_t>(child)];
            if (!sub.removed && isBoxName(sub.name)) {
                boxes += 1 + boxesBelow(sub);
            }
        }
        return boxes;
    }

    int resultsNodes(const Folder& top) const
    {
        const auto isCategory = [](std::string_view name) {
            return isBoxName(name) && !name.starts_with('.');
        };
        for (const int child : top.children) {
            const Folder& results = m_folders[static_cast<std::size_t>(child)];
            if (results.removed || results.name != catalog::ResultsFolderName() ||
                !results.readable || results.entries == 0) {
                continue;
            }
            int nodes = 1 + static_cast<int>(std::count_if(results.otherFolders.begin(),
                                                           results.otherFolders.end(), isCategory));
            for (const int category : results.children) {
                const Folder& sub = m_folders[static_cast<std::size_t>(category)];
                nodes += !sub.removed && isCategory(sub.name) ? 1 : 0;
            }
            return nodes;
        }
        return 0;
    }

    std::vector<Folder> m_folders;
};

// One pass and the refresh after it: the box tree's node count.
int passAndRefresh(FolderModel& model, const std::function<void()>& refresh, int& removed)
{
    removed += model.pass();
    if (refresh) {
        refresh();
    }
    return model.boxTreeNodes();
}

} // namespace

int RemoveEmptyFolders(const std::string& folder)
{
    return FolderModel(folder).pass();
}

int ClearEmptyBoxes(const std::string& root, const std::function<void()>& refresh)
{
    FolderModel model(root);
    int removed = 0;
    for (;;) {
        const int first = passAndRefresh(model, refresh, removed);
        const int second = passAndRefresh(model, refresh, removed);
        if (first == second) {
            return removed;
        }
    }
}

} // namespace organize
