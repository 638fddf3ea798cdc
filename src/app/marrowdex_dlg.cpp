#include "app/marrowdex_dlg.h"

#include "app/catalog_tree_model.h"
#include "app/content_search.h"
#include "app/cpu_state.h"
#include "app/dialog_units.h"
#include "app/finder.h"
#include "app/icons.h"
#include "app/progress.h"
#include "app/prompts.h"
#include "app/qt_texts.h"
#include "app/screen_fit.h"
#include "app/tree_ctrl_ex.h"
#include "app/window_memory.h"
#include "catalog/loader.h"
#include "operations/move_node.h"
#include "operations/recovery.h"
#include "platform/home_fs.h"
#include "platform/quit_signals.h"
#include "platform/string_table.h"
#include "platform/text.h"
#include "platform/text_ids.h"
#include "store/check_record.h"
#include "store/connection.h"
#include "store/settings.h"
#include "store/store_session.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollBar>
#include <QShortcut>
#include <QSocketNotifier>
#include <QSplitter>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>
#include <algorithm>
#include <tuple>
#include <utility>

namespace mwdx {

namespace {

QPushButton* MakeButton(QWidget* parent, const char* name) {
    const DialogUnits units(parent->font());
    auto* button = new TemplateButton(parent, name, units, units.Size(56, 20));
    // Buttons take no focus, so Enter in the window is never a button's.
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoDefault(false);
    return button;
}

} // namespace

// A quiet line that takes the width there is and never asks for more, so the window fits a small
// screen whatever it says: cut with "…" where it does not fit; the whole line is its tooltip.
class StatusLine final : public QLabel {
public:
    explicit StatusLine(QWidget* parent) : QLabel(parent) {}

    void SetLine(const QString& line, const QString& detail) {
        m_line = line;
        setToolTip(detail.isEmpty() ? line : line + QLatin1Char('\n') + detail);
        Elide();
        updateGeometry();
    }
    QSize sizeHint() const override {
        return {fontMetrics().horizontalAdvance(m_line), QLabel::sizeHint().height()};
    }
    QSize minimumSizeHint() const override { return {0, QLabel::minimumSizeHint().height()}; }

protected:
    void resizeEvent(QResizeEvent* event) override {
        QLabel::resizeEvent(event);
        Elide();
    }

private:
    void Elide() { setText(fontMetrics().elidedText(m_line, Qt::ElideRight, std::max(width(), 1))); }

