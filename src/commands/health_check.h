#pragma once

// The Check button: the health check's window on the knowledge base as the store holds it now.

#include "app/command.h"

namespace mwdx {

class HealthCheckCommand final : public Command {
public:
    explicit HealthCheckCommand(CMarrowdexDlg& window) : m_window(window) {}
    int Id() const override { return kCmdCheck; }
    void Run(const Invocation&) override { OnCheck(); }
    void OnCheck();

private:
    CMarrowdexDlg& m_window;
};

} // namespace mwdx
