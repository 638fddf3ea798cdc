#pragma once

// Every question and message the program puts to the user goes through these, so that tests
// drive the real dialogs and each prompt looks the same everywhere.

#include <QString>
#include <optional>

class QWidget;

namespace mwdx {

// The text of `stringId` in the UI language.
QString UiText(int stringId);

// The caption of the program's message boxes: the program file's name.
QString ApplicationName();

class MessagePrompt final {
public:
    // The text of `stringId` in a modal message box owned by `owner`, captioned with the
    // application's name, with an OK button.
    static void Show(QWidget* owner, int stringId);
    // The same with a text made up of several (a message and the details it names).
    static void Show(QWidget* owner, const QString& text);

    // `text` with OK and Cancel under the caption of `captionId`. True for OK.
    static bool Confirm(QWidget* owner, const QString& text, int captionId);
};

class FolderPrompt final {
public:
    // The folder the user chose, starting at `start`; nothing when the chooser was cancelled.
    static std::optional<QString> Ask(QWidget* owner, const QString& start);
};

class FilePrompt final {
public:
    // The full path of the existing file the user chose; nothing when the chooser was cancelled.
    static std::optional<QString> Ask(QWidget* owner);
};

} // namespace mwdx
