#pragma once

// Qt's own texts (the standard buttons of the message boxes, the file and folder choosers) in
// the UI language: Qt's Simplified Chinese translation when the UI is Chinese, Qt's English
// otherwise.

#include <QLocale>

namespace mwdx {

// Follows UseEnglish as it is now; call it after ChooseUiLanguage, before any window is built.
// When the translation cannot be loaded, Qt's texts stay English and a warning says why.
void UseQtTextsOfUiLanguage();

// The locale of the UI language, for dates and sizes shown among its texts: Chinese (China) with the
// Chinese texts, English (United States) with the English ones, whatever the system's locale.
QLocale UiLocale();

} // namespace mwdx
