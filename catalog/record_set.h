#pragma once

#include "catalog/key_table.h"

#include <sys/stat.h>

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The record store: what a CD record (and a search entry) is on disk, and the one way its
// files are found, written, replaced, carried and removed. Every subsystem goes through
// here; folders are native and end in "/", names are GBK.
//
// What a record is: a base name and any spelling of the eight record extensions. The files
// of one kind are found in one fixed order of spellings, whatever spelling a caller names:
// the spelling written first, then capitals, then small letters, then any other by bytes.
// Base names are matched exactly when a file is looked up, and without regard to ASCII
// case when a name is tested for being taken, as on the file systems libraries come from.
namespace catalog {

enum class RecordKind { Cdr, Tag, Mx, Fmx, Ifn, Fid, Tgt, Fin };

// Spellings used when a record file is created.
namespace RecordExt {
inline constexpr std::string_view Cdr = ".Cdr";
inline constexpr std::string_view Tag = ".tag";
inline constexpr std::string_view Mx = ".Mx";
inline constexpr std::string_view Fmx = ".FMx";
inline constexpr std::string_view Ifn = ".Ifn";
inline constexpr std::string_view Fid = ".Fid";
inline constexpr std::string_view Tgt = ".Tgt";
inline constexpr std::string_view Fin = ".Fin";
} // namespace RecordExt

// ".CDR", ".TAG", ...
std::string_view UpperExt(RecordKind kind);
// The spelling a new file of that kind gets: ".Cdr", ".tag", ".Mx", ".FMx", ".Ifn", ".Fid",
// ".Tgt", ".Fin".
std::string_view WrittenExt(RecordKind kind);
// The spelling a record file gets when a CD is moved or copied into a box: ".Cdr", ".Tag",
// ".Mx", ".FMx", ".Ifn" (the written one for the other kinds).
std::string_view CopiedExt(RecordKind kind);
// Where an extension stands in the fixed order of its kind's spellings: smaller first.
int SpellingRank(RecordKind kind, std::string_view ext);
// The spelling each file of a found-folder entry gets when a search writes it: ".Fid",
// ".Tag", ".mx", ".fmx", ".ifn"; a found CD's pointer ".Tgt".
std::string_view FoundEntryExt(RecordKind kind);
// The kind of a file name by its extension (ASCII case ignored); nullopt for other files.
std::optional<RecordKind> RecordKindOf(std::string_view name);
bool IsRecordFileName(std::string_view name);
// The kind an extension names (".Cdr", ".tag", ...), whatever its spelling. The extension
// must be one of the eight.
RecordKind KindOfExt(std::string_view ext);

// The files of a CD record in the order they travel; of a found-folder entry; of a
// found-CD entry.
const std::vector<RecordKind>& CdRecordKinds();
const std::vector<RecordKind>& FoundFolderKinds();
const std::vector<RecordKind>& FoundCdKinds();

// The existing file of one kind of the record, in the fixed order of spellings; "" when
// there is none. ext may be any spelling of the kind.
std::string FindRecordFile(const std::string& folder, std::string_view baseGbk, RecordKind kind);
std::string FindRecordFile(const std::string& folder, std::string_view baseGbk,
                           std::string_view ext);

struct DirEntry;

// The record files of one folder's listing, by base: of each kind the file every reader
// takes where several spellings lie side by side (as FindRecordFile, without listing the
// folder again). The entries must outlive it.
class ListedRecords
{
public:
    explicit ListedRecords(const std::vector<DirEntry>& entries);
    // nullptr when the base has no file of that kind.
    const DirEntry* file(std::string_view base, RecordKind kind) const;

