#include "catalog/node.h"

#include <vector>

namespace mwdx {

bool FillNodeDetails(NodeDetails& details, NodeId fileId, std::string_view fileName, NodeId parentId,
                     std::string_view comment, std::string_view rawFileName) {
    if (fileName.empty()) {
        return false;
    }
    details.fileId = fileId;
    details.parentId = parentId;
    details.fileName.assign(fileName);
    details.comment.assign(comment);
    details.rawFileName.assign(rawFileName);
    return true;
}

CatalogNode::CatalogNode(NodeDetails details, std::int32_t pathLevel, NodeId fileId, std::int32_t fileType,
                         std::string path)
    : m_details(std::move(details)), m_fileId(fileId), m_pathLevel(pathLevel), m_fileType(fileType),
      m_path(std::move(path)) {}

CatalogNode::~CatalogNode() {
    // Owned links form chains as long as the tree is deep or wide; dismantle them with an explicit
    // stack so that no destructor ever recurses.
    std::vector<std::unique_ptr<CatalogNode>> pending;
    if (m_firstChild) {
        pending.push_back(std::move(m_firstChild));
    }
    if (m_nextSibling) {
        pending.push_back(std::move(m_nextSibling));
    }
    while (!pending.empty()) {
        std::unique_ptr<CatalogNode> node = std::move(pending.back());
        pending.pop_back();
        if (node->m_firstChild) {
            pending.push_back(std::move(node->m_firstChild));
        }
        if (node->m_nextSibling) {
            pending.push_back(std::move(node->m_nextSibling));
        }
    }
}

const CatalogNode* NextInWalk(const CatalogNode& start, const CatalogNode& node) {
    if (node.FirstChild() != nullptr) {
        return node.FirstChild();
    }
    for (const CatalogNode* n = &node; n != &start && n != nullptr; n = n->Parent()) {
        if (n->NextSibling() != nullptr) {
            return n->NextSibling();
        }
    }
    return nullptr;
}

} // namespace mwdx
