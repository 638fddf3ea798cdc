#include "config/config_dlg.h"

#include "app/dialog_units.h"
#include "app/progress.h"
#include "app/prompts.h"
#include "operations/home_move.h"
#include "operations/program_files.h"
#include "platform/file_ops.h"
#include "platform/home_fs.h"
#include "platform/string_table.h"
#include "platform/text.h"
#include "platform/text_ids.h"
#include "store/connection.h"
#include "store/journal.h"
#include "store/settings.h"
#include "store/store_session.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace mwdx {

namespace {

// The chooser's answer as stored: UTF-8, without a trailing '/' (the root stays "/").
std::string HomeDirectoryText(const QString& chosen) {
    std::string path = chosen.toStdString();
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

} // namespace

CConfigDlg::CConfigDlg(std::string programDirectory, CatalogModel* catalog, QWidget* parent)
    : QDialog(parent), m_programDirectory(std::move(programDirectory)), m_catalog(catalog) {
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

bool CConfigDlg::MoveKnowledgeBase(const std::string& oldHome, const std::string& newHome) {
    OpResult result = OpResult::Refused(text::kHomeMoveFailed, "no thread for the move");
    RunBehindProgress(this, text::kHomeMoveInProgress, false, [&](WorkProgress& progress) {
        HomeMoveControl control;
        control.progress = [&progress](std::size_t done, std::size_t total) { progress.Report(done, total); };
        control.program = ProgramFilesIn(m_programDirectory);
        result = MoveHomeOperation(*m_catalog, oldHome, newHome, control);
    });
    int message = result.message;
    if (message == text::kMoveIntoItself) {
        message = text::kHomeInsideOther;
    } else if (message == text::kMoveFailed) {
        // Whatever could not be moved back is left to the next start, which the journal tells.
        const std::vector<JournalEntry> entries = ReadJournal();
        const bool unfinished = std::any_of(entries.begin(), entries.end(),
                                            [](const JournalEntry& entry) { return entry.kind == kJournalHomeMove; });
        message = unfinished ? text::kHomeMoveUnfinished : text::kHomeMoveFailed;
    }
    if (message != 0) {
        MessagePrompt::Show(this, message);
    }
    return result.done;
}

void CConfigDlg::accept() {
    const std::string home = HomeDirectoryText(m_homeDirEdit->text());
    if (home.empty()) {
        MessagePrompt::Show(this, text::kHomeDirectoryRequired);
        return;
    }
    // A path longer than the settings row holds would be stored cut, naming another folder.
    if (home.size() >= sizeof(SettingsRecord::rootDir)) {
        MessagePrompt::Show(this, text::kAddFailed);
        return;
    }
    if (!IsUsableHomeDirectory(home)) {
        MessagePrompt::Show(this, text::kHomeNotUsable);
        return;
    }
    const SettingsRecord current = SettingsCopy();
    const std::string oldHome = m_catalog != nullptr && m_catalog->RootNode() != nullptr
                                    ? m_catalog->RootNode()->Path()
                                    : std::string(RootDirOf(current));
    const bool moved = LexicallyNormal(oldHome) != LexicallyNormal(home);
    // The program and its store among the documents: allowed, but only when the user says so.
    if (moved && HoldsProgramFolder(home, m_programDirectory) &&
        !MessagePrompt::AskYesOrNo(this, UiText(text::kHomeHoldsProgram))) {
        return;
    }
    // Another program working there would delete what this one adds: refused before anything
    // moves in. A folder that is not there yet is locked once it is made.
    InstanceLock homeLock;
    if (PathExists(home) && TakeHomeLock(home, homeLock) == LockResult::kHeldByOther) {
        MessagePrompt::Show(this, text::kNewHomeInUse);
        return;
    }
    m_takenAsItIs = false;
    if (moved && current.firstRunning != 1 && m_catalog != nullptr && IsUsableHomeDirectory(oldHome) &&
        !KnowledgeBaseEntries(*m_catalog, oldHome).empty()) {
        const auto choice = ChoicePrompt::Ask(this, UiText(text::kHomeHoldsKnowledgeBase),
                                              {text::kMoveEverything, text::kUseNewFolderAsItIs});
        if (!choice) {
            return; // nothing changes; the window stays for another choice
        }
        if (*choice == 0 && !MoveKnowledgeBase(oldHome, home)) {
            return;
        }
        m_takenAsItIs = *choice == 1;
    }
    const HomeTree homeTree(home);
    if (!homeTree.MakeDirectoryPath(home)) {
        MessagePrompt::Show(this, text::kAddFailed);
        return;
    }
    // The index page loads its script from the Home Directory; whatever is there already stays.
    if (!PathExists(home + "/js") && !homeTree.CopyFolderInto(m_programDirectory + "/js", home)) {
        MessagePrompt::Show(this, text::kAddFailed);
        return;
    }
    if (!homeLock.Held() && TakeHomeLock(home, homeLock) == LockResult::kHeldByOther) {
        MessagePrompt::Show(this, text::kNewHomeInUse);
        return;
    }

    SettingsRecord values{};
    SetRootDir(values, home);
    values.firstRunning = 0;
    values.urlShortcut = m_shortcutCheck->isChecked() ? 1 : 0;
    values.deleteAfterAdding = m_moveDocumentsCheck->isChecked() ? 1 : 0;
    values.deleteAfterNodeDelete = m_deleteFilesCheck->isChecked() ? 1 : 0;
    // Unsaved, the choice would be lost at the next start: say so and keep the window open.
    if (SaveSettingsRow(values) != kStatementOk) {
        MessagePrompt::Show(this, text::kChangeNotSaved);
        if (MustChooseHome()) {
            // A store that cannot be written at first start must not trap the user: the choice
            // holds for this run, the window may be left, and the next start asks again.
            ReplaceSettings(values);
            KeepHomeLock(std::move(homeLock));
        }
        return;
    }
    ReplaceSettings(values);
    KeepHomeLock(std::move(homeLock)); // the lock follows the Home Directory
    // No mixed state until a restart: new catalogs go into the new folder from now on.
    if (moved && m_catalog != nullptr) {
        RehomeCatalog(*m_catalog, home);
    }
    QDialog::accept();
}

bool CConfigDlg::MustChooseHome() {
    const SettingsRecord settings = SettingsCopy();
    return settings.firstRunning == 1 || !IsUsableHomeDirectory(RootDirOf(settings));
}

void CConfigDlg::reject() {
    if (MustChooseHome()) {
        MessagePrompt::Show(this, text::kHomeDirectoryRequired);
        return;
    }
    QDialog::reject();
}

} // namespace mwdx
