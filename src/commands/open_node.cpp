// Opening a node: a document's file or a catalog's folder with the desktop's own application,
// and the folder that holds a node. A missing file or folder is named in a message instead.

#include "app/marrowdex_dlg.h"
#include "app/prompts.h"
#include "app/shell.h"
#include "platform/text.h"
#include "platform/text_ids.h"

#include <sys/stat.h>

namespace mwdx {

namespace {

void OpenOnDesktop(CMarrowdexDlg& window, const std::string& path) {
    struct stat st {};
    // A link that leads nowhere is as missing as no file at all.
    if (::stat(path.c_str(), &st) != 0) {
        MessagePrompt::Show(&window, UiText(text::kNotFoundOnDisk) + QLatin1Char('\n') +
                                         QString::fromStdU16String(FromStoreText(path)));
        return;
    }
    OpenWithDesktop(path);
}

} // namespace

void CMarrowdexDlg::OpenSelectedNode() {
    const CatalogNode* node = ItemNode(GetSelectedItem());
    if (node == nullptr) {
        MessagePrompt::Show(this, text::kSelectNodeFirst);
        return;
    }
    OpenOnDesktop(*this, node->Path());
}

void CMarrowdexDlg::ShowSelectedInFolder() {
    const CatalogNode* node = ItemNode(GetSelectedItem());
    if (node == nullptr || node->Parent() == nullptr) {
        MessagePrompt::Show(this, text::kSelectNodeFirst);
        return;
    }
    OpenOnDesktop(*this, node->Parent()->Path());
}

void CMarrowdexDlg::OnTreeEnter(const QModelIndex& item) {
    // A catalog has toggled already.
    const CatalogNode* node = ItemNode(item);
    if (node != nullptr && !node->IsCatalog()) {
        OpenOnDesktop(*this, node->Path());
    }
}

void CMarrowdexDlg::OnTreeDoubleClick(const QModelIndex& item) {
    const CatalogNode* node = ItemNode(item);
    if (node != nullptr && !node->IsCatalog()) {
        OpenOnDesktop(*this, node->Path());
    }
}

} // namespace mwdx
