// Writes a synthetic library for the benchmarks.
//   make_library DIR CDS NODES_PER_CD     a library of CDS records in nested boxes
//   make_library --record DIR NAME NODES  one record of NODES nodes

#include "bench/synthetic_library.h"

#include "catalog/text.h"

#include <cstdlib>
#include <iostream>
#include <string>

int main(int argc, char** argv)
{
    try {
        if (argc == 5 && std::string(argv[1]) == "--record") {
            std::string folder = argv[2];
            if (folder.back() != '/') {
                folder += '/';
            }
            bench::writeRecord(folder, catalog::utf8ToGbk(argv[3]),
                               bench::makeDiscTree(std::strtoull(argv[4], nullptr, 10), 1), 1);
            return 0;
        }
        if (argc == 4) {
            std::string root = argv[1];
            if (root.back() != '/') {
                root += '/';
            }
            bench::LibraryShape shape;
            shape.cds = std::strtoull(argv[2], nullptr, 10);
            shape.nodesPerCd = std::strtoull(argv[3], nullptr, 10);
            bench::writeLibrary(root, shape);
            return 0;
        }
    } catch (const std::exception& error) {
        std::cerr << error.what() << '\n';
        return 1;
    }
    std::cerr
        << "usage: make_library DIR CDS NODES_PER_CD | make_library --record DIR NAME NODES\n";
    return 2;
}
