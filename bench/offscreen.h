#pragma once

// Benchmark children that run the program's windows: Qt on its offscreen platform, quietly.

#include <QString>
#include <QtGlobal>
#include <cstdlib>

namespace mwdx::bench {

// The offscreen platform warns about every window feature it lacks, and Qt about a session
// without a runtime folder; those lines are noise here.
inline void QuietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.startsWith(QLatin1String("This plugin does not support")) ||
        message.contains(QLatin1String("XDG_RUNTIME_DIR"))) {
        return;
    }
    qt_message_output(type, context, message);
}

// To be called before the application is made.
inline void UseOffscreenPlatform() {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::unsetenv("QT_QPA_PLATFORMTHEME");
    qInstallMessageHandler(QuietHandler);
}

} // namespace mwdx::bench
