#include "app/catalog_tree_model.h"

#include "app/icons.h"
#include "platform/text.h"

#include <algorithm>
#include <utility>

namespace mwdx {

namespace {

std::size_t LowBit(std::size_t i) {
    return i & (~i + 1);
}

// Turns counts[1..n] of ones into the Fenwick tree of their sums.
void BuildCounts(std::vector<int>& counts) {
    const std::size_t n = counts.size() - 1;
    for (std::size_t i = 1; i <= n; ++i) {
        if (const std::size_t up = i + LowBit(i); up <= n) {
            counts[up] += counts[i];
        }
    }
}

} // namespace

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
    ForgetListings();
    m_filtering = false;
    m_search.Clear();
    endResetModel();
}

void CatalogTreeModel::ForgetListings() {
    m_children.clear();
    m_lastParent = nullptr;
    m_lastChildren = nullptr;
    m_emptiedParent = nullptr;
}

void CatalogTreeModel::SetFilter(ShownTree& shown) {
    beginResetModel();
    ForgetListings();
    m_filtering = true;
    m_children.reserve(shown.children.size());
    m_shownNodes = 0;
    for (auto& [parent, list] : shown.children) {
        m_shownNodes += list.nodes.size();
        Children& entry = m_children[parent];
        entry.nodes = std::move(list.nodes);
        entry.ordinals = std::move(list.ordinals);
        entry.rows = static_cast<int>(entry.nodes.size());
        entry.counts.assign(entry.nodes.size() + 1, 1);
        BuildCounts(entry.counts);
    }
    endResetModel();
}

const std::vector<CatalogNode*>* CatalogTreeModel::ShownChildren(const CatalogNode* node) const {
    const Children* listed = ListedChildrenOf(node != nullptr ? node : RootNode());
    // A list with gaps (a node went) is left to the view's own walk.
    return listed != nullptr && static_cast<std::size_t>(listed->rows) == listed->nodes.size() ? &listed->nodes
                                                                                               : nullptr;
}

void CatalogTreeModel::ClearFilter() {
    if (!m_filtering) {
        return;
    }
    beginResetModel();
    ForgetListings();
    m_filtering = false;
    endResetModel();
}

CatalogNode* CatalogTreeModel::NodeOf(const QModelIndex& index) const {
    return index.isValid() ? static_cast<CatalogNode*>(index.internalPointer()) : nullptr;
}

const CatalogNode* CatalogTreeModel::ParentNodeOf(const QModelIndex& parent) const {
    return parent.isValid() ? NodeOf(parent) : RootNode();
}

void CatalogTreeModel::Children::Append(CatalogNode* node) {
    // The new place's count covers the places (i - lowbit(i), i]: itself and what is before it.
    const std::size_t i = nodes.size() + 1;
    const std::size_t from = i - LowBit(i);
    nodes.push_back(node);
    ordinals.push_back(node->Ordinal());
    counts.push_back(1 + RowOfPlace(i - 1) - RowOfPlace(from));
    ++rows;
}

void CatalogTreeModel::Children::Insert(CatalogNode* node) {
    const auto it = std::lower_bound(ordinals.begin(), ordinals.end(), node->Ordinal());
    if (it == ordinals.end()) {
        Append(node);
        return;
    }
    const auto place = it - ordinals.begin();
    nodes.insert(nodes.begin() + place, node);
    ordinals.insert(it, node->Ordinal());
    counts.assign(nodes.size() + 1, 0);
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        counts[i + 1] = nodes[i] != nullptr ? 1 : 0;
    }
    BuildCounts(counts);
    ++rows;
    lastRow = -1;
}

void CatalogTreeModel::Children::Remove(std::size_t place) {
    nodes[place] = nullptr;
    for (std::size_t i = place + 1; i < counts.size(); i += LowBit(i)) {
        --counts[i];
    }
    --rows;
    lastRow = -1;
    const std::size_t gaps = nodes.size() - static_cast<std::size_t>(rows);
    if (gaps >= 64 && gaps > static_cast<std::size_t>(rows)) {
        Squeeze();
    }
}

int CatalogTreeModel::Children::RowOfPlace(std::size_t place) const {
    int before = 0;
    for (std::size_t i = place; i > 0; i -= LowBit(i)) {
        before += counts[i];
    }
    return before;
}

std::size_t CatalogTreeModel::Children::PlaceOfRow(int row) const {
    std::size_t place;
    if (static_cast<std::size_t>(rows) == nodes.size()) {
        place = static_cast<std::size_t>(row);
    } else if (lastRow >= 0 && row == lastRow) {
        place = lastPlace;
    } else if (lastRow >= 0 && row == lastRow + 1) {
        place = lastPlace + 1;
        while (nodes[place] == nullptr) {
            ++place;
        }
    } else {
        // The place after the largest prefix of places holding fewer than row + 1 children.
        place = 0;
        int remaining = row + 1;
        std::size_t step = 1;
        while (step * 2 < counts.size()) {
            step *= 2;
        }
        for (; step > 0; step /= 2) {
            if (place + step < counts.size() && counts[place + step] < remaining) {
                place += step;
                remaining -= counts[place];
            }
        }
    }
    lastRow = row;
    lastPlace = place;
    return place;
}

