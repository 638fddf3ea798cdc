#include "commands/doc_dlg.h"

#include "app/comment_edit.h"
#include "app/dialog_units.h"
#include "app/prompts.h"
#include "operations/names.h"
#include "platform/text.h"
#include "platform/text_ids.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>

namespace mwdx {

CDocDlg::CDocDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("documentDialog"));
    const DialogUnits units(font());
    m_okButton = new TemplateButton(this, "okButton", units, units.Size(50, 14));
    m_cancelButton = new TemplateButton(this, "cancelButton", units, units.Size(50, 14));
    m_pathEdit = MakeChild<QLineEdit>(this, "pathEdit", {units.X(283), 0});
    m_nameLabel = MakeChild<QLabel>(this, "nameLabel");
    m_commentLabel = MakeChild<QLabel>(this, "commentLabel");
    m_commentEdit = MakeChild<CommentEdit>(this, "commentEdit", units.Size(304, 87));
    m_chooseButton = MakeChild<QToolButton>(this, "chooseButton", units.Size(19, 14));
    m_fileLabel = MakeChild<QLabel>(this, "fileLabel");
    m_nameEdit = MakeChild<QLineEdit>(this, "nameEdit", {units.X(283), 0});

    // Top to bottom: the name, the file with its "+" beside it, the comment, and OK and Cancel at
    // the bottom right. The name and the path end where the "+" begins.
    auto* layout = new QGridLayout(this);
    layout->addWidget(m_nameLabel, 0, 0, 1, 2);
    layout->addWidget(m_nameEdit, 1, 0);
    layout->addWidget(m_fileLabel, 2, 0, 1, 2);
    layout->addWidget(m_pathEdit, 3, 0);
    layout->addWidget(m_chooseButton, 3, 1);
    layout->addWidget(m_commentLabel, 4, 0, 1, 2);
    layout->addWidget(m_commentEdit, 5, 0, 1, 2);
    layout->addLayout(OkCancelRow(m_okButton, m_cancelButton), 6, 0, 1, 2);
    layout->setRowStretch(5, 1);
    layout->setColumnStretch(0, 1);

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
    connect(m_chooseButton, &QToolButton::clicked, this, &CDocDlg::OnChooseFile);
}

int CDocDlg::exec() {
    OnInitDialog();
    return QDialog::exec();
}

void CDocDlg::OnInitDialog() {
    m_pathEdit->setText(m_pathText);
    m_commentEdit->SetText(m_commentText);
    m_nameEdit->setText(m_nameText);
    m_fileLabel->setText(UiText(text::kChooseDocumentLabel));
    m_commentLabel->setText(UiText(text::kComment));
    m_okButton->setText(UiText(text::kOk));
    m_cancelButton->setText(UiText(text::kCancel));
    setWindowTitle(UiText(text::kDocumentDialogCaption));
    m_nameLabel->setText(UiText(text::kTypeDocumentName));
    m_chooseButton->setEnabled(AllowFileChoice != 0);
    FitToContents(*this, DialogUnits(font()).Size(309, 169));
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
    m_commentText = m_commentEdit->Text();
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
