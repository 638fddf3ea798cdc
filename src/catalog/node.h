#pragma once

// Catalog Nodes: the in-memory tree of catalogs and documents that mirrors FILE_NODE.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

namespace mwdx {

// FILE_ID and PARENT_ID: SQLite's integer keys are 64-bit, and a cut id would name another row.
using NodeId = std::int64_t;

inline constexpr std::int32_t kCatalogType = 0;
inline constexpr std::int32_t kDocumentType = 1;

// The names and comment a node owns, each whole as stored (UTF-8), taking only the room it needs.
struct NodeDetails {
    NodeId fileId = 0;
    NodeId parentId = 0;
    std::string fileName;
    std::string comment;
    std::string rawFileName;

    bool operator==(const NodeDetails&) const = default;
};

// Sets all five fields, the texts whole. Leaves the record unchanged and returns false when the
// name is empty.
bool FillNodeDetails(NodeDetails& details, NodeId fileId, std::string_view fileName, NodeId parentId,
                     std::string_view comment, std::string_view rawFileName);

// One FILE_NODE row as the loading query lays it out (the scratch record of kSelectNodes). The ids take 8
// bytes, so that ids beyond 32 bits arrive whole.
struct NodeRow {
    NodeId fileId;
    char fileName[512];
    NodeId parentId;
    char comment[1024];
    std::int32_t fileType;
    char rawFileName[1024];
    std::int32_t pathLevel;
};
static_assert(sizeof(NodeRow) == 2584);
static_assert(offsetof(NodeRow, fileName) == 8);
static_assert(offsetof(NodeRow, parentId) == 520);
static_assert(offsetof(NodeRow, fileType) == 1552);
static_assert(offsetof(NodeRow, pathLevel) == 2580);

// A text field of a fixed record, up to its terminator.
template <std::size_t N> std::string_view FieldText(const char (&field)[N]) {
    const std::string_view all(field, N);
    return all.substr(0, all.find('\0'));
}

class CatalogModel;

// From this many children on, a node keeps its children's names on disk in an index, so that a
// name check in a catalog of a million costs what it costs in one of ten; below it, a scan of the
// list is as quick.
inline constexpr std::size_t kIndexedChildren = 64;

// One catalog or document. A node owns its first child, and each child owns its next sibling,
// so a parent owns all its children; the list keeps insertion order and appends at the tail.
// Links are changed only by CatalogModel, which also keeps its id index and the name indexes in
// step.
class CatalogNode final {
public:
    CatalogNode(NodeDetails details, std::int32_t pathLevel, NodeId fileId, std::int32_t fileType, std::string path);
    ~CatalogNode(); // frees the owned chain without recursion
    CatalogNode(const CatalogNode&) = delete;
    CatalogNode& operator=(const CatalogNode&) = delete;

    const NodeDetails& Details() const { return m_details; }
    CatalogNode* FirstChild() const { return m_firstChild.get(); }
    CatalogNode* LastChild() const { return m_lastChild; }
    CatalogNode* NextSibling() const { return m_nextSibling.get(); }
    CatalogNode* PreviousSibling() const { return m_previousSibling; }
    CatalogNode* Parent() const { return m_parent; }
    std::size_t ChildCount() const { return m_childCount; }
    // The node's place among its siblings: every sibling after it has a larger one. It is the
    // node's FILE_ID, which never changes, so it names the node's place even after others have gone.
    std::uint64_t Ordinal() const { return static_cast<std::uint64_t>(m_fileId); }
    std::int32_t PathLevel() const { return m_pathLevel; }
    NodeId FileId() const { return m_fileId; }
    std::int32_t FileType() const { return m_fileType; }
    bool IsCatalog() const { return m_fileType == kCatalogType; }
    const std::string& Path() const { return m_path; }

    // The name of the node's directory (catalog) or file (document) inside its parent's directory.
    std::string_view NameOnDisk() const {
        return m_fileType == kCatalogType ? m_details.fileName : m_details.rawFileName;
    }

    // Calls visit(child) for each child whose name on disk is `name`, in no particular order,
    // until visit returns true; returns whether it did. Looks only at those children once the
    // node has kIndexedChildren of them.
    template <class Visit> bool AnyChildNamed(std::string_view name, Visit&& visit) const;

private:
    friend class CatalogModel;
    friend int RebuildPaths(CatalogNode& node, std::string_view newName);
    friend void RehomePaths(CatalogNode& root, std::string homeDirectory);
    using NameIndex = std::unordered_multimap<std::string_view, CatalogNode*>;

    // The links first, in the node's first 64 bytes: walks and searches over many nodes read
    // these and little else.
    std::unique_ptr<CatalogNode> m_firstChild;
    CatalogNode* m_lastChild = nullptr;
    std::unique_ptr<CatalogNode> m_nextSibling;
    CatalogNode* m_previousSibling = nullptr;
    CatalogNode* m_parent = nullptr;
    std::unique_ptr<NameIndex> m_childNames; // keys view the children's own names
    std::size_t m_childCount = 0;
    NodeDetails m_details;
    NodeId m_fileId;
    std::int32_t m_pathLevel;
    std::int32_t m_fileType;
    std::string m_path;
};

template <class Visit> bool CatalogNode::AnyChildNamed(std::string_view name, Visit&& visit) const {
    bool found = false;
    if (m_childNames) {
        const auto [first, last] = m_childNames->equal_range(name);
        for (auto it = first; it != last && !found; ++it) {
            found = visit(static_cast<const CatalogNode&>(*it->second));
        }
    } else {
        for (const CatalogNode* child = FirstChild(); child != nullptr && !found; child = child->NextSibling()) {
            found = child->NameOnDisk() == name && visit(*child);
        }
    }
    return found;
}

// The node after `node` in a depth-first walk of `start`'s subtree (each node before its
// children, children in list order), or nullptr when the walk is over. Needs no stack, so the
// depth of the tree costs nothing.
const CatalogNode* NextInWalk(const CatalogNode& start, const CatalogNode& node);

// Visits every node below `start` (not `start` itself) in that order.
template <class Visit> void ForEachDescendant(const CatalogNode& start, Visit&& visit) {
    for (const CatalogNode* node = start.FirstChild(); node != nullptr; node = NextInWalk(start, *node)) {
        visit(*node);
    }
}

} // namespace mwdx
