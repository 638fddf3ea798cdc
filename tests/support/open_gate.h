#pragma once

// Holds the program's opens of chosen files until the test lets them through, through the
// kernel's own file-access permission events (fanotify): the worker that copies or imports a file
// waits inside open() exactly as it would on a slow disk, with nothing in the program for tests.
// Needs CAP_SYS_ADMIN (root); Reason() says why the gate is not there otherwise.

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace mwdx::test {

class OpenGate final {
public:
    // Gates every open of each of `files` (existing files or folders).
    explicit OpenGate(const std::vector<std::string>& files);
    ~OpenGate(); // lets everything through
    OpenGate(const OpenGate&) = delete;
    OpenGate& operator=(const OpenGate&) = delete;

    bool Active() const { return m_fd >= 0; }
    const std::string& Reason() const { return m_reason; }

    // How many opens wait at the gate now, and how many it has let through.
    int Waiting() const;
    int Passed() const;
    // Lets `count` more opens through (those waiting first).
    void Release(int count = 1);
    // Lets every open through from now on.
    void Open();
    // Waits (without processing events) until `count` opens wait; false after `timeoutMs`.
    bool WaitForWaiting(int count, int timeoutMs = 10000) const;

private:
    void Listen();
    void AnswerLocked();

    int m_fd = -1;
    std::string m_reason;
    std::thread m_listener;
    int m_wake[2] = {-1, -1};
    mutable std::mutex m_lock;
    mutable std::condition_variable m_changed;
    std::deque<int> m_waiting; // the event descriptors of the opens held
    int m_allowance = 0;
    int m_passed = 0;
    bool m_open = false;
    std::atomic<bool> m_stop{false};
};

} // namespace mwdx::test
