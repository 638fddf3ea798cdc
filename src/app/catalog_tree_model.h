#pragma once

// The catalog tree as the window's view sees it: one list of the rows shown, top to bottom, each
// row's index wrapping its Catalog Node. Which rows those are (the catalogs opened, a search's
// matches) the core's VisibleRows decides; this model tells the view of every row that comes or
// goes, and follows the catalog's changes by itself, so no command touches the view.

#include "catalog/model.h"
#include "catalog/search.h"
#include "catalog/visible_rows.h"

#include <QAbstractListModel>
#include <QIcon>
#include <cstdint>
#include <unordered_set>
#include <vector>

namespace mwdx {

class CatalogTreeModel final : public QAbstractListModel, private CatalogObserver, private RowListener {
    Q_OBJECT

public:
    // How far in a row is drawn (0: the top level), for the view's delegate.
    static constexpr int kLevelRole = Qt::UserRole + 1;
    // Whether the row is an open catalog (a bool).
    static constexpr int kExpandedRole = Qt::UserRole + 2;
    // Whether the row has rows of its own to show when opened (a bool).
    static constexpr int kHasChildrenRole = Qt::UserRole + 3;
    // Whether a search found the row's document by what is written in it (a bool).
    static constexpr int kContentMatchRole = Qt::UserRole + 4;

    explicit CatalogTreeModel(QObject* parent = nullptr);
    ~CatalogTreeModel() override;

    // Shows `catalog` from now on and follows its changes (nullptr: nothing), the catalogs in
    // `expanded` open. Views are reset.
    void SetCatalog(CatalogModel* catalog, const std::vector<const CatalogNode*>& expanded = {});

    // The node an index shows; nullptr for an invalid index.
    CatalogNode* NodeOf(const QModelIndex& index) const;
    // The index of a node; invalid when it is not shown (a catalog above is closed, a search
    // leaves it out), and for the Root Node or nullptr.
    QModelIndex IndexOf(const CatalogNode* node) const;

    bool IsExpanded(const CatalogNode* node) const;
    bool HasChildren(const CatalogNode* node) const;
    // Opens or closes a catalog; its rows come or go in the views.
    void SetExpanded(CatalogNode* node, bool expanded);
    // Opens a catalog with every catalog below it.
    void ExpandSubtree(CatalogNode* node);
    // Opens the catalogs above `node` so that it is shown, and returns its index (invalid when a
    // search leaves it out).
    QModelIndex ExpandTo(const CatalogNode* node);
    // Every open catalog, parents first.
    std::vector<const CatalogNode*> ExpandedNodes() const { return m_rows.ExpandedNodes(); }

    // Shows only the nodes in `shown` (a search's result), every catalog in it open, until
    // ClearFilter; views are reset. A node added or moved meanwhile is shown too, with the catalogs
    // above it. The lists are taken out of `shown`.
    void SetFilter(ShownTree& shown);
    // The same with the rows already made, a slice at a time (`shownNodes`: how many).
    void SetFilter(VisibleRows::ShownBuild&& rows, std::size_t shownNodes);
    // How many rows the filter shows (at most; some may have gone since).
    std::size_t ShownNodes() const { return m_filtering ? m_shownNodes : 0; }
    // Shows the whole catalog again, the catalogs in `expanded` open; no row is marked as found
    // by its content any more.
    void ClearFilter(const std::vector<const CatalogNode*>& expanded);
    bool Filtering() const { return m_filtering; }

    // Marks the documents (FILE_IDs) a search found by their content; their rows change.
    void SetContentMatches(std::unordered_set<NodeId> ids);
    bool IsContentMatch(const CatalogNode* node) const;

    // Told of the catalog's changes too, after the rows (nullptr: nobody). A move is told as a
    // move only, never as a removal.
    void SetFollower(CatalogObserver* follower) { m_follower = follower; }

    // The folded names and comments for finding nodes, kept in step with the catalog once built.
    CatalogSearch& Search() { return m_search; }

    // The rows shown, as a tree (for a screen reader), and the catalog they show.
    const VisibleRows& Rows() const { return m_rows; }
    CatalogModel* Catalog() const { return m_catalog; }

    QModelIndex index(int row, int column = 0, const QModelIndex& parent = {}) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    // The catalog's changes.
    void NodeAdded(const CatalogNode& node) override;
    void NodeAboutToBeRemoved(const CatalogNode& node) override;
    void NodeRemoved(const CatalogNode& parent) override;
    void NodeChanged(const CatalogNode& node) override;
    void NodeAboutToMove(const CatalogNode& node) override;
    void NodeMoved(const CatalogNode& node) override;

    // The rows' changes, told to the views.
    void RowsAboutToBeInserted(std::size_t first, std::size_t count) override;
    void RowsInserted() override;
    void RowsAboutToBeRemoved(std::size_t first, std::size_t count) override;
    void RowsRemoved() override;
    void RowChanged(std::size_t row) override;

    CatalogNode* RootNode() const { return m_catalog != nullptr ? m_catalog->RootNode() : nullptr; }

    CatalogModel* m_catalog = nullptr;
    VisibleRows m_rows;
    CatalogSearch m_search;
    bool m_filtering = false;
    bool m_moving = false; // between NodeAboutToMove and NodeMoved
    std::size_t m_shownNodes = 0;
    std::unordered_set<NodeId> m_contentMatches;
    CatalogObserver* m_follower = nullptr;
    QIcon m_catalogIcon;
    QIcon m_documentIcon;
};

} // namespace mwdx
