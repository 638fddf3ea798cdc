#include "catalog/insert_remove.h"
#include "catalog/loader.h"
#include "catalog/paths.h"
#include "store/settings.h"
#include "support/catalog_fixture.h"

#include <gtest/gtest.h>

namespace mwdx::test {
namespace {

using PathsTest = CatalogFixture;

TEST_F(PathsTest, RenamingACatalogMovesEveryPathBelowIt) {
    AddRow(1, "A", 0, kCatalogType, 1);
    AddRow(2, "B", 1, kCatalogType, 2);
    AddRow(3, "Report", 2, kDocumentType, 3, "report.doc");
    AddRow(4, "Notes", 1, kDocumentType, 2, "notes.txt");
    AddRow(5, "Other", 0, kCatalogType, 1);
    AddRow(6, "Inside other", 5, kDocumentType, 2, "x.txt");
    ASSERT_EQ(Reload(), 1);
    CatalogNode* root = m_model.RootNode();
    CatalogNode* a = m_model.FindNode(root, 1, 1);
    ASSERT_EQ(NodePath(*m_model.FindNode(root, 3, 3)), m_home + "/A/B/report.doc");

    // The directory was renamed on disk and the details now carry the new name.
    NodeDetails renamed = a->Details();
    renamed.fileName = "Z";
    m_model.ReplaceNodeDetails(*a, renamed);
    ASSERT_EQ(RebuildPaths(*a, "Z"), 1);
    EXPECT_EQ(NodePath(*a), m_home + "/Z");
    EXPECT_EQ(NodePath(*m_model.FindNode(root, 2, 2)), m_home + "/Z/B");
    EXPECT_EQ(NodePath(*m_model.FindNode(root, 3, 3)), m_home + "/Z/B/report.doc");
    EXPECT_EQ(NodePath(*m_model.FindNode(root, 4, 2)), m_home + "/Z/notes.txt");
    EXPECT_EQ(NodePath(*m_model.FindNode(root, 6, 2)), m_home + "/Other/x.txt") << "a sibling's subtree stays";

    EXPECT_EQ(RebuildPaths(*root, "anything"), 0) << "the Home Directory is not renamed through a node";
    EXPECT_EQ(NodePath(*root), m_home);
}

TEST_F(PathsTest, ANewHomeDirectoryReachesOnlyNodesMadeAfterIt) {
    AddRow(1, "A", 0, kCatalogType, 1);
    ASSERT_EQ(Reload(), 1);
    const std::string oldHome = m_home;
    SetHome("/media/archive/Knowledge");

    CatalogNode* a = m_model.FindNode(m_model.RootNode(), 1, 1);
    EXPECT_EQ(NodePath(*a), oldHome + "/A");
    EXPECT_EQ(NodePath(*m_model.RootNode()), oldHome);
    // A new top-level node gets whatever path its command computed, here from the new Settings.
    CatalogNode* top =
        InsertNode(m_model, "B", "", kCatalogType, 0, "", 1, nullptr, JoinNodePath(RootDirOf(SettingsCopy()), "B"));
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(NodePath(*top), "/media/archive/Knowledge/B");
    ASSERT_EQ(Reload(), 1);
    EXPECT_EQ(NodePath(*m_model.FindNode(m_model.RootNode(), 1, 1)), "/media/archive/Knowledge/A");
}

} // namespace
} // namespace mwdx::test
