#pragma once

// Starting and stopping the program's use of its knowledge base: the one-program locks on the
// store and on its Home Directory, a store made on first start, and a file that is not a store
// (or that another program has locked) left alone. The tools only read and start nothing of this.

#include "platform/instance_lock.h"

#include <cstdint>
#include <string>

namespace mwdx {

enum class StoreStart {
    kReady,     // an existing knowledge base, open and locked for this program
    kCreated,   // there was none (or an empty file): made with the fresh schema, open and locked
    kInUse,     // another window of the program has it; nothing was touched
    kHomeInUse, // another program (with a store of its own) works on its Home Directory; nothing was touched
    kBusy,      // another program holds a lock on the database itself; nothing was touched
    kNotAStore, // the file is not a knowledge base (or lacks its tables); never written to
    kFailed,    // it could not be made or opened; `detail` says why
};

struct StoreStartResult {
    StoreStart status = StoreStart::kFailed;
    std::string detail; // English, for a log or a tool
};

// Takes the knowledge base at `path` for this program: creates it when missing or empty, locks it
// against a second program, opens it as the program's store (OpenStore) and checks that it holds
// FILE_NODE and SYS_CONFIG as the program reads them; then locks its Home Directory (when it has
// a usable one that exists) against a second program with another copy of the store. Only kReady
// and kCreated leave the store open and the locks held; every other status leaves neither.
StoreStartResult StartStore(const std::string& path);

// Closes the store and lets go of the locks.
void StopStore();

// Before the folder `home` becomes the Home Directory: its lock taken into `lock`, while the
// program keeps the one it holds. kLocked also when the program holds that folder's lock already
// (`lock` then stays empty); kHeldByOther when another program works there; kFailed (errno set)
// when the folder cannot be opened, as a missing one cannot.
LockResult TakeHomeLock(const std::string& home, InstanceLock& lock);

// `lock` (from TakeHomeLock) becomes the program's Home Directory lock, held until StopStore; the
// one held before is let go. An empty `lock` changes nothing.
void KeepHomeLock(InstanceLock&& lock);

// Whether another connection changed the store since the last call of RememberStoreVersion (or
// StartStore). A failed look counts as a change: the caller then reloads rather than act blind.
bool StoreChangedElsewhere();
void RememberStoreVersion();

} // namespace mwdx
