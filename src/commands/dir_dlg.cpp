#include "commands/dir_dlg.h"

#include "app/comment_edit.h"
#include "app/dialog_units.h"
#include "app/prompts.h"
#include "operations/names.h"
#include "platform/text.h"
#include "platform/text_ids.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace mwdx {

CDirDlg::CDirDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("catalogDialog"));
    const DialogUnits units(font());
    m_okButton = new TemplateButton(this, "okButton", units, units.Size(50, 14));
    m_cancelButton = new TemplateButton(this, "cancelButton", units, units.Size(50, 14));
    m_nameEdit = MakeChild<QLineEdit>(this, "nameEdit", {units.X(303), 0});
    m_nameLabel = MakeChild<QLabel>(this, "nameLabel");
    m_commentLabel = MakeChild<QLabel>(this, "commentLabel");
    m_commentEdit = MakeChild<CommentEdit>(this, "commentEdit", units.Size(304, 87));

    // Top to bottom: the name, the comment, and OK and Cancel at the bottom right.
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_nameLabel);
    layout->addWidget(m_nameEdit);
    layout->addSpacing(units.Y(4));
    layout->addWidget(m_commentLabel);
    layout->addWidget(m_commentEdit, 1);
    layout->addLayout(OkCancelRow(m_okButton, m_cancelButton));

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
    m_commentEdit->SetText(m_commentText);
    m_nameLabel->setText(UiText(text::kNewCatalogLabel));
    m_commentLabel->setText(UiText(text::kComment));
    m_okButton->setText(UiText(text::kOk));
    m_cancelButton->setText(UiText(text::kCancel));
    setWindowTitle(UiText(text::kCatalogDialogCaption));
    FitToContents(*this, DialogUnits(font()).Size(309, 145));
    m_nameEdit->setFocus();
}

void CDirDlg::accept() {
    m_nameText = m_nameEdit->text();
    m_commentText = m_commentEdit->Text();
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
