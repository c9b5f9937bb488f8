#pragma once

#include <sys/stat.h>

#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// File system access of the core: folder listings, whole-file reads, atomic writes and
// record files found by extension without regard to case. Paths are native; folder paths
// end in "/"; names inside the library are raw GBK bytes.
namespace catalog {

// A file or folder that could not be read, written, created or removed. what() is the
// system's message with the path, UTF-8; errorNumber() the errno behind it, 0 if none.
class FileError : public std::runtime_error
{
public:
    explicit FileError(const std::string& message, int errorNumber = 0)
        : std::runtime_error(message), m_errorNumber(errorNumber)
    {}
    int errorNumber() const { return m_errorNumber; }

private:
    int m_errorNumber;
};

// A native path as UTF-8 text: GBK names below the root are converted.
std::string DisplayPath(std::string_view path);

// Throws FileError for the path with strerror(errorNumber).
[[noreturn]] void throwFileError(const std::string& path, int errorNumber);

// Owns a file descriptor and closes it.
class FileDescriptor
{
public:
    explicit FileDescriptor(int fd = -1) : m_fd(fd) {}
    ~FileDescriptor();
    FileDescriptor(FileDescriptor&& other) noexcept : m_fd(other.release()) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return m_fd; }
    int release();
    // Closes the descriptor held and takes fd.
    void reset(int fd);

private:
    int m_fd;
};

// The folders of a recursive walk, by device and inode: a symbolic link back to one of
// them would otherwise make the walk endless.
class FolderWalkGuard
{
public:
    // False when the folder is already on the way down or cannot be examined.
    bool enter(const std::string& folder);
    void leave() { m_chain.pop_back(); }

private:
    std::vector<std::pair<unsigned long, unsigned long>> m_chain;
};

struct DirEntry
{
    std::string name; // raw bytes
    bool isFolder = false;
    bool isRegular = false; // a regular file (through a link too): safe to read
    bool isLink = false;    // a symbolic link: walks never follow one to a folder
};

enum class Listing { Ok, Unreadable };

// Every entry of a folder but "." and "..", hidden ones included, sorted by name bytes.
// A symbolic link counts as what it points to. An unreadable folder gives Unreadable
// and no entries.
Listing ListFolder(const std::string& folder, std::vector<DirEntry>& entries);

// The whole file. Throws FileError when it cannot be read or is not a regular file (a
// FIFO or a device is opened without blocking and refused, never waited on).
std::string ReadWholeFile(const std::string& path);
// The same into content, whose memory is reused: for readers of many files in a row.
// content is empty when it throws.
void ReadWholeFileInto(const std::string& path, std::string& content);
// The same, and opened: the file as it was when opened, before any byte was read.
void ReadWholeFileInto(const std::string& path, std::string& content, struct stat& opened);

// A regular file's bytes mapped read-only from the page cache: neither copied nor zeroed,
// for large files read whole and kept a while (the search index). The file must be one
// that is replaced by renaming, never cut short in place: reading past a cut end of a
// mapping is a fault. An empty file maps to no bytes.
class MappedFile
{
public:
    // Throws FileError as ReadWholeFile does.
    explicit MappedFile(const std::string& path);
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    std::string_view bytes() const { return {m_data, m_size}; }

private:
    const char* m_data = nullptr;
    std::size_t m_size = 0;
};

// Opens a file for reading without blocking: -1 with errno set when it cannot be opened
// or is not a regular file (EISDIR for a folder, EINVAL for a FIFO, a device or a
// socket). dirFd may be AT_FDCWD. info, when given, receives the file's status.
int OpenRegularFile(int dirFd, const char* path, struct stat* info = nullptr);
// Throws FileError for a failure of OpenRegularFile.
[[noreturn]] void throwOpenError(const std::string& path, int errorNumber);

// A temporary file being written in a folder: named ".vellumark-tmp-PID-XXXXXX" and locked
// (flock) by its writer for as long as it lives, so that a leftover of a writer that
// died is told from one being written. Removed on destruction unless renamed away.
class TemporaryFile
{
public:
    // Creates it in folder (ending in "/"). Throws FileError naming reportPath.
    TemporaryFile(const std::string& folder, const std::string& reportPath);
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    int fd() const { return m_fd.get(); }
    const std::string& path() const { return m_path; }
    void write(std::string_view content);
    // Renames it over target; it is gone from its folder afterwards. Throws FileError.
    void renameTo(const std::string& target);
    // Another step renamed it away (a unit's note): nothing is left to remove.
    void placed() { m_renamed = true; }

private:
    std::string m_path;
    std::string m_reportPath;
    FileDescriptor m_fd;
    bool m_renamed = false;
};

// The permissions of a file written over path: those of the file there, else a new file's
// (0666 less the umask).
mode_t ModeForReplacing(const std::string& path);
// The content written to a temporary file beside path, with the permissions of the file
// it is to replace (a new file's otherwise); the caller renames it into place. Throws
// FileError.
std::unique_ptr<TemporaryFile> WriteReplacement(const std::string& path, std::string_view content);

