#include "app/screen_fit.h"

#include <QApplication>
#include <QEvent>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace mwdx {

namespace {

QRect AvailableArea(const QWidget& window) {
    const QScreen* screen = window.screen();
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    return screen != nullptr ? screen->availableGeometry() : QRect();
}

// The frame the window system draws around a window, once it has drawn one.
QSize FrameOf(const QWidget& window) {
    return (window.frameGeometry().size() - window.geometry().size()).expandedTo(QSize(0, 0));
}

class ScreenFitter final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && watched->isWidgetType()) {
            auto* widget = static_cast<QWidget*>(watched);
            const Qt::WindowType type = widget->windowType();
            if (widget->isWindow() && type != Qt::Popup && type != Qt::ToolTip) {
                FitIntoScreen(*widget);
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

QSize AvailableRoom(const QWidget& window) {
    const QRect area = AvailableArea(window);
    return area.isValid() ? area.size() : QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
}

void FitIntoScreen(QWidget& window) {
    const QRect area = AvailableArea(window);
    if (!area.isValid()) {
        return;
    }
    const QSize frame = FrameOf(window);
    const QSize room = (area.size() - frame).expandedTo(QSize(1, 1));
    if (window.width() > room.width() || window.height() > room.height()) {
        // A window fixed at its contents' size gives up the room too: its layout shares out less.
        window.setMinimumSize(window.minimumSize().boundedTo(room));
        window.resize(window.size().boundedTo(room));
    }
    QRect outer(window.pos(), window.size() + frame);
    outer.moveLeft(std::clamp(outer.left(), area.left(), std::max(area.left(), area.right() + 1 - outer.width())));
    outer.moveTop(std::clamp(outer.top(), area.top(), std::max(area.top(), area.bottom() + 1 - outer.height())));
    if (outer.topLeft() != window.pos()) {
        window.move(outer.topLeft());
    }
}

void FitWindowsIntoScreen() {
    QCoreApplication* application = QCoreApplication::instance();
    const QString name = QStringLiteral("screenFitter");
    if (application == nullptr || application->findChild<QObject*>(name, Qt::FindDirectChildrenOnly) != nullptr) {
        return;
    }
    auto* fitter = new ScreenFitter(application);
    fitter->setObjectName(name);
    application->installEventFilter(fitter);
}

} // namespace mwdx
