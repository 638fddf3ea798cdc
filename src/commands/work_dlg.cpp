#include "commands/work_dlg.h"

#include "app/dialog_units.h"
#include "app/prompts.h"
#include "platform/text_ids.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <chrono>
#include <future>
#include <system_error>
#include <thread>

namespace mwdx {

namespace {

constexpr int kRefreshMs = 100;
constexpr int kBarSteps = 1000;
// Work that ends within this time shows no window: a flash of one would only distract.
constexpr auto kQuietTime = std::chrono::milliseconds(300);

// Set only while no work runs; a worker reads it after its start, which orders the two.
std::function<void(WorkProgress&)>& WorkHook() {
    static std::function<void(WorkProgress&)> hook;
    return hook;
}

} // namespace

void SetWorkHookForTesting(std::function<void(WorkProgress&)> hook) {
    WorkHook() = std::move(hook);
}

void WorkProgress::Report(std::size_t doneNow, std::size_t totalNow) {
    total.store(totalNow, std::memory_order_relaxed);
    done.store(doneNow, std::memory_order_relaxed);
    if (const auto& hook = WorkHook()) {
        hook(*this);
    }
}

CWorkDlg::CWorkDlg(int textId, bool cancellable, WorkProgress& progress, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), m_progress(progress),
      m_textLabel(new QLabel(this)), m_progressBar(new QProgressBar(this)), m_timer(new QTimer(this)) {
    setObjectName(QStringLiteral("workDialog"));
    m_textLabel->setObjectName(QStringLiteral("textLabel"));
    m_progressBar->setObjectName(QStringLiteral("progressBar"));
    const DialogUnits units(font());
    m_progressBar->setMinimumSize(units.Size(315, 15));
    m_progressBar->setTextVisible(false);
    m_textLabel->setAlignment(Qt::AlignCenter);
    m_textLabel->setText(UiText(textId));
    setWindowTitle(UiText(text::kProgramTitle));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_textLabel);
    layout->addWidget(m_progressBar);
    if (cancellable) {
        m_cancelButton = new TemplateButton(this, "cancelButton", units, units.Size(50, 14));
        m_cancelButton->setText(UiText(text::kCancel));
        auto* row = new QHBoxLayout;
        row->addStretch(1);
        row->addWidget(m_cancelButton);
        layout->addLayout(row);
        connect(m_cancelButton, &QPushButton::clicked, this, &CWorkDlg::RequestCancel);
    }
    FitToContents(*this, units.Size(316, cancellable ? 44 : 26));
    OnTimer();

    m_timer->setInterval(kRefreshMs);
    connect(m_timer, &QTimer::timeout, this, &CWorkDlg::OnTimer);
    m_timer->start();
    connect(this, &CWorkDlg::workEnded, this, &CWorkDlg::OnClose, Qt::QueuedConnection);
}

void CWorkDlg::OnTimer() {
    const std::size_t total = m_progress.total.load(std::memory_order_relaxed);
    if (total == 0) {
        m_progressBar->setRange(0, 0); // Qt's busy bar
        return;
    }
    const std::size_t done = std::min(m_progress.done.load(std::memory_order_relaxed), total);
    m_progressBar->setRange(0, kBarSteps);
    m_progressBar->setValue(static_cast<int>(done * kBarSteps / total));
}

void CWorkDlg::RequestCancel() {
    if (m_cancelButton != nullptr) {
        m_progress.cancel.store(true);
        m_cancelButton->setEnabled(false); // once is enough; the work stops at its next step
    }
}

void CWorkDlg::NotifyWorkEnded() {
    m_ended.store(true, std::memory_order_release);
    emit workEnded();
}

void CWorkDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (WorkEnded()) {
        QMetaObject::invokeMethod(this, &CWorkDlg::OnClose, Qt::QueuedConnection);
    }
}

void CWorkDlg::OnClose() {
    if (!WorkEnded() || !isVisible()) {
        return;
    }
    m_timer->stop();
    done(QDialog::Accepted);
}

void CWorkDlg::reject() {
    if (WorkEnded()) {
        OnClose();
    } else {
        RequestCancel();
    }
}

void CWorkDlg::closeEvent(QCloseEvent* event) {
    event->ignore();
    reject();
}

bool RunBehindProgress(QWidget* owner, int textId, bool cancellable, const std::function<void(WorkProgress&)>& work) {
    WorkProgress progress;
    CWorkDlg window(textId, cancellable, progress, owner);
    std::promise<void> ended;
    std::future<void> endedFuture = ended.get_future();
    std::thread worker;
    try {
        worker = std::thread([&] {
            work(progress);
            ended.set_value();
            window.NotifyWorkEnded();
        });
    } catch (const std::system_error&) {
        return false;
    }
    if (endedFuture.wait_for(kQuietTime) != std::future_status::ready) {
        window.exec();
    }
    // The progress and the window stay until the worker is done with them, however the window
    // ended.
    worker.join();
    return true;
}

} // namespace mwdx
