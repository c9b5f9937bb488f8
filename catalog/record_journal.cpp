#include "catalog/record_journal.h"

#include "catalog/disk.h"
#include "catalog/text.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <string_view>
#include <unordered_map>

namespace catalog {
namespace {

constexpr std::string_view UnitMark = "VELLUMARK-UNIT 1";
constexpr std::string_view PointerMark = "VELLUMARK-POINTER 1";
constexpr std::string_view AddMark = "VELLUMARK-ADD 1";
constexpr std::string_view EndMark = "END";

std::string folderOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

bool exists(const std::string& path)
{
    struct stat info = {};
    return ::lstat(path.c_str(), &info) == 0;
}

// Fields separated by NUL, which no path holds; the end mark tells a note written whole.
std::string encode(std::string_view mark, const std::vector<std::string>& fields)
{
    std::string text(mark);
    text += '\0';
    for (const auto& field : fields) {
        text += field;
        text += '\0';
    }
    text += EndMark;
    return text;
}

// The fields of a note written whole with that mark; nullopt for anything else.
std::optional<std::vector<std::string>> decode(std::string_view text, std::string_view mark)
{
    std::string expectedEnd("\0", 1);
    expectedEnd += EndMark;
    if (!text.starts_with(mark) || text.size() < mark.size() + 1 || text[mark.size()] != '\0' ||
        !text.ends_with(expectedEnd)) {
        return std::nullopt;
    }
    std::vector<std::string> fields;
    std::size_t pos = mark.size() + 1;
    const std::size_t stop = text.size() - EndMark.size();
    while (pos < stop) {
        const std::size_t nul = text.find('\0', pos);
        if (nul == std::string_view::npos || nul >= stop) {
            return std::nullopt;
        }
        fields.emplace_back(text.substr(pos, nul - pos));
        pos = nul + 1;
    }
    return fields;
}

// Written whole and, with flush, down on the disk before its name appears.
void writeNote(const std::string& folder, std::string_view content, bool flush)
{
    TemporaryFile temporary(folder, folder + JournalName);
    temporary.write(content);
    if (flush && FlushFile(temporary.fd()) != 0) {
        throwFileError(folder + JournalName, errno);
    }
    temporary.renameTo(folder + JournalName);
}

std::string readNote(const std::string& path)
{
    try {
        return ReadWholeFile(path);
    } catch (const FileError&) {
        return {};
    }
}

// Holds a folder's lock only when it is free: recovery never waits on a live writer.
class TryLock
{
public:
    explicit TryLock(const std::string& folder)
        : m_fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        m_held = m_fd.get() >= 0 && ::flock(m_fd.get(), LOCK_EX | LOCK_NB) == 0;
    }
    bool held() const { return m_held; }

private:
    FileDescriptor m_fd;
    bool m_held = false;
};

int runSteps(const std::vector<RecordJournal::Step>& steps,
             const std::function<bool(const std::string&)>& trash = {})
{
    // The places the renames fill, by their names without regard to case: only there can
    // a name to remove be one of them.
    std::unordered_multimap<std::string, const std::string*> placed;
    for (const auto& step : steps) {
        if (step.kind == 'R') {
            placed.emplace(upperAscii(step.second), &step.second);
        }
    }
    int failures = 0;
    for (const auto& step : steps) {
        if (step.kind == 'R') {
            // A source gone already was renamed before the crash; one still there whose
            // rename fails (its target folder gone) is a failure.
            if (RenameFile(step.first, step.second) != 0 &&
                (errno != ENOENT || exists(step.first))) {
                ++failures;
            }
            continue;
        }
        if (!exists(step.first) || (!step.second.empty() && !exists(step.second))) {
            continue;
        }
        // Where names ignore case, an old spelling may be the new file itself.
        const auto [first, last] = placed.equal_range(upperAscii(step.first));
        const bool isNew = std::any_of(
            first, last, [&](const auto& to) { return SameFile(*to.second, step.first); });
        if (isNew || (trash && trash(step.first))) {
            continue;
        }
        if (::unlink(step.first.c_str()) != 0 && errno != ENOENT) {
            ++failures;
        }
    }
    return failures;
}

} // namespace

RecordJournal::RecordJournal(std::string home) : m_home(std::move(home)) {}

