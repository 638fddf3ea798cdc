#include "textindex/extraction_worker.h"

#include "platform/program_dir.h"
#include "textindex/worker_protocol.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace mwdx {

namespace {

using Clock = std::chrono::steady_clock;

// How often a wait for the worker looks at the cancel flag.
constexpr int kCancelPollMs = 50;

enum class Wait { kDone, kTimeOut, kCancelled, kBroken };

// Reads exactly `size` bytes before `deadline`.
Wait ReadBefore(int fd, char* buffer, std::size_t size, Clock::time_point deadline, const std::atomic<bool>* cancel) {
    while (size > 0) {
        if (cancel != nullptr && cancel->load()) {
            return Wait::kCancelled;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            return Wait::kTimeOut;
        }
        pollfd ready{fd, POLLIN, 0};
        const int polled = ::poll(&ready, 1, static_cast<int>(std::min<long long>(left, kCancelPollMs)));
        if (polled < 0 && errno != EINTR) {
            return Wait::kBroken;
        }
        if (polled <= 0) {
            continue;
        }
        const ssize_t got = ::recv(fd, buffer, size, 0);
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) {
            continue;
        }
        if (got <= 0) {
            return Wait::kBroken;
        }
        buffer += got;
        size -= static_cast<std::size_t>(got);
    }
    return Wait::kDone;
}

} // namespace

std::string WorkerBesideProgram() {
    const std::string directory = ProgramDirectory();
    return directory.empty() ? std::string() : directory + "/marrowdex-extract";
}

ExtractionWorker::ExtractionWorker(std::string program, ExtractionLimits limits)
    : m_program(std::move(program)), m_limits(limits) {}

ExtractionWorker::~ExtractionWorker() {
    Stop(false);
}

bool ExtractionWorker::Start() {
    int sockets[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0) {
        m_failure = std::string("cannot make a socket: ") + std::strerror(errno);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, sockets[1], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, sockets[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    // Its own process group, so that a terminal's Ctrl+C reaches the program, which ends it.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&attributes, 0);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGTERM);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGHUP);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    const std::string pages = std::to_string(m_limits.pages);
    const std::string chars = std::to_string(m_limits.chars);
    std::vector<char*> argv = {m_program.data(), const_cast<char*>("--pages"), const_cast<char*>(pages.c_str()),
                               const_cast<char*>("--chars"), const_cast<char*>(chars.c_str()), nullptr};
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, m_program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(sockets[1]);
    if (spawned != 0) {
        ::close(sockets[0]);
        m_failure = m_program + ": " + std::strerror(spawned);
        return false;
    }
    m_pid = pid;
    m_socket = sockets[0];
    // A worker that cannot run (a library missing, a wrong file) must not be taken for one that
    // broke on a file: it says hello first.
    WorkerAnswer hello;
    if (ReadBefore(m_socket, reinterpret_cast<char*>(&hello), sizeof hello, Clock::now() + std::chrono::seconds(10),
                   nullptr) != Wait::kDone ||
        hello.magic != kAnswerMagic || hello.textBytes != 0) {
        Stop(true);
        m_failure = m_program + ": the extraction worker did not start";
        return false;
    }
    m_failure.clear();
    return true;
}

void ExtractionWorker::Stop(bool kill) {
    if (m_socket >= 0) {
        ::close(m_socket); // end of input: a worker between files ends by itself
        m_socket = -1;
    }
    if (m_pid > 0) {
        if (kill) {
            ::kill(m_pid, SIGKILL);
        } else {
            // Give it a moment to finish its file's answer and see the end of its input.
            const auto deadline = Clock::now() + std::chrono::milliseconds(500);
            while (::waitpid(m_pid, nullptr, WNOHANG) == 0) {
                if (Clock::now() > deadline) {
                    ::kill(m_pid, SIGKILL);
                    break;
                }
                ::usleep(2000);
            }
        }
        while (::waitpid(m_pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        m_pid = 0;
    }
}

std::optional<Extraction> ExtractionWorker::Extract(const std::string& path, const std::atomic<bool>* cancel) {
    if (path.empty() || path.size() > kMaxRequestBytes || path.find('\0') != std::string::npos) {
        Extraction unreadable;
        unreadable.reason = SkipReason::kUnreadable;
        return unreadable;
    }
    if (m_pid == 0 && !Start()) {
        return std::nullopt;
    }
    const auto deadline = Clock::now() + std::chrono::seconds(m_limits.seconds);
    const auto length = static_cast<std::uint32_t>(path.size());
    Extraction extraction;
    Wait wait = Wait::kBroken;
    WorkerAnswer answer;
    if (SendAll(m_socket, reinterpret_cast<const char*>(&length), sizeof length) &&
        SendAll(m_socket, path.data(), path.size())) {
        wait = ReadBefore(m_socket, reinterpret_cast<char*>(&answer), sizeof answer, deadline, cancel);
        // A text longer than the limit allows (4 bytes a character) is a worker gone wrong.
        if (wait == Wait::kDone &&
            (answer.magic != kAnswerMagic || answer.textBytes > static_cast<std::uint64_t>(m_limits.chars) * 4 + 8)) {
            wait = Wait::kBroken;
        }
        if (wait == Wait::kDone) {
            extraction.text.resize(answer.textBytes);
            wait = ReadBefore(m_socket, extraction.text.data(), extraction.text.size(), deadline, cancel);
        }
    }
    switch (wait) {
    case Wait::kDone:
        extraction.reason = static_cast<SkipReason>(answer.reason);
        extraction.format = static_cast<DocFormat>(answer.format);
        extraction.pages = answer.pages;
        return extraction;
    case Wait::kCancelled:
        Stop(true);
        return std::nullopt;
    case Wait::kTimeOut:
        Stop(true);
        extraction = {};
        extraction.reason = SkipReason::kTimeLimit;
        return extraction;
    case Wait::kBroken:
        break;
    }
    // The worker died on this file (or answered nonsense): the file is what broke it.
    Stop(true);
    extraction = {};
    extraction.reason = SkipReason::kMalformed;
    return extraction;
}

} // namespace mwdx
