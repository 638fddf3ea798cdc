#pragma once

// The index page's fixed words, looked up by string id in the UI language.

#include <string>

namespace mwdx {

inline constexpr int kPageTitleTextId = 160;     // the title, heading and root entry
inline constexpr int kPageExpandAllTextId = 165; // the "open every entry" link
inline constexpr int kPageCloseAllTextId = 166;  // the "close every entry" link

// Texts by string id, as the program's string table answers them. A text that is not there
// comes back empty.
class UiTextSource {
public:
    virtual ~UiTextSource() = default;
    virtual std::u16string Text(int stringId) const = 0;
};

// The page's three texts in English or Simplified Chinese, for a writer that has no string
// table of its own (the command-line writer).
class PageTextTable final : public UiTextSource {
public:
    explicit PageTextTable(bool useEnglish) : m_useEnglish(useEnglish) {}
    std::u16string Text(int stringId) const override;

private:
    bool m_useEnglish;
};

} // namespace mwdx
