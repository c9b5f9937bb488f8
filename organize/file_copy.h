#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// Single files of the library copied safely, and the sources of a move across file
// systems deleted only once their copies are down whole.
namespace organize {

// Whether the target of a copy may already be there. A file that is replaced is flushed
// before the rename, so that a crash never leaves it empty; a new one needs no flush.
enum class CopyTarget { New, MayExist };

// Copies the regular file `from` to `to` (a file of targetFolder, ending in "/") through a
// locked temporary file in targetFolder, so a copy that fails half way never replaces a
// good file. Returns the size copied, or -1 when nothing was copied.
off_t CopyRegularFile(const std::string& from, const std::string& targetFolder,
                      const std::string& to, CopyTarget target = CopyTarget::MayExist);

// True when `to` is a regular file of copiedSize bytes and `from`, still that size, is
// another file: a link can make a source and its copy one file.
bool ArrivedWhole(const std::string& from, const std::string& to, off_t copiedSize);

// Puts what was written to the file system of folder on the disk.
void FlushFileSystemOf(const std::string& folder);

// The sources of a move that had to copy: each goes once the file system of its copy has
// been flushed and the copy is found whole.
class SourceRemovals
{
public:
    void add(std::string source, std::string copy, off_t size);
    // Flushes, then deletes every source whose copy arrived whole. Returns how many stay.
    int finish();

private:
    struct Pending
    {
        std::string source;
        std::string copy;
        off_t size = 0;
    };
    std::vector<Pending> m_pending;
};

} // namespace organize
