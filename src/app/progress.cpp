#include "app/progress.h"

#include "app/dialog_units.h"
#include "app/prompts.h"
#include "platform/home_fs.h"
#include "platform/text_ids.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <sys/stat.h>
#include <system_error>
#include <thread>

namespace mwdx {

namespace {

constexpr int kLookMs = 100;
constexpr int kTickMs = 1000;
constexpr int kBarSteps = 1000;
// The transfer's loop: a tenth of the bar a second, from the first tenth.
constexpr std::uint32_t kLoopStart = 10;
constexpr std::uint32_t kLoopStep = 10;
constexpr std::uint32_t kLoopFull = 100;
// Work that ends within this time shows no window: a flash of one would only distract.
constexpr auto kQuietTime = std::chrono::milliseconds(300);

} // namespace

void WorkProgress::Report(std::uint64_t doneNow, std::uint64_t totalNow) {
    total.store(totalNow, std::memory_order_relaxed);
    done.store(doneNow, std::memory_order_relaxed);
}

void WorkProgress::StartItem(std::size_t index, std::string name) {
    const std::lock_guard lock(m_itemLock);
    m_item = std::move(name);
    itemsDone.store(index, std::memory_order_relaxed);
}

std::string WorkProgress::Item() const {
    const std::lock_guard lock(m_itemLock);
    return m_item;
}

CPRGDlg::CPRGDlg(const ProgressLook& look, WorkProgress& progress, QWidget* parent)
    : QDialog(parent, look.kind == ProgressLook::Kind::kTransfer
                          ? Qt::Dialog | Qt::FramelessWindowHint
                          : Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      m_look(look), m_progress(progress), m_progressBar(new QProgressBar(this)), m_lookTimer(new QTimer(this)),
      m_tickTimer(new QTimer(this)) {
    m_progressBar->setObjectName(QStringLiteral("progressBar"));
    m_progressBar->setTextVisible(false);
    m_tickTimer->setObjectName(QStringLiteral("progressTimer"));
    switch (m_look.kind) {
    case ProgressLook::Kind::kTransfer:
        LayOutTransfer();
        break;
    case ProgressLook::Kind::kWork:
        LayOutWork();
        break;
    case ProgressLook::Kind::kBatch:
        LayOutBatch();
        break;
    }
    m_lookTimer->setInterval(kLookMs);
    connect(m_lookTimer, &QTimer::timeout, this, &CPRGDlg::OnLook);
    m_lookTimer->start();
    connect(this, &CPRGDlg::workEnded, this, &CPRGDlg::OnClose, Qt::QueuedConnection);
    OnLook();
}

QVBoxLayout* CPRGDlg::LayOutTextOverBar(const DialogUnits& units) {
    m_textLabel = new QLabel(UiText(m_look.textId), this);
    m_textLabel->setObjectName(QStringLiteral("textLabel"));
    m_textLabel->setAlignment(Qt::AlignCenter);
    m_progressBar->setMinimumSize(units.Size(315, 15));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_textLabel);
    layout->addWidget(m_progressBar);
    return layout;
}

void CPRGDlg::LayOutTransfer() {
    // The line of text centred over the bar, in a window without a frame.
    setObjectName(QStringLiteral("progressDialog"));
    const DialogUnits units(font());
    LayOutTextOverBar(units);
    FitToContents(*this, units.Size(316, 26));
    m_progressBar->setRange(0, static_cast<int>(kLoopFull));
    m_position = kLoopStart;
    m_progressBar->setValue(static_cast<int>(m_position));
    m_tickTimer->setInterval(kTickMs);
    connect(m_tickTimer, &QTimer::timeout, this, &CPRGDlg::OnTick);
    m_tickTimer->start();
}

void CPRGDlg::LayOutWork() {
    setObjectName(QStringLiteral("workDialog"));
    setWindowTitle(UiText(text::kProgramTitle));
    const DialogUnits units(font());
    QVBoxLayout* layout = LayOutTextOverBar(units);
    if (m_look.cancellable) {
        m_cancelButton = new TemplateButton(this, "cancelButton", units, units.Size(50, 14));
        m_cancelButton->setText(UiText(text::kCancel));
        auto* row = new QHBoxLayout;
        row->addStretch(1);
        row->addWidget(m_cancelButton);
        layout->addLayout(row);
        connect(m_cancelButton, &QPushButton::clicked, this, &CPRGDlg::RequestCancel);
    }
    FitToContents(*this, units.Size(316, m_look.cancellable ? 44 : 26));
}

void CPRGDlg::LayOutBatch() {
    setObjectName(QStringLiteral("dropDialog"));
    setWindowTitle(UiText(text::kDropDialogCaption));
    const DialogUnits units(font());
    m_itemsLabel = new QLabel(this);
    m_itemsLabel->setObjectName(QStringLiteral("filesLabel"));
    m_nameLabel = new QLabel(this);
    m_nameLabel->setObjectName(QStringLiteral("nameLabel"));
    m_bytesLabel = new QLabel(this);
    m_bytesLabel->setObjectName(QStringLiteral("bytesLabel"));
    m_progressBar->setMinimumWidth(units.X(250));
    m_progressBar->setRange(0, kBarSteps);
    // Long names are cut in the middle rather than widening the window.
    m_nameLabel->setMinimumWidth(units.X(250));
    m_nameLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_cancelButton = new TemplateButton(this, "cancelButton", units, units.Size(50, 14));
    m_cancelButton->setText(UiText(text::kCancel));
    connect(m_cancelButton, &QPushButton::clicked, this, &CPRGDlg::RequestCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_itemsLabel);
    layout->addWidget(m_nameLabel);
    layout->addWidget(m_progressBar);
    layout->addWidget(m_bytesLabel);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_cancelButton);
    layout->addLayout(buttons);
    OnLook();
    resize(minimumSizeHint().expandedTo(QSize(CaptionWidth(*this), units.Y(60))));
}

