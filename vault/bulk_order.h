#pragma once

#include "core/group_model.h"

namespace tessaro::vault {

// The order in which hiding or unhiding all items visits a row list: group by group from the
// first row, item by item within each group. Only the items that the command changes.
FileModelList itemsToHide(const RowList& rows);
FileModelList itemsToUnhide(const RowList& rows);
// Hiding one group: its visible items from position `from` to its end.
FileModelList groupItemsToHide(const RowList& rows, qint64 groupIndex, qint64 from);

}  // namespace tessaro::vault