std::size_t CatalogTreeModel::Children::PlaceOf(const CatalogNode& node) const {
    const auto it = std::lower_bound(ordinals.begin(), ordinals.end(), node.Ordinal());
    const auto place = static_cast<std::size_t>(it - ordinals.begin());
    return place < nodes.size() && nodes[place] == &node ? place : nodes.size();
}

void CatalogTreeModel::Children::Squeeze() {
    std::size_t kept = 0;
    for (std::size_t place = 0; place < nodes.size(); ++place) {
        if (nodes[place] != nullptr) {
            nodes[kept] = nodes[place];
            ordinals[kept] = ordinals[place];
            ++kept;
        }
    }
    nodes.resize(kept);
    ordinals.resize(kept);
    counts.assign(kept + 1, 1);
    BuildCounts(counts);
    lastRow = -1;
}

CatalogTreeModel::Children* CatalogTreeModel::ListedChildrenOf(const CatalogNode* node) const {
    if (node == m_lastParent && m_lastChildren != nullptr) {
        return m_lastChildren;
    }
    const auto listed = m_children.find(node);
    if (listed == m_children.end()) {
        return nullptr;
    }
    m_lastParent = node;
    m_lastChildren = &listed->second;
    return m_lastChildren;
}

CatalogTreeModel::Children& CatalogTreeModel::ChildrenOf(const CatalogNode* node) const {
    if (Children* listed = ListedChildrenOf(node)) {
        return *listed;
    }
    Children& entry = m_children[node];
    if (m_filtering) {
        entry.counts.assign(1, 0);
        m_lastParent = node;
        m_lastChildren = &entry;
        return entry;
    }
    entry.nodes.reserve(node->ChildCount());
    entry.ordinals.reserve(node->ChildCount());
    for (CatalogNode* child = node->FirstChild(); child != nullptr; child = child->NextSibling()) {
        entry.nodes.push_back(child);
        entry.ordinals.push_back(child->Ordinal());
    }
    entry.rows = static_cast<int>(entry.nodes.size());
    entry.counts.assign(entry.nodes.size() + 1, 1);
    BuildCounts(entry.counts);
    m_lastParent = node;
    m_lastChildren = &entry;
    return entry;
}

int CatalogTreeModel::RowOf(const CatalogNode& node, const Children& siblings) const {
    const std::size_t place = siblings.PlaceOf(node);
    return place < siblings.nodes.size() ? siblings.RowOfPlace(place) : -1;
}

void CatalogTreeModel::Forget(const CatalogNode* node) {
    if (node == m_lastParent) {
        m_lastParent = nullptr;
        m_lastChildren = nullptr;
    }
    m_children.erase(node);
}

QModelIndex CatalogTreeModel::IndexOf(const CatalogNode* node) const {
    if (node == nullptr || node->Parent() == nullptr) {
        return {};
    }
    const int row = RowOf(*node, ChildrenOf(node->Parent()));
    return row < 0 ? QModelIndex() : createIndex(row, 0, const_cast<CatalogNode*>(node));
}

bool CatalogTreeModel::Shown(const CatalogNode* node) const {
    if (node == RootNode()) {
        return true;
    }
    const Children* siblings = ListedChildrenOf(node->Parent());
    return siblings != nullptr && siblings->PlaceOf(*node) < siblings->nodes.size();
}

void CatalogTreeModel::Reveal(const CatalogNode* node) {
    if (node == nullptr || Shown(node)) {
        return;
    }
    const CatalogNode* parentNode = node->Parent();
    Reveal(parentNode);
    Children& siblings = ChildrenOf(parentNode);
    const auto it = std::lower_bound(siblings.ordinals.begin(), siblings.ordinals.end(), node->Ordinal());
    const int row = siblings.RowOfPlace(static_cast<std::size_t>(it - siblings.ordinals.begin()));
    beginInsertRows(IndexOf(parentNode), row, row);
    siblings.Insert(const_cast<CatalogNode*>(node));
    endInsertRows();
}

void CatalogTreeModel::NodeAdded(const CatalogNode& node) {
    m_search.NodeAdded(node);
    ShowAdded(node);
}

