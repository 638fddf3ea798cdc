#include "config/config_dlg.h"

#include "app/dialog_units.h"
#include "app/prompts.h"
#include "platform/file_ops.h"
#include "platform/home_fs.h"
#include "platform/string_table.h"
#include "platform/text.h"
#include "platform/text_ids.h"
#include "store/connection.h"
#include "store/settings.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

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

CConfigDlg::CConfigDlg(std::string programDirectory, QWidget* parent)
    : QDialog(parent), m_programDirectory(std::move(programDirectory)) {
    setObjectName(QStringLiteral("configDialog"));
    const DialogUnits units(font());
    m_okButton = Place<QPushButton>(this, "okButton", units.Rect(205, 77, 50, 14));
    m_cancelButton = Place<QPushButton>(this, "cancelButton", units.Rect(259, 77, 50, 14));
    m_homeDirLabel = Place<QLabel>(this, "homeDirLabel", units.Rect(4, 4, 198, 12));
    m_homeDirEdit = Place<QLineEdit>(this, "homeDirEdit", units.Rect(3, 19, 178, 14));
    m_browseButton = Place<QPushButton>(this, "browseButton", units.Rect(181, 19, 17, 14));
    m_shortcutCheck = Place<QCheckBox>(this, "shortcutCheck", units.Rect(3, 39, 300, 10));
    m_moveDocumentsCheck = Place<QCheckBox>(this, "moveDocumentsCheck", units.Rect(3, 54, 300, 10));
    m_deleteFilesCheck = Place<QCheckBox>(this, "deleteFilesCheck", units.Rect(3, 68, 200, 10));
    setFixedSize(units.Size(312, 94));

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
    connect(m_browseButton, &QPushButton::clicked, this, &CConfigDlg::OnBrowseHomeDirectory);
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
    const std::string home = HomeDirectoryText(m_homeDirEdit->text());
    if (home.empty()) {
        MessagePrompt::Show(this, text::kHomeDirectoryRequired);
        return;
    }
    // A path longer than the settings row holds would be stored cut, naming another folder.
    const HomeTree homeTree(home);
    if (home.size() >= sizeof(SettingsRecord::rootDir) || !homeTree.MakeDirectoryPath(home)) {
        MessagePrompt::Show(this, text::kAddFailed);
        return;
    }
    // The index page loads its script from the Home Directory; whatever is there already stays.
    if (!PathExists(home + "/js") && !homeTree.CopyFolderInto(m_programDirectory + "/js", home)) {
        MessagePrompt::Show(this, text::kAddFailed);
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
        if (SettingsCopy().firstRunning == 1) {
            // A store that cannot be written at first start must not trap the user: the choice
            // holds for this run, the window may be left, and the next start asks again.
            ReplaceSettings(values);
        }
        return;
    }
    ReplaceSettings(values);
    QDialog::accept();
}

void CConfigDlg::reject() {
    if (SettingsCopy().firstRunning == 1) {
        MessagePrompt::Show(this, text::kHomeDirectoryRequired);
        return;
    }
    QDialog::reject();
}

} // namespace mwdx
