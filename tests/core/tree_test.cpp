#include "catalog/tree.h"

#include <gtest/gtest.h>

using namespace catalog;

namespace {

// Orlendy
//   soft
//     games
//   SOFT
struct BoxTree
{
    Tree tree;
    NodeId root = tree.addChild(NoNode, "Orlendy");
    NodeId soft = tree.addChild(root, "soft");
    NodeId games = tree.addChild(soft, "games");
    NodeId upper = tree.addChild(root, "SOFT");
    NodeId drives = tree.addChild(NoNode, "drives");
};

} // namespace

TEST(Tree, NodePathJoinsNamesBelowTheTopLevel)
{
    BoxTree boxes;
    EXPECT_EQ(NodePath(boxes.tree, boxes.root), "");
    EXPECT_EQ(NodePath(boxes.tree, boxes.drives), "");
    EXPECT_EQ(NodePath(boxes.tree, boxes.soft), "soft\\");
    EXPECT_EQ(NodePath(boxes.tree, boxes.games), "soft\\games\\");
}

TEST(Tree, FindNodeByPathIsExactAndTakesTheFirstInIndexOrder)
{
    BoxTree boxes;
    EXPECT_EQ(FindNodeByPath(boxes.tree, ""), boxes.root);
    EXPECT_EQ(FindNodeByPath(boxes.tree, "soft\\games\\"), boxes.games);
    EXPECT_EQ(FindNodeByPath(boxes.tree, "SOFT\\"), boxes.upper);
    EXPECT_EQ(FindNodeByPath(boxes.tree, "SOFT\\GAMES\\"), NoNode);
    EXPECT_EQ(FindNodeByPath(boxes.tree, "soft\\games"), NoNode);

    const NodeId twin = boxes.tree.addChild(boxes.root, "soft");
    EXPECT_EQ(FindNodeByPath(boxes.tree, "soft\\"), boxes.soft);
    boxes.tree.sortChildren(boxes.root, [&](NodeId a, NodeId b) { return a == twin && b != twin; });
    EXPECT_EQ(FindNodeByPath(boxes.tree, "soft\\"), twin);
}

TEST(Tree, IndexOrderFollowsSortingAdditionsAndRemovals)
{
    BoxTree boxes;
    Tree& tree = boxes.tree;
    EXPECT_TRUE(tree.idsInIndexOrder());
    EXPECT_EQ(tree.indexOrder(), (std::vector<NodeId>{0, 1, 2, 3, 4}));

    const NodeId late = tree.addChild(boxes.soft, "late");
    EXPECT_FALSE(tree.idsInIndexOrder());
    EXPECT_EQ(tree.indexOrder(), (std::vector<NodeId>{0, 1, 2, late, 3, 4}));

    tree.sortAll([&](NodeId a, NodeId b) { return tree.text(a) < tree.text(b); });
    EXPECT_EQ(tree.indexOrder(), (std::vector<NodeId>{0, 3, 1, 2, late, 4}));
    EXPECT_EQ(tree.row(boxes.upper), 0);
    EXPECT_EQ(tree.row(boxes.soft), 1);

    tree.remove(boxes.soft);
    EXPECT_EQ(tree.size(), 3u);
    EXPECT_FALSE(tree.isValid(boxes.games));
    EXPECT_EQ(tree.indexOrder(), (std::vector<NodeId>{0, 3, 4}));
    EXPECT_EQ(FindNodeByPath(tree, "soft\\games\\"), NoNode);
}
