#pragma once

#include "catalog/tree.h"
#include "search/engine.h"

#include <set>
#include <string>
#include <string_view>

// The files a search leaves in its category: pointers (.Tgt), pruned trees (.Fid with
// .Tag, .mx and copies of .fmx and .ifn) and the category description (.Fin).
namespace search {

// The native folder (ending in "/") of the search results.
std::string ResultsFolder(const std::string& libraryRoot);

// The first free folder of base (ending in "/"), base(2)/, base(3)/, ...; returns its
// last component (GBK), e.g. 按日期查找(2).
std::string UniqueCategoryName(const std::string& baseFolder);

// Adds the matching node at nodePathGbk ("A\X\f1\", as NodePath gives it) below the root
// of pruned: missing parents are added as folders (icon class 1), reused when a child of
// the same text is there; the node itself is always appended, with iconClass.
void AddPrunedPath(catalog::Tree& pruned, std::string_view nodePathGbk, int iconClass);

// Writes the hits of one run into its category folder (native, ending in "/"). The folder
// was made empty by the run, so the names taken are known without asking the disk again.
class ResultWriter
{
public:
    ResultWriter(std::string libraryRoot, std::string categoryFolder);

    // The category folder + cdName, or + cdName + "(2)", "(3)", ... when a result file of
    // that base with ext (ASCII case ignored) exists. Native path without extension.
    std::string UniqueResultBase(std::string_view cdNameGbk, std::string_view ext) const;

    // A found-CD entry: "<relative name>.Cdr" CR LF in <base>.Tgt. Throws FileError.
    void writeFoundCd(const std::string& relativeNameGbk);
    // A found-folder entry from the pruned tree; the record's .fmx and .ifn (native paths,
    // "" when the record has none) are copied. Throws FileError.
    void writeFoundFolder(const std::string& relativeNameGbk, const catalog::Tree& pruned,
                          const std::string& fmxPath, const std::string& ifnPath);

private:
    std::string claim(std::string_view cdNameGbk, std::string_view ext);

    std::string m_libraryRoot;
    std::string m_categoryFolder;
    std::set<std::string> m_taken; // file names, ASCII upper-cased
};

// The text of <category>.Fin for a run of request that produced categoryGbk.
std::string CategoryDescription(const SearchRequest& request, const std::string& categoryGbk);

// "yyyy年M月d日" (GBK) of a day number.
std::string LongDate(double dayNumber);

// The last part of a name: what follows its last backslash.
std::string_view CdNameOf(std::string_view relativeNameGbk);

} // namespace search
