#include "commands/prg_dlg.h"

#include "app/dialog_units.h"
#include "app/prompts.h"
#include "platform/text_ids.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

namespace mwdx {

namespace {

constexpr std::uint32_t kStartPosition = 10;
constexpr std::uint32_t kStep = 10;
constexpr std::uint32_t kFullBar = 100;
constexpr int kProgressLookMs = 100;
constexpr int kBarSteps = 1000;

} // namespace

CPRGDlg::CPRGDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), m_progressBar(new QProgressBar(this)),
      m_textLabel(new QLabel(this)), m_timer(new QTimer(this)), m_progressTimer(new QTimer(this)) {
    setObjectName(QStringLiteral("progressDialog"));
    m_progressBar->setObjectName(QStringLiteral("progressBar"));
    m_textLabel->setObjectName(QStringLiteral("textLabel"));
    m_timer->setObjectName(QStringLiteral("progressTimer"));
    const DialogUnits units(font());
    m_progressBar->setMinimumSize(units.Size(315, 15));
    // The line of text centred over the bar.
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_textLabel);
    layout->addWidget(m_progressBar);
    m_textLabel->setAlignment(Qt::AlignCenter);
    m_progressBar->setTextVisible(false);

    m_timer->setInterval(kProgressTickMs);
    connect(m_timer, &QTimer::timeout, this, &CPRGDlg::OnTimer);
    m_progressTimer->setInterval(kProgressLookMs);
    connect(m_progressTimer, &QTimer::timeout, this, &CPRGDlg::OnProgressTimer);
    connect(this, &CPRGDlg::transferEnded, this, &CPRGDlg::OnClose, Qt::QueuedConnection);
}

int CPRGDlg::exec() {
    OnInitDialog();
    return QDialog::exec();
}

void CPRGDlg::OnInitDialog() {
    m_textLabel->setText(UiText(text::kTransferInProgress));
    FitToContents(*this, DialogUnits(font()).Size(316, 26));
    m_progressBar->setRange(0, static_cast<int>(kFullBar));
    m_timer->start();
    m_progressTimer->start();
    m_position = kStartPosition;
    m_progressBar->setValue(static_cast<int>(m_position));
    OnProgressTimer();
}

void CPRGDlg::NotifyProgress(std::uint64_t done, std::uint64_t total) {
    m_total.store(total, std::memory_order_relaxed);
    m_done.store(done, std::memory_order_relaxed);
}

void CPRGDlg::OnProgressTimer() {
    const std::uint64_t total = m_total.load(std::memory_order_relaxed);
    if (total == 0) {
        return; // the loop goes on
    }
    // The size is known: the bar shows how far the transfer has got, and loops no more.
    m_timer->stop();
    const std::uint64_t done = std::min(m_done.load(std::memory_order_relaxed), total);
    m_progressBar->setRange(0, kBarSteps);
    m_progressBar->setValue(static_cast<int>(done * kBarSteps / total));
}

void CPRGDlg::OnTimer() {
    m_progressBar->setValue(static_cast<int>(m_position));
    m_position += kStep;
    if (m_position > kFullBar) {
        m_position = 0;
    }
}

void CPRGDlg::NotifyTransferEnded() {
    m_ended.store(true, std::memory_order_release);
    emit transferEnded();
}

void CPRGDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // A notice that came before the window was shown found nothing to close; look again once
    // the modal loop runs.
    if (TransferEnded()) {
        QMetaObject::invokeMethod(this, &CPRGDlg::OnClose, Qt::QueuedConnection);
    }
}

void CPRGDlg::OnClose() {
    // Ending a window that is not shown yet would leave the modal loop that follows waiting.
    if (!TransferEnded() || !isVisible()) {
        return;
    }
    m_timer->stop();
    m_progressTimer->stop();
    done(QDialog::Accepted);
}

void CPRGDlg::reject() {
    if (TransferEnded()) {
        OnClose();
    }
}

void CPRGDlg::closeEvent(QCloseEvent* event) {
    event->ignore();
    if (TransferEnded()) {
        OnClose();
    }
}

} // namespace mwdx
