#include "bench/synthetic_library.h"

#include "catalog/cdinfo.h"
#include "catalog/disk.h"
#include "catalog/library.h"
#include "catalog/record_files.h"
#include "catalog/record_set.h"
#include "catalog/text.h"
#include "catalog/tree_text.h"

#include <sys/stat.h>

#include <array>
#include <random>

namespace bench {
namespace {

const std::array<const char*, 12> Words{"安装",  "游戏", "音乐",   "资料",  "图片",  "驱动",
                                        "setup", "data", "readme", "tools", "sound", "video"};
const std::array<const char*, 10> Extensions{".EXE", ".TXT", ".ZIP", ".JPG", ".MP3",
                                             ".DLL", ".HTM", ".DOC", ".DAT", ""};

std::string nameFor(std::mt19937& random, std::size_t serial, bool folder)
{
    std::string utf8 = Words[random() % Words.size()];
    utf8 += std::to_string(serial);
    if (!folder) {
        utf8 += Extensions[random() % Extensions.size()];
    }
    return catalog::utf8ToGbk(utf8);
}

void makeFolder(const std::string& path)
{
    ::mkdir(path.c_str(), 0777);
}

} // namespace

catalog::Tree makeDiscTree(std::size_t nodes, std::uint32_t seed)
{
    std::mt19937 random(seed);
    catalog::Tree tree;
    tree.reserve(nodes);
    const catalog::NodeId root = tree.addChild(catalog::NoNode, "E:\\");
    // Depth-first: a folder holds up to 12 files and a few sub-folders, at most 6 deep.
    std::vector<catalog::NodeId> open{root};
    while (tree.size() < nodes) {
        if (open.empty()) {
            open.push_back(root);
        }
        const catalog::NodeId folder = open.back();
        const bool descend = open.size() < 7 && random() % 4 == 0;
        if (descend) {
            open.push_back(tree.addChild(folder, nameFor(random, tree.size(), true),
                                         catalog::IconClass::Folder));
            continue;
        }
        tree.addChild(folder, nameFor(random, tree.size(), false));
        if (random() % 12 == 0) {
            open.pop_back();
        }
    }
    return tree;
}

void writeRecord(const std::string& folder, const std::string& nameGbk, const catalog::Tree& tree,
                 std::uint32_t seed)
{
    catalog::WriteRecordFile(folder, nameGbk, catalog::RecordExt::Cdr,
                             catalog::WriteTreeText(tree));
    catalog::WriteRecordFile(folder, nameGbk, catalog::RecordExt::Tag,
                             catalog::JoinLines(catalog::IconListFromTree(tree)));
    catalog::WriteRecordFile(folder, nameGbk, catalog::RecordExt::Mx,
                             catalog::utf8ToGbk("一张用来测试的光盘\r\n"));
    catalog::TCDInfo info;
    info.cdno = std::to_string(seed);
    info.cdmoney = std::to_string(600000000 + seed);
    catalog::WriteCDInfo({folder, nameGbk}, info);
}

void writeLibrary(const std::string& root, const LibraryShape& shape)
{
    catalog::CreateLibrary(root);
    std::vector<std::string> boxes;
    for (std::size_t b = 0; b < shape.boxes; ++b) {
        const std::string box =
            catalog::ChildPath(root, catalog::utf8ToGbk("光盘盒" + std::to_string(b)));
        makeFolder(box);
        boxes.push_back(box);
        for (std::size_t s = 0; s < shape.subBoxes; ++s) {
            const std::string sub =
                catalog::ChildPath(box, catalog::utf8ToGbk("子盒" + std::to_string(s)));
            makeFolder(sub);
            boxes.push_back(sub);
        }
    }
    for (std::size_t cd = 0; cd < shape.cds; ++cd) {
        const auto seed = static_cast<std::uint32_t>(cd);
        catalog::Tree tree = makeDiscTree(shape.nodesPerCd, seed);
        // Terms a search finds in a known share of the CDs: 珍 in one of 100, rarity in one
        // of 4,000.
        const catalog::NodeId root = tree.topLevel().front();
        if (cd % 100 == 0) {
            tree.addChild(root, catalog::utf8ToGbk("珍藏" + std::to_string(cd) + ".TXT"));
        }
        if (cd % 4000 == 1) {
            tree.addChild(root, "RARITY" + std::to_string(cd) + ".DAT");
        }
        writeRecord(boxes[cd % boxes.size()], catalog::utf8ToGbk("光盘" + std::to_string(cd)), tree,
                    seed);
    }
}

} // namespace bench