void CPRGDlg::OnTick() {
    m_progressBar->setValue(static_cast<int>(m_position));
    m_position += kLoopStep;
    if (m_position > kLoopFull) {
        m_position = 0;
    }
}

void CPRGDlg::OnLook() {
    const std::uint64_t total = m_progress.total.load(std::memory_order_relaxed);
    const std::uint64_t done = std::min(m_progress.done.load(std::memory_order_relaxed), total);
    switch (m_look.kind) {
    case ProgressLook::Kind::kTransfer:
        if (total > 0) {
            // The size is known: the bar shows how far the transfer has got, and loops no more.
            m_tickTimer->stop();
            m_progressBar->setRange(0, kBarSteps);
            m_progressBar->setValue(static_cast<int>(done * kBarSteps / total));
        }
        break;
    case ProgressLook::Kind::kWork:
        if (total == 0) {
            m_progressBar->setRange(0, 0); // Qt's busy bar
        } else {
            m_progressBar->setRange(0, kBarSteps);
            m_progressBar->setValue(static_cast<int>(done * kBarSteps / total));
        }
        break;
    case ProgressLook::Kind::kBatch: {
        const std::size_t items = m_progress.items.load(std::memory_order_relaxed);
        const std::size_t itemsDone = std::min(m_progress.itemsDone.load(std::memory_order_relaxed), items);
        const QLocale locale;
        m_itemsLabel->setText(UiText(text::kFilesDoneOfTotal).arg(itemsDone).arg(items));
        m_bytesLabel->setText(UiText(text::kBytesDoneOfTotal)
                                  .arg(locale.formattedDataSize(static_cast<qint64>(done)),
                                       locale.formattedDataSize(static_cast<qint64>(total))));
        const QString name = QString::fromStdString(m_progress.Item());
        const QFontMetrics metrics(m_nameLabel->font());
        m_nameLabel->setText(metrics.elidedText(name, Qt::ElideMiddle, std::max(m_nameLabel->width(), 1)));
        m_nameLabel->setToolTip(name);
        if (total > 0) {
            m_progressBar->setValue(static_cast<int>(done * kBarSteps / total));
        } else {
            m_progressBar->setValue(items > 0 ? static_cast<int>(itemsDone * kBarSteps / items) : 0);
        }
        break;
    }
    }
}

