#include "config/config_dlg.h"

#include "app/dialog_units.h"
#include "app/marrowdex_dlg.h"
#include "app/progress.h"
#include "app/prompts.h"
#include "operations/home_change.h"
#include "platform/text.h"
#include "platform/text_ids.h"
#include "store/settings.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace mwdx {

CConfigDlg::CConfigDlg(CMarrowdexDlg& window) : QDialog(&window), m_window(window) {
    setObjectName(QStringLiteral("configDialog"));
    const DialogUnits units(font());
    m_okButton = new TemplateButton(this, "okButton", units, units.Size(50, 14));
    m_cancelButton = new TemplateButton(this, "cancelButton", units, units.Size(50, 14));
    m_homeDirLabel = MakeChild<QLabel>(this, "homeDirLabel");
    m_homeDirEdit = MakeChild<QLineEdit>(this, "homeDirEdit", {units.X(178), 0});
    m_browseButton = MakeChild<QToolButton>(this, "browseButton", units.Size(17, 14));
    m_shortcutCheck = MakeChild<QCheckBox>(this, "shortcutCheck");
    m_moveDocumentsCheck = MakeChild<QCheckBox>(this, "moveDocumentsCheck");
    m_deleteFilesCheck = MakeChild<QCheckBox>(this, "deleteFilesCheck");

    // Top to bottom: the Home Directory with its "+" (on the left two thirds, as the window was
    // first drawn), the three options evenly spaced, and OK and Cancel at the bottom right.
    auto* home = new QHBoxLayout;
    home->addWidget(m_homeDirEdit, 178);
    home->addWidget(m_browseButton);
    home->addStretch(309 - 198);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_homeDirLabel);
    layout->addLayout(home);
    layout->addSpacing(units.Y(2));
    layout->addWidget(m_shortcutCheck);
    layout->addWidget(m_moveDocumentsCheck);
    layout->addWidget(m_deleteFilesCheck);
    layout->addSpacing(units.Y(2));
    layout->addLayout(OkCancelRow(m_okButton, m_cancelButton));

    m_okButton->setDefault(true);
    m_homeDirEdit->setReadOnly(true); // the chooser is the only way to change it
    m_browseButton->setText(QStringLiteral("+"));
    // Tab order follows the layout: OK, Cancel, the path, the chooser, the options.
    setTabOrder(m_okButton, m_cancelButton);
    setTabOrder(m_cancelButton, m_homeDirEdit);
    setTabOrder(m_homeDirEdit, m_browseButton);
    setTabOrder(m_browseButton, m_shortcutCheck);
    setTabOrder(m_shortcutCheck, m_moveDocumentsCheck);
    setTabOrder(m_moveDocumentsCheck, m_deleteFilesCheck);

    connect(m_okButton, &QPushButton::clicked, this, &CConfigDlg::accept);
    connect(m_cancelButton, &QPushButton::clicked, this, &CConfigDlg::reject);
    connect(m_browseButton, &QToolButton::clicked, this, &CConfigDlg::OnBrowseHomeDirectory);
    OnInitDialog();
}

void CConfigDlg::OnInitDialog() {
    m_homeDirLabel->setText(UiText(text::kChooseHomeDirectory));
    m_shortcutCheck->setText(UiText(text::kDesktopShortcutOption));
    m_moveDocumentsCheck->setText(UiText(text::kMoveDocumentsOption));
    m_deleteFilesCheck->setText(UiText(text::kDeleteFilesOption));
    setWindowTitle(UiText(text::kConfigurationCaption));
    m_okButton->setText(UiText(text::kOk));
    m_cancelButton->setText(UiText(text::kCancel));
    FitToContents(*this, DialogUnits(font()).Size(309, 94));

    const SettingsRecord settings = SettingsCopy();
    m_homeDirEdit->setText(QString::fromStdU16String(FromStoreText(RootDirOf(settings))));
    m_shortcutCheck->setChecked(settings.urlShortcut == 1);
    m_moveDocumentsCheck->setChecked(settings.deleteAfterAdding == 1);
    m_deleteFilesCheck->setChecked(settings.deleteAfterNodeDelete == 1);
}

void CConfigDlg::OnBrowseHomeDirectory() {
    if (const auto chosen = FolderPrompt::Ask(this, m_homeDirEdit->text())) {
        m_homeDirEdit->setText(*chosen);
    }
}

void CConfigDlg::accept() {
    HomeChange change;
    change.chosen = m_homeDirEdit->text().toStdString();
    change.options.desktopShortcut = m_shortcutCheck->isChecked();
    change.options.moveDocuments = m_moveDocumentsCheck->isChecked();
    change.options.deleteFiles = m_deleteFilesCheck->isChecked();
    change.program = m_window.OwnFiles();
    CatalogModel& catalog = m_window.Catalog();

    const HomeChangeQuestions questions = AskBeforeHomeChange(catalog, change);
    if (!questions.check.done) {
        MessagePrompt::Show(this, questions.check.message);
        return;
    }
    // The program and its store among the documents: allowed, but only when the user says so.
    if (questions.holdsProgram) {
        if (!MessagePrompt::AskYesOrNo(this, UiText(text::kHomeHoldsProgram))) {
            return;
        }
        change.holdingProgramAccepted = true;
    }
    if (questions.holdsKnowledgeBase) {
        const auto choice = ChoicePrompt::Ask(this, UiText(text::kHomeHoldsKnowledgeBase),
                                              {text::kMoveEverything, text::kUseNewFolderAsItIs});
        if (!choice) {
            return; // nothing changes; the window stays for another choice
        }
        change.knowledgeBase = *choice == 0 ? KnowledgeBaseAnswer::kMoveEverything : KnowledgeBaseAnswer::kTakeAsItIs;
    }

    HomeChangeResult result;
    if (change.knowledgeBase == KnowledgeBaseAnswer::kMoveEverything) {
        // The move changes the tree's paths on the worker: the view lets go of the tree meanwhile.
        m_window.DetachTree();
        const bool ran = RunBehindProgress(this, text::kHomeMoveInProgress, false, [&](WorkProgress& progress) {
            change.progress = [&progress](std::size_t done, std::size_t total) { progress.Report(done, total); };
            result = ChangeHomeDirectory(catalog, change);
        });
        m_window.AttachTree();
        if (!ran) {
            result.message = text::kHomeMoveFailed;
        }
    } else {
        result = ChangeHomeDirectory(catalog, change);
    }
    if (result.message != 0) {
        MessagePrompt::Show(this, result.message);
    }
    m_takenAsItIs = result.showWhatIsMissing;
    if (result.status == HomeChangeStatus::kChanged) {
        QDialog::accept();
    }
}

void CConfigDlg::reject() {
    if (MustChooseHomeDirectory()) {
        MessagePrompt::Show(this, text::kHomeDirectoryRequired);
        return;
    }
    QDialog::reject();
}

} // namespace mwdx
