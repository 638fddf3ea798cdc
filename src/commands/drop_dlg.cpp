#include "commands/drop_dlg.h"

#include "app/dialog_units.h"
#include "app/prompts.h"
#include "platform/text_ids.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

namespace mwdx {

namespace {

constexpr int kLookMs = 100;
constexpr int kBarSteps = 1000;

} // namespace

CDropDlg::CDropDlg(QWidget* parent)
    : QDialog(parent), m_filesLabel(new QLabel(this)), m_nameLabel(new QLabel(this)), m_bytesLabel(new QLabel(this)),
      m_progressBar(new QProgressBar(this)), m_timer(new QTimer(this)) {
    setObjectName(QStringLiteral("dropDialog"));
    const DialogUnits units(font());
    m_cancelButton = new TemplateButton(this, "cancelButton", units, units.Size(50, 14));
    m_filesLabel->setObjectName(QStringLiteral("filesLabel"));
    m_nameLabel->setObjectName(QStringLiteral("nameLabel"));
    m_bytesLabel->setObjectName(QStringLiteral("bytesLabel"));
    m_progressBar->setObjectName(QStringLiteral("progressBar"));
    m_progressBar->setMinimumWidth(units.X(250));
    m_progressBar->setRange(0, kBarSteps);
    m_progressBar->setTextVisible(false);
    // Long names are cut in the middle rather than widening the window.
    m_nameLabel->setMinimumWidth(units.X(250));
    m_nameLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_filesLabel);
    layout->addWidget(m_nameLabel);
    layout->addWidget(m_progressBar);
    layout->addWidget(m_bytesLabel);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_cancelButton);
    layout->addLayout(buttons);

    m_timer->setInterval(kLookMs);
    connect(m_timer, &QTimer::timeout, this, &CDropDlg::Show);
    connect(m_cancelButton, &QPushButton::clicked, this, &CDropDlg::reject);
}

void CDropDlg::Begin(std::size_t files, std::uint64_t bytes) {
    m_files = files;
    m_bytes = bytes;
    setWindowTitle(UiText(text::kDropDialogCaption));
    m_cancelButton->setText(UiText(text::kCancel));
    Show();
    setWindowModality(Qt::ApplicationModal);
    const DialogUnits units(font());
    resize(minimumSizeHint().expandedTo(QSize(CaptionWidth(*this), units.Y(60))));
    show();
    m_timer->start();
}

void CDropDlg::StartFile(std::size_t index, const QString& name) {
    m_filesDone = index;
    m_fileBytes.store(0, std::memory_order_relaxed);
    const QFontMetrics metrics(m_nameLabel->font());
    m_nameLabel->setText(metrics.elidedText(name, Qt::ElideMiddle, std::max(m_nameLabel->width(), 1)));
    m_nameLabel->setToolTip(name);
    Show();
}

void CDropDlg::NotifyFileBytes(std::uint64_t done) {
    m_fileBytes.store(done, std::memory_order_relaxed);
}

void CDropDlg::FileDone(std::uint64_t bytes) {
    ++m_filesDone;
    m_bytesDone += bytes;
    m_fileBytes.store(0, std::memory_order_relaxed);
    Show();
}

void CDropDlg::Show() {
    const std::uint64_t done = std::min(m_bytes, m_bytesDone + m_fileBytes.load(std::memory_order_relaxed));
    const QLocale locale;
    m_filesLabel->setText(UiText(text::kFilesDoneOfTotal).arg(m_filesDone).arg(m_files));
    m_bytesLabel->setText(UiText(text::kBytesDoneOfTotal)
                              .arg(locale.formattedDataSize(static_cast<qint64>(done)),
                                   locale.formattedDataSize(static_cast<qint64>(m_bytes))));
    if (m_bytes > 0) {
        m_progressBar->setValue(static_cast<int>(done * kBarSteps / m_bytes));
    } else {
        m_progressBar->setValue(m_files > 0 ? static_cast<int>(m_filesDone * kBarSteps / m_files) : 0);
    }
}

void CDropDlg::reject() {
    m_cancelled = true;
    m_cancelButton->setEnabled(false);
}

void CDropDlg::closeEvent(QCloseEvent* event) {
    // The close box asks to stop, as Cancel does; the window goes when the batch has ended.
    event->ignore();
    reject();
}

} // namespace mwdx
