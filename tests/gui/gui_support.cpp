#include "gui_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace mwdx::test {

namespace {
constexpr int kPollMs = 10;
}

QWidget* TopModal() {
    if (QWidget* popup = QApplication::activePopupWidget()) {
        return popup;
    }
    return QApplication::activeModalWidget();
}

void CloseAllModals() {
    for (int guard = 0; guard < 20; ++guard) {
        QWidget* top = TopModal();
        if (top == nullptr) {
            return;
        }
        if (auto* dialog = qobject_cast<QDialog*>(top)) {
            // done() skips any reject() override that refuses to close.
            dialog->done(QDialog::Rejected);
        } else {
            top->close();
        }
        QApplication::processEvents();
    }
}

bool WaitUntil(const std::function<bool()>& ready, int timeoutMs) {
    return QTest::qWaitFor(ready, timeoutMs);
}

ModalScript::ModalScript(int stepTimeoutMs) : m_stepTimeoutMs(stepTimeoutMs) {
    m_timer.setInterval(kPollMs);
    connect(&m_timer, &QTimer::timeout, this, &ModalScript::Poll);
    m_timer.start();
}

ModalScript::~ModalScript() {
    for (const Step& step : m_steps) {
        ADD_FAILURE() << "the script still expected " << step.what;
    }
    if (!m_steps.empty()) {
        CloseAllModals();
    }
}

ModalScript& ModalScript::Then(std::function<bool(QWidget*)> accepts, std::function<void(QWidget*)> act,
                               const char* what) {
    m_steps.push_back({std::move(accepts), std::move(act), what});
    return *this;
}

ModalScript& ModalScript::ThenMessage(const QString& text) {
    return Then<QMessageBox>(
        [text](QMessageBox* box) {
            EXPECT_EQ(box->text().toStdString(), text.toStdString());
            box->button(QMessageBox::Ok)->click();
        },
        "a message box");
}

void ModalScript::Poll() {
    if (m_steps.empty()) {
        return;
    }
    QWidget* top = TopModal();
    // After acting on a window, wait until something else is on top, so one window never
    // answers two steps in a row.
    if (top != m_lastActedOn) {
        m_lastActedOn = nullptr;
    }
    if (top != nullptr && top != m_lastActedOn && top->isVisible() && m_steps.front().accepts(top)) {
        Step step = std::move(m_steps.front());
        m_steps.pop_front();
        m_lastActedOn = top;
        m_waitedMs = 0;
        // From its own timer, so an act that opens a modal window does not stop the polling.
        QTimer::singleShot(0, top, [act = std::move(step.act), top] { act(top); });
        return;
    }
    m_waitedMs += kPollMs;
    if (m_waitedMs > m_stepTimeoutMs) {
        ADD_FAILURE() << "no " << m_steps.front().what << " appeared"
                      << (top != nullptr ? std::string("; on top: ") + top->metaObject()->className() : std::string());
        m_steps.clear();
        CloseAllModals();
    }
}

OpenedUrls::OpenedUrls() {
    QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "Open");
}

OpenedUrls::~OpenedUrls() {
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
}

void OpenedUrls::Open(const QUrl& url) {
    urls.append(url);
}

namespace {

// The widget a drag at `at` (window coordinates) is offered to: the deepest one there that takes
// drops, as the window system's drag handling finds it.
QWidget* DropTargetAt(QWidget* window, const QPoint& at) {
    QWidget* target = window->childAt(at);
    while (target != nullptr && !target->acceptDrops()) {
        target = target->parentWidget();
    }
    return target;
}

QPointer<QWidget> g_dragTarget; // the widget a drag held over the window is over

} // namespace

bool DropOnWindow(QWidget* window, const QMimeData& data, const QPoint& at, Qt::DropActions actions) {
    QWidget* target = DropTargetAt(window, at);
    if (target == nullptr) {
        return false;
    }
    const QPointF local = target->mapFrom(window, at);
    QDragEnterEvent enter(local.toPoint(), actions, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) {
        return false;
    }
    QDragMoveEvent move(local.toPoint(), actions, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &move);
    if (!move.isAccepted()) {
        QDragLeaveEvent leave;
        QApplication::sendEvent(target, &leave);
        return false;
    }
    QDropEvent drop(local, actions, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}

bool DragOverWindow(QWidget* window, const QMimeData* data, const QPoint& at) {
    if (data == nullptr) {
        if (g_dragTarget != nullptr) {
            QDragLeaveEvent leave;
            QApplication::sendEvent(g_dragTarget, &leave);
        }
        g_dragTarget = nullptr;
        return false;
    }
    QWidget* target = DropTargetAt(window, at);
    if (target == nullptr) {
        return false;
    }
    const QPoint local = target->mapFrom(window, at);
    if (target != g_dragTarget) {
        QDragEnterEvent enter(local, Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        g_dragTarget = target;
    }
    QDragMoveEvent move(local, Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &move);
    return move.isAccepted();
}

std::string SourceScriptFolder() {
    return MARROWDEX_SOURCE_DIR "/resources/js";
}

void PutFile(const std::string& path, const std::string& content) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

std::map<std::string, std::string> FilesBelow(const std::string& dir) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
        if (entry.is_regular_file()) {
            std::ifstream in(entry.path(), std::ios::binary);
            files[std::filesystem::relative(entry.path(), dir).string()] =
                std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
    }
    return files;
}

SmallFileSystem::SmallFileSystem(std::string point) : m_point(std::move(point)) {
    if (::geteuid() != 0) {
        m_reason = "needs root to mount a file system";
    } else if (::unshare(CLONE_NEWNS) != 0 || ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        m_reason = std::string("no private mount namespace: ") + std::strerror(errno);
    } else if (::mount("tmpfs", m_point.c_str(), "tmpfs", 0, "size=1M") != 0) {
        m_reason = std::string("cannot mount tmpfs: ") + std::strerror(errno);
    } else {
        m_mounted = true;
    }
}

SmallFileSystem::~SmallFileSystem() {
    if (m_mounted) {
        ::umount2(m_point.c_str(), MNT_DETACH);
    }
}

} // namespace mwdx::test
