#pragma once

#include "catalog/model.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace mwdx::test {

// A fresh database in a temporary folder, opened as the program's store, with the Settings
// loaded and the Home Directory set to `home`.
class CatalogFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Inserts a row with an explicit FILE_ID, bypassing the program (as another tool or an older
    // version might have written it).
    void AddRow(NodeId fileId, const std::string& name, NodeId parentId, int fileType, int level, const std::string& raw = "",
                const std::string& comment = "");
    void SetHome(const std::string& home);
    // Loads the whole catalog into `model` as the program does at start-up.
    int Reload();
    int RowCount();
    // Adds catalog `name` below `parent` (nullptr: the top level) as the program's command does,
    // in the Home Directory `home`; fails the test when it cannot.
    CatalogNode* AddCatalogAsUser(const std::string& home, CatalogNode* parent, const std::string& name,
                                  const std::string& comment = "");
    // Adds document "Doc <file>" below `parent`, its file made in the temporary folder with
    // `content`, then moved (or copied) in; fails the test when it cannot.
    CatalogNode* AddDocumentAsUser(const std::string& home, CatalogNode* parent, const std::string& file,
                                   const std::string& content, bool move = true);

    TempDir m_dir;
    std::string m_db;
    std::string m_home = "/home/reader/Knowledge";
    CatalogModel m_model;
};

// "name" for each node below `start`, depth first, each node before its children;
// children indented by two blanks per level below `start`.
std::vector<std::string> Outline(const CatalogNode& start);

} // namespace mwdx::test