    QString m_line;
};

CMarrowdexDlg::CMarrowdexDlg(std::string programDirectory, const CommandFactory& commands, QWidget* parent)
    : QDialog(parent), m_programDirectory(std::move(programDirectory)), m_treeModel(new CatalogTreeModel(this)),
      m_optionButton(MakeButton(this, "optionButton")), m_openIndexButton(MakeButton(this, "openIndexButton")),
      m_syncIndexButton(MakeButton(this, "syncIndexButton")), m_helpButton(MakeButton(this, "helpButton")),
      m_checkButton(MakeButton(this, "checkButton")), m_indexStatus(new StatusLine(this)),
      m_selectionStatus(new QLabel(this)), m_tree(new CTreeCtrlEx(this)), m_searchEdit(new QLineEdit(this)),
      m_matchCount(new QLabel(this)), m_commentPane(new QPlainTextEdit(this)), m_splitter(new QSplitter(this)) {
    setObjectName(QStringLiteral("mainWindow"));
    FitWindowsIntoScreen();
    setWindowFlag(Qt::WindowMinimizeButtonHint);
    m_commentPane->setObjectName(QStringLiteral("commentPane"));
    m_commentPane->setReadOnly(true);
    // Lines wrap at the pane's edge: between words, and anywhere in text without spaces
    // (Chinese, addresses).
    m_commentPane->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_commentPane->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_tree->setModel(m_treeModel);
    m_searchEdit->setObjectName(QStringLiteral("searchEdit"));
    m_matchCount->setObjectName(QStringLiteral("matchCount"));
    m_matchCount->setMinimumWidth(m_matchCount->fontMetrics().horizontalAdvance(QStringLiteral("0000000")));
    m_matchCount->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_indexStatus->setObjectName(QStringLiteral("indexStatus"));
    m_indexStatus->setForegroundRole(QPalette::PlaceholderText);
    m_indexStatus->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_indexStatus->hide();
    m_selectionStatus->setObjectName(QStringLiteral("selectionStatus"));
    m_selectionStatus->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_selectionStatus->hide();
    m_finder = new CatalogFinder(*m_searchEdit, *m_matchCount, *m_tree, *m_treeModel, m_catalog, this);
    LayOut();

    if (commands) {
        m_commands = commands(*this);
    }
    const std::pair<QPushButton*, int> buttons[] = {{m_optionButton, kCmdOption},
                                                    {m_openIndexButton, kCmdOpenIndex},
                                                    {m_syncIndexButton, kCmdSyncIndex},
                                                    {m_helpButton, kCmdHelp},
                                                    {m_checkButton, kCmdCheck}};
    for (const auto& [button, id] : buttons) {
        connect(button, &QPushButton::clicked, this,
                [this, id = id] { OnCommand(id, {Invocation::From::kButton}); });
    }
    connect(m_tree, &CTreeCtrlEx::menuRequested, this, &CMarrowdexDlg::OnTreeRightClick);
    connect(m_tree, &QAbstractItemView::clicked, this, &CMarrowdexDlg::OnTreeSelect);
    connect(m_tree->selectionModel(), &QItemSelectionModel::selectionChanged, this, &CMarrowdexDlg::OnTreeSelect);
    connect(m_tree->selectionModel(), &QItemSelectionModel::currentChanged, this, &CMarrowdexDlg::OnTreeSelect);
    connect(m_tree, &CTreeCtrlEx::enterPressed, this, &CMarrowdexDlg::OnTreeActivated);
    connect(m_tree, &QAbstractItemView::doubleClicked, this, &CMarrowdexDlg::OnTreeActivated);
    connect(m_tree, &CTreeCtrlEx::nodeDropped, this, &CMarrowdexDlg::OnNodeDropped);
    connect(m_tree, &CTreeCtrlEx::filesDropped, this, &CMarrowdexDlg::OnFilesDropped);
    // Only where the move would be made is a dragged node offered a place to go.
    m_tree->SetDropCheck([this](const std::vector<std::int64_t>& fileIds, const QModelIndex& target) {
        if (fileIds.size() == 1) {
            const CatalogNode* node = m_catalog.NodeById(fileIds.front());
            bool stays = false;
            return node != nullptr &&
                   CheckMove(m_catalog, HomeDirectory(), *node, ItemNode(target), OwnFiles(), &stays).done && !stays;
        }
        // Several: a place where at least one of them would go takes the drop; the others are
        // then listed with their reasons.
        std::vector<CatalogNode*> nodes;
        for (const std::int64_t id : fileIds) {
            if (CatalogNode* node = m_catalog.NodeById(id)) {
                nodes.push_back(node);
            }
        }
        std::size_t going = 0;
        CheckMoveNodes(m_catalog, HomeDirectory(), nodes, ItemNode(target), OwnFiles(), &going);
        return going > 0;
    });
    // When the rows are made anew (a search shows its matches, or ends) and leave nothing selected,
    // the pane shows nothing rather than the comment of a node no longer in view.
    connect(m_treeModel, &QAbstractItemModel::modelReset, this, [this] {
        if (m_treeModel->Catalog() != nullptr && SelectedNode() == nullptr) {
            SetCommentText({});
        }
    });
    InstallShortcuts();
    connect(&m_quitTimer, &QTimer::timeout, this, &CMarrowdexDlg::FinishQuit);
    m_startupTimer.setSingleShot(true);
    connect(&m_startupTimer, &QTimer::timeout, this, &CMarrowdexDlg::OnTimer);

    OnInitDialog();
}

CMarrowdexDlg::~CMarrowdexDlg() {
    m_startupTimer.stop();
    // The indexing and the queries end first; then nothing follows the catalog any more.
    m_finder->SetContentSearch(nullptr);
    m_treeModel->SetFollower(nullptr);
    m_content.reset();
    // The view lets go of the nodes first; then the model, the Settings and the store, in that order.
    m_treeModel->SetCatalog(nullptr);
    m_catalog.Clear();
    if (m_startRefusal == 0) { // a refused start holds nothing, and must not close what others hold
        FreeSettings();
        StopStore();
    }
}

void CMarrowdexDlg::LayOut() {
    const DialogUnits units(font());
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(units.X(3));
    for (QPushButton* button : {m_optionButton, m_openIndexButton, m_syncIndexButton}) {
        buttons->addWidget(button);
    }
    // The template's gap before Help, given up first on a narrow screen.
    buttons->addSpacerItem(new QSpacerItem(units.X(245 - 179), 0, QSizePolicy::Preferred, QSizePolicy::Minimum));
    buttons->addWidget(m_helpButton);
    buttons->addWidget(m_checkButton);
    buttons->addStretch(1);

    // The search field with its count of matches above the tree; the tree and the pane share the
    // width as 188 to 293, as the window was first laid out, until the user moves the line between.
    auto* search = new QHBoxLayout;
    search->setSpacing(units.X(2));
    search->addWidget(m_searchEdit, 1);
    search->addWidget(m_matchCount);
    auto* treeSide = new QWidget(m_splitter);
    treeSide->setObjectName(QStringLiteral("treeSide"));
    auto* treeColumn = new QVBoxLayout(treeSide);
    treeColumn->setContentsMargins(0, 0, 0, 0);
    treeColumn->setSpacing(units.Y(2));
    treeColumn->addLayout(search);
    treeColumn->addWidget(m_tree, 1);
    m_splitter->setObjectName(QStringLiteral("paneSplitter"));
    m_splitter->setChildrenCollapsible(false);
    m_splitter->addWidget(treeSide);
    m_splitter->addWidget(m_commentPane);
    m_splitter->setStretchFactor(0, 188);
    m_splitter->setStretchFactor(1, 293);
    m_splitter->setSizes({units.X(188), units.X(293)});

    auto* window = new QVBoxLayout(this);
    window->setContentsMargins(0, units.Y(4), 0, units.Y(3));
    window->setSpacing(units.Y(4));
    auto* top = new QHBoxLayout;
    top->setContentsMargins(units.X(4), 0, 0, 0);
    top->addLayout(buttons);
    window->addLayout(top);
    window->addWidget(m_splitter, 1);
    // How far the indexing is, a quiet line under the panes, there only while it has something to say.
    auto* status = new QHBoxLayout;
    status->setContentsMargins(units.X(4), 0, units.X(4), 0);
    status->addWidget(m_indexStatus);
    status->addWidget(m_selectionStatus);
    window->addLayout(status);
    resize(units.Size(484, 358));
}

void CMarrowdexDlg::OnInitDialog() {
    ChooseUiLanguage();
    UseQtTextsOfUiLanguage();

    // The database lies beside the program: made on first start, and only ever used by one
    // program at a time. Anything else ends the program before it touches the file.
    const StoreStartResult store = StartStore(m_programDirectory + "/mymwdx.db");
    switch (store.status) {
    case StoreStart::kReady:
    case StoreStart::kCreated:
        break;
    case StoreStart::kInUse:
        m_startRefusal = text::kStoreInUse;
        break;
    case StoreStart::kHomeInUse:
        m_startRefusal = text::kHomeInUse;
        break;
    case StoreStart::kBusy:
        m_startRefusal = text::kStoreBusy;
        break;
    case StoreStart::kNotAStore:
        m_startRefusal = text::kNotAStore;
        break;
    case StoreStart::kFailed:
        m_startRefusal = text::kStoreCannotOpen;
        break;
    }

    setWindowIcon(ProgramIcon());
    // The buttons take no focus, so each has a key, named in its tooltip.
    const std::tuple<QPushButton*, int, QKeySequence> buttons[] = {
        {m_optionButton, text::kOption, QKeySequence(Qt::CTRL | Qt::Key_Comma)},
        {m_openIndexButton, text::kOpenIndex, QKeySequence(Qt::CTRL | Qt::Key_O)},
        {m_syncIndexButton, text::kSyncIndex, QKeySequence(Qt::Key_F5)},
        {m_helpButton, text::kHelp, QKeySequence(Qt::Key_F1)},
        {m_checkButton, text::kCheck, QKeySequence(Qt::Key_F7)}};
    for (const auto& [button, textId, key] : buttons) {
        button->setText(UiText(textId));
        button->setShortcut(key);
        button->setToolTip(QStringLiteral("%1 (%2)").arg(UiText(textId), key.toString(QKeySequence::NativeText)));
    }
    m_searchEdit->setPlaceholderText(UiText(text::kFindPlaceholder));
    setWindowTitle(UiText(text::kProgramTitle));

    if (m_startRefusal != 0) {
        return;
    }
    ClearUpperVectorState();
    // Commands a crash interrupted are finished or undone before the tree is read.
    LoadSettings();
    m_recovery = RecoverInterruptedCommands(std::string(RootDirOf(SettingsCopy())));
    StartContentSearch();
    LoadTree(RecallWhereTheUserWas());
    m_startupTimer.start(kStartupDelayMs);
}

CMarrowdexDlg::TreeState CMarrowdexDlg::CaptureTree() const {
    TreeState state;
    if (m_treeModel->Catalog() == nullptr) {
        return m_detached;
    }
    // During a search: the tree as it was before it, as Escape would bring it back.
    if (m_finder->Active()) {
        state.open = m_finder->Forget(&state.selected);
        return state;
    }
    for (const CatalogNode* node : m_treeModel->ExpandedNodes()) {
        state.open.push_back(node->FileId());
    }
    if (const CatalogNode* node = SelectedNode()) {
        state.selected = node->FileId();
    }
    state.scroll = m_tree->verticalScrollBar()->value();
    return state;
}

void CMarrowdexDlg::StartContentSearch() {
    // The index lies beside the store; the extraction worker beside the program.
    m_content = std::make_unique<ContentSearch>(m_programDirectory + "/mymwdx.db",
                                                m_programDirectory + "/marrowdex-extract");
    connect(m_content.get(), &ContentSearch::statusChanged, this, &CMarrowdexDlg::OnIndexStatus);
    connect(m_content.get(), &ContentSearch::snippet, this, &CMarrowdexDlg::OnSnippet);
    m_treeModel->SetFollower(m_content.get());
    m_finder->SetContentSearch(m_content.get());
}

void CMarrowdexDlg::OnIndexStatus() {
    m_indexStatus->SetLine(m_content->Status(), m_content->Detail());
    m_indexStatus->setVisible(!m_content->Status().isEmpty());
}

void CMarrowdexDlg::RestoreTree(const TreeState& state) {
    std::vector<const CatalogNode*> nodes;
    for (const NodeId id : state.open) {
        if (const CatalogNode* node = m_catalog.NodeById(id)) {
            nodes.push_back(node);
        }
    }
    m_treeModel->SetCatalog(&m_catalog, nodes);
    if (m_content) {
        // Whatever happened to the catalog while the view did not follow it, the index catches up.
        m_content->CatalogShown(m_catalog);
    }
    // A node that is gone since is passed over; the pane then shows nothing. One the user
    // selected under a search is shown with the catalogs above it opened.
    const QModelIndex selected = ShowItem(state.selected != 0 ? m_catalog.NodeById(state.selected) : nullptr);
    if (selected.isValid()) {
        SelectItem(selected);
    } else {
        SetCommentText({});
    }
    ScrollTree(state.scroll);
}

void CMarrowdexDlg::ScrollTree(int scroll) {
    m_tree->verticalScrollBar()->setValue(scroll);
    if (const QModelIndex selected = GetSelectedItem(); selected.isValid()) {
        m_tree->scrollTo(selected);
    }
}

void CMarrowdexDlg::RememberWhereTheUserIs() {
    if (m_startRefusal != 0) {
        return;
    }
    const TreeState state = CaptureTree();
    WindowMemory memory;
    memory.geometry = saveGeometry();
    memory.splitter = m_splitter->saveState();
    memory.open = state.open;
    memory.selected = state.selected;
    memory.scroll = state.scroll;
    RememberWindow(StorePath(), memory);
}

CMarrowdexDlg::TreeState CMarrowdexDlg::RecallWhereTheUserWas() {
    const WindowMemory memory = RecallWindow(StorePath());
    if (!memory.geometry.isEmpty()) {
        restoreGeometry(memory.geometry);
    }
    if (!memory.splitter.isEmpty()) {
        m_splitter->restoreState(memory.splitter);
    }
    // The scroll is set again once the window is shown: only then does the tree know its height.
    m_scrollOnShow = memory.scroll;
    return {memory.open, memory.selected, memory.scroll};
}

void CMarrowdexDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (const std::optional<int> scroll = std::exchange(m_scrollOnShow, std::nullopt)) {
        QTimer::singleShot(0, this, [this, scroll = *scroll] { ScrollTree(scroll); });
    }
}

