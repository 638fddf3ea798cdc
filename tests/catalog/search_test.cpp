#include "catalog/model.h"
#include "catalog/search.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace mwdx {
namespace {

CatalogNode* Add(CatalogModel& model, CatalogNode& parent, NodeId id, const std::string& name,
                 const std::string& comment = "", int type = kCatalogType) {
    NodeDetails details;
    FillNodeDetails(details, id, name, parent.FileId(), comment, type == kCatalogType ? "" : name + ".txt");
    return model.AddChildNode(parent, details, parent.PathLevel() + 1, id, type, parent.Path() + "/" + name);
}

std::vector<std::string> Names(const std::vector<const CatalogNode*>& nodes) {
    std::vector<std::string> names;
    for (const CatalogNode* node : nodes) {
        names.push_back(node->Details().fileName);
    }
    return names;
}

std::vector<std::string> Names(const std::vector<CatalogNode*>& nodes) {
    return Names(std::vector<const CatalogNode*>(nodes.begin(), nodes.end()));
}

TEST(FoldCaseTest, LowersEveryScriptThatHasCaseAndLeavesTheRest) {
    EXPECT_EQ(FoldCase("Quantum MECHANICS 101"), "quantum mechanics 101");
    EXPECT_EQ(FoldCase("ÄÖÜ Straße"), "äöü straße");
    EXPECT_EQ(FoldCase("ΩΜΕΓΑ"), "ωμεγα");
    EXPECT_EQ(FoldCase("ΣΗΜΕΙΩΣΕΙΣ"), FoldCase("σημειωσεις")) << "the final sigma too";
    EXPECT_EQ(FoldCase("ЖУРНАЛ"), "журнал");
    EXPECT_EQ(FoldCase("ＡＢＣ"), "ａｂｃ") << "full-width Latin";
    EXPECT_EQ(FoldCase("物理学讲义"), "物理学讲义");
    EXPECT_EQ(FoldCase("𝔸 emoji 😀"), "𝔸 emoji 😀") << "four-byte characters pass whole";
    // Bytes that are not UTF-8 stay as they were, and the text around them still folds.
    EXPECT_EQ(FoldCase(std::string("A\xff"
                                   "B\xc3",
                                   4)),
              std::string("a\xff"
                          "b\xc3",
                          4));
    EXPECT_EQ(FoldCase(std::string("\xc0\xafX")), std::string("\xc0\xafx")) << "an overlong form is no character";
}

// A reader's knowledge base: the search finds names and comments in any case and script, keeps
// up with every change, and never matches across a name and its comment.
TEST(CatalogSearchTest, FindsNamesAndCommentsAndKeepsUpWithChanges) {
    CatalogModel model;
    CatalogNode& root = *model.EnsureRootNode("/home/reader");
    CatalogNode* physics = Add(model, root, 1, "Physics", "Lecture NOTES");
    CatalogNode* optics = Add(model, *physics, 2, "Optics");
    Add(model, *optics, 3, "Lens Design", "Übungen zur Optik", kDocumentType);
    CatalogNode* chinese = Add(model, root, 4, "物理学", "费曼物理学讲义");
    Add(model, *chinese, 5, "ΣΗΜΕΙΩΣΕΙΣ", "");

    CatalogSearch search;
    EXPECT_TRUE(search.Find("physics").empty()) << "nothing before it is built";
    search.Build(root);
    EXPECT_EQ(search.Places(), 5u);
    EXPECT_EQ(Names(search.Find("PHYS")), (std::vector<std::string>{"Physics"}));
    EXPECT_EQ(Names(search.Find("notes")), (std::vector<std::string>{"Physics"})) << "in the comment";
    EXPECT_EQ(Names(search.Find("übungen")), (std::vector<std::string>{"Lens Design"}));
    EXPECT_EQ(Names(search.Find("物理")), (std::vector<std::string>{"物理学"})) << "one match a node";
    EXPECT_EQ(Names(search.Find("讲义")), (std::vector<std::string>{"物理学"}));
    EXPECT_EQ(Names(search.Find("Σημειωσεις")), (std::vector<std::string>{"ΣΗΜΕΙΩΣΕΙΣ"}));
    EXPECT_EQ(Names(search.Find("o")), (std::vector<std::string>{"Physics", "Optics", "Lens Design"}));
    EXPECT_TRUE(search.Find("sLecture").empty()) << "the name's end and the comment's start are apart";
    EXPECT_TRUE(search.Find("").empty());

    // Added, renamed, removed with its subtree: each shows at once.
    const std::uint64_t before = search.Generation();
    CatalogNode* waves = Add(model, *optics, 6, "Waves", "Huygens");
    search.NodeAdded(*waves);
    EXPECT_GT(search.Generation(), before);
    EXPECT_EQ(Names(search.Find("HUYGENS")), (std::vector<std::string>{"Waves"}));
    NodeDetails renamed = optics->Details();
    renamed.fileName = "Light";
    model.ReplaceNodeDetails(*optics, renamed);
    search.NodeChanged(*optics);
    EXPECT_TRUE(search.Find("optics").empty());
    EXPECT_EQ(Names(search.Find("LIGHT")), (std::vector<std::string>{"Light"}));
    search.NodeAboutToBeRemoved(*physics);
    ASSERT_TRUE(model.UnlinkAndFree(root, *physics));
    EXPECT_TRUE(search.Find("o").empty()) << "the whole subtree went";
    EXPECT_EQ(Names(search.Find("Σ")), (std::vector<std::string>{"ΣΗΜΕΙΩΣΕΙΣ"}));
}

// Many renames leave most of the text gone; it is squeezed out, and searches in slices find what
// one search over everything finds.
TEST(CatalogSearchTest, SlicesAndSqueezingFindTheSameAsOneSearch) {
    CatalogModel model;
    CatalogNode& root = *model.EnsureRootNode("/h");
    std::vector<CatalogNode*> nodes;
    const std::string padding(400, 'x');
    for (NodeId id = 1; id <= 3000; ++id) {
        nodes.push_back(Add(model, root, id, "Item " + std::to_string(id), padding));
    }
    CatalogSearch search;
    search.Build(root);
    const std::size_t fullText = search.TextBytes();
    for (int round = 0; round < 3; ++round) {
        for (CatalogNode* node : nodes) {
            NodeDetails details = node->Details();
            details.comment = "round " + std::to_string(round);
            model.ReplaceNodeDetails(*node, details);
            search.NodeChanged(*node);
        }
    }
    EXPECT_LT(search.TextBytes(), fullText) << "gone text squeezed out";
    EXPECT_EQ(search.Find("round 1").size(), 0u);
    const std::vector<const CatalogNode*> all = search.Find("ROUND 2");
    ASSERT_EQ(all.size(), 3000u);
    std::vector<const CatalogNode*> sliced;
    for (std::size_t first = 0; first < search.Places(); first += 7) {
        search.FindIn("round 2", first, first + 7, sliced);
    }
    EXPECT_EQ(sliced, all);
    EXPECT_EQ(search.Find("item 29").size(), 111u) << "29, 290..299 and 2900..2999";
}

// Folding a slice at a time: a change between slices starts it again, so nothing is folded twice
// or missed.
TEST(CatalogSearchTest, BuildingInSlicesStartsAgainAfterAChange) {
    CatalogModel model;
    CatalogNode& root = *model.EnsureRootNode("/h");
    for (NodeId id = 1; id <= 10; ++id) {
        Add(model, root, id, "Note " + std::to_string(id));
    }
    CatalogSearch search;
    EXPECT_FALSE(search.BuildSome(root, 4, 10));
    EXPECT_FALSE(search.Built());
    CatalogNode* late = Add(model, root, 11, "Note 11");
    search.NodeAdded(*late);
    EXPECT_FALSE(search.BuildSome(root, 4, 11));
    search.NodeAboutToBeRemoved(*root.FirstChild());
    ASSERT_TRUE(model.UnlinkAndFree(root, *root.FirstChild()));
    std::size_t slices = 0;
    while (!search.BuildSome(root, 4, 10)) {
        ++slices;
    }
    EXPECT_EQ(slices, 2u) << "ten nodes in slices of four, from the start";
    EXPECT_TRUE(search.Built());
    EXPECT_EQ(search.Find("note").size(), 10u);
    EXPECT_EQ(Names(search.Find("NOTE 1")), (std::vector<std::string>{"Note 10", "Note 11"}));
}

TEST(CatalogSearchTest, ShownTreeHoldsMatchesWithTheirAncestorsInTheCatalogsOrder) {
    CatalogModel model;
    CatalogNode& root = *model.EnsureRootNode("/h");
    CatalogNode* a = Add(model, root, 1, "A");
    CatalogNode* a1 = Add(model, *a, 2, "a1 match");
    Add(model, *a, 3, "a2");
    CatalogNode* a3 = Add(model, *a, 4, "a3");
    Add(model, *a3, 5, "deep match");
    CatalogNode* b = Add(model, root, 6, "B");
    CatalogNode* c = Add(model, root, 7, "C match");
    CatalogSearch search;
    search.Build(root);
    // Nodes moved under A take their places there by id; a1, changed since the text was made,
    // sits at the text's end, after C.
    ASSERT_TRUE(model.MoveNode(*c, *a));
    ASSERT_TRUE(model.MoveNode(*a1, *b));
    ASSERT_TRUE(model.MoveNode(*a1, *a));
    search.NodeChanged(*a1);

    ShownTreeBuilder builder(root);
    builder.Add(search.Find("MATCH"));
    const ShownTree shown = builder.Finish();
    EXPECT_EQ(shown.matches, 3u);
    ASSERT_EQ(shown.children.size(), 3u) << "the Root Node, A and a3";
    EXPECT_EQ(Names(shown.children.at(&root).nodes), (std::vector<std::string>{"A"}));
    EXPECT_EQ(Names(shown.children.at(a).nodes), (std::vector<std::string>{"a1 match", "a3", "C match"}));
    // Each place keeps its own node's ordinal through the sorting.
    for (const auto& [parent, list] : shown.children) {
        ASSERT_EQ(list.ordinals.size(), list.nodes.size());
        for (std::size_t k = 0; k < list.nodes.size(); ++k) {
            EXPECT_EQ(list.ordinals[k], list.nodes[k]->Ordinal());
        }
    }
    EXPECT_EQ(Names(shown.children.at(a3).nodes), (std::vector<std::string>{"deep match"}));
    EXPECT_EQ(shown.children.count(a1), 0u) << "nothing below a match that holds no match";
}

TEST(CatalogSearchTest, ADocumentFoundBothByNameAndByContentIsShownOnce) {
    CatalogModel model;
    CatalogNode& root = *model.EnsureRootNode("/h");
    CatalogNode* physics = Add(model, root, 1, "Physics");
    CatalogNode* lecture = Add(model, *physics, 2, "Quantum lecture", "", kDocumentType);
    CatalogNode* notes = Add(model, *physics, 3, "Notes", "", kDocumentType);
    CatalogNode* essay = Add(model, root, 4, "Essay", "", kDocumentType);
    CatalogSearch search;
    search.Build(root);
    // The names find the lecture; its text, the notes and the lecture again; later, the essay too.
    ShownTreeBuilder builder(root);
    builder.Add(search.Find("quantum"));
    builder.Add(std::vector<const CatalogNode*>{notes, lecture});
    builder.Add(std::vector<const CatalogNode*>{essay, lecture});
    const ShownTree shown = builder.Finish();
    EXPECT_EQ(shown.matches, 3u) << "three documents, each counted once";
    EXPECT_EQ(Names(shown.children.at(&root).nodes), (std::vector<std::string>{"Physics", "Essay"}));
    EXPECT_EQ(Names(shown.children.at(physics).nodes), (std::vector<std::string>{"Quantum lecture", "Notes"}));
    EXPECT_EQ(shown.children.at(physics).ordinals,
              (std::vector<std::uint64_t>{lecture->Ordinal(), notes->Ordinal()}));
}

} // namespace
} // namespace mwdx
