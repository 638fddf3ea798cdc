#pragma once

// Every question and message the program puts to the user goes through these, so that tests
// drive the real dialogs and each prompt looks the same everywhere.

#include <QString>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

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
    // The same with a long list behind the box's details button.
    static void Show(QWidget* owner, const QString& text, const QString& details);
    // The text of `stringId` followed by the paths (UTF-8), a line each; nothing without paths.
    static void ShowWithPaths(QWidget* owner, int stringId, const std::vector<std::string>& paths);

    // `text` with OK and Cancel under the caption of `captionId`. True for OK.
    static bool Confirm(QWidget* owner, const QString& text, int captionId);

    // `text` with Yes and No, No the default (Enter, Escape and the close box answer No). True for Yes.
    static bool AskYesOrNo(QWidget* owner, const QString& text);
};

class ChoicePrompt final {
public:
    // `text` with a button for each of `choices` (string ids), in that order, and Cancel. The
    // index of the choice; nothing for Cancel, Escape and the close box.
    static std::optional<int> Ask(QWidget* owner, const QString& text, std::initializer_list<int> choices);
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