void CMarrowdexDlg::done(int result) {
    RememberWhereTheUserIs();
    QDialog::done(result);
}

void CMarrowdexDlg::LoadTree(const TreeState& state) {
    m_finder->Forget();
    if (m_content) {
        m_content->CatalogHidden();
    }
    m_treeModel->SetCatalog(nullptr);
    m_catalog.Clear();
    LoadSettings();
    LoadReport report;
    LoadCatalog(m_catalog, &report);
    // Unplaced rows stay in the store untouched; the user hears of them once, at start.
    m_unplacedEntries = report.unplaced.size();
    RememberStoreVersion();
    RestoreTree(state);
}

void CMarrowdexDlg::ReloadTree() {
    LoadTree(CaptureTree());
}

void CMarrowdexDlg::DetachTree() {
    if (m_treeModel->Catalog() == nullptr) {
        return;
    }
    m_detached = CaptureTree();
    if (m_content) {
        m_content->CatalogHidden();
    }
    m_treeModel->SetCatalog(nullptr);
}

void CMarrowdexDlg::AttachTree() {
    RestoreTree(m_detached);
}

bool CMarrowdexDlg::ReloadIfChangedElsewhere() {
    if (!StoreChangedElsewhere()) {
        return false;
    }
    MessagePrompt::Show(this, text::kStoreChangedElsewhere);
    LoadTree(CaptureTree());
    return true;
}

