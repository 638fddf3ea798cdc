#include "catalog/paths.h"

namespace mwdx {

std::string JoinNodePath(std::string_view parentPath, std::string_view name) {
    std::string path;
    path.reserve(parentPath.size() + 1 + name.size());
    path.append(parentPath);
    path += '/';
    path.append(name);
    return path;
}

std::string NodePath(const CatalogNode& node) {
    return node.Path();
}

int RebuildPaths(CatalogNode& node, std::string_view newName) {
    if (node.m_parent == nullptr) {
        return 0;
    }
    node.m_path = JoinNodePath(node.m_parent->m_path, newName);
    // The walk visits every parent before its children, so each child joins onto a fresh path.
    for (const CatalogNode* n = node.FirstChild(); n != nullptr; n = NextInWalk(node, *n)) {
        auto* child = const_cast<CatalogNode*>(n);
        child->m_path = JoinNodePath(child->m_parent->m_path, child->NameOnDisk());
    }
    return 1;
}

void RehomePaths(CatalogNode& root, std::string homeDirectory) {
    root.m_path = std::move(homeDirectory);
    for (const CatalogNode* n = root.FirstChild(); n != nullptr; n = NextInWalk(root, *n)) {
        auto* node = const_cast<CatalogNode*>(n);
        node->m_path = JoinNodePath(node->m_parent->m_path, node->NameOnDisk());
    }
}

} // namespace mwdx
