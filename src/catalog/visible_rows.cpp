#include "catalog/visible_rows.h"

#include <algorithm>
#include <iterator>
#include <limits>
#include <utility>

namespace mwdx {

namespace {

std::size_t LowBit(std::size_t i) {
    return i & (~i + 1);
}

// Turns tree[1..n], each place's own rows, into the Fenwick tree of their sums.
void BuildTree(std::vector<std::int64_t>& tree) {
    const std::size_t n = tree.size() - 1;
    for (std::size_t i = 1; i <= n; ++i) {
        if (const std::size_t up = i + LowBit(i); up <= n) {
            tree[up] += tree[i];
        }
    }
}

} // namespace

// ---- one parent's children ----

void VisibleRows::Children::Assign(std::vector<CatalogNode*> list, std::vector<std::uint64_t> order,
                                   const std::vector<std::int64_t>& rows) {
    nodes = std::move(list);
    ordinals = std::move(order);
    tree.assign(nodes.size() + 1, 0);
    total = 0;
    gaps = 0;
    for (std::size_t place = 0; place < nodes.size(); ++place) {
        tree[place + 1] = nodes[place] != nullptr ? rows[place] : 0;
        total += tree[place + 1];
        gaps += nodes[place] == nullptr ? 1 : 0;
    }
    BuildTree(tree);
}

void VisibleRows::Children::Append(CatalogNode* node, std::int64_t rows) {
    if (tree.empty()) {
        tree.push_back(0);
    }
    // The new place's entry covers the places (i - lowbit(i), i]: itself and those before it.
    const std::size_t i = nodes.size() + 1;
    nodes.push_back(node);
    ordinals.push_back(node->Ordinal());
    tree.push_back(rows + Before(i - 1) - Before(i - LowBit(i)));
    total += rows;
}

void VisibleRows::Children::Insert(CatalogNode* node, std::int64_t rows) {
    const auto it = std::lower_bound(ordinals.begin(), ordinals.end(), node->Ordinal());
    if (it == ordinals.end()) {
        Append(node, rows);
        return;
    }
    const auto place = static_cast<std::size_t>(it - ordinals.begin());
    std::vector<std::int64_t> sizes = Sizes();
    std::vector<CatalogNode*> list = std::move(nodes);
    std::vector<std::uint64_t> order = std::move(ordinals);
    list.insert(list.begin() + static_cast<std::ptrdiff_t>(place), node);
    order.insert(order.begin() + static_cast<std::ptrdiff_t>(place), node->Ordinal());
    sizes.insert(sizes.begin() + static_cast<std::ptrdiff_t>(place), rows);
    const bool wasExpanded = expanded;
    Assign(std::move(list), std::move(order), sizes);
    expanded = wasExpanded;
}

void VisibleRows::Children::Add(std::size_t place, std::int64_t delta) {
    for (std::size_t i = place + 1; i < tree.size(); i += LowBit(i)) {
        tree[i] += delta;
    }
    total += delta;
}

void VisibleRows::Children::Remove(std::size_t place) {
    Add(place, -RowsAt(place));
    nodes[place] = nullptr;
    ++gaps;
    if (gaps >= 64 && gaps > nodes.size() - gaps) {
        Squeeze();
    }
}

std::int64_t VisibleRows::Children::Before(std::size_t place) const {
    std::int64_t rows = 0;
    for (std::size_t i = place; i > 0; i -= LowBit(i)) {
        rows += tree[i];
    }
    return rows;
}

std::int64_t VisibleRows::Children::RowsAt(std::size_t place) const {
    return Before(place + 1) - Before(place);
}

std::size_t VisibleRows::Children::PlaceOf(const CatalogNode& node) const {
    const auto it = std::lower_bound(ordinals.begin(), ordinals.end(), node.Ordinal());
    const auto place = static_cast<std::size_t>(it - ordinals.begin());
    return place < nodes.size() && nodes[place] == &node ? place : nodes.size();
}

std::size_t VisibleRows::Children::PlaceOfRow(std::int64_t row, std::int64_t* before) const {
    // The largest prefix of places whose rows all lie before `row`; places without rows (gaps)
    // fall inside it, so the place after it holds the row.
    std::size_t place = 0;
    std::int64_t remaining = row;
    std::size_t step = 1;
    while (step * 2 < tree.size()) {
        step *= 2;
    }
    for (; step > 0; step /= 2) {
        if (place + step < tree.size() && tree[place + step] <= remaining) {
            place += step;
            remaining -= tree[place];
        }
    }
    *before = row - remaining;
    return place;
}

std::vector<std::int64_t> VisibleRows::Children::Sizes() const {
    // The Fenwick build run backwards.
    std::vector<std::int64_t> own = tree.empty() ? std::vector<std::int64_t>(1, 0) : tree;
    const std::size_t n = own.size() - 1;
    for (std::size_t i = n; i > 0; --i) {
        if (const std::size_t up = i + LowBit(i); up <= n) {
            own[up] -= own[i];
        }
    }
    return {own.begin() + 1, own.end()};
}

void VisibleRows::Children::Squeeze() {
    const std::vector<std::int64_t> sizes = Sizes();
    std::vector<CatalogNode*> list;
    std::vector<std::uint64_t> order;
    std::vector<std::int64_t> kept;
    list.reserve(nodes.size() - gaps);
    order.reserve(nodes.size() - gaps);
    kept.reserve(nodes.size() - gaps);
    for (std::size_t place = 0; place < nodes.size(); ++place) {
        if (nodes[place] != nullptr) {
            list.push_back(nodes[place]);
            order.push_back(ordinals[place]);
            kept.push_back(sizes[place]);
        }
    }
    const bool wasExpanded = expanded;
    Assign(std::move(list), std::move(order), kept);
    expanded = wasExpanded;
}

// ---- the rows ----

VisibleRows::Children* VisibleRows::ListOf(const CatalogNode* node) const {
    if (node == m_lastNode && m_lastList != nullptr) {
        return m_lastList;
    }
    const auto found = m_lists.find(node);
    if (found == m_lists.end()) {
        return nullptr;
    }
    m_lastNode = node;
    m_lastList = &found->second;
    return m_lastList;
}

std::int64_t VisibleRows::RowsOf(const CatalogNode& node) const {
    const Children* list = ListOf(&node);
    return 1 + (list != nullptr && list->expanded ? list->total : 0);
}

VisibleRows::Children& VisibleRows::MakeList(CatalogNode& node) {
    std::vector<CatalogNode*> list;
    std::vector<std::uint64_t> order;
    list.reserve(node.ChildCount());
    order.reserve(node.ChildCount());
    for (CatalogNode* child = node.FirstChild(); child != nullptr; child = child->NextSibling()) {
        list.push_back(child);
        order.push_back(child->Ordinal());
    }
    std::vector<std::int64_t> rows(list.size(), 1);
    // Children opened before keep their rows. Few lists are kept, so they are looked through
    // rather than each of a million children looked up.
    const auto opened = [&](const CatalogNode& child, const Children& below) {
        if (below.expanded) {
            const auto it = std::lower_bound(order.begin(), order.end(), child.Ordinal());
            if (it != order.end() && list[static_cast<std::size_t>(it - order.begin())] == &child) {
                rows[static_cast<std::size_t>(it - order.begin())] = 1 + below.total;
            }
        }
    };
    if (m_lists.size() < list.size()) {
        for (const auto& [child, below] : m_lists) {
            if (child->Parent() == &node) {
                opened(*child, below);
            }
        }
    } else {
        for (const CatalogNode* child : list) {
            if (const Children* below = ListOf(child)) {
                opened(*child, *below);
            }
        }
    }
    Children& made = m_lists[&node];
    made.Assign(std::move(list), std::move(order), rows);
    return made;
}

void VisibleRows::Grow(const CatalogNode* node, std::int64_t delta) {
    while (node != m_root && delta != 0) {
        const CatalogNode* parent = node->Parent();
        Children* siblings = ListOf(parent);
        if (siblings == nullptr) {
            return;
        }
        const std::size_t place = siblings->PlaceOf(*node);
        if (place == siblings->nodes.size()) {
            return;
        }
        siblings->Add(place, delta);
        if (parent == m_root || !siblings->expanded) {
            return;
        }
        node = parent;
    }
}

std::optional<std::int64_t> VisibleRows::RowOrRoot(const CatalogNode& node) const {
    std::int64_t row = -1;
    for (const CatalogNode* at = &node; at != m_root; at = at->Parent()) {
        const CatalogNode* parent = at->Parent();
        const Children* siblings = parent != nullptr ? ListOf(parent) : nullptr;
        if (siblings == nullptr || !siblings->expanded) {
            return std::nullopt;
        }
        const std::size_t place = siblings->PlaceOf(*at);
        if (place == siblings->nodes.size()) {
            return std::nullopt;
        }
        row += 1 + siblings->Before(place);
    }
    return row;
}

void VisibleRows::Reset(CatalogNode* root, const std::vector<const CatalogNode*>& expanded) {
    m_lists.clear();
    m_lastNode = nullptr;
    m_lastList = nullptr;
    m_filtering = false;
    m_root = root;
    if (m_root == nullptr) {
        return;
    }
    MakeList(*m_root).expanded = true;
    // Deepest first, so that a list is made once its open children know their rows.
    std::vector<std::pair<int, CatalogNode*>> open;
    for (const CatalogNode* node : expanded) {
        if (node == nullptr || node == m_root || node->FirstChild() == nullptr) {
            continue;
        }
        int depth = 0;
        const CatalogNode* above = node;
        while (above != nullptr && above != m_root) {
            above = above->Parent();
            ++depth;
        }
        if (above == m_root) {
            open.emplace_back(depth, const_cast<CatalogNode*>(node));
        }
    }
    std::sort(open.begin(), open.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    for (const auto& [depth, node] : open) {
        Children* list = ListOf(node);
        if (list == nullptr) {
            list = &MakeList(*node);
        }
        if (!list->expanded) {
            list->expanded = true;
            Grow(node, list->total);
        }
    }
}

VisibleRows::ShownBuild::ShownBuild(CatalogNode* root, ShownTree& shown)
    : m_root(root), m_intake(std::exchange(shown.children, {})) {
    if (m_root == nullptr) {
        m_intake.clear();
        return;
    }
    m_parents.reserve(m_intake.size());
    m_lists.reserve(m_intake.size() + 1);
    m_lists[m_root].expanded = true;
}

void VisibleRows::ShownBuild::TakeIn(std::size_t& parents) {
    for (auto it = m_intake.begin(); it != m_intake.end() && parents > 0; --parents) {
        const CatalogNode* parent = it->first;
        int depth = 0;
        for (const CatalogNode* above = parent; above != nullptr && above != m_root; above = above->Parent()) {
            ++depth;
        }
        m_parents.emplace_back(depth, parent);
        Children& children = m_lists[parent];
        children.nodes = std::move(it->second.nodes);
        children.ordinals = std::move(it->second.ordinals);
        children.expanded = true;
        it = m_intake.erase(it);
    }
    if (m_intake.empty()) {
        // Each list's rows are known once the lists below it are done: deepest first.
        std::sort(m_parents.begin(), m_parents.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    }
}

bool VisibleRows::ShownBuild::Step(std::size_t parents) {
    if (!m_intake.empty()) {
        TakeIn(parents);
        if (!m_intake.empty()) {
            return false;
        }
    }
    for (std::size_t done = 0; done < parents && m_next < m_parents.size(); ++done, ++m_next) {
        const CatalogNode* parent = m_parents[m_next].second;
        Children& children = m_lists[parent];
        std::vector<std::int64_t> rows = std::move(m_sizes[parent]);
        m_sizes.erase(parent);
        rows.resize(children.nodes.size(), 1);
        children.Assign(std::move(children.nodes), std::move(children.ordinals), rows);
        children.expanded = true;
        if (parent == m_root) {
            continue;
        }
        // Its rows, as its parent's list counts them.
        const CatalogNode* above = parent->Parent();
        const auto siblings = m_lists.find(above);
        if (siblings == m_lists.end()) {
            continue;
        }
        const std::size_t place = siblings->second.PlaceOf(*parent);
        if (place < siblings->second.nodes.size()) {
            std::vector<std::int64_t>& aboveRows = m_sizes[above];
            aboveRows.resize(siblings->second.nodes.size(), 1);
            aboveRows[place] = 1 + children.total;
        }
    }
    return m_next == m_parents.size();
}

VisibleRows::Retired VisibleRows::TakeShown(ShownBuild&& build) {
    while (!build.Step(std::numeric_limits<std::size_t>::max())) {
    }
    Retired old;
    old.m_lists = std::exchange(m_lists, std::move(build.m_lists));
    m_lastNode = nullptr;
    m_lastList = nullptr;
    m_filtering = true;
    m_root = build.m_root;
    return old;
}

void VisibleRows::ResetShown(CatalogNode* root, ShownTree& shown) {
    (void)TakeShown(ShownBuild(root, shown));
}

std::size_t VisibleRows::Count() const {
    const Children* top = ListOf(m_root);
    return top != nullptr ? static_cast<std::size_t>(top->total) : 0;
}

CatalogNode* VisibleRows::NodeAt(std::size_t row) const {
    const Children* list = ListOf(m_root);
    auto remaining = static_cast<std::int64_t>(row);
    while (list != nullptr && remaining < list->total) {
        std::int64_t before = 0;
        const std::size_t place = list->PlaceOfRow(remaining, &before);
        CatalogNode* node = list->nodes[place];
        remaining -= before;
        if (remaining == 0) {
            return node;
        }
        --remaining;
        list = ListOf(node);
    }
    return nullptr;
}

std::optional<std::size_t> VisibleRows::RowOf(const CatalogNode& node) const {
    if (&node == m_root) {
        return std::nullopt;
    }
    const auto row = RowOrRoot(node);
    return row ? std::optional<std::size_t>(static_cast<std::size_t>(*row)) : std::nullopt;
}

int VisibleRows::Level(const CatalogNode& node) {
    int level = -1;
    for (const CatalogNode* above = node.Parent(); above != nullptr; above = above->Parent()) {
        ++level;
    }
    return level;
}

bool VisibleRows::HasChildren(const CatalogNode& node) const {
    if (!m_filtering) {
        return node.FirstChild() != nullptr;
    }
    const Children* list = ListOf(&node);
    return list != nullptr && list->nodes.size() > list->gaps;
}

bool VisibleRows::Expanded(const CatalogNode& node) const {
    const Children* list = ListOf(&node);
    return list != nullptr && list->expanded;
}

void VisibleRows::SetExpanded(CatalogNode& node, bool expanded) {
    if (&node == m_root || m_root == nullptr || (expanded && !HasChildren(node))) {
        return;
    }
    Children* list = ListOf(&node);
    if (list == nullptr) {
        if (!expanded) {
            return;
        }
        list = &MakeList(node);
    }
    if (list->expanded == expanded) {
        return;
    }
    const std::int64_t rows = list->total;
    const auto row = RowOf(node);
    const bool told = row && m_listener != nullptr && rows > 0;
    if (told) {
        if (expanded) {
            m_listener->RowsAboutToBeInserted(*row + 1, static_cast<std::size_t>(rows));
        } else {
            m_listener->RowsAboutToBeRemoved(*row + 1, static_cast<std::size_t>(rows));
        }
    }
    list->expanded = expanded;
    Grow(&node, expanded ? rows : -rows);
    if (told) {
        if (expanded) {
            m_listener->RowsInserted();
        } else {
            m_listener->RowsRemoved();
        }
    }
}

void VisibleRows::ExpandSubtree(CatalogNode& node) {
    if (m_root == nullptr || &node == m_root || !HasChildren(node)) {
        return;
    }
    SetExpanded(node, false);
    // Every catalog below opens unseen, its parent's list following; then `node` opens at once.
    std::vector<CatalogNode*> order;
    std::vector<CatalogNode*> stack{&node};
    while (!stack.empty()) {
        CatalogNode* at = stack.back();
        stack.pop_back();
        if (at != &node) {
            order.push_back(at);
        }
        if (m_filtering) {
            if (const Children* list = ListOf(at)) {
                for (CatalogNode* child : list->nodes) {
                    if (child != nullptr && HasChildren(*child)) {
                        stack.push_back(child);
                    }
                }
            }
        } else {
            for (CatalogNode* child = at->FirstChild(); child != nullptr; child = child->NextSibling()) {
                if (child->FirstChild() != nullptr) {
                    stack.push_back(child);
                }
            }
        }
    }
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        Children* list = ListOf(*it);
        if (list == nullptr) {
            list = &MakeList(**it);
        }
        if (!list->expanded) {
            list->expanded = true;
            Grow(*it, list->total);
        }
    }
    SetExpanded(node, true);
}

std::vector<const CatalogNode*> VisibleRows::ExpandedNodes() const {
    std::vector<std::pair<int, const CatalogNode*>> open;
    for (const auto& [node, list] : m_lists) {
        if (list.expanded && node != m_root) {
            open.emplace_back(Level(*node), node);
        }
    }
    std::sort(open.begin(), open.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<const CatalogNode*> nodes;
    nodes.reserve(open.size());
    for (const auto& [level, node] : open) {
        nodes.push_back(node);
    }
    return nodes;
}

std::size_t VisibleRows::ShownChildCount(const CatalogNode& node) const {
    const Children* list = ListOf(&node);
    return list != nullptr && list->expanded ? list->nodes.size() - list->gaps : 0;
}

CatalogNode* VisibleRows::ShownChild(const CatalogNode& node, std::size_t place) const {
    Children* list = ListOf(&node);
    if (list == nullptr || !list->expanded) {
        return nullptr;
    }
    // Places count gaps; squeezed, a place is the child's number.
    if (list->gaps > 0) {
        list->Squeeze();
    }
    return place < list->nodes.size() ? list->nodes[place] : nullptr;
}

std::optional<std::size_t> VisibleRows::PlaceAmongShown(const CatalogNode& node) const {
    Children* list = node.Parent() != nullptr ? ListOf(node.Parent()) : nullptr;
    if (list == nullptr || !list->expanded) {
        return std::nullopt;
    }
    if (list->gaps > 0) {
        list->Squeeze();
    }
    const std::size_t place = list->PlaceOf(node);
    return place < list->nodes.size() ? std::optional<std::size_t>(place) : std::nullopt;
}

void VisibleRows::Insert(CatalogNode& node) {
    CatalogNode* parent = node.Parent();
    Children* siblings = ListOf(parent);
    if (siblings == nullptr) {
        return;
    }
    const std::int64_t rows = RowsOf(node);
    std::optional<std::int64_t> first;
    if (siblings->expanded) {
        if (const auto above = RowOrRoot(*parent)) {
            const auto it = std::lower_bound(siblings->ordinals.begin(), siblings->ordinals.end(), node.Ordinal());
            first = *above + 1 + siblings->Before(static_cast<std::size_t>(it - siblings->ordinals.begin()));
        }
    }
    if (first && m_listener != nullptr) {
        m_listener->RowsAboutToBeInserted(static_cast<std::size_t>(*first), static_cast<std::size_t>(rows));
    }
    siblings->Insert(&node, rows);
    if (parent != m_root && siblings->expanded) {
        Grow(parent, rows);
    }
    if (first && m_listener != nullptr) {
        m_listener->RowsInserted();
    }
}

void VisibleRows::Reveal(CatalogNode& node) {
    std::vector<CatalogNode*> chain;
    for (CatalogNode* at = &node; at != nullptr && at != m_root; at = at->Parent()) {
        chain.push_back(at);
    }
    if (chain.empty() || chain.back()->Parent() != m_root) {
        return; // not in this catalog
    }
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        CatalogNode* parent = (*it)->Parent();
        Children* siblings = ListOf(parent);
        if (siblings == nullptr) {
            siblings = &m_lists[parent];
        }
        if (!siblings->expanded) {
            if (siblings->total > 0) {
                SetExpanded(*parent, true);
            } else {
                siblings->expanded = true;
            }
        }
        if (siblings->PlaceOf(**it) == siblings->nodes.size()) {
            Insert(**it);
        }
    }
}

void VisibleRows::NodeAdded(CatalogNode& node) {
    if (m_root == nullptr) {
        // The first node of an empty catalog brings the Root Node with it: the rows start from
        // it now, the new node to be announced like any other.
        CatalogNode* root = node.Parent();
        if (root == nullptr || root->Parent() != nullptr) {
            return;
        }
        m_root = root;
        Children& top = m_filtering ? m_lists[m_root] : MakeList(*m_root);
        if (!top.nodes.empty() && top.nodes.back() == &node) {
            std::vector<std::int64_t> sizes = top.Sizes();
            sizes.pop_back();
            top.nodes.pop_back();
            top.ordinals.pop_back();
            top.Assign(std::move(top.nodes), std::move(top.ordinals), sizes);
        }
        top.expanded = true;
    }
    if (m_filtering) {
        // What the user adds during a search stays in view, wherever it goes.
        Reveal(node);
        return;
    }
    // In its place by ordinal: last for a new node, by id for a moved one.
    Insert(node);
}

void VisibleRows::NodeAboutToMove(const CatalogNode& node) {
    const CatalogNode* parent = node.Parent();
    Children* siblings = ListOf(parent);
    if (siblings == nullptr) {
        return;
    }
    const std::size_t place = siblings->PlaceOf(node);
    if (place == siblings->nodes.size()) {
        return;
    }
    const std::int64_t rows = siblings->RowsAt(place);
    std::optional<std::int64_t> first;
    if (siblings->expanded) {
        if (const auto above = RowOrRoot(*parent)) {
            first = *above + 1 + siblings->Before(place);
        }
    }
    if (first && m_listener != nullptr) {
        m_listener->RowsAboutToBeRemoved(static_cast<std::size_t>(*first), static_cast<std::size_t>(rows));
    }
    siblings->Remove(place);
    if (parent != m_root && siblings->expanded) {
        Grow(parent, -rows);
    }
    if (first && m_listener != nullptr) {
        m_listener->RowsRemoved();
    }
}

void VisibleRows::NodeAboutToBeRemoved(const CatalogNode& node) {
    if (m_root == nullptr) {
        return;
    }
    NodeAboutToMove(node);
    Forget(node);
}

void VisibleRows::Forget(const CatalogNode& node) {
    m_lastNode = nullptr;
    m_lastList = nullptr;
    for (auto it = m_lists.begin(); it != m_lists.end();) {
        const CatalogNode* above = it->first;
        while (above != nullptr && above != &node) {
            above = above->Parent();
        }
        it = above == &node ? m_lists.erase(it) : std::next(it);
    }
}

void VisibleRows::NodeMoved(CatalogNode& node) {
    NodeAdded(node);
}

void VisibleRows::NodeChanged(const CatalogNode& node) {
    if (m_listener == nullptr || m_root == nullptr) {
        return;
    }
    if (const auto row = RowOf(node)) {
        m_listener->RowChanged(*row);
    }
}

} // namespace mwdx
