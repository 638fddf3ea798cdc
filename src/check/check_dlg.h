#pragma once

// The health check's window: what the check found, grouped by kind with counts, and beside it each
// kind's repair. After every repair the main window's tree is loaded again and the check runs
// again, so the window always shows what remains. No repair deletes or overwrites a file.

#include "catalog/loader.h"
#include "operations/check.h"

#include <QDialog>
#include <optional>
#include <vector>

class QLabel;
class QPushButton;
class QTreeWidget;

namespace mwdx {

class CMarrowdexDlg;
struct OpResult;

class CCheckDlg final : public QDialog {
    Q_OBJECT

public:
    // Runs the check on the knowledge base of `window` (the window is the parent).
    explicit CCheckDlg(CMarrowdexDlg& window);

    const CheckReport& Report() const { return m_report; }

    // Handlers, one per button. Each repair acts on the selected finding or, with a kind
    // selected, on every finding of that kind.
    void OnImportInPlace();
    void OnAttachUnderRecovered();
    void OnRemove();
    void OnRewriteLevels();
    void OnLocate();
    void OnFinishOrUndo();
    void OnDiscard();
    void OnCopyScriptFiles();
    void OnCheckAgain();
    void OnSelectionChanged();

private:
    void LayOut();
    // The check on the store as it is now, its count kept for the next start.
    void RunCheck();
    void ShowReport();
    std::optional<FindingKind> SelectedKind() const;
    std::vector<Finding> SelectedFindings() const;
    // Before a repair: false when the store changed elsewhere (the check then shows it anew).
    bool ReadyToRepair();
    // After a repair: its message, the tree loaded again, and the check again.
    void AfterRepair(int message);

    CMarrowdexDlg& m_window;
    CheckReport m_report;
    LoadReport m_load; // of the load the report was made from: what the row repairs work on
    QLabel* m_verdictLabel;
    QTreeWidget* m_findingsTree;
    QPushButton* m_importButton;
    QPushButton* m_attachButton;
    QPushButton* m_removeButton;
    QPushButton* m_rewriteButton;
    QPushButton* m_locateButton;
    QPushButton* m_finishButton;
    QPushButton* m_discardButton;
    QPushButton* m_copyScriptButton;
    QPushButton* m_checkAgainButton;
    QPushButton* m_closeButton;
};

} // namespace mwdx
