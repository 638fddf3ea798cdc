#include "commands/trash.h"

#include "app/marrowdex_dlg.h"
#include "commands/move_dlg.h"
#include "platform/text_ids.h"
#include "trash/trash_dlg.h"

namespace mwdx {

std::optional<MenuEntry> OpenTrashCommand::Menu() const {
    MenuEntry entry{11, text::kTrashMenu, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_T)};
    entry.separatorBefore = true;
    entry.windowWide = true;
    return entry;
}

void OpenTrashCommand::OnTrash() {
    m_window.ReloadIfChangedElsewhere();
    // The catalog chooser of Move to…, any catalog allowed.
    CTrashDlg dialog(m_window, [this](QWidget* owner, const TrashEntry&) -> CatalogNode* {
        CMoveDlg chooser(m_window.Catalog(), nullptr, owner);
        chooser.SetTexts(text::kRestoreCaption, text::kChooseRestoreCatalog);
        return chooser.exec() == QDialog::Accepted ? chooser.Chosen() : nullptr;
    });
    dialog.exec();
}

} // namespace mwdx
