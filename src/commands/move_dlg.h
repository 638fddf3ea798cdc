#pragma once

// The "Move to" window: the catalogs as a tree under the top level, to choose where a node goes.
// The node itself and the catalogs below it cannot be chosen. A restore from the trash asks with
// it too, for a node that is not in the tree.

#include "catalog/model.h"

#include <QAbstractItemModel>
#include <QDialog>
#include <unordered_map>
#include <vector>

class QLabel;
class QPushButton;
class QTreeView;

namespace mwdx {

// Catalogs only, each listed the first time a view asks; one top row stands for the Root Node.
class CatalogChooserModel final : public QAbstractItemModel {
    Q_OBJECT

public:
    CatalogChooserModel(const CatalogModel& catalog, const CatalogNode* moving, QObject* parent = nullptr);

    const CatalogNode* NodeOf(const QModelIndex& index) const;
    QModelIndex IndexOf(const CatalogNode* node) const; // the top row for the Root Node

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    const std::vector<const CatalogNode*>& CatalogsIn(const CatalogNode* node) const;

    const CatalogNode* m_root;
    const CatalogNode* m_moving;
    mutable std::unordered_map<const CatalogNode*, std::vector<const CatalogNode*>> m_catalogs;
    mutable std::unordered_map<const CatalogNode*, int> m_rowOf;
};

class CMoveDlg final : public QDialog {
    Q_OBJECT

public:
    // For moving `moving`, a node of `catalog`; nullptr: any catalog may be chosen.
    CMoveDlg(const CatalogModel& catalog, const CatalogNode* moving, QWidget* parent = nullptr);

    // The caption and the line above the catalogs; by default the move's.
    void SetTexts(int captionId, int labelId);

    int exec() override; // starts at the node's own catalog, or at the top level

    // After OK: the chosen catalog, the Root Node for the top level.
    CatalogNode* Chosen() const { return m_chosen; }

    void accept() override;

private:
    void OnSelection();

    CatalogChooserModel* m_model;
    const CatalogNode* m_moving;
    int m_captionId;
    int m_labelId;
    QLabel* m_label;
    QTreeView* m_tree;
    QPushButton* m_okButton;
    QPushButton* m_cancelButton;
    CatalogNode* m_chosen = nullptr;
};

} // namespace mwdx