void CatalogTreeModel::ShowAdded(const CatalogNode& node) {
    if (m_filtering) {
        // What the user adds while a search shows stays in view, wherever it goes.
        Reveal(&node);
        return;
    }
    const CatalogNode* parentNode = node.Parent();
    Children* listed = ListedChildrenOf(parentNode);
    if (listed == nullptr) {
        // Nobody has seen this parent's children yet: they are listed, new one included, on first
        // look. A parent that gains its first child shows an expander from now on.
        if (parentNode != RootNode() && parentNode->FirstChild() == &node) {
            const QModelIndex parent = IndexOf(parentNode);
            emit dataChanged(parent, parent);
        }
        return;
    }
    const int row = listed->rows;
    beginInsertRows(IndexOf(parentNode), row, row);
    listed->Append(const_cast<CatalogNode*>(&node));
    endInsertRows();
}

void CatalogTreeModel::NodeAboutToBeRemoved(const CatalogNode& node) {
    if (!m_moving) {
        m_search.NodeAboutToBeRemoved(node);
    }
    const CatalogNode* parentNode = node.Parent();
    Children* listed = ListedChildrenOf(parentNode);
    if (listed == nullptr && m_filtering) {
        return; // not shown
    }
    if (listed == nullptr) {
        // No view has seen the node; only its parent may lose its expander.
        m_emptiedParent = parentNode != RootNode() && parentNode->ChildCount() == 1 ? parentNode : nullptr;
        return;
    }
    const std::size_t place = listed->PlaceOf(node);
    if (place == listed->nodes.size()) {
        return;
    }
    const int row = listed->RowOfPlace(place);
    beginRemoveRows(IndexOf(parentNode), row, row);
    listed->Remove(place);
    // The lists of the subtree go with their nodes; a search's lists move with their node.
    if (!(m_moving && m_filtering)) {
        Forget(&node);
        ForEachDescendant(node, [this](const CatalogNode& below) { Forget(&below); });
    }
    m_removing = true;
}

void CatalogTreeModel::NodeRemoved(const CatalogNode&) {
    if (m_removing) {
        m_removing = false;
        endRemoveRows();
    }
    if (const CatalogNode* emptied = std::exchange(m_emptiedParent, nullptr)) {
        const QModelIndex parent = IndexOf(emptied);
        emit dataChanged(parent, parent);
    }
}

// A move shows as the item leaving its old place and arriving last under its new parent.
void CatalogTreeModel::NodeAboutToMove(const CatalogNode& node) {
    const CatalogNode* oldParent = node.Parent();
    m_moving = true;
    NodeAboutToBeRemoved(node);
    NodeRemoved(*oldParent);
}

void CatalogTreeModel::NodeMoved(const CatalogNode& node) {
    m_moving = false;
    ShowAdded(node);
}

void CatalogTreeModel::NodeChanged(const CatalogNode& node) {
    m_search.NodeChanged(node);
    // A node whose siblings no view has asked for is on no screen.
    const Children* siblings = node.Parent() != nullptr ? ListedChildrenOf(node.Parent()) : nullptr;
    const int row = siblings != nullptr ? RowOf(node, *siblings) : -1;
    if (row >= 0) {
        const QModelIndex index = createIndex(row, 0, const_cast<CatalogNode*>(&node));
        emit dataChanged(index, index);
    }
}

QModelIndex CatalogTreeModel::index(int row, int column, const QModelIndex& parent) const {
    const CatalogNode* parentNode = ParentNodeOf(parent);
    if (parentNode == nullptr || column != 0 || row < 0) {
        return {};
    }
    const Children& children = ChildrenOf(parentNode);
    if (row >= children.rows) {
        return {};
    }
    return createIndex(row, 0, children.NodeAt(row));
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
    return createIndex(RowOf(*parentNode, ChildrenOf(parentNode->Parent())), 0, parentNode);
}

int CatalogTreeModel::rowCount(const QModelIndex& parent) const {
    const CatalogNode* parentNode = ParentNodeOf(parent);
    if (parentNode == nullptr || parent.column() > 0) {
        return 0;
    }
    return ChildrenOf(parentNode).rows;
}

int CatalogTreeModel::columnCount(const QModelIndex&) const {
    return 1;
}

bool CatalogTreeModel::hasChildren(const QModelIndex& parent) const {
    const CatalogNode* parentNode = ParentNodeOf(parent);
    if (parentNode == nullptr || parent.column() > 0) {
        return false;
    }
    // Asked for every visible item: answered without listing the children, and for a childless
    // node without looking them up.
    if (parentNode->FirstChild() == nullptr) {
        return false;
    }
    const Children* listed = ListedChildrenOf(parentNode);
    return listed == nullptr ? !m_filtering : listed->rows > 0;
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
    const CatalogNode* node = NodeOf(index);
    if (node == nullptr) {
        return Qt::NoItemFlags;
    }
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
    // No command puts anything under a document (only a damaged store has some there), and the
    // view then neither asks nor keeps an expanded state for it.
    if (!node->IsCatalog() && node->FirstChild() == nullptr) {
        flags |= Qt::ItemNeverHasChildren;
    }
    return flags;
}

} // namespace mwdx
