#include "commands/doc_dlg.h"

#include "app/dialog_units.h"
#include "app/prompts.h"
#include "operations/names.h"
#include "platform/text.h"
#include "platform/text_ids.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace mwdx {

CDocDlg::CDocDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("documentDialog"));
    const DialogUnits units(font());
    // Created in the order of the layout, which is also the order of the tab stops.
    m_okButton = Place<QPushButton>(this, "okButton", units.Rect(198, 155, 50, 14));
    m_cancelButton = Place<QPushButton>(this, "cancelButton", units.Rect(258, 155, 50, 14));
    m_pathEdit = Place<QLineEdit>(this, "pathEdit", units.Rect(2, 40, 283, 14));
    m_nameLabel = Place<QLabel>(this, "nameLabel", units.Rect(2, 1, 283, 8));
    m_commentLabel = Place<QLabel>(this, "commentLabel", units.Rect(2, 56, 200, 8));
    m_commentEdit = Place<QPlainTextEdit>(this, "commentEdit", units.Rect(2, 67, 304, 87));
    m_chooseButton = Place<QPushButton>(this, "chooseButton", units.Rect(288, 40, 19, 14));
    m_fileLabel = Place<QLabel>(this, "fileLabel", units.Rect(2, 30, 282, 8));
    m_nameEdit = Place<QLineEdit>(this, "nameEdit", units.Rect(2, 12, 283, 14));
    setFixedSize(units.Size(309, 172));

    m_okButton->setDefault(true);
    m_pathEdit->setReadOnly(true); // the chooser is the only way to change it
    m_chooseButton->setText(QStringLiteral("+"));
    m_commentEdit->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_commentEdit->setTabChangesFocus(true);
    setTabOrder(m_okButton, m_cancelButton);
    setTabOrder(m_cancelButton, m_pathEdit);
    setTabOrder(m_pathEdit, m_commentEdit);
    setTabOrder(m_commentEdit, m_chooseButton);
    setTabOrder(m_chooseButton, m_nameEdit);

    connect(m_okButton, &QPushButton::clicked, this, &CDocDlg::accept);
    connect(m_cancelButton, &QPushButton::clicked, this, &CDocDlg::reject);
    connect(m_chooseButton, &QPushButton::clicked, this, &CDocDlg::OnChooseFile);
}

int CDocDlg::exec() {
    OnInitDialog();
    return QDialog::exec();
}

void CDocDlg::OnInitDialog() {
    m_pathEdit->setText(m_pathText);
    m_commentEdit->setPlainText(m_commentText);
    m_nameEdit->setText(m_nameText);
    m_fileLabel->setText(UiText(text::kChooseDocumentLabel));
    m_commentLabel->setText(UiText(text::kComment));
    m_okButton->setText(UiText(text::kOk));
    m_cancelButton->setText(UiText(text::kCancel));
    setWindowTitle(UiText(text::kDocumentDialogCaption));
    m_nameLabel->setText(UiText(text::kTypeDocumentName));
    m_chooseButton->setEnabled(AllowFileChoice != 0);
    m_okButton->setFocus();
}

void CDocDlg::OnChooseFile() {
    // Only the path: the document's name is the user's to type.
    if (const auto chosen = FilePrompt::Ask(this)) {
        m_pathEdit->setText(*chosen);
    }
}

void CDocDlg::accept() {
    m_pathText = m_pathEdit->text();
    m_nameText = m_nameEdit->text();
    m_commentText = m_commentEdit->toPlainText();
    // The comment may be empty; blanks alone are no name.
    if (m_pathText.isEmpty()) {
        MessagePrompt::Show(this, text::kChooseDocument);
        return;
    }
    if (const int refusal = DocumentNameRefusal(ToStoreText(m_nameText.toStdU16String())); refusal != 0) {
        MessagePrompt::Show(this, refusal);
        return;
    }
    QDialog::accept();
}

} // namespace mwdx
