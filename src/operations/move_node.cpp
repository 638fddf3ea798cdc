#include "operations/move_node.h"

#include "catalog/disk_rules.h"
#include "catalog/paths.h"
#include "catalog/selection.h"
#include "operations/names.h"
#include "operations/steps.h"
#include "platform/home_fs.h"
#include "platform/text_ids.h"
#include "store/connection.h"
#include "store/journal.h"
#include "store/move_rows.h"

#include <algorithm>
#include <cerrno>
#include <unordered_map>
#include <unordered_set>

namespace mwdx {
namespace {

// A name on disk that another child of `parent` already has (looked up in its index of names, so
// a catalog of a million children costs what a small one does).
bool NameTaken(const CatalogNode& parent, const CatalogNode& node) {
    return parent.AnyChildNamed(node.NameOnDisk(), [&node](const CatalogNode& child) {
        return &child != &node && (child.IsCatalog() == node.IsCatalog() || !node.IsCatalog());
    });
}

// The catalog a node dropped on `target` goes into: a document stands for its catalog, nullptr
// for the Root Node.
CatalogNode* NewParentFor(const CatalogModel& catalog, const CatalogNode* target) {
    CatalogNode* newParent = target == nullptr ? catalog.RootNode() : const_cast<CatalogNode*>(target);
    if (newParent != nullptr && !newParent->IsCatalog()) {
        newParent = newParent->Parent();
    }
    return newParent;
}

// Moves what is at `from` to `to` below the Home Directory: one rename, or where the two lie on
// different file systems, a copy published complete and then the original set aside and removed.
// Whatever stands under either name is whole at every moment.
bool MoveOnDisk(const HomeTree& tree, const std::string& from, const std::string& to, bool folder, std::string* error) {
    if (tree.RenameNoReplace(from, to, nullptr, error)) {
        return true;
    }
    if (errno != EXDEV) {
        return false;
    }
    if (!folder) {
        return tree.MoveFileNoReplace(from, to, error);
    }
    if (!tree.CopyFolderInto(from, FolderOf(to), error)) {
        return false;
    }
    if (!tree.DiscardPath(from, error)) {
        tree.DiscardPath(to); // the copy goes again: the original is whole where it was
        return false;
    }
    return true;
}

// The checks of a move into one target, made for one node or for many: what is the same for every
// node (the program's places, the Home Directory, where the target lies once links are followed) is
// looked at once, so that a thousand nodes cost a thousand looks at their own names and places.
class MoveCheck final {
public:
    MoveCheck(const CatalogModel& catalog, const std::string& home, const CatalogNode* target,
              const ProgramFiles& program)
        : m_catalog(catalog), m_home(home), m_normalHome(LexicallyNormal(home)), m_root(catalog.RootNode()),
          m_newParent(NewParentFor(catalog, target)), m_program(program, home), m_tree(home) {}

    // For a move of many: what is on disk at the places looked at, folder by folder.
    void UseLooks(const PlaceLooks* looks) { m_looks = looks; }

    OpResult Check(const CatalogNode& node, bool* stays) {
        if (stays != nullptr) {
            *stays = false;
        }
        if (node.Parent() == nullptr || m_root == nullptr) {
            return OpResult::Refused(text::kMoveFailed, "the Root Node does not move");
        }
        if (m_newParent == node.Parent()) {
            if (stays != nullptr) {
                *stays = true;
            }
            return OpResult::Done();
        }
        for (const CatalogNode* above = m_newParent; above != nullptr; above = above->Parent()) {
            if (above == &node) {
                return OpResult::Refused(text::kMoveIntoItself, "a node cannot go into its own subtree");
            }
        }
        const std::string from = node.Path();
        const std::string to = JoinNodePath(m_newParent->Path(), node.NameOnDisk());
        // At the top level the index page's own names would be replaced by the next page.
        if (m_newParent == m_root && IsReservedTopLevelName(node.NameOnDisk())) {
            return OpResult::Refused(text::kNameNotUsable, to + " is the index page's own name");
        }
        if (NameTaken(*m_newParent, node) || OtherNodeLivesAt(m_catalog, &node, to) ||
            (m_looks != nullptr ? m_looks->Taken(to) : WhatIsAt(to) != PathKind::kNothing)) {
            return OpResult::Refused(node.IsCatalog() ? text::kCatalogNameTaken : text::kFileNameTaken,
                                     to + " is taken");
        }
        if (OtherNodeLivesAt(m_catalog, &node, from)) {
            return OpResult::Refused(text::kFilesKept, "another node lives in " + from);
        }
        if (m_program.Touches(from)) {
            return OpResult::Refused(text::kCannotMoveProgramFiles, from + " is or holds the program's own files");
        }
        if (!m_tree.Contains(from) || !m_tree.Contains(to) || !Inside(from) || !Inside(to)) {
            return OpResult::Refused(text::kSomeFilesNotDeleted, from + " or " + to + " is outside " + m_home);
        }
        return OpResult::Done();
    }

