#pragma once

// The buttons for the index page and the help: refresh the page (and open it), open it, open the
// help page in the UI language.

#include "app/command.h"

namespace mwdx {

class SyncIndexCommand final : public Command {
public:
    explicit SyncIndexCommand(CMarrowdexDlg& window) : m_window(window) {}
    int Id() const override { return kCmdSyncIndex; }
    void Run(const Invocation&) override { SyncIndex(); }
    void SyncIndex();

private:
    CMarrowdexDlg& m_window;
};

class OpenIndexCommand final : public Command {
public:
    explicit OpenIndexCommand(CMarrowdexDlg& window) : m_window(window) {}
    int Id() const override { return kCmdOpenIndex; }
    void Run(const Invocation&) override { OpenIndex(); }
    // Opens the page; writes it first when there is none.
    void OpenIndex();

private:
    CMarrowdexDlg& m_window;
};

class OpenHelpCommand final : public Command {
public:
    explicit OpenHelpCommand(CMarrowdexDlg& window) : m_window(window) {}
    int Id() const override { return kCmdHelp; }
    void Run(const Invocation&) override { OpenHelp(); }
    void OpenHelp();

private:
    CMarrowdexDlg& m_window;
};

} // namespace mwdx
