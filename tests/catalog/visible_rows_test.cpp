#include "catalog/model.h"
#include "catalog/search.h"
#include "catalog/visible_rows.h"

#include <algorithm>
#include <cstdio>
#include <gtest/gtest.h>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace mwdx {
namespace {

// Follows the rows only through what the listener is told, as a view does: rows announced as
// inserted are read from the rows at that moment, rows announced as removed are dropped.
class MirrorView final : public RowListener {
public:
    explicit MirrorView(const VisibleRows& rows) : m_rows(rows) {}

    void Take() {
        m_mirror.clear();
        for (std::size_t row = 0; row < m_rows.Count(); ++row) {
            m_mirror.push_back(m_rows.NodeAt(row));
        }
    }
    const std::vector<const CatalogNode*>& Mirror() const { return m_mirror; }
    std::string Fault() const { return m_fault; }

    void RowsAboutToBeInserted(std::size_t first, std::size_t count) override {
        Expect(m_pending == kNone && first <= m_mirror.size() && count > 0, "insert announced badly");
        m_pending = kInsert;
        m_first = first;
        m_count = count;
        m_before = m_rows.Count();
    }
    void RowsInserted() override {
        Expect(m_pending == kInsert && m_rows.Count() == m_before + m_count, "insert count differs");
        std::vector<const CatalogNode*> added;
        for (std::size_t row = m_first; row < m_first + m_count && row < m_rows.Count(); ++row) {
            added.push_back(m_rows.NodeAt(row));
        }
        m_mirror.insert(m_mirror.begin() + static_cast<std::ptrdiff_t>(std::min(m_first, m_mirror.size())),
                        added.begin(), added.end());
        m_pending = kNone;
    }
    void RowsAboutToBeRemoved(std::size_t first, std::size_t count) override {
        Expect(m_pending == kNone && first + count <= m_mirror.size() && count > 0, "removal announced badly");
        m_pending = kRemove;
        m_first = first;
        m_count = count;
        m_before = m_rows.Count();
    }
    void RowsRemoved() override {
        Expect(m_pending == kRemove && m_rows.Count() + m_count == m_before, "removal count differs");
        const std::size_t first = std::min(m_first, m_mirror.size());
        m_mirror.erase(m_mirror.begin() + static_cast<std::ptrdiff_t>(first),
                       m_mirror.begin() + static_cast<std::ptrdiff_t>(std::min(first + m_count, m_mirror.size())));
        m_pending = kNone;
    }
    void RowChanged(std::size_t row) override { Expect(row < m_mirror.size(), "change of a row not shown"); }

private:
    enum Pending { kNone, kInsert, kRemove };
    void Expect(bool ok, const char* what) {
        if (!ok && m_fault.empty()) {
            m_fault = what;
        }
    }
    const VisibleRows& m_rows;
    std::vector<const CatalogNode*> m_mirror;
    Pending m_pending = kNone;
    std::size_t m_first = 0;
    std::size_t m_count = 0;
    std::size_t m_before = 0;
    std::string m_fault;
};

// Hands the catalog's changes to the rows, as the window's model does.
class Forward final : public CatalogObserver {
public:
    Forward(CatalogModel& model, VisibleRows& rows) : m_model(model), m_rows(rows) { m_model.SetObserver(this); }
    ~Forward() { m_model.SetObserver(nullptr); }
    void NodeAdded(const CatalogNode& node) override { m_rows.NodeAdded(const_cast<CatalogNode&>(node)); }
    void NodeAboutToBeRemoved(const CatalogNode& node) override { m_rows.NodeAboutToBeRemoved(node); }
    void NodeRemoved(const CatalogNode&) override {}
    void NodeChanged(const CatalogNode& node) override { m_rows.NodeChanged(node); }
    void NodeAboutToMove(const CatalogNode& node) override { m_rows.NodeAboutToMove(node); }
    void NodeMoved(const CatalogNode& node) override { m_rows.NodeMoved(const_cast<CatalogNode&>(node)); }

private:
    CatalogModel& m_model;
    VisibleRows& m_rows;
};

CatalogNode* Add(CatalogModel& model, CatalogNode& parent, NodeId id, int type = kCatalogType) {
    NodeDetails details;
    const std::string name = "n" + std::to_string(id);
    FillNodeDetails(details, id, name, parent.FileId(), "", type == kCatalogType ? "" : name);
    return model.AddChildNode(parent, details, parent.PathLevel() + 1, id, type, parent.Path() + "/" + name);
}

// The rows as a plain walk says they are: every node whose catalogs above are open, each before
// its children; `shown`, when given, limits each parent's children to those a search shows.
void Walk(const CatalogNode& node, const std::set<const CatalogNode*>& open, const std::set<const CatalogNode*>* shown,
          std::vector<const CatalogNode*>& rows) {
    for (const CatalogNode* child = node.FirstChild(); child != nullptr; child = child->NextSibling()) {
        if (shown != nullptr && shown->count(child) == 0) {
            continue;
        }
        rows.push_back(child);
        if (open.count(child) != 0) {
            Walk(*child, open, shown, rows);
        }
    }
}

class VisibleRowsProperty : public ::testing::TestWithParam<unsigned> {};

// Random edits, opening and closing, searches and what happens during them, on a tree with empty
// catalogs, documents and a wide catalog: after every step the rows, their numbers and what the
// listener was told agree with a plain walk of the tree.
TEST_P(VisibleRowsProperty, RowsFollowEveryChangeAndEveryChangeIsAnnounced) {
    const unsigned seed = GetParam();
    std::mt19937 random(seed);
    CatalogModel model;
    CatalogNode& root = *model.EnsureRootNode("/home/reader");
    NodeId nextId = 1;
    std::vector<CatalogNode*> nodes;
    for (int i = 0; i < 12; ++i) {
        CatalogNode& parent = nodes.empty() || random() % 3 == 0 ? root : *nodes[random() % nodes.size()];
        if (parent.IsCatalog()) {
            nodes.push_back(Add(model, parent, nextId++, random() % 4 == 0 ? kDocumentType : kCatalogType));
        }
    }
    VisibleRows rows;
    Forward forward(model, rows);
    MirrorView view(rows);
    rows.Reset(&root);
    rows.SetListener(&view);
    view.Take();

    std::set<const CatalogNode*> open;        // what the model should have open
    std::set<const CatalogNode*> shownBySearch; // while searching: the nodes it shows
    bool searching = false;
    std::vector<const CatalogNode*> openBefore;

    const auto pick = [&]() -> CatalogNode* { return nodes.empty() ? nullptr : nodes[random() % nodes.size()]; };
    const auto subtree = [](const CatalogNode& top) {
        std::vector<const CatalogNode*> below{&top};
        ForEachDescendant(top, [&](const CatalogNode& node) { below.push_back(&node); });
        return below;
    };
    const auto hasShownChildren = [&](const CatalogNode& node) {
        if (!searching) {
            return node.FirstChild() != nullptr;
        }
        for (const CatalogNode* child = node.FirstChild(); child != nullptr; child = child->NextSibling()) {
            if (shownBySearch.count(child) != 0) {
                return true;
            }
        }
        return false;
    };
    const auto reveal = [&](const CatalogNode& node) {
        for (const CatalogNode* at = &node; at != &root; at = at->Parent()) {
            shownBySearch.insert(at);
            if (at != &node) {
                open.insert(at);
            }
        }
    };

    int checked = 0;
    std::size_t largest = 0;
    for (int step = 0; step < 1500; ++step) {
        // Adds outnumber deletes, so the tree grows; now and then a catalog gets many children.
        const int action = static_cast<int>(random() % 13);
        std::string what;
        CatalogNode* node = pick();
        switch (action) {
        case 11:
            if (node != nullptr && node->IsCatalog()) {
                for (int i = 0; i < 40; ++i) {
                    nodes.push_back(Add(model, *node, nextId++, i % 3 == 0 ? kDocumentType : kCatalogType));
                    if (searching) {
                        reveal(*nodes.back());
                    }
                }
                what = "add many";
            }
            break;
        case 12:
        case 0:
        case 1: { // add under a catalog (or at the top level), often an empty one
            CatalogNode* parent = node != nullptr && node->IsCatalog() && random() % 4 != 0 ? node : &root;
            CatalogNode* added = Add(model, *parent, nextId++, random() % 5 == 0 ? kDocumentType : kCatalogType);
            nodes.push_back(added);
            if (searching) {
                reveal(*added);
            }
            what = "add";
            break;
        }
        case 2: // delete with everything below
            if (node != nullptr && random() % 2 == 0) {
                for (const CatalogNode* gone : subtree(*node)) {
                    open.erase(gone);
                    shownBySearch.erase(gone);
                    nodes.erase(std::find(nodes.begin(), nodes.end(), gone));
                }
                model.UnlinkAndFree(*node->Parent(), *node);
                what = "delete";
            }
            break;
        case 3: { // move under another catalog or to the top level
            CatalogNode* target = pick();
            if (node != nullptr && (target == nullptr || !target->IsCatalog() || random() % 4 == 0)) {
                target = &root;
            }
            if (node != nullptr && model.MoveNode(*node, *target) && searching) {
                reveal(*node);
            }
            what = "move";
            break;
        }
        case 4:
        case 5: // open
            if (node != nullptr) {
                rows.SetExpanded(*node, true);
                if (hasShownChildren(*node)) {
                    open.insert(node);
                }
                what = "open";
            }
            break;
        case 6: // close
            if (node != nullptr) {
                rows.SetExpanded(*node, false);
                open.erase(node);
                what = "close";
            }
            break;
        case 7: // open everything below
            if (node != nullptr && hasShownChildren(*node)) {
                rows.ExpandSubtree(*node);
                for (const CatalogNode* below : subtree(*node)) {
                    if (hasShownChildren(*below)) {
                        open.insert(below);
                    }
                }
                what = "open all";
            }
            break;
        case 8: // rename
            if (node != nullptr) {
                NodeDetails details = node->Details();
                details.comment = "changed " + std::to_string(step);
                model.ReplaceNodeDetails(*node, details);
                what = "rename";
            }
            break;
        case 9: // start or change a search: a random third of the nodes match
            if (!nodes.empty()) {
                if (!searching) {
                    openBefore = rows.ExpandedNodes();
                }
                std::vector<const CatalogNode*> matches;
                for (const CatalogNode* candidate : nodes) {
                    if (random() % 3 == 0) {
                        matches.push_back(candidate);
                    }
                }
                ShownTreeBuilder builder(root);
                builder.Add(matches);
                ShownTree shown = builder.Finish();
                shownBySearch.clear();
                open.clear();
                searching = true;
                for (const CatalogNode* match : matches) {
                    reveal(*match);
                }
                if (random() % 2 == 0) {
                    rows.ResetShown(&root, shown);
                } else {
                    // As the window makes them: a few lists at a time, then taken in at once.
                    VisibleRows::ShownBuild build(&root, shown);
                    while (!build.Step(1 + random() % 3)) {
                    }
                    (void)rows.TakeShown(std::move(build));
                }
                view.Take();
                what = "search";
            }
            break;
        case 10: // end the search: the catalogs open before it are open again
            if (searching) {
                searching = false;
                shownBySearch.clear();
                open.clear();
                std::erase_if(openBefore, [&](const CatalogNode* before) {
                    return std::find(nodes.begin(), nodes.end(), before) == nodes.end();
                });
                for (const CatalogNode* before : openBefore) {
                    if (before->FirstChild() != nullptr) {
                        open.insert(before);
                    }
                }
                rows.Reset(&root, openBefore);
                view.Take();
                what = "end search";
            }
            break;
        }
        if (what.empty()) {
            continue;
        }
        ++checked;
        largest = std::max(largest, rows.Count());
        // Catalogs emptied by a delete or a move are no longer open for the walk; the rows may
        // still keep them open (nothing to show either way).
        std::vector<const CatalogNode*> expected;
        Walk(root, open, searching ? &shownBySearch : nullptr, expected);
        std::vector<const CatalogNode*> actual;
        for (std::size_t row = 0; row < rows.Count(); ++row) {
            actual.push_back(rows.NodeAt(row));
            ASSERT_EQ(rows.RowOf(*actual.back()), row) << "seed " << seed << ", step " << step << " (" << what << ")";
        }
        ASSERT_EQ(actual, expected) << "seed " << seed << ", step " << step << " (" << what << ")";
        ASSERT_EQ(view.Fault(), "") << "seed " << seed << ", step " << step << " (" << what << ")";
        ASSERT_EQ(view.Mirror(), expected) << "what the listener heard, seed " << seed << ", step " << step << " ("
                                           << what << ")";
        for (const CatalogNode* hidden : nodes) {
            if (std::find(expected.begin(), expected.end(), hidden) == expected.end()) {
                ASSERT_FALSE(rows.RowOf(*hidden)) << "seed " << seed << ", step " << step;
            }
        }
    }
    // The walk above must have had work to do: many checked steps, and trees of some size.
    EXPECT_GT(checked, 1000) << "seed " << seed;
    EXPECT_GT(largest, 30u) << "seed " << seed;
    std::printf("seed %u: %d steps checked, up to %zu rows\n", seed, checked, largest);
}

INSTANTIATE_TEST_SUITE_P(Seeds, VisibleRowsProperty, ::testing::Values(1u, 2u, 3u, 20261208u));

// An empty knowledge base has no Root Node until its first catalog: that catalog, and the one
// added into it once opened, are announced and shown.
TEST(VisibleRowsTest, TheFirstCatalogOfAnEmptyTreeShows) {
    CatalogModel model;
    VisibleRows rows;
    Forward forward(model, rows);
    rows.Reset(model.RootNode());
    MirrorView view(rows);
    rows.SetListener(&view);
    view.Take();
    EXPECT_EQ(rows.Count(), 0u);

    CatalogNode* physics = Add(model, *model.EnsureRootNode("/home/reader"), 1);
    ASSERT_EQ(rows.Count(), 1u);
    EXPECT_EQ(rows.NodeAt(0), physics);
    CatalogNode* optics = Add(model, *physics, 2);
    EXPECT_EQ(rows.Count(), 1u) << "Physics is closed";
    rows.SetExpanded(*physics, true);
    CatalogNode* lenses = Add(model, *optics, 3);
    rows.SetExpanded(*optics, true);
    CatalogNode* chemistry = Add(model, *model.RootNode(), 4);
    EXPECT_EQ(view.Fault(), "");
    EXPECT_EQ(view.Mirror(), (std::vector<const CatalogNode*>{physics, optics, lenses, chemistry}));
    EXPECT_EQ(rows.Level(*lenses), 2);
}

// A wide catalog: adding at its end and removing from its middle change one row each, and the
// rows after the removed one move up by one, whichever parents are open around it.
TEST(VisibleRowsTest, AWideOpenCatalogChangesOneRowAtATime) {
    CatalogModel model;
    CatalogNode& root = *model.EnsureRootNode("/home/reader");
    CatalogNode* big = Add(model, root, 1);
    NodeId id = 2;
    for (int i = 0; i < 5000; ++i) {
        Add(model, *big, id++);
    }
    CatalogNode* after = Add(model, root, id++);
    VisibleRows rows;
    Forward forward(model, rows);
    rows.Reset(&root);
    MirrorView view(rows);
    rows.SetListener(&view);
    view.Take();
    rows.SetExpanded(*big, true);
    EXPECT_EQ(rows.Count(), 5002u);
    EXPECT_EQ(rows.RowOf(*after), 5001u);
    EXPECT_EQ(rows.Level(*rows.NodeAt(1)), 1);
    EXPECT_EQ(rows.Level(*after), 0);

    view.Take();
    CatalogNode* last = Add(model, *big, id++);
    EXPECT_EQ(rows.RowOf(*last), 5001u);
    EXPECT_EQ(rows.RowOf(*after), 5002u);
    // Many removals from the middle: the list squeezes its gaps and keeps counting right.
    for (int i = 0; i < 300; ++i) {
        CatalogNode* middle = rows.NodeAt(1 + 2 * static_cast<std::size_t>(i) % 2000);
        model.UnlinkAndFree(*big, *middle);
    }
    EXPECT_EQ(rows.Count(), 5003u - 300u);
    EXPECT_EQ(rows.NodeAt(rows.Count() - 1), after);
    EXPECT_EQ(rows.NodeAt(rows.Count() - 2), last);
    EXPECT_EQ(view.Fault(), "");
    std::vector<const CatalogNode*> all;
    for (std::size_t row = 0; row < rows.Count(); ++row) {
        all.push_back(rows.NodeAt(row));
    }
    EXPECT_EQ(view.Mirror(), all);
}

} // namespace
} // namespace mwdx
