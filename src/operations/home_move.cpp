#include "operations/home_move.h"

#include "catalog/paths.h"
#include "operations/steps.h"
#include "operations/trash.h"
#include "platform/home_fs.h"
#include "platform/text_ids.h"
#include "platform/unique_fd.h"
#include "store/connection.h"
#include "store/journal.h"
#include "store/settings.h"
#include "store/statements.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace mwdx {
namespace {

// Moves the entry `name` of the folder `from` into the folder `to`, neither replacing anything
// nor following a link: one rename on one file system; across two, a copy published whole, then
// the original set aside under a temporary name and removed there. Whatever stands under its own
// name is therefore whole at every moment; a crash or a failure part-way leaves partial trees
// only under temporary names.
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
    std::string ignored;
    if (!source.DiscardPath(original, error)) {
        target.DiscardPath(JoinNodePath(to, name), &ignored); // the original is whole where it was
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

// Every entry of `names` standing in `newHome` goes back to `oldHome`. One standing in both was
// put back whole before (the journal's phase says the move is going back), and the copy in
// `newHome` goes. True when none is left in `newHome`.
bool PutBack(const std::vector<std::string>& names, const std::string& oldHome, const std::string& newHome,
             std::string* error) {
    bool back = true;
    for (auto name = names.rbegin(); name != names.rend(); ++name) {
        const std::string moved = JoinNodePath(newHome, *name);
        if (WhatIsAt(moved) == PathKind::kNothing) {
            continue;
        }
        std::string ignored;
        const bool gone = WhatIsAt(JoinNodePath(oldHome, *name)) != PathKind::kNothing
                              ? HomeTree(newHome).DiscardPath(moved, &ignored)
                              : MoveEntry(newHome, oldHome, *name, error);
        back = gone && back;
    }
    return back;
}

// The mark's content: the folder the knowledge base comes from.
std::string MarkText(const std::string& oldHome) {
    return oldHome + "\n";
}

void RemoveMoveMark(const JournalEntry& entry) {
    if (!entry.asidePath.empty()) {
        HomeTree(entry.toPath).RemoveForGood(entry.asidePath);
    }
}

} // namespace

std::vector<std::string> KnowledgeBaseEntries(const CatalogModel& catalog, const std::string& home) {
    std::set<std::string> names{"js", "mwdx_index.html", "mwdx_index.html_bak", kTrashFolderName};
    if (const CatalogNode* root = catalog.RootNode()) {
        for (const CatalogNode* child = root->FirstChild(); child != nullptr; child = child->NextSibling()) {
            const std::string_view name = child->NameOnDisk();
            names.emplace(name.substr(0, name.find('/'))); // an old store's "a/b" lives in a
        }
    }
    return Present(std::vector<std::string>(names.begin(), names.end()), home);
}

std::vector<std::string> EntriesToMove(const CatalogModel& catalog, const std::string& home,
                                       const ProgramFiles& program) {
    const std::string from = LexicallyNormal(home);
    const ProgramPlaces places(program, from);
    std::vector<std::string> names;
    for (const std::string& name : KnowledgeBaseEntries(catalog, from)) {
        if (!places.Owns(JoinNodePath(from, name))) {
            names.push_back(name);
        }
    }
    return names;
}

void RehomeCatalog(CatalogModel& catalog, const std::string& newHome) {
    if (CatalogNode* root = catalog.RootNode()) {
        RehomePaths(*root, newHome);
    }
}

std::string WriteMoveMark(const std::string& oldHome, const std::string& newHome, std::string* error) {
    const UniqueFd folder(HomeTree(newHome).OpenFolder(newHome));
    if (!folder.Valid()) {
        *error = "cannot open " + newHome;
        return {};
    }
    UniqueFd mark;
    const std::string name = ReserveTemporaryName(TemporaryKind::kMoveMark, [&](const std::string& candidate) {
        mark.Reset(
            ::openat(folder.Get(), candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
        return mark.Valid();
    });
    const std::string text = MarkText(oldHome);
    const bool written = !name.empty() &&
                         ::write(mark.Get(), text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
                         ::fsync(mark.Get()) == 0 && mark.Close() == 0 && ::fsync(folder.Get()) == 0;
    if (!written) {
        if (!name.empty()) {
            ::unlinkat(folder.Get(), name.c_str(), 0);
        }
        *error = "cannot write a file in " + newHome;
        return {};
    }
    return JoinNodePath(newHome, name);
}

bool IsMoveMarkOf(const JournalEntry& entry) {
    const std::string& mark = entry.asidePath;
    const std::string name = mark.substr(mark.rfind('/') + 1);
    if (FolderOf(mark) != entry.toPath || !IsTemporaryName(name, TemporaryKind::kMoveMark)) {
        return false;
    }
    const UniqueFd folder(HomeTree(entry.toPath).OpenFolder(entry.toPath));
    // Not blocking on a pipe put there in its place.
    const UniqueFd file(
        folder.Valid() ? ::openat(folder.Get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC) : -1);
    struct stat st {};
    const std::string expected = MarkText(entry.fromPath);
    std::string text(expected.size() + 1, '\0');
    return file.Valid() && ::fstat(file.Get(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::read(file.Get(), text.data(), text.size()) == static_cast<ssize_t>(expected.size()) &&
           text.compare(0, expected.size(), expected) == 0;
}

HomeMoveEnd FinishHomeMove(const std::vector<std::string>& names, JournalEntry& entry) {
    const std::string& oldHome = entry.fromPath;
    const std::string& newHome = entry.toPath;
    std::string error;
    // A copy the crash cut short, never published, or an original set aside and partly removed.
    for (const std::string& home : {newHome, oldHome}) {
        for (const std::string& leftover : HomeTree(home).TemporaryNamesIn(home)) {
            if (leftover != entry.asidePath) {
                HomeTree(home).RemoveForGood(leftover);
            }
        }
    }
    if (entry.step != kJournalRollingBack) {
        bool forward = true;
        for (const std::string& name : Present(names, oldHome)) {
            const std::string original = JoinNodePath(oldHome, name);
            // Standing in the new place, it was published whole there: the original goes.
            forward = WhatIsAt(JoinNodePath(newHome, name)) != PathKind::kNothing
                          ? HomeTree(oldHome).DiscardPath(original, &error)
                          : MoveEntry(oldHome, newHome, name, &error);
            if (!forward) {
                break;
            }
        }
        if (forward) {
            return HomeMoveEnd::kMovedOn;
        }
        // Turning back is recorded first, or not done.
        entry.step = kJournalRollingBack;
        if (SetJournalStep(entry) != kStatementOk) {
            return HomeMoveEnd::kSplit;
        }
    }
    return PutBack(names, oldHome, newHome, &error) ? HomeMoveEnd::kPutBack : HomeMoveEnd::kSplit;
}

void EndHomeMove(const JournalEntry& entry) {
    RemoveMoveMark(entry);
}

void RemoveEndedMoveMarks(const std::string& home, const std::vector<JournalEntry>& entries) {
    const HomeTree tree(home);
    for (const std::string& leftover : tree.TemporaryNamesIn(home)) {
        const bool named = std::any_of(entries.begin(), entries.end(),
                                       [&](const JournalEntry& entry) { return entry.asidePath == leftover; });
        if (!named && IsTemporaryName(leftover.substr(leftover.rfind('/') + 1), TemporaryKind::kMoveMark)) {
            tree.RemoveForGood(leftover);
        }
    }
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
        return OpResult::Refused(text::kHomeInsideOther, "one Home Directory lies inside the other");
    }
    const ProgramPlaces program(control.program, from);
    for (const std::string& name : KnowledgeBaseEntries(catalog, from)) {
        if (const std::string path = JoinNodePath(from, name); program.Holds(path)) {
            return OpResult::Refused(text::kCannotMoveProgramFiles, path + " holds the program's own files");
        }
    }
    const std::vector<std::string> names = EntriesToMove(catalog, from, control.program);
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
    entry.asidePath = WriteMoveMark(from, to, &error);
    if (entry.asidePath.empty()) {
        HomeTree(to).RemoveMadeDirectories(made);
        return OpResult::Refused(text::kAddFailed, error);
    }
    if (const int rc = WriteJournalEntry(entry); rc != kStatementOk) {
        RemoveMoveMark(entry);
        HomeTree(to).RemoveMadeDirectories(made);
        return OpResult::Refused(text::kChangeNotSaved, "the store cannot be written (" + std::to_string(rc) + ")");
    }
    std::size_t moved = 0;
    for (const std::string& name : names) {
        if (!MoveEntry(from, to, name, &error)) {
            break;
        }
        if (++moved; control.progress) {
            control.progress(moved, names.size());
        }
    }
    if (moved < names.size()) {
        // Back where everything was, the way back recorded first; the Home Directory stays. What
        // cannot be put back, or a way back the store does not take, is left to the next start.
        entry.step = kJournalRollingBack;
        std::string ignored;
        if (SetJournalStep(entry) == kStatementOk && PutBack(names, from, to, &ignored) &&
            ClearJournalEntry(entry.id) == kStatementOk) {
            RemoveMoveMark(entry);
            HomeTree(to).RemoveMadeDirectories(made);
            return OpResult::Refused(text::kHomeMoveFailed, error);
        }
        return OpResult::Refused(text::kHomeMoveUnfinished, error + "; the next start finishes or undoes the move");
    }
    bool saved = false;
    {
        Transaction transaction;
        SettingsRecord row{};
        if (control.settings != nullptr) {
            row = *control.settings;
            SetRootDir(row, to);
        }
        saved = transaction.Begin() == kStatementOk &&
                (control.settings != nullptr ? SaveSettingsRow(row) : ExecStatement(UpdateRootDirStatement(to))) ==
                    kStatementOk &&
                ClearJournalEntry(entry.id) == kStatementOk && transaction.Commit() == kStatementOk;
    }
    RehomeCatalog(catalog, to);
    if (!saved) {
        // The files are all in the new place, and the tree follows them; the next start finds the
        // entry and writes ROOT_DIR then.
        return OpResult::Done(text::kChangeNotSaved, "ROOT_DIR cannot be written");
    }
    RemoveMoveMark(entry);
    return OpResult::Done();
}

} // namespace mwdx
