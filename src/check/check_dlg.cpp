#include "check/check_dlg.h"

#include "app/dialog_units.h"
#include "app/imports.h"
#include "app/marrowdex_dlg.h"
#include "app/progress.h"
#include "app/prompts.h"
#include "app/screen_fit.h"
#include "operations/recovery.h"
#include "operations/repair.h"
#include "platform/home_fs.h"
#include "platform/string_table.h"
#include "platform/text.h"
#include "platform/text_ids.h"
#include "store/check_record.h"
#include "store/connection.h"
#include "store/journal.h"
#include "store/settings.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace mwdx {

namespace {

constexpr int kKindRole = Qt::UserRole;
constexpr int kIndexRole = Qt::UserRole + 1; // of the finding in the report; -1 for a kind's row
// Kinds with more findings than this start closed, so that the list stays easy to take in.
constexpr int kOpenGroupLimit = 200;
// A kind lists this many of its findings, and says how many more there are: a million items would
// take the window seconds to make, and no one reads them one by one.
constexpr int kListedPerKind = 5000;

// What the list shows of a path: below the Home Directory, relative to it.
QString Shown(const std::string& path, const std::string& home) {
    const std::string normal = LexicallyNormal(path);
    const std::string base = LexicallyNormal(home);
    const bool below = !base.empty() && normal.size() > base.size() + 1 && normal.starts_with(base) &&
                       (base == "/" || normal[base.size()] == '/');
    return QString::fromStdU16String(FromStoreText(below ? normal.substr(base.size() + (base == "/" ? 0 : 1)) : path));
}

} // namespace

CCheckDlg::CCheckDlg(CMarrowdexDlg& window)
    : QDialog(&window), m_window(window), m_verdictLabel(new QLabel(this)), m_findingsTree(new QTreeWidget(this)) {
    setObjectName(QStringLiteral("checkDialog"));
    m_verdictLabel->setObjectName(QStringLiteral("verdictLabel"));
    m_findingsTree->setObjectName(QStringLiteral("findingsTree"));
    const DialogUnits units(font());
    const auto button = [&](const char* name, int textId, void (CCheckDlg::*handler)()) {
        auto* made = new TemplateButton(this, name, units, units.Size(50, 14));
        made->setText(UiText(textId));
        made->setAutoDefault(false);
        connect(made, &QPushButton::clicked, this, handler);
        return made;
    };
    m_importButton = button("importButton", text::kImportInPlace, &CCheckDlg::OnImportInPlace);
    m_attachButton = button("attachButton", text::kAttachUnderRecovered, &CCheckDlg::OnAttachUnderRecovered);
    m_removeButton = button("removeButton", text::kRemoveEntries, &CCheckDlg::OnRemove);
    m_rewriteButton = button("rewriteButton", text::kRewriteLevels, &CCheckDlg::OnRewriteLevels);
    m_locateButton = button("locateButton", text::kLocate, &CCheckDlg::OnLocate);
    m_finishButton = button("finishButton", text::kFinishOrUndo, &CCheckDlg::OnFinishOrUndo);
    m_discardButton = button("discardButton", text::kDiscard, &CCheckDlg::OnDiscard);
    m_copyScriptButton = button("copyScriptButton", text::kCopyScriptFiles, &CCheckDlg::OnCopyScriptFiles);
    m_checkAgainButton = button("checkAgainButton", text::kCheckAgain, &CCheckDlg::OnCheckAgain);
    m_closeButton = new TemplateButton(this, "closeButton", units, units.Size(50, 14));
    m_closeButton->setText(UiText(text::kClose));
    connect(m_closeButton, &QPushButton::clicked, this, &QDialog::accept);
    setWindowTitle(UiText(text::kCheckCaption));
    m_findingsTree->setHeaderHidden(true);
    m_findingsTree->setColumnCount(1);
    // Long paths scroll sideways rather than lose their ends.
    m_findingsTree->header()->setStretchLastSection(false);
    m_findingsTree->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    m_findingsTree->setSelectionMode(QAbstractItemView::SingleSelection);
    connect(m_findingsTree, &QTreeWidget::currentItemChanged, this, &CCheckDlg::OnSelectionChanged);
    LayOut();

    RunCheck();
    ShowReport();
}

