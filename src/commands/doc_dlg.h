#pragma once

// The document window: a document's name, its comment and the file it comes from. Adding a
// document lets the user choose the file; editing one shows its path with the chooser disabled.

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace mwdx {

class CommentEdit;

class CDocDlg final : public QDialog {
    Q_OBJECT

public:
    explicit CDocDlg(QWidget* parent = nullptr);

    // Shown when the window opens; after OK, what the user left in the controls.
    QString m_pathText;
    QString m_commentText;
    QString m_nameText;
    // 1: the "+" button chooses the file; 0: it is disabled.
    int AllowFileChoice = 1;

    int exec() override; // initialises the controls from the texts, then runs modally

    void OnChooseFile();
    void accept() override; // OK

private:
    void OnInitDialog();

    QLineEdit* m_pathEdit = nullptr;
    CommentEdit* m_commentEdit = nullptr;
    QLineEdit* m_nameEdit = nullptr;
    QToolButton* m_chooseButton = nullptr;
    QLabel* m_nameLabel = nullptr;
    QLabel* m_commentLabel = nullptr;
    QLabel* m_fileLabel = nullptr;
    QPushButton* m_okButton = nullptr;
    QPushButton* m_cancelButton = nullptr;
};

} // namespace mwdx
