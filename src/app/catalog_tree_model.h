#pragma once

// The catalog tree as Qt's views see it: every index wraps a Catalog Node, the top level is the
// Root Node's children, and nothing is copied per node. A parent's children are listed the first
// time a view asks for them and then kept in step by AppendChild, so a million nodes cost
// nothing until they are looked at.

#include "catalog/model.h"

#include <QAbstractItemModel>
#include <QIcon>
#include <unordered_map>
#include <vector>

namespace mwdx {

class CatalogTreeModel final : public QAbstractItemModel {
    Q_OBJECT

public:
    explicit CatalogTreeModel(QObject* parent = nullptr);

    // Shows `catalog` from now on (nullptr: nothing). Views are reset.
    void SetCatalog(const CatalogModel* catalog);

    // The node an index shows; nullptr for an invalid index (the top level).
    CatalogNode* NodeOf(const QModelIndex& index) const;

    // The index of a node of the shown catalog; invalid for the Root Node or nullptr.
    QModelIndex IndexOf(const CatalogNode* node) const;

    // Shows the new last child of `parent`'s node (the Root Node for an invalid index), which the
    // catalog has just appended. Returns its index.
    QModelIndex AppendChild(const QModelIndex& parent);

    // Takes the item at `index` and every item below it out of the views, before the catalog
    // frees their nodes. The nodes themselves are not touched.
    void RemoveItem(const QModelIndex& index);

    // The node behind `index` has new details: views repaint it.
    void NodeChanged(const QModelIndex& index);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    struct Children {
        std::vector<CatalogNode*> nodes;
        int rowInParent = 0; // the parent's own row, for QModelIndex::parent()
    };

    const CatalogNode* RootNode() const { return m_catalog != nullptr ? m_catalog->RootNode() : nullptr; }
    const CatalogNode* ParentNodeOf(const QModelIndex& parent) const;
    // The listed children of `node`, listed now if they were not yet.
    Children& ChildrenOf(const CatalogNode* node) const;

    const CatalogModel* m_catalog = nullptr;
    mutable std::unordered_map<const CatalogNode*, Children> m_children;
    QIcon m_catalogIcon;
    QIcon m_documentIcon;
};

} // namespace mwdx
