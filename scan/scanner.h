#pragma once

#include "catalog/disk.h"
#include "catalog/record_files.h"
#include "platform/disc_source.h"

#include <optional>
#include <string>
#include <vector>

// Reading a disc's folder tree into the listing (.cdr) and icon list (.tag) of a record.
namespace scan {

// Attribute bits of the filtered scan.
inline constexpr unsigned AttrReadOnly = 0x01;
inline constexpr unsigned AttrHidden = 0x02;
inline constexpr unsigned AttrSystem = 0x04;
inline constexpr unsigned AttrArchive = 0x20;
inline constexpr unsigned AttrNormal = 0x40;

struct ScanOptions
{
    int depthLimit = -1;      // none, or 1..5
    std::string mask = "*.*"; // masks each followed by ";", e.g. "*.EXE;*.TXT;"
    unsigned attributes = AttrNormal;
};

// The two parallel lists being built, GBK.
struct ScanListing
{
    std::vector<std::string> lines;
    std::vector<std::string> icons;
    // Names written with "?" for what GBK cannot hold, for TAB, CR, LF and backslashes, and
    // for leading blanks.
    int renamed = 0;
    bool aborted = false; // set when progress.aborted() said so; every level stops
};

// What the scan tells its dialog, and how the dialog stops it.
class ScanProgress
{
public:
    virtual ~ScanProgress() = default;
    // The path being worked on (GBK, e.g. E:\SETUP\DATA\).
    virtual void showPath(const std::string& pathGbk) = 0;
    // False when showPath is never wanted, which spares building a path for every file.
    virtual bool showsPaths() const { return true; }
    // Called once per folder-pass entry: lets the window handle its messages; true when
    // the user confirmed the abort.
    virtual bool aborted() = 0;
};

// Starts the lists of a scan of drive `letter`: "E:\" and "0".
ScanListing StartListing(char letter);

// Standard scan of one folder (relativeUtf8 "" for the root; folderGbk the shown path,
// ending in a backslash). Sub-folders first, each followed by its subtree, then files.
void ScanFolder(platform::DiscSource& disc, const std::string& relativeUtf8,
                const std::string& folderGbk, ScanListing& listing, int depth,
                ScanProgress& progress);

void ScanFolderFiltered(platform::DiscSource& disc, const std::string& relativeUtf8,
                        const std::string& folderGbk, ScanListing& listing, int depth,
                        const ScanOptions& options, ScanProgress& progress);

// The names (UTF-8) of the files of one folder that pass the masks and the attribute
// set, sorted by name without regard to ASCII case (ties in byte order). A file that
// matches several masks is listed once.
std::vector<std::string> ListMatchingFiles(const std::vector<platform::DiscEntry>& entries,
                                           const std::string& masks, unsigned attributes);

// Wildcard match of a mask with * and ? (one character), without regard to ASCII case.
// As on the discs' home platform, a mask ending in ".*" also takes names without a dot
// ("*.*" takes every name) and one ending in a single "." takes only names without a dot.
bool MatchesMask(std::string_view nameUtf8, std::string_view mask);

// The disc's read-me file in the root: a regular file named README.TXT, or a .txt name
// holding 读我, 简介 or 说明. Returns its name (UTF-8, relative to the root), or "".
std::string FindReadmeFile(platform::DiscSource& disc);

enum class ScanEnding { Saved, Aborted, NothingMatched, NameTaken };

struct ScanRun
{
    ScanEnding ending = ScanEnding::Aborted;
    catalog::EntryTotals totals; // folders and files of the saved listing
    int renamed = 0;
    std::string readmeUtf8; // relative to the disc root; "" when none
};

// The whole run: scan (filtered when options are given), then save .tag and .Cdr into
// record and look for the read-me file. The save holds the box folder's lock and ends
// with NameTaken, writing nothing, when catalog::RecordNameTaken holds for the name by
// then. Nothing is written either when aborted or when only the
// root line was found. Throws catalog::FileError when a file cannot be written.
ScanRun RunScan(platform::DiscSource& disc, char letter, const std::optional<ScanOptions>& filtered,
                const catalog::RecordRef& record, ScanProgress& progress);

} // namespace scan
