#pragma once

namespace mwdx {

// Qt 6.4's string hashing leaves the upper halves of the AVX registers dirty on CPUs with VAES
// (it returns without vzeroupper), and every later SSE instruction then pays a transition
// penalty: the catalog load ran 15% slower in the program than alone. Call this before long
// runs of core work on the user interface thread. Does nothing on CPUs without AVX.
void ClearUpperVectorState();

} // namespace mwdx
