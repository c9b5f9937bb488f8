#pragma once

#include "catalog/disk.h"
#include "catalog/library.h"
#include "catalog/tree.h"
#include "search/engine.h"

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>

// The files a search leaves in its category: pointers (.Tgt), pruned trees (.Fid with
// .Tag, .mx and copies of .fmx and .ifn) and the category description (.Fin).
namespace search {

// The native folder (ending in "/") of the search results.
std::string ResultsFolder(const std::string& libraryRoot);

// The first free folder of base (ending in "/"), base(2)/, base(3)/, ...; returns its
// last component (GBK), e.g. 按日期查找(2).
std::string UniqueCategoryName(const std::string& baseFolder);

// The folder name (GBK) of a category whose caption is captionGbk: one path component
// whatever the user typed. A character no folder name can hold where libraries travel
// (/ * ? : " < > |) is stored as its full-width form (／ ＊ ？ ： ＂ ＜ ＞ ｜), a control
// character (NUL included) as a blank.
std::string CategoryFolderName(std::string_view captionGbk);

// The native folder of a category (ending in "/"). Throws FileError when the name is not
// one path component, or when the results folder does not lie inside the library: a
// category is deleted and written, and must never be anything else.
std::string CategoryFolder(const std::string& libraryRoot, const std::string& categoryGbk);

// Deletes a category folder and everything in it (see CategoryFolder for the checks).
void DeleteCategory(const std::string& libraryRoot, const std::string& categoryGbk);

// Holds the lock of the search results folder, creating the folder when missing: a
// search and the removal of an empty category run one at a time, in the window and the
// CLI alike. While another holds it, waiting calls keepWaiting every 10 ms; when that
// returns false the wait ends and acquired() is false.
class ResultsLock
{
public:
    ResultsLock(const std::string& libraryRoot, const std::function<bool()>& keepWaiting);
    bool acquired() const { return m_fd.get() >= 0; }

private:
    catalog::FileDescriptor m_fd;
};

// The pruned copy of one CD's tree that a found-folder entry keeps: the matching nodes
// and the folders above them, in the source's index order. It is built along the chain of
// parents (a name holding a backslash stays one node), so its work is bounded by its
// output.
class PrunedTree
{
public:
    // Starts with a copy of the source's first node, icon class 0.
    explicit PrunedTree(const catalog::Tree& source);
    // Adds a matching node with iconClass below copies of its parents (folders, icon
    // class 1, made once). Nodes are added parents first, as the index order gives them.
    void add(catalog::NodeId node, int iconClass);
    const catalog::Tree& tree() const { return m_pruned; }

private:
    const catalog::Tree& m_source;
    catalog::Tree m_pruned;
    std::unordered_map<catalog::NodeId, catalog::NodeId> m_copies; // source -> pruned
};

// The record a pointer file (.Tgt) names (see catalog::PointerTarget).
using catalog::PointerTarget;

// Writes the hits of one run into its category folder (native, ending in "/"). The folder
// was made empty by the run, so the names taken are known without asking the disk again.
class ResultWriter
{
public:
    ResultWriter(std::string libraryRoot, std::string categoryFolder);

    // The category folder + cdName, or + cdName + "(2)", "(3)", ... when a result file of
    // that base with ext (ASCII case ignored) exists. Native path without extension.
    std::string UniqueResultBase(std::string_view cdNameGbk, std::string_view ext) const;

    // A found-CD entry: "<relative name><listing extension>" CR LF in <base>.Tgt, the
    // extension as the record's listing spells it on disk. Throws FileError.
    void writeFoundCd(const std::string& relativeNameGbk, std::string_view listingExt);
    // A found-folder entry from the pruned tree; the record's .fmx and .ifn (native paths,
    // "" when the record has none) are copied. The .Fid appears last, so an entry is
    // listed only once all its files are written. Throws FileError.
    void writeFoundFolder(const std::string& relativeNameGbk, const catalog::Tree& pruned,
                          const std::string& fmxPath, const std::string& ifnPath);

private:
    std::string claim(std::string_view cdNameGbk, std::string_view ext);

    std::string m_libraryRoot;
    std::string m_categoryFolder;
    std::set<std::string> m_taken; // file names, ASCII upper-cased
};

// The text of <category>.Fin for a run of request whose category caption is captionGbk.
std::string CategoryDescription(const SearchRequest& request, const std::string& captionGbk);

// "yyyy年M月d日" (GBK) of a day number.
std::string LongDate(double dayNumber);

// The last part of a name: what follows its last backslash.
std::string_view CdNameOf(std::string_view relativeNameGbk);

} // namespace search
