#include "platform/instance_lock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mwdx {

LockResult InstanceLock::Acquire(const std::string& path) {
    Release();
    // Read-only is enough for flock, and works for a store the user may not write.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return LockResult::kFailed;
    }
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int code = errno;
        ::close(fd);
        errno = code;
        return code == EWOULDBLOCK ? LockResult::kHeldByOther : LockResult::kFailed;
    }
    m_fd = fd;
    return LockResult::kLocked;
}

InstanceLock& InstanceLock::operator=(InstanceLock&& other) noexcept {
    if (this != &other) {
        Release();
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    return *this;
}

bool InstanceLock::HeldOn(const std::string& path) const {
    struct stat held {};
    struct stat named {};
    return m_fd >= 0 && ::fstat(m_fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
           held.st_ino == named.st_ino;
}

void InstanceLock::Release() {
    if (m_fd >= 0) {
        ::close(m_fd); // closing the only descriptor of the open file drops its flock
        m_fd = -1;
    }
}

} // namespace mwdx
