#pragma once

// The progress window of long work (an import, the move of the Home Directory, a check): a line of
// text over a bar that shows how much is done and, for work that can stop part-way, a Cancel
// button. The work runs on a thread of its own; the window closes itself once the work has ended
// and cannot be closed before.

#include <QDialog>
#include <atomic>
#include <cstddef>
#include <functional>

class QCloseEvent;
class QLabel;
class QProgressBar;
class QPushButton;
class QShowEvent;
class QTimer;

namespace mwdx {

// What the work and its window share.
struct WorkProgress {
    std::atomic<std::size_t> done{0};
    std::atomic<std::size_t> total{0}; // 0: not known; the bar then only shows that work goes on
    std::atomic<bool> cancel{false};   // set by Cancel; the work decides where it stops

    // Called by the work, on its thread.
    void Report(std::size_t doneNow, std::size_t totalNow);
};

class CWorkDlg final : public QDialog {
    Q_OBJECT

public:
    CWorkDlg(int textId, bool cancellable, WorkProgress& progress, QWidget* parent = nullptr);

    // Called by the worker when the work has returned. Remembered, so that work that ends before
    // the window shows still closes it.
    void NotifyWorkEnded();
    bool WorkEnded() const { return m_ended.load(std::memory_order_acquire); }

    // Cancel: asks the work to stop; nothing for work that cannot.
    void RequestCancel();
    void reject() override; // Escape: as Cancel

signals:
    void workEnded(); // emitted on the worker's thread, received queued on the window's

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void OnTimer();
    void OnClose();

    WorkProgress& m_progress;
    QLabel* m_textLabel;
    QProgressBar* m_progressBar;
    QPushButton* m_cancelButton = nullptr;
    QTimer* m_timer;
    std::atomic<bool> m_ended{false};
};

// Runs `work` on a thread of its own and returns once it has ended. When it takes longer than a
// moment, a modal CWorkDlg owned by `owner` shows meanwhile, with `textId`, and with Cancel when
// `cancellable`. False (and `work` never ran) when no thread could be started.
bool RunBehindProgress(QWidget* owner, int textId, bool cancellable, const std::function<void(WorkProgress&)>& work);

// Tests only: `hook` runs on the worker after each report of progress (an empty one: none).
void SetWorkHookForTesting(std::function<void(WorkProgress&)> hook);

} // namespace mwdx
