// Fills the Details tree from a packet's detail items: one top-level item per
// layer with its fields under it, all collapsed, nothing selected.
#pragma once

#include <vector>

#include "xml/detail_items.h"

class QAbstractItemView;
class QTreeWidget;

void FillDetailTree(QTreeWidget* tree, const std::vector<DetailItem>& items);

// The first selected row of a single-selection list, or -1 when none is.
int FirstSelectedRow(const QAbstractItemView* list);
