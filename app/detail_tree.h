// Fills the Details tree from a packet's detail items: one top-level item per
// layer with its fields under it, all collapsed, nothing selected. Each item
// keeps where its bytes lie in the frame, for the byte view.
#pragma once

#include <vector>

#include "xml/detail_items.h"

class QAbstractItemView;
class QTreeWidget;
class QTreeWidgetItem;

void FillDetailTree(QTreeWidget* tree, const std::vector<DetailItem>& items);

// Where the bytes of an item of the tree lie in the frame; no bytes for an
// item without a place.
BytePlace ItemPlace(const QTreeWidgetItem* item);

// The first selected row of a single-selection list, or -1 when none is.
int FirstSelectedRow(const QAbstractItemView* list);
