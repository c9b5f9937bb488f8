#pragma once

#include <functional>
#include <string>

// The two services of the system that moves and deletions rest on, in one place so that a
// test can play what its machine does not offer: a rename across file systems (EXDEV) and
// a file system without a trash.
namespace organize {

// rename(2) of a file or folder: 0, or -1 with errno set.
int RenamePath(const std::string& from, const std::string& to);

enum class TrashResult {
    Trashed,
    NotSupported, // the file system has no trash: the caller deletes instead
    Failed,
};
struct Trashing
{
    TrashResult result = TrashResult::Failed;
    std::string errorUtf8;
};

// Moves a file or folder to the desktop's trash (freedesktop.org, through GIO).
Trashing MoveToTrash(const std::string& path);

// Stands in for RenamePath and MoveToTrash while it lives; an empty function keeps the
// real one. For tests.
class ScopedSystemCalls
{
public:
    using Rename = std::function<int(const std::string& from, const std::string& to)>;
    using Trash = std::function<Trashing(const std::string& path)>;

    ScopedSystemCalls(Rename rename, Trash trash);
    ~ScopedSystemCalls();
    ScopedSystemCalls(const ScopedSystemCalls&) = delete;
    ScopedSystemCalls& operator=(const ScopedSystemCalls&) = delete;

private:
    Rename m_previousRename;
    Trash m_previousTrash;
};

} // namespace organize
