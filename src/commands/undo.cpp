#include "commands/undo.h"

#include "app/marrowdex_dlg.h"
#include "app/prompts.h"
#include "platform/text.h"
#include "platform/text_ids.h"

namespace mwdx {
namespace {

int CommandName(UndoKind kind) {
    switch (kind) {
    case UndoKind::kAddCatalog:
        return text::kUndoNameAddCatalog;
    case UndoKind::kAddDocument:
        return text::kUndoNameAddDocument;
    case UndoKind::kDrop:
        return text::kUndoNameDrop;
    case UndoKind::kImport:
        return text::kUndoNameImport;
    case UndoKind::kRename:
        return text::kUndoNameRename;
    case UndoKind::kEditComment:
        return text::kUndoNameEditComment;
    case UndoKind::kMove:
        return text::kUndoNameMove;
    case UndoKind::kDelete:
        return text::kUndoNameDelete;
    case UndoKind::kRepair:
        break;
    }
    return text::kUndoNameRepair;
}

// Runs the history one step back or forward, then shows the first node of the step where it is
// now, and why when nothing could be done.
void Step(CMarrowdexDlg& window, bool undo) {
    if (window.ReloadIfChangedElsewhere()) {
        return;
    }
    UndoHistory& history = window.History();
    const OpResult result = undo ? history.Undo(window.Catalog(), window.HomeDirectory(), window.OwnFiles())
                                 : history.Redo(window.Catalog(), window.HomeDirectory(), window.OwnFiles());
    if (result.done) {
        // The step now on the other side names the nodes as they stand.
        const UndoStep* step = undo ? history.NextRedo() : history.NextUndo();
        NodeId shown = 0;
        if (step != nullptr) {
            if (!step->moved.empty()) {
                shown = step->moved.front().node;
            } else if (!step->edited.empty()) {
                shown = step->edited.front().node;
            } else if (!step->trashed.empty() && undo) {
                shown = step->trashed.front().node;
            } else if (!step->added.empty() && !undo) {
                shown = step->added.front().node;
            }
        }
        if (const CatalogNode* node = shown != 0 ? window.Catalog().NodeById(shown) : nullptr) {
            window.ShowAndSelect(node);
            window.SetCommentText(node->Details().comment);
        }
    }
    if (result.message != 0) {
        MessagePrompt::Show(&window, result.message);
    }
}

} // namespace

QString UndoMenuText(const UndoStep* step, bool undo) {
    if (step == nullptr) {
        return UiText(undo ? text::kUndoPlain : text::kRedoPlain);
    }
    const QString command = UiText(CommandName(step->kind));
    if (step->kind == UndoKind::kRepair) {
        return UiText(text::kCannotUndoNamed).arg(command);
    }
    return UiText(undo ? text::kUndoNamed : text::kRedoNamed)
        .arg(command, QString::fromStdU16String(FromStoreText(step->name)));
}

std::optional<MenuEntry> UndoCommand::Menu() const {
    MenuEntry entry{12, text::kUndoPlain, QKeySequence(Qt::CTRL | Qt::Key_Z)};
    entry.separatorBefore = true;
    return entry;
}

std::optional<QString> UndoCommand::MenuText() const {
    return UndoMenuText(m_window.History().NextUndo(), true);
}

bool UndoCommand::Enabled() const {
    const UndoStep* step = m_window.History().NextUndo();
    return step != nullptr && step->kind != UndoKind::kRepair;
}

void UndoCommand::Run(const Invocation&) {
    Step(m_window, true);
}

std::optional<MenuEntry> RedoCommand::Menu() const {
    MenuEntry entry{13, text::kRedoPlain, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)};
    entry.otherKey = QKeySequence(Qt::CTRL | Qt::Key_Y);
    return entry;
}

std::optional<QString> RedoCommand::MenuText() const {
    return UndoMenuText(m_window.History().NextRedo(), false);
}

bool RedoCommand::Enabled() const {
    return m_window.History().NextRedo() != nullptr;
}

void RedoCommand::Run(const Invocation&) {
    Step(m_window, false);
}

} // namespace mwdx
