#include "operations/trash.h"

#include "catalog/disk_rules.h"
#include "catalog/loader.h"
#include "catalog/paths.h"
#include "catalog/selection.h"
#include "operations/names.h"
#include "operations/steps.h"
#include "platform/home_fs.h"
#include "platform/text_ids.h"
#include "platform/unique_fd.h"
#include "store/connection.h"
#include "store/journal.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace mwdx {
namespace {

// The path below the Home Directory, as the trash shows where a node was; the whole path when it
// lies elsewhere.
std::string PlaceBelow(const std::string& home, const std::string& path) {
    const std::string base = LexicallyNormal(home);
    const std::string normal = LexicallyNormal(path);
    if (normal.size() > base.size() + 1 && IsAtOrBelow(normal, base)) {
        return normal.substr(base.size() + 1);
    }
    return path;
}

NodeId IdOfCatalog(const CatalogNode& catalog) {
    return catalog.Parent() == nullptr ? 0 : catalog.FileId();
}

bool IsFolder(PathKind kind) {
    return kind == PathKind::kFolder || kind == PathKind::kEmptyFolder;
}

// The rows a restore wrote, as nodes under their parents; the first one's node.
CatalogNode* AttachRestored(CatalogModel& catalog, const std::vector<RestoredRow>& rows) {
    for (const RestoredRow& row : rows) {
        AttachLoadedRow(catalog, row.fileName, row.parentId, row.fileId, row.fileType, row.comment, row.rawFileName,
                        row.pathLevel);
    }
    return rows.empty() ? nullptr : catalog.NodeById(rows.front().fileId);
}

// The delete for good of what `journal` names, from its place inside the trash: recorded, put
// aside in one step, the rows forgotten with the journal's word that the files follow, then
// removed. Nothing changes until the rows are gone; after that a crash only delays the removal.
template <class ForgetRows>
OpResult PutAsideAndRemove(const HomeTree& tree, JournalEntry& journal, std::size_t entries,
                           const FileRemovalStep& removal, ForgetRows&& forgetRows) {
    if (const int rc = WriteJournalEntry(journal); rc != kStatementOk) {
        return OpResult::Refused(text::kChangeNotSaved, "the journal cannot be written (" + std::to_string(rc) + ")");
    }
    std::string error;
    if (!tree.RenameNoReplace(journal.fromPath, journal.asidePath, nullptr, &error)) {
        ClearJournalEntry(journal.id);
        return OpResult::Refused(text::kSomeFilesNotDeleted, error);
    }
    journal.step = kJournalRowsWritten;
    {
        Transaction transaction;
        if (transaction.Begin() != kStatementOk || forgetRows() != kStatementOk ||
            SetJournalStep(journal) != kStatementOk || transaction.Commit() != kStatementOk) {
            // The rows stay, and so do their files.
            if (tree.RenameNoReplace(journal.asidePath, journal.fromPath)) {
                ClearJournalEntry(journal.id);
            }
            return OpResult::Refused(text::kChangeNotSaved, "the trash's rows cannot be removed");
        }
    }
    const bool removed = removal ? removal(tree, journal.asidePath, entries, &error)
                                 : RemoveDeletedFiles(tree, journal.asidePath, entries, {}, &error);
    if (!removed) {
        // What is left stays aside; the journal has the next start remove it.
        return OpResult::Done(text::kSomeFilesNotDeleted, error);
    }
    ClearJournalEntryLater(journal.id);
    return OpResult::Done();
}

} // namespace

std::string TrashFolderOf(const std::string& home) {
    return JoinNodePath(home, kTrashFolderName);
}

std::string TrashEntryFolder(const std::string& home, std::int64_t id) {
    return JoinNodePath(TrashFolderOf(home), std::to_string(id));
}

std::string TrashItemPath(const std::string& home, const TrashEntry& entry) {
    return JoinNodePath(TrashEntryFolder(home, entry.id), entry.NameOnDisk());
}

