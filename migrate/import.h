#pragma once

#include "catalog/record_files.h"
#include "migrate/catalogue.h"

#include <functional>
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

class Importer
{
public:
    explicit Importer(ImportTarget target);

    // Checks one disc and writes it as a CD record of its box (unless a dry run). Names
    // that had to change and discs left out are added to problems. Throws
    // catalog::FileError when a file or folder cannot be written.
    DiscResult add(const Disc& disc, std::vector<std::string>& problemsUtf8);

private:
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
};

} // namespace migrate
