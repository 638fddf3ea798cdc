#include "app/catalog_tree_model.h"

#include "app/icons.h"
#include "platform/text.h"

#include <algorithm>

namespace mwdx {

CatalogTreeModel::CatalogTreeModel(QObject* parent)
    : QAbstractItemModel(parent), m_catalogIcon(CatalogIcon()), m_documentIcon(DocumentIcon()) {}

CatalogTreeModel::~CatalogTreeModel() {
    if (m_catalog != nullptr) {
        m_catalog->SetObserver(nullptr);
    }
}

void CatalogTreeModel::SetCatalog(CatalogModel* catalog) {
    beginResetModel();
    if (m_catalog != nullptr) {
        m_catalog->SetObserver(nullptr);
    }
    m_catalog = catalog;
    if (m_catalog != nullptr) {
        m_catalog->SetObserver(this);
    }
    m_children.clear();
    endResetModel();
}

CatalogNode* CatalogTreeModel::NodeOf(const QModelIndex& index) const {
    return index.isValid() ? static_cast<CatalogNode*>(index.internalPointer()) : nullptr;
}

const CatalogNode* CatalogTreeModel::ParentNodeOf(const QModelIndex& parent) const {
    return parent.isValid() ? NodeOf(parent) : RootNode();
}

CatalogTreeModel::Children& CatalogTreeModel::ChildrenOf(const CatalogNode* node) const {
    if (const auto listed = m_children.find(node); listed != m_children.end()) {
        return listed->second;
    }
    // Ancestors are listed first, outermost first, so each node finds its row in its parent's
    // list; a loop, not recursion, however deep the catalog goes.
    std::vector<const CatalogNode*> unlisted;
    for (const CatalogNode* n = node; n != nullptr && !m_children.contains(n); n = n->Parent()) {
        unlisted.push_back(n);
    }
    for (auto it = unlisted.rbegin(); it != unlisted.rend(); ++it) {
        Children& entry = m_children[*it];
        for (CatalogNode* child = (*it)->FirstChild(); child != nullptr; child = child->NextSibling()) {
            entry.nodes.push_back(child);
        }
        if (const CatalogNode* parent = (*it)->Parent()) {
            const auto& siblings = m_children.at(parent).nodes;
            entry.rowInParent = static_cast<int>(std::find(siblings.begin(), siblings.end(), *it) - siblings.begin());
        }
    }
    return m_children.at(node);
}

QModelIndex CatalogTreeModel::IndexOf(const CatalogNode* node) const {
    if (node == nullptr || node->Parent() == nullptr) {
        return {};
    }
    const auto& siblings = ChildrenOf(node->Parent()).nodes;
    const auto it = std::find(siblings.begin(), siblings.end(), node);
    if (it == siblings.end()) {
        return {};
    }
    return createIndex(static_cast<int>(it - siblings.begin()), 0, const_cast<CatalogNode*>(node));
}

void CatalogTreeModel::NodeAdded(const CatalogNode& node) {
    const CatalogNode* parentNode = node.Parent();
    const auto listed = m_children.find(parentNode);
    if (listed == m_children.end()) {
        // Nobody has seen this parent's children yet: they are listed, new one included, on first
        // look. A parent that gains its first child shows an expander from now on.
        if (parentNode != RootNode() && parentNode->FirstChild() == &node) {
            const QModelIndex parent = IndexOf(parentNode);
            emit dataChanged(parent, parent);
        }
        return;
    }
    auto& children = listed->second.nodes;
    const int row = static_cast<int>(children.size());
    beginInsertRows(IndexOf(parentNode), row, row);
    children.push_back(const_cast<CatalogNode*>(&node));
    endInsertRows();
}

void CatalogTreeModel::NodeAboutToBeRemoved(const CatalogNode& node) {
    const QModelIndex index = IndexOf(&node);
    if (!index.isValid()) {
        return;
    }
    const int row = index.row();
    beginRemoveRows(index.parent(), row, row);
    auto& siblings = ChildrenOf(node.Parent()).nodes;
    siblings.erase(siblings.begin() + row);
    // Siblings listed after it move up one row; the lists of the subtree go with their nodes.
    for (std::size_t later = static_cast<std::size_t>(row); later < siblings.size(); ++later) {
        if (const auto listed = m_children.find(siblings[later]); listed != m_children.end()) {
            --listed->second.rowInParent;
        }
    }
    m_children.erase(&node);
    ForEachDescendant(node, [this](const CatalogNode& below) { m_children.erase(&below); });
    m_removing = true;
}

void CatalogTreeModel::NodeRemoved(const CatalogNode&) {
    if (m_removing) {
        m_removing = false;
        endRemoveRows();
    }
}

// A move shows as the item leaving its old place and arriving last under its new parent.
void CatalogTreeModel::NodeAboutToMove(const CatalogNode& node) {
    NodeAboutToBeRemoved(node);
    if (m_removing) {
        m_removing = false;
        endRemoveRows();
    }
}

void CatalogTreeModel::NodeMoved(const CatalogNode& node) {
    const CatalogNode* parentNode = node.Parent();
    const auto listed = m_children.find(parentNode);
    if (listed == m_children.end()) {
        NodeAdded(node); // nothing listed there yet: only the expander may change
        return;
    }
    int row = 0;
    for (const CatalogNode* child = parentNode->FirstChild(); child != &node; child = child->NextSibling()) {
        ++row;
    }
    beginInsertRows(IndexOf(parentNode), row, row);
    auto& children = listed->second.nodes;
    children.insert(children.begin() + row, const_cast<CatalogNode*>(&node));
    for (std::size_t later = static_cast<std::size_t>(row) + 1; later < children.size(); ++later) {
        if (const auto below = m_children.find(children[later]); below != m_children.end()) {
            ++below->second.rowInParent;
        }
    }
    endInsertRows();
}

void CatalogTreeModel::NodeChanged(const CatalogNode& node) {
    const QModelIndex index = IndexOf(&node);
    if (index.isValid()) {
        emit dataChanged(index, index);
    }
}

QModelIndex CatalogTreeModel::index(int row, int column, const QModelIndex& parent) const {
    const CatalogNode* parentNode = ParentNodeOf(parent);
    if (parentNode == nullptr || column != 0 || row < 0) {
        return {};
    }
    const auto& nodes = ChildrenOf(parentNode).nodes;
    if (row >= static_cast<int>(nodes.size())) {
        return {};
    }
    return createIndex(row, 0, nodes[static_cast<std::size_t>(row)]);
}

QModelIndex CatalogTreeModel::parent(const QModelIndex& child) const {
    const CatalogNode* node = NodeOf(child);
    if (node == nullptr) {
        return {};
    }
    CatalogNode* parentNode = node->Parent();
    if (parentNode == nullptr || parentNode == RootNode()) {
        return {};
    }
    return createIndex(ChildrenOf(parentNode).rowInParent, 0, parentNode);
}

int CatalogTreeModel::rowCount(const QModelIndex& parent) const {
    const CatalogNode* parentNode = ParentNodeOf(parent);
    if (parentNode == nullptr || parent.column() > 0) {
        return 0;
    }
    return static_cast<int>(ChildrenOf(parentNode).nodes.size());
}

int CatalogTreeModel::columnCount(const QModelIndex&) const {
    return 1;
}

bool CatalogTreeModel::hasChildren(const QModelIndex& parent) const {
    const CatalogNode* parentNode = ParentNodeOf(parent);
    if (parentNode == nullptr || parent.column() > 0) {
        return false;
    }
    // Asked for every visible item: answered without listing the children.
    const auto listed = m_children.find(parentNode);
    return listed != m_children.end() ? !listed->second.nodes.empty() : parentNode->FirstChild() != nullptr;
}

QVariant CatalogTreeModel::data(const QModelIndex& index, int role) const {
    const CatalogNode* node = NodeOf(index);
    if (node == nullptr) {
        return {};
    }
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return QString::fromStdU16String(FromStoreText(node->Details().fileName));
    case Qt::DecorationRole:
        // The image follows FILETYPE; a type the program does not know shows none.
        if (node->FileType() == kCatalogType) {
            return m_catalogIcon;
        }
        if (node->FileType() == kDocumentType) {
            return m_documentIcon;
        }
        return {};
    default:
        return {};
    }
}

Qt::ItemFlags CatalogTreeModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

} // namespace mwdx