OpResult DeleteToTrashOperation(CatalogModel& catalog, const std::string& home, CatalogNode& node, bool withFiles,
                                const ProgramFiles& program, std::int64_t* entryId) {
    CatalogNode* parent = node.Parent();
    if (parent == nullptr) {
        return OpResult::Refused(text::kSelectToDelete, "the Root Node cannot be deleted");
    }
    const DeletedFiles files = LookAtDeletedFiles(catalog, home, node, withFiles, program);
    const std::string& path = files.path;
    TrashEntry entry;
    entry.nodeId = node.FileId();
    entry.parentId = IdOfCatalog(*parent);
    entry.name = node.Details().fileName;
    entry.fileType = node.FileType();
    entry.place = PlaceBelow(home, path);
    entry.onDisk = std::string(node.NameOnDisk());
    entry.files = files.MayGo();

    if (!entry.files) {
        Transaction transaction;
        if (transaction.Begin() != kStatementOk || MoveRowsToTrash(node, entry) != kStatementOk ||
            transaction.Commit() != kStatementOk) {
            return OpResult::Refused(text::kChangeNotSaved, "the rows of " + path + " cannot be moved to the trash");
        }
        catalog.UnlinkAndFree(*parent, node);
        if (entryId != nullptr) {
            *entryId = entry.id;
        }
        return files.Kept(home);
    }

    const std::string trash = TrashFolderOf(home);
    if (WhatIsAt(trash) == PathKind::kOther) {
        return OpResult::Refused(text::kTrashNotAFolder, trash + " is not a folder");
    }
    const std::string normal = LexicallyNormal(path);
    if (IsAtOrBelow(normal, LexicallyNormal(trash)) || IsAtOrBelow(LexicallyNormal(trash), normal)) {
        return OpResult::Refused(text::kCannotMoveToTrash, path + " is the trash or lies in it");
    }

    // The rows go first, with the journal's word that the files follow, in one transaction: from
    // then on the delete is decided, and a crash only delays the files.
    JournalEntry journal;
    journal.kind = kJournalTrash;
    journal.step = kJournalRowsWritten;
    journal.fromPath = path;
    {
        Transaction transaction;
        bool saved = transaction.Begin() == kStatementOk && MoveRowsToTrash(node, entry) == kStatementOk;
        if (saved) {
            journal.nodeId = entry.id;
            journal.toPath = TrashItemPath(home, entry);
            saved = WriteJournalEntry(journal) == kStatementOk && transaction.Commit() == kStatementOk;
        }
        if (!saved) {
            return OpResult::Refused(text::kChangeNotSaved, "the rows of " + path + " cannot be moved to the trash");
        }
    }

    const HomeTree tree(home);
    std::string error;
    MadeDirectories made;
    bool moved = tree.MakeDirectoryPath(TrashEntryFolder(home, entry.id), &made, &error);
    if (moved) {
        moved = tree.RenameNoReplace(path, journal.toPath, nullptr, &error);
    }
    const int why = errno;
    if (!moved) {
        // Nothing went: the rows come back as they were, and the nodes never left.
        tree.RemoveMadeDirectories(made);
        Transaction transaction;
        if (transaction.Begin() == kStatementOk &&
            PutRowsBack(entry.id, entry.parentId, node.PathLevel()) == kStatementOk &&
            ClearJournalEntry(journal.id) == kStatementOk && transaction.Commit() == kStatementOk) {
            return OpResult::Refused(why == EXDEV ? text::kTrashOtherFileSystem : text::kCannotMoveToTrash, error);
        }
        // The rows stay in the trash, and the journal has the next start move the files after them.
        catalog.UnlinkAndFree(*parent, node);
        return OpResult::Done(text::kSomeFilesNotDeleted, error + "; the rows cannot be put back");
    }
    ClearJournalEntryLater(journal.id);
    catalog.UnlinkAndFree(*parent, node);
    if (entryId != nullptr) {
        *entryId = entry.id;
    }
    return OpResult::Done();
}

ManyNodesResult DeleteNodesToTrashOperation(CatalogModel& catalog, const std::string& home,
                                            const std::vector<CatalogNode*>& nodes, bool withFiles,
                                            const ProgramFiles& program,
                                            const std::function<void(std::size_t done, std::size_t total)>& progress,
                                            std::vector<std::int64_t>* entryIds) {
    ManyNodesResult many;
    // The Root Node is refused on its own, the others still go.
    std::vector<CatalogNode*> below;
    for (CatalogNode* node : nodes) {
        if (node != nullptr && node->Parent() == nullptr) {
            many.refused.push_back({node, OpResult::Refused(text::kSelectToDelete, "the Root Node cannot be deleted")});
        } else {
            below.push_back(node);
        }
    }
    const std::vector<CatalogNode*> top = TopNodes(below);
    std::size_t done = 0;
    int note = 0;
    std::string notes;
    for (CatalogNode* node : top) {
        std::int64_t entry = 0;
        if (OpResult result = DeleteToTrashOperation(catalog, home, *node, withFiles, program, &entry); !result.done) {
            many.refused.push_back({node, std::move(result)});
        } else {
            ++many.acted;
            if (entryIds != nullptr) {
                entryIds->push_back(entry);
            }
            if (result.message != 0 && note == 0) {
                note = result.message;
                notes = std::move(result.detail);
            }
        }
        if (progress) {
            progress(++done, top.size());
        }
    }
    if (many.acted == 0 && !many.refused.empty()) {
        many.result = OpResult::Refused(many.refused.front().why.message, many.refused.front().why.detail);
    } else {
        many.result = OpResult::Done(note, std::move(notes));
    }
    return many;
}

