#pragma once

// Long work on a thread of its own behind one progress window. Every command that takes long runs
// through RunBehindProgress: adding a document's file, importing, a batch of dropped files, the
// check and its repairs, deleting files, moving the Home Directory. The work reports how far it
// has got and looks at Cancel; the window shows it and closes itself once the work has ended, and
// cannot be closed before.

#include "operations/add_document.h"
#include "operations/delete_node.h"

#include <QDialog>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

class QCloseEvent;
class QLabel;
class QProgressBar;
class QPushButton;
class QShowEvent;
class QTimer;
class QVBoxLayout;

namespace mwdx {

class DialogUnits;

// What the work and its window share. The work writes, from its thread; the window reads.
struct WorkProgress {
    std::atomic<std::uint64_t> done{0};
    std::atomic<std::uint64_t> total{0}; // 0: not known; the bar then only shows that work goes on
    std::atomic<std::size_t> itemsDone{0}; // a batch: how many of its items have ended
    std::atomic<std::size_t> items{0};
    std::atomic<bool> cancel{false}; // set by Cancel; the work decides where it stops

    void Report(std::uint64_t doneNow, std::uint64_t totalNow);
    // A batch's item `index` (from 0), named `name` (UTF-8), is under way.
    void StartItem(std::size_t index, std::string name);
    std::string Item() const;

private:
    mutable std::mutex m_itemLock;
    std::string m_item;
};

// How the window looks for a kind of work.
struct ProgressLook {
    enum class Kind {
        kTransfer, // a document's file: no frame, the text over a bar that loops until the size is known
        kWork,     // a line of text over a bar, Cancel when the work can stop part-way
        kBatch,    // dropped files: how many of how many, the one under way, the bytes, Cancel
    };
    Kind kind = Kind::kWork;
    int textId = 0;           // the line over the bar (kTransfer, kWork)
    bool cancellable = false; // kWork: with Cancel
};

// The progress window.
class CPRGDlg final : public QDialog {
    Q_OBJECT

public:
    CPRGDlg(const ProgressLook& look, WorkProgress& progress, QWidget* parent = nullptr);

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
    void closeEvent(QCloseEvent* event) override; // the close box and Alt+F4: as Cancel

private:
    // The line of text centred over the bar, the look of the transfer and of other work.
    QVBoxLayout* LayOutTextOverBar(const DialogUnits& units);
    void LayOutTransfer();
    void LayOutWork();
    void LayOutBatch();
    void OnLook();
    void OnTick();
    void OnClose();

    ProgressLook m_look;
    WorkProgress& m_progress;
    QLabel* m_textLabel = nullptr;
    QLabel* m_itemsLabel = nullptr;
    QLabel* m_nameLabel = nullptr;
    QLabel* m_bytesLabel = nullptr;
    QProgressBar* m_progressBar;
    QPushButton* m_cancelButton = nullptr;
    QTimer* m_lookTimer;
    QTimer* m_tickTimer; // the transfer's loop, one step a second while the size is not known
    std::uint32_t m_position = 0;
    std::atomic<bool> m_ended{false};
};

// Runs `work` on a thread of its own and returns once it has ended. A modal CPRGDlg owned by `owner`
// shows meanwhile: at once for a transfer, otherwise once the work takes longer than a moment. False
// (and `work` never ran) when no thread could be started.
bool RunBehindProgress(QWidget* owner, const ProgressLook& look, const std::function<void(WorkProgress&)>& work);
// The same for work that shows a line of text (`textId`) over a bar, with Cancel when `cancellable`.
bool RunBehindProgress(QWidget* owner, int textId, bool cancellable, const std::function<void(WorkProgress&)>& work);

// The transfer step of a command that brings a document's file in (adding, locating): the file
// moved or copied as HomeTree does, behind the progress window owned by `owner`.
TransferStep TransferBehindProgress(QWidget* owner);

// The step that removes a deleted node's files for good (deleting, emptying the trash), behind the
// progress window owned by `owner` with the line `textId` over its bar.
FileRemovalStep RemovalBehindProgress(QWidget* owner, int textId);

} // namespace mwdx
