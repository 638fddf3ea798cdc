#include "app/cpu_state.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace mwdx {

#if defined(__x86_64__) || defined(__i386__)

namespace {
__attribute__((target("avx"))) void ZeroUpper() {
    _mm256_zeroupper();
}
} // namespace

void ClearUpperVectorState() {
    if (__builtin_cpu_supports("avx")) {
        ZeroUpper();
    }
}

#else

void ClearUpperVectorState() {}

#endif

} // namespace mwdx
