#pragma once

#include "catalog/disk.h"

#include <csignal>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace platform {
class Clock;
}

namespace cli {

// What every command needs: the library and where to write.
struct Context
{
    std::string libraryRoot; // native, ends in "/"
    const platform::Clock* clock = nullptr;
    std::ostream* out = nullptr;
    std::ostream* err = nullptr;
};

// An expected failure: its text (UTF-8) goes to standard error and the exit status is 1.
struct CommandError
{
    std::string messageUtf8;
};

// A box or record path as typed (names joined by \ or /, one closing separator allowed)
// as GBK names. Throws CommandError for an empty name, "." or "..", and for a character
// GBK cannot hold.
std::vector<std::string> splitLibraryPath(const std::string& pathUtf8);
// UTF-8 text typed for the library as GBK. Throws CommandError for a character GBK
// cannot hold, instead of saving it as "?".
std::string gbkText(const std::string& textUtf8);

// A message's line breaks (CR) as line feeds, for a terminal.
std::string lineFeeds(std::string text);

// A name (UTF-8) as printed: control characters written visibly ("\n", "\x1b"), as ls
// shows them on a terminal, so a name can neither drive the terminal nor split a line.
std::string visibleName(std::string_view textUtf8);

// A node path of a record as typed ("SETUP/README.TXT", "" for the root) in the form of
// the record's description keys: GBK names each followed by a backslash.
std::string nodePathGbk(const std::string& pathUtf8);

// The folder of the first count names below the library root: "" unless it is a folder
// that lies inside the library once symbolic links are resolved.
std::string libraryFolder(const Context& context, const std::vector<std::string>& namesGbk,
                          std::size_t count);

// A box as given on the command line: any box, the search results folder ("查找结果") or
// one of its categories. Throws CommandError when there is none inside the library.
struct BoxLocation
{
    std::vector<std::string> namesGbk;
    bool inResults = false; // the search results folder or one of its categories
    std::string folder;     // native, ends in "/"
};
BoxLocation locateBox(const Context& context, const std::string& boxPathUtf8);

// A box that new records and boxes go into: not the results folder, not hidden.
std::string boxForNewEntries(const Context& context, const std::vector<std::string>& namesGbk,
                             std::size_t count, const std::string& shownUtf8);

// A record as given on the command line: a CD record, a found-folder entry, or a found-CD
// entry, which stands for the CD it points to. Throws CommandError when there is none.
struct RecordLocation
{
    catalog::RecordRef ref;
    std::string listingExt; // ".Cdr", or ".fid" for a found folder
    bool foundFolder = false;
};
RecordLocation locateRecord(const Context& context, const std::string& recordUtf8);
// A CD whose files a command changes: a CD record, or the CD a found-CD entry points to.
catalog::RecordRef locateCd(const Context& context, const std::string& recordUtf8);

// A drive letter as typed ("E", "e" or "E:") in capitals. Throws CommandError otherwise.
char parseLetter(const std::string& text);
// The clock's date and time in days since 1899-12-30, as the information record holds it.
double nowAsDayNumber(const platform::Clock& clock);

// Ctrl+C and SIGTERM while a long command runs: the handler only notes the request, and
// is installed without SA_RESTART so that a blocked system call returns to look at it.
class InterruptScope
{
public:
    InterruptScope();
    ~InterruptScope();
    InterruptScope(const InterruptScope&) = delete;
    InterruptScope& operator=(const InterruptScope&) = delete;
    static bool requested();

private:
    struct sigaction m_int = {};
    struct sigaction m_term = {};
};

int runBoxes(const Context& context, const std::vector<std::string>& args);
int runList(const Context& context, const std::vector<std::string>& args);
int runCounts(const Context& context, const std::vector<std::string>& args);
int runShow(const Context& context, const std::vector<std::string>& args);
int runInfo(const Context& context, const std::vector<std::string>& args);
int runDescribe(const Context& context, const std::vector<std::string>& args);
int runNotes(const Context& context, const std::vector<std::string>& args);

// Drive commands (drive_commands.cpp): the drive table and the settings that map letters.
int runDrives(const Context& context, const std::vector<std::string>& args);
int runMap(const Context& context, const std::vector<std::string>& args);
int runUnmap(const Context& context, const std::vector<std::string>& args);
int runIdentify(const Context& context, const std::vector<std::string>& args);

// Adding to the library (scan_commands.cpp): a disc scanned into a new record, new boxes,
// descriptions. describe without --set shows the description (runDescribe).
int runScan(const Context& context, const std::vector<std::string>& args);
int runMkbox(const Context& context, const std::vector<std::string>& args);
int runDescribeCommand(const Context& context, const std::vector<std::string>& args);
int runNote(const Context& context, const std::vector<std::string>& args);

// Searching (search_commands.cpp): one search run, its category left in the results folder.
int runIndex(const Context& context, const std::vector<std::string>& args);
int runSearch(const Context& context, const std::vector<std::string>& args);

// Reorganizing (organize_commands.cpp): moving, copying, renaming and deleting boxes, CDs
// and search entries, editing the nodes of a record, clearing empty boxes.
int runMove(const Context& context, const std::vector<std::string>& args);
int runCopy(const Context& context, const std::vector<std::string>& args);
int runRename(const Context& context, const std::vector<std::string>& args);
int runRenameNode(const Context& context, const std::vector<std::string>& args);
int runDelete(const Context& context, const std::vector<std::string>& args);
int runDeleteNode(const Context& context, const std::vector<std::string>& args);
int runClean(const Context& context, const std::vector<std::string>& args);

// Writing CD trees out (output_commands.cpp): one record to a file, a box into a folder.
int runExport(const Context& context, const std::vector<std::string>& args);
int runExportBox(const Context& context, const std::vector<std::string>& args);
// Prints a record through vellumark-print; its exit status becomes ours (0 or 1).
int runPrint(const Context& context, const std::vector<std::string>& args);

// Maintenance (maintenance_commands.cpp): records imported from a folder tree, the library
// backed up into a folder, the icon files rebuilt.
int runImport(const Context& context, const std::vector<std::string>& args);
int runBackup(const Context& context, const std::vector<std::string>& args);
int runRebuildIcons(const Context& context, const std::vector<std::string>& args);

// Other programs' catalogues (migrate_commands.cpp): read into CDs of a box, and the
// library written out as a CSV table.
int runImportCatalog(const Context& context, const std::vector<std::string>& args);
int runExportCsv(const Context& context, const std::vector<std::string>& args);

} // namespace cli
