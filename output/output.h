#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Writing a CD's tree out: the drawn lines, the text file, the HTML document, and the
// batch output of a box. Listings and output are GBK with CR LF line ends. No Qt: the
// window, the CLI and the tests call the same code.
namespace output {

// Which indent string the drawn lines use: "|" and eight blanks for text and print, "|"
// and four ideographic spaces for HTML.
enum class Style { Text, Html };

// The lines of a listing in the tree text format, redrawn with connectors: the first line
// (the root) as it is, every other line as its indents, the branch "|-------" and its
// text. Lines are GBK, without line ends.
std::vector<std::string> DrawTreeLines(std::string_view listingGbk, Style style);

// The bytes of the text file: the drawn lines, each ended by CR LF.
std::string TreeTextDocument(std::string_view listingGbk);
// The bytes of the HTML document, titled with the CD name. Node texts and the name are
// escaped, and the head declares the GBK character set.
std::string TreeHtmlDocument(std::string_view listingGbk, std::string_view cdNameGbk);

// The CD name of a listing: its file name without the last four characters (GBK).
std::string CdNameOfListing(const std::string& listingPath);

// Reads a listing (a regular file) and writes the text file or the HTML document through
// a temporary file renamed into place, so a failed write leaves no partial file. Throws
// catalog::FileError with the file system's error, and when outputPath is the listing.
void WriteTreeText(const std::string& listingPath, const std::string& outputPath);
void WriteTreeHtml(const std::string& listingPath, const std::string& outputPath);

// The name a save dialog's choice is written under: ".txt" appended unless the name ends
// in ".TXT" (any case) for text, ".Htm" unless it ends in ".HTM" for HTML.
std::string WithOutputExtension(const std::string& chosenPath, Style style);

// The output path, without its extension, for a CD written into outputFolder (native,
// ending in "/"): the CD name, or the CD name with "(2)", "(3)"… when a file of that name
// with ".txt" (".htm" for HTML) exists, compared without regard to case. Documents are
// written for the user's desktop, outside the library: their names are the file system's
// UTF-8, their contents GBK. A folder of that
// name counts as taken too: the file could not be written over it.
std::string UniqueOutputName(const std::string& outputFolder, std::string_view cdNameGbk,
                             Style style);

enum class BatchType { Text, Html, Printer };

// What the caller of a batch is told and asked along the way. Every member may be empty.
struct BatchHooks
{
    // Asked before every entry of every folder: true ends the walk.
    std::function<bool()> aborted;
    // A CD is about to be written (its GBK name), and then it is done (written or failed).
    std::function<void(const std::string& cdNameGbk)> starting;
    std::function<void()> advanced;
    // Printer type: prints one CD's listing as one job. Throws to report the CD as failed.
    std::function<void(const std::string& listingPath, const std::string& cdNameGbk)> print;
    // Told between starting and advanced: the CD's listing was written to outputPath (""
    // when printed), or it failed with the error (UTF-8).
    std::function<void(const std::string& listingPath, const std::string& outputPath)> written;
    std::function<void(const std::string& listingPath, const std::string& errorUtf8)> failed;
};

struct BatchResult
{
    int written = 0;
    // GBK names of the CDs whose listing could not be read or whose output could not be
    // written, in the order met; the walk goes on with the next CD.
    std::vector<std::string> failed;
    bool aborted = false;
};

// Writes every CD of boxFolder and of all its sub-boxes (native, ending in "/") into
// outputFolder side by side, under UniqueOutputName + ".Txt" or ".Htm", or prints each
// through hooks.print. The search results folder holds no records and yields nothing.
// Folders are walked in name order, the folders that CountBoxEntries counts. Output files
// are not flushed one by one: they are copies that can be made again. Throws
// catalog::FileError when the output folder takes no more files (gone, read-only, no
// permission, no space): the files written before stay.
BatchResult OutputBoxTree(const std::string& boxFolder, const std::string& outputFolder,
                          BatchType type, const BatchHooks& hooks);

} // namespace output
