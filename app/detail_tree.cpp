#include "app/detail_tree.h"

#include <QAbstractItemView>
#include <QItemSelectionModel>
#include <QList>
#include <QTreeWidget>
#include <algorithm>

void FillDetailTree(QTreeWidget* tree, const std::vector<DetailItem>& items) {
    tree->clear();
    QList<QTreeWidgetItem*> layers;
    layers.reserve(static_cast<qsizetype>(items.size()));
    for (const DetailItem& item : items) {
        auto* layer = new QTreeWidgetItem(QStringList(QString::fromStdString(item.text)));
        for (const std::string& field : item.fields) {
            new QTreeWidgetItem(layer, QStringList(QString::fromStdString(field)));
        }
        layers.append(layer);
    }
    // One insertion for the whole tree: the view lays itself out once.
    tree->addTopLevelItems(layers);
    tree->setCurrentItem(nullptr);
    tree->clearSelection();
}

int FirstSelectedRow(const QAbstractItemView* list) {
    const QItemSelectionModel* selection = list->selectionModel();
    if (selection == nullptr) return -1;
    const QModelIndexList rows = selection->selectedRows();
    if (rows.isEmpty()) return -1;
    int first = rows.front().row();
    for (const QModelIndex& index : rows) first = std::min(first, index.row());
    return first;
}
