#pragma once

// The Option button, and the first start's question for the Home Directory: the configuration
// window. A new Home Directory taken as the user left it is checked at once, so what it lacks shows.

#include "app/command.h"

namespace mwdx {

class OptionCommand final : public Command {
public:
    explicit OptionCommand(CMarrowdexDlg& window) : m_window(window) {}
    int Id() const override { return kCmdOption; }
    void Run(const Invocation&) override { OnOption(); }
    void OnOption();

private:
    CMarrowdexDlg& m_window;
};

} // namespace mwdx