void CMarrowdexDlg::QuitOnSignals() {
    const int descriptor = QuitSignalDescriptor();
    if (descriptor < 0 || findChild<QSocketNotifier*>() != nullptr) {
        return;
    }
    auto* notifier = new QSocketNotifier(descriptor, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this, descriptor] {
        if (TakeQuitRequests(descriptor)) {
            RequestQuit();
        }
    });
}

void CMarrowdexDlg::RequestQuit() {
    if (!m_quitTimer.isActive()) {
        m_quitTimer.start(100);
    }
    FinishQuit();
}

void CMarrowdexDlg::FinishQuit() {
    if (QWidget* popup = QApplication::activePopupWidget()) {
        popup->close();
    }
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || modal == this) {
        m_quitTimer.stop();
        done(QDialog::Rejected);
        return;
    }
    // A transfer runs to its end (or rolls back) behind its window, long work stops where it
    // can, and a batch of dropped files stops after the file under way; anything else is
    // cancelled, and the command that asked returns. The timer looks again until the window
    // can close.
    if (auto* progress = qobject_cast<CPRGDlg*>(modal)) {
        progress->RequestCancel();
    } else {
        if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            dialog->done(QDialog::Rejected);
        } else {
            modal->close();
        }
    }
}

void CMarrowdexDlg::OnTimer() {
    m_startupTimer.stop();
    MessagePrompt::ShowWithPaths(this, text::kCommandFinished, m_recovery.finished);
    MessagePrompt::ShowWithPaths(this, text::kCommandUndone, m_recovery.undone);
    MessagePrompt::ShowWithPaths(this, text::kCommandUnresolved, m_recovery.unresolved);
    MessagePrompt::ShowWithPaths(this, text::kCommandsRefused, m_recovery.refused);
    m_recovery = {};
    // Damage seen at this load or by the last check is told once, with where to mend it.
    QStringList damage;
    if (m_unplacedEntries > 0) {
        damage << UiText(text::kEntriesNotShown) + QString::number(m_unplacedEntries);
    }
    if (const auto found = ReadLastCheck(); found.value_or(0) > 0) {
        damage << UiText(text::kLastCheckFound) + QString::number(*found);
    }
    if (!damage.isEmpty()) {
        MessagePrompt::Show(this, damage.join(QLatin1Char('\n')) + QLatin1Char('\n') + UiText(text::kPointToCheck));
    }
    const SettingsRecord settings = SettingsCopy();
    const std::string home(RootDirOf(settings));
    if (settings.firstRunning == 1) {
        OnCommand(kCmdOption, {Invocation::From::kWindow});
    } else if (!IsUsableHomeDirectory(home)) {
        // Set by hand or by another tool: nothing on disk is done there until one is chosen.
        MessagePrompt::Show(this, UiText(text::kHomeNotUsable) + QLatin1Char('\n') +
                                      QString::fromStdU16String(FromStoreText(home)));
        OnCommand(kCmdOption, {Invocation::From::kWindow});
    }
}

