#pragma once

#include <functional>
#include <string>
#include <vector>

// Changes of several record files made as one unit. The steps are written down in the
// box folder (".vellumark-intent", under the box's lock) before the first of them is
// made; a crash part way leaves the note behind, and the next command that locks the box
// finishes the steps. Folders are native and end in "/".
namespace catalog {

class RecordJournal
{
public:
    // home: the folder whose lock the caller holds and where the note is written. The other
    // folders the steps touch get a pointer to it, so whichever is locked first finishes.
    explicit RecordJournal(std::string home);

    // Renames from over to. Replayed only while from is still there.
    void rename(std::string from, std::string to);
    // Removes path. Replayed only while guard (when given) is there: a source whose copy
    // never arrived stays. Never removes a file that a rename of the unit put in place.
    void remove(std::string path, std::string guard = {});
    bool empty() const { return m_steps.empty(); }

    // Writes the note (flushed: the commit point), makes every step, then drops the note.
    // A step that fails is counted, the others are still made. Returns the failures. A
    // removal first offers the file to trash (false: not taken, it is deleted); a crash
    // part way deletes the rest.
    // Flush::Note puts the note alone on the disk; Flush::FileSystem flushes the whole file
    // system once, for writers that staged files beside the ones they replace; Flush::None
    // for a unit that only adds files whose sources stay: a crash loses nothing then.
    enum class Flush { Note, FileSystem, None };
    int commit(const std::function<bool(const std::string& path)>& trash = {},
               Flush flush = Flush::Note);

    struct Step
    {
        char kind; // 'R' rename, 'U' unlink
        std::string first;
        std::string second;
    };

private:
    std::string m_home;
    std::vector<Step> m_steps;
};

// Files a unit creates under their final names in folder (whose lock the caller holds),
// where nothing of those names is, from sources that stay where they are. The names are
// written down before the first file is made and dropped by FilesAdded: a crash between
// leaves the note, and recovery removes what was made of them, so a CD never arrives in
// part. Throws FileError when the note cannot be written.
void NoteFilesToAdd(const std::string& folder, const std::vector<std::string>& names);
void FilesAdded(const std::string& folder);

// Name of the note in a box folder.
inline constexpr const char* JournalName = ".vellumark-intent";

// Finishes the unit that a writer killed part way left in folder (the caller holds the
// folder's lock). Cheap when there is nothing to do: one look-up.
void RecoverFolder(const std::string& folder);
// The same for a folder whose lock the caller does not hold: done only when the lock is
// free at once, so a reader never waits on a writer (or on itself).
void TryRecoverFolder(const std::string& folder);

} // namespace catalog
