#pragma once

#include "catalog/disk.h"
#include "catalog/record_files.h"
#include "catalog/record_set.h"
#include "migrate/catalogue.h"

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

// Discs of another program's catalogue written as CD records: the listing and icons made
// by the scanner itself from the disc's tree, then the descriptions and the information,
// all through the record store under the box's lock.
namespace migrate {

struct ImportTarget
{
    std::string boxFolder;  // native, ends in "/"
    std::string boxTextGbk; // the box's caption, as the overwrite question names it
    char letter = 'E';      // the drive of the listing's root line
    double now = 0.0;       // days since 1899-12-30: the date of an .Ifn that gives none
    bool dryRun = false;    // check and count, write nothing
    // Asked when the box holds a CD of the disc's name (the move/copy question, UTF-8):
    // true replaces that CD whole. Empty: never replaced.
    std::function<bool(const std::string& questionUtf8)> overwrite;
};

enum class DiscOutcome { Written, Replaced, Kept, Refused, Checked };

struct DiscResult
{
    DiscOutcome outcome = DiscOutcome::Refused;
    std::string nameUtf8; // the boxes below the target and the name, joined by "\"
    catalog::EntryTotals totals;
};

// Records are written in batches through the record store, the box locked all along: each
// file beside its place, one flush of the file system, then the batch put in place under
// the box's note. A CD that replaces one is a unit with the removal of the old one's files,
// so a crash leaves the old CD or the new one, whole.
class Importer
{
public:
    explicit Importer(ImportTarget target);
    ~Importer();
    Importer(const Importer&) = delete;
    Importer& operator=(const Importer&) = delete;

    // Checks one disc and writes it as a CD record of its box (unless a dry run). Names
    // that had to change and discs left out are added to problems. Throws
    // catalog::FileError when a file or folder cannot be written.
    DiscResult add(const Disc& disc, std::vector<std::string>& problemsUtf8);
    // Puts the records of the last batch in place and lets the box go. Call it at the end,
    // also when the reading stopped early: the discs added are whole. Throws FileError.
    // (The destructor does it too, silently.)
    void finish();

private:
    struct RecordFiles;
    // Holds the lock of the box folder (one at a time, so that no two writers wait on
    // each other), and the folder's record names as listed under it.
    catalog::RecordFolder& lockBox(const std::string& folder);
    // The folder's record names, listed once for the discs that go into it (a dry run
    // writes nothing, an import holds the lock).
    catalog::RecordFolder& recordsOf(const std::string& folder);
    // Adds the record to the batch; existing names the CD it replaces.
    void stage(const catalog::RecordRef& record, const std::optional<std::string>& existing,
               const RecordFiles& files);
    void commit();

    struct Box
    {
        std::string folder;
        std::string textGbk;
    };
    // The folder of the disc's boxes below the target, made when missing; nullopt (and a
    // problem) for a name that cannot be a box.
    std::optional<Box> boxOf(const Disc& disc, std::vector<std::string>& problemsUtf8);

    ImportTarget m_target;
    std::set<std::string> m_seen; // discs of this file, as folder + upper-cased name
    std::string m_lockedFolder;
    std::optional<catalog::FolderLock> m_lock;
    std::optional<catalog::RecordFolder> m_records;
    std::unique_ptr<catalog::RecordTransfer> m_batch;
    std::size_t m_stagedRecords = 0;
};

} // namespace migrate
