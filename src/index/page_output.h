#pragma once

// Where the index page's bytes go: a file, written in pieces by a thread of its own while the
// next piece is being made, or a string in memory.

#include <condition_variable>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace mwdx {

class PageOutput final {
public:
    // fd < 0: keep everything in memory (Text()). Otherwise the descriptor stays the caller's.
    explicit PageOutput(int fd = -1);
    ~PageOutput(); // waits for the last piece; call Flush first to learn whether it was written
    PageOutput(const PageOutput&) = delete;
    PageOutput& operator=(const PageOutput&) = delete;

    void Append(std::string_view bytes) {
        if (m_buffer.size() + bytes.size() > m_limit) {
            Spill();
        }
        m_buffer.append(bytes);
    }

    // Writes everything appended so far and waits for it. False once any write failed (the
    // errno of that failure in Error()); after a failure everything later is dropped.
    bool Flush();
    int Error();

    // Everything appended, when there is no descriptor.
    const std::string& Text() const { return m_buffer; }

private:
    void Spill(); // hands the full buffer to the writer thread
    void WriterLoop();
    void WaitUntilIdle(std::unique_lock<std::mutex>& lock);

    int m_fd;
    std::size_t m_limit;
    std::string m_buffer;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::string m_pending; // the piece being written; the writer's alone while m_busy
    bool m_busy = false;
    bool m_stop = false;
    int m_error = 0;
    std::thread m_writer;
};

} // namespace mwdx
