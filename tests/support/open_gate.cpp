#include "support/open_gate.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/fanotify.h>
#include <unistd.h>

namespace mwdx::test {

OpenGate::OpenGate(const std::vector<std::string>& files) {
    m_fd = ::fanotify_init(FAN_CLASS_CONTENT | FAN_CLOEXEC | FAN_NONBLOCK, O_RDONLY | O_CLOEXEC);
    if (m_fd < 0) {
        m_reason = std::string("fanotify is not available here (needs root): ") + std::strerror(errno);
        return;
    }
    for (const std::string& file : files) {
        if (::fanotify_mark(m_fd, FAN_MARK_ADD, FAN_OPEN_PERM | FAN_ONDIR, AT_FDCWD, file.c_str()) != 0) {
            m_reason = "cannot watch " + file + ": " + std::strerror(errno);
            ::close(m_fd);
            m_fd = -1;
            return;
        }
    }
    if (::pipe2(m_wake, O_CLOEXEC) != 0) {
        m_reason = std::string("no pipe: ") + std::strerror(errno);
        ::close(m_fd);
        m_fd = -1;
        return;
    }
    m_listener = std::thread([this] { Listen(); });
}

OpenGate::~OpenGate() {
    if (m_fd < 0) {
        return;
    }
    Open();
    m_stop = true;
    const char wake = 'x';
    (void)::write(m_wake[1], &wake, 1);
    m_listener.join();
    ::close(m_fd);
    ::close(m_wake[0]);
    ::close(m_wake[1]);
}

void OpenGate::Listen() {
    alignas(fanotify_event_metadata) char buffer[4096];
    while (!m_stop) {
        pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR) {
            break;
        }
        const ssize_t got = ::read(m_fd, buffer, sizeof buffer);
        if (got <= 0) {
            continue;
        }
        const std::lock_guard lock(m_lock);
        auto* event = reinterpret_cast<const fanotify_event_metadata*>(buffer);
        for (ssize_t left = got; FAN_EVENT_OK(event, left); event = FAN_EVENT_NEXT(event, left)) {
            if (event->fd >= 0) {
                m_waiting.push_back(event->fd);
            }
        }
        AnswerLocked();
    }
}

void OpenGate::AnswerLocked() {
    while (!m_waiting.empty() && (m_open || m_allowance > 0)) {
        const int fd = m_waiting.front();
        m_waiting.pop_front();
        fanotify_response response{};
        response.fd = fd;
        response.response = FAN_ALLOW;
        (void)::write(m_fd, &response, sizeof response);
        ::close(fd);
        ++m_passed;
        if (!m_open) {
            --m_allowance;
        }
    }
    m_changed.notify_all();
}

int OpenGate::Waiting() const {
    const std::lock_guard lock(m_lock);
    return static_cast<int>(m_waiting.size());
}

int OpenGate::Passed() const {
    const std::lock_guard lock(m_lock);
    return m_passed;
}

void OpenGate::Release(int count) {
    const std::lock_guard lock(m_lock);
    m_allowance += count;
    AnswerLocked();
}

void OpenGate::Open() {
    const std::lock_guard lock(m_lock);
    m_open = true;
    AnswerLocked();
}

bool OpenGate::WaitForWaiting(int count, int timeoutMs) const {
    std::unique_lock lock(m_lock);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return static_cast<int>(m_waiting.size()) >= count; });
}

} // namespace mwdx::test
