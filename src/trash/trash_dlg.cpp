#include "trash/trash_dlg.h"

#include "app/dialog_units.h"
#include "app/icons.h"
#include "app/marrowdex_dlg.h"
#include "app/progress.h"
#include "app/prompts.h"
#include "app/qt_texts.h"
#include "app/screen_fit.h"
#include "catalog/node.h"
#include "operations/trash.h"
#include "platform/home_fs.h"
#include "platform/text.h"
#include "platform/text_ids.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace mwdx {

namespace {

constexpr int kIndexRole = Qt::UserRole; // of the entry in Entries()

QString Text(const std::string& stored) {
    return QString::fromStdU16String(FromStoreText(stored));
}

} // namespace

CTrashDlg::CTrashDlg(CMarrowdexDlg& window, CatalogChooser chooseCatalog)
    : QDialog(&window), m_window(window), m_chooseCatalog(std::move(chooseCatalog)), m_explanation(new QLabel(this)),
      m_list(new QTreeWidget(this)) {
    setObjectName(QStringLiteral("trashDialog"));
    m_explanation->setObjectName(QStringLiteral("explanationLabel"));
    m_explanation->setWordWrap(true);
    m_list->setObjectName(QStringLiteral("trashList"));
    const DialogUnits units(font());
    const auto button = [&](const char* name, int textId, void (CTrashDlg::*handler)()) {
        auto* made = new TemplateButton(this, name, units, units.Size(50, 14));
        made->setText(UiText(textId));
        made->setAutoDefault(false);
        connect(made, &QPushButton::clicked, this, handler);
        return made;
    };
    m_restoreButton = button("restoreButton", text::kRestore, &CTrashDlg::OnRestore);
    m_deleteButton = button("deleteButton", text::kDeleteForGood, &CTrashDlg::OnDeleteForGood);
    m_emptyButton = button("emptyButton", text::kEmptyTrash, &CTrashDlg::OnEmptyTrash);
    m_closeButton = new TemplateButton(this, "closeButton", units, units.Size(50, 14));
    m_closeButton->setText(UiText(text::kClose));
    connect(m_closeButton, &QPushButton::clicked, this, &QDialog::accept);
    setWindowTitle(UiText(text::kTrashCaption));
    m_list->setColumnCount(3);
    m_list->setHeaderLabels(
        {UiText(text::kTrashColumnName), UiText(text::kTrashColumnDeleted), UiText(text::kTrashColumnFrom)});
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->header()->setStretchLastSection(true);
    connect(m_list, &QTreeWidget::currentItemChanged, this, &CTrashDlg::OnSelectionChanged);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, &CTrashDlg::OnRestore);
    LayOut();
    Reload();
}

void CTrashDlg::LayOut() {
    const DialogUnits units(font());
    auto* buttons = new QVBoxLayout;
    for (QPushButton* action : {m_restoreButton, m_deleteButton, m_emptyButton}) {
        buttons->addWidget(action);
    }
    buttons->addStretch(1);
    buttons->addWidget(m_closeButton);
    // On a small screen the list makes do with less: it scrolls.
    m_list->setMinimumSize(units.Size(300, 150).boundedTo(AvailableRoom(*this) / 2));
    auto* body = new QHBoxLayout;
    body->addWidget(m_list, 1);
    body->addLayout(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_explanation);
    layout->addLayout(body, 1);
    QSize size = units.Size(420, 220).expandedTo(minimumSizeHint());
    size.setWidth(std::max(size.width(), CaptionWidth(*this)));
    resize(size);
}

QString CTrashDlg::FromText(const TrashEntry& entry) const {
    const CatalogNode* root = m_window.Catalog().RootNode();
    const CatalogNode* parent = entry.parentId == 0 ? root : m_window.Catalog().NodeById(entry.parentId);
    if (parent != nullptr && parent->IsCatalog()) {
        if (parent == root) {
            return UiText(text::kTopLevel);
        }
        const std::string home = LexicallyNormal(root->Path());
        const std::string path = LexicallyNormal(parent->Path());
        return Text(path.size() > home.size() && IsAtOrBelow(path, home) ? path.substr(home.size() + 1) : path);
    }
    // From a catalog that is gone since: where it was.
    const std::size_t slash = entry.place.rfind('/');
    return slash == std::string::npos ? UiText(text::kTopLevel) : Text(entry.place.substr(0, slash));
}

