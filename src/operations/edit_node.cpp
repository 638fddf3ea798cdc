#include "operations/edit_node.h"

#include "catalog/disk_rules.h"
#include "catalog/paths.h"
#include "operations/names.h"
#include "operations/steps.h"
#include "platform/home_fs.h"
#include "platform/text_ids.h"
#include "store/connection.h"
#include "store/journal.h"
#include "store/statements.h"

namespace mwdx {

namespace {

// The text as a text box shows it: CR LF and a lone CR end a line as LF does.
std::string WithLineFeeds(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r') {
            result += text[i];
        } else if (i + 1 >= text.size() || text[i + 1] != '\n') {
            result += '\n';
        }
    }
    return result;
}

} // namespace

OpResult EditNodeOperation(CatalogModel& catalog, const std::string& home, CatalogNode& node,
                           const std::string& typedName, const std::string& typedComment, const ProgramFiles& program,
                           bool useUntrackedFolder) {
    const NodeDetails old = node.Details();
    // What the user left as it was shown keeps its stored bytes.
    const std::string name = EditedName(typedName, old.fileName);
    const std::string comment = WithLineFeeds(typedComment) == WithLineFeeds(old.comment) ? old.comment : typedComment;
    if (name == old.fileName && comment == old.comment) {
        return OpResult::Done();
    }
    if (name != old.fileName) {
        const int refusal =
            node.IsCatalog() ? CatalogNameRefusal(name, node.Parent(), &node) : DocumentNameRefusal(name);
        if (refusal != 0) {
            return OpResult::Refused(refusal, "the name " + name + " is refused");
        }
    }
    if (comment.find('\0') != std::string::npos) {
        return OpResult::Refused(text::kNameNotUsable, "a NUL character cannot be stored");
    }
    const bool renamed = node.IsCatalog() && name != old.fileName && node.Parent() != nullptr;
    const std::string oldPath = node.Path();
    const HomeTree tree(home);
    JournalEntry entry;
    if (renamed) {
        const std::string newPath = JoinNodePath(node.Parent()->Path(), name);
        // The folder would take along files that nodes elsewhere in the tree still use.
        if (OtherNodeLivesAt(catalog, &node, oldPath)) {
            return OpResult::Refused(text::kFilesKept, "another node lives in " + oldPath);
        }
        if (OtherNodeLivesAt(catalog, &node, newPath)) {
            return OpResult::Refused(text::kCatalogNameTaken, "another node lives at " + newPath);
        }
        if (ProgramPlaces(program, home).Touches(oldPath)) {
            return OpResult::Refused(text::kCannotMoveProgramFiles, oldPath + " holds the program's own files");
        }
        if (WhatIsAt(oldPath) == PathKind::kNothing) {
            // Nothing moves: the node's path will simply name what lies at the new one, and a
            // later delete with files would take it along.
            switch (WhatIsAt(newPath)) {
            case PathKind::kNothing:
            case PathKind::kEmptyFolder:
                break;
            case PathKind::kFolder:
                if (!useUntrackedFolder) {
                    return OpResult::Refused(text::kUseUntrackedFolder, newPath + " holds what no catalog owns");
                }
                break;
            case PathKind::kOther:
                return OpResult::Refused(text::kNameTakenOnDisk, newPath + " is already there");
            }
        } else {
            if (!tree.Contains(oldPath) || !tree.Contains(newPath) || !IsInsideHome(home, oldPath) ||
                !IsInsideHome(home, newPath)) {
                return OpResult::Refused(text::kRenameFailed, oldPath + " or " + newPath + " is outside " + home);
            }
            entry.kind = kJournalRename;
            entry.nodeId = old.fileId;
            entry.fromPath = oldPath;
            entry.toPath = newPath;
            entry.name = name;
            entry.comment = comment;
            if (const int rc = WriteJournalEntry(entry); rc != kStatementOk) {
                return OpResult::Refused(text::kChangeNotSaved,
                                         "the store cannot be written (" + std::to_string(rc) + ")");
            }
            std::string error;
            if (!tree.RenameNoReplace(oldPath, newPath, nullptr, &error)) {
                ClearJournalEntry(entry.id);
                return OpResult::Refused(text::kRenameFailed, error);
            }
        }
    }

    bool saved = false;
    {
        Transaction transaction;
        saved = transaction.Begin() == kStatementOk &&
                ExecStatement(UpdateNodeStatement(name, comment, old.fileId)) == kStatementOk &&
                (entry.id == 0 || ClearJournalEntry(entry.id) == kStatementOk) && transaction.Commit() == kStatementOk;
    }
    if (!saved) {
        if (entry.id != 0) {
            // Back to where it was; should even that fail, the journal entry stays and the next
            // start finishes the rename instead.
            if (tree.RenameNoReplace(entry.toPath, entry.fromPath)) {
                ClearJournalEntry(entry.id);
            }
        }
        return OpResult::Refused(text::kChangeNotSaved, "the row of " + oldPath + " cannot be written");
    }
    if (renamed) {
        RebuildPaths(node, name);
    }
    NodeDetails details;
    FillNodeDetails(details, old.fileId, name, old.parentId, comment, old.rawFileName);
    catalog.ReplaceNodeDetails(node, details);
    return OpResult::Done();
}

} // namespace mwdx
