#include "operations/recovery.h"

#include "operations/home_move.h"
#include "operations/import_folder.h"
#include "operations/journal_check.h"
#include "operations/repair.h"
#include "operations/steps.h"
#include "operations/trash.h"
#include "platform/home_fs.h"
#include "platform/text_ids.h"
#include "store/connection.h"
#include "store/journal.h"
#include "store/move_rows.h"
#include "store/statements.h"
#include "store/trash_rows.h"

#include <algorithm>

namespace mwdx {
namespace {

bool Exists(const std::string& path) {
    return !path.empty() && WhatIsAt(path) != PathKind::kNothing;
}

bool RowExists(std::int64_t fileId) {
    Statement select("SELECT 1 FROM FILE_NODE WHERE FILE_ID = ?;");
    return select.Bind(1, fileId).Next();
}

// The statement and the entry's end in one transaction.
bool CommitWithClear(const std::string& statement, std::int64_t entryId) {
    Transaction transaction;
    return transaction.Begin() == kStatementOk && ExecStatement(statement) == kStatementOk &&
           ClearJournalEntry(entryId) == kStatementOk && transaction.Commit() == kStatementOk;
}

class Recovery final {
public:
    Recovery(const std::string& home, RecoveryReport& report) : m_home(home), m_tree(home), m_report(report) {}

    void Settle(JournalEntry e) {
        if (!WhyEntryIsRefused(e, m_home).empty()) {
            m_report.refused.push_back(EntryPath(e));
            return;
        }
        if (e.kind == kJournalAddCatalog) {
            AddCatalog(e);
        } else if (e.kind == kJournalAddDocument) {
            AddDocument(e);
        } else if (e.kind == kJournalRename) {
            Rename(e);
        } else if (e.kind == kJournalDelete || e.kind == kJournalPurge) {
            Delete(e);
        } else if (e.kind == kJournalTrash) {
            Trash(e);
        } else if (e.kind == kJournalRestore) {
            Restore(e);
        } else if (e.kind == kJournalMove) {
            Move(e);
        } else if (e.kind == kJournalImportKind) {
            Import(e);
        } else if (e.kind == kJournalHomeMove) {
            HomeMove(e);
        } else if (e.kind == kJournalLocate) {
            // The node's row is there either way: its file arrived whole or not at all.
            for (const std::string& leftover : m_tree.TemporaryNamesIn(FolderOf(e.toPath))) {
                m_tree.RemoveForGood(leftover);
            }
            if (Exists(e.toPath)) {
                ClearJournalEntry(e.id);
            } else {
                RemoveEmptyFoldersUpTo(m_tree, FolderOf(e.toPath), e.asidePath);
                Clear(e, &m_report.undone, e.toPath);
            }
        } else {
            m_report.unresolved.push_back(e.toPath.empty() ? e.fromPath : e.toPath);
        }
    }

private:
    // The row was never written: the folder goes again, if it is still empty and was made then.
    void AddCatalog(const JournalEntry& e) {
        RemoveEmptyFoldersUpTo(m_tree, e.toPath, e.asidePath);
        Clear(e, !e.asidePath.empty() && Exists(e.toPath) ? &m_report.unresolved : &m_report.undone, e.toPath);
    }

    // The file arrived whole (it is only ever published complete): the row follows. Otherwise
    // whatever the transfer left in the folder goes, with the folders it made.
    void AddDocument(const JournalEntry& e) {
        if (Exists(e.toPath)) {
            if (e.parentId != 0 && !RowExists(e.parentId)) {
                Clear(e, &m_report.unresolved, e.toPath);
                return;
            }
            const std::string insert =
                InsertNodeStatement(e.name, e.parentId, e.comment, e.fileType, e.rawFileName, e.pathLevel);
            Record(CommitWithClear(insert, e.id), m_report.finished, e.toPath);
            return;
        }
        for (const std::string& leftover : m_tree.TemporaryNamesIn(FolderOf(e.toPath))) {
            m_tree.RemoveForGood(leftover);
        }
        RemoveEmptyFoldersUpTo(m_tree, FolderOf(e.toPath), e.asidePath);
        Clear(e, &m_report.undone, e.toPath);
    }

    // The folder has its new name: so does the row. It has its old one: nothing happened.
    void Rename(const JournalEntry& e) {
        const bool from = Exists(e.fromPath);
        const bool to = Exists(e.toPath);
        if (to && !from) {
            Record(CommitWithClear(UpdateNodeStatement(e.name, e.comment, e.nodeId), e.id), m_report.finished,
                   e.toPath);
        } else {
            Clear(e, from && !to ? &m_report.undone : &m_report.unresolved, e.fromPath);
        }
    }

