#pragma once

// Undo and Redo, from the tree's menu or their keys in the tree: the window's history acts, the
// menu names the step each would act on.

#include "app/command.h"

namespace mwdx {

struct UndoStep;

class UndoCommand final : public Command {
public:
    explicit UndoCommand(CMarrowdexDlg& window) : m_window(window) {}
    int Id() const override { return kCmdUndo; }
    std::optional<MenuEntry> Menu() const override;
    std::optional<QString> MenuText() const override;
    bool Enabled() const override;
    void Run(const Invocation&) override;

private:
    CMarrowdexDlg& m_window;
};

class RedoCommand final : public Command {
public:
    explicit RedoCommand(CMarrowdexDlg& window) : m_window(window) {}
    int Id() const override { return kCmdRedo; }
    std::optional<MenuEntry> Menu() const override;
    std::optional<QString> MenuText() const override;
    bool Enabled() const override;
    void Run(const Invocation&) override;

private:
    CMarrowdexDlg& m_window;
};

// The menu's text for undoing (`undo`) or redoing `step`: "Undo Move 'Physics'", or the plain
// "Undo" when there is none, "Cannot Undo Repair" for a barrier.
QString UndoMenuText(const UndoStep* step, bool undo);

} // namespace mwdx
