#include "commands/dir_dlg.h"

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

CDirDlg::CDirDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("catalogDialog"));
    const DialogUnits units(font());
    m_okButton = Place<QPushButton>(this, "okButton", units.Rect(202, 131, 50, 14));
    m_cancelButton = Place<QPushButton>(this, "cancelButton", units.Rect(258, 131, 50, 14));
    m_nameEdit = Place<QLineEdit>(this, "nameEdit", units.Rect(2, 17, 303, 14));
    m_nameLabel = Place<QLabel>(this, "nameLabel", units.Rect(3, 7, 300, 8));
    m_commentLabel = Place<QLabel>(this, "commentLabel", units.Rect(6, 36, 200, 8));
    m_commentEdit = Place<QPlainTextEdit>(this, "commentEdit", units.Rect(2, 45, 304, 87));
    setFixedSize(units.Size(309, 148));

    // Enter in the name field confirms, as in any dialog; in the comment it starts a new line.
    m_okButton->setDefault(true);
    m_commentEdit->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_commentEdit->setTabChangesFocus(true);
    setTabOrder(m_okButton, m_cancelButton);
    setTabOrder(m_cancelButton, m_nameEdit);
    setTabOrder(m_nameEdit, m_commentEdit);

    connect(m_okButton, &QPushButton::clicked, this, &CDirDlg::accept);
    connect(m_cancelButton, &QPushButton::clicked, this, &CDirDlg::reject);
}

int CDirDlg::exec() {
    OnInitDialog();
    return QDialog::exec();
}

void CDirDlg::OnInitDialog() {
    m_nameEdit->setText(m_nameText);
    m_commentEdit->setPlainText(m_commentText);
    m_nameLabel->setText(UiText(text::kNewCatalogLabel));
    m_commentLabel->setText(UiText(text::kComment));
    m_okButton->setText(UiText(text::kOk));
    m_cancelButton->setText(UiText(text::kCancel));
    setWindowTitle(UiText(text::kCatalogDialogCaption));
    m_nameEdit->setFocus();
}

void CDirDlg::accept() {
    m_nameText = m_nameEdit->text();
    m_commentText = m_commentEdit->toPlainText();
    // Only the name is required; blanks alone are none.
    if (TrimmedName(ToStoreText(m_nameText.toStdU16String())).empty()) {
        MessagePrompt::Show(this, text::kTypeCatalogName);
        return;
    }
    if (m_checkName) {
        if (const int refusal = m_checkName(m_nameText); refusal != 0) {
            MessagePrompt::Show(this, refusal);
            return;
        }
    }
    QDialog::accept();
}

} // namespace mwdx
