#pragma once

// The messages between the index and its extraction worker, over one socket. A request is the
// file's path: its length (4 bytes, in the machine's order) and its bytes. The answer is a header, then the
// text. The worker first sends an empty answer (its hello), answers each request before it reads
// the next, and ends at end of input.

#include <cstdint>

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

} // namespace mwdx
