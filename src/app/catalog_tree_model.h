#pragma once

// The catalog tree as Qt's views see it: every index wraps a Catalog Node, the top level is the
// Root Node's children, and nothing is copied per node. A parent's children are listed the first
// time a view asks for them and then kept in step as the catalog reports its changes, so a
// million nodes cost nothing until they are looked at, and no command touches the view.

#include "catalog/model.h"

#include <QAbstractItemModel>
#include <QIcon>
#include <unordered_map>
#include <vector>

namespace mwdx {

class CatalogTreeModel final : public QAbstractItemModel, private CatalogObserver {
    Q_OBJECT

public:
    explicit CatalogTreeModel(QObject* parent = nullptr);
    ~CatalogTreeModel() override;

    // Shows `catalog` from now on and follows its changes (nullptr: nothing). Views are reset.
    void SetCatalog(CatalogModel* catalog);

    // The node an index shows; nullptr for an invalid index (the top level).
    CatalogNode* NodeOf(const QModelIndex& index) const;

    // The index of a node of the shown catalog; invalid for the Root Node or nullptr.
    QModelIndex IndexOf(const CatalogNode* node) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    void NodeAdded(const CatalogNode& node) override;
    void NodeAboutToBeRemoved(const CatalogNode& node) override;
    void NodeRemoved(const CatalogNode& parent) override;
    void NodeChanged(const CatalogNode& node) override;
    void NodeAboutToMove(const CatalogNode& node) override;
    void NodeMoved(const CatalogNode& node) override;

    struct Children {
        std::vector<CatalogNode*> nodes;
        int rowInParent = 0; // the parent's own row, for QModelIndex::parent()
    };

    const CatalogNode* RootNode() const { return m_catalog != nullptr ? m_catalog->RootNode() : nullptr; }
    const CatalogNode* ParentNodeOf(const QModelIndex& parent) const;
    // The listed children of `node`, listed now if they were not yet.
    Children& ChildrenOf(const CatalogNode* node) const;

    CatalogModel* m_catalog = nullptr;
    bool m_removing = false; // between NodeAboutToBeRemoved and NodeRemoved
    mutable std::unordered_map<const CatalogNode*, Children> m_children;
    QIcon m_catalogIcon;
    QIcon m_documentIcon;
};

} // namespace mwdx
