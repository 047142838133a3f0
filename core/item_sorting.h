#pragma once

#include "core/group_model.h"

namespace tessaro {

// Tags of the item sort menu: 1 to 6 choose the key, 7 and 8 the direction.
enum ItemSortTag : qint64 {
    kSortByAddDate = 1,
    kSortByName = 2,
    kSortByPath = 3,
    kSortBySize = 4,
    kSortByHiddenState = 5,
    kSortByCreateDate = 6,
    kSortAscending = 7,
    kSortDescending = 8,
};

// Whether item `a` goes before item `b` for a sort key and direction. The rules are not a
// strict ordering (equal numbers put `a` first, equal texts put `a` last, the hidden-state
// key looks at `a` alone), so the result is only meaningful through sortItemList, whose
// merge always asks with `a` from the earlier run.
bool itemGoesBefore(const FileModel& a, const FileModel& b, qint64 sortType, bool isAscending);

// Sorts the list in place with itemGoesBefore. A merge sort, because the comparison above
// would let std::sort run past the ends of the range; with it, equal numbers keep their
// order and equal texts come out in reverse order, the same on every run.
// The sort also clears every item's cancel request, except on `itemInWalk`: the item the
// running walk works on keeps the request the user just made.
void sortItemList(FileModelList& items, qint64 sortType, bool isAscending, const FileModel* itemInWalk = nullptr);

}  // namespace tessaro
