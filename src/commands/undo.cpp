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

std::optional<MenuEntry> UndoRedoCommand::Menu() const {
    if (m_undo) {
        MenuEntry entry{12, text::kUndoPlain, QKeySequence(Qt::CTRL | Qt::Key_Z)};
        entry.separatorBefore = true;
        return entry;
    }
    MenuEntry entry{13, text::kRedoPlain, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)};
    entry.otherKey = QKeySequence(Qt::CTRL | Qt::Key_Y);
    return entry;
}

const UndoStep* UndoRedoCommand::Next() const {
    return m_undo ? m_window.History().NextUndo() : m_window.History().NextRedo();
}

std::optional<QString> UndoRedoCommand::MenuText() const {
    return UndoMenuText(Next(), m_undo);
}

bool UndoRedoCommand::Enabled() const {
    const UndoStep* step = Next();
    return step != nullptr && step->kind != UndoKind::kRepair;
}

void UndoRedoCommand::Run(const Invocation&) {
    Step(m_window, m_undo);
}

} // namespace mwdx
