#include "app/detail_tree.h"

#include <QAbstractItemView>
#include <QItemSelectionModel>
#include <QList>
#include <QTreeWidget>
#include <algorithm>

namespace {

// The item data that hold an item's place in the frame.
constexpr int kOffsetRole = Qt::UserRole;
constexpr int kLengthRole = Qt::UserRole + 1;

void SetPlace(QTreeWidgetItem* item, const BytePlace& place) {
    item->setData(0, kOffsetRole, place.offset);
    item->setData(0, kLengthRole, place.length);
}

}  // namespace

void FillDetailTree(QTreeWidget* tree, const std::vector<DetailItem>& items) {
    tree->clear();
    QList<QTreeWidgetItem*> layers;
    layers.reserve(static_cast<qsizetype>(items.size()));
    for (const DetailItem& item : items) {
        auto* layer = new QTreeWidgetItem(QStringList(QString::fromStdString(item.text)));
        SetPlace(layer, item.place);
        for (size_t i = 0; i < item.fields.size(); ++i) {
            auto* field =
                new QTreeWidgetItem(layer, QStringList(QString::fromStdString(item.fields[i])));
            if (i < item.fieldPlaces.size()) SetPlace(field, item.fieldPlaces[i]);
        }
        layers.append(layer);
    }
    // One insertion for the whole tree: the view lays itself out once.
    tree->addTopLevelItems(layers);
    tree->setCurrentItem(nullptr);
    tree->clearSelection();
}

BytePlace ItemPlace(const QTreeWidgetItem* item) {
    return {item->data(0, kOffsetRole).toUInt(), item->data(0, kLengthRole).toUInt()};
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