    // A delete, or a delete for good from the trash. Rows gone: the files go, from where they were
    // put aside or, if the crash came first, from their place (nothing else can have moved in
    // meanwhile). Nothing left to do is not news.
    // Rows still there (an entry from before the rows): what was put aside comes back.
    void Delete(const JournalEntry& e) {
        const bool aside = Exists(e.asidePath);
        if (e.step == kJournalRowsWritten) {
            const bool pending = Exists(e.fromPath);
            if (!aside && !pending) {
                ClearJournalEntry(e.id);
                return;
            }
            if ((!aside || m_tree.RemoveForGood(e.asidePath)) && (!pending || m_tree.DeletePath(e.fromPath))) {
                Clear(e, &m_report.finished, e.fromPath);
            } else {
                if (Exists(e.asidePath)) {
                    m_tree.RenameNoReplace(e.asidePath, e.fromPath);
                }
                Clear(e, &m_report.unresolved, Exists(e.asidePath) ? e.asidePath : e.fromPath);
            }
            return;
        }
        if (!aside || m_tree.RenameNoReplace(e.asidePath, e.fromPath)) {
            Clear(e, &m_report.undone, e.fromPath);
        } else {
            Clear(e, &m_report.unresolved, e.asidePath);
        }
    }

    // The rows are in the trash: the files follow them there, unless they are there already. Files
    // that cannot follow stay where they are, and the entry keeps only its rows.
    void Trash(const JournalEntry& e) {
        if (Exists(e.toPath)) {
            ClearJournalEntry(e.id);
            return;
        }
        if (Exists(e.fromPath)) {
            MadeDirectories made;
            if (m_tree.MakeDirectoryPath(FolderOf(e.toPath), &made) && m_tree.RenameNoReplace(e.fromPath, e.toPath)) {
                Clear(e, &m_report.finished, e.fromPath);
                return;
            }
            m_tree.RemoveMadeDirectories(made);
        }
        Transaction transaction;
        if (transaction.Begin() == kStatementOk && MarkTrashEntryWithoutFiles(e.nodeId) == kStatementOk &&
            ClearJournalEntry(e.id) == kStatementOk) {
            transaction.Commit();
        }
        m_report.unresolved.push_back(e.fromPath);
    }

    // Back in its place (only ever renamed whole): the rows follow, and the entry's folder goes.
    // Still in the trash: nothing happened but the folders made on the way.
    void Restore(const JournalEntry& e) {
        const bool from = Exists(e.fromPath);
        const bool to = Exists(e.toPath);
        if (to && !from) {
            Transaction transaction;
            const bool saved = transaction.Begin() == kStatementOk &&
                               PutRowsBack(e.nodeId, e.parentId, e.pathLevel) == kStatementOk &&
                               ClearJournalEntry(e.id) == kStatementOk && transaction.Commit() == kStatementOk;
            if (saved) {
                MadeDirectories folder{FolderOf(e.fromPath)};
                m_tree.RemoveMadeDirectories(folder);
            }
            Record(saved, m_report.finished, e.toPath);
            return;
        }
        if (from && !to) {
            RemoveEmptyFoldersUpTo(m_tree, FolderOf(e.toPath), e.asidePath);
            Clear(e, &m_report.undone, e.toPath);
            return;
        }
        m_report.unresolved.push_back(from ? e.fromPath : e.toPath);
    }

    // Going forward, what stands at the new place arrived whole (a rename, or a copy published
    // whole): the rows follow, and an original still standing goes. Turning back (the rows could
    // not be written), what stands at the old place was put back whole: a copy still standing at
    // the new place goes. What a crash cut short lies only under temporary names, which go.
    void Move(const JournalEntry& e) {
        for (const std::string& folder : {FolderOf(e.toPath), FolderOf(e.fromPath)}) {
            for (const std::string& leftover : m_tree.TemporaryNamesIn(folder)) {
                m_tree.RemoveForGood(leftover);
            }
        }
        const bool from = Exists(e.fromPath);
        const bool to = Exists(e.toPath);
        if (e.step == kJournalRollingBack && from) {
            Clear(e, !to || m_tree.DiscardPath(e.toPath) ? &m_report.undone : &m_report.unresolved, e.fromPath);
            return;
        }
        if (to && (!from || m_tree.DiscardPath(e.fromPath))) {
            Transaction transaction;
            const std::int32_t level = LevelOf(e.nodeId);
            const bool saved = level > 0 && transaction.Begin() == kStatementOk &&
                               MoveRows(e.nodeId, e.parentId, e.pathLevel - level) == kStatementOk &&
                               ClearJournalEntry(e.id) == kStatementOk && transaction.Commit() == kStatementOk;
            Record(saved, m_report.finished, e.toPath);
            return;
        }
        if (from && !to) {
            Clear(e, &m_report.undone, e.fromPath);
            return;
        }
        m_report.unresolved.push_back(from ? e.fromPath : e.toPath);
    }

