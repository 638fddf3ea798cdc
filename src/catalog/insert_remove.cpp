#include "catalog/insert_remove.h"

#include "platform/text.h"
#include "store/connection.h"
#include "store/settings.h"
#include "store/statements.h"

namespace mwdx {
namespace {

constexpr ColumnSpec kMaxIdColumns[] = {{0, 1, 8}};

} // namespace

NodeId GetMaxFileId() {
    NodeId maxId = 0;
    int rows = 0;
    if (QueryRows(kSelectMaxFileId, 1, kMaxIdColumns, sizeof maxId, &maxId, 1, &rows) != kQueryDone) {
        return -1;
    }
    return maxId;
}

CatalogNode* InsertNode(CatalogModel& model, std::string_view name, std::string_view comment, std::int32_t fileType,
                        NodeId parentId, std::string_view rawFileName, std::int32_t pathLevel, CatalogNode* parentNode,
                        std::string path) {
    if (!IsStoreOpen() || (parentId != 0 && parentNode == nullptr)) {
        return nullptr;
    }
    // A failure after the insert must not leave a row that shows up at the next start although
    // the user was told the add failed.
    Transaction transaction;
    if (transaction.Begin() != kStatementOk) {
        return nullptr;
    }
    if (ExecStatement(InsertNodeStatement(name, parentId, comment, fileType, rawFileName, pathLevel)) != kStatementOk) {
        return nullptr;
    }
    const NodeId fileId = GetMaxFileId();
    if (fileId < 0) {
        return nullptr;
    }
    NodeDetails details;
    FillNodeDetails(details, fileId, name, parentId, comment, rawFileName);

    CatalogNode* parent = parentNode;
    if (parentId == 0) {
        parent = model.EnsureRootNode(SanitizeUtf8(RootDirOf(SettingsCopy())));
        if (parent == nullptr) {
            return nullptr;
        }
    }
    CatalogNode* node = model.AddChildNode(*parent, std::move(details), pathLevel, fileId, fileType, std::move(path));
    if (node == nullptr) {
        return nullptr;
    }
    if (transaction.Commit() != kStatementOk) {
        model.UnlinkAndFree(*parent, *node);
        return nullptr;
    }
    return node;
}

bool DeleteSubtreeRows(const CatalogNode& node) {
    Transaction transaction;
    if (transaction.Begin() != kStatementOk) {
        return false;
    }
    // The delete parsed once and re-bound for every node: a large catalog would otherwise cost a parse per row.
    Statement deleteRow(kDeleteNodeById);
    const auto remove = [&deleteRow](const CatalogNode& gone) {
        deleteRow.Reset();
        return deleteRow.Bind(1, gone.FileId()).Run() == kStatementOk;
    };
    if (!remove(node)) {
        return false;
    }
    for (const CatalogNode* n = node.FirstChild(); n != nullptr; n = NextInWalk(node, *n)) {
        if (!remove(*n)) {
            return false;
        }
    }
    return transaction.Commit() == kStatementOk;
}

bool RemoveNode(CatalogModel& model, CatalogNode& parent, CatalogNode* node) {
    if (node == nullptr) {
        return false;
    }
    if (node->Parent() != &parent) {
        return true;
    }
    if (!DeleteSubtreeRows(*node)) {
        return false;
    }
    model.UnlinkAndFree(parent, *node);
    return true;
}

} // namespace mwdx
