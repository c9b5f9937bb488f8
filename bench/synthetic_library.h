#pragma once

#include "catalog/tree.h"

#include <cstdint>
#include <string>

// Synthetic libraries for benchmarks: nested boxes with GBK names holding CD records
// whose trees look like real discs (folders a few levels deep, files with common
// extensions, Chinese and Latin names).
namespace bench {

// A disc tree of about `nodes` nodes (root line included).
catalog::Tree makeDiscTree(std::size_t nodes, std::uint32_t seed);

struct LibraryShape
{
    std::size_t cds = 2000;
    std::size_t nodesPerCd = 3000;
    std::size_t boxes = 40;   // boxes directly under the root
    std::size_t subBoxes = 3; // boxes inside each of those
};

// Writes the records (.Cdr, .tag, .Mx, .Ifn) under root (native, ending in "/"). Every
// 100th CD holds a file named 珍藏N.TXT, every 4,000th (from the second) RARITYN.DAT.
void writeLibrary(const std::string& root, const LibraryShape& shape);

// Writes one record named `nameGbk` in folder.
void writeRecord(const std::string& folder, const std::string& nameGbk, const catalog::Tree& tree,
                 std::uint32_t seed);

} // namespace bench
