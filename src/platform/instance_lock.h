#pragma once

// One program per knowledge base: an exclusive lock on the store's file, and one on its Home
// Directory, that the kernel holds for this process and drops when the process ends, however it
// ends, so a crash never leaves the knowledge base locked. The lock is flock(2), which SQLite's
// own locks (fcntl) do not see, and which a folder takes as well as a file.

#include <string>

namespace mwdx {

enum class LockResult {
    kLocked,      // this process holds it now
    kHeldByOther, // another process (or another lock in this one) holds it
    kFailed,      // the file could not be opened or locked; errno says why
};

class InstanceLock final {
public:
    InstanceLock() = default;
    ~InstanceLock() { Release(); }
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;
    InstanceLock(InstanceLock&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
    InstanceLock& operator=(InstanceLock&& other) noexcept;

    // Locks the existing file or folder at `path` without waiting. A lock held already is released
    // first.
    LockResult Acquire(const std::string& path);
    void Release();
    bool Held() const { return m_fd >= 0; }
    // True when the lock is held on the file or folder that `path` names now.
    bool HeldOn(const std::string& path) const;

private:
    int m_fd = -1;
};

} // namespace mwdx
