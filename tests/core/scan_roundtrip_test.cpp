// Every record the scanner writes reads back node for node: random folder trees of awkward
// names are scanned, written as tree text, read back and compared with the listing.

#include "scan/scanner.h"

#include "catalog/disk.h"
#include "catalog/text.h"
#include "catalog/tree.h"
#include "catalog/tree_text.h"
#include "platform/linux/folder_disc_source.h"
#include "tests/support/temp_library.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

namespace {

using testing_support::gbk;
using testing_support::makeFolders;
using testing_support::TempDir;
using testing_support::writeFile;

class NoProgress : public scan::ScanProgress
{
public:
    void showPath(const std::string&) override {}
    bool aborted() override { return false; }
};

struct Entry
{
    std::string name; // bytes as the file system holds them
    bool folder = false;
    std::vector<Entry> children;
};

// Pieces that names are made of: blanks, backslashes, line breaks, characters GBK cannot
// hold, bytes that are not UTF-8, raw GBK, dot lookalikes and plain text.
const std::vector<std::string>& pieces()
{
    static const std::vector<std::string> all{
        " ",    "  ",     "\\",       "\t",        "\r",         "\n",  "\r\n", "😀",  "한국",
        "\xFF", "\xC3(",  "\x81\x5C", gbk("中文"), "\x81\x5C\\", ".",   "..",   "．", "‥",
        "a",    "readme", ".txt",     "中文目录",  "说明",       "x.y", "-",    "~",  "?"};
    return all;
}

class TreeMaker
{
public:
    explicit TreeMaker(unsigned seed) : m_random(seed) {}

    std::string name(const std::set<std::string>& taken)
    {
        for (;;) {
            std::string text;
            const int count = pick(1, 4);
            for (int i = 0; i < count; ++i) {
                text += pieces()[static_cast<std::size_t>(
                    pick(0, static_cast<int>(pieces().size()) - 1))];
            }
            if (pick(0, 9) == 0) {
                text += std::string(static_cast<std::size_t>(pick(100, 250)), 'L'); // long names
            }
            if (text.size() > 255) {
                text.resize(255);
            }
            if (text != "." && text != ".." && taken.count(text) == 0) {
                return text;
            }
        }
    }

    Entry folder(int depth)
    {
        Entry entry;
        entry.folder = true;
        std::set<std::string> taken;
        const int count = pick(0, 5);
        for (int i = 0; i < count; ++i) {
            Entry child;
            child.name = name(taken);
            taken.insert(child.name);
            // Now and then a chain goes much deeper than its neighbours.
            const bool deeper = depth < 12 && pick(0, 99) < (depth < 3 ? 45 : 30);
            if (deeper) {
                Entry sub = folder(depth + 1);
                sub.name = child.name;
                child = std::move(sub);
            }
            entry.children.push_back(std::move(child));
        }
        return entry;
    }

private:
    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(m_random); }

    std::mt19937 m_random;
};

void create(const std::string& path, const Entry& folder)
{
    makeFolders(path);
    for (const Entry& child : folder.children) {
        if (child.folder) {
            create(path + "/" + child.name, child);
        } else {
            writeFile(path + "/" + child.name, "");
        }
    }
}

// Depths of the listing's entries: sub-folders first, each followed by its subtree, then
// files, both in the order of the names' bytes.
void expectedDepths(const Entry& folder, int depth, std::vector<int>& depths)
{
    std::vector<const Entry*> sorted;
    for (const Entry& child : folder.children) {
        sorted.push_back(&child);
    }
    std::sort(sorted.begin(), sorted.end(),
              [](const Entry* a, const Entry* b) { return a->name < b->name; });
    for (const Entry* child : sorted) {
        if (child->folder) {
            depths.push_back(depth);
            expectedDepths(*child, depth + 1, depths);
        }
    }
    for (const Entry* child : sorted) {
        if (!child->folder) {
            depths.push_back(depth);
        }
    }
}

// Names in a node path, split only at single-byte backslashes.
int pathNames(std::string_view pathGbk)
{
    int names = 0;
    for (std::size_t i = 0; i < pathGbk.size(); i += catalog::gbkCharLength(pathGbk, i)) {
        names += catalog::gbkCharLength(pathGbk, i) == 1 && pathGbk[i] == '\\' ? 1 : 0;
    }
    return names;
}

TEST(ScanRoundTrip, RandomTreesOfAwkwardNamesReadBackNodeForNode)
{
    for (unsigned seed = 1; seed <= 24; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        TempDir disc;
        TreeMaker maker(seed);
        const Entry root = maker.folder(0);
        create(disc.path() + "disc", root);
        std::vector<int> depths{0};
        expectedDepths(root, 1, depths);

        platform::linux_edition::FolderDiscSource source(disc.path() + "disc/");
        scan::ScanListing listing = scan::StartListing('E');
        NoProgress progress;
        scan::ScanFolder(source, "", "E:\\", listing, 1, progress);
        ASSERT_EQ(listing.lines.size(), depths.size());

        catalog::Tree tree;
        const catalog::TreeLoad load =
            catalog::ReadTreeText(catalog::JoinLines(listing.lines), tree);
        ASSERT_TRUE(load.ok) << load.errorUtf8;
        ASSERT_EQ(tree.size(), listing.lines.size());
        for (catalog::NodeId node = 0; node < static_cast<catalog::NodeId>(tree.size()); ++node) {
            const auto index = static_cast<std::size_t>(node);
            ASSERT_EQ(tree.depth(node), depths[index]) << "line " << index;
            ASSERT_EQ(listing.lines[index],
                      std::string(static_cast<std::size_t>(depths[index]), '\t') + tree.text(node));
            ASSERT_EQ(pathNames(catalog::NodePath(tree, node)), depths[index])
                << catalog::gbkToUtf8(catalog::NodePath(tree, node));
        }
    }
}

} // namespace
