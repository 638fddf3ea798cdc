#include "commands/move_dlg.h"

#include "app/dialog_units.h"
#include "app/icons.h"
#include "app/prompts.h"
#include "platform/text.h"
#include "platform/text_ids.h"

#include <QLabel>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace mwdx {

CatalogChooserModel::CatalogChooserModel(const CatalogModel& catalog, const CatalogNode* moving, QObject* parent)
    : QAbstractItemModel(parent), m_root(catalog.RootNode()), m_moving(moving) {}

const std::vector<const CatalogNode*>& CatalogChooserModel::CatalogsIn(const CatalogNode* node) const {
    const auto listed = m_catalogs.find(node);
    if (listed != m_catalogs.end()) {
        return listed->second;
    }
    std::vector<const CatalogNode*>& catalogs = m_catalogs[node];
    for (const CatalogNode* child = node->FirstChild(); child != nullptr; child = child->NextSibling()) {
        if (child->IsCatalog()) {
            m_rowOf[child] = static_cast<int>(catalogs.size());
            catalogs.push_back(child);
        }
    }
    return catalogs;
}

const CatalogNode* CatalogChooserModel::NodeOf(const QModelIndex& index) const {
    return index.isValid() ? static_cast<const CatalogNode*>(index.internalPointer()) : nullptr;
}

QModelIndex CatalogChooserModel::IndexOf(const CatalogNode* node) const {
    if (node == nullptr || m_root == nullptr) {
        return {};
    }
    if (node == m_root) {
        return createIndex(0, 0, const_cast<CatalogNode*>(m_root));
    }
    CatalogsIn(node->Parent());
    const auto row = m_rowOf.find(node);
    return row == m_rowOf.end() ? QModelIndex() : createIndex(row->second, 0, const_cast<CatalogNode*>(node));
}

QModelIndex CatalogChooserModel::index(int row, int column, const QModelIndex& parent) const {
    if (m_root == nullptr || column != 0 || row < 0) {
        return {};
    }
    if (!parent.isValid()) {
        return row == 0 ? createIndex(0, 0, const_cast<CatalogNode*>(m_root)) : QModelIndex();
    }
    const std::vector<const CatalogNode*>& catalogs = CatalogsIn(NodeOf(parent));
    return row < static_cast<int>(catalogs.size()) ? createIndex(row, 0, const_cast<CatalogNode*>(catalogs[row]))
                                                   : QModelIndex();
}

QModelIndex CatalogChooserModel::parent(const QModelIndex& child) const {
    const CatalogNode* node = NodeOf(child);
    return node == nullptr || node == m_root ? QModelIndex() : IndexOf(node->Parent());
}

int CatalogChooserModel::rowCount(const QModelIndex& parent) const {
    if (m_root == nullptr || parent.column() > 0) {
        return 0;
    }
    return parent.isValid() ? static_cast<int>(CatalogsIn(NodeOf(parent)).size()) : 1;
}

int CatalogChooserModel::columnCount(const QModelIndex&) const {
    return 1;
}

bool CatalogChooserModel::hasChildren(const QModelIndex& parent) const {
    return rowCount(parent) > 0;
}

QVariant CatalogChooserModel::data(const QModelIndex& index, int role) const {
    const CatalogNode* node = NodeOf(index);
    if (node == nullptr) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        return node == m_root ? UiText(text::kTopLevel)
                              : QString::fromStdU16String(FromStoreText(node->Details().fileName));
    }
    if (role == Qt::DecorationRole) {
        return CatalogIcon();
    }
    return {};
}

Qt::ItemFlags CatalogChooserModel::flags(const QModelIndex& index) const {
    const CatalogNode* node = NodeOf(index);
    if (node == nullptr) {
        return Qt::NoItemFlags;
    }
    // Neither the node itself nor anything below it can take it.
    for (const CatalogNode* up = node; up != nullptr; up = up->Parent()) {
        if (up == m_moving) {
            return Qt::NoItemFlags;
        }
    }
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

CMoveDlg::CMoveDlg(const CatalogModel& catalog, const CatalogNode* moving, QWidget* parent)
    : QDialog(parent), m_model(new CatalogChooserModel(catalog, moving, this)), m_moving(moving),
      m_captionId(text::kMoveDialogCaption), m_labelId(text::kChooseTargetCatalog), m_label(new QLabel(this)),
      m_tree(new QTreeView(this)) {
    setObjectName(QStringLiteral("moveDialog"));
    const DialogUnits units(font());
    m_okButton = new TemplateButton(this, "okButton", units, units.Size(50, 14));
    m_cancelButton = new TemplateButton(this, "cancelButton", units, units.Size(50, 14));
    m_label->setObjectName(QStringLiteral("chooseLabel"));
    m_tree->setObjectName(QStringLiteral("catalogChooser"));
    m_tree->setHeaderHidden(true);
    m_tree->setUniformRowHeights(true);
    m_tree->setSelectionMode(QAbstractItemView::SingleSelection);
    m_tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_tree->setMinimumSize(units.Size(200, 150));
    m_tree->setModel(m_model);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_label);
    layout->addWidget(m_tree, 1);
    layout->addLayout(OkCancelRow(m_okButton, m_cancelButton));
    m_okButton->setDefault(true);

    connect(m_okButton, &QPushButton::clicked, this, &CMoveDlg::accept);
    connect(m_cancelButton, &QPushButton::clicked, this, &CMoveDlg::reject);
    connect(m_tree, &QTreeView::doubleClicked, this, [this](const QModelIndex& index) {
        if (m_model->flags(index).testFlag(Qt::ItemIsEnabled) && m_model->rowCount(index) == 0) {
            accept();
        }
    });
    connect(m_tree->selectionModel(), &QItemSelectionModel::selectionChanged, this, &CMoveDlg::OnSelection);
}

void CMoveDlg::SetTexts(int captionId, int labelId) {
    m_captionId = captionId;
    m_labelId = labelId;
}

int CMoveDlg::exec() {
    m_label->setText(UiText(m_labelId));
    m_okButton->setText(UiText(text::kOk));
    m_cancelButton->setText(UiText(text::kCancel));
    setWindowTitle(UiText(m_captionId));
    const QModelIndex start = m_moving != nullptr ? m_model->IndexOf(m_moving->Parent()) : m_model->index(0, 0);
    m_tree->expand(m_model->index(0, 0));
    m_tree->setCurrentIndex(start);
    m_tree->scrollTo(start);
    m_tree->setFocus();
    OnSelection();
    const DialogUnits units(font());
    resize(minimumSizeHint().expandedTo(units.Size(220, 200)).expandedTo(QSize(CaptionWidth(*this), 0)));
    return QDialog::exec();
}

void CMoveDlg::OnSelection() {
    const QModelIndexList selected = m_tree->selectionModel()->selectedIndexes();
    m_okButton->setEnabled(!selected.isEmpty());
}

void CMoveDlg::accept() {
    const QModelIndexList selected = m_tree->selectionModel()->selectedIndexes();
    if (selected.isEmpty()) {
        return;
    }
    m_chosen = const_cast<CatalogNode*>(m_model->NodeOf(selected.first()));
    QDialog::accept();
}

} // namespace mwdx
