#pragma once

#include "catalog/cdinfo.h"

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Catalogues of other programs, one disc at a time: what a reader found in the file and
// what the import makes of it. Text is UTF-8 here; the record files get GBK when written.
namespace migrate {

struct Node
{
    bool folder = false;
    std::string descriptionUtf8;
    // By name bytes, the order a disc's folders are listed in.
    std::map<std::string, Node> children;
};

// What a catalogue says about a disc besides its tree; empty when it says nothing.
struct DiscInfo
{
    std::string numberUtf8;                           // disc number -> cdno
    std::string ownerUtf8;                            // owner -> cdowner
    std::string locationUtf8;                         // where the disc is kept -> cdother
    std::string kindUtf8;                             // media type -> cdstyle
    std::optional<catalog::DateTimeParts> catalogued; // -> cdtime

    bool empty() const;
};

class Disc
{
public:
    std::string nameUtf8;
    // Boxes below the target box that the disc goes into (a VVV volume "A\B\CD" names
    // the boxes A and A\B and the disc CD).
    std::vector<std::string> boxesUtf8;
    std::string descriptionUtf8;
    DiscInfo info;
    Node root{true, {}, {}};

    // Adds a folder or file by its path (names from the disc root); a folder named on the
    // way is made. Names are cleaned first (cleanName). Returns the node, or nullptr when
    // the path is empty or deeper than MaxDepth. A file met again stays one node; a path
    // that needs a folder where a file of that name is turns the file into a folder.
    Node* add(const std::vector<std::string>& pathUtf8, bool folder);
    std::size_t nodes() const { return m_nodes; }

private:
    std::size_t m_nodes = 0;
};

// Folders deeper than this are refused: a tree record is read back by recursion.
inline constexpr std::size_t MaxDepth = 256;

// A name as the tree holds it: "/" (it would split the scanner's paths) and control bytes
// below 0x20 other than TAB become "?"; the record's own rules come later.
std::string cleanName(std::string_view nameUtf8);

// Bytes of another program's file as UTF-8, judged on their own: valid UTF-8 stays, any
// other bytes are GBK (what does not decode becomes U+FFFD, which GBK writes as "?").
std::string decodeText(std::string_view bytes);

// "2003-05-14", "2003/5/14 10:22", "2003.05.14 10:22:05", "14.05.2003", "14/05/2003": the
// date and time, or nullopt when the text is none of these or no real date.
std::optional<catalog::DateTimeParts> parseDate(std::string_view text);

// Names split at "\" and "/"; empty pieces, "." and ".." left out.
std::vector<std::string> splitPath(std::string_view path);

// What a reader tells the import besides the discs.
struct ReadNotes
{
    std::vector<std::string> problemsUtf8; // parts left out or changed, one line each
    bool sizesOrDates = false;             // the file gives sizes or dates of files
};

// A reader hands over each disc once it is whole; the disc is the receiver's to keep.
// The receiver returns false to end the reading (an abort).
using DiscSink = std::function<bool(Disc& disc)>;

// The reading could not go on: the discs handed over before stay handed over.
struct ReadError
{
    std::string messageUtf8;
};

// The disc a reader is filling, handed to the sink when the next one starts or the file
// ends. A sink that says stop ends the reading with ReadStopped.
class DiscStream
{
public:
    explicit DiscStream(const DiscSink& sink) : m_sink(sink) {}
    Disc* current() { return m_open ? &m_disc : nullptr; }
    // Hands over the disc being filled and starts the next.
    Disc& start(std::string nameUtf8);
    void finish();

private:
    const DiscSink& m_sink;
    Disc m_disc;
    bool m_open = false;
};
struct ReadStopped
{
};

// Adds a folder or file with its description to the disc; a path too deep is reported.
void AddItem(Disc& disc, const std::vector<std::string>& pathUtf8, bool folder,
             const std::string& descriptionUtf8, ReadNotes& notes);

// Name and extension joined: "SETUP" + "EXE" -> "SETUP.EXE"; an extension given with its
// dot keeps it; a name that already ends in it ("SETUP.EXE" + "exe") stays.
std::string JoinExtension(std::string name, std::string_view ext);

} // namespace migrate
