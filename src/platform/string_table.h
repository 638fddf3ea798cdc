#pragma once

// The program's texts in English and Simplified Chinese, looked up by string id, and the one
// program-wide choice of the language they are shown in.

#include <string>

namespace mwdx {

// Texts by string id. A text that is not there comes back empty.
class UiTextSource {
public:
    virtual ~UiTextSource() = default;
    virtual std::u16string Text(int stringId) const = 0;
};

// The entry of `stringId` in exactly `languageId` (1033 or 2052), or nullptr when the table has
// none. Entries are never empty.
const char16_t* FindUiString(int stringId, int languageId);

// Sets UseEnglish from the system's default language: English for every language but
// Simplified Chinese (2052). The main window does this once, first thing.
void ChooseUiLanguage();

// 1 for English texts, 0 for Chinese. 1 until ChooseUiLanguage runs.
int UseEnglish();

// The language every lookup is made in: 1033 when UseEnglish is 1, otherwise 2052.
int UiLanguage();

// Makes *target the text of `stringId` in the UI language. Returns 0 when no target is given and
// 1 otherwise, found or not; a text that is not found leaves *target unchanged.
int LoadUiString(std::u16string* target, int stringId);

// A fresh text object filled by LoadUiString: the text, or empty when the id has none.
std::u16string UiString(int stringId);

// The program's texts in the UI language of the moment.
class UiStrings final : public UiTextSource {
public:
    std::u16string Text(int stringId) const override { return UiString(stringId); }
};

// The program's texts in one fixed language, whatever UseEnglish says (for the command-line
// tools, which choose the language for themselves).
class LanguageStrings final : public UiTextSource {
public:
    explicit LanguageStrings(bool useEnglish) : m_useEnglish(useEnglish) {}
    std::u16string Text(int stringId) const override;

private:
    bool m_useEnglish;
};

} // namespace mwdx
