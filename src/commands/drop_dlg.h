#pragma once

// The window shown while files dropped onto the tree are added: how many files of how many, how
// many bytes of how many, the file under way, and Cancel, which stops after that file.

#include <QDialog>
#include <atomic>
#include <cstdint>

class QCloseEvent;
class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace mwdx {

class CDropDlg final : public QDialog {
    Q_OBJECT

public:
    explicit CDropDlg(QWidget* parent = nullptr);

    // The batch: `files` entries of `bytes` in all. Shows the window (modal) at nothing done.
    void Begin(std::size_t files, std::uint64_t bytes);
    // The file at `index` (from 0), named `name`, is under way.
    void StartFile(std::size_t index, const QString& name);
    // Bytes done of the file under way; from any thread.
    void NotifyFileBytes(std::uint64_t done);
    // The file under way has ended; its bytes count as done.
    void FileDone(std::uint64_t bytes);

    bool Cancelled() const { return m_cancelled; }
    void reject() override; // Escape and Cancel: stop after the file under way

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void Show();

    QLabel* m_filesLabel;
    QLabel* m_nameLabel;
    QLabel* m_bytesLabel;
    QProgressBar* m_progressBar;
    QPushButton* m_cancelButton;
    QTimer* m_timer;
    std::size_t m_files = 0;
    std::size_t m_filesDone = 0;
    std::uint64_t m_bytes = 0;
    std::uint64_t m_bytesDone = 0; // of the files ended
    std::atomic<std::uint64_t> m_fileBytes{0};
    bool m_cancelled = false;
};

} // namespace mwdx
