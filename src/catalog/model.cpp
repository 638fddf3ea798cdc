#include "catalog/model.h"

#include <algorithm>
#include <new>
#include <vector>

namespace mwdx {
namespace {

// Whether a search from `start` for (`node`'s id, `level`) would reach `node`: its parent is one
// level above `level` and lies at or below `start`, and no node on the way down from `start` to
// that parent is itself one level above `level` (the search scans such a node's children and
// goes no deeper). The node's own level is not looked at, only its parent's.
bool SearchReaches(const CatalogNode* start, const CatalogNode& node, std::int32_t level) {
    const CatalogNode* parent = node.Parent();
    if (parent == nullptr || std::int64_t{parent->PathLevel()} + 1 != level) {
        return false;
    }
    for (const CatalogNode* above = parent; above != start;) {
        above = above->Parent();
        if (above == nullptr || std::int64_t{above->PathLevel()} + 1 == level) {
            return false;
        }
    }
    return true;
}

bool IsOddName(std::string_view name) {
    return name.empty() || name == "." || name == ".." || name.find('/') != std::string_view::npos;
}

} // namespace

void CatalogModel::IndexName(CatalogNode& parent, CatalogNode& child) {
    // Short of memory, the parent goes without an index: its lookups scan, as small ones do.
    try {
        if (parent.m_childNames) {
            parent.m_childNames->emplace(child.NameOnDisk(), &child);
        } else if (parent.m_childCount >= kIndexedChildren) {
            auto names = std::make_unique<CatalogNode::NameIndex>();
            names->reserve(parent.m_childCount * 2);
            for (CatalogNode* c = parent.m_firstChild.get(); c != nullptr; c = c->m_nextSibling.get()) {
                names->emplace(c->NameOnDisk(), c);
            }
            if (child.m_parent != &parent) { // not linked yet
                names->emplace(child.NameOnDisk(), &child);
            }
            parent.m_childNames = std::move(names);
        }
    } catch (const std::bad_alloc&) {
        parent.m_childNames.reset();
    }
}

void CatalogModel::UnindexName(CatalogNode& parent, const CatalogNode& child) {
    if (!parent.m_childNames) {
        return;
    }
    const auto [first, last] = parent.m_childNames->equal_range(child.NameOnDisk());
    for (auto it = first; it != last; ++it) {
        if (it->second == &child) {
            parent.m_childNames->erase(it);
            return;
        }
    }
}

CatalogNode* CatalogModel::EnsureRootNode(std::string homeDirectory) {
    if (!m_root) {
        m_root.reset(new (std::nothrow) CatalogNode(NodeDetails{}, 0, 0, kCatalogType, std::move(homeDirectory)));
    }
    return m_root.get();
}

void CatalogModel::Link(CatalogNode& parent, std::unique_ptr<CatalogNode> node, CatalogNode* previous) {
    CatalogNode* linked = node.get();
    std::unique_ptr<CatalogNode>& owner = previous == nullptr ? parent.m_firstChild : previous->m_nextSibling;
    node->m_nextSibling = std::move(owner);
    if (node->m_nextSibling) {
        node->m_nextSibling->m_previousSibling = linked;
    } else {
        parent.m_lastChild = linked;
    }
    node->m_previousSibling = previous;
    node->m_parent = &parent;
    owner = std::move(node);
    ++parent.m_childCount;
}

CatalogNode* CatalogModel::PlaceFor(const CatalogNode& parent, NodeId fileId) {
    // From the end: a new node's id is the largest yet, so it is found at once.
    CatalogNode* previous = parent.m_lastChild;
    while (previous != nullptr && previous->m_fileId > fileId) {
        previous = previous->m_previousSibling;
    }
    return previous;
}

CatalogNode* CatalogModel::MakeChild(CatalogNode& parent, NodeDetails details, std::int32_t pathLevel, NodeId fileId,
                                     std::int32_t fileType, std::string path, bool inPlace) {
    try {
        auto owned = std::make_unique<CatalogNode>(std::move(details), pathLevel, fileId, fileType, std::move(path));
        CatalogNode* node = owned.get();
        m_byId.emplace(fileId, node);
        if (!inPlace && parent.m_lastChild != nullptr && parent.m_lastChild->m_fileId > fileId &&
            (m_unordered.empty() || m_unordered.back() != &parent)) {
            m_unordered.push_back(&parent);
        }
        CatalogNode* previous = inPlace ? PlaceFor(parent, fileId) : parent.m_lastChild;
        Link(parent, std::move(owned), previous);
        IndexName(parent, *node);
        if (IsOddName(node->NameOnDisk())) {
            ++m_oddNames;
        }
        if (m_observer != nullptr) {
            m_observer->NodeAdded(*node);
        }
        return node;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

CatalogNode* CatalogModel::AddChildNode(CatalogNode& parent, NodeDetails details, std::int32_t pathLevel, NodeId fileId,
                                        std::int32_t fileType, std::string path) {
    return MakeChild(parent, std::move(details), pathLevel, fileId, fileType, std::move(path), true);
}

CatalogNode* CatalogModel::AppendChildNode(CatalogNode& parent, NodeDetails details, std::int32_t pathLevel,
                                           NodeId fileId, std::int32_t fileType, std::string path) {
    return MakeChild(parent, std::move(details), pathLevel, fileId, fileType, std::move(path), false);
}

void CatalogModel::OrderChildren() {
    std::sort(m_unordered.begin(), m_unordered.end());
    m_unordered.erase(std::unique(m_unordered.begin(), m_unordered.end()), m_unordered.end());
    std::vector<std::unique_ptr<CatalogNode>> children;
    for (CatalogNode* parent : m_unordered) {
        children.clear();
        children.reserve(parent->m_childCount);
        for (std::unique_ptr<CatalogNode> child = std::move(parent->m_firstChild); child;) {
            std::unique_ptr<CatalogNode> next = std::move(child->m_nextSibling);
            children.push_back(std::move(child));
            child = std::move(next);
        }
        // Rows of one parent that came in the same order keep it.
        std::stable_sort(children.begin(), children.end(),
                         [](const auto& a, const auto& b) { return a->m_fileId < b->m_fileId; });
        parent->m_lastChild = nullptr;
        parent->m_childCount = 0;
        for (std::unique_ptr<CatalogNode>& child : children) {
            Link(*parent, std::move(child), parent->m_lastChild);
        }
    }
    m_unordered.clear();
}

CatalogNode* CatalogModel::FindNode(const CatalogNode* start, NodeId fileId, std::int32_t level) const {
    if (start == nullptr) {
        return nullptr;
    }
    const auto [first, last] = m_byId.equal_range(fileId);
    CatalogNode* found = nullptr;
    for (auto it = first; it != last; ++it) {
        if (SearchReaches(start, *it->second, level)) {
            if (found != nullptr) {
                // Two reachable nodes share the id (only a damaged database does this): the
                // search's order decides.
                return SearchDown(start, fileId, level);
            }
            found = it->second;
        }
    }
    return found;
}

CatalogNode* CatalogModel::SearchDown(const CatalogNode* start, NodeId fileId, std::int32_t level) const {
    // Depth first with an explicit stack of the siblings still to visit at each depth.
    std::vector<const CatalogNode*> pending{start};
    while (!pending.empty()) {
        const CatalogNode* node = pending.back();
        pending.pop_back();
        if (node->NextSibling() != nullptr && node != start) {
            pending.push_back(node->NextSibling());
        }
        if (std::int64_t{node->PathLevel()} + 1 == level) {
            for (CatalogNode* child = node->FirstChild(); child != nullptr; child = child->NextSibling()) {
                if (child->FileId() == fileId) {
                    return child;
                }
            }
        } else if (node->FirstChild() != nullptr) {
            pending.push_back(node->FirstChild());
        }
    }
    return nullptr;
}

void CatalogModel::Unregister(const CatalogNode& node) {
    if (IsOddName(node.NameOnDisk())) {
        --m_oddNames;
    }
    const auto [first, last] = m_byId.equal_range(node.FileId());
    for (auto it = first; it != last; ++it) {
        if (it->second == &node) {
            m_byId.erase(it);
            return;
        }
    }
}

void CatalogModel::FreeNodeTree(CatalogNode& node) {
    if (&node == m_root.get()) {
        m_byId.clear();
        m_oddNames = 0;
    } else {
        ForEachDescendant(node, [this](const CatalogNode& n) { Unregister(n); });
    }
    node.m_childNames.reset();
    node.m_firstChild.reset(); // the node destructor frees the chain without recursion
    node.m_lastChild = nullptr;
    node.m_childCount = 0;
}

bool CatalogModel::UnlinkAndFree(CatalogNode& parent, CatalogNode& node) {
    if (node.m_parent != &parent) {
        return false;
    }
    if (m_observer != nullptr) {
        m_observer->NodeAboutToBeRemoved(node);
    }
    Unregister(node);
    ForEachDescendant(node, [this](const CatalogNode& n) { Unregister(n); });
    UnindexName(parent, node);

    CatalogNode* previous = node.m_previousSibling;
    std::unique_ptr<CatalogNode>& owner = previous == nullptr ? parent.m_firstChild : previous->m_nextSibling;
    std::unique_ptr<CatalogNode> removed = std::move(owner);
    owner = std::move(removed->m_nextSibling);
    if (owner) {
        owner->m_previousSibling = previous;
    }
    if (parent.m_lastChild == &node) {
        parent.m_lastChild = previous;
    }
    --parent.m_childCount;
    removed->m_parent = nullptr;
    removed->m_previousSibling = nullptr;
    removed.reset(); // with its subtree
    if (m_observer != nullptr) {
        m_observer->NodeRemoved(parent);
    }
    return true;
}

bool CatalogModel::MoveNode(CatalogNode& node, CatalogNode& newParent) {
    CatalogNode* oldParent = node.m_parent;
    if (oldParent == nullptr) {
        return false;
    }
    for (const CatalogNode* above = &newParent; above != nullptr; above = above->m_parent) {
        if (above == &node) {
            return false;
        }
    }
    if (m_observer != nullptr) {
        m_observer->NodeAboutToMove(node);
    }
    UnindexName(*oldParent, node);
    CatalogNode* previous = node.m_previousSibling;
    std::unique_ptr<CatalogNode>& owner = previous == nullptr ? oldParent->m_firstChild : previous->m_nextSibling;
    std::unique_ptr<CatalogNode> moved = std::move(owner);
    owner = std::move(moved->m_nextSibling);
    if (owner) {
        owner->m_previousSibling = previous;
    }
    if (oldParent->m_lastChild == &node) {
        oldParent->m_lastChild = previous;
    }
    --oldParent->m_childCount;

    // In its place by id among its new siblings, where the next start puts it.
    CatalogNode* place = PlaceFor(newParent, node.m_fileId);
    Link(newParent, std::move(moved), place);
    IndexName(newParent, node);
    node.m_details.parentId = newParent.m_parent == nullptr ? 0 : newParent.m_fileId;
    const std::int32_t shift = newParent.m_pathLevel + 1 - node.m_pathLevel;
    node.m_pathLevel += shift;
    if (shift != 0) {
        ForEachDescendant(node,
                          [shift](const CatalogNode& below) { const_cast<CatalogNode&>(below).m_pathLevel += shift; });
    }
    if (m_observer != nullptr) {
        m_observer->NodeMoved(node);
    }
    return true;
}

void CatalogModel::Clear() {
    m_unordered.clear();
    m_byId.clear();
    m_oddNames = 0;
    m_root.reset();
}

void CatalogModel::ReplaceNodeDetails(CatalogNode& node, const NodeDetails& details) {
    const bool wasOdd = IsOddName(node.NameOnDisk());
    if (node.m_parent != nullptr) {
        UnindexName(*node.m_parent, node);
    }
    node.m_details = details;
    if (node.m_parent != nullptr && node.m_parent->m_childNames) {
        IndexName(*node.m_parent, node);
    }
    if (&node != m_root.get()) {
        m_oddNames += IsOddName(node.NameOnDisk()) ? 1 : 0;
        m_oddNames -= wasOdd ? 1 : 0;
    }
    if (m_observer != nullptr) {
        m_observer->NodeChanged(node);
    }
}

} // namespace mwdx