void CMarrowdexDlg::OnCommand(int commandId, const Invocation& invocation) {
    for (const std::unique_ptr<Command>& command : m_commands) {
        if (command->Id() == commandId) {
            command->Run(invocation);
            // Its documents' files are in place now: what it added, moved or deleted goes to the
            // content index ahead of anything else.
            if (m_content) {
                m_content->CommandEnded(m_catalog);
            }
            return;
        }
    }
}

void CMarrowdexDlg::OnTreeRightClick(const QPoint& position, bool byKeyboard) {
    // A click on an item's icon or label acts on that item; beside the items, and from the
    // keyboard, on the selection.
    const QModelIndex hit = byKeyboard ? QModelIndex() : m_tree->indexAt(position);
    Invocation invocation{Invocation::From::kMenu};
    invocation.belowItems = !byKeyboard && !hit.isValid();
    if (m_tree->IsOnItem(hit, position)) {
        m_tree->setFocus(Qt::MouseFocusReason);
        // On one of several selected items the menu acts on all of them; elsewhere on that one.
        if (m_tree->selectionModel()->isSelected(hit)) {
            m_tree->selectionModel()->setCurrentIndex(hit, QItemSelectionModel::NoUpdate);
        } else {
            SelectItem(hit);
        }
    }

    std::vector<std::pair<MenuEntry, int>> items;
    for (const std::unique_ptr<Command>& command : m_commands) {
        if (const auto entry = command->Menu()) {
            items.emplace_back(*entry, command->Id());
        }
    }
    std::sort(items.begin(), items.end(), [](const auto& a, const auto& b) { return a.first.place < b.first.place; });
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("treeMenu"));
    for (const auto& [entry, id] : items) {
        if (entry.separatorBefore) {
            menu.addSeparator();
        }
        const Command& command = *std::find_if(m_commands.begin(), m_commands.end(),
                                               [id = id](const auto& c) { return c->Id() == id; })->get();
        QAction* action = menu.addAction(command.MenuText().value_or(UiText(entry.textId)));
        action->setData(id);
        action->setEnabled(command.Enabled());
        if (!entry.key.isEmpty()) {
            // Shown beside the text; the tree's own shortcuts run it.
            action->setShortcut(entry.key);
            action->setShortcutContext(Qt::WidgetShortcut);
        }
    }
    // The command runs once the menu has closed, as a command chosen from any menu does.
    const QAction* chosen = menu.exec(m_tree->viewport()->mapToGlobal(position));
    if (chosen != nullptr) {
        OnCommand(chosen->data().toInt(), invocation);
    }
}

