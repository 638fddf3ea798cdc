#pragma once

// The rows a tree view of the catalog shows, top to bottom: every node whose catalogs above it are
// all expanded, each before its children. A view draws row n by asking for NodeAt(n), and learns of
// every row that comes or goes through a RowListener, told before the change and after it.
//
// A catalog of a million expanded children must cost what a small one costs: each expanded
// parent keeps its children in order with a Fenwick tree of how many rows each one shows (itself
// and, when expanded, its own rows), so a row is found from its number, and a number from its
// node, in a logarithm of the siblings per level; adding at the end costs the same.
//
// Two modes: the whole catalog (a parent's children are its nodes' children), or a search's
// shown tree (a parent's children are the shown ones; every shown catalog starts expanded). What
// is added or moved during a search is shown too, with the catalogs above it.

#include "catalog/node.h"
#include "catalog/search.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

namespace mwdx {

// Told of every change to the rows, in pairs: AboutTo... before the change (rows are numbered as
// before it), then ...Done once it is in place.
class RowListener {
public:
    virtual void RowsAboutToBeInserted(std::size_t first, std::size_t count) = 0;
    virtual void RowsInserted() = 0;
    virtual void RowsAboutToBeRemoved(std::size_t first, std::size_t count) = 0;
    virtual void RowsRemoved() = 0;
    virtual void RowChanged(std::size_t row) = 0;

protected:
    ~RowListener() = default;
};

class VisibleRows final {
public:
    VisibleRows() = default;
    VisibleRows(const VisibleRows&) = delete;
    VisibleRows& operator=(const VisibleRows&) = delete;

    // Who hears of row changes (nullptr: nobody). Reset and ResetShown tell nobody: the caller
    // resets its views around them.
    void SetListener(RowListener* listener) { m_listener = listener; }

    // The whole catalog below `root` (nullptr: nothing), with the catalogs in `expanded` open
    // (those that are not catalogs with children, or not below `root`, are passed over).
    void Reset(CatalogNode* root, const std::vector<const CatalogNode*>& expanded = {});
    // A search's shown tree (its lists are taken), every catalog with shown children expanded.
    void ResetShown(CatalogNode* root, ShownTree& shown);

    // The same made a slice at a time, away from the rows a view is showing meanwhile, and then
    // taken in at once (TakeShown).
    class ShownBuild;
    // The lists a TakeShown replaced. Freeing them at a million nodes takes tens of milliseconds,
    // so the caller chooses where that happens (another thread may do it).
    class Retired;
    // Takes in a finished build as ResetShown would have made it.
    [[nodiscard]] Retired TakeShown(ShownBuild&& build);
    bool Filtering() const { return m_filtering; }

    std::size_t Count() const;
    // The node at `row` (< Count()).
    CatalogNode* NodeAt(std::size_t row) const;
    // The row of `node`; nothing when it is not shown (a catalog above it is closed, or a search
    // does not show it).
    std::optional<std::size_t> RowOf(const CatalogNode& node) const;
    // How far below the top level a shown node is drawn: 0 for a top-level node.
    static int Level(const CatalogNode& node);

    // Whether `node` has children to show: in a search, shown ones.
    bool HasChildren(const CatalogNode& node) const;
    bool Expanded(const CatalogNode& node) const;
    // Opens or closes `node` (nothing for a node without children to show). The rows below a
    // closed catalog keep their own state for when it opens again.
    void SetExpanded(CatalogNode& node, bool expanded);
    // Opens `node` and every catalog below it.
    void ExpandSubtree(CatalogNode& node);
    // Every open catalog, parents before their children.
    std::vector<const CatalogNode*> ExpandedNodes() const;

    // The rows as a tree, for those who walk it (a screen reader): the children `node` shows (the
    // Root Node's: the top level; a closed catalog's: none), the child at `place` among them, and a
    // shown node's place among its parent's.
    std::size_t ShownChildCount(const CatalogNode& node) const;
    CatalogNode* ShownChild(const CatalogNode& node, std::size_t place) const;
    std::optional<std::size_t> PlaceAmongShown(const CatalogNode& node) const;
    CatalogNode* Root() const { return m_root; }