// True for the names of this program's temporary files.
bool IsTemporaryFileName(std::string_view name);
// Removes the temporary files of the folder whose writers are gone: nobody holds their
// lock, and the process named in them has ended or they have not changed for a minute.
// Failures are silent.
void RemoveStaleTemporaryFiles(const std::string& folder);

// Many files of one file system replaced atomically with a single flush: each file is
// written beside its target at once, and commit() flushes the file system, then renames
// them into place. Until then the old files stay as they were, and a crash leaves them
// so. add() may be called from several threads; keep the batch short, since each file
// holds a descriptor until commit().
class BatchWrite
{
public:
    struct Failure
    {
        std::size_t slot; // as given to add()
        std::string message;
    };

    // Writes content for path. Throws FileError; nothing of that file is then pending.
    void add(std::size_t slot, std::string path, std::string_view content);
    // Puts every pending file in place; the ones that could not be are returned.
    std::vector<Failure> commit();

private:
    struct Pending
    {
        std::size_t slot;
        std::string path;
        std::unique_ptr<TemporaryFile> temporary;
    };
    std::mutex m_lock;
    std::vector<Pending> m_pending;
};

// How WriteFileAtomically goes about it. Writers of many files into one folder sweep it
// once themselves; files made from the library (exports) may skip the flush, since a
// crash loses nothing that cannot be made again.
struct AtomicWrite
{
    bool sweepStale = false; // clear the folder's stale temporary files first (library
                             // and settings folders only: never a user's folder)
    bool flush = true;       // fsync before the rename
};

// Writes the file through a temporary file in the same folder, flushed and renamed over
// the target: a crash or a full disk never leaves a truncated file. An existing file
// keeps its permissions. Throws FileError.
void WriteFileAtomically(const std::string& path, std::string_view content, AtomicWrite how = {});

// The calls that put written files in place, in one spot so that a test can watch their
// order: fsync(2) of a file, syncfs(2) of the file system that holds one, rename(2).
// 0, or -1 with errno set.
int FlushFile(int fd);
int FlushFileSystem(int fd);
int RenameFile(const std::string& from, const std::string& to);

// Stands in for FlushFile, FlushFileSystem and RenameFile while it lives; an empty
// function keeps the real call. For tests.
class ScopedDiskCalls
{
public:
    using Flush = std::function<int(int fd)>;
    using Rename = std::function<int(const std::string& from, const std::string& to)>;

    ScopedDiskCalls(Flush flushFile, Flush flushFileSystem, Rename rename);
    ~ScopedDiskCalls();
    ScopedDiskCalls(const ScopedDiskCalls&) = delete;
    ScopedDiskCalls& operator=(const ScopedDiskCalls&) = delete;

private:
    Flush m_previousFlushFile;
    Flush m_previousFlushFileSystem;
    Rename m_previousRename;
};

// Holds an exclusive advisory lock (flock) on a folder for its lifetime: every
// read-change-write of the record files in a box, and the check-then-create of a new
// record or box, takes the lock of the box folder, in the window and the CLI alike.
// Taking it first finishes a unit of record changes that a killed writer left there.
// A file system without flock leaves the lock to chance; a missing folder throws.
class FolderLock
{
public:
    explicit FolderLock(const std::string& folder);
    FolderLock(FolderLock&&) = default;

private:
    FileDescriptor m_fd;
};

// Copies size bytes from one open file to another, by the kernel where it can. False on
// a read or write failure.
bool CopyFileContent(int in, int out, off_t size);
// Copies the regular file from, content and permissions, into the open file toFd. Returns
// its size, or -1 with errno set.
off_t CopyRegularFile(const std::string& from, int toFd);
// True when both are regular files with the same permissions and the same bytes: what a
// copy of one onto the other would leave as it is.
bool SameRegularFiles(const std::string& one, const std::string& other);

bool PathExists(const std::string& path);
// True when both paths name one file (links not followed): where names ignore case,
// two spellings may be one file.
bool SameFile(const std::string& a, const std::string& b);
// The folder path with its trailing "/".
std::string WithSlash(std::string folder);
bool IsFolder(const std::string& path);

// Lines of a text file: CR, LF or CR LF end a line; a last line without an end counts.
std::vector<std::string_view> SplitLines(std::string_view text);

// The lines of SplitLines one at a time, without a list: the next CR and the next LF are
// each found with memchr and remembered, so the text is scanned once whatever its line
// ends are.
class LineScanner
{
public:
    explicit LineScanner(std::string_view text) : m_text(text) {}
    // The next line, without its end; false after the last one.
    bool next(std::string_view& line);

private:
    // The first CR or LF from m_pos on; the text's size when there is none.
    std::size_t findLineEnd() const;

    std::string_view m_text;
    std::size_t m_pos = 0;
};

// Each line followed by CR LF, the last one included.
std::string JoinLines(const std::vector<std::string>& lines);

// Extension with its dot, upper-cased in ASCII: the text from the last dot, "" without dot.
std::string UpperExtension(std::string_view name);

} // namespace catalog

namespace catalog {

// A CD record (or a found entry): the native folder of its box and its GBK name.
struct RecordRef
{
    std::string folder; // ends in "/"
    std::string name;   // GBK, without extension
};

} // namespace catalog
