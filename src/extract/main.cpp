// marrowdex-extract [--pages N] [--chars N]: the extraction worker. Reads requests (a file's path)
// on standard input and answers each with the file's text on standard output (one socket, which
// the index passes as both), in the framing of textindex/worker_protocol.h, until its input ends.
// It runs as a process of its own, at a lower priority, so a file that crashes or hangs a reader
// takes only the worker with it; the index kills it when a file takes too long.

#include "extract/extract.h"
#include "textindex/worker_protocol.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <unistd.h>

namespace {

bool ReadAll(int fd, void* buffer, std::size_t size) {
    auto* bytes = static_cast<char*>(buffer);
    while (size > 0) {
        const ssize_t got = ::read(fd, bytes, size);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        bytes += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    mwdx::ExtractionLimits limits;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string_view option = argv[i];
        const long long value = std::atoll(argv[i + 1]);
        if (option == "--pages" && value > 0) {
            limits.pages = static_cast<std::int32_t>(value);
        } else if (option == "--chars" && value > 0) {
            limits.chars = value;
        } else {
            std::fprintf(stderr, "usage: marrowdex-extract [--pages N] [--chars N] (requests on standard input)\n");
            return 2;
        }
    }
    // Behind the window in the queue for the processor, and bounded in memory: a file that would
    // take more fails to read instead of starving the machine.
    ::setpriority(PRIO_PROCESS, 0, 10);
#if !defined(__SANITIZE_THREAD__) // the race checker's shadow memory alone is beyond the limit
    const rlimit memory{rlim_t{3} << 30, rlim_t{3} << 30};
    ::setrlimit(RLIMIT_AS, &memory);
#endif
    const mwdx::WorkerAnswer hello;
    if (!mwdx::SendAll(STDOUT_FILENO, &hello, sizeof hello)) {
        return 0;
    }
    for (;;) {
        std::uint32_t length = 0;
        if (!ReadAll(STDIN_FILENO, &length, sizeof length)) {
            return 0;
        }
        if (length == 0 || length > mwdx::kMaxRequestBytes) {
            return 2;
        }
        std::string path(length, '\0');
        if (!ReadAll(STDIN_FILENO, path.data(), length)) {
            return 0;
        }
        const mwdx::Extraction extraction = mwdx::ExtractFile(path, limits);
        mwdx::WorkerAnswer answer;
        answer.reason = static_cast<std::int32_t>(extraction.reason);
        answer.format = static_cast<std::int32_t>(extraction.format);
        answer.pages = extraction.pages;
        answer.textBytes = extraction.text.size();
        if (!mwdx::SendAll(STDOUT_FILENO, &answer, sizeof answer) ||
            !mwdx::SendAll(STDOUT_FILENO, extraction.text.data(), extraction.text.size())) {
            return 0;
        }
    }
}
