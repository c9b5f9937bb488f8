#pragma once

#include <iosfwd>
#include <string>
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

// A box or record path as typed (names joined by \ or /) as GBK names. Throws
// CommandError for a name holding a character GBK cannot hold.
std::vector<std::string> splitLibraryPath(const std::string& pathUtf8);

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
int runSearch(const Context& context, const std::vector<std::string>& args);

} // namespace cli
