#include "operations/add_document.h"

#include "catalog/disk_rules.h"
#include "catalog/insert_remove.h"
#include "catalog/paths.h"
#include "operations/names.h"
#include "operations/steps.h"
#include "operations/trash.h"
#include "platform/file_transfer.h"
#include "platform/home_fs.h"
#include "platform/text.h"
#include "platform/text_ids.h"
#include "store/connection.h"
#include "store/journal.h"

#include <climits>
#include <cstdlib>
#include <sys/stat.h>

namespace mwdx {
namespace {

bool SameFile(const struct stat& a, const std::string& path) {
    struct stat b {};
    return ::lstat(path.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

std::string RealPath(const std::string& path) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) {
        return {};
    }
    std::string result(resolved);
    std::free(resolved);
    return result;
}

bool Transfer(const TransferStep& transfer, const HomeTree& tree, const std::string& source,
              const std::string& destination, bool move, std::string* error) {
    if (transfer) {
        return transfer(tree, source, destination, move, error);
    }
    return move ? tree.MoveFileNoReplace(source, destination, error)
                : tree.CopyFileNoReplace(source, destination, error);
}

} // namespace

bool BelongsToKnowledgeBase(const CatalogModel& catalog, const std::string& home, const std::string& source,
                            const ProgramFiles& program) {
    struct stat chosen {};
    if (::lstat(source.c_str(), &chosen) != 0) {
        return false; // nothing there to lose; the transfer will say it is missing
    }
    for (const std::string& file : StoreFilesOf(program)) {
        if (SameFile(chosen, file)) {
            return true;
        }
    }
    if (ProgramPlaces(program, home).Owns(source)) {
        return true;
    }
    const std::string page = JoinNodePath(home, "mwdx_index.html");
    if (SameFile(chosen, page) || SameFile(chosen, page + "_bak")) {
        return true;
    }
    // Where the file really lies (its folder followed through links, its own name kept).
    const std::string realFolder = RealPath(FolderOf(source).empty() ? "." : FolderOf(source));
    const std::string realHome = RealPath(home);
    if (realFolder.empty() || realHome.empty()) {
        return false;
    }
    const std::string real = JoinNodePath(realFolder, source.substr(source.rfind('/') + 1));
    if (IsAtOrBelow(real, JoinNodePath(realHome, "js")) ||
        IsAtOrBelow(real, JoinNodePath(realHome, kTrashFolderName))) {
        return true;
    }
    if (real.size() > realHome.size() + 1 && IsAtOrBelow(real, realHome)) {
        // The same place as the tree names it: the Home Directory as stored, and the rest.
        return OtherNodeLivesAt(catalog, nullptr, home + real.substr(realHome.size()));
    }
    return false;
}

OpResult AddDocumentOperation(CatalogModel& catalog, const std::string& home, const NewDocument& request,
                              const TransferStep& transfer, CatalogNode** added) {
    CatalogNode* parent = request.parent != nullptr && request.parent->Parent() != nullptr ? request.parent : nullptr;
    if (request.source.empty()) {
        return OpResult::Refused(text::kChooseDocument, "no file");
    }
    if (const int refusal = DocumentNameRefusal(request.name)) {
        return OpResult::Refused(refusal, "the name " + request.name + " is refused");
    }
    const std::string name = TrimmedName(request.name);
    const std::string rawFileName = request.source.substr(request.source.rfind('/') + 1);
    if (!IsValidUtf8(rawFileName)) {
        return OpResult::Refused(text::kNameNotUtf8, "the file name " + rawFileName + " is not UTF-8");
    }
    // At the top level the index page's own names would be replaced by the next page.
    if (!IsSafeFileName(rawFileName) || request.comment.find('\0') != std::string::npos ||
        (parent == nullptr && IsReservedTopLevelName(rawFileName))) {
        return OpResult::Refused(text::kNameNotUsable, "the file name " + rawFileName + " cannot be stored");
    }
    const std::string directory = parent != nullptr ? parent->Path() : home;
    const std::string destination = JoinNodePath(directory, rawFileName);
    const HomeTree tree(home);
    if (!tree.Contains(destination) || !IsInsideHome(home, destination)) {
        return OpResult::Refused(text::kTransferFailed, destination + " is not inside the Home Directory " + home);
    }
    if (WhatIsAt(destination) != PathKind::kNothing) {
        return OpResult::Refused(text::kFileNameTaken, destination + " is already there");
    }
    if (request.move && BelongsToKnowledgeBase(catalog, home, request.source, request.program)) {
        return OpResult::Refused(text::kSourceBelongsToStore, request.source + " belongs to the knowledge base");
    }

    JournalEntry entry;
    entry.kind = kJournalAddDocument;
    entry.parentId = parent != nullptr ? parent->Details().fileId : 0;
    entry.fromPath = request.source;
    entry.toPath = destination;
    entry.asidePath = OutermostMissing(home, directory); // the catalog's folder may have gone
    entry.name = name;
    entry.comment = request.comment;
    entry.rawFileName = rawFileName;
    entry.fileType = kDocumentType;
    entry.pathLevel = parent != nullptr ? parent->PathLevel() + 1 : 1;
    entry.flags = request.move ? 1 : 0;
    if (const int rc = WriteJournalEntry(entry); rc != kStatementOk) {
        return OpResult::Refused(text::kAddFailed, "the store cannot be written (" + std::to_string(rc) + ")");
    }
    std::string error;
    MadeDirectories made;
    if (!tree.MakeDirectoryPath(directory, &made, &error) ||
        !Transfer(transfer, tree, request.source, destination, request.move, &error)) {
        tree.RemoveMadeDirectories(made);
        ClearJournalEntry(entry.id);
        return OpResult::Refused(text::kTransferFailed, error);
    }

    CatalogNode* node = nullptr;
    {
        Transaction transaction;
        if (transaction.Begin() == kStatementOk) {
            if (parent == nullptr) {
                catalog.EnsureRootNode(home);
            }
            node = InsertNode(catalog, name, request.comment, kDocumentType, entry.parentId, rawFileName,
                              entry.pathLevel, parent, destination);
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
    // The file goes back where it came from; should that fail, the journal entry stays and the
    // next start completes the add instead, so the file is never left without its row.
    const bool undone = request.move ? MoveFileNoReplace(destination, request.source) : tree.DeletePath(destination);
    if (undone) {
        tree.RemoveMadeDirectories(made);
        ClearJournalEntry(entry.id);
    }
    return OpResult::Refused(text::kAddFailed, "the document could not be saved");
}

} // namespace mwdx
