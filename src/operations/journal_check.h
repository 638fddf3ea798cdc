#pragma once

// Whether a journal entry may be carried out. The journal lives in the store, and a store may
// come from anywhere (a backup, a synced folder, another person), so an entry is taken at its word
// only when it fits this knowledge base: its kind, step and flags go together; every path it acts
// on lies inside the Home Directory or is one of the program's own temporary names there; and the
// rows it names agree with it (the node sits where the entry says, the catalog it goes into holds
// the folder it names, a deleted node's rows are gone). A Home Directory move must come from the
// Home Directory the store names, into a folder holding the mark that move left there.
// Reads the store and the disk; changes nothing.

#include "store/journal.h"

#include <string>

namespace mwdx {

// Why `entry` must not be carried out with the Home Directory `home` (the store's ROOT_DIR), in
// English, for the check's detail; empty when it may be. A kind this program does not know is
// not judged (empty): a newer program wrote it, and recovery leaves it alone anyway.
std::string WhyEntryIsRefused(const JournalEntry& entry, const std::string& home);

// The path that names the entry to the user: where its command put something, else where from.
const std::string& EntryPath(const JournalEntry& entry);

} // namespace mwdx