OpResult RestoreFromTrashOperation(CatalogModel& catalog, const std::string& home, std::int64_t id, CatalogNode* into,
                                   CatalogNode** restored) {
    const std::optional<TrashEntry> entry = ReadTrashEntry(id);
    if (!entry) {
        return OpResult::Refused(text::kTrashEntryGone, "no trash entry " + std::to_string(id));
    }
    CatalogNode* root = catalog.EnsureRootNode(home);
    CatalogNode* parent = into;
    if (parent == nullptr) {
        parent = entry->parentId == 0 ? root : catalog.NodeById(entry->parentId);
        if (parent == nullptr || !parent->IsCatalog()) {
            return OpResult::Refused(text::kChooseRestoreCatalog,
                                     "the catalog " + std::to_string(entry->parentId) + " is gone");
        }
    }
    if (root == nullptr || !parent->IsCatalog()) {
        return OpResult::Refused(text::kNoCatalogUnderDocument, "a node can only go into a catalog");
    }
    const std::string target = JoinNodePath(parent->Path(), entry->onDisk);
    if (parent == root && IsReservedTopLevelName(entry->onDisk.substr(0, entry->onDisk.find('/')))) {
        return OpResult::Refused(text::kNameNotUsable, entry->onDisk + " is the index page's at the top level");
    }
    if (parent->AnyChildNamed(entry->onDisk, [](const CatalogNode&) { return true; })) {
        return OpResult::Refused(entry->fileType == kCatalogType ? text::kCatalogNameTaken : text::kFileNameTaken,
                                 target + " is another node's");
    }
    if (OtherNodeLivesAt(catalog, nullptr, target)) {
        return OpResult::Refused(text::kRestorePlaceTaken, target);
    }
    const std::int32_t level = parent->PathLevel() + 1;
    std::vector<RestoredRow> rows;
    const auto attach = [&] {
        CatalogNode* node = AttachRestored(catalog, rows);
        if (restored != nullptr) {
            *restored = node;
        }
        return OpResult::Done();
    };
    if (!entry->files) {
        // Only the rows were in the trash; the disk is as the delete left it.
        Transaction transaction;
        if (transaction.Begin() != kStatementOk ||
            PutRowsBack(id, IdOfCatalog(*parent), level, &rows) != kStatementOk ||
            transaction.Commit() != kStatementOk) {
            return OpResult::Refused(text::kChangeNotSaved, "the rows cannot be written back");
        }
        return attach();
    }

    const HomeTree tree(home);
    if (!tree.Contains(target) || !IsInsideHome(home, target)) {
        return OpResult::Refused(text::kRestoreFailed, target + " is not inside the Home Directory " + home);
    }
    if (WhatIsAt(target) != PathKind::kNothing) {
        return OpResult::Refused(text::kRestorePlaceTaken, target);
    }
    const std::string item = TrashItemPath(home, *entry);
    const PathKind there = WhatIsAt(item);
    if (there == PathKind::kNothing || IsFolder(there) != (entry->fileType == kCatalogType)) {
        return OpResult::Refused(text::kTrashFilesMissing, item + " is not in the trash");
    }

    JournalEntry journal;
    journal.kind = kJournalRestore;
    journal.nodeId = id;
    journal.parentId = IdOfCatalog(*parent);
    journal.fromPath = item;
    journal.toPath = target;
    journal.asidePath = OutermostMissing(home, FolderOf(target)); // what undoing may remove
    journal.name = entry->onDisk;
    journal.fileType = entry->fileType;
    journal.pathLevel = level;
    if (const int rc = WriteJournalEntry(journal); rc != kStatementOk) {
        return OpResult::Refused(text::kChangeNotSaved, "the journal cannot be written (" + std::to_string(rc) + ")");
    }
    std::string error;
    MadeDirectories made;
    if (!tree.RenameNoReplace(item, target, &made, &error)) {
        ClearJournalEntry(journal.id);
        return OpResult::Refused(text::kRestoreFailed, error);
    }
    // The entry's folder, empty now, goes before the rows, so that no crash leaves a folder in the
    // trash that no entry owns.
    MadeDirectories entryFolder{TrashEntryFolder(home, id)};
    tree.RemoveMadeDirectories(entryFolder);
    {
        Transaction transaction;
        if (transaction.Begin() == kStatementOk && PutRowsBack(id, journal.parentId, level, &rows) == kStatementOk &&
            ClearJournalEntry(journal.id) == kStatementOk && transaction.Commit() == kStatementOk) {
            return attach();
        }
    }
    // The rows cannot be written: the files go back into the trash. Should that fail too, the
    // journal has the next start finish the restore.
    tree.MakeDirectoryPath(TrashEntryFolder(home, id));
    if (tree.RenameNoReplace(target, item)) {
        tree.RemoveMadeDirectories(made);
        ClearJournalEntry(journal.id);
    }
    return OpResult::Refused(text::kChangeNotSaved, "the rows of " + target + " cannot be written back");
}

