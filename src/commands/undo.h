#pragma once

// Undo and Redo, from the tree's menu or their keys in the tree: the window's history acts, the
// menu names the step each would act on.

#include "app/command.h"

namespace mwdx {

struct UndoStep;

// Undo (`undo`) or Redo: one command each, alike but for the direction.
class UndoRedoCommand : public Command {
public:
    UndoRedoCommand(CMarrowdexDlg& window, bool undo) : m_window(window), m_undo(undo) {}
    int Id() const override { return m_undo ? kCmdUndo : kCmdRedo; }
    std::optional<MenuEntry> Menu() const override;
    std::optional<QString> MenuText() const override;
    bool Enabled() const override;
    void Run(const Invocation&) override;

private:
    const UndoStep* Next() const;

    CMarrowdexDlg& m_window;
    bool m_undo;
};

class UndoCommand final : public UndoRedoCommand {
public:
    explicit UndoCommand(CMarrowdexDlg& window) : UndoRedoCommand(window, true) {}
};

class RedoCommand final : public UndoRedoCommand {
public:
    explicit RedoCommand(CMarrowdexDlg& window) : UndoRedoCommand(window, false) {}
};

// The menu's text for undoing (`undo`) or redoing `step`: "Undo Move 'Physics'", or the plain
// "Undo" when there is none, "Cannot Undo Repair" for a barrier.
QString UndoMenuText(const UndoStep* step, bool undo);

} // namespace mwdx