    // Each base with a record file has a number below size(), in the order of the listing.
    std::size_t size() const { return m_files.size(); }
    std::optional<std::size_t> number(std::string_view base) const;
    const DirEntry* file(std::size_t number, RecordKind kind) const
    {
        return m_files[number][static_cast<std::size_t>(kind)];
    }

private:
    static constexpr std::size_t Kinds = static_cast<std::size_t>(RecordKind::Fin) + 1;
    std::vector<std::array<const DirEntry*, Kinds>> m_files;
    KeyTable<std::size_t> m_numbers;
};

// True when folder holds a record named like nameGbk (ASCII case ignored): a .cdr, .mx,
// .fmx or .ifn. A lone .tag is what a killed scan leaves and holds no name.
bool RecordNameTaken(const std::string& folder, std::string_view nameGbk);

// Throws FileError (ENOENT, naming its listing) when the record has no listing any more:
// a writer that holds the box's lock calls it before changing a record that another
// command may have renamed, moved or deleted meanwhile.
void RequireRecord(const std::string& folder, std::string_view nameGbk);

// The base of a CD record's listing as every walk over boxes (searches, the search index,
// the CSV export) takes it: nullopt unless name is a .cdr file's and hasIconList(base) says
// a .tag of that base (any spelling) lies beside it. A .cdr alone is no CD to a walk; its
// box lists it so that its icons can be rebuilt.
template <typename HasIconList>
std::optional<std::string_view> CdRecordBase(std::string_view name, const HasIconList& hasIconList)
{
    if (RecordKindOf(name) != RecordKind::Cdr) {
        return std::nullopt;
    }
    const std::string_view base = name.substr(0, name.size() - UpperExt(RecordKind::Cdr).size());
    return hasIconList(base) ? std::optional(base) : std::nullopt;
}

// ---- The write path ------------------------------------------------------------------------
// Every change of a record's files passes WriteRecordFile or RecordTransfer/RecordRemoval::
// commit, and each tells the observer which record changed: a search index kept up to date
// observes here.

class RecordObserver
{
public:
    virtual ~RecordObserver() = default;
    // The files of record nameGbk in folder were written, replaced or removed.
    virtual void recordChanged(const std::string& folder, std::string_view nameGbk) = 0;
};
// The observer of this process (nullptr: none). Not owned.
void SetRecordObserver(RecordObserver* observer);
void NoteRecordChanged(const std::string& folder, std::string_view nameGbk);

struct AtomicWrite;
// Where a record file of that kind is written: the file readers find, else base + ext.
std::string RecordFileForWriting(const std::string& folder, std::string_view baseGbk,
                                 std::string_view ext);
// After written (a path RecordFileForWriting gave) was put in place: the other spellings of
// its kind go, and the observer hears of the record. For writers that batch their files.
void RecordFileWritten(const std::string& folder, std::string_view baseGbk, std::string_view ext,
                       const std::string& written);
// The same two with the folder's listing at hand, for writers of many records that hold
// the folder's lock: the folder is not listed again for each file.
class RecordFolder;
std::string RecordFileForWriting(RecordFolder& folder, std::string_view baseGbk,
                                 std::string_view ext);
void RecordFileWritten(RecordFolder& folder, std::string_view baseGbk, std::string_view ext,
                       const std::string& written);
// Writes one file of a record atomically into the file the readers find (any spelling, or
// base + the kind's written spelling when there is none; newSpelling overrides that), then
// removes the other spellings of that kind, so no record keeps two side by side.
// Throws FileError.
void WriteRecordFile(const std::string& folder, std::string_view baseGbk, std::string_view ext,
                     std::string_view content);
void WriteRecordFile(const std::string& folder, std::string_view baseGbk, std::string_view ext,
                     std::string_view content, const AtomicWrite& how);

// ---- One folder's record files ---------------------------------------------------------

// The record files of one folder, listed once for an operation on many records and listed
// again only when something else changed the folder.
class RecordFolder
{
public:
    // Changed: the folder is listed again when its time says another writer changed it.
    // Once: the caller holds the folder's lock (or only reads it) for the object's life.
    enum class Watch { Changed, Once };
    explicit RecordFolder(std::string folder, Watch watch = Watch::Changed);
    const std::string& folder() const { return m_folder; }

    // Names of the files of one kind of base in the fixed order of spellings; with
    // anyCaseBase the base is compared without regard to ASCII case.
    std::vector<std::string> files(std::string_view baseGbk, RecordKind kind, bool anyCaseBase);
    // The base of the record that a name test for nameGbk finds: nameGbk itself when a
    // record of exactly that name is there, else the first by bytes of those named like it
    // (ASCII case ignored). nullopt when the name is free (a lone .tag leaves it free).
    std::optional<std::string> recordNamed(std::string_view nameGbk);
    bool recordTaken(std::string_view nameGbk) { return recordNamed(nameGbk).has_value(); }

    // True when a record file of that name is there, ASCII case ignored.
    bool holds(std::string_view name);

    // What this process changed in the folder.
    void added(const std::string& name);
    void removed(const std::string& name);

private:
    void listIfChanged();
    void noteOwnChange();