OpResult DeleteFromTrashOperation(const std::string& home, std::int64_t id, const FileRemovalStep& removal) {
    const std::optional<TrashEntry> entry = ReadTrashEntry(id);
    if (!entry) {
        return OpResult::Refused(text::kTrashEntryGone, "no trash entry " + std::to_string(id));
    }
    const std::string folder = TrashEntryFolder(home, id);
    if (WhatIsAt(folder) == PathKind::kNothing) {
        // Nothing of it on disk (deleted without its files, or its files gone): only its rows go.
        return ForgetTrashEntry(id) == kStatementOk
                   ? OpResult::Done()
                   : OpResult::Refused(text::kChangeNotSaved, "the trash's rows cannot be removed");
    }
    JournalEntry journal;
    journal.kind = kJournalPurge;
    journal.nodeId = id;
    journal.fromPath = folder;
    journal.asidePath = JoinNodePath(TrashFolderOf(home), TemporaryName(TemporaryKind::kDeleting, UniqueNumber()));
    return PutAsideAndRemove(HomeTree(home), journal, static_cast<std::size_t>(entry->nodes), removal,
                             [id] { return ForgetTrashEntry(id); });
}

OpResult EmptyTrashOperation(const std::string& home, const FileRemovalStep& removal) {
    int status = kStatementOk;
    const std::vector<TrashEntry> entries = ReadTrash(&status);
    if (status != kStatementOk) {
        return OpResult::Refused(text::kChangeNotSaved, "the trash cannot be read");
    }
    const std::string trash = TrashFolderOf(home);
    const PathKind kind = WhatIsAt(trash);
    if (kind == PathKind::kNothing || kind == PathKind::kOther) {
        // No folder to remove; something that is not a folder is not the program's to remove.
        if (ForgetWholeTrash() != kStatementOk) {
            return OpResult::Refused(text::kChangeNotSaved, "the trash's rows cannot be removed");
        }
        return kind == PathKind::kOther ? OpResult::Done(text::kTrashNotAFolder, trash + " is not a folder")
                                        : OpResult::Done();
    }
    std::size_t nodes = 0;
    for (const TrashEntry& entry : entries) {
        nodes += static_cast<std::size_t>(entry.nodes);
    }
    JournalEntry journal;
    journal.kind = kJournalPurge;
    journal.fromPath = trash;
    journal.asidePath = JoinNodePath(home, TemporaryName(TemporaryKind::kDeleting, UniqueNumber()));
    return PutAsideAndRemove(HomeTree(home), journal, nodes, removal, ForgetWholeTrash);
}

TrashSize MeasureTrash(const std::string& home) {
    TrashSize size;
    const std::string trash = TrashFolderOf(home);
    if (!IsFolder(WhatIsAt(trash))) {
        return size;
    }
    std::vector<UniqueFd> pending;
    pending.emplace_back(HomeTree(home).OpenFolder(trash));
    while (!pending.empty()) {
        const UniqueFd folder = std::move(pending.back());
        pending.pop_back();
        // The stream takes a descriptor of its own, closed with it.
        const int own = folder.Valid() ? ::fcntl(folder.Get(), F_DUPFD_CLOEXEC, 0) : -1;
        DIR* dir = own >= 0 ? ::fdopendir(own) : nullptr;
        if (dir == nullptr) {
            if (own >= 0) {
                ::close(own);
            }
            continue;
        }
        while (const dirent* found = ::readdir(dir)) {
            const std::string_view name = found->d_name;
            struct stat st {};
            if (name == "." || name == ".." || ::fstatat(::dirfd(dir), found->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
                continue;
            }
            ++size.entries;
            if (S_ISDIR(st.st_mode)) {
                pending.emplace_back(
                    ::openat(::dirfd(dir), found->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            } else if (S_ISREG(st.st_mode)) {
                size.bytes += static_cast<std::uint64_t>(st.st_size);
            }
        }
        ::closedir(dir);
    }
    return size;
}

} // namespace mwdx