    // Published whole: its rows are written now (a move's originals go once their copies are in
    // place). Still in its hidden folder: that goes, and the originals were never touched.
    void Import(JournalEntry e) {
        if (Exists(e.asidePath)) {
            m_tree.RemoveForGood(e.asidePath);
        }
        if (e.step == kJournalRowsWritten) {
            RemoveMovedOriginals(e.fromPath, e.toPath);
            Clear(e, &m_report.finished, e.toPath);
            return;
        }
        if (!Exists(e.toPath)) {
            Clear(e, &m_report.undone, e.fromPath);
            return;
        }
        Transaction transaction;
        e.step = kJournalRowsWritten;
        const bool saved = transaction.Begin() == kStatementOk &&
                           InsertRowsForFolder(e.toPath, true, e.parentId, e.pathLevel) == kStatementOk &&
                           (e.flags == 1 ? SetJournalStep(e) : ClearJournalEntry(e.id)) == kStatementOk &&
                           transaction.Commit() == kStatementOk;
        if (saved && e.flags == 1) {
            RemoveMovedOriginals(e.fromPath, e.toPath);
            ClearJournalEntry(e.id);
        }
        Record(saved, m_report.finished, e.toPath);
    }

    // The knowledge base goes on to the new Home Directory, or back to the old one when it cannot
    // or was already going back; ROOT_DIR follows where it ends up.
    void HomeMove(JournalEntry e) {
        std::vector<std::string> names{"js", "mwdx_index.html", "mwdx_index.html_bak", kTrashFolderName};
        {
            Statement top("SELECT CASE FILETYPE WHEN 0 THEN FILE_NAME ELSE RAW_FILE_NAME END FROM FILE_NODE "
                          "WHERE PARENT_ID = 0;");
            while (top.Next()) {
                // As a C string: a name is read up to a NUL everywhere else too.
                const std::string name = top.Text(0).c_str();
                if (!name.empty()) {
                    names.push_back(name.substr(0, name.find('/')));
                }
            }
        }
        switch (FinishHomeMove(names, e)) {
        case HomeMoveEnd::kMovedOn: {
            const bool saved = CommitWithClear(UpdateRootDirStatement(e.toPath), e.id);
            if (saved) {
                EndHomeMove(e);
            }
            Record(saved, m_report.finished, e.toPath);
            break;
        }
        case HomeMoveEnd::kPutBack:
            if (ClearJournalEntry(e.id) == kStatementOk) {
                EndHomeMove(e);
                m_report.undone.push_back(e.fromPath);
            } else {
                m_report.unresolved.push_back(e.fromPath);
            }
            break;
        case HomeMoveEnd::kSplit:
            m_report.unresolved.push_back(e.toPath); // the entry stays, turned back
            break;
        }
    }

    static std::int32_t LevelOf(std::int64_t fileId) {
        Statement select("SELECT PATH_LEVEL FROM FILE_NODE WHERE FILE_ID = ?;");
        return select.Bind(1, fileId).Next() ? static_cast<std::int32_t>(select.Integer(0)) : 0;
    }

    void Clear(const JournalEntry& e, std::vector<std::string>* list, const std::string& path) {
        Record(ClearJournalEntry(e.id) == kStatementOk, *list, path);
    }

    // A step the store refused leaves its entry for the next start, and the user told.
    void Record(bool saved, std::vector<std::string>& list, const std::string& path) {
        (saved ? list : m_report.unresolved).push_back(path);
    }

    std::string m_home;
    HomeTree m_tree;
    RecoveryReport& m_report;
};

} // namespace

RecoveryReport RecoverInterruptedCommands(const std::string& home) {
    RecoveryReport report;
    const std::vector<JournalEntry> entries = ReadJournal(&report.status);
    // Against a Home Directory that is not usable no step is safe: the entries wait for a usable one.
    if (!IsUsableHomeDirectory(home)) {
        for (const JournalEntry& entry : entries) {
            report.unresolved.push_back(entry.toPath.empty() ? entry.fromPath : entry.toPath);
        }
        return report;
    }
    Recovery recovery(home, report);
    for (const JournalEntry& entry : entries) {
        recovery.Settle(entry);
    }
    int status = report.status;
    if (const std::vector<JournalEntry> left = ReadJournal(&status); status == kStatementOk && !home.empty()) {
        RemoveEndedMoveMarks(home, left);
    }
    return report;
}

OpResult DiscardRefusedEntries(const std::vector<std::int64_t>& ids, const std::string& home) {
    int status = kStatementOk;
    const std::vector<JournalEntry> entries = ReadJournal(&status);
    Transaction transaction;
    bool saved = status == kStatementOk && transaction.Begin() == kStatementOk;
    for (const JournalEntry& entry : entries) {
        if (saved && std::find(ids.begin(), ids.end(), entry.id) != ids.end() &&
            !WhyEntryIsRefused(entry, home).empty()) {
            saved = ClearJournalEntry(entry.id) == kStatementOk;
        }
    }
    saved = saved && transaction.Commit() == kStatementOk;
    return saved ? OpResult::Done() : OpResult::Refused(text::kChangeNotSaved, "the journal cannot be written");
}

} // namespace mwdx
