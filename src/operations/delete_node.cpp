#include "operations/delete_node.h"

#include "catalog/disk_rules.h"
#include "catalog/insert_remove.h"
#include "operations/steps.h"
#include "platform/home_fs.h"
#include "platform/text_ids.h"
#include "store/connection.h"
#include "store/journal.h"

#include <algorithm>

namespace mwdx {
namespace {

// The rows of the subtree, and the journal entry when there is one, in one transaction.
bool DeleteRows(const CatalogNode& node, JournalEntry* entry) {
    Transaction transaction;
    if (transaction.Begin() != kStatementOk || !DeleteSubtreeRows(node)) {
        return false;
    }
    if (entry != nullptr && WriteJournalEntry(*entry) != kStatementOk) {
        return false;
    }
    return transaction.Commit() == kStatementOk;
}

// The files and folders a node's subtree holds on disk, as the nodes count them.
std::size_t EntriesOf(const CatalogNode& node) {
    std::size_t entries = 1;
    ForEachDescendant(node, [&entries](const CatalogNode&) { ++entries; });
    return entries;
}

} // namespace

bool RemoveDeletedFiles(const HomeTree& tree, const std::string& asidePath, std::size_t entries,
                        const std::function<void(std::size_t done, std::size_t total)>& progress, std::string* error) {
    std::function<void(std::size_t)> removed;
    if (progress) {
        removed = [&progress, entries](std::size_t done) { progress(done, std::max(done, entries)); };
    }
    return tree.RemoveForGood(asidePath, error, removed);
}

OpResult DeletedFiles::Kept(const std::string& home) const {
    if (inUse) {
        return OpResult::Done(text::kFilesKept, "other nodes use " + path);
    }
    if (programFiles) {
        return OpResult::Done(text::kFilesKeptForProgram, path + " is or holds the program's own files");
    }
    if (present && !inside) {
        return OpResult::Done(text::kSomeFilesNotDeleted, path + " is outside the Home Directory " + home);
    }
    return OpResult::Done();
}

DeletedFiles LookAtDeletedFiles(const CatalogModel& catalog, const std::string& home, const CatalogNode& node,
                                bool withFiles, const ProgramFiles& program) {
    DeletedFiles files;
    files.path = node.Path();
    // Another node at or below the path keeps it.
    files.inUse = withFiles && OtherNodeLivesAt(catalog, &node, files.path);
    files.present = withFiles && WhatIsAt(files.path) != PathKind::kNothing;
    files.programFiles = files.present && ProgramPlaces(program, home).Touches(files.path);
    files.inside = HomeTree(home).Contains(files.path) && IsInsideHome(home, files.path);
    return files;
}

OpResult DeleteNodeOperation(CatalogModel& catalog, const std::string& home, CatalogNode& node, bool deleteFiles,
                             const ProgramFiles& program, const FileRemovalStep& removal) {
    CatalogNode* parent = node.Parent();
    if (parent == nullptr) {
        return OpResult::Refused(text::kSelectToDelete, "the Root Node cannot be deleted");
    }
    const DeletedFiles files = LookAtDeletedFiles(catalog, home, node, deleteFiles, program);
    const std::string& path = files.path;
    const HomeTree tree(home);
    if (!files.MayGo()) {
        if (!DeleteRows(node, nullptr)) {
            return OpResult::Refused(text::kChangeNotSaved, "the rows of " + path + " cannot be deleted");
        }
        catalog.UnlinkAndFree(*parent, node);
        return files.Kept(home);
    }

    // The rows go first, with the journal's word that the files are to follow, in one
    // transaction: from then on the delete is decided, and a crash only delays the files.
    JournalEntry entry;
    entry.kind = kJournalDelete;
    entry.step = kJournalRowsWritten;
    entry.nodeId = node.FileId();
    entry.fromPath = path;
    entry.asidePath = FolderOf(path) + "/" + TemporaryName(TemporaryKind::kDeleting, UniqueNumber());
    const std::size_t entries = EntriesOf(node);
    if (!DeleteRows(node, &entry)) {
        return OpResult::Refused(text::kChangeNotSaved, "the rows of " + path + " cannot be deleted");
    }
    catalog.UnlinkAndFree(*parent, node);

    // Aside in one step: what cannot be moved (a locked folder) stays whole.
    std::string error;
    if (!tree.RenameNoReplace(path, entry.asidePath, nullptr, &error)) {
        ClearJournalEntry(entry.id);
        return OpResult::Done(text::kSomeFilesNotDeleted, error);
    }
    const bool removed = removal ? removal(tree, entry.asidePath, entries, &error)
                                 : RemoveDeletedFiles(tree, entry.asidePath, entries, {}, &error);
    if (!removed) {
        // What is left goes back under its own name, where the user can see it; failing that,
        // the journal keeps it for the next start.
        if (tree.RenameNoReplace(entry.asidePath, path)) {
            ClearJournalEntry(entry.id);
        }
        return OpResult::Done(text::kSomeFilesNotDeleted, error);
    }
    ClearJournalEntryLater(entry.id);
    return OpResult::Done();
}

} // namespace mwdx
