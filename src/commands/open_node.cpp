#include "commands/open_node.h"

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

std::optional<MenuEntry> OpenNodeCommand::Menu() const {
    // Enter is shown beside it; the tree takes the key itself.
    return MenuEntry{7, text::kOpen, QKeySequence(Qt::Key_Enter), false, true};
}

void OpenNodeCommand::Run(const Invocation& invocation) {
    if (invocation.from != Invocation::From::kActivate) {
        OpenSelectedNode();
    } else if (invocation.target != nullptr && !invocation.target->IsCatalog()) {
        OpenOnDesktop(m_window, invocation.target->Path());
    }
}

void OpenNodeCommand::OpenSelectedNode() {
    const CatalogNode* node = m_window.SelectedNode();
    if (node == nullptr) {
        MessagePrompt::Show(&m_window, text::kSelectNodeFirst);
        return;
    }
    OpenOnDesktop(m_window, node->Path());
}

std::optional<MenuEntry> ShowInFolderCommand::Menu() const {
    return MenuEntry{8, text::kShowInFolder};
}

void ShowInFolderCommand::ShowSelectedInFolder() {
    const CatalogNode* node = m_window.SelectedNode();
    if (node == nullptr || node->Parent() == nullptr) {
        MessagePrompt::Show(&m_window, text::kSelectNodeFirst);
        return;
    }
    OpenOnDesktop(m_window, node->Parent()->Path());
}

} // namespace mwdx
