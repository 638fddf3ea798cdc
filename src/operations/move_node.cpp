#include "operations/move_node.h"

#include "catalog/disk_rules.h"
#include "catalog/paths.h"
#include "operations/names.h"
#include "operations/steps.h"
#include "platform/home_fs.h"
#include "platform/text_ids.h"
#include "store/connection.h"
#include "store/journal.h"
#include "store/move_rows.h"

#include <cerrno>

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

} // namespace

OpResult CheckMove(const CatalogModel& catalog, const std::string& home, const CatalogNode& node,
                   const CatalogNode* target, const ProgramFiles& program, bool* stays) {
    if (stays != nullptr) {
        *stays = false;
    }
    const CatalogNode* root = catalog.RootNode();
    if (node.Parent() == nullptr || root == nullptr) {
        return OpResult::Refused(text::kMoveFailed, "the Root Node does not move");
    }
    const CatalogNode* newParent = NewParentFor(catalog, target);
    if (newParent == node.Parent()) {
        if (stays != nullptr) {
            *stays = true;
        }
        return OpResult::Done();
    }
    for (const CatalogNode* above = newParent; above != nullptr; above = above->Parent()) {
        if (above == &node) {
            return OpResult::Refused(text::kMoveIntoItself, "a node cannot go into its own subtree");
        }
    }
    const std::string from = node.Path();
    const std::string to = JoinNodePath(newParent->Path(), node.NameOnDisk());
    // At the top level the index page's own names would be replaced by the next page.
    if (newParent == root && IsReservedTopLevelName(node.NameOnDisk())) {
        return OpResult::Refused(text::kNameNotUsable, to + " is the index page's own name");
    }
    if (NameTaken(*newParent, node) || OtherNodeLivesAt(catalog, &node, to) || WhatIsAt(to) != PathKind::kNothing) {
        return OpResult::Refused(node.IsCatalog() ? text::kCatalogNameTaken : text::kFileNameTaken, to + " is taken");
    }
    if (OtherNodeLivesAt(catalog, &node, from)) {
        return OpResult::Refused(text::kFilesKept, "another node lives in " + from);
    }
    if (ProgramPlaces(program, home).Touches(from)) {
        return OpResult::Refused(text::kCannotMoveProgramFiles, from + " is or holds the program's own files");
    }
    const HomeTree tree(home);
    if (!tree.Contains(from) || !tree.Contains(to) || !IsInsideHome(home, from) || !IsInsideHome(home, to)) {
        return OpResult::Refused(text::kSomeFilesNotDeleted, from + " or " + to + " is outside " + home);
    }
    return OpResult::Done();
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

} // namespace mwdx
