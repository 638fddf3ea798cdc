#pragma once

// Driving the program's real windows in tests: a main that runs Qt offscreen, and a script of
// answers for the modal windows and menus that a command opens while it blocks.

#include <QMimeData>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <deque>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <ostream>
#include <string>

// Test failures show Qt's strings as text.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& texts, std::ostream* out) {
    *out << "{";
    for (qsizetype i = 0; i < texts.size(); ++i) {
        *out << (i > 0 ? ", " : "") << '"' << texts[i].toStdString() << '"';
    }
    *out << "}";
}

namespace mwdx::test {

// Answers the modal windows (and popup menus) that appear, one step at a time, in order. Each
// step waits for the topmost modal window or popup to be one it accepts, then acts on it. The
// act runs from the event loop, so it may click a button that opens the next modal window.
// A step that finds no window within the timeout fails the test and closes every modal window,
// so the command under test returns; steps left when the script is destroyed fail the test too.
class ModalScript final : public QObject {
    Q_OBJECT

public:
    explicit ModalScript(int stepTimeoutMs = 10000);
    ~ModalScript() override;

    ModalScript& Then(std::function<bool(QWidget*)> accepts, std::function<void(QWidget*)> act,
                      const char* what = "a modal window");
    template <class Window> ModalScript& Then(std::function<void(Window*)> act, const char* what = "a modal window") {
        return Then([](QWidget* w) { return qobject_cast<Window*>(w) != nullptr; },
                    [act = std::move(act)](QWidget* w) { act(qobject_cast<Window*>(w)); }, what);
    }
    // A message box showing exactly `text`, answered with its OK button.
    ModalScript& ThenMessage(const QString& text);

    bool Finished() const { return m_steps.empty(); }

private:
    struct Step {
        std::function<bool(QWidget*)> accepts;
        std::function<void(QWidget*)> act;
        std::string what;
    };
    void Poll();

    std::deque<Step> m_steps;
    QTimer m_timer;
    QPointer<QWidget> m_lastActedOn; // cleared when it goes: the next window may reuse its address
    int m_waitedMs = 0;
    int m_stepTimeoutMs;
};

// The child widget with this object name; fails the test when there is none.
template <class Widget> Widget* Child(QWidget* parent, const char* name) {
    auto* child = parent->findChild<Widget*>(QLatin1String(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
}

// The window that modal steps see: the open popup menu, else the topmost modal window.
QWidget* TopModal();

// Closes every modal window and popup (a failed test must not leave a command blocked).
void CloseAllModals();

// Waits (processing events) until `ready` holds or the time is up.
bool WaitUntil(const std::function<bool()>& ready, int timeoutMs = 5000);

// Records what the program asks the desktop to open instead of starting a browser.
class OpenedUrls final : public QObject {
    Q_OBJECT

public:
    OpenedUrls();
    ~OpenedUrls() override;
    QList<QUrl> urls;

public slots:
    void Open(const QUrl& url);
};

// Drags and drops as the window system delivers them to `window`: the drag entering and moving to
// `at` (window coordinates), then the drop there. Returns whether the drop was taken.
bool DropOnWindow(QWidget* window, const QMimeData& data, const QPoint& at, Qt::DropActions actions);

// A drag held over `at` (window coordinates) without dropping; `data` nullptr: the drag leaves.
// Whether the place takes it (a platform's drag shows the refusal cursor where it does not).
bool DragOverWindow(QWidget* window, const QMimeData* data, const QPoint& at);

// The folder of a fresh copy of the program's page script (resources/js of the sources).
std::string SourceScriptFolder();

// Writes `content` to the file at `path`, making the folders above it first.
void PutFile(const std::string& path, const std::string& content);

// Every file below `dir` with its content, by its path below `dir`.
std::map<std::string, std::string> FilesBelow(const std::string& dir);

// A file system of 1 MB mounted on the folder `point`, seen only by this process (a private mount
// namespace): a disk that fills up. Needs root; Reason() says why it is not there otherwise.
class SmallFileSystem final {
public:
    explicit SmallFileSystem(std::string point);
    ~SmallFileSystem();
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;

    bool Mounted() const { return m_mounted; }
    const std::string& Reason() const { return m_reason; }

private:
    std::string m_point;
    std::string m_reason;
    bool m_mounted = false;
};

} // namespace mwdx::test
