#pragma once

// The configuration window: the Home Directory and the three options. Confirming prepares the
// Home Directory on disk, saves the settings row and replaces the program's Settings; on the
// first run, or while the Home Directory is not usable, it cannot be left any other way. A new
// Home Directory, while the old one holds the knowledge base, is either given everything (moved
// over) or taken as it is; either way the tree's paths and the program's lock on its Home
// Directory follow at once. A folder that another running program works on is refused, and one
// that holds the program's own folder is taken only when the user says so.

#include <QDialog>
#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace mwdx {

class CMarrowdexDlg;

class CConfigDlg final : public QDialog {
    Q_OBJECT

public:
    // The options of the knowledge base `window` shows (the window is the parent): its tree's paths
    // follow a new Home Directory, which receives the program's js folder.
    explicit CConfigDlg(CMarrowdexDlg& window);

    // After OK: the user chose to use a new Home Directory as it is, so what it lacks is to be
    // shown.
    bool NewHomeTakenAsItIs() const { return m_takenAsItIs; }

    void OnBrowseHomeDirectory();
    void accept() override; // OK
    void reject() override; // Cancel, the close box and Escape

private:
    void OnInitDialog();
    CMarrowdexDlg& m_window;
    bool m_takenAsItIs = false;
    QLabel* m_homeDirLabel;
    QLineEdit* m_homeDirEdit;
    QToolButton* m_browseButton;
    QCheckBox* m_shortcutCheck;
    QCheckBox* m_moveDocumentsCheck;
    QCheckBox* m_deleteFilesCheck;
    QPushButton* m_okButton;
    QPushButton* m_cancelButton;
};

} // namespace mwdx
