#pragma once

// The catalog window: a catalog's name and comment, for a new catalog and for editing one.

#include <QDialog>
#include <QString>
#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace mwdx {

class CommentEdit;

class CDirDlg final : public QDialog {
    Q_OBJECT

public:
    explicit CDirDlg(QWidget* parent = nullptr);

    // Shown when the window opens; after OK, what the user left in the controls.
    QString m_nameText;
    QString m_commentText;
    // Asked on OK about a non-empty name: 0 accepts it, a string id refuses it with that message
    // and keeps the window open with what was typed.
    std::function<int(const QString& name)> m_checkName;

    int exec() override;    // initialises the controls from the texts, then runs modally
    void accept() override; // OK: refuses an empty name

private:
    void OnInitDialog();

    QPushButton* m_okButton;
    QPushButton* m_cancelButton;
    QLineEdit* m_nameEdit;
    QLabel* m_nameLabel;
    QLabel* m_commentLabel;
    CommentEdit* m_commentEdit;
};

} // namespace mwdx
