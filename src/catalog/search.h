#pragma once

// Finding nodes by their name or comment, in any case and any script. Every name and comment is
// folded once into one long text, kept in step with the catalog's changes, so that each search is
// a plain scan of that text for the folded search text.

#include "catalog/node.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace mwdx {

// `text` (UTF-8) with every character in lower case: letters of every script that has case,
// unchanged where a script has none (Chinese); bytes that are not UTF-8 stay as they are.
std::string FoldCase(std::string_view text);

class CatalogSearch final {
public:
    // Folds the name and comment of every node below `root` (the Root Node itself has none).
    void Build(const CatalogNode& root);
    // The same a slice at a time: folds up to `nodes` more (`total`: how many there are, for
    // room); true once all are in. A change to the catalog meanwhile starts it again.
    bool BuildSome(const CatalogNode& root, std::size_t nodes, std::size_t total = 0);
    void Clear();
    // The same, the memory given back on a thread of its own: a million folded names cost the
    // caller nothing to let go of.
    void ClearInBackground();
    bool Built() const { return m_built; }

    // Keeping in step once built (before that they do nothing): a node added, a node about to be
    // removed with its subtree, a node with new details. A move changes no text.
    void NodeAdded(const CatalogNode& node);
    void NodeAboutToBeRemoved(const CatalogNode& node);
    void NodeChanged(const CatalogNode& node);

    // Goes up by one at every change: a search run in slices starts again when it has moved.
    std::uint64_t Generation() const { return m_generation; }

    // Places in the text, for searching in slices: [0, Places()).
    std::size_t Places() const { return m_entries.size(); }

    // Appends to `matches` each node among places [first, last) whose folded name or comment
    // holds `folded` (a FoldCase result; empty matches nothing), in the order they were folded.
    void FindIn(std::string_view folded, std::size_t first, std::size_t last,
                std::vector<const CatalogNode*>& matches) const;

    // Every match of `text` (folded here).
    std::vector<const CatalogNode*> Find(std::string_view text) const;

    // Bytes of folded text held, gone places included.
    std::size_t TextBytes() const { return m_text.size(); }

private:
    struct Entry {
        std::size_t offset;      // of the folded name, then '\0', the folded comment and '\0'
        const CatalogNode* node; // nullptr once gone or changed
    };
    void Append(const CatalogNode& node);
    void Forget(const CatalogNode& node);
    void SqueezeWhenSparse();

    std::string m_text;
    std::vector<Entry> m_entries;
    std::unordered_map<const CatalogNode*, std::size_t> m_entryOf;
    std::size_t m_goneBytes = 0;
    const CatalogNode* m_buildRoot = nullptr;
    const CatalogNode* m_nextToFold = nullptr; // while building
    std::uint64_t m_generation = 0;
    bool m_built = false;
};

// What a search shows: each match with its ancestors up to the top level. For each node shown
// with something shown below it (the Root Node for the top level), its children shown, in the
// catalog's order.
struct ShownList {
    std::vector<CatalogNode*> nodes;
    std::vector<std::uint64_t> ordinals; // each node's Ordinal(), read while it is at hand
};

struct ShownTree {
    std::unordered_map<const CatalogNode*, ShownList> children;
    std::size_t matches = 0;
};

// The shown tree of the matches, gathered a slice of matches at a time (in the order the search
// finds them).
class ShownTreeBuilder final {
public:
    explicit ShownTreeBuilder(const CatalogNode& root) : m_root(&root) {}
    void Add(std::span<const CatalogNode* const> matches);
    // The tree, its lists in the catalog's order; the builder is empty afterwards.
    ShownTree Finish();

private:
    const CatalogNode* m_root;
    ShownTree m_shown;
    // Catalogs already shown, as an ancestor or as a match. Documents never hold anything, so a
    // document is shown once, as the match it is.
    std::unordered_set<const CatalogNode*> m_seen;
    const CatalogNode* m_lastParent = nullptr;
    ShownList* m_siblings = nullptr;
};

} // namespace mwdx