void CTrashDlg::Reload() {
    const std::optional<TrashEntry> wasSelected = Selected();
    m_entries = ReadTrash();
    std::reverse(m_entries.begin(), m_entries.end()); // newest first
    m_list->clear();
    const QLocale locale = UiLocale();
    QTreeWidgetItem* select = nullptr;
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        const TrashEntry& entry = m_entries[i];
        auto* item = new QTreeWidgetItem(m_list);
        item->setText(0, Text(entry.name));
        item->setIcon(0, entry.fileType == kCatalogType ? CatalogIcon() : DocumentIcon());
        item->setText(1, locale.toString(QDateTime::fromSecsSinceEpoch(entry.deletedAt), QLocale::ShortFormat));
        item->setText(2, FromText(entry));
        item->setToolTip(0, Text(entry.place));
        item->setData(0, kIndexRole, static_cast<qulonglong>(i));
        if (select == nullptr || (wasSelected && wasSelected->id == entry.id)) {
            select = item;
        }
    }
    for (int column = 0; column < 2; ++column) {
        m_list->resizeColumnToContents(column);
    }
    m_list->setCurrentItem(select);
    m_explanation->setText(UiText(m_entries.empty() ? text::kTrashIsEmpty : text::kTrashExplanation));
    m_emptyButton->setEnabled(!m_entries.empty());
    OnSelectionChanged();
}

std::optional<TrashEntry> CTrashDlg::Selected() const {
    const QTreeWidgetItem* item = m_list->currentItem();
    if (item == nullptr) {
        return std::nullopt;
    }
    const auto index = item->data(0, kIndexRole).toULongLong();
    return index < m_entries.size() ? std::optional<TrashEntry>(m_entries[index]) : std::nullopt;
}

void CTrashDlg::OnSelectionChanged() {
    const bool chosen = Selected().has_value();
    m_restoreButton->setEnabled(chosen);
    m_deleteButton->setEnabled(chosen);
}

void CTrashDlg::OnRestore() {
    // The restore adds nodes to the main window's tree, which must be the store's.
    if (m_window.ReloadIfChangedElsewhere()) {
        Reload();
        return;
    }
    const std::optional<TrashEntry> entry = Selected();
    if (!entry) {
        return;
    }
    CatalogNode* restored = nullptr;
    OpResult result =
        RestoreFromTrashOperation(m_window.Catalog(), m_window.HomeDirectory(), entry->id, nullptr, &restored);
    if (!result.done && result.message == text::kChooseRestoreCatalog) {
        CatalogNode* into = m_chooseCatalog ? m_chooseCatalog(this, *entry) : nullptr;
        if (into == nullptr) {
            return;
        }
        result = RestoreFromTrashOperation(m_window.Catalog(), m_window.HomeDirectory(), entry->id, into, &restored);
    }
    Reload();
    if (result.done && restored != nullptr) {
        m_window.ShowAndSelect(restored);
    }
    if (result.message == text::kRestorePlaceTaken) {
        MessagePrompt::ShowWithPaths(this, result.message, {result.detail});
    } else if (result.message != 0) {
        MessagePrompt::Show(this, result.message);
    }
}

void CTrashDlg::OnDeleteForGood() {
    const std::optional<TrashEntry> entry = Selected();
    if (!entry ||
        !MessagePrompt::Confirm(this, UiText(text::kConfirmDeleteForGood).arg(Text(entry->name)), text::kCaution)) {
        return;
    }
    const OpResult result = DeleteFromTrashOperation(m_window.HomeDirectory(), entry->id,
                                                     RemovalBehindProgress(this, text::kDeletingForGood));
    Reload();
    if (result.message != 0) {
        MessagePrompt::Show(this, result.message);
    }
}

void CTrashDlg::OnEmptyTrash() {
    Reload();
    if (m_entries.empty()) {
        return;
    }
    const std::string home = m_window.HomeDirectory();
    TrashSize size;
    RunBehindProgress(this, text::kMeasuringTrash, false, [&](WorkProgress&) { size = MeasureTrash(home); });
    const QString question = UiText(text::kConfirmEmptyTrash)
                                 .arg(m_entries.size())
                                 .arg(UiLocale().formattedDataSize(static_cast<qint64>(size.bytes)));
    if (!MessagePrompt::Confirm(this, question, text::kCaution)) {
        return;
    }
    const OpResult result = EmptyTrashOperation(home, RemovalBehindProgress(this, text::kEmptyingTrash));
    Reload();
    if (result.message != 0) {
        MessagePrompt::Show(this, result.message);
    }
}

} // namespace mwdx
