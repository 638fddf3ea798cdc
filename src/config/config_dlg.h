#pragma once

// The configuration window: the Home Directory and the three options. Confirming prepares the
// Home Directory on disk, saves the settings row and replaces the program's Settings; on the
// first run it cannot be left any other way.

#include <QDialog>
#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace mwdx {

class CConfigDlg final : public QDialog {
    Q_OBJECT

public:
    // `programDirectory` holds the js folder that a new Home Directory receives.
    CConfigDlg(std::string programDirectory, QWidget* parent = nullptr);

    void OnBrowseHomeDirectory();
    void accept() override; // OK
    void reject() override; // Cancel, the close box and Escape

private:
    void OnInitDialog();

    std::string m_programDirectory;
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