void CPRGDlg::RequestCancel() {
    if (m_cancelButton != nullptr) {
        m_progress.cancel.store(true);
        m_cancelButton->setEnabled(false); // once is enough; the work stops at its next step
    }
}

void CPRGDlg::NotifyWorkEnded() {
    m_ended.store(true, std::memory_order_release);
    emit workEnded();
}

void CPRGDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // A notice that came before the window was shown found nothing to close; look again once the
    // modal loop runs.
    if (WorkEnded()) {
        QMetaObject::invokeMethod(this, &CPRGDlg::OnClose, Qt::QueuedConnection);
    }
}

void CPRGDlg::OnClose() {
    // Ending a window that is not shown yet would leave the modal loop that follows waiting.
    if (!WorkEnded() || !isVisible()) {
        return;
    }
    m_lookTimer->stop();
    m_tickTimer->stop();
    done(QDialog::Accepted);
}

void CPRGDlg::reject() {
    if (WorkEnded()) {
        OnClose();
    } else {
        RequestCancel();
    }
}

void CPRGDlg::closeEvent(QCloseEvent* event) {
    event->ignore();
    reject();
}

bool RunBehindProgress(QWidget* owner, const ProgressLook& look, const std::function<void(WorkProgress&)>& work) {
    WorkProgress progress;
    CPRGDlg window(look, progress, owner);
    std::thread worker;
    try {
        worker = std::thread([&] {
            work(progress);
            window.NotifyWorkEnded();
        });
    } catch (const std::system_error&) {
        return false;
    }
    if (look.kind != ProgressLook::Kind::kTransfer) {
        // Meanwhile the window goes on painting and answering the desktop, but takes no keys or
        // clicks: no other command may start while this one runs.
        QEventLoop quiet;
        QTimer::singleShot(kQuietTime, &quiet, &QEventLoop::quit);
        QObject::connect(&window, &CPRGDlg::workEnded, &quiet, &QEventLoop::quit);
        if (!window.WorkEnded()) {
            quiet.exec(QEventLoop::ExcludeUserInputEvents);
        }
    }
    // A transfer's window shows however short the transfer is, as it always has.
    if (look.kind == ProgressLook::Kind::kTransfer || !window.WorkEnded()) {
        window.exec();
    }
    // The progress and the window stay until the worker is done with them, however the window
    // ended.
    worker.join();
    return true;
}

bool RunBehindProgress(QWidget* owner, int textId, bool cancellable, const std::function<void(WorkProgress&)>& work) {
    return RunBehindProgress(owner, ProgressLook{ProgressLook::Kind::kWork, textId, cancellable}, work);
}

TransferStep TransferBehindProgress(QWidget* owner) {
    return [owner](const HomeTree& tree, const std::string& source, const std::string& destination, bool move,
                   std::string* error) {
        bool arrived = false;
        std::string failure = "no thread for the transfer";
        const ProgressLook look{ProgressLook::Kind::kTransfer, text::kTransferInProgress, false};
        RunBehindProgress(owner, look, [&](WorkProgress& progress) {
            // The size is known before the first byte moves, so the bar never loops for a file.
            struct stat st {};
            if (::stat(source.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
                progress.Report(0, static_cast<std::uint64_t>(st.st_size));
            }
            TransferControl control;
            control.progress = [&progress](std::uint64_t done, std::uint64_t total) { progress.Report(done, total); };
            failure.clear();
            arrived = move ? tree.MoveFileNoReplace(source, destination, &failure, control)
                           : tree.CopyFileNoReplace(source, destination, &failure, control);
        });
        if (!arrived && error != nullptr) {
            *error = failure;
        }
        return arrived;
    };
}

FileRemovalStep RemovalBehindProgress(QWidget* owner, int textId) {
    return [owner, textId](const HomeTree& tree, const std::string& aside, std::size_t entries, std::string* error) {
        bool removed = false;
        RunBehindProgress(owner, textId, false, [&](WorkProgress& progress) {
            removed = RemoveDeletedFiles(
                tree, aside, entries,
                [&progress](std::size_t done, std::size_t total) { progress.Report(done, total); }, error);
        });
        return removed;
    };
}

} // namespace mwdx
