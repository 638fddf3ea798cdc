#include "support/catalog_fixture.h"

#include "catalog/loader.h"
#include "operations/add_catalog.h"
#include "operations/add_document.h"
#include "store/connection.h"
#include "store/settings.h"
#include "store/statements.h"

namespace mwdx::test {

void CatalogFixture::SetUp() {
    m_db = m_dir.File("mymwdx.db");
    MakeFreshDatabase(m_db);
    SetHome(m_home);
    OpenStore(m_db);
    ASSERT_TRUE(IsStoreOpen());
    ASSERT_EQ(LoadSettings(), 1);
}

void CatalogFixture::TearDown() {
    m_model.Clear();
    FreeSettings();
    CloseStore();
}

void CatalogFixture::AddRow(NodeId fileId, const std::string& name, NodeId parentId, int fileType, int level,
                            const std::string& raw, const std::string& comment) {
    RunSql(m_db, "insert into FILE_NODE values(" + std::to_string(fileId) + ",'" + EscapeSqlText(name) + "'," +
                     std::to_string(parentId) + ",'" + EscapeSqlText(comment) + "'," + std::to_string(fileType) + ",'" +
                     EscapeSqlText(raw) + "'," + std::to_string(level) + ");");
}

void CatalogFixture::SetHome(const std::string& home) {
    m_home = home;
    RunSql(m_db, "update SYS_CONFIG set ROOT_DIR='" + EscapeSqlText(home) + "';");
    if (IsStoreOpen()) {
        LoadSettings();
    }
}

int CatalogFixture::Reload() {
    m_model.Clear();
    return LoadCatalog(m_model);
}

int CatalogFixture::RowCount() {
    return std::stoi(QueryText(m_db, "select count(*) from FILE_NODE;"));
}

std::vector<std::string> Outline(const CatalogNode& start) {
    std::vector<std::string> lines;
    ForEachDescendant(start, [&](const CatalogNode& node) {
        lines.push_back(std::string(2 * static_cast<std::size_t>(node.PathLevel() - start.PathLevel() - 1), ' ') +
                        node.Details().fileName);
    });
    return lines;
}

CatalogNode* CatalogFixture::AddCatalogAsUser(const std::string& home, CatalogNode* parent, const std::string& name,
                                              const std::string& comment) {
    CatalogNode* added = nullptr;
    const OpResult result = AddCatalogOperation(m_model, home, {parent, name, comment}, &added);
    EXPECT_TRUE(result.done) << result.detail;
    return added;
}

CatalogNode* CatalogFixture::AddDocumentAsUser(const std::string& home, CatalogNode* parent, const std::string& file,
                                               const std::string& content, bool move) {
    const std::string source = m_dir.File("inbox/" + file);
    MakeFile(source, content);
    NewDocument request;
    request.parent = parent;
    request.source = source;
    request.name = "Doc " + file;
    request.move = move;
    CatalogNode* added = nullptr;
    const OpResult result = AddDocumentOperation(m_model, home, request, {}, &added);
    EXPECT_TRUE(result.done) << result.detail;
    return added;
}

} // namespace mwdx::test
