#include "commands/doc_dlg.h"

namespace mwdx {

CDocDlg::CDocDlg(QWidget* parent)
    : QDialog(parent), m_pathEdit(nullptr), m_commentEdit(nullptr), m_nameEdit(nullptr), m_chooseButton(nullptr),
      m_nameLabel(nullptr), m_commentLabel(nullptr), m_fileLabel(nullptr), m_okButton(nullptr),
      m_cancelButton(nullptr) {}

int CDocDlg::exec() {
    OnInitDialog();
    return QDialog::exec();
}

void CDocDlg::OnInitDialog() {}
void CDocDlg::OnChooseFile() {}
void CDocDlg::accept() {
    QDialog::accept();
}

} // namespace mwdx
