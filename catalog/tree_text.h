#pragma once

#include "catalog/tree.h"

#include <string>
#include <string_view>

// The tree text format of .cdr and .fid files: one node per line, its depth given by the
// leading TAB (or blank) characters.
namespace catalog {

struct TreeLoad
{
    bool ok = true;
    std::string errorUtf8; // "Invalid level (%d) for item "%s"" when !ok
};

// Reads text into tree (emptied first). On an invalid level the nodes read before that
// line stay and the error is returned.
TreeLoad ReadTreeText(std::string_view text, Tree& tree);

// Reads a file; throws FileError when it cannot be read.
TreeLoad ReadTreeFile(const std::string& path, Tree& tree);

// Every node in index order: depth TABs, the text, CR LF.
std::string WriteTreeText(const Tree& tree);

} // namespace catalog