void RecordJournal::rename(std::string from, std::string to)
{
    m_steps.push_back({'R', std::move(from), std::move(to)});
}

void RecordJournal::remove(std::string path, std::string guard)
{
    m_steps.push_back({'U', std::move(path), std::move(guard)});
}

int RecordJournal::commit(const std::function<bool(const std::string&)>& trash, Flush flush)
{
    if (m_steps.empty()) {
        return 0;
    }
    std::vector<std::string> others;
    std::vector<std::string> fields;
    for (const auto& step : m_steps) {
        fields.push_back(std::string(1, step.kind));
        fields.push_back(step.first);
        fields.push_back(step.second);
        for (const std::string* path : {&step.first, &step.second}) {
            const std::string folder = path->empty() ? m_home : folderOf(*path);
            if (folder != m_home &&
                std::find(others.begin(), others.end(), folder) == others.end()) {
                others.push_back(folder);
            }
        }
    }
    const std::string home = m_home + JournalName;
    for (const auto& folder : others) {
        writeNote(folder, encode(PointerMark, {home}), false);
    }
    writeNote(m_home, encode(UnitMark, fields), flush == Flush::Note);
    if (flush == Flush::FileSystem) {
        // One flush for the copies staged beside their targets and for the note.
        const FileDescriptor folderFd(::open(m_home.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (folderFd.get() < 0 || FlushFileSystem(folderFd.get()) != 0) {
            ::sync();
        }
    }
    const int failures = runSteps(m_steps, trash);
    ::unlink(home.c_str());
    for (const auto& folder : others) {
        ::unlink((folder + JournalName).c_str());
    }
    m_steps.clear();
    return failures;
}

void NoteFilesToAdd(const std::string& folder, const std::vector<std::string>& names)
{
    // Not flushed: the files it names are not either, and their sources stay.
    writeNote(folder, encode(AddMark, names), false);
}

void FilesAdded(const std::string& folder)
{
    ::unlink((folder + JournalName).c_str());
}

namespace {

// Removes what a killed unit made of the files it meant to add; only names of the folder.
void rollBackAdded(const std::string& folder, const std::vector<std::string>& names)
{
    for (const auto& name : names) {
        if (!name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos) {
            ::unlink((folder + name).c_str());
        }
    }
}

} // namespace

void RecoverFolder(const std::string& folder)
{
    const std::string note = folder + JournalName;
    if (!exists(note)) {
        return;
    }
    const std::string text = readNote(note);
    if (const auto pointer = decode(text, PointerMark); pointer && pointer->size() == 1) {
        const std::string home = pointer->front();
        const std::string homeFolder = folderOf(home);
        const TryLock lock(homeFolder);
        if (!lock.held()) {
            return; // its writer is still at work, or recovers it now
        }
        RecoverFolder(homeFolder);
        ::unlink(note.c_str());
        return;
    }
    if (const auto added = decode(text, AddMark)) {
        rollBackAdded(folder, *added);
        ::unlink(note.c_str());
        return;
    }
    const auto fields = decode(text, UnitMark);
    // A note not written whole is from before the first step: nothing was changed.
    if (fields && fields->size() % 3 == 0) {
        std::vector<RecordJournal::Step> steps;
        std::vector<std::string> others;
        for (std::size_t i = 0; i < fields->size(); i += 3) {
            steps.push_back(
                {(*fields)[i].empty() ? 'U' : (*fields)[i][0], (*fields)[i + 1], (*fields)[i + 2]});
            for (const std::string* path : {&(*fields)[i + 1], &(*fields)[i + 2]}) {
                if (!path->empty() && folderOf(*path) != folder) {
                    others.push_back(folderOf(*path));
                }
            }
        }
        runSteps(steps);
        for (const auto& other : others) {
            const std::string pointer = other + JournalName;
            const auto target = decode(readNote(pointer), PointerMark);
            if (target && target->size() == 1 && target->front() == note) {
                ::unlink(pointer.c_str());
            }
        }
    }
    ::unlink(note.c_str());
}

void TryRecoverFolder(const std::string& folder)
{
    if (!exists(folder + JournalName)) {
        return;
    }
    const TryLock lock(folder);
    if (lock.held()) {
        RecoverFolder(folder);
    }
}

} // namespace catalog
