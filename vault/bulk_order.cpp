#include "vault/bulk_order.h"

namespace tessaro::vault {

namespace {

FileModelList itemsWhere(const RowList& rows, bool hidden) {
    FileModelList out;
    for (const GroupModelPtr& row : rows) {
        if (!row->fileModels) {
            continue;
        }
        for (const FileModelPtr& item : *row->fileModels) {
            if (item->isEncrtypt == hidden) {
                out.append(item);
            }
        }
    }
    return out;
}

}  // namespace

FileModelList itemsToHide(const RowList& rows) { return itemsWhere(rows, false); }

FileModelList itemsToUnhide(const RowList& rows) { return itemsWhere(rows, true); }

FileModelList groupItemsToHide(const RowList& rows, qint64 groupIndex, qint64 from) {
    FileModelList out;
    if (groupIndex < 0 || groupIndex >= rows.size() || !rows.at(groupIndex)->fileModels) {
        return out;
    }
    const FileModelList& items = *rows.at(groupIndex)->fileModels;
    for (qsizetype i = std::max<qint64>(from, 0); i < items.size(); ++i) {
        if (!items.at(i)->isEncrtypt) {
            out.append(items.at(i));
        }
    }
    return out;
}

}  // namespace tessaro::vault
