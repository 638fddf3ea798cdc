#pragma once

// The catalog tree as Qt's views see it: every index wraps a Catalog Node, the top level is the
// Root Node's children, and nothing is copied per node. A parent's children are listed the first
// time a view asks for them and then kept in step as the catalog reports its changes, so a
// million nodes cost nothing until they are looked at, and no command touches the view. Finding a
// row and the node at a row costs at most a logarithm of the siblings, however many go.

#include "catalog/model.h"
#include "catalog/search.h"

#include <QAbstractItemModel>
#include <QIcon>
#include <cstdint>
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

    // Shows only the nodes in `shown` (a search's result) until ClearFilter; views are reset. A
    // node added or moved meanwhile is shown too, with the catalogs above it. The lists are taken
    // out of `shown`; its keys stay.
    void SetFilter(ShownTree& shown);
    // How many nodes the filter shows with every catalog open (at most; some may have gone since).
    std::size_t ShownNodes() const { return m_filtering ? m_shownNodes : 0; }
    void ClearFilter();
    bool Filtering() const { return m_filtering; }

    // Under a filter: the children shown below `node` (nullptr: the top level), in order, without
    // listing anything; empty when none are. For laying out every shown row at once.
    const std::vector<CatalogNode*>* ShownChildren(const CatalogNode* node) const;
    QModelIndex MakeIndex(int row, CatalogNode* node) const { return createIndex(row, 0, node); }

    // Calls visit(node) for each node whose children a view has asked for (the Root Node too).
    template <class Visit> void ForEachListedParent(Visit&& visit) const {
        for (const auto& [node, children] : m_children) {
            visit(node);
        }
    }

    // The folded names and comments for finding nodes, kept in step with the catalog once built.
    CatalogSearch& Search() { return m_search; }

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

    // A parent's listed children in list order. A child that goes leaves a gap (nullptr) behind,
    // so no later sibling moves; counts of the children still there, kept in a Fenwick tree over
    // the places, turn a place into a row and back. Gaps are squeezed out once they are many.
    struct Children {
        std::vector<CatalogNode*> nodes;
        std::vector<std::uint64_t> ordinals; // of each place, gaps included: ascending
        std::vector<int> counts;             // Fenwick tree of the places taken (1-based)
        int rows = 0;
        // The last place asked for by row: views ask for rows one after another.
        mutable int lastRow = -1;
        mutable std::size_t lastPlace = 0;

        void Append(CatalogNode* node);
        void Insert(CatalogNode* node); // in its place by ordinal, wherever that is
        void Remove(std::size_t place);
        int RowOfPlace(std::size_t place) const;
        std::size_t PlaceOfRow(int row) const;
        std::size_t PlaceOf(const CatalogNode& node) const; // nodes.size() when not listed
        CatalogNode* NodeAt(int row) const { return nodes[PlaceOfRow(row)]; }
        void Squeeze();
    };

    const CatalogNode* RootNode() const { return m_catalog != nullptr ? m_catalog->RootNode() : nullptr; }
    const CatalogNode* ParentNodeOf(const QModelIndex& parent) const;
    // The listed children of `node`, listed now if they were not yet.
    Children& ChildrenOf(const CatalogNode* node) const;
    // The listed children of `node`, or nullptr when no view has asked for them.
    Children* ListedChildrenOf(const CatalogNode* node) const;
    // The row of a child whose parent's children are listed; -1 when it is not among them.
    int RowOf(const CatalogNode& node, const Children& siblings) const;
    void Forget(const CatalogNode* node);
    void ForgetListings(); // every parent's list, as at a reset
    // Under a filter: shows `node` and the catalogs above it.
    void Reveal(const CatalogNode* node);
    bool Shown(const CatalogNode* node) const;
    void ShowAdded(const CatalogNode& node);

    CatalogModel* m_catalog = nullptr;
    CatalogSearch m_search;
    bool m_filtering = false;
    bool m_moving = false;                        // between NodeAboutToMove and NodeMoved
    bool m_removing = false;                      // between NodeAboutToBeRemoved and NodeRemoved
    const CatalogNode* m_emptiedParent = nullptr; // loses its last child, which no view has seen
    mutable std::unordered_map<const CatalogNode*, Children> m_children;
    std::size_t m_shownNodes = 0;
    // The last listing looked up: a view asks for the rows of one parent one after another.
    mutable const CatalogNode* m_lastParent = nullptr;
    mutable Children* m_lastChildren = nullptr;
    QIcon m_catalogIcon;
    QIcon m_documentIcon;
};

} // namespace mwdx
