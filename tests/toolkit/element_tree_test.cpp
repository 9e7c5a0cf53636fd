// ElementTree: placements, removal with the free list, growth, walks, adoption and link checks.
#include "toolkit/element_tree.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <vector>

using namespace velmora;

namespace {

std::vector<ElementId> Level(const ElementTree& tree, ElementId parent)
{
    std::vector<ElementId> ids;
    for (ElementId id = parent < 0 ? tree.FirstTopLevel() : tree.FirstChild(parent); id >= 0;
         id = tree.NextSibling(id))
        ids.push_back(id);
    return ids;
}

} // namespace

TEST(ElementTreeTest, PlacementsOnALevelAndAmongChildren)
{
    ElementTree tree;
    const ElementId a = tree.InsertNode(-1, PLACE_LAST);
    const ElementId b = tree.InsertNode(a, PLACE_AFTER);
    const ElementId c = tree.InsertNode(a, PLACE_BEFORE);
    const ElementId d = tree.InsertNode(b, PLACE_FIRST);
    EXPECT_EQ(Level(tree, -1), (std::vector<ElementId> { d, c, a, b }));
    const ElementId x = tree.InsertNode(a, PLACE_BEFORE | PLACE_CHILD); // no children: last
    const ElementId y = tree.InsertNode(a, PLACE_BEFORE | PLACE_CHILD); // becomes first
    const ElementId z = tree.InsertNode(a, PLACE_AFTER | PLACE_CHILD); // becomes last
    EXPECT_EQ(Level(tree, a), (std::vector<ElementId> { y, x, z }));
    EXPECT_EQ(tree.Depth(x), 1);
    EXPECT_EQ(tree.Parent(x), a);
    EXPECT_EQ(tree.InsertNode(a, 0), -1);
    EXPECT_EQ(tree.InsertNode(a, PLACE_FIRST | PLACE_LAST), -1);
    EXPECT_EQ(tree.VerifyLinks(), SUCCESS);
    // Pre-order.
    std::vector<ElementId> order;
    for (ElementId id = tree.FirstTopLevel(); id >= 0; id = tree.NextInPreOrder(id))
        order.push_back(id);
    EXPECT_EQ(order, (std::vector<ElementId> { d, c, a, y, x, z, b }));
}

TEST(ElementTreeTest, RemovalReturnsNodesToTheFreeListForReuse)
{
    ElementTree tree;
    const ElementId a = tree.InsertNode(-1, PLACE_LAST);
    const ElementId child = tree.InsertNode(a, PLACE_LAST | PLACE_CHILD);
    const ElementId grandchild = tree.InsertNode(child, PLACE_LAST | PLACE_CHILD);
    const ElementId b = tree.InsertNode(-1, PLACE_LAST);
    EXPECT_EQ(tree.AllocatedCount(), 100);
    const int32_t freeBefore = tree.FreeCount();
    tree.RemoveSubtree(a);
    EXPECT_EQ(tree.FreeCount(), freeBefore + 3);
    EXPECT_EQ(tree.Node(a), nullptr);
    EXPECT_EQ(tree.Node(grandchild), nullptr);
    EXPECT_EQ(tree.FirstTopLevel(), b);
    EXPECT_EQ(tree.FreeTail(), a); // children first, the root last
    EXPECT_EQ(tree.VerifyLinks(), SUCCESS);
    // Drain the free list: the removed ids come back.
    std::vector<bool> seen(static_cast<size_t>(tree.AllocatedCount()));
    while (tree.FreeCount() > 0)
        seen[static_cast<size_t>(tree.InsertNode(-1, PLACE_LAST))] = true;
    EXPECT_TRUE(seen[static_cast<size_t>(a)] && seen[static_cast<size_t>(child)]
        && seen[static_cast<size_t>(grandchild)]);
    EXPECT_EQ(tree.AllocatedCount(), 100);
    EXPECT_GE(tree.InsertNode(-1, PLACE_LAST), 100); // grows by the step
    EXPECT_EQ(tree.AllocatedCount(), 200);
    EXPECT_EQ(tree.VerifyLinks(), SUCCESS);
}

TEST(ElementTreeTest, DeepTreesNeedNoRecursion)
{
    ElementTree tree;
    ElementId at = tree.InsertNode(-1, PLACE_LAST);
    const ElementId root = at;
    for (int i = 0; i < 100000; ++i)
        at = tree.InsertNode(at, PLACE_LAST | PLACE_CHILD);
    EXPECT_EQ(tree.Depth(at), 100000);
    EXPECT_EQ(tree.LastInSubtree(root), at);
    tree.RemoveSubtree(root);
    EXPECT_EQ(tree.FirstTopLevel(), -1);
    EXPECT_EQ(tree.FreeCount(), tree.AllocatedCount());
    EXPECT_EQ(tree.VerifyLinks(), SUCCESS);
}

TEST(ElementTreeTest, AdoptLinksByDepthAndVerifyFindsBrokenLinks)
{
    ElementTree tree;
    const int32_t depths[] = { 0, 1, 2, 1, 0, 1 };
    auto* nodes = static_cast<ElementNode*>(std::malloc(sizeof(ElementNode) * 6));
    for (int i = 0; i < 6; ++i) {
        new (&nodes[i]) ElementNode();
        nodes[i].depth = depths[i];
    }
    ASSERT_EQ(tree.AdoptNodes(nodes, 6), SUCCESS);
    EXPECT_EQ(Level(tree, -1), (std::vector<ElementId> { 0, 4 }));
    EXPECT_EQ(Level(tree, 0), (std::vector<ElementId> { 1, 3 }));
    EXPECT_EQ(Level(tree, 1), (std::vector<ElementId> { 2 }));
    EXPECT_EQ(Level(tree, 4), (std::vector<ElementId> { 5 }));
    EXPECT_EQ(tree.VerifyLinks(), SUCCESS);
    auto* more = static_cast<ElementNode*>(std::malloc(sizeof(ElementNode)));
    new (more) ElementNode();
    EXPECT_EQ(tree.AdoptNodes(more, 1), ERROR_GENERAL_PARAMETER); // already has an array
    std::free(more);
    // Break a link through a copy of the array.
    const_cast<ElementNode*>(tree.Node(3))->previousSibling = 2;
    EXPECT_EQ(tree.VerifyLinks(), ERROR_TREE_LINK);

    ElementTree bad;
    auto* skip = static_cast<ElementNode*>(std::malloc(sizeof(ElementNode) * 2));
    new (&skip[0]) ElementNode();
    new (&skip[1]) ElementNode();
    skip[1].depth = 2;
    EXPECT_EQ(bad.AdoptNodes(skip, 2), ERROR_GENERAL_PARAMETER);
    std::free(skip);
}