    // Keeping in step with the catalog (the CatalogObserver's calls).
    void NodeAdded(CatalogNode& node);
    void NodeAboutToBeRemoved(const CatalogNode& node);
    void NodeChanged(const CatalogNode& node);
    void NodeAboutToMove(const CatalogNode& node);
    void NodeMoved(CatalogNode& node);

private:
    friend class ShownBuild;
    // One parent's children in order, with the rows each shows. A child that goes leaves a gap
    // (nullptr, no rows) behind, so no later sibling's place moves; gaps are squeezed out once
    // they are many.
    struct Children {
        std::vector<CatalogNode*> nodes;
        std::vector<std::uint64_t> ordinals; // of each place: ascending
        std::vector<std::int64_t> tree;      // Fenwick tree of the rows of each place, 1-based
        std::int64_t total = 0;              // rows of all places
        std::size_t gaps = 0;
        bool expanded = false;

        void Assign(std::vector<CatalogNode*> list, std::vector<std::uint64_t> order,
                    const std::vector<std::int64_t>& rows);
        void Append(CatalogNode* node, std::int64_t rows);
        void Insert(CatalogNode* node, std::int64_t rows); // in its place by ordinal
        void Add(std::size_t place, std::int64_t delta);
        void Remove(std::size_t place);
        std::int64_t Before(std::size_t place) const; // rows of the places before it
        std::int64_t RowsAt(std::size_t place) const;
        std::size_t PlaceOf(const CatalogNode& node) const; // nodes.size() when not there
        // The place holding row `row` of this list (< total), and the rows before that place.
        std::size_t PlaceOfRow(std::int64_t row, std::int64_t* before) const;
        std::vector<std::int64_t> Sizes() const;
        void Squeeze();
    };

    Children* ListOf(const CatalogNode* node) const;
    Children& MakeList(CatalogNode& node); // built from the node's own children
    // The rows `node` shows with its open catalogs below, seen from its parent.
    std::int64_t RowsOf(const CatalogNode& node) const;
    // `node` shows `delta` more rows (fewer, when negative): its parent's list and the lists above
    // follow, as far as the catalogs are open.
    void Grow(const CatalogNode* node, std::int64_t delta);
    // The row `node` has or would have: -1 for the root; nothing when a catalog above is closed.
    std::optional<std::int64_t> RowOrRoot(const CatalogNode& node) const;
    void Forget(const CatalogNode& node); // the lists of the node and everything below it
    // Opens every catalog with children below `node`, and `node` itself, without telling anyone:
    // the caller announces the rows.
    void OpenAllBelow(CatalogNode& node);
    void Reveal(CatalogNode& node); // a search shows it, and the catalogs above it, opened
    void Insert(CatalogNode& node); // in its place among the shown siblings, by ordinal

    CatalogNode* m_root = nullptr;
    bool m_filtering = false;
    RowListener* m_listener = nullptr;
    mutable std::unordered_map<const CatalogNode*, Children> m_lists;
    // The last list looked up: a view asks about one parent's rows one after another.
    mutable const CatalogNode* m_lastNode = nullptr;
    mutable Children* m_lastList = nullptr;
};

class VisibleRows::Retired final {
public:
    Retired() = default;
    Retired(Retired&&) = default;
    Retired& operator=(Retired&&) = default;

private:
    friend class VisibleRows;
    std::unordered_map<const CatalogNode*, Children> m_lists;
};

class VisibleRows::ShownBuild final {
public:
    // Starts from a search's shown tree (its lists are taken).
    ShownBuild(CatalogNode* root, ShownTree& shown);
    // Does up to `parents` more of the work; true once the rows are complete.
    bool Step(std::size_t parents);

private:
    friend class VisibleRows;
    void TakeIn(std::size_t& parents);

    CatalogNode* m_root;
    std::unordered_map<const CatalogNode*, ShownList> m_intake; // the search's lists, not yet taken in
    std::unordered_map<const CatalogNode*, Children> m_lists;
    std::unordered_map<const CatalogNode*, std::vector<std::int64_t>> m_sizes;
    std::vector<std::pair<int, const CatalogNode*>> m_parents; // deepest first
    std::size_t m_next = 0;
};

} // namespace mwdx