void CCheckDlg::LayOut() {
    const DialogUnits units(font());
    // The findings on the left; the repairs in a column on the right, the window's own buttons at
    // its foot.
    auto* repairs = new QVBoxLayout;
    for (QPushButton* repair : {m_importButton, m_attachButton, m_removeButton, m_rewriteButton, m_locateButton,
                                m_finishButton, m_discardButton, m_copyScriptButton}) {
        repairs->addWidget(repair);
    }
    repairs->addStretch(1);
    repairs->addWidget(m_checkAgainButton);
    repairs->addWidget(m_closeButton);
    // On a small screen the findings make do with less: they scroll.
    m_findingsTree->setMinimumSize(units.Size(250, 160).boundedTo(AvailableRoom(*this) / 2));
    auto* body = new QHBoxLayout;
    body->addWidget(m_findingsTree, 1);
    body->addLayout(repairs);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_verdictLabel);
    layout->addLayout(body, 1);
    QSize size = units.Size(460, 240).expandedTo(minimumSizeHint());
    size.setWidth(std::max(size.width(), CaptionWidth(*this)));
    resize(size);
}

void CCheckDlg::RunCheck() {
    const ProgramFiles program = m_window.OwnFiles();
    CheckReport report;
    LoadReport load;
    // The check reads a tree of its own, so the window's may be shown meanwhile.
    RunBehindProgress(isVisible() ? static_cast<QWidget*>(this) : &m_window, text::kCheckInProgress, false,
                      [&](WorkProgress&) { report = CheckAndRemember(program, &load); });
    m_report = std::move(report);
    m_load = std::move(load);
}

void CCheckDlg::ShowReport() {
    const std::optional<FindingKind> wasSelected = SelectedKind();
    m_verdictLabel->setText(m_report.Healthy()
                                ? UiText(text::kCheckHealthy)
                                : UiText(text::kCheckFindings) + QString::number(m_report.findings.size()));
    m_findingsTree->clear();
    const std::string home = m_window.HomeDirectory();
    QTreeWidgetItem* select = nullptr;
    QTreeWidgetItem* group = nullptr;
    int listed = 0;
    const auto sayHowManyMore = [&] {
        if (group != nullptr && listed > kListedPerKind) {
            auto* more = new QTreeWidgetItem(group);
            more->setText(0, UiText(text::kMoreFindings).arg(listed - kListedPerKind));
            more->setData(0, kKindRole, group->data(0, kKindRole));
            more->setData(0, kIndexRole, -1);
            more->setFlags(more->flags() & ~Qt::ItemIsSelectable);
        }
    };
    for (std::size_t i = 0; i < m_report.findings.size(); ++i) {
        const Finding& finding = m_report.findings[i];
        const int kind = static_cast<int>(finding.kind);
        if (group == nullptr || group->data(0, kKindRole).toInt() != kind) {
            sayHowManyMore();
            listed = 0;
            group = new QTreeWidgetItem(m_findingsTree);
            group->setText(
                0, QStringLiteral("%1 (%2)").arg(UiText(FindingTitle(finding.kind))).arg(m_report.Count(finding.kind)));
            group->setData(0, kKindRole, kind);
            group->setData(0, kIndexRole, -1);
            QFont bold = group->font(0);
            bold.setBold(true);
            group->setFont(0, bold);
            if (select == nullptr || (wasSelected && *wasSelected == finding.kind)) {
                select = group;
            }
        }
        if (++listed > kListedPerKind) {
            continue;
        }
        auto* item = new QTreeWidgetItem(group);
        item->setText(0, Shown(finding.path, home));
        item->setToolTip(0, QString::fromStdU16String(FromStoreText(finding.path)));
        item->setData(0, kKindRole, kind);
        item->setData(0, kIndexRole, static_cast<qlonglong>(i));
    }
    sayHowManyMore();
    for (int i = 0; i < m_findingsTree->topLevelItemCount(); ++i) {
        QTreeWidgetItem* top = m_findingsTree->topLevelItem(i);
        top->setExpanded(top->childCount() <= kOpenGroupLimit);
    }
    m_findingsTree->setCurrentItem(select);
    OnSelectionChanged();
}