    std::string m_folder;
    Watch m_watch;
    bool m_listed = false;
    timespec m_listedAt = {-1, 0};
    std::unordered_map<std::string, std::vector<std::string>> m_byUpperName;
};

// ---- Records carried and removed as units --------------------------------------------------

enum class Carry { Copy, Move };

// Records carried into one box folder for one command, each as a unit: the files of the
// record replaced at the target are removed in every spelling, the new ones put in place,
// and a move's sources go, all or nothing as far as a crash is concerned. The caller holds
// the locks of the target and source folders. Copies that replace files, and records made
// in memory, are written beside their targets first; commit() flushes the file system once
// and then puts the whole batch in place. Copies that only add files are made under their
// final names by commit().
class RecordTransfer
{
public:
    // copyFile copies a regular file into the open temporary file that becomes `to`,
    // returning its size or -1; by default a plain copy of content and permissions.
    using CopyFile = std::function<off_t(const std::string& from, int toFd, const std::string& to)>;
    RecordTransfer(std::string targetFolder, Carry how, CopyFile copyFile = {});
    ~RecordTransfer();
    RecordTransfer(const RecordTransfer&) = delete;
    RecordTransfer& operator=(const RecordTransfer&) = delete;

    RecordFolder& target() { return m_target; }

    // One file of a record: its name in the source folder and in the target folder.
    struct File
    {
        std::string from;
        std::string to;
    };
    // Adds the record nameGbk (as the observer hears of it): its files, the first one its
    // listing, and the names of the target's files that the record replaces (they are
    // removed unless one of the new files turns out to be them). False when the listing
    // could not be staged: nothing of this record is carried. A copy onto a record that the
    // target holds byte for byte, under the same names and with no other files, leaves it
    // as it is.
    bool add(const std::string& sourceFolder, const std::vector<File>& files,
             const std::string& nameGbk, const std::vector<std::string>& replaced);
    // One file of a record made in memory: its name in the target folder and its bytes.
    struct Content
    {
        std::string to;
        std::string_view bytes;
    };
    // Adds the record nameGbk made in memory (the listing first), replacing the target's
    // files named in replaced as add() does: each file is written beside its place now and
    // put in place by commit() with the copies that replace files, under the same note.
    // Throws FileError when a file cannot be written: nothing of the record is carried then.
    void addContent(const std::vector<Content>& files, const std::string& nameGbk,
                    const std::vector<std::string>& replaced);
    // Puts what was added in place. Returns the files that could not be carried.
    int commit();
    std::size_t stagedFiles() const;
    int filesNotCopied() const { return m_notCopied; }
    // Records of the last commit() of which nothing was carried: their listings failed.
    int recordsNotCarried() const { return m_recordsNotCarried; }
    int lastError() const { return m_lastError; }

private:
    struct Staged;
    // A record that a copy only adds: its files are created under their final names.
    struct Added
    {
        std::string sourceFolder;
        std::vector<File> files;
    };
    // Puts a record's staged files into the batch, with the replaced files that none of
    // them takes the place of.
    void stageRecord(std::vector<Staged>& record, const std::string& nameGbk,
                     const std::vector<std::string>& replaced);
    bool copyToNewFile(const std::string& from, const std::string& to);
    int commitAdded();
    int commitStaged();

    std::string m_targetFolder;
    Carry m_how;
    CopyFile m_copyFile;
    RecordFolder m_target;
    std::vector<Staged> m_staged;
    std::vector<Added> m_added;
    std::vector<std::pair<std::string, std::string>> m_changed; // folder, name
    int m_notCopied = 0;
    int m_recordsNotCarried = 0;
    int m_lastError = 0;
};

// Removes records of one folder as units: to the trash (trash returns false where the
// file system has none, and the file is deleted) or deleted. The caller holds the lock.
class RecordRemoval
{
public:
    explicit RecordRemoval(RecordFolder& folder);
    // Every spelling of every kind of base.
    void add(const std::string& baseGbk, const std::vector<RecordKind>& kinds);
    // Returns the files that could not be removed.
    int commit(const std::function<bool(const std::string& path)>& trash = {});

private:
    RecordFolder& m_folder;
    std::vector<std::pair<std::string, std::vector<std::string>>> m_records;
};

// What travels of a record: per kind (in the order given) the file a reader finds.
std::vector<std::string> TravellingFiles(RecordFolder& folder, std::string_view baseGbk,
                                         const std::vector<RecordKind>& kinds);
// Every file of a record (exact base) of the kinds: what a replacement removes.
std::vector<std::string> RecordFilesOf(RecordFolder& folder, std::string_view baseGbk,
                                       const std::vector<RecordKind>& kinds);

} // namespace catalog
