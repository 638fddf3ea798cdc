#include "operations/add_catalog.h"

#include "catalog/disk_rules.h"
#include "catalog/insert_remove.h"
#include "operations/names.h"
#include "operations/steps.h"
#include "platform/home_fs.h"
#include "platform/text_ids.h"
#include "store/connection.h"
#include "store/journal.h"

namespace mwdx {

std::string NewCatalogPath(std::string_view parentPath, std::string_view name) {
    std::string path(parentPath);
    if (!path.empty() && path.back() != '/') {
        path += '/';
    }
    path.append(name);
    return path;
}

OpResult AddCatalogOperation(CatalogModel& catalog, const std::string& home, const NewCatalog& request,
                             CatalogNode** added) {
    CatalogNode* parent = request.parent != nullptr && request.parent->Parent() != nullptr ? request.parent : nullptr;
    const CatalogNode* siblingsOf = parent != nullptr ? parent : catalog.RootNode();
    if (const int refusal = CatalogNameRefusal(request.name, siblingsOf, nullptr)) {
        return OpResult::Refused(refusal, "the name " + request.name + " is refused");
    }
    const std::string name = TrimmedName(request.name);
    const std::string path = NewCatalogPath(parent != nullptr ? parent->Path() : home, name);
    // Nothing is made outside the Home Directory, whatever the parent's stored path says.
    const HomeTree tree(home);
    if (!tree.Contains(path) || !IsInsideHome(home, path)) {
        return OpResult::Refused(text::kAddFailed, path + " is not inside the Home Directory " + home);
    }
    // A folder in use or holding files is somebody's: a catalog that took it over would delete
    // them with itself. An empty folder nobody uses may be taken.
    const PathKind there = WhatIsAt(path);
    if (there == PathKind::kOther || there == PathKind::kFolder || OtherNodeLivesAt(catalog, nullptr, path)) {
        return OpResult::Refused(text::kNameTakenOnDisk, path + " is already there");
    }

    JournalEntry entry;
    entry.kind = kJournalAddCatalog;
    entry.parentId = parent != nullptr ? parent->Details().fileId : 0;
    entry.toPath = path;
    entry.asidePath = OutermostMissing(home, path); // what undoing may remove
    entry.name = name;
    entry.comment = request.comment;
    entry.fileType = kCatalogType;
    entry.pathLevel = parent != nullptr ? parent->PathLevel() + 1 : 1;
    if (const int rc = WriteJournalEntry(entry); rc != kStatementOk) {
        return OpResult::Refused(text::kAddFailed, "the store cannot be written (" + std::to_string(rc) + ")");
    }
    std::string error;
    MadeDirectories made;
    if (!tree.MakeDirectoryPath(path, &made, &error)) {
        ClearJournalEntry(entry.id);
        return OpResult::Refused(text::kAddFailed, error);
    }

    CatalogNode* node = nullptr;
    {
        Transaction transaction;
        if (transaction.Begin() == kStatementOk) {
            if (parent == nullptr) {
                catalog.EnsureRootNode(home);
            }
            node = InsertNode(catalog, name, request.comment, kCatalogType, entry.parentId, "", entry.pathLevel, parent,
                              path);
        }
        if (node != nullptr && ClearJournalEntry(entry.id) == kStatementOk && transaction.Commit() == kStatementOk) {
            if (added != nullptr) {
                *added = node;
            }
            return OpResult::Done();
        }
    } // not committed: rolled back here
    if (node != nullptr) {
        catalog.UnlinkAndFree(*node->Parent(), *node);
    }
    tree.RemoveMadeDirectories(made);
    ClearJournalEntry(entry.id); // if even this fails, the next start undoes the rest
    return OpResult::Refused(text::kAddFailed, "the catalog could not be saved");
}

} // namespace mwdx
