#include "app/prompts.h"

#include "platform/program_dir.h"
#include "platform/string_table.h"
#include "platform/text.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace mwdx {

QString UiText(int stringId) {
    return QString::fromStdU16String(UiString(stringId));
}

QString ApplicationName() {
    return QString::fromStdString(ProgramName());
}

void MessagePrompt::Show(QWidget* owner, int stringId) {
    Show(owner, QString::fromStdU16String(UiString(stringId)));
}

void MessagePrompt::Show(QWidget* owner, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, ApplicationName(), text, QMessageBox::Ok, owner);
    box.setObjectName(QStringLiteral("messageBox"));
    box.exec();
}

void MessagePrompt::Show(QWidget* owner, const QString& text, const QString& details) {
    QMessageBox box(QMessageBox::NoIcon, ApplicationName(), text, QMessageBox::Ok, owner);
    box.setObjectName(QStringLiteral("messageBox"));
    box.setDetailedText(details);
    box.exec();
}

void MessagePrompt::ShowWithPaths(QWidget* owner, int stringId, const std::vector<std::string>& paths) {
    if (paths.empty()) {
        return;
    }
    QString text = UiText(stringId);
    for (const std::string& path : paths) {
        text += QLatin1Char('\n') + QString::fromStdU16String(FromStoreText(path));
    }
    Show(owner, text);
}

bool MessagePrompt::Confirm(QWidget* owner, const QString& text, int captionId) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdU16String(UiString(captionId)), text,
                    QMessageBox::Ok | QMessageBox::Cancel, owner);
    box.setObjectName(QStringLiteral("confirmBox"));
    return box.exec() == QMessageBox::Ok;
}

bool MessagePrompt::AskYesOrNo(QWidget* owner, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, ApplicationName(), text, QMessageBox::Yes | QMessageBox::No, owner);
    box.setObjectName(QStringLiteral("questionBox"));
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

std::optional<int> ChoicePrompt::Ask(QWidget* owner, const QString& text, std::initializer_list<int> choices) {
    QMessageBox box(QMessageBox::NoIcon, ApplicationName(), text, QMessageBox::NoButton, owner);
    box.setObjectName(QStringLiteral("choiceBox"));
    std::vector<QAbstractButton*> buttons;
    for (const int choice : choices) {
        buttons.push_back(box.addButton(UiText(choice), QMessageBox::AcceptRole));
    }
    box.setEscapeButton(box.addButton(QMessageBox::Cancel));
    box.exec();
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        if (box.clickedButton() == buttons[i]) {
            return static_cast<int>(i);
        }
    }
    return std::nullopt;
}

std::optional<QString> FolderPrompt::Ask(QWidget* owner, const QString& start) {
    QFileDialog chooser(owner);
    chooser.setObjectName(QStringLiteral("folderChooser"));
    chooser.setFileMode(QFileDialog::Directory);
    chooser.setOption(QFileDialog::ShowDirsOnly);
    chooser.setDirectory(start.isEmpty() || !QDir(start).exists() ? QDir::homePath() : start);
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return chooser.selectedFiles().first();
}

std::optional<QString> FilePrompt::Ask(QWidget* owner) {
    QFileDialog chooser(owner);
    chooser.setObjectName(QStringLiteral("fileChooser"));
    chooser.setFileMode(QFileDialog::ExistingFile);
    chooser.setAcceptMode(QFileDialog::AcceptOpen);
    // The filter reads "*.*" as it always has, but a plain "*.*" pattern would hide names
    // without a dot.
    chooser.setOption(QFileDialog::HideNameFilterDetails);
    chooser.setNameFilter(QStringLiteral("*.* (*)"));
    chooser.setDirectory(QDir::homePath());
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return chooser.selectedFiles().first();
}

} // namespace mwdx
