// The GUI tests' main: Qt offscreen, Qt's own dialogs (never the desktop's), one application
// object for every test.

#include <QApplication>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string_view>

namespace {

// The offscreen platform warns about every window feature it lacks; those lines are noise here.
void QuietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.startsWith(QLatin1String("This plugin does not support"))) {
        return;
    }
    qt_message_output(type, context, message);
}

} // namespace

int main(int argc, char** argv) {
    qInstallMessageHandler(QuietHandler);
    // Offscreen, with the screens a test run asks for (offscreen:configfile=...) if it does.
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform == nullptr || std::string_view(platform).substr(0, 9) != "offscreen") {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    ::unsetenv("QT_QPA_PLATFORMTHEME");
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
