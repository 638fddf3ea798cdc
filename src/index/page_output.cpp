#include "index/page_output.h"

#include <cerrno>
#include <unistd.h>

namespace mwdx {

namespace {

// Pieces small enough to stay in the processor's cache between being made and being written.
constexpr std::size_t kPieceBytes = std::size_t{1} << 16;

int WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
}

} // namespace

PageOutput::PageOutput(int fd) : m_fd(fd), m_limit(fd >= 0 ? kPieceBytes : std::string::npos) {
    if (m_fd >= 0) {
        m_buffer.reserve(kPieceBytes);
        m_pending.reserve(kPieceBytes);
        m_writer = std::thread(&PageOutput::WriterLoop, this);
    }
}

PageOutput::~PageOutput() {
    if (m_writer.joinable()) {
        {
            std::unique_lock lock(m_mutex);
            WaitUntilIdle(lock);
            m_stop = true;
        }
        m_changed.notify_all();
        m_writer.join();
    }
}

void PageOutput::WaitUntilIdle(std::unique_lock<std::mutex>& lock) {
    m_changed.wait(lock, [this] { return !m_busy; });
}

void PageOutput::Spill() {
    {
        std::unique_lock lock(m_mutex);
        WaitUntilIdle(lock);
        if (m_error == 0) {
            m_pending.swap(m_buffer);
            m_busy = true;
        }
    }
    m_changed.notify_all();
    m_buffer.clear();
}

void PageOutput::WriterLoop() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_busy || m_stop; });
        if (!m_busy) {
            return;
        }
        lock.unlock();
        const int error = WriteAll(m_fd, m_pending);
        m_pending.clear();
        lock.lock();
        if (m_error == 0) {
            m_error = error;
        }
        m_busy = false;
        m_changed.notify_all();
    }
}

bool PageOutput::Flush() {
    if (m_fd < 0) {
        return true;
    }
    if (!m_buffer.empty()) {
        Spill();
    }
    std::unique_lock lock(m_mutex);
    WaitUntilIdle(lock);
    return m_error == 0;
}

int PageOutput::Error() {
    std::unique_lock lock(m_mutex);
    return m_error;
}

} // namespace mwdx
