#pragma once

// The catalog model: the Root Node (the Home Directory) with every Catalog Node below it, and
// an index from FILE_ID to node so that finding a node costs the same at a million nodes as at ten.

#include "catalog/node.h"

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace mwdx {

// Told of each change to a catalog's tree as it happens, so that a view over it can follow
// without the commands keeping the two in step.
class CatalogObserver {
public:
    // `node` is now in its place among its parent's children (by FILE_ID).
    virtual void NodeAdded(const CatalogNode& node) = 0;
    // `node` is about to leave its parent with its whole subtree; it is still linked.
    virtual void NodeAboutToBeRemoved(const CatalogNode& node) = 0;
    // The node announced above is gone from `parent`'s children.
    virtual void NodeRemoved(const CatalogNode& parent) = 0;
    // `node` has new details (name, comment).
    virtual void NodeChanged(const CatalogNode& node) = 0;
    // `node` is about to leave its parent for another, with its whole subtree; still where it was.
    virtual void NodeAboutToMove(const CatalogNode& node) = 0;
    // The node announced above is now in its place among its new parent's children.
    virtual void NodeMoved(const CatalogNode& node) = 0;

protected:
    ~CatalogObserver() = default;
};

class CatalogModel final {
public:
    CatalogModel() = default;
    ~CatalogModel() = default;
    CatalogModel(const CatalogModel&) = delete;
    CatalogModel& operator=(const CatalogModel&) = delete;
    CatalogModel(CatalogModel&&) noexcept = default;
    CatalogModel& operator=(CatalogModel&&) noexcept = default;

    // The Root Node, or nullptr until the first top-level node is loaded or inserted.
    CatalogNode* RootNode() const { return m_root.get(); }

    // The Root Node, created with `homeDirectory` as its path when there is none yet
    // (FILE_ID 0, level 0, a catalog, empty details). nullptr only when memory runs out.
    CatalogNode* EnsureRootNode(std::string homeDirectory);

    // A new node, owning its own copy of `details`, among the children of `parent` in its place by
    // FILE_ID: after every sibling with a smaller id, so a new node (whose id is the largest yet)
    // goes last, as it does at the next start. nullptr when memory runs out.
    CatalogNode* AddChildNode(CatalogNode& parent, NodeDetails details, std::int32_t pathLevel, NodeId fileId,
                              std::int32_t fileType, std::string path);
    // The same for loading: the node goes last whatever its id, and OrderChildren puts the
    // children in id order once every row is in, so rows in any order cost no more than a sort.
    CatalogNode* AppendChildNode(CatalogNode& parent, NodeDetails details, std::int32_t pathLevel, NodeId fileId,
                                 std::int32_t fileType, std::string path);
    void OrderChildren();

    // The node with FILE_ID `fileId` one level below a node at `level` - 1 that a search down from
    // `start` finds: the search scans the children of `start` when it is at `level` - 1 and
    // otherwise descends into each child in order, so the result is the first such node in
    // depth-first order. A level not below `start`'s finds nothing.
    CatalogNode* FindNode(const CatalogNode* start, NodeId fileId, std::int32_t level) const;

    // The node with this FILE_ID (any one of them, should a damaged tree hold several); nullptr
    // when there is none.
    CatalogNode* NodeById(NodeId fileId) const {
        const auto found = m_byId.find(fileId);
        return found != m_byId.end() ? found->second : nullptr;
    }

    // Frees every node below `node`; the node itself stays, childless.
    void FreeNodeTree(CatalogNode& node);

    // Unlinks `node` from `parent`'s children and frees it with its subtree, without walking the
    // siblings. False (and nothing changes) when `node` is not a child of `parent`.
    bool UnlinkAndFree(CatalogNode& parent, CatalogNode& node);

    // Moves `node` with its subtree among `newParent`'s children (the Root Node for the top level),
    // in its place by FILE_ID, where the next start shows it too: its parent, its PARENT_ID and the
    // level of every node in the subtree follow; paths are left to RebuildPaths. False, and nothing
    // changes, when `node` is the Root Node or `newParent` is `node` or lies below it.
    bool MoveNode(CatalogNode& node, CatalogNode& newParent);

    // Frees the whole tree, Root Node included.
    void Clear();

    // Gives the node a new copy of its details (FILE_ID, links and path stay).
    void ReplaceNodeDetails(CatalogNode& node, const NodeDetails& details);

    // Number of nodes below the Root Node.
    std::size_t NodeCount() const { return m_byId.size(); }

    // Room for this many nodes in the index, to spare rehashing while loading.
    void Reserve(std::size_t nodes) { m_byId.reserve(nodes); }

    // Who hears of changes from now on (nullptr: nobody). Loading builds a model of its own and
    // moves it in, which the observer does not hear of: it is reset instead.
    void SetObserver(CatalogObserver* observer) { m_observer = observer; }

    // How many nodes have a name on disk that is not one plain folder or file name (empty, "." or
    // "..", or with a '/' inside): only such names make two paths meet in unexpected places.
    std::size_t OddNameCount() const { return m_oddNames; }

private:
    CatalogNode* SearchDown(const CatalogNode* start, NodeId fileId, std::int32_t level) const;
    void Unregister(const CatalogNode& node);
    // Keep `parent`'s index of its children's names in step (made once it has enough of them).
    static void IndexName(CatalogNode& parent, CatalogNode& child);
    static void UnindexName(CatalogNode& parent, const CatalogNode& child);
    // Links `node` (owned) into `parent`'s children after `previous` (nullptr: first).
    static void Link(CatalogNode& parent, std::unique_ptr<CatalogNode> node, CatalogNode* previous);
    // The child after which a node with this id goes: the last one whose id is not larger.
    static CatalogNode* PlaceFor(const CatalogNode& parent, NodeId fileId);
    CatalogNode* MakeChild(CatalogNode& parent, NodeDetails details, std::int32_t pathLevel, NodeId fileId,
                           std::int32_t fileType, std::string path, bool inPlace);

    std::unique_ptr<CatalogNode> m_root;
    std::unordered_multimap<NodeId, CatalogNode*> m_byId;
    CatalogObserver* m_observer = nullptr;
    std::size_t m_oddNames = 0;
    std::vector<CatalogNode*> m_unordered; // parents AppendChildNode left out of id order
};

} // namespace mwdx