void CMarrowdexDlg::InstallShortcuts() {
    for (const std::unique_ptr<Command>& command : m_commands) {
        const auto entry = command->Menu();
        if (!entry || entry->key.isEmpty() || !entry->keyRunsIt) {
            continue;
        }
        for (const QKeySequence& key : {entry->key, entry->otherKey}) {
            if (key.isEmpty()) {
                continue;
            }
            auto* shortcut = entry->windowWide ? new QShortcut(key, this, nullptr, nullptr, Qt::WindowShortcut)
                                               : new QShortcut(key, m_tree, nullptr, nullptr, Qt::WidgetShortcut);
            connect(shortcut, &QShortcut::activated, this,
                    [this, id = command->Id()] { OnCommand(id, {Invocation::From::kKey}); });
        }
    }
    auto* find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, m_finder, &CatalogFinder::Focus);
}

void CMarrowdexDlg::OnTreeSelect() {
    // Whatever the notification, the pane shows the comment of the item selected now; with
    // nothing selected it keeps what it shows.
    const qsizetype selected = m_tree->selectionModel()->selectedRows().size();
    m_selectionStatus->setVisible(selected > 1);
    if (selected > 1) {
        m_selectionStatus->setText(UiText(text::kNodesSelected).arg(selected));
    }
    if (const CatalogNode* node = SelectedNode()) {
        SetCommentText(node->Details().comment);
        // A document the search found by its text: the words around the place follow.
        m_snippetTicket = 0;
        if (m_content && m_finder->Active() && m_treeModel->IsContentMatch(node)) {
            m_snippetTicket = m_content->Snippet(node->FileId(), m_finder->Text());
        }
    }
}

