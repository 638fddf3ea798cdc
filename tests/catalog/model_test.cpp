#include "catalog/model.h"
#include "support/catalog_fixture.h"

#include <gtest/gtest.h>
#include <set>

namespace mwdx {
namespace {

CatalogNode* Add(CatalogModel& model, CatalogNode& parent, int id, int level, int type = kCatalogType) {
    NodeDetails details;
    FillNodeDetails(details, id, "n" + std::to_string(id), parent.FileId(), "", type == kCatalogType ? "" : "f.txt");
    return model.AddChildNode(parent, details, level, id, type, parent.Path() + "/n" + std::to_string(id));
}

// The search exactly as the catalog has always defined it: scan the children one level down,
// otherwise descend into every child in order.
const CatalogNode* LiteralSearch(const CatalogNode* start, int id, int level) {
    if (level == start->PathLevel() + 1) {
        for (const CatalogNode* c = start->FirstChild(); c != nullptr; c = c->NextSibling()) {
            if (c->FileId() == id) {
                return c;
            }
        }
        return nullptr;
    }
    for (const CatalogNode* c = start->FirstChild(); c != nullptr; c = c->NextSibling()) {
        if (const CatalogNode* found = LiteralSearch(c, id, level)) {
            return found;
        }
    }
    return nullptr;
}

void ExpectSameAsLiteralSearch(const CatalogModel& model) {
    std::vector<const CatalogNode*> starts{model.RootNode()};
    std::set<int> ids{0, 999};
    ForEachDescendant(*model.RootNode(), [&](const CatalogNode& n) {
        starts.push_back(&n);
        ids.insert(n.FileId());
    });
    for (const CatalogNode* start : starts) {
        for (const int id : ids) {
            for (int level = -1; level <= 8; ++level) {
                ASSERT_EQ(model.FindNode(start, id, level), LiteralSearch(start, id, level))
                    << "start " << start->FileId() << " id " << id << " level " << level;
            }
        }
    }
}

TEST(CatalogModelTest, FindNodeAnswersLikeTheSearchDownEvenInADamagedTree) {
    CatalogModel model;
    CatalogNode& root = *model.EnsureRootNode("/home");
    CatalogNode* a = Add(model, root, 1, 1);
    CatalogNode* b = Add(model, *a, 2, 2);
    Add(model, *b, 3, 3);
    Add(model, *b, 4, 3, kDocumentType);
    CatalogNode* e = Add(model, *a, 5, 2);
    Add(model, *e, 3, 3); // the same id again, in a later subtree: the search finds the first
    CatalogNode* f = Add(model, root, 6, 1);
    Add(model, *f, 2, 2); // a duplicate one level down under another top-level node
    // Levels that do not follow the tree, as a hand-edited database may hold.
    CatalogNode* odd0 = Add(model, root, 7, 0);
    Add(model, *odd0, 8, 1);
    CatalogNode* odd5 = Add(model, root, 9, 5);
    Add(model, *odd5, 10, 6);
    Add(model, *odd5, 11, 2);
    ExpectSameAsLiteralSearch(model);

    // Removing a subtree takes its ids out of the index: the duplicate under f now answers alone.
    ASSERT_TRUE(model.UnlinkAndFree(root, *a));
    EXPECT_EQ(model.FindNode(&root, 2, 2)->Parent(), f);
    EXPECT_EQ(model.FindNode(&root, 3, 3), nullptr);
    ExpectSameAsLiteralSearch(model);
}

TEST(CatalogModelTest, ChildListsKeepOrderAndLinksThroughUnlinking) {
    CatalogModel model;
    CatalogNode& root = *model.EnsureRootNode("/home");
    CatalogNode* c1 = Add(model, root, 1, 1);
    CatalogNode* c2 = Add(model, root, 2, 1);
    CatalogNode* c3 = Add(model, root, 3, 1);
    CatalogNode* c4 = Add(model, root, 4, 1);
    Add(model, *c2, 5, 2);
    Add(model, *c2, 6, 2, kDocumentType);
    EXPECT_EQ(test::Outline(root), (std::vector<std::string>{"n1", "n2", "  n5", "  n6", "n3", "n4"}));
    EXPECT_EQ(model.NodeCount(), 6u);

    CatalogModel other;
    CatalogNode& otherRoot = *other.EnsureRootNode("/elsewhere");
    EXPECT_FALSE(model.UnlinkAndFree(otherRoot, *c1)) << "not a child of that parent: nothing changes";
    EXPECT_FALSE(model.UnlinkAndFree(*c3, *c4));

    EXPECT_EQ(c3->PreviousSibling(), c2);
    EXPECT_EQ(c1->PreviousSibling(), nullptr);
    EXPECT_LT(c2->Ordinal(), c3->Ordinal()) << "later siblings have larger ordinals";
    EXPECT_EQ(root.ChildCount(), 4u);
    const std::uint64_t lastOrdinal = c4->Ordinal();

    ASSERT_TRUE(model.UnlinkAndFree(root, *c4)); // last
    EXPECT_EQ(root.LastChild(), c3);
    EXPECT_EQ(c3->NextSibling(), nullptr);
    ASSERT_TRUE(model.UnlinkAndFree(root, *c2)); // middle, with its children
    EXPECT_EQ(c1->NextSibling(), c3);
    EXPECT_EQ(c3->PreviousSibling(), c1);
    EXPECT_EQ(root.ChildCount(), 2u);
    EXPECT_EQ(model.NodeCount(), 2u);
    EXPECT_EQ(model.FindNode(&root, 5, 2), nullptr);
    ASSERT_TRUE(model.UnlinkAndFree(root, *c1)); // first
    EXPECT_EQ(root.FirstChild(), c3);
    EXPECT_EQ(c3->PreviousSibling(), nullptr);
    EXPECT_EQ(root.LastChild(), c3);
    ASSERT_TRUE(model.UnlinkAndFree(root, *c3)); // only
    EXPECT_EQ(root.FirstChild(), nullptr);
    EXPECT_EQ(root.LastChild(), nullptr);
    EXPECT_EQ(model.NodeCount(), 0u);

    CatalogNode* again = Add(model, root, 7, 1);
    EXPECT_EQ(root.FirstChild(), again);
    EXPECT_EQ(root.LastChild(), again);
    EXPECT_EQ(again->PreviousSibling(), nullptr);
    EXPECT_GT(again->Ordinal(), lastOrdinal) << "an ordinal is never given twice under one parent";
}

// The children of `parent` by id, checked link by link in both directions.
std::vector<NodeId> ChildIds(const CatalogNode& parent) {
    std::vector<NodeId> ids;
    const CatalogNode* previous = nullptr;
    for (const CatalogNode* c = parent.FirstChild(); c != nullptr; c = c->NextSibling()) {
        EXPECT_EQ(c->PreviousSibling(), previous);
        EXPECT_EQ(c->Parent(), &parent);
        ids.push_back(c->FileId());
        previous = c;
    }
    EXPECT_EQ(parent.LastChild(), previous);
    EXPECT_EQ(parent.ChildCount(), ids.size());
    return ids;
}

TEST(CatalogModelTest, ANodeTakesItsPlaceAmongItsSiblingsByIdAsTheNextStartShowsIt) {
    CatalogModel model;
    CatalogNode& root = *model.EnsureRootNode("/home");
    CatalogNode* a = Add(model, root, 10, 1);
    Add(model, root, 20, 1);
    CatalogNode* other = Add(model, root, 30, 1);
    Add(model, *other, 15, 2);
    Add(model, *other, 35, 2);
    // A new node has the largest id yet and goes last; one with a smaller id goes in its place.
    Add(model, root, 40, 1);
    Add(model, root, 5, 1);
    EXPECT_EQ(ChildIds(root), (std::vector<NodeId>{5, 10, 20, 30, 40}));

    // Moved, a node goes where its id puts it: between, first, last.
    ASSERT_TRUE(model.MoveNode(*model.NodeById(15), root));
    ASSERT_TRUE(model.MoveNode(*model.NodeById(35), root));
    ASSERT_TRUE(model.MoveNode(*model.NodeById(5), *a));
    EXPECT_EQ(ChildIds(root), (std::vector<NodeId>{10, 15, 20, 30, 35, 40}));
    EXPECT_EQ(ChildIds(*other), (std::vector<NodeId>{}));
    ASSERT_TRUE(model.MoveNode(*model.NodeById(40), *other));
    ASSERT_TRUE(model.MoveNode(*model.NodeById(15), *other));
    EXPECT_EQ(ChildIds(*other), (std::vector<NodeId>{15, 40}));
    EXPECT_EQ(ChildIds(root), (std::vector<NodeId>{10, 20, 30, 35}));
    for (const CatalogNode* c = root.FirstChild(); c->NextSibling() != nullptr; c = c->NextSibling()) {
        EXPECT_LT(c->Ordinal(), c->NextSibling()->Ordinal());
    }

    // Loading appends whatever the order and then sorts each catalog's children once.
    CatalogModel loaded;
    CatalogNode& top = *loaded.EnsureRootNode("/home");
    for (const NodeId id : {7, 3, 9, 1}) {
        NodeDetails details;
        FillNodeDetails(details, id, "n" + std::to_string(id), 0, "", "");
        loaded.AppendChildNode(top, details, 1, id, kCatalogType, "/home/n" + std::to_string(id));
    }
    loaded.OrderChildren();
    EXPECT_EQ(ChildIds(top), (std::vector<NodeId>{1, 3, 7, 9}));
}

TEST(CatalogModelTest, VeryDeepAndVeryWideTreesWalkAndFreeWithoutRecursion) {
    // Far deeper than any stack frame per level could survive: a recursive walk or destructor crashes here.
    constexpr int kDepth = 300000;
    CatalogModel model;
    CatalogNode* node = model.EnsureRootNode("/h");
    for (int id = 1; id <= kDepth; ++id) {
        // A short path of its own: joined paths would grow with the square of the depth.
        node = model.AddChildNode(*node, NodeDetails{id, id - 1, "d", "", ""}, id, id, kCatalogType, "d");
        ASSERT_NE(node, nullptr);
    }
    CatalogNode& root = *model.RootNode();
    for (int id = kDepth + 1; id <= kDepth + 1000; ++id) {
        Add(model, root, id, 1);
    }
    std::size_t visited = 0;
    int deepest = 0;
    ForEachDescendant(root, [&](const CatalogNode& n) {
        ++visited;
        deepest = std::max(deepest, n.PathLevel());
    });
    EXPECT_EQ(visited, static_cast<std::size_t>(kDepth + 1000));
    EXPECT_EQ(deepest, kDepth);
    EXPECT_EQ(model.FindNode(&root, kDepth, kDepth)->PathLevel(), kDepth);

    model.FreeNodeTree(*root.FirstChild()->FirstChild()); // frees all but two levels of the chain
    EXPECT_EQ(model.NodeCount(), 1002u);
    EXPECT_EQ(model.FindNode(&root, 3, 3), nullptr);
    model.Clear();
    EXPECT_EQ(model.RootNode(), nullptr);
    EXPECT_EQ(model.NodeCount(), 0u);
}

} // namespace
} // namespace mwdx
