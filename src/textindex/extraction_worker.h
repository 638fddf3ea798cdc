#pragma once

// The index's side of the extraction worker (marrowdex-extract): one child process, started on
// first use and again after it died or was killed, that reads files one at a time. The worker is
// the only place where PDF and office files are parsed; here only its answers are read, each within
// the time limit.

#include "textindex/extraction.h"

#include <atomic>
#include <optional>
#include <string>
#include <sys/types.h>

namespace mwdx {

// Where marrowdex-extract is: beside the running program.
std::string WorkerBesideProgram();

class ExtractionWorker final {
public:
    ExtractionWorker(std::string program, ExtractionLimits limits);
    ~ExtractionWorker(); // ends the worker
    ExtractionWorker(const ExtractionWorker&) = delete;
    ExtractionWorker& operator=(const ExtractionWorker&) = delete;

    // The file's text, or why there is none. A worker that does not answer within the time limit
    // is killed (kTimeLimit); one that dies on the file gives kMalformed. Empty when the worker
    // cannot be started (Failure() says why) or when `cancel` was set meanwhile (then the worker is
    // killed at once: cancelling never waits for a slow file).
    std::optional<Extraction> Extract(const std::string& path, const std::atomic<bool>* cancel = nullptr);

    // Why the worker could not be started, in English; empty while it could.
    const std::string& Failure() const { return m_failure; }

    // The worker's process id while one runs, else 0 (for tests).
    pid_t WorkerId() const { return m_pid; }

private:
    bool Start();
    void Stop(bool kill);

    std::string m_program;
    ExtractionLimits m_limits;
    pid_t m_pid = 0;
    int m_socket = -1;
    std::string m_failure;
};

} // namespace mwdx
