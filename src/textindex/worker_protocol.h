#pragma once

// The messages between the index and its extraction worker, over one socket. A request is the
// file's path: its length (4 bytes, in the machine's order) and its bytes. The answer is a header, then the
// text. The worker first sends an empty answer (its hello), answers each request before it reads
// the next, and ends at end of input.

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <sys/socket.h>

namespace mwdx {

inline constexpr std::uint32_t kAnswerMagic = 0x5458574D; // "MWXT"
inline constexpr std::uint32_t kMaxRequestBytes = 65536;

struct WorkerAnswer {
    std::uint32_t magic = kAnswerMagic;
    std::int32_t reason = 0; // SkipReason
    std::int32_t format = 0; // DocFormat
    std::int32_t pages = 0;
    std::uint64_t textBytes = 0; // the UTF-8 text that follows
};
static_assert(sizeof(WorkerAnswer) == 24);

// Sends all of `bytes` on the socket. MSG_NOSIGNAL: a peer that died must not take this process
// with it through SIGPIPE. False when the peer is gone.
inline bool SendAll(int socket, const void* bytes, std::size_t size) {
    const auto* at = static_cast<const char*>(bytes);
    while (size > 0) {
        const ssize_t put = ::send(socket, at, size, MSG_NOSIGNAL);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return false;
        }
        at += put;
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

} // namespace mwdx
