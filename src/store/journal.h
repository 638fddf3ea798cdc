#pragma once

// The command journal: what a command that changes both the store and the disk is about to do,
// written and made durable before its first step on disk, and cleared in the same transaction as
// its rows. After a crash at any moment, the entries left tell the next start what to finish or
// undo. The table is made on first use, so loading a store never writes to it.

#include <cstdint>
#include <string>
#include <vector>

namespace mwdx {

// What a command is. The text is stored, so values never change meaning.
inline constexpr const char* kJournalAddCatalog = "add-catalog";
inline constexpr const char* kJournalAddDocument = "add-document";
inline constexpr const char* kJournalRename = "rename";
inline constexpr const char* kJournalDelete = "delete";
inline constexpr const char* kJournalMove = "move";
// The trash's commands: a delete into the trash, a restore from it, a delete for good from it
// (of one entry, or of the whole trash when emptying it).
inline constexpr const char* kJournalTrash = "trash";
inline constexpr const char* kJournalRestore = "restore";
inline constexpr const char* kJournalPurge = "purge";

// How far a command got. kStarted: its disk step may have begun, its rows are not written.
// kRowsWritten: its rows are committed; only clean-up on disk remains. kRollingBack: it failed
// part-way and is putting back what it did, its rows never written; recorded before the first
// step back, so that the next start goes on putting back and knows that what stands in the old
// place was put back whole.
inline constexpr int kJournalStarted = 0;
inline constexpr int kJournalRowsWritten = 1;
inline constexpr int kJournalRollingBack = 2;

// Every member has its default, so that an entry can be written with only the fields its kind uses.
struct JournalEntry {
    std::int64_t id = 0; // given when written
    std::string kind{};
    int step = kJournalStarted;
    // The node the command works on (0 for a node not yet inserted) and its (new) parent. The
    // trash's commands name their trash entry instead of a node (0 for the whole trash).
    std::int64_t nodeId = 0;
    std::int64_t parentId = 0;
    // Paths on disk: where something is (from), where it goes (to), where it was put aside.
    std::string fromPath{};
    std::string toPath{};
    std::string asidePath{};
    // The row the command writes, where it writes one.
    std::string name{};
    std::string comment{};
    std::string rawFileName{};
    std::int32_t fileType = 0;
    std::int32_t pathLevel = 0;
    std::int32_t flags = 0; // the command's own (the add: 1 when the file is moved in)
};

// Writes `entry` in a transaction of its own, so that it is on disk before the command's first
// step; sets entry.id. kStatementOk, or the SQLite code of the failure (then nothing is written,
// and the command must not start).
int WriteJournalEntry(JournalEntry& entry);

// Records a later step of the entry (and its aside path). In the caller's transaction when one is
// open, else in one of its own. kStatementOk or the failure's code.
int SetJournalStep(const JournalEntry& entry);

// Removes the entry: in the caller's transaction (with the command's rows) when one is open.
int ClearJournalEntry(std::int64_t id);

// Removes the entry with the next entry written (in that one's transaction), or when the store is
// stopped: for an entry whose command is complete, so that a crash before then leaves the next
// start nothing to do but remove it. Spares the command a commit of its own. The store must be
// the same when the removal happens.
void ClearJournalEntryLater(std::int64_t id);

// Removes the entries left for later now, in a transaction of its own.
int ClearJournalEntriesLeftForLater();

// Every entry, oldest first. A store without the table has none. kStatementOk or the failure's
// code in *status.
std::vector<JournalEntry> ReadJournal(int* status = nullptr);

} // namespace mwdx
