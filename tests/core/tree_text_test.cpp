#include "catalog/tree_text.h"

#include "catalog/disk.h"
#include "tests/support/temp_library.h"

#include <gtest/gtest.h>

namespace {

using catalog::NodeId;
using catalog::Tree;
using testing_support::gbk;

// "depth:text" of every node in id order; with ids in index order the depths alone fix
// the shape of the tree.
std::string shape(const Tree& tree)
{
    std::string out;
    for (NodeId node : tree.indexOrder()) {
        if (!out.empty()) {
            out += ',';
        }
        out += std::to_string(tree.depth(node)) + ":" + tree.text(node);
    }
    return out;
}

struct ReadCase
{
    const char* name;
    std::string text;
    std::string expected;
};

class TreeTextRead : public testing::TestWithParam<ReadCase>
{
};

TEST_P(TreeTextRead, BuildsTheTreeLineByLine)
{
    Tree tree;
    const auto load = catalog::ReadTreeText(GetParam().text, tree);
    EXPECT_TRUE(load.ok) << load.errorUtf8;
    EXPECT_EQ(shape(tree), GetParam().expected);
    // Node i is line i.
    EXPECT_TRUE(tree.idsInIndexOrder());
    for (NodeId node = 0; node < static_cast<NodeId>(tree.size()); ++node) {
        EXPECT_EQ(tree.image(node), 0);
        EXPECT_EQ(tree.selectedImage(node), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rules, TreeTextRead,
    testing::Values(
        ReadCase{"EmptyFile", "", ""}, ReadCase{"RootOnly", "E:\\\r\n", "0:E:\\"},
        ReadCase{"TabsCrLf", "E:\\\r\n\tA\r\n\t\tB\r\n\tC\r\n", "0:E:\\,1:A,2:B,1:C"},
        ReadCase{"BlanksCountAsDepth", "R\n A\n \tB\n\t C\n  D\n", "0:R,1:A,2:B,2:C,2:D"},
        ReadCase{"FirstLineDeeperIsTopLevel", "\t\tR\n\tA\n\t\tB\n", "0:R,1:A,2:B"},
        ReadCase{"GoUpToAncestor", "R\n\tA\n\t\tB\n\t\t\tC\n\t\tD\n\tE\n",
                 "0:R,1:A,2:B,3:C,2:D,1:E"},
        ReadCase{"EmptyLineIsTopLevelNode", "R\r\n\tA\r\n\r\n\tB\r\n", "0:R,1:A,0:,1:B"},
        ReadCase{"LastLineWithoutEnd", "R\r\n\tA\r\n\tB", "0:R,1:A,1:B"},
        ReadCase{"MixedLineEnds", "R\r\tA\n\tB\r\n\t\tC\rD", "0:R,1:A,1:B,2:C,0:D"},
        ReadCase{"CrCrIsEmptyLine", "R\r\r\tA\r", "0:R,0:,1:A"},
        ReadCase{"TrailingBlanksKept", "R\n\tA  \n\t\tB\t\n", "0:R,1:A  ,2:B\t"}),
    [](const auto& info) { return std::string(info.param.name); });

struct InvalidCase
{
    const char* name;
    std::string text;
    std::string expectedShape;
    std::string expectedErrorUtf8;
};

class TreeTextInvalidLevel : public testing::TestWithParam<InvalidCase>
{
};

TEST_P(TreeTextInvalidLevel, StopsAndKeepsNodesRead)
{
    Tree tree;
    const auto load = catalog::ReadTreeText(GetParam().text, tree);
    EXPECT_FALSE(load.ok);
    EXPECT_EQ(load.errorUtf8, GetParam().expectedErrorUtf8);
    EXPECT_EQ(shape(tree), GetParam().expectedShape);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, TreeTextInvalidLevel,
    testing::Values(InvalidCase{"TwoLevelsDeeper", "R\n\tA\n\t\t\tB\n\tC\n", "0:R,1:A",
                                "Invalid level (3) for item \"B\""},
                    InvalidCase{"FirstLineDepthNotKept", "\t\tR\n\t\tB\n", "0:R",
                                "Invalid level (2) for item \"B\""},
                    InvalidCase{"NameStartingWithBlank", "E:\\\r\n\t README.TXT\r\n", "0:E:\\",
                                "Invalid level (2) for item \"README.TXT\""},
                    InvalidCase{"GbkTextInMessage", gbk("R\n\tA\n\t\t\t中文 名\n"), "0:R,1:A",
                                "Invalid level (3) for item \"中文 名\""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TreeText, WriteGoldenBytes)
{
    Tree tree;
    const NodeId root = tree.addChild(catalog::NoNode, "E:\\", 0);
    const NodeId folder = tree.addChild(root, gbk("中文目录"), 1);
    tree.addChild(folder, "README.TXT", 4);
    tree.addChild(folder, "", 8);
    tree.addChild(root, "setup.exe ", 3);
    EXPECT_EQ(catalog::WriteTreeText(tree),
              "E:\\\r\n\t" + gbk("中文目录") + "\r\n\t\tREADME.TXT\r\n\t\t\r\n\tsetup.exe \r\n");
}

TEST(TreeText, WriteFollowsIndexOrderAfterSorting)
{
    Tree tree;
    const NodeId root = tree.addChild(catalog::NoNode, "R");
    const NodeId b = tree.addChild(root, "B");
    tree.addChild(root, "A");
    tree.addChild(b, "b1");
    tree.sortChildren(root, [&](NodeId x, NodeId y) { return tree.text(x) < tree.text(y); });
    ASSERT_FALSE(tree.idsInIndexOrder());
    EXPECT_EQ(catalog::WriteTreeText(tree), "R\r\n\tA\r\n\tB\r\n\t\tb1\r\n");
}

TEST(TreeText, LargeListingRoundTrips)
{
    // A deep and wide listing: every line goes up, down or stays, in a fixed pattern.
    std::string text = "E:\\\r\n";
    int depth = 0;
    for (int i = 0; i < 20000; ++i) {
        const int step = i % 7;
        depth = step < 3 ? depth + 1 : (step < 5 ? depth : depth / 2);
        if (depth == 0) {
            depth = 1;
        }
        text.append(static_cast<std::size_t>(depth), '\t');
        text += "N" + std::to_string(i) + "\r\n";
    }
    Tree tree;
    ASSERT_TRUE(catalog::ReadTreeText(text, tree).ok);
    EXPECT_EQ(tree.size(), 20001u);
    EXPECT_EQ(catalog::WriteTreeText(tree), text);
}

TEST(TreeText, ReadFileAndMissingFile)
{
    testing_support::TempDir dir;
    testing_support::writeFile(dir / "CD.cdr", "E:\\\n\tA\n");
    Tree tree;
    tree.addChild(catalog::NoNode, "stale");
    EXPECT_TRUE(catalog::ReadTreeFile(dir / "CD.cdr", tree).ok);
    EXPECT_EQ(shape(tree), "0:E:\\,1:A");
    EXPECT_THROW(catalog::ReadTreeFile(dir / "none.cdr", tree), catalog::FileError);
}

} // namespace