    CatalogNode* NewParent() const { return m_newParent; }

private:
    // IsInsideHome, its answer kept per folder: past the names themselves, it depends only on
    // where the folder lies once links are followed.
    bool Inside(const std::string& path) {
        const std::string normal = LexicallyNormal(path);
        if (normal == m_normalHome || !IsAtOrBelow(normal, m_normalHome)) {
            return false;
        }
        const auto [known, fresh] = m_inside.try_emplace(normal.substr(0, normal.rfind('/')), false);
        if (fresh) {
            known->second = IsInsideHome(m_home, path);
        }
        return known->second;
    }

    const CatalogModel& m_catalog;
    const std::string& m_home;
    std::string m_normalHome;
    const CatalogNode* m_root;
    CatalogNode* m_newParent;
    ProgramPlaces m_program;
    HomeTree m_tree;
    std::unordered_map<std::string, bool> m_inside;
    const PlaceLooks* m_looks = nullptr;
};

} // namespace

OpResult CheckMove(const CatalogModel& catalog, const std::string& home, const CatalogNode& node,
                   const CatalogNode* target, const ProgramFiles& program, bool* stays) {
    return MoveCheck(catalog, home, target, program).Check(node, stays);
}

OpResult MoveNodeOperation(CatalogModel& catalog, const std::string& home, CatalogNode& node, CatalogNode* target,
                           const ProgramFiles& program) {
    bool stays = false;
    if (OpResult check = CheckMove(catalog, home, node, target, program, &stays); !check.done || stays) {
        return check;
    }
    CatalogNode* root = catalog.RootNode();
    CatalogNode* newParent = NewParentFor(catalog, target);
    const std::string from = node.Path();
    const std::string to = JoinNodePath(newParent->Path(), node.NameOnDisk());
    const HomeTree tree(home);

    JournalEntry entry;
    entry.kind = kJournalMove;
    entry.nodeId = node.FileId();
    entry.parentId = newParent == root ? 0 : newParent->FileId();
    entry.fromPath = from;
    entry.toPath = to;
    entry.pathLevel = newParent->PathLevel() + 1;
    entry.fileType = node.FileType();
    const bool onDisk = WhatIsAt(from) != PathKind::kNothing;
    if (onDisk) {
        if (const int rc = WriteJournalEntry(entry); rc != kStatementOk) {
            return OpResult::Refused(text::kChangeNotSaved, "the store cannot be written (" + std::to_string(rc) + ")");
        }
        std::string error;
        if (!MoveOnDisk(tree, from, to, node.IsCatalog(), &error)) {
            ClearJournalEntry(entry.id);
            return OpResult::Refused(text::kMoveFailed, error);
        }
    }
    bool saved = false;
    {
        Transaction transaction;
        saved = transaction.Begin() == kStatementOk &&
                MoveRows(entry.nodeId, entry.parentId, entry.pathLevel - node.PathLevel()) == kStatementOk &&
                (!onDisk || ClearJournalEntry(entry.id) == kStatementOk) && transaction.Commit() == kStatementOk;
    }
    if (!saved) {
        std::string error;
        // Back where it was, the turn recorded first where the store takes it (whatever stands
        // under either name is whole, so a next start that finds the move going forward loses
        // nothing either); failing that, the journal keeps the move for the next start.
        entry.step = kJournalRollingBack;
        if (onDisk) {
            SetJournalStep(entry);
            if (MoveOnDisk(tree, to, from, node.IsCatalog(), &error)) {
                ClearJournalEntry(entry.id);
            }
        }
        return OpResult::Refused(text::kChangeNotSaved, "the rows of " + from + " cannot be written");
    }
    catalog.MoveNode(node, *newParent);
    RebuildPaths(node, node.NameOnDisk());
    return OpResult::Done();
}

namespace {

// One node of a move of many on its way: where it goes, and its journal entry when it has
// something on disk.
struct Leg {
    CatalogNode* node = nullptr;
    JournalEntry entry;
    bool onDisk = false;
    bool moved = false; // on disk, so far
};

// The nodes of a move of many that go, and the refused; those already in the target are neither.
// The folders that many of `nodes` come from or go to are read once, instead of a look at each
// node's own place; a folder with many more entries than nodes is not (a look each costs less).
void ReadSharedFolders(const std::vector<CatalogNode*>& nodes, const CatalogNode* newParent, PlaceLooks& looks) {
    constexpr std::size_t kFewNodes = 32;
    constexpr std::size_t kEntriesPerNode = 4;
    if (nodes.size() < kFewNodes || newParent == nullptr) {
        return;
    }
    std::unordered_map<const CatalogNode*, std::size_t> byParent;
    for (const CatalogNode* node : nodes) {
        if (node != nullptr && node->Parent() != nullptr) {
            ++byParent[node->Parent()];
        }
    }
    byParent[newParent] = nodes.size();
    for (const auto& [parent, count] : byParent) {
        if (count >= kFewNodes && parent->ChildCount() <= count * kEntriesPerNode) {
            looks.ReadFolder(parent->Path());
        }
    }
}

std::vector<CatalogNode*> SortOut(const CatalogModel& catalog, const std::string& home,
                                  const std::vector<CatalogNode*>& nodes, const CatalogNode* target,
                                  const ProgramFiles& program, PlaceLooks& looks,
                                  std::vector<NodeRefusal>* refused) {
    MoveCheck check(catalog, home, target, program);
    const CatalogNode* newParent = check.NewParent();
    ReadSharedFolders(nodes, newParent, looks);
    check.UseLooks(&looks);
    std::unordered_set<std::string> claimed; // the places at the target the nodes before took
    std::vector<CatalogNode*> going;
    // The Root Node is refused on its own; the others are still weighed one by one.
    std::vector<CatalogNode*> below;
    for (CatalogNode* node : nodes) {
        if (node != nullptr && node->Parent() == nullptr) {
            refused->push_back({node, OpResult::Refused(text::kRootDoesNotMove, "the Root Node does not move")});
        } else {
            below.push_back(node);
        }
    }
    for (CatalogNode* node : TopNodes(below)) {
        bool stays = false;
        if (OpResult result = check.Check(*node, &stays); !result.done) {
            refused->push_back({node, std::move(result)});
            continue;
        }
        if (stays) {
            continue;
        }
        std::string to = JoinNodePath(newParent->Path(), node->NameOnDisk());
        if (!claimed.insert(to).second) {
            refused->push_back(
                {node, OpResult::Refused(node->IsCatalog() ? text::kCatalogNameTaken : text::kFileNameTaken,
                                         to + " is taken by another node of the move")});
            continue;
        }
        going.push_back(node);
    }
    return going;
}

// Puts back, last first, what the legs moved on disk: the turn recorded first for all of them, the
// entries of those back in their place cleared. What cannot go back stays in the journal.
void PutBack(const HomeTree& tree, std::vector<Leg>& legs) {
    {
        Transaction transaction;
        if (transaction.Begin() == kStatementOk) {
            for (Leg& leg : legs) {
                if (leg.moved) {
                    leg.entry.step = kJournalRollingBack;
                    SetJournalStep(leg.entry);
                }
            }
            transaction.Commit();
        }
    }
    Transaction transaction;
    const bool open = transaction.Begin() == kStatementOk;
    for (auto leg = legs.rbegin(); leg != legs.rend(); ++leg) {
        if (!leg->onDisk) {
            continue;
        }
        if (!leg->moved || MoveOnDisk(tree, leg->entry.toPath, leg->entry.fromPath, leg->node->IsCatalog(), nullptr)) {
            ClearJournalEntry(leg->entry.id);
        }
    }
    if (open) {
        transaction.Commit();
    }
}

} // namespace

std::vector<NodeRefusal> CheckMoveNodes(const CatalogModel& catalog, const std::string& home,
                                        const std::vector<CatalogNode*>& nodes, const CatalogNode* target,
                                        const ProgramFiles& program, std::size_t* going) {
    std::vector<NodeRefusal> refused;
    PlaceLooks looks;
    const std::size_t count = SortOut(catalog, home, nodes, target, program, looks, &refused).size();
    if (going != nullptr) {
        *going = count;
    }
    return refused;
}

ManyNodesResult MoveNodesOperation(CatalogModel& catalog, const std::string& home,
                                   const std::vector<CatalogNode*>& nodes, CatalogNode* target,
                                   const ProgramFiles& program, const MoveProgress& progress) {
    ManyNodesResult many;
    PlaceLooks looks;
    std::vector<CatalogNode*> going = SortOut(catalog, home, nodes, target, program, looks, &many.refused);
    if (going.empty()) {
        many.result = many.refused.empty() ? OpResult::Done() : OpResult::Refused(many.refused.front().why.message);
        return many;
    }
    // In FILE_ID order each goes last among its new siblings, where it is found at once.
    std::sort(going.begin(), going.end(),
              [](const CatalogNode* a, const CatalogNode* b) { return a->FileId() < b->FileId(); });
    CatalogNode* root = catalog.RootNode();
    CatalogNode* newParent = NewParentFor(catalog, target);
    const std::int64_t parentId = newParent == root ? 0 : newParent->FileId();
    const HomeTree tree(home);

    std::vector<Leg> legs(going.size());
    std::size_t onDisk = 0;
    for (std::size_t i = 0; i < going.size(); ++i) {
        Leg& leg = legs[i];
        leg.node = going[i];
        leg.entry.kind = kJournalMove;
        leg.entry.nodeId = leg.node->FileId();
        leg.entry.parentId = parentId;
        leg.entry.fromPath = leg.node->Path();
        leg.entry.toPath = JoinNodePath(newParent->Path(), leg.node->NameOnDisk());
        leg.entry.pathLevel = newParent->PathLevel() + 1;
        leg.entry.fileType = leg.node->FileType();
        leg.onDisk = looks.Taken(leg.entry.fromPath);
        onDisk += leg.onDisk ? 1 : 0;
    }
    // Every disk step is in the journal before the first one is made.
    if (onDisk > 0) {
        Transaction transaction;
        int rc = transaction.Begin();
        for (std::size_t i = 0; i < legs.size() && rc == kStatementOk; ++i) {
            rc = legs[i].onDisk ? WriteJournalEntry(legs[i].entry) : kStatementOk;
        }
        if (rc == kStatementOk) {
            rc = transaction.Commit();
        }
        if (rc != kStatementOk) {
            many.result =
                OpResult::Refused(text::kChangeNotSaved, "the journal cannot be written (" + std::to_string(rc) + ")");
            return many;
        }
    }
    std::size_t done = 0;
    for (Leg& leg : legs) {
        if (!leg.onDisk) {
            continue;
        }
        std::string error;
        if (!MoveOnDisk(tree, leg.entry.fromPath, leg.entry.toPath, leg.node->IsCatalog(), &error)) {
            PutBack(tree, legs);
            many.result = OpResult::Refused(text::kMoveFailed, error);
            return many;
        }
        leg.moved = true;
        if (progress) {
            progress(++done, onDisk);
        }
    }
    bool saved = false;
    {
        std::vector<RowMove> rows;
        rows.reserve(legs.size());
        for (const Leg& leg : legs) {
            rows.push_back({leg.entry.nodeId, leg.entry.pathLevel - leg.node->PathLevel()});
        }
        Transaction transaction;
        saved = transaction.Begin() == kStatementOk && MoveRowsOfMany(rows, parentId) == kStatementOk;
        for (std::size_t i = 0; saved && i < legs.size(); ++i) {
            saved = !legs[i].onDisk || ClearJournalEntry(legs[i].entry.id) == kStatementOk;
        }
        saved = saved && transaction.Commit() == kStatementOk;
    }
    if (!saved) {
        PutBack(tree, legs);
        many.result = OpResult::Refused(text::kChangeNotSaved, "the rows of the moved nodes cannot be written");
        return many;
    }
    for (const Leg& leg : legs) {
        catalog.MoveNode(*leg.node, *newParent);
        RebuildPaths(*leg.node, leg.node->NameOnDisk());
    }
    many.acted = legs.size();
    many.result = OpResult::Done();
    return many;
}

} // namespace mwdx
