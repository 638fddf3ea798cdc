#include "catalog/disk_rules.h"
#include "catalog/model.h"
#include "support/test_support.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <vector>

namespace fs = std::filesystem;

namespace mwdx::test {
namespace {

TEST(DiskRules, OnlySafeRelativeNamesBecomeDirectories) {
    for (const char* name : {"Physics", "a b", "Heat/Engines", "...", ".hidden", "物理", "it's"}) {
        EXPECT_TRUE(IsSafeCatalogName(name)) << name;
    }
    for (const char* name :
         {"", ".", "..", "a/..", "a/../../x", "/etc", "a//b", "a/", "./a", "tab\there", "bell\x7f"}) {
        EXPECT_FALSE(IsSafeCatalogName(name)) << name;
    }
    EXPECT_FALSE(IsSafeCatalogName(std::string("nul\0byte", 8)));
    EXPECT_TRUE(IsSafeCatalogName(std::string(255, 'n') + "/" + std::string(255, 'n')));
    EXPECT_FALSE(IsSafeCatalogName(std::string(256, 'n')));
    EXPECT_TRUE(IsSafeFileName("notes.txt"));
    EXPECT_FALSE(IsSafeFileName("a/notes.txt"));

    EXPECT_EQ(LexicallyNormal("/a/./b/../c/"), "/a/c");
    EXPECT_EQ(LexicallyNormal("/a/../../x"), "/x");
    EXPECT_EQ(LexicallyNormal("//a//b"), "/a/b");
    EXPECT_EQ(LexicallyNormal("a/../../x"), "../x");
}

TEST(DiskRules, InsideTheHomeDirectoryMeansStrictlyBelowItEvenThroughLinks) {
    TempDir dir;
    const std::string home = dir.File("home");
    fs::create_directories(home + "/a");
    fs::create_directories(dir.File("outside"));
    fs::create_directory_symlink(dir.File("outside"), home + "/escape");

    EXPECT_TRUE(IsInsideHome(home, home + "/a"));
    EXPECT_TRUE(IsInsideHome(home + "/", home + "/a/not/yet/made"));
    EXPECT_TRUE(IsInsideHome(home, home + "/escape")) << "the link itself is inside; deleting it keeps its target";
    EXPECT_FALSE(IsInsideHome(home, home + "/escape/file")) << "through the link, the path leads out";
    EXPECT_FALSE(IsInsideHome(home, home));
    EXPECT_FALSE(IsInsideHome(home, home + "/a/.."));
    EXPECT_FALSE(IsInsideHome(home, home + "/../outside"));
    EXPECT_FALSE(IsInsideHome(home, home + "2/a")) << "a sibling folder whose name starts the same";
    EXPECT_FALSE(IsInsideHome("", "/a"));
    EXPECT_FALSE(IsInsideHome(home, "a"));
}

TEST(DiskRules, SiblingsAndNodesThatShareADirectoryAreFound) {
    CatalogModel model;
    CatalogNode* root = model.EnsureRootNode("/home/kb");
    auto add = [&](CatalogNode& parent, int id, const char* name, std::int32_t type) {
        NodeDetails details;
        FillNodeDetails(details, id, name, parent.FileId(), "", type == kDocumentType ? name : "");
        return model.AddChildNode(parent, details, parent.PathLevel() + 1, id, type, parent.Path() + "/" + name);
    };
    CatalogNode* a = add(*root, 1, "a", kCatalogType);
    add(*a, 2, "inner", kCatalogType);
    CatalogNode* doc = add(*root, 3, "b", kDocumentType);
    CatalogNode* nested = add(*root, 4, "a/b", kCatalogType);

    EXPECT_EQ(SiblingCatalogNamed(*root, "a"), a);
    EXPECT_EQ(SiblingCatalogNamed(*root, "a", a), nullptr) << "a catalog may keep its own name";
    EXPECT_EQ(SiblingCatalogNamed(*root, "b"), nullptr) << "documents do not count";

    EXPECT_TRUE(OtherNodeLivesAt(*root, *a, a->Path())) << "a/b lives in a's directory";
    EXPECT_FALSE(OtherNodeLivesAt(*root, *nested, nested->Path()));
    EXPECT_FALSE(OtherNodeLivesAt(*root, *doc, doc->Path())) << "a/b's path only starts like b's";
}

// The quick answer over a whole catalog agrees with comparing every path, for every node of a
// tree that has two nodes of one name in places (as a damaged store has), before and after a
// name with '/' (as an old store holds) makes paths meet elsewhere.
TEST(DiskRules, TheQuickOthersCheckAgreesWithComparingEveryPath) {
    CatalogModel model;
    CatalogNode* root = model.EnsureRootNode("/home/kb");
    std::vector<CatalogNode*> catalogs{root};
    std::vector<CatalogNode*> all;
    NodeId id = 0;
    const char* names[] = {"a", "b", "c", "a"}; // "a" twice: sometimes two siblings share it
    for (int i = 0; i < 400; ++i) {
        CatalogNode* parent = catalogs[static_cast<std::size_t>(i * 7919 % static_cast<int>(catalogs.size()))];
        const std::int32_t type = i % 3 == 2 ? kDocumentType : kCatalogType;
        const std::string name = std::string(names[i % 4]) + (i % 5 == 0 ? "" : std::to_string(i % 3));
        NodeDetails details;
        FillNodeDetails(details, ++id, name, parent->FileId(), "", type == kDocumentType ? name : "");
        CatalogNode* node =
            model.AddChildNode(*parent, details, parent->PathLevel() + 1, id, type, parent->Path() + "/" + name);
        all.push_back(node);
        if (type == kCatalogType) {
            catalogs.push_back(node);
        }
    }
    const auto agree = [&](const char* when) {
        int shared = 0;
        for (const CatalogNode* node : all) {
            const bool quick = OtherNodeLivesAt(model, node, node->Path());
            ASSERT_EQ(quick, OtherNodeLivesAt(*root, *node, node->Path())) << when << ": " << node->Path();
            shared += quick ? 1 : 0;
            ASSERT_TRUE(OtherNodeLivesAt(model, nullptr, node->Path()))
                << "the node itself counts without an exception";
        }
        EXPECT_GT(shared, 0) << when << ": the tree has shared paths to find";
        EXPECT_LT(shared, static_cast<int>(all.size())) << when;
        EXPECT_FALSE(OtherNodeLivesAt(model, nullptr, root->Path() + "/nobody/here"));
    };
    ASSERT_EQ(model.OddNameCount(), 0u);
    agree("plain names");

    // A top-level catalog named "a1/b0" lives inside a1's folder.
    NodeDetails odd;
    FillNodeDetails(odd, ++id, "a1/b0", 0, "", "");
    CatalogNode* nested = model.AddChildNode(*root, odd, 1, id, kCatalogType, root->Path() + "/a1/b0");
    all.push_back(nested);
    EXPECT_EQ(model.OddNameCount(), 1u);
    agree("with a name that holds a '/'");
    model.UnlinkAndFree(*root, *nested);
    all.pop_back();
    EXPECT_EQ(model.OddNameCount(), 0u);
}

// In a catalog of thousands, a name check compares only the children that have the name, and the
// answers follow renames, removals and a catalog emptied and filled again.
TEST(DiskRules, NameChecksInAWideCatalogLookOnlyAtChildrenOfThatName) {
    CatalogModel model;
    CatalogNode* root = model.EnsureRootNode("/home/kb");
    NodeId id = 0;
    const auto add = [&](CatalogNode& parent, const std::string& name, std::int32_t type) {
        NodeDetails details;
        const std::string onDisk = type == kDocumentType ? name + ".pdf" : name;
        FillNodeDetails(details, ++id, name, parent.FileId(), "", type == kDocumentType ? onDisk : "");
        return model.AddChildNode(parent, details, parent.PathLevel() + 1, id, type, parent.Path() + "/" + onDisk);
    };
    CatalogNode* wide = add(*root, "Wide", kCatalogType);
    std::vector<CatalogNode*> children;
    for (int i = 0; i < 5000; ++i) {
        children.push_back(add(*wide, "n" + std::to_string(i), i % 2 == 0 ? kCatalogType : kDocumentType));
    }
    CatalogNode* twin = add(*wide, "twin", kCatalogType);
    CatalogNode* otherTwin = add(*wide, "twin", kCatalogType); // as a damaged store may hold

    EXPECT_EQ(SiblingCatalogNamed(*wide, "n4000"), children[4000]);
    EXPECT_EQ(SiblingCatalogNamed(*wide, "n4000", children[4000]), nullptr);
    EXPECT_EQ(SiblingCatalogNamed(*wide, "n4001"), nullptr) << "a document's name does not count";
    EXPECT_EQ(SiblingCatalogNamed(*wide, "n4001.pdf"), nullptr);
    EXPECT_EQ(SiblingCatalogNamed(*wide, "twin", twin), otherTwin);
    EXPECT_EQ(SiblingCatalogNamed(*wide, "nobody"), nullptr);
    EXPECT_TRUE(OtherNodeLivesAt(model, nullptr, wide->Path() + "/n4001.pdf"));
    EXPECT_FALSE(OtherNodeLivesAt(model, children[4000], children[4000]->Path()));
    EXPECT_TRUE(OtherNodeLivesAt(model, twin, twin->Path()));

    NodeDetails renamed = children[4000]->Details();
    renamed.fileName = "renamed";
    model.ReplaceNodeDetails(*children[4000], renamed);
    EXPECT_EQ(SiblingCatalogNamed(*wide, "n4000"), nullptr);
    EXPECT_EQ(SiblingCatalogNamed(*wide, "renamed"), children[4000]);
    ASSERT_TRUE(model.UnlinkAndFree(*wide, *children[10]));
    EXPECT_EQ(SiblingCatalogNamed(*wide, "n10"), nullptr);
    CatalogNode* late = add(*wide, "late", kCatalogType);
    EXPECT_EQ(SiblingCatalogNamed(*wide, "late"), late);

    model.FreeNodeTree(*wide);
    EXPECT_EQ(wide->ChildCount(), 0u);
    EXPECT_EQ(SiblingCatalogNamed(*wide, "late"), nullptr);
    CatalogNode* again = add(*wide, "late", kCatalogType);
    EXPECT_EQ(SiblingCatalogNamed(*wide, "late"), again);
    EXPECT_EQ(SiblingCatalogNamed(*wide, "n12"), nullptr);
}

} // namespace
} // namespace mwdx::test
