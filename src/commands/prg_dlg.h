#pragma once

// The progress window shown while a document's file is moved or copied: a bar that shows the
// bytes copied of the file's size, or loops one step a second while the size is not known, under
// a line of text. It cannot be closed by the user; it closes itself once the transfer has ended.

#include <QDialog>
#include <atomic>
#include <cstdint>

class QCloseEvent;
class QLabel;
class QProgressBar;
class QShowEvent;
class QTimer;

namespace mwdx {

inline constexpr int kProgressTickMs = 1000;

class CPRGDlg final : public QDialog {
    Q_OBJECT

public:
    explicit CPRGDlg(QWidget* parent = nullptr);

    int exec() override; // initialises the bar and the timer, then runs modally until the end

    // Called by the transfer worker, on its own thread, when the file operation has returned.
    // The end is remembered, so a transfer that ends before the window shows still closes it.
    void NotifyTransferEnded();
    bool TransferEnded() const { return m_ended.load(std::memory_order_acquire); }

    // Called by the worker, on its own thread, as the bytes arrive: `done` of `total` (0: not
    // known). The bar shows it at its next look.
    void NotifyProgress(std::uint64_t done, std::uint64_t total);

    void reject() override; // Escape: ignored until the transfer has ended

signals:
    void transferEnded(); // emitted on the worker's thread, received queued on the window's

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override; // the close box and Alt+F4

private:
    void OnInitDialog();
    void OnTimer();
    void OnProgressTimer();
    void OnClose();

    QProgressBar* m_progressBar;
    QLabel* m_textLabel;
    std::uint32_t m_position = 0; // what the next tick shows
    QTimer* m_timer;
    QTimer* m_progressTimer;
    std::atomic<bool> m_ended{false};
    std::atomic<std::uint64_t> m_done{0};
    std::atomic<std::uint64_t> m_total{0};
};

} // namespace mwdx
