// Writes a synthetic disc as a folder tree, for the scan benchmarks: the same shape as the
// synthetic records (folders a few levels deep, Chinese and Latin names), empty files.
//   make_disc_tree DIR ENTRIES [SEED]

#include "bench/synthetic_library.h"

#include "catalog/record_files.h"
#include "catalog/text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 3 && argc != 4) {
        std::cerr << "usage: make_disc_tree DIR ENTRIES [SEED]\n";
        return 2;
    }
    const std::size_t entries = std::strtoull(argv[2], nullptr, 10);
    const auto seed =
        static_cast<std::uint32_t>(argc == 4 ? std::strtoul(argv[3], nullptr, 10) : 7);
    const catalog::Tree tree = bench::makeDiscTree(entries + 1, seed);

    // paths[d] is the folder at depth d on the way to the current node.
    std::vector<std::string> paths{argv[1]};
    ::mkdir(argv[1], 0777);
    for (const catalog::NodeId node : tree.indexOrder()) {
        const int depth = tree.depth(node);
        if (depth == 0) {
            continue;
        }
        paths.resize(static_cast<std::size_t>(depth));
        const std::string path = paths.back() + "/" + catalog::gbkToUtf8(tree.text(node));
        const bool folder = tree.image(node) == catalog::IconClass::Folder;
        const int status =
            folder ? ::mkdir(path.c_str(), 0777)
                   : ::close(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
        if (status != 0) {
            std::cerr << path << ": " << std::strerror(errno) << '\n';
            return 1;
        }
        if (folder) {
            paths.push_back(path);
        }
    }
    return 0;
}
