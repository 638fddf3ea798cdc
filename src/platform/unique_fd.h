#pragma once

// An open file descriptor with one owner, closed when the owner goes.

#include <cerrno>
#include <unistd.h>

namespace mwdx {

class UniqueFd final {
public:
    explicit UniqueFd(int fd = -1) : m_fd(fd) {}
    ~UniqueFd() { Close(); }
    UniqueFd(UniqueFd&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            Reset(other.m_fd);
            other.m_fd = -1;
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const { return m_fd; }
    // Hands the descriptor over to the caller, who closes it.
    int Release() {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    bool Valid() const { return m_fd >= 0; }
    void Reset(int fd) {
        Close();
        m_fd = fd;
    }
    // 0, or the errno of a failed close (a network file system may report a lost write only here).
    // errno itself is left as it was, so a caller can close on its way out of a failure.
    int Close() {
        int code = 0;
        if (m_fd >= 0) {
            const int saved = errno;
            if (::close(m_fd) != 0) {
                code = errno;
            }
            errno = saved;
        }
        m_fd = -1;
        return code;
    }

private:
    int m_fd;
};

} // namespace mwdx