void CMarrowdexDlg::OnSnippet(std::uint64_t ticket, NodeId id, const std::optional<ContentHit>& hit) {
    const CatalogNode* node = SelectedNode();
    if (ticket != m_snippetTicket || node == nullptr || node->FileId() != id || !hit || !hit->snippet.found) {
        return;
    }
    m_snippetTicket = 0;
    AppendSnippet(*hit);
}

void CMarrowdexDlg::OnTreeActivated(const QModelIndex& item) {
    Invocation invocation{Invocation::From::kActivate};
    invocation.target = ItemNode(item);
    if (invocation.target != nullptr) {
        OnCommand(kCmdOpenNode, invocation);
    }
}

void CMarrowdexDlg::OnNodeDropped(const std::vector<std::int64_t>& fileIds, const QModelIndex& target) {
    if (fileIds.empty()) {
        return;
    }
    Invocation invocation{Invocation::From::kDrop};
    invocation.target = ItemNode(target);
    invocation.droppedNode = fileIds.front();
    invocation.droppedNodes.assign(fileIds.begin(), fileIds.end());
    OnCommand(kCmdMoveNodeTo, invocation);
}

void CMarrowdexDlg::OnFilesDropped(const QStringList& paths, const QModelIndex& target) {
    Invocation invocation{Invocation::From::kDrop};
    invocation.target = ItemNode(target);
    for (const QString& path : paths) {
        invocation.droppedFiles.push_back(ToStoreText(path.toStdU16String()));
    }
    OnCommand(kCmdDropFiles, invocation);
}

void CMarrowdexDlg::keyPressEvent(QKeyEvent* event) {
    // Enter, when nothing in the window takes it, closes the window as Escape does. The comment
    // pane is a box of several lines, which takes Enter even while it cannot be typed in.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        if (focusWidget() != m_commentPane) {
            accept();
        }
        return;
    }
    QDialog::keyPressEvent(event);
}

std::string CMarrowdexDlg::HomeDirectory() const {
    if (const CatalogNode* root = m_catalog.RootNode()) {
        return root->Path();
    }
    return std::string(RootDirOf(SettingsCopy()));
}

ProgramFiles CMarrowdexDlg::OwnFiles() const {
    return ProgramFilesIn(m_programDirectory);
}

QModelIndex CMarrowdexDlg::GetSelectedItem() const {
    return m_tree->SelectedItem();
}

std::vector<CatalogNode*> CMarrowdexDlg::SelectedNodes() const {
    std::vector<CatalogNode*> nodes;
    for (const QModelIndex& row : m_tree->SelectedRows()) {
        if (CatalogNode* node = ItemNode(row)) {
            nodes.push_back(node);
        }
    }
    return nodes;
}

