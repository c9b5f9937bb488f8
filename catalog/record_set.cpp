#include "catalog/record_set.h"

#include "catalog/disk.h"
#include "catalog/record_journal.h"
#include "catalog/text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <utility>

namespace catalog {
namespace {

struct KindSpelling
{
    RecordKind kind;
    std::string_view upper;
    // In the order a reader prefers them; the first is the one a new file gets.
    std::array<std::string_view, 3> spellings;
};

constexpr std::array<KindSpelling, 8> Kinds{{
    {RecordKind::Cdr, ".CDR", {RecordExt::Cdr, ".CDR", ".cdr"}},
    {RecordKind::Tag, ".TAG", {RecordExt::Tag, ".Tag", ".TAG"}},
    {RecordKind::Mx, ".MX", {RecordExt::Mx, ".MX", ".mx"}},
    {RecordKind::Fmx, ".FMX", {RecordExt::Fmx, ".FMX", ".fmx"}},
    {RecordKind::Ifn, ".IFN", {RecordExt::Ifn, ".IFN", ".ifn"}},
    {RecordKind::Fid, ".FID", {RecordExt::Fid, ".FID", ".fid"}},
    {RecordKind::Tgt, ".TGT", {RecordExt::Tgt, ".TGT", ".tgt"}},
    {RecordKind::Fin, ".FIN", {RecordExt::Fin, ".FIN", ".fin"}},
}};

// Two or three letters and their count in one number, small letters as capitals: clearing
// bit 5 turns exactly the small letters into capitals, and makes no other byte a letter.
constexpr std::uint32_t packedExt(std::string_view letters)
{
    auto packed = static_cast<std::uint32_t>(letters.size()) << 24;
    for (std::size_t i = 0; i < letters.size(); ++i) {
        packed |= (static_cast<unsigned char>(letters[i]) & ~0x20U) << (8 * i);
    }
    return packed;
}

// The kinds by their packed extensions, in a table of sixteen slots that a multiplier
// found here spreads them over, one kind to a slot.
struct KindSlot
{
    std::uint32_t ext = 0; // 0 in a free slot: no extension packs to it
    RecordKind kind = RecordKind::Cdr;
};

constexpr std::size_t slotWith(std::uint32_t ext, std::uint32_t multiplier)
{
    return (ext * multiplier) >> 28;
}

constexpr std::uint32_t KindSpreader = [] {
    for (std::uint32_t multiplier = 0x9E3779B1;; multiplier += 2) {
        std::array<bool, 16> taken{};
        bool apart = true;
        for (const auto& kind : Kinds) {
            apart =
                apart &&
                !std::exchange(taken[slotWith(packedExt(kind.upper.substr(1)), multiplier)], true);
        }
        if (apart) {
            return multiplier;
        }
    }
}();

constexpr std::size_t slotOf(std::uint32_t ext)
{
    return slotWith(ext, KindSpreader);
}

constexpr auto KindSlots = [] {
    std::array<KindSlot, 16> slots{};
    for (const auto& kind : Kinds) {
        const std::uint32_t ext = packedExt(kind.upper.substr(1));
        slots[slotOf(ext)] = {ext, kind.kind};
    }
    return slots;
}();

const KindSpelling& spellingOf(RecordKind kind)
{
    return Kinds[static_cast<std::size_t>(kind)];
}

bool sameTime(const timespec& a, const timespec& b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

std::atomic<RecordObserver*> observer{nullptr};

// Every spelling of the kind of base in folder, exact base, in the fixed order.
std::vector<std::string> spellingsPresent(const std::string& folder, std::string_view baseGbk,
                                          RecordKind kind)
{
    RecordFolder listed(folder);
    return listed.files(baseGbk, kind, false);
}

} // namespace

std::string_view UpperExt(RecordKind kind)
{
    return spellingOf(kind).upper;
}

std::string_view WrittenExt(RecordKind kind)
{
    return spellingOf(kind).spellings.front();
}

int SpellingRank(RecordKind kind, std::string_view ext)
{
    const auto& spellings = spellingOf(kind).spellings;
    const auto found = std::find(spellings.begin(), spellings.end(), ext);
    return static_cast<int>(found - spellings.begin());
}

std::string_view CopiedExt(RecordKind kind)
{
    return kind == RecordKind::Tag ? spellingOf(kind).spellings[1] : WrittenExt(kind);
}

std::string_view FoundEntryExt(RecordKind kind)
{
    switch (kind) {
    case RecordKind::Tag:
        return CopiedExt(kind);
    case RecordKind::Mx:
    case RecordKind::Fmx:
    case RecordKind::Ifn:
        return spellingOf(kind).spellings[2];
    default:
        return WrittenExt(kind);
    }
}

std::optional<RecordKind> RecordKindOf(std::string_view name)
{
    // Every walk asks this of every name, so it is one table look-up. The extensions are
    // two or three ASCII letters, and behind a dot no byte can be the second of a two-byte
    // character, so comparing bytes here is what comparing by characters would give.
    const std::size_t size = name.size();
    const std::size_t letters = size >= 3 && name[size - 3] == '.' ? 2 : 3;
    if (size < letters + 1 || name[size - letters - 1] != '.') {
        return std::nullopt;
    }
    const std::uint32_t ext = packedExt(name.substr(size - letters));
    const KindSlot& slot = KindSlots[slotOf(ext)];
    return slot.ext == ext ? std::optional(slot.kind) : std::nullopt;
}

bool IsRecordFileName(std::string_view name)
{
    return RecordKindOf(name).has_value();
}

RecordKind KindOfExt(std::string_view ext)
{
    const auto kind = RecordKindOf(ext);
    return kind ? *kind : RecordKind::Cdr;
}

const std::vector<RecordKind>& CdRecordKinds()
{
    static const std::vector<RecordKind> kinds{RecordKind::Cdr, RecordKind::Tag, RecordKind::Mx,
                                               RecordKind::Fmx, RecordKind::Ifn};
    return kinds;
}

const std::vector<RecordKind>& FoundFolderKinds()
{
    static const std::vector<RecordKind> kinds{RecordKind::Fid, RecordKind::Tag, RecordKind::Mx,
                                               RecordKind::Fmx, RecordKind::Ifn};
    return kinds;
}

const std::vector<RecordKind>& FoundCdKinds()
{
    static const std::vector<RecordKind> kinds{RecordKind::Tgt};
    return kinds;
}

std::string FindRecordFile(const std::string& folder, std::string_view baseGbk, RecordKind kind)
{
    // The usual spellings are tried first, so the folder is listed only when none is there.
    std::string path = folder;
    path += baseGbk;
    const std::size_t baseLength = path.size();
    for (const auto spelling : spellingOf(kind).spellings) {
        path.resize(baseLength);
        path += spelling;
        struct stat info = {};
        if (::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode)) {
            return path;
        }
    }
    const auto found = spellingsPresent(folder, baseGbk, kind);
    return found.empty() ? std::string() : folder + found.front();
}

std::string FindRecordFile(const std::string& folder, std::string_view baseGbk,
                           std::string_view ext)
{
    return FindRecordFile(folder, baseGbk, KindOfExt(ext));
}

ListedRecords::ListedRecords(const std::vector<DirEntry>& entries) : m_numbers(entries.size())
{
    // A record's files mostly lie side by side in the sorted listing: their base is looked
    // up once.
    std::string_view lastBase;
    std::size_t lastNumber = 0;
    for (const auto& entry : entries) {
        const auto kind = entry.isFolder ? std::nullopt : RecordKindOf(entry.name);
        if (!kind) {
            continue;
        }
        const std::string_view name(entry.name);
        const std::size_t dot = name.rfind('.');
        const std::string_view base = name.substr(0, dot);
        if (lastBase.data() == nullptr || base != lastBase) {
            const auto [number, added] = m_numbers.tryEmplace(base, m_files.size());
            if (added) {
                m_files.emplace_back();
            }
            lastBase = base;
            lastNumber = *number;
        }
        const DirEntry*& taken = m_files[lastNumber][static_cast<std::size_t>(*kind)];
        // The listing is sorted by name: of two spellings of one rank the first stays.
        if (taken == nullptr ||
            SpellingRank(*kind, name.substr(dot)) <
                SpellingRank(*kind, std::string_view(taken->name).substr(dot))) {
            taken = &entry;
        }
    }
}

const DirEntry* ListedRecords::file(std::string_view base, RecordKind kind) const
{
    const auto found = number(base);
    return found ? file(*found, kind) : nullptr;
}

std::optional<std::size_t> ListedRecords::number(std::string_view base) const
{
    const std::size_t* found = m_numbers.find(base);
    return found == nullptr ? std::nullopt : std::optional(*found);
}

bool RecordNameTaken(const std::string& folder, std::string_view nameGbk)
{
    RecordFolder listed(folder);
    return listed.recordTaken(nameGbk);
}

void RequireRecord(const std::string& folder, std::string_view nameGbk)
{
    if (FindRecordFile(folder, nameGbk, RecordKind::Cdr).empty()) {
        throwFileError(folder + std::string(nameGbk) + std::string(WrittenExt(RecordKind::Cdr)),
                       ENOENT);
    }
}

void SetRecordObserver(RecordObserver* newObserver)
{
    observer.store(newObserver);
}

void NoteRecordChanged(const std::string& folder, std::string_view nameGbk)
{
    if (RecordObserver* current = observer.load()) {
        current->recordChanged(folder, nameGbk);
    }
}

void WriteRecordFile(const std::string& folder, std::string_view baseGbk, std::string_view ext,
                     std::string_view content)
{
    WriteRecordFile(folder, baseGbk, ext, content, AtomicWrite{.sweepStale = true});
}

std::string RecordFileForWriting(RecordFolder& folder, std::string_view baseGbk,
                                 std::string_view ext)
{
    const std::vector<std::string> present = folder.files(baseGbk, KindOfExt(ext), false);
    return folder.folder() +
           (present.empty() ? std::string(baseGbk) + std::string(ext) : present.front());
}

std::string RecordFileForWriting(const std::string& folder, std::string_view baseGbk,
                                 std::string_view ext)
{
    RecordFolder listed(folder);
    return RecordFileForWriting(listed, baseGbk, ext);
}

void RecordFileWritten(RecordFolder& folder, std::string_view baseGbk, std::string_view ext,
                       const std::string& written)
{
    for (const auto& name : folder.files(baseGbk, KindOfExt(ext), false)) {
        const std::string other = folder.folder() + name;
        // Where names ignore case, another spelling is the file just written.
        if (other != written && !SameFile(other, written)) {
            ::unlink(other.c_str());
            folder.removed(name);
        }
    }
    folder.added(written.substr(folder.folder().size()));
    NoteRecordChanged(folder.folder(), baseGbk);
}

void RecordFileWritten(const std::string& folder, std::string_view baseGbk, std::string_view ext,
                       const std::string& written)
{
    RecordFolder listed(folder);
    RecordFileWritten(listed, baseGbk, ext, written);
}

void WriteRecordFile(const std::string& folder, std::string_view baseGbk, std::string_view ext,
                     std::string_view content, const AtomicWrite& how)
{
    const std::string target = RecordFileForWriting(folder, baseGbk, ext);
    WriteFileAtomically(target, content, how);
    RecordFileWritten(folder, baseGbk, ext, target);
}

// ---- RecordFolder --------------------------------------------------------------------------

RecordFolder::RecordFolder(std::string folder, Watch watch)
    : m_folder(std::move(folder)), m_watch(watch)
{}

void RecordFolder::listIfChanged()
{
    if (m_listed && m_watch == Watch::Once) {
        return;
    }
    m_listed = true;
    // Any entry added or removed changes the folder's time: an unchanged time means the
    // listing still holds.
    struct stat info = {};
    if (::stat(m_folder.c_str(), &info) != 0) {
        m_byUpperName.clear();
        m_listedAt = {-1, 0};
        return;
    }
    if (sameTime(info.st_mtim, m_listedAt)) {
        return;
    }
    m_listedAt = info.st_mtim;
    m_byUpperName.clear();
    std::vector<DirEntry> entries;
    ListFolder(m_folder, entries);
    for (auto& entry : entries) {
        // A FIFO or a device named like a record file is found, and refused when read.
        if (!entry.isFolder && IsRecordFileName(entry.name)) {
            m_byUpperName[upperAscii(entry.name)].push_back(std::move(entry.name));
        }
    }
}

void RecordFolder::noteOwnChange()
{
    if (m_watch == Watch::Once) {
        return; // never listed again
    }
    struct stat info = {};
    if (::stat(m_folder.c_str(), &info) == 0) {
        m_listedAt = info.st_mtim;
    }
}

std::vector<std::string> RecordFolder::files(std::string_view baseGbk, RecordKind kind,
                                             bool anyCaseBase)
{
    listIfChanged();
    std::string key(baseGbk);
    key += UpperExt(kind);
    const auto found = m_byUpperName.find(upperAscii(key));
    if (found == m_byUpperName.end()) {
        return {};
    }
    std::vector<std::string> names;
    for (const auto& name : found->second) {
        if (anyCaseBase || (name.size() == key.size() && name.starts_with(baseGbk))) {
            names.push_back(name);
        }
    }
    const auto extOf = [](const std::string& name) {
        return std::string_view(name).substr(name.rfind('.'));
    };
    std::sort(names.begin(), names.end(), [&](const std::string& a, const std::string& b) {
        // Case twins of the base: the exact one first, then by bytes.
        const bool exactA = a.starts_with(baseGbk);
        const bool exactB = b.starts_with(baseGbk);
        if (exactA != exactB) {
            return exactA;
        }
        const std::string_view baseA = std::string_view(a).substr(0, a.rfind('.'));
        const std::string_view baseB = std::string_view(b).substr(0, b.rfind('.'));
        if (baseA != baseB) {
            return baseA < baseB;
        }
        const int rankA = SpellingRank(kind, extOf(a));
        const int rankB = SpellingRank(kind, extOf(b));
        return rankA != rankB ? rankA < rankB : a < b;
    });
    return names;
}

std::optional<std::string> RecordFolder::recordNamed(std::string_view nameGbk)
{
    std::optional<std::string> chosen;
    for (const RecordKind kind :
         {RecordKind::Cdr, RecordKind::Mx, RecordKind::Fmx, RecordKind::Ifn}) {
        for (const auto& name : files(nameGbk, kind, true)) {
            std::string base = name.substr(0, name.rfind('.'));
            if (base == nameGbk) {
                return base;
            }
            if (!chosen || base < *chosen) {
                chosen = std::move(base);
            }
        }
    }
    return chosen;
}

bool RecordFolder::holds(std::string_view name)
{
    listIfChanged();
    const auto found = m_byUpperName.find(upperAscii(name));
    return found != m_byUpperName.end() && !found->second.empty();
}

void RecordFolder::added(const std::string& name)
{
    auto& names = m_byUpperName[upperAscii(name)];
    if (std::find(names.begin(), names.end(), name) == names.end()) {
        names.push_back(name);
    }
    noteOwnChange();
}

void RecordFolder::removed(const std::string& name)
{
    auto& names = m_byUpperName[upperAscii(name)];
    names.erase(std::remove(names.begin(), names.end(), name), names.end());
    noteOwnChange();
}

std::vector<std::string> TravellingFiles(RecordFolder& folder, std::string_view baseGbk,
                                         const std::vector<RecordKind>& kinds)
{
    std::vector<std::string> files;
    for (const RecordKind kind : kinds) {
        const auto found = folder.files(baseGbk, kind, false);
        files.push_back(found.empty() ? std::string() : found.front());
    }
    return files;
}

std::vector<std::string> RecordFilesOf(RecordFolder& folder, std::string_view baseGbk,
                                       const std::vector<RecordKind>& kinds)
{
    std::vector<std::string> files;
    for (const RecordKind kind : kinds) {
        for (auto& name : folder.files(baseGbk, kind, false)) {
            files.push_back(std::move(name));
        }
    }
    return files;
}

// ---- RecordTransfer ------------------------------------------------------------------------

struct RecordTransfer::Staged
{
    std::string from;                    // the source file; "" for content made in memory
    std::string to;                      // its place at the target
    std::unique_ptr<TemporaryFile> copy; // none: a move renames the source itself
    off_t size = 0;
    std::vector<std::string> replaced; // target files the record's unit removes
    bool overwrites = false;           // a file of that name is there
};

namespace {

bool onOneFileSystem(const std::string& a, const std::string& b)
{
    struct stat first = {};
    struct stat second = {};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev;
}

} // namespace

RecordTransfer::RecordTransfer(std::string targetFolder, Carry how, CopyFile copyFile)
    : m_targetFolder(std::move(targetFolder)), m_how(how), m_copyFile(std::move(copyFile)),
      m_target(m_targetFolder, RecordFolder::Watch::Once)
{
    if (!m_copyFile) {
        m_copyFile = [](const std::string& from, int toFd, const std::string&) {
            return CopyRegularFile(from, toFd);
        };
    }
}

RecordTransfer::~RecordTransfer() = default;

std::size_t RecordTransfer::stagedFiles() const
{
    std::size_t files = m_staged.size();
    for (const auto& record : m_added) {
        files += record.files.size();
    }
    return files;
}

bool RecordTransfer::add(const std::string& sourceFolder, const std::vector<File>& files,
                         const std::string& nameGbk, const std::vector<std::string>& replaced)
{
    // A copy that only adds files writes them under their final names at commit().
    const auto isNew = [&](const File& file) { return !m_target.holds(file.to); };
    if (m_how == Carry::Copy && replaced.empty() && !files.empty() &&
        std::all_of(files.begin(), files.end(), isNew)) {
        m_added.push_back({sourceFolder, files});
        m_changed.emplace_back(m_targetFolder, nameGbk);
        return true;
    }
    // A copy onto a record that holds the same files, byte for byte, and no others changes
    // nothing: nothing is staged or flushed (a second backup into the same folder).
    if (m_how == Carry::Copy && !files.empty() && replaced.size() == files.size() &&
        std::all_of(files.begin(), files.end(), [&](const File& file) {
            return std::find(replaced.begin(), replaced.end(), file.to) != replaced.end() &&
                   SameRegularFiles(sourceFolder + file.from, m_targetFolder + file.to);
        })) {
        return true;
    }
    const bool rename = m_how == Carry::Move && onOneFileSystem(sourceFolder, m_targetFolder);
    std::vector<Staged> record;
    for (const auto& file : files) {
        Staged staged;
        staged.from = sourceFolder + file.from;
        staged.to = m_targetFolder + file.to;
        struct stat there = {};
        // A folder or a device in the way would fail the unit half way: refused up front.
        const bool exists = ::lstat(staged.to.c_str(), &there) == 0;
        staged.overwrites = exists;
        bool ok = !exists || S_ISREG(there.st_mode);
        if (!ok) {
            m_lastError = S_ISDIR(there.st_mode) ? EISDIR : EEXIST;
        } else if (rename) {
            struct stat info = {};
            ok = ::lstat(staged.from.c_str(), &info) == 0 && S_ISREG(info.st_mode);
            staged.size = info.st_size;
            m_lastError = ok ? m_lastError : (errno != 0 ? errno : EINVAL);
        } else {
            try {
                staged.copy = std::make_unique<TemporaryFile>(m_targetFolder, staged.to);
                staged.size = m_copyFile(staged.from, staged.copy->fd(), staged.to);
                ok = staged.size >= 0;
                m_lastError = ok ? m_lastError : (errno != 0 ? errno : EIO);
            } catch (const FileError& error) {
                ok = false;
                m_lastError = error.errorNumber();
            }
        }
        if (!ok) {
            ++m_notCopied;
            if (record.empty()) {
                return false; // without its listing the record stays where it is, untouched
            }
            continue;
        }
        record.push_back(std::move(staged));
    }
    if (record.empty()) {
        return false;
    }
    stageRecord(record, nameGbk, replaced);
    if (m_how == Carry::Move) {
        m_changed.emplace_back(sourceFolder,
                               files.front().from.substr(0, files.front().from.rfind('.')));
    }
    return true;
}

void RecordTransfer::addContent(const std::vector<Content>& files, const std::string& nameGbk,
                                const std::vector<std::string>& replaced)
{
    std::vector<Staged> record;
    for (const auto& file : files) {
        Staged staged;
        staged.to = m_targetFolder + file.to;
        struct stat there = {};
        staged.overwrites = ::lstat(staged.to.c_str(), &there) == 0;
        if (staged.overwrites && !S_ISREG(there.st_mode)) {
            throwFileError(staged.to, S_ISDIR(there.st_mode) ? EISDIR : EEXIST);
        }
        staged.copy = WriteReplacement(staged.to, file.bytes);
        staged.size = static_cast<off_t>(file.bytes.size());
        record.push_back(std::move(staged));
    }
    if (record.empty()) {
        return;
    }
    stageRecord(record, nameGbk, replaced);
}

void RecordTransfer::stageRecord(std::vector<Staged>& record, const std::string& nameGbk,
                                 const std::vector<std::string>& replaced)
{
    const auto heard = static_cast<std::ptrdiff_t>(m_changed.size());
    m_changed.emplace_back(m_targetFolder, nameGbk);
    for (const auto& name : replaced) {
        // A file the record puts back under the same name is replaced by the rename itself.
        const std::string path = m_targetFolder + name;
        if (std::none_of(record.begin(), record.end(),
                         [&](const Staged& staged) { return staged.to == path; })) {
            record.front().replaced.push_back(name);
        }
        // A record replaced under another spelling of its name is gone: heard of too.
        std::pair<std::string, std::string> gone(m_targetFolder, name.substr(0, name.rfind('.')));
        if (std::find(m_changed.begin() + heard, m_changed.end(), gone) == m_changed.end()) {
            m_changed.push_back(std::move(gone));
        }
    }
    for (auto& staged : record) {
        m_staged.push_back(std::move(staged));
    }
}

bool RecordTransfer::copyToNewFile(const std::string& from, const std::string& to)
{
    // Made with the source's permissions less the umask, never more open than the source:
    // the copy then rarely needs them changed afterwards.
    struct stat source = {};
    const mode_t mode = ::stat(from.c_str(), &source) == 0 ? source.st_mode & 0777 : 0600;
    const FileDescriptor out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
    if (out.get() < 0) {
        m_lastError = errno;
        return false;
    }
    try {
        if (m_copyFile(from, out.get(), to) >= 0) {
            return true;
        }
        m_lastError = errno != 0 ? errno : EIO;
    } catch (const FileError& error) {
        m_lastError = error.errorNumber();
    }
    ::unlink(to.c_str());
    return false;
}

int RecordTransfer::commitAdded()
{
    if (m_added.empty()) {
        return 0;
    }
    std::vector<std::string> names;
    for (const auto& record : m_added) {
        for (const auto& file : record.files) {
            names.push_back(file.to);
        }
    }
    NoteFilesToAdd(m_targetFolder, names);
    int failures = 0;
    for (const auto& record : m_added) {
        for (std::size_t i = 0; i < record.files.size(); ++i) {
            const File& file = record.files[i];
            if (copyToNewFile(record.sourceFolder + file.from, m_targetFolder + file.to)) {
                m_target.added(file.to);
            } else if (i == 0) {
                // Without its listing nothing of the record is carried.
                failures += static_cast<int>(record.files.size());
                ++m_recordsNotCarried;
                break;
            } else {
                ++failures;
            }
        }
    }
    FilesAdded(m_targetFolder);
    m_added.clear();
    return failures;
}

int RecordTransfer::commitStaged()
{
    if (m_staged.empty()) {
        return 0;
    }
    bool copied = false;
    bool made = false;
    bool replacing = m_how == Carry::Move;
    for (const auto& staged : m_staged) {
        copied = copied || staged.copy != nullptr;
        made = made || staged.from.empty();
        replacing = replacing || staged.overwrites || !staged.replaced.empty();
    }
    RecordJournal journal(m_targetFolder);
    for (const auto& staged : m_staged) {
        for (const auto& old : staged.replaced) {
            journal.remove(m_targetFolder + old);
        }
    }
    for (const auto& staged : m_staged) {
        journal.rename(staged.copy ? staged.copy->path() : staged.from, staged.to);
    }
    if (m_how == Carry::Move) {
        for (const auto& staged : m_staged) {
            if (staged.copy && !staged.from.empty()) {
                journal.remove(staged.from, staged.to);
            }
        }
    }
    // The copies are down on the disk before anything is replaced by them, or a source
    // removed; copies that only add files need no flush, their sources stay. Content made
    // in memory has no source to come back to: it is always flushed.
    const RecordJournal::Flush flush = !copied             ? RecordJournal::Flush::Note
                                       : replacing || made ? RecordJournal::Flush::FileSystem
                                                           : RecordJournal::Flush::None;
    const int failures = journal.commit({}, flush);
    for (auto& staged : m_staged) {
        // When a step failed, what is left of the copies goes with them.
        if (staged.copy && failures == 0) {
            staged.copy->placed();
        }
        m_target.added(staged.to.substr(m_targetFolder.size()));
    }
    m_staged.clear();
    return failures;
}

int RecordTransfer::commit()
{
    m_recordsNotCarried = 0;
    const int failures = commitAdded() + commitStaged();
    for (const auto& [folder, name] : m_changed) {
        NoteRecordChanged(folder, name);
    }
    m_changed.clear();
    return failures;
}

// ---- RecordRemoval -------------------------------------------------------------------------

RecordRemoval::RecordRemoval(RecordFolder& folder) : m_folder(folder) {}

void RecordRemoval::add(const std::string& baseGbk, const std::vector<RecordKind>& kinds)
{
    m_records.emplace_back(baseGbk, RecordFilesOf(m_folder, baseGbk, kinds));
}

int RecordRemoval::commit(const std::function<bool(const std::string& path)>& trash)
{
    int failures = 0;
    for (const auto& [base, files] : m_records) {
        if (files.empty()) {
            continue;
        }
        // Trashed files leave one at a time; the note finishes a CD cut short by a crash.
        RecordJournal journal(m_folder.folder());
        for (const auto& name : files) {
            journal.remove(m_folder.folder() + name);
        }
        failures += journal.commit([&](const std::string& path) { return trash && trash(path); });
        for (const auto& name : files) {
            m_folder.removed(name);
        }
        NoteRecordChanged(m_folder.folder(), base);
    }
    m_records.clear();
    return failures;
}

} // namespace catalog
