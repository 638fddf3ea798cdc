#pragma once

// The index page's fixed words, looked up by string id in the UI language.

#include "platform/string_table.h"

namespace mwdx {

inline constexpr int kPageTitleTextId = 160;     // the title, heading and root entry
inline constexpr int kPageExpandAllTextId = 165; // the "open every entry" link
inline constexpr int kPageCloseAllTextId = 166;  // the "close every entry" link

} // namespace mwdx