QModelIndex CMarrowdexDlg::GetParentItem(const QModelIndex& item) const {
    const CatalogNode* node = ItemNode(item);
    return node != nullptr ? ItemOf(node->Parent()) : QModelIndex();
}

QModelIndex CMarrowdexDlg::GetRootItem() const {
    return m_treeModel->index(0, 0);
}

CatalogNode* CMarrowdexDlg::ItemNode(const QModelIndex& item) const {
    return m_treeModel->NodeOf(item);
}

QModelIndex CMarrowdexDlg::ItemOf(const CatalogNode* node) const {
    return m_treeModel->IndexOf(node);
}

QModelIndex CMarrowdexDlg::ShowItem(const CatalogNode* node) {
    return m_treeModel->ExpandTo(node);
}

void CMarrowdexDlg::ShowAndSelect(const CatalogNode* node) {
    if (const QModelIndex item = ShowItem(node); item.isValid()) {
        SelectItem(item);
        m_tree->scrollTo(item);
    }
}

void CMarrowdexDlg::ShowAndSelect(const std::vector<CatalogNode*>& nodes, const CatalogNode* current) {
    // Every catalog above them opened first: each opening moves the rows below it.
    for (const CatalogNode* node : nodes) {
        ShowItem(node);
    }
    QItemSelection selection;
    for (const CatalogNode* node : nodes) {
        if (const QModelIndex item = ItemOf(node); item.isValid()) {
            selection.select(item, item);
        }
    }
    const QModelIndex item = ItemOf(current);
    if (item.isValid()) {
        m_tree->selectionModel()->setCurrentIndex(item, QItemSelectionModel::NoUpdate);
        m_tree->scrollTo(item);
    }
    m_tree->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void CMarrowdexDlg::SelectItem(const QModelIndex& item) {
    m_tree->selectionModel()->setCurrentIndex(item, QItemSelectionModel::ClearAndSelect);
}

void CMarrowdexDlg::ExpandItem(const QModelIndex& item) {
    if (item.isValid()) {
        m_tree->expand(item);
    }
    repaint();
}

void CMarrowdexDlg::SetCommentText(std::string_view comment) {
    // Comments written on Windows end their lines with CR LF; the pane wants bare line feeds.
    QString text = QString::fromStdU16String(FromStoreText(comment));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    // Plain again: a snippet's marks shown before must not colour the next comment.
    m_commentPane->setCurrentCharFormat(QTextCharFormat());
    m_commentPane->setPlainText(text);
}

void CMarrowdexDlg::AppendSnippet(const ContentHit& hit) {
    QTextCursor cursor(m_commentPane->document());
    cursor.movePosition(QTextCursor::End);
    const QTextCharFormat plain;
    if (!m_commentPane->document()->isEmpty()) {
        cursor.insertBlock();
        cursor.insertBlock();
    }
    QTextCharFormat heading;
    heading.setFontItalic(true);
    cursor.insertText(hit.paged ? UiText(text::kFoundInTextOnPage).arg(hit.snippet.page)
                                : UiText(text::kFoundInTextHeading),
                      heading);
    cursor.insertBlock();
    // The words found as a marker pen marks them on paper, readable in any colour scheme.
    QTextCharFormat found;
    found.setFontWeight(QFont::Bold);
    found.setBackground(QColor(255, 236, 128));
    found.setForeground(QColor(Qt::black));
    const std::string& text = hit.snippet.text;
    std::size_t at = 0;
    for (const Highlight& highlight : hit.snippet.highlights) {
        cursor.insertText(QString::fromUtf8(text.data() + at, static_cast<qsizetype>(highlight.begin - at)), plain);
        cursor.insertText(QString::fromUtf8(text.data() + highlight.begin, static_cast<qsizetype>(highlight.length)),
                          found);
        at = highlight.begin + highlight.length;
    }
    cursor.insertText(QString::fromUtf8(text.data() + at, static_cast<qsizetype>(text.size() - at)), plain);
}

} // namespace mwdx