std::optional<FindingKind> CCheckDlg::SelectedKind() const {
    const QTreeWidgetItem* item = m_findingsTree->currentItem();
    if (item == nullptr) {
        return std::nullopt;
    }
    return static_cast<FindingKind>(item->data(0, kKindRole).toInt());
}

std::vector<Finding> CCheckDlg::SelectedFindings() const {
    std::vector<Finding> chosen;
    const QTreeWidgetItem* item = m_findingsTree->currentItem();
    if (item == nullptr) {
        return chosen;
    }
    const qlonglong index = item->data(0, kIndexRole).toLongLong();
    if (index >= 0) {
        chosen.push_back(m_report.findings[static_cast<std::size_t>(index)]);
        return chosen;
    }
    const auto kind = static_cast<FindingKind>(item->data(0, kKindRole).toInt());
    for (const Finding& finding : m_report.findings) {
        if (finding.kind == kind) {
            chosen.push_back(finding);
        }
    }
    return chosen;
}

void CCheckDlg::OnSelectionChanged() {
    const std::optional<FindingKind> kind = SelectedKind();
    const auto is = [&kind](FindingKind k) { return kind && *kind == k; };
    const QTreeWidgetItem* item = m_findingsTree->currentItem();
    const bool single = item != nullptr && item->data(0, kIndexRole).toLongLong() >= 0;
    // Files an unfinished command may own wait until it is finished or undone.
    m_importButton->setEnabled(is(FindingKind::kUntracked) && m_report.Count(FindingKind::kUnfinished) == 0);
    m_attachButton->setEnabled(is(FindingKind::kUnplaced));
    m_removeButton->setEnabled(is(FindingKind::kUnplaced) || is(FindingKind::kMissing));
    m_rewriteButton->setEnabled(is(FindingKind::kWrongLevel));
    m_locateButton->setEnabled(is(FindingKind::kMissing) && single);
    m_finishButton->setEnabled(is(FindingKind::kUnfinished));
    m_discardButton->setEnabled(is(FindingKind::kRefusedEntry));
    m_copyScriptButton->setEnabled(is(FindingKind::kScriptFolder));
}

bool CCheckDlg::ReadyToRepair() {
    if (m_window.ReloadIfChangedElsewhere()) {
        RunCheck();
        ShowReport();
        return false;
    }
    return true;
}

void CCheckDlg::AfterRepair(int message) {
    // A repair acts on rows and files outside the tree's own commands and has no sound way back:
    // the history cannot go back past it.
    m_window.History().Record(BarrierStep(UndoKind::kRepair));
    m_window.ReloadTree();
    RunCheck();
    ShowReport();
    if (message != 0) {
        MessagePrompt::Show(this, message);
    }
}

void CCheckDlg::OnCheckAgain() {
    RunCheck();
    ShowReport();
}

void CCheckDlg::OnImportInPlace() {
    if (!ReadyToRepair()) {
        return;
    }
    std::vector<std::string> paths;
    for (const Finding& finding : SelectedFindings()) {
        paths.push_back(finding.path);
    }
    // Each is taken where it is, under the catalog whose folder holds it.
    RunImports(m_window, this, nullptr, paths, false);
    AfterRepair(0);
}

void CCheckDlg::OnAttachUnderRecovered() {
    if (!ReadyToRepair()) {
        return;
    }
    const OpResult result = AttachUnplacedRows(m_window.Catalog(), m_window.HomeDirectory(), m_load,
                                               ToStoreText(UiString(text::kRecoveredCatalog)));
    AfterRepair(result.message);
}

