#include "app/catalog_tree_model.h"

#include "app/icons.h"
#include "platform/free_later.h"
#include "platform/text.h"

#include <limits>
#include <memory>

namespace mwdx {

CatalogTreeModel::CatalogTreeModel(QObject* parent)
    : QAbstractListModel(parent), m_catalogIcon(CatalogIcon()), m_documentIcon(DocumentIcon()) {
    m_rows.SetListener(this);
}

CatalogTreeModel::~CatalogTreeModel() {
    if (m_catalog != nullptr) {
        m_catalog->SetObserver(nullptr);
    }
}

void CatalogTreeModel::SetCatalog(CatalogModel* catalog, const std::vector<const CatalogNode*>& expanded) {
    beginResetModel();
    if (m_catalog != nullptr) {
        m_catalog->SetObserver(nullptr);
    }
    m_catalog = catalog;
    if (m_catalog != nullptr) {
        m_catalog->SetObserver(this);
    }
    m_filtering = false;
    m_search.ClearInBackground();
    m_rows.Reset(RootNode(), expanded);
    endResetModel();
}

void CatalogTreeModel::SetFilter(ShownTree& shown) {
    beginResetModel();
    m_filtering = true;
    m_shownNodes = 0;
    for (const auto& [parent, list] : shown.children) {
        m_shownNodes += list.nodes.size();
    }
    m_rows.ResetShown(RootNode(), shown);
    endResetModel();
}

void CatalogTreeModel::SetFilter(VisibleRows::ShownBuild&& rows, std::size_t shownNodes) {
    beginResetModel();
    m_filtering = true;
    m_shownNodes = shownNodes;
    auto old = std::make_unique<VisibleRows::Retired>(m_rows.TakeShown(std::move(rows)));
    endResetModel();
    // The rows the view showed before go on another thread, so the window is not held up by them.
    FreeInBackground(std::move(old));
}

void CatalogTreeModel::ClearFilter(const std::vector<const CatalogNode*>& expanded) {
    beginResetModel();
    m_filtering = false;
    m_rows.Reset(RootNode(), expanded);
    endResetModel();
}

CatalogNode* CatalogTreeModel::NodeOf(const QModelIndex& index) const {
    return index.isValid() && index.model() == this ? static_cast<CatalogNode*>(index.internalPointer()) : nullptr;
}

QModelIndex CatalogTreeModel::IndexOf(const CatalogNode* node) const {
    if (node == nullptr) {
        return {};
    }
    const auto row = m_rows.RowOf(*node);
    return row ? createIndex(static_cast<int>(*row), 0, const_cast<CatalogNode*>(node)) : QModelIndex();
}

bool CatalogTreeModel::IsExpanded(const CatalogNode* node) const {
    return node != nullptr && m_rows.Expanded(*node);
}

bool CatalogTreeModel::HasChildren(const CatalogNode* node) const {
    return node != nullptr && m_rows.HasChildren(*node);
}

void CatalogTreeModel::SetExpanded(CatalogNode* node, bool expanded) {
    if (node == nullptr || m_rows.Expanded(*node) == expanded) {
        return;
    }
    m_rows.SetExpanded(*node, expanded);
    if (const QModelIndex item = IndexOf(node); item.isValid()) {
        emit dataChanged(item, item, {kExpandedRole});
    }
}

void CatalogTreeModel::ExpandSubtree(CatalogNode* node) {
    if (node != nullptr) {
        m_rows.ExpandSubtree(*node);
    }
}

QModelIndex CatalogTreeModel::ExpandTo(const CatalogNode* node) {
    if (node == nullptr) {
        return {};
    }
    std::vector<CatalogNode*> above;
    for (CatalogNode* parent = node->Parent(); parent != nullptr && parent != RootNode(); parent = parent->Parent()) {
        above.push_back(parent);
    }
    for (auto it = above.rbegin(); it != above.rend(); ++it) {
        SetExpanded(*it, true);
    }
    return IndexOf(node);
}

QModelIndex CatalogTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (parent.isValid() || column != 0 || row < 0 || static_cast<std::size_t>(row) >= m_rows.Count()) {
        return {};
    }
    return createIndex(row, 0, m_rows.NodeAt(static_cast<std::size_t>(row)));
}

int CatalogTreeModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) {
        return 0;
    }
    // A view counts its rows in an int.
    return static_cast<int>(std::min<std::size_t>(m_rows.Count(), std::numeric_limits<int>::max()));
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
    case kLevelRole:
        return VisibleRows::Level(*node);
    case kExpandedRole:
        return m_rows.Expanded(*node);
    case kHasChildrenRole:
        return m_rows.HasChildren(*node);
    default:
        return {};
    }
}

Qt::ItemFlags CatalogTreeModel::flags(const QModelIndex& index) const {
    if (NodeOf(index) == nullptr) {
        return Qt::NoItemFlags;
    }
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemNeverHasChildren;
}

void CatalogTreeModel::NodeAdded(const CatalogNode& node) {
    m_search.NodeAdded(node);
    m_rows.NodeAdded(const_cast<CatalogNode&>(node));
    // A catalog that gains its first child can be opened from now on.
    const CatalogNode* parent = node.Parent();
    if (parent != nullptr && parent->ChildCount() == 1) {
        if (const QModelIndex item = IndexOf(parent); item.isValid()) {
            emit dataChanged(item, item, {kHasChildrenRole});
        }
    }
}

void CatalogTreeModel::NodeAboutToBeRemoved(const CatalogNode& node) {
    if (!m_moving) {
        m_search.NodeAboutToBeRemoved(node);
        m_rows.NodeAboutToBeRemoved(node);
    }
}

void CatalogTreeModel::NodeRemoved(const CatalogNode& parent) {
    if (parent.FirstChild() == nullptr) {
        if (const QModelIndex item = IndexOf(&parent); item.isValid()) {
            emit dataChanged(item, item, {kHasChildrenRole});
        }
    }
}

void CatalogTreeModel::NodeAboutToMove(const CatalogNode& node) {
    m_moving = true;
    m_rows.NodeAboutToMove(node);
}

void CatalogTreeModel::NodeMoved(const CatalogNode& node) {
    m_moving = false;
    m_rows.NodeMoved(const_cast<CatalogNode&>(node));
}

void CatalogTreeModel::NodeChanged(const CatalogNode& node) {
    m_search.NodeChanged(node);
    m_rows.NodeChanged(node);
}

void CatalogTreeModel::RowsAboutToBeInserted(std::size_t first, std::size_t count) {
    beginInsertRows({}, static_cast<int>(first), static_cast<int>(first + count - 1));
}

void CatalogTreeModel::RowsInserted() {
    endInsertRows();
}

void CatalogTreeModel::RowsAboutToBeRemoved(std::size_t first, std::size_t count) {
    beginRemoveRows({}, static_cast<int>(first), static_cast<int>(first + count - 1));
}

void CatalogTreeModel::RowsRemoved() {
    endRemoveRows();
}

void CatalogTreeModel::RowChanged(std::size_t row) {
    const QModelIndex item = index(static_cast<int>(row));
    emit dataChanged(item, item);
}

} // namespace mwdx
