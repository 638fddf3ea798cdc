#include "commands/prg_dlg.h"

#include "app/dialog_units.h"
#include "app/prompts.h"
#include "platform/text_ids.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>

namespace mwdx {

namespace {

constexpr std::uint32_t kStartPosition = 10;
constexpr std::uint32_t kStep = 10;
constexpr std::uint32_t kFullBar = 100;

} // namespace

CPRGDlg::CPRGDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), m_progressBar(new QProgressBar(this)),
      m_textLabel(new QLabel(this)), m_timer(new QTimer(this)) {
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
    m_position = kStartPosition;
    m_progressBar->setValue(static_cast<int>(m_position));
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
