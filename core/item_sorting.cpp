#include "core/item_sorting.h"

#include <algorithm>
#include <vector>

namespace tessaro {

namespace {

bool numberGoesBefore(qint64 a, qint64 b, bool isAscending) {
    // Ascending puts a after b only when a is greater; equal numbers put a first.
    return isAscending ? !(a > b) : !(a < b);
}

bool textGoesBefore(const QString& a, const QString& b, bool isAscending) {
    // Plain UTF-16 code unit comparison (upper-case before lower-case); equal texts put
    // a after b.
    const int order = QString::compare(a, b, Qt::CaseSensitive);
    return isAscending ? order < 0 : order > 0;
}

}  // namespace

bool itemGoesBefore(const FileModel& a, const FileModel& b, qint64 sortType, bool isAscending) {
    switch (sortType) {
    case kSortByAddDate: return numberGoesBefore(a.addDate, b.addDate, isAscending);
    case kSortBySize: return numberGoesBefore(a.fileSize.load(), b.fileSize.load(), isAscending);
    case kSortByCreateDate: return numberGoesBefore(a.createDate, b.createDate, isAscending);
    case kSortByName: return textGoesBefore(a.name, b.name, isAscending);
    case kSortByPath: return textGoesBefore(a.path, b.path, isAscending);
    case kSortByHiddenState:
        // Only a's state counts: hidden items gather at the start when ascending.
        return isAscending ? a.isEncrtypt : !a.isEncrtypt;
    default: return true;
    }
}

void sortItemList(FileModelList& items, qint64 sortType, bool isAscending, const FileModel* itemInWalk) {
    for (const FileModelPtr& item : items) {
        if (item.get() != itemInWalk) {
            item->isCancel.store(false);
        }
    }
    const qsizetype n = items.size();
    if (n < 2) {
        return;
    }
    // Bottom-up merge between two buffers; every index stays inside its run whatever the
    // comparison answers.
    std::vector<FileModelPtr> from(items.begin(), items.end());
    std::vector<FileModelPtr> to(static_cast<size_t>(n));
    for (qsizetype width = 1; width < n; width *= 2) {
        for (qsizetype start = 0; start < n; start += 2 * width) {
            const qsizetype middle = std::min(start + width, n);
            const qsizetype end = std::min(start + 2 * width, n);
            qsizetype left = start;
            qsizetype right = middle;
            qsizetype out = start;
            while (left < middle && right < end) {
                if (itemGoesBefore(*from[left], *from[right], sortType, isAscending)) {
                    to[out++] = std::move(from[left++]);
                } else {
                    to[out++] = std::move(from[right++]);
                }
            }
            while (left < middle) {
                to[out++] = std::move(from[left++]);
            }
            while (right < end) {
                to[out++] = std::move(from[right++]);
            }
        }
        from.swap(to);
    }
    for (qsizetype i = 0; i < n; ++i) {
        items[i] = std::move(from[static_cast<size_t>(i)]);
    }
}

}  // namespace tessaro
