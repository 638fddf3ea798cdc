#include "operations/home_move.h"

#include "catalog/paths.h"
#include "operations/steps.h"
#include "platform/home_fs.h"
#include "platform/text_ids.h"
#include "platform/unique_fd.h"
#include "store/connection.h"
#include "store/journal.h"
#include "store/statements.h"

#include <cerrno>
#include <fcntl.h>
#include <set>

namespace mwdx {
namespace {

// Moves the entry `name` of the folder `from` into the folder `to`, neither replacing anything
// nor following a link: one rename on one file system, a copy published whole and then the
// original removed across two.
bool MoveEntry(const std::string& from, const std::string& to, const std::string& name, std::string* error) {
    const HomeTree source(from);
    const HomeTree target(to);
    const UniqueFd fromFd(source.OpenFolder(from));
    const UniqueFd toFd(target.OpenFolder(to));
    if (!fromFd.Valid() || !toFd.Valid()) {
        *error = "cannot open " + (fromFd.Valid() ? to : from);
        return false;
    }
    if (::renameat2(fromFd.Get(), name.c_str(), toFd.Get(), name.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EXDEV) {
        *error = "cannot move " + JoinNodePath(from, name) + " to " + to;
        return false;
    }
    const std::string original = JoinNodePath(from, name);
    if (WhatIsAt(original) == PathKind::kOther) {
        return target.MoveFileNoReplace(original, JoinNodePath(to, name), error);
    }
    if (!target.CopyFolderInto(original, to, error)) {
        return false;
    }
    if (!source.RemoveForGood(original, error)) {
        target.RemoveForGood(JoinNodePath(to, name)); // the copy goes: the original is still whole
        return false;
    }
    return true;
}

std::vector<std::string> Present(const std::vector<std::string>& names, const std::string& folder) {
    std::vector<std::string> there;
    for (const std::string& name : names) {
        if (WhatIsAt(JoinNodePath(folder, name)) != PathKind::kNothing) {
            there.push_back(name);
        }
    }
    return there;
}

} // namespace

std::vector<std::string> KnowledgeBaseEntries(const CatalogModel& catalog, const std::string& home) {
    std::set<std::string> names{"js", "mwdx_index.html", "mwdx_index.html_bak"};
    if (const CatalogNode* root = catalog.RootNode()) {
        for (const CatalogNode* child = root->FirstChild(); child != nullptr; child = child->NextSibling()) {
            const std::string_view name = child->NameOnDisk();
            names.emplace(name.substr(0, name.find('/'))); // an old store's "a/b" lives in a
        }
    }
    return Present(std::vector<std::string>(names.begin(), names.end()), home);
}

void RehomeCatalog(CatalogModel& catalog, const std::string& newHome) {
    if (CatalogNode* root = catalog.RootNode()) {
        RehomePaths(*root, newHome);
    }
}

bool FinishHomeMove(const std::vector<std::string>& names, const std::string& oldHome, const std::string& newHome) {
    std::string error;
    // A copy the crash cut short, never published.
    for (const std::string& home : {newHome, oldHome}) {
        for (const std::string& leftover : HomeTree(home).TemporaryNamesIn(home)) {
            HomeTree(home).RemoveForGood(leftover);
        }
    }
    bool forward = true;
    for (const std::string& name : Present(names, oldHome)) {
        const std::string moved = JoinNodePath(newHome, name);
        if (WhatIsAt(moved) != PathKind::kNothing) {
            // Copied over whole before the crash: what is left of the original goes.
            forward = HomeTree(oldHome).RemoveForGood(JoinNodePath(oldHome, name), &error) && forward;
        } else {
            forward = MoveEntry(oldHome, newHome, name, &error) && forward;
        }
    }
    if (forward) {
        return true;
    }
    for (const std::string& name : Present(names, newHome)) {
        if (WhatIsAt(JoinNodePath(oldHome, name)) == PathKind::kNothing) {
            MoveEntry(newHome, oldHome, name, &error);
        }
    }
    return false;
}

OpResult MoveHomeOperation(CatalogModel& catalog, const std::string& oldHome, const std::string& newHome,
                           const HomeMoveControl& control) {
    if (!IsUsableHomeDirectory(oldHome) || !IsUsableHomeDirectory(newHome)) {
        return OpResult::Refused(text::kHomeNotUsable, oldHome + " or " + newHome + " is not usable");
    }
    const std::string from = LexicallyNormal(oldHome);
    const std::string to = LexicallyNormal(newHome);
    if (from == to) {
        return OpResult::Done();
    }
    if (IsAtOrBelow(to, from) || IsAtOrBelow(from, to)) {
        return OpResult::Refused(text::kMoveIntoItself, "one Home Directory lies inside the other");
    }
    std::vector<std::string> names;
    const ProgramPlaces program(control.program, from);
    for (const std::string& name : KnowledgeBaseEntries(catalog, from)) {
        const std::string path = JoinNodePath(from, name);
        if (program.Holds(path)) {
            return OpResult::Refused(text::kCannotMoveProgramFiles, path + " holds the program's own files");
        }
        if (!program.Owns(path)) {
            names.push_back(name);
        }
    }
    std::string error;
    MadeDirectories made;
    if (!HomeTree(to).MakeDirectoryPath(to, &made, &error)) {
        return OpResult::Refused(text::kAddFailed, error);
    }
    for (const std::string& name : names) {
        if (WhatIsAt(JoinNodePath(to, name)) != PathKind::kNothing) {
            HomeTree(to).RemoveMadeDirectories(made);
            return OpResult::Refused(text::kNameTakenOnDisk, JoinNodePath(to, name) + " is already there");
        }
    }
    JournalEntry entry;
    entry.kind = kJournalHomeMove;
    entry.fromPath = from;
    entry.toPath = to;
    if (const int rc = WriteJournalEntry(entry); rc != kStatementOk) {
        return OpResult::Refused(text::kChangeNotSaved, "the store cannot be written (" + std::to_string(rc) + ")");
    }
    std::vector<std::string> moved;
    for (const std::string& name : names) {
        if (!MoveEntry(from, to, name, &error)) {
            // Back where everything was; the Home Directory stays.
            std::string ignored;
            bool back = true;
            for (auto it = moved.rbegin(); it != moved.rend(); ++it) {
                back = MoveEntry(to, from, *it, &ignored) && back;
            }
            if (back) {
                ClearJournalEntry(entry.id);
            }
            return OpResult::Refused(text::kMoveFailed, error);
        }
        moved.push_back(name);
        if (control.progress) {
            control.progress(moved.size(), names.size());
        }
    }
    bool saved = false;
    {
        Transaction transaction;
        saved = transaction.Begin() == kStatementOk && ExecStatement(UpdateRootDirStatement(to)) == kStatementOk &&
                ClearJournalEntry(entry.id) == kStatementOk && transaction.Commit() == kStatementOk;
    }
    RehomeCatalog(catalog, to);
    if (!saved) {
        // The files are all in the new place, and the tree follows them; the next start finds the
        // entry and writes ROOT_DIR then.
        return OpResult::Done(text::kChangeNotSaved, "ROOT_DIR cannot be written");
    }
    return OpResult::Done();
}

} // namespace mwdx