void CCheckDlg::OnRemove() {
    const std::optional<FindingKind> kind = SelectedKind();
    if (!kind || !ReadyToRepair()) {
        return;
    }
    if (*kind == FindingKind::kUnplaced) {
        if (MessagePrompt::Confirm(this, UiText(text::kConfirmRemoveRows) + QString::number(m_load.unplaced.size()),
                                   text::kCaution)) {
            AfterRepair(RemoveUnplacedRows(m_load).message);
        }
        return;
    }
    const std::vector<Finding> findings = SelectedFindings();
    if (*kind != FindingKind::kMissing ||
        !MessagePrompt::Confirm(this, UiText(text::kConfirmRemoveNodes) + QString::number(findings.size()),
                                text::kCaution)) {
        return;
    }
    // One node at a time, each in a transaction of its own: behind a progress window whose Cancel
    // keeps what is removed, the view letting go of the tree meanwhile.
    NodeRemoval removal;
    const std::string home = m_window.HomeDirectory();
    const ProgramFiles program = m_window.OwnFiles();
    m_window.DetachTree();
    RunBehindProgress(this, text::kRemoveInProgress, true, [&](WorkProgress& progress) {
        RepairControl control;
        control.progress = [&progress](std::size_t done, std::size_t total) { progress.Report(done, total); };
        control.cancel = &progress.cancel;
        removal = RemoveMissingNodes(m_window.Catalog(), home, findings, program, control);
    });
    AfterRepair(removal.result.message);
}

void CCheckDlg::OnRewriteLevels() {
    if (ReadyToRepair()) {
        AfterRepair(RewriteLevels(m_load).message);
    }
}

void CCheckDlg::OnLocate() {
    const std::vector<Finding> findings = SelectedFindings();
    if (findings.size() != 1 || findings.front().kind != FindingKind::kMissing || !ReadyToRepair()) {
        return;
    }
    CatalogNode* node = m_window.Catalog().NodeById(findings.front().nodeId);
    if (node == nullptr || node->Path() != findings.front().path) {
        OnCheckAgain();
        return;
    }
    const std::string home = m_window.HomeDirectory();
    if (node->IsCatalog()) {
        AfterRepair(LocateMissing(m_window.Catalog(), home, *node, {}, false).message);
        return;
    }
    // The document's file, moved or copied into place as adding a document does.
    const auto chosen = FilePrompt::Ask(this);
    if (!chosen) {
        return;
    }
    const OpResult result =
        LocateMissing(m_window.Catalog(), home, *node, ToStoreText(chosen->toStdU16String()),
                      SettingsCopy().deleteAfterAdding == 1, TransferBehindProgress(this), m_window.OwnFiles());
    AfterRepair(result.message);
}

void CCheckDlg::OnFinishOrUndo() {
    if (!ReadyToRepair()) {
        return;
    }
    const RecoveryReport report = RecoverInterruptedCommands(m_window.HomeDirectory());
    AfterRepair(report.status != kStatementOk ? text::kChangeNotSaved : 0);
    MessagePrompt::ShowWithPaths(this, text::kCommandFinished, report.finished);
    MessagePrompt::ShowWithPaths(this, text::kCommandUndone, report.undone);
    MessagePrompt::ShowWithPaths(this, text::kCommandUnresolved, report.unresolved);
}

void CCheckDlg::OnDiscard() {
    const std::vector<Finding> findings = SelectedFindings();
    if (findings.empty() || findings.front().kind != FindingKind::kRefusedEntry || !ReadyToRepair() ||
        !MessagePrompt::Confirm(this, UiText(text::kConfirmDiscard) + QString::number(findings.size()),
                                text::kCaution)) {
        return;
    }
    std::vector<std::int64_t> ids;
    for (const Finding& finding : findings) {
        ids.push_back(finding.entryId);
    }
    AfterRepair(DiscardRefusedEntries(ids, m_window.HomeDirectory()).message);
}

void CCheckDlg::OnCopyScriptFiles() {
    if (ReadyToRepair()) {
        AfterRepair(RestoreScriptFiles(m_window.HomeDirectory(), m_window.ProgramFolder() + "/js").message);
    }
}

} // namespace mwdx
